// POSIX implementation of directory enumeration.
#include "Directory.h"

#include <cstring>
#include <memory>

#include <dirent.h>
#include <sys/stat.h>

namespace {

struct TDirCloser {
    void operator()(DIR* Dir) const { ::closedir(Dir); }
};

} // namespace

struct TDirectoryEnumerator::TState {
    std::unique_ptr<DIR, TDirCloser> Dir;
    TFindMask Mask;
};

std::optional<TFileId> FileIdOf(const std::filesystem::path& Path)
{
    struct stat Info {};
    if (::stat(Path.c_str(), &Info) != 0)
        return std::nullopt;
    return TFileId{static_cast<std::uint64_t>(Info.st_dev), static_cast<std::uint64_t>(Info.st_ino)};
}

TDirectoryEnumerator::TDirectoryEnumerator(const std::filesystem::path& Directory, TFindMask Mask)
    : FState(std::make_unique<TState>(TState{std::unique_ptr<DIR, TDirCloser>(::opendir(Directory.c_str())), Mask}))
{
}

TDirectoryEnumerator::~TDirectoryEnumerator() = default;

bool TDirectoryEnumerator::Next(TDirectoryEntry& Entry)
{
    if (!FState->Dir)
        return false;
    while (const dirent* Found = ::readdir(FState->Dir.get())) {
        if (std::strcmp(Found->d_name, ".") == 0 || std::strcmp(Found->d_name, "..") == 0)
            continue;
        bool IsDirectory = Found->d_type == DT_DIR;
        if (Found->d_type == DT_LNK || Found->d_type == DT_UNKNOWN) {
            // Links are followed: a link to a directory is a directory.
            struct stat Info {};
            IsDirectory = ::fstatat(::dirfd(FState->Dir.get()), Found->d_name, &Info, 0) == 0 &&
                          S_ISDIR(Info.st_mode);
        }
        if (FState->Mask == TFindMask::faNonDirectories && IsDirectory)
            continue;
        Entry.Name = Found->d_name;
        Entry.IsDirectory = IsDirectory;
        return true;
    }
    return false;
}
