// Opening files and reading their attributes. The implementation for each
// operating system lives in its own source file; nothing else in the program
// branches on the OS.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// An open file, closed when the handle goes. Move-only.
class TFileHandle {
public:
    TFileHandle() = default;
    explicit TFileHandle(std::intptr_t Native) : FNative(Native) {}
    TFileHandle(TFileHandle&& Other) noexcept : FNative(Other.Release()) {}
    TFileHandle& operator=(TFileHandle&& Other) noexcept
    {
        if (this != &Other) {
            Close();
            FNative = Other.Release();
        }
        return *this;
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    ~TFileHandle() { Close(); }

    bool IsOpen() const { return FNative != InvalidNative; }
    std::intptr_t Native() const { return FNative; }
    // Gives up the handle without closing it.
    std::intptr_t Release() noexcept
    {
        std::intptr_t Released = FNative;
        FNative = InvalidNative;
        return Released;
    }
    void Close() noexcept;

    // Plain operations: they return what the system delivered, or -1 on an
    // error. Read and Write handle interrupted calls and partial transfers.
    std::int64_t Read(void* Buffer, std::int64_t Count);
    std::int64_t Write(const void* Buffer, std::int64_t Count);
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin);
    std::int64_t Size();
    bool Truncate(std::int64_t NewSize);

    static constexpr std::intptr_t InvalidNative = -1;

private:
    std::intptr_t FNative = InvalidNative;
};

// Opens an existing regular file for reading; other writers are refused
// where the system has share modes. Anything that is not a regular file (a
// directory, a named pipe, a device, a socket) is refused at once, without
// blocking. Raises EFOpenError.
TFileHandle OpenFileForReading(const std::filesystem::path& FileName);

// Opens a file for reading and writing with no sharing, creating it when it
// is missing. A file with the read-only attribute is refused even when the
// process could write to it anyway (for instance as an administrator), and so
// is anything that is not a regular file. Raises EFCreateError.
//
// The content is not cut at open: a rewrite overwrites the file from the
// start and then sets its final size, so the create-or-truncate result is the
// same while a rewrite that fails part-way can still put the old bytes back.
TFileHandle OpenFileForRewrite(const std::filesystem::path& FileName);

// The read-only attribute of a file (on POSIX: the owner has no write
// permission). Empty when the attributes cannot be read.
std::optional<bool> FileIsReadOnly(const std::filesystem::path& FileName);

// Sets or clears the read-only attribute. Returns false on failure.
bool SetFileReadOnly(const std::filesystem::path& FileName, bool ReadOnly);
