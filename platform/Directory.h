// Directory enumeration, in the order the file system delivers the entries.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

// Which entries an enumeration delivers.
enum class TFindMask {
    faNonDirectories, // every entry that does not carry the directory attribute
    faAnyFile         // every entry, "." and ".." excepted
};

struct TDirectoryEntry {
    std::filesystem::path Name; // the entry's name, without its directory
    bool IsDirectory = false;   // links to directories count as directories
};

// Identifies a file or directory on its volume (device and inode on POSIX,
// volume serial and file ID on Windows).
struct TFileId {
    std::uint64_t Volume = 0;
    std::uint64_t Index = 0;
    auto operator<=>(const TFileId&) const = default;
};

// The identity of what Path leads to (links are followed). Empty when it
// cannot be read.
std::optional<TFileId> FileIdOf(const std::filesystem::path& Path);

// Enumerates one directory. A directory that cannot be opened yields no
// entries; an enumeration that fails part-way ends there. Closed when the
// enumerator goes.
class TDirectoryEnumerator {
public:
    TDirectoryEnumerator(const std::filesystem::path& Directory, TFindMask Mask);
    ~TDirectoryEnumerator();
    TDirectoryEnumerator(const TDirectoryEnumerator&) = delete;
    TDirectoryEnumerator& operator=(const TDirectoryEnumerator&) = delete;

    // The next entry that fits the mask; false at the end.
    bool Next(TDirectoryEntry& Entry);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};
