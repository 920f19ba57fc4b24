#include "Exceptions.h"
#include "JpegBytes.h"
#include "Streams.h"
#include "SystemReasons.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

// Reads through the file, never through a memory block: exercises the
// buffered copy path.
TFileStream OpenForReading(const fs::path& FileName)
{
    return TFileStream(FileName, TFileMode::fmOpenRead);
}

TEST(MemoryStream, NewStreamIsEmptyAtZero)
{
    TMemoryStream Stream;
    EXPECT_EQ(Stream.GetSize(), 0);
    EXPECT_EQ(Stream.GetPosition(), 0);
    std::uint8_t Byte;
    EXPECT_EQ(Stream.Read(&Byte, 1), 0);
}

struct TReadCase {
    const char* Name;
    std::int64_t Position;
    std::int64_t Count;
    std::int64_t Delivered;
    std::int64_t PositionAfter;
};

class MemoryStreamRead : public testing::TestWithParam<TReadCase> {};

TEST_P(MemoryStreamRead, DeliversWhatIsThereAndNeverMovesPastTheEnd)
{
    const TReadCase& Case = GetParam();
    TMemoryStream Stream;
    Fill(Stream, Bytes({10, 11, 12, 13, 14}));
    Stream.SetPosition(Case.Position);
    TBytes Buffer(16, 0xEE);
    EXPECT_EQ(Stream.Read(Buffer.data(), Case.Count), Case.Delivered);
    EXPECT_EQ(Stream.GetPosition(), Case.PositionAfter);
    for (std::int64_t I = 0; I < Case.Delivered; ++I)
        EXPECT_EQ(Buffer[I], 10 + Case.Position + I);
    EXPECT_EQ(Buffer[Case.Delivered], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Cases, MemoryStreamRead,
                         testing::Values(TReadCase{"Whole", 0, 5, 5, 5}, TReadCase{"Part", 1, 2, 2, 3},
                                         TReadCase{"Short", 3, 10, 2, 5}, TReadCase{"AtTheEnd", 5, 3, 0, 5},
                                         TReadCase{"PastTheEnd", 9, 3, 0, 9}, TReadCase{"Zero", 2, 0, 0, 2}),
                         [](const testing::TestParamInfo<TReadCase>& Info) { return Info.param.Name; });

TEST(MemoryStream, ReadBufferConsumesWhatWasThereThenRaises)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({1, 2, 3}));
    Stream.SetPosition(1);
    std::uint8_t Buffer[8] = {};
    EXPECT_THROW(Stream.ReadBuffer(Buffer, 5), EReadError);
    EXPECT_EQ(Stream.GetPosition(), 3);
    EXPECT_EQ(Buffer[0], 2);
    EXPECT_EQ(Buffer[1], 3);
}

TEST(MemoryStream, ReadBufferOfZeroNeverRaises)
{
    TMemoryStream Stream;
    Stream.SetPosition(100);
    EXPECT_NO_THROW(Stream.ReadBuffer(nullptr, 0));
    EXPECT_EQ(Stream.GetPosition(), 100);
}

TEST(MemoryStream, SeeksAreNotClamped)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({1, 2, 3}));
    EXPECT_EQ(Stream.Seek(10, TSeekOrigin::soBeginning), 10);
    EXPECT_EQ(Stream.Seek(5, TSeekOrigin::soCurrent), 15);
    EXPECT_EQ(Stream.Seek(2, TSeekOrigin::soEnd), 5);
    EXPECT_EQ(Stream.GetSize(), 3);
}

TEST(MemoryStream, SetSizeGrowsAndKeepsTheContent)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({1, 2, 3}));
    Stream.SetSize(100000);
    EXPECT_EQ(Stream.GetSize(), 100000);
    EXPECT_EQ(Stream.Memory()[0], 1);
    EXPECT_EQ(Stream.Memory()[2], 3);
    Stream.SetSize(2);
    EXPECT_EQ(Content(Stream), Bytes({1, 2}));
}

TEST(MemoryStream, WritePastTheEndFillsTheGapWithZeros)
{
    TMemoryStream Stream;
    Fill(Stream, Bytes({1}));
    Stream.SetPosition(3);
    Stream.WriteBuffer("\x07", 1);
    EXPECT_EQ(Content(Stream), Bytes({1, 0, 0, 7}));
}

TEST(MemoryStream, ABlockThatCannotGrowRaisesOutOfMemory)
{
    TMemoryStream Stream;
    EXPECT_THROW(Stream.SetSize(std::int64_t(1) << 62), EOutOfMemory);
    EXPECT_EQ(Stream.GetSize(), 0);
}

// Copying, from a memory-held source and from a file.

class CopyFrom : public testing::TestWithParam<bool> {
protected:
    void SetUp() override { WriteFileBytes(FSourceFile, Bytes({1, 2, 3, 4, 5, 6})); }

    // Copies Count bytes from position 2 of the source.
    void Copy(TStream& Dest, std::int64_t Count)
    {
        if (GetParam()) {
            // Kept by the fixture: a gather stream refers into its block.
            FMemorySource.LoadFromFile(FSourceFile);
            FMemorySource.SetPosition(2);
            FinishCopy(Dest, FMemorySource, Count);
        } else {
            TFileStream Source = OpenForReading(FSourceFile);
            Source.SetPosition(2);
            FinishCopy(Dest, Source, Count);
        }
    }

    std::int64_t SourcePositionAfter = -1;

private:
    void FinishCopy(TStream& Dest, TStream& Source, std::int64_t Count)
    {
        try {
            Dest.CopyFrom(Source, Count);
        } catch (...) {
            SourcePositionAfter = Source.GetPosition();
            throw;
        }
        SourcePositionAfter = Source.GetPosition();
    }

    TTempDir FDir;
    fs::path FSourceFile = FDir / "source";
    TMemoryStream FMemorySource;
};

TEST_P(CopyFrom, CopiesFromTheSourcePosition)
{
    for (bool Gather : {false, true}) {
        TMemoryStream Memory;
        TGatherStream Gathered;
        TStream& Dest = Gather ? static_cast<TStream&>(Gathered) : Memory;
        Copy(Dest, 3);
        EXPECT_EQ(SourcePositionAfter, 5);
        if (Gather) {
            Gathered.WriteTo(Memory);
            EXPECT_EQ(Gathered.Size(), 3);
        }
        EXPECT_EQ(Content(Memory), Bytes({3, 4, 5}));
    }
}

TEST_P(CopyFrom, ZeroCopiesNothing)
{
    TMemoryStream Dest;
    Copy(Dest, 0);
    EXPECT_EQ(Dest.GetSize(), 0);
    EXPECT_EQ(SourcePositionAfter, 2);
}

TEST_P(CopyFrom, AShortSourceCopiesWhatItHasThenRaises)
{
    for (bool Gather : {false, true}) {
        TMemoryStream Memory;
        TGatherStream Gathered;
        TStream& Dest = Gather ? static_cast<TStream&>(Gathered) : Memory;
        EXPECT_THROW(Copy(Dest, 10), EReadError);
        EXPECT_EQ(SourcePositionAfter, 6);
        if (Gather)
            Gathered.WriteTo(Memory);
        EXPECT_EQ(Content(Memory), Bytes({3, 4, 5, 6}));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, CopyFrom, testing::Values(true, false),
                         [](const testing::TestParamInfo<bool>& Info) { return Info.param ? "Memory" : "File"; });

TEST(GatherStream, KeepsPlainWritesAndReferencesInOrder)
{
    TMemoryStream Source;
    Fill(Source, Bytes({1, 2, 3, 4}));
    TGatherStream Gathered;
    Gathered.CopyFrom(Source, 2);
    std::uint8_t Plain[] = {9, 9};
    Gathered.WriteBuffer(Plain, 2);
    Plain[0] = 0; // the plain write was kept as a copy
    Gathered.CopyFrom(Source, 2);
    EXPECT_EQ(Gathered.GetPosition(), 6);

    TMemoryStream Out;
    Gathered.WriteTo(Out);
    EXPECT_EQ(Content(Out), Bytes({1, 2, 9, 9, 3, 4}));
}

// Files.

class FileOpening : public testing::Test {
protected:
    TTempDir Dir;
};

TEST_F(FileOpening, LoadFromFileReadsTheWholeFileAndStandsAtZero)
{
    TBytes Data = Filled(200000, 0x5A) + Bytes({1, 2, 3});
    WriteFileBytes(Dir / "a.jpg", Data);
    TMemoryStream Stream;
    Fill(Stream, Bytes({7, 7}));
    Stream.SetPosition(1);
    Stream.LoadFromFile(Dir / "a.jpg");
    EXPECT_EQ(Stream.GetPosition(), 0);
    EXPECT_EQ(Content(Stream), Data);
}

TEST_F(FileOpening, LoadFromFileOfAnEmptyFileGivesAnEmptyStream)
{
    WriteFileBytes(Dir / "empty.jpg", {});
    TMemoryStream Stream;
    Stream.LoadFromFile(Dir / "empty.jpg");
    EXPECT_EQ(Stream.GetSize(), 0);
}

TEST_F(FileOpening, AMissingFileRaisesTheOpenErrorNamingItsFullPath)
{
    TMemoryStream Stream;
    try {
        Stream.LoadFromFile(Dir / "missing.jpg");
        FAIL() << "no exception";
    } catch (const EFOpenError& Error) {
        EXPECT_EQ(Error.Message(),
                  "Cannot open file \"" + (Dir / "missing.jpg").string() + "\". " + MissingFileReason());
    }
}

// Paths are handed to the system in full: names beyond ASCII open, and the
// message names them in UTF-8.
TEST_F(FileOpening, NamesBeyondASCII)
{
    fs::path FileName = Dir / fs::path(u8"Caf\u00e9 \u65e5\u672c.jpg");
    WriteFileBytes(FileName, Bytes({1, 2, 3}));
    TMemoryStream Stream;
    Stream.LoadFromFile(FileName);
    EXPECT_EQ(Content(Stream), Bytes({1, 2, 3}));
    {
        TFileStream Rewrite(FileName, TFileMode::fmRewrite);
        Rewrite.WriteBuffer("X", 1);
        Rewrite.SetSize(1);
    }
    EXPECT_EQ(ReadFileBytes(FileName), Text("X"));

    fs::path Missing = Dir / fs::path(u8"\u00dcbersicht \u5199\u771f.jpg");
    try {
        Stream.LoadFromFile(Missing);
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& Error) {
        EXPECT_EQ(Error.Message(), "Cannot open file \"" + Utf8(Missing) + "\". " + MissingFileReason());
    }
}

TEST_F(FileOpening, TheOpenErrorExpandsARelativePath)
{
    fs::path Saved = fs::current_path();
    fs::current_path(Dir.Path());
    TMemoryStream Stream;
    try {
        Stream.LoadFromFile("missing.jpg");
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& Error) {
        EXPECT_NE(Error.Message().find((Dir / "missing.jpg").string()), std::string::npos) << Error.Message();
    }
    fs::current_path(Saved);
}

// Anything that is not a regular file is refused at once, for reading and for
// writing; the kinds other than a directory are each system's own.
TEST_F(FileOpening, ADirectoryIsRefused)
{
    fs::create_directory(Dir / "folder.jpg");
    TMemoryStream Stream;
    EXPECT_THROW(Stream.LoadFromFile(Dir / "folder.jpg"), EFOpenError);
    EXPECT_THROW(TFileStream(Dir / "folder.jpg", TFileMode::fmRewrite), EFCreateError);
    EXPECT_TRUE(fs::is_directory(Dir / "folder.jpg"));
}

// The read-only attribute is refused even for a process that could write
// anyway, such as root or an administrator.
TEST_F(FileOpening, ARewriteOfAReadOnlyFileIsRefusedAndLeavesIt)
{
    fs::path FileName = Dir / "ro.jpg";
    WriteFileBytes(FileName, Bytes({1, 2, 3}));
    ASSERT_TRUE(SetFileReadOnly(FileName, true));
    EXPECT_EQ(FileIsReadOnly(FileName), true);
    try {
        TFileStream Stream(FileName, TFileMode::fmRewrite);
        FAIL() << "no exception";
    } catch (const EFCreateError& Error) {
        EXPECT_EQ(Error.Message(), "Cannot create file \"" + FileName.string() + "\". " + AccessDeniedReason());
    }
    EXPECT_EQ(ReadFileBytes(FileName), Bytes({1, 2, 3}));
    EXPECT_NO_THROW(TFileStream(FileName, TFileMode::fmOpenRead));
}

TEST_F(FileOpening, ReadOnlyQuery)
{
    WriteFileBytes(Dir / "a.jpg", Bytes({1}));
    EXPECT_EQ(FileIsReadOnly(Dir / "a.jpg"), false);
    ASSERT_TRUE(SetFileReadOnly(Dir / "a.jpg", true));
    EXPECT_EQ(FileIsReadOnly(Dir / "a.jpg"), true);
    ASSERT_TRUE(SetFileReadOnly(Dir / "a.jpg", false));
    EXPECT_EQ(FileIsReadOnly(Dir / "a.jpg"), false);
    EXPECT_EQ(FileIsReadOnly(Dir / "missing.jpg"), std::nullopt);
}

TEST_F(FileOpening, RewriteCreatesAMissingFileAndKeepsAnExistingOnesBytesUntilWritten)
{
    {
        TFileStream Created(Dir / "new.jpg", TFileMode::fmRewrite);
        Created.WriteBuffer("ab", 2);
    }
    EXPECT_EQ(ReadFileBytes(Dir / "new.jpg"), Text("ab"));

    {
        TFileStream Existing(Dir / "new.jpg", TFileMode::fmRewrite);
        EXPECT_EQ(Existing.GetSize(), 2);
        Existing.WriteBuffer("X", 1);
        Existing.SetSize(1);
    } // closed: a rewrite shares the file with no one
    EXPECT_EQ(ReadFileBytes(Dir / "new.jpg"), Text("X"));
}

} // namespace
