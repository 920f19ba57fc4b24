// Cleaning a file larger than the memory the process may use.
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"
#include "Sanitizers.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);

// Exit codes of the child that runs under the limit.
enum TChildResult { OutOfMemoryThenCleaned = 0, NoError = 1, OtherError = 2, SmallFileFailed = 3 };

TEST(MemoryLimit, AFileTooLargeForMemoryIsAnErrorAndTheNextFileIsCleaned)
{
    if (UnderAddressSanitizer)
        GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";

    TTempDir Dir;
    // 3 GiB that take no room on the disk: a JPEG head, then a hole.
    fs::path Large = Dir / "large.jpg";
    TBytes Head = SOI + JFIF() + Exif();
    WriteFileBytes(Large, Head);
    fs::resize_file(Large, std::uintmax_t(3) << 30);
    TBytes Small = SOI + JFIF() + Exif() + Quantisation() + Scan() + EOI;
    WriteFileBytes(Dir / "small.jpg", Small);

    pid_t Child = ::fork();
    ASSERT_GE(Child, 0);
    if (Child == 0) {
        rlimit Limit{rlim_t(1) << 30, rlim_t(1) << 30};
        ::setrlimit(RLIMIT_AS, &Limit);
        int Result = NoError;
        try {
            RemoveJPEGSegments(Large, APPn);
        } catch (const EOutOfMemory&) {
            Result = OutOfMemoryThenCleaned;
        } catch (...) {
            Result = OtherError;
        }
        try {
            if (RemoveJPEGSegments(Dir / "small.jpg", APPn) != TJPEGMarkers({0xE1}))
                Result = SmallFileFailed;
        } catch (...) {
            Result = SmallFileFailed;
        }
        ::_exit(Result);
    }
    int Status = 0;
    ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
    ASSERT_TRUE(WIFEXITED(Status));
    EXPECT_EQ(WEXITSTATUS(Status), OutOfMemoryThenCleaned);

    EXPECT_EQ(fs::file_size(Large), std::uintmax_t(3) << 30);
    TBytes Start(Head.size());
    {
        TFileStream Stream(Large, TFileMode::fmOpenRead);
        Stream.ReadBuffer(Start.data(), static_cast<std::int64_t>(Start.size()));
    }
    EXPECT_EQ(Start, Head);
    EXPECT_EQ(ReadFileBytes(Dir / "small.jpg"), SOI + JFIF() + Quantisation() + Scan() + EOI);
}

} // namespace
