// Cleaning on a file system that is full, on a small tmpfs mounted in a
// private mount namespace of the test process (needs root).
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);
constexpr int PayloadOfLargestSegment = 65533;

TBytes ScanData(std::size_t Count)
{
    std::mt19937 Random(7);
    TBytes Data(Count);
    for (auto& Byte : Data)
        Byte = static_cast<std::uint8_t>(Random() % 0xFF); // never FF: no marker in it
    return Segment(0xDA, Bytes({1, 1, 0, 0, 63, 0})) + Data + EOI;
}

class FullDisk : public testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "mounting a small file system needs root; the injected write failure of the "
                            "engine tests covers the same path";
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            GTEST_SKIP() << "no private mount namespace here: " << std::strerror(errno);
        ASSERT_EQ(::mount("tmpfs", Dir.Path().c_str(), "tmpfs", 0, "size=512k"), 0) << std::strerror(errno);
        Mounted = true;
    }

    void TearDown() override
    {
        if (Mounted)
            ::umount2(Dir.Path().c_str(), MNT_DETACH);
    }

    // Writes a filler file until the file system refuses more.
    void FillTheDisk()
    {
        TFileHandle Filler(::open((Dir / "filler").c_str(), O_WRONLY | O_CREAT, 0644));
        ASSERT_TRUE(Filler.IsOpen());
        TBytes Block(4096, 0x55);
        while (::write(static_cast<int>(Filler.Native()), Block.data(), Block.size()) > 0) {
        }
        ASSERT_EQ(errno, ENOSPC);
        while (::write(static_cast<int>(Filler.Native()), Block.data(), 1) > 0) {
        }
    }

    TTempDir Dir;
    bool Mounted = false;
};

// Cleaning writes over blocks the file already has, so a full disk does not
// stop it.
TEST_F(FullDisk, AFileIsCleanedOverItsOwnBlocks)
{
    TBytes Photo = SOI + JFIF() + Exif(30000) + Quantisation() + ScanData(100000);
    TBytes Clean = SOI + JFIF() + Quantisation() + ScanData(100000);
    WriteFileBytes(Dir / "a.jpg", Photo);
    FillTheDisk();

    EXPECT_EQ(RemoveJPEGSegments(Dir / "a.jpg", APPn), TJPEGMarkers({0xE1}));
    EXPECT_EQ(ReadFileBytes(Dir / "a.jpg"), Clean);
}

// A file with holes in its metadata needs new blocks once the picture moves
// up into them: the write fails part-way and the old bytes go back.
TEST_F(FullDisk, AWriteThatFailsPartWayLeavesTheOriginal)
{
    fs::path FileName = Dir / "sparse.jpg";
    {
        TFileHandle File(::open(FileName.c_str(), O_WRONLY | O_CREAT, 0644));
        ASSERT_TRUE(File.IsOpen());
        TBytes Head = SOI + JFIF();
        ASSERT_EQ(File.Write(Head.data(), static_cast<std::int64_t>(Head.size())), static_cast<std::int64_t>(Head.size()));
        for (int Hole = 0; Hole < 2; ++Hole) {
            TBytes Marker = Bytes({0xFF, 0xE1, 0xFF, 0xFF});
            ASSERT_EQ(File.Write(Marker.data(), 4), 4);
            File.Seek(PayloadOfLargestSegment, TSeekOrigin::soCurrent); // a hole of zeros
        }
        TBytes Rest = Quantisation() + ScanData(200000);
        ASSERT_EQ(File.Write(Rest.data(), static_cast<std::int64_t>(Rest.size())), static_cast<std::int64_t>(Rest.size()));
    }
    TBytes Original = ReadFileBytes(FileName);
    FillTheDisk();

    EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EWriteError);
    EXPECT_EQ(ReadFileBytes(FileName), Original);
}

} // namespace
