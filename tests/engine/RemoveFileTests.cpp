#include "Directory.h"
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

#include <chrono>

namespace fs = std::filesystem;

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);
const TBytes Photo = SOI + JFIF() + Exif(300) + Quantisation() + Scan() + EOI;
const TBytes CleanPhoto = SOI + JFIF() + Quantisation() + Scan() + EOI;

class RemoveFromFile : public testing::Test {
protected:
    fs::path Write(const char* Name, const TBytes& Content)
    {
        fs::path FileName = Dir / Name;
        WriteFileBytes(FileName, Content);
        return FileName;
    }

    // Puts the last-write time an hour back, so that a rewrite shows.
    static void Age(const fs::path& FileName)
    {
        fs::last_write_time(FileName, fs::last_write_time(FileName) - std::chrono::hours(1));
    }

    TTempDir Dir;
};

// In place: the same file, so that every hard link sees the cleaned content.
TEST_F(RemoveFromFile, RewritesTheSameFileWithoutItsMetadata)
{
    fs::path FileName = Write("a.jpg", Photo);
    fs::create_hard_link(FileName, Dir / "link.jpg");
    std::optional<TFileId> Before = FileIdOf(FileName);
    ASSERT_TRUE(Before);

    EXPECT_EQ(RemoveJPEGSegments(FileName, APPn), TJPEGMarkers({0xE1}));

    EXPECT_EQ(ReadFileBytes(FileName), CleanPhoto);
    EXPECT_EQ(ReadFileBytes(Dir / "link.jpg"), CleanPhoto);
    EXPECT_EQ(FileIdOf(FileName), Before);
    EXPECT_EQ(FileIdOf(Dir / "link.jpg"), Before);
}

TEST_F(RemoveFromFile, AFileWithoutMetadataIsStillRewritten)
{
    fs::path FileName = Write("a.jpg", CleanPhoto);
    Age(FileName);
    auto Before = fs::last_write_time(FileName);
    EXPECT_TRUE(RemoveJPEGSegments(FileName, APPn).Empty());
    EXPECT_EQ(ReadFileBytes(FileName), CleanPhoto);
    EXPECT_GT(fs::last_write_time(FileName), Before);
}

TEST_F(RemoveFromFile, AnEmptySetNeverOpensTheFile)
{
    fs::path NotAJPEG = Write("text.jpg", Text("hello"));
    fs::path ReadOnly = Write("ro.jpg", Photo);
    ASSERT_TRUE(SetFileReadOnly(ReadOnly, true));
    Age(NotAJPEG);
    auto Before = fs::last_write_time(NotAJPEG);

    EXPECT_TRUE(RemoveJPEGSegments(NotAJPEG, {}).Empty());
    EXPECT_TRUE(RemoveJPEGSegments(ReadOnly, {}).Empty());
    EXPECT_TRUE(RemoveJPEGSegments(Dir / "missing.jpg", {}).Empty());
    EXPECT_EQ(ReadFileBytes(NotAJPEG), Text("hello"));
    EXPECT_EQ(fs::last_write_time(NotAJPEG), Before);
    EXPECT_EQ(ReadFileBytes(ReadOnly), Photo);
}

TEST_F(RemoveFromFile, TheAdobeColourSegmentCanBeKept)
{
    fs::path FileName = Write("cmyk.jpg", SOI + AdobeColour() + Exif() + Quantisation() + Scan() + EOI);
    EXPECT_EQ(RemoveJPEGSegments(FileName, APPn, IsAdobeColourSegment), TJPEGMarkers({0xE1}));
    EXPECT_EQ(ReadFileBytes(FileName), SOI + AdobeColour() + Quantisation() + Scan() + EOI);
}

// Every failure leaves the file exactly as it was.

enum class TFailure { Open, Create, ReadError, InvalidHeader };

struct TFailureCase {
    const char* Name;
    TBytes Content;
    TFailure Failure;
};

std::ostream& operator<<(std::ostream& Out, const TFailureCase& Case)
{
    return Out << Case.Name;
}

class RemoveFromBadFile : public RemoveFromFile, public testing::WithParamInterface<TFailureCase> {};

TEST_P(RemoveFromBadFile, FailsAndKeepsTheContent)
{
    const TFailureCase& Case = GetParam();
    fs::path FileName = Write("bad.jpg", Case.Content);
    if (Case.Failure == TFailure::Create) {
        ASSERT_TRUE(SetFileReadOnly(FileName, true));
    }
    Age(FileName);
    auto Before = fs::last_write_time(FileName);

    switch (Case.Failure) {
    case TFailure::Open: FAIL() << "not a case for content"; break;
    case TFailure::Create: EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFCreateError); break;
    case TFailure::ReadError: EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EReadError); break;
    case TFailure::InvalidHeader: EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EInvalidJPEGHeader); break;
    }
    EXPECT_EQ(ReadFileBytes(FileName), Case.Content);
    EXPECT_EQ(fs::last_write_time(FileName), Before);
}

TBytes Truncated(std::size_t Keep)
{
    return TBytes(Photo.begin(), Photo.begin() + static_cast<std::ptrdiff_t>(Keep));
}

const std::size_t ExifAt = SOI.size() + JFIF().size();

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoveFromBadFile,
    testing::Values(TFailureCase{"ReadOnly", Photo, TFailure::Create},
                    TFailureCase{"ReadOnlyWithoutMetadata", CleanPhoto, TFailure::Create},
                    TFailureCase{"Empty", {}, TFailure::ReadError},
                    TFailureCase{"OneByte", Bytes({0xFF}), TFailure::ReadError},
                    TFailureCase{"NotAJPEG", Text("<html>not a photo</html>"), TFailure::InvalidHeader},
                    TFailureCase{"TruncatedInTheHeader", Truncated(5), TFailure::ReadError},
                    TFailureCase{"TruncatedInTheExifLength", Truncated(ExifAt + 3), TFailure::ReadError},
                    TFailureCase{"TruncatedInTheExifPayload", Truncated(ExifAt + 100), TFailure::ReadError},
                    TFailureCase{"EndsWhereTheExifEnds", Truncated(ExifAt + Exif(300).size()),
                                 TFailure::ReadError}),
    [](const testing::TestParamInfo<TFailureCase>& Info) { return Info.param.Name; });

TEST_F(RemoveFromFile, AMissingFileRaisesTheOpenError)
{
    EXPECT_THROW(RemoveJPEGSegments(Dir / "missing.jpg", APPn), EFOpenError);
    EXPECT_FALSE(fs::exists(Dir / "missing.jpg"));
}

// A write that fails part-way: a stream over the real file that gives up
// after a number of bytes, as a full disk would.
class TFailingFileStream : public TStream {
public:
    TFailingFileStream(const fs::path& FileName, std::int64_t FailAfter, int Failures)
        : FFile(FileName, TFileMode::fmRewrite), FLeft(FailAfter), FFailures(Failures)
    {
    }
    std::int64_t Read(void* Buffer, std::int64_t Count) override { return FFile.Read(Buffer, Count); }
    std::int64_t Write(const void* Buffer, std::int64_t Count) override
    {
        if (FFailures == 0)
            return FFile.Write(Buffer, Count);
        std::int64_t Taken = FFile.Write(Buffer, std::min(Count, FLeft));
        FLeft -= Taken;
        if (Taken < Count)
            --FFailures;
        return Taken;
    }
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override { return FFile.Seek(Offset, Origin); }
    void SetSize(std::int64_t NewSize) override { FFile.SetSize(NewSize); }

private:
    TFileStream FFile;
    std::int64_t FLeft;
    int FFailures;
};

TEST_F(RemoveFromFile, AWriteThatFailsPartWayPutsTheOriginalBack)
{
    fs::path FileName = Write("a.jpg", Photo);
    TMemoryStream Original;
    Original.LoadFromFile(FileName);
    TGatherStream Cleaned;
    ASSERT_EQ(RemoveJPEGSegments(Original, Cleaned, APPn), TJPEGMarkers({0xE1}));

    for (std::int64_t FailAfter : {std::int64_t(0), std::int64_t(1), std::int64_t(30), Cleaned.Size() - 1}) {
        SCOPED_TRACE(FailAfter);
        {
            TFailingFileStream File(FileName, FailAfter, 1);
            EXPECT_THROW(OverwriteInPlace(File, Cleaned, Original), EWriteError);
        } // closed: a rewrite shares the file with no one
        EXPECT_EQ(ReadFileBytes(FileName), Photo);
    }
}

TEST_F(RemoveFromFile, AnOverwriteThatSucceedsCutsTheFileToTheNewContent)
{
    fs::path FileName = Write("a.jpg", Photo);
    TMemoryStream Original;
    Original.LoadFromFile(FileName);
    TGatherStream Cleaned;
    RemoveJPEGSegments(Original, Cleaned, APPn);
    {
        TFailingFileStream File(FileName, 0, 0);
        OverwriteInPlace(File, Cleaned, Original);
    }
    EXPECT_EQ(ReadFileBytes(FileName), CleanPhoto);
}

} // namespace
