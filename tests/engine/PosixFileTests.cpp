// What only POSIX systems have: named pipes, sockets and devices in the file
// system, and permissions.
#include "Directory.h"
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"
#include "Streams.h"
#include "SystemReasons.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace fs = std::filesystem;

std::string MissingFileReason()
{
    return "No such file or directory";
}

std::string AccessDeniedReason()
{
    return "Permission denied";
}

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);
const TBytes Photo = SOI + JFIF() + Exif(300) + Quantisation() + Scan() + EOI;
const TBytes CleanPhoto = SOI + JFIF() + Quantisation() + Scan() + EOI;

struct stat StatOf(const fs::path& FileName)
{
    struct stat Info {};
    EXPECT_EQ(::stat(FileName.c_str(), &Info), 0);
    return Info;
}

class PosixFiles : public testing::Test {
protected:
    fs::path Write(const char* Name, const TBytes& Content)
    {
        fs::path FileName = Dir / Name;
        WriteFileBytes(FileName, Content);
        return FileName;
    }

    TTempDir Dir;
};

// Opening never blocks and never reads endlessly.
TEST_F(PosixFiles, NonRegularFilesAreRefused)
{
    ASSERT_EQ(::mkfifo((Dir / "pipe.jpg").c_str(), 0644), 0);
    int Socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(Socket, 0);
    sockaddr_un Address{};
    Address.sun_family = AF_UNIX;
    std::string SocketPath = (Dir / "socket.jpg").string();
    ASSERT_LT(SocketPath.size(), sizeof Address.sun_path);
    SocketPath.copy(Address.sun_path, SocketPath.size());
    ASSERT_EQ(::bind(Socket, reinterpret_cast<sockaddr*>(&Address), sizeof Address), 0);

    for (const char* Name : {"pipe.jpg", "socket.jpg"}) {
        SCOPED_TRACE(Name);
        TMemoryStream Stream;
        EXPECT_THROW(Stream.LoadFromFile(Dir / Name), EFOpenError);
        EXPECT_THROW(TFileStream(Dir / Name, TFileMode::fmRewrite), EFCreateError);
    }
    EXPECT_THROW(TFileStream("/dev/zero", TFileMode::fmOpenRead), EFOpenError);
    ::close(Socket);
}

TEST_F(PosixFiles, ANamedPipeFailsAtOnce)
{
    ASSERT_EQ(::mkfifo((Dir / "x.jpg").c_str(), 0644), 0);
    EXPECT_THROW(RemoveJPEGSegments(Dir / "x.jpg", APPn), EFOpenError);
}

// The read-only attribute is the owner's missing write permission.
TEST_F(PosixFiles, TheReadOnlyAttributeIsTheOwnersWritePermission)
{
    fs::path FileName = Write("a.jpg", Bytes({1}));
    ASSERT_EQ(::chmod(FileName.c_str(), 0644), 0);
    ASSERT_TRUE(SetFileReadOnly(FileName, true));
    EXPECT_EQ(StatOf(FileName).st_mode & 07777, 0444u);
    ASSERT_TRUE(SetFileReadOnly(FileName, false));
    EXPECT_EQ(StatOf(FileName).st_mode & 07777, 0644u);

    ASSERT_EQ(::chmod(FileName.c_str(), 0466), 0);
    EXPECT_EQ(FileIsReadOnly(FileName), true);
}

// In place: the inode, its owner and its permissions stay.
TEST_F(PosixFiles, ARewriteKeepsTheInodeItsOwnerAndItsPermissions)
{
    fs::path FileName = Write("a.jpg", Photo);
    ::chmod(FileName.c_str(), 0640);
    fs::create_hard_link(FileName, Dir / "link.jpg");
    struct stat Before = StatOf(FileName);

    EXPECT_EQ(RemoveJPEGSegments(FileName, APPn), TJPEGMarkers({0xE1}));

    EXPECT_EQ(ReadFileBytes(FileName), CleanPhoto);
    EXPECT_EQ(ReadFileBytes(Dir / "link.jpg"), CleanPhoto);
    struct stat After = StatOf(FileName);
    EXPECT_EQ(After.st_ino, Before.st_ino);
    EXPECT_EQ(After.st_mode, Before.st_mode);
    EXPECT_EQ(After.st_uid, Before.st_uid);
    EXPECT_EQ(After.st_nlink, 2u);
}

// Links are followed: a link to a directory is a directory.
TEST_F(PosixFiles, ALinkToADirectoryIsEnumeratedAsADirectory)
{
    fs::create_directory(Dir / "folder");
    fs::create_directory_symlink(Dir / "folder", Dir / "to folder");
    fs::create_symlink(Write("a.jpg", Photo), Dir / "to a.jpg");

    std::set<std::pair<fs::path, bool>> Found;
    TDirectoryEnumerator Enumerator(Dir.Path(), TFindMask::faAnyFile);
    TDirectoryEntry Entry;
    while (Enumerator.Next(Entry))
        Found.emplace(Entry.Name, Entry.IsDirectory);
    EXPECT_EQ(Found, (std::set<std::pair<fs::path, bool>>{
                         {"folder", true}, {"to folder", true}, {"a.jpg", false}, {"to a.jpg", false}}));
    EXPECT_EQ(FileIdOf(Dir / "to folder"), FileIdOf(Dir / "folder"));
}

TEST_F(PosixFiles, AnUnreadableFileIsNotTouched)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads files without read permission";
    fs::path FileName = Write("secret.jpg", Photo);
    ::chmod(FileName.c_str(), 0200);
    EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFOpenError);
    ::chmod(FileName.c_str(), 0600);
    EXPECT_EQ(ReadFileBytes(FileName), Photo);
}

} // namespace
