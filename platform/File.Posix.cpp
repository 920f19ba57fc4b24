// POSIX implementation of file opening and attributes.
#include "File.h"
#include "Exceptions.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemReason(int Error)
{
    return std::strerror(Error);
}

const std::string NotARegularFile = "Not a regular file";

int Fd(std::intptr_t Native)
{
    return static_cast<int>(Native);
}

// Owner write permission stands for the absence of the read-only attribute.
bool ModeIsReadOnly(mode_t Mode)
{
    return (Mode & S_IWUSR) == 0;
}

} // namespace

void TFileHandle::Close() noexcept
{
    if (IsOpen())
        ::close(Fd(Release()));
}

std::int64_t TFileHandle::Read(void* Buffer, std::int64_t Count)
{
    auto* Bytes = static_cast<char*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        ssize_t Got = ::read(Fd(FNative), Bytes + Done, static_cast<size_t>(Count - Done));
        if (Got < 0 && errno == EINTR)
            continue;
        if (Got < 0)
            return Done > 0 ? Done : -1;
        if (Got == 0)
            break;
        Done += Got;
    }
    return Done;
}

std::int64_t TFileHandle::Write(const void* Buffer, std::int64_t Count)
{
    const auto* Bytes = static_cast<const char*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        ssize_t Put = ::write(Fd(FNative), Bytes + Done, static_cast<size_t>(Count - Done));
        if (Put < 0 && errno == EINTR)
            continue;
        if (Put <= 0)
            return Done > 0 ? Done : -1;
        Done += Put;
    }
    return Done;
}

std::int64_t TFileHandle::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    int Whence = Origin == TSeekOrigin::soBeginning ? SEEK_SET
               : Origin == TSeekOrigin::soCurrent   ? SEEK_CUR
                                                    : SEEK_END;
    return ::lseek(Fd(FNative), static_cast<off_t>(Offset), Whence);
}

std::int64_t TFileHandle::Size()
{
    struct stat Info {};
    if (::fstat(Fd(FNative), &Info) != 0)
        return -1;
    return Info.st_size;
}

bool TFileHandle::Truncate(std::int64_t NewSize)
{
    int Result;
    do
        Result = ::ftruncate(Fd(FNative), static_cast<off_t>(NewSize));
    while (Result != 0 && errno == EINTR);
    return Result == 0;
}

TFileHandle OpenFileForReading(const std::filesystem::path& FileName)
{
    // Look before opening: opening a device can have effects of its own.
    struct stat Info {};
    if (::stat(FileName.c_str(), &Info) == 0 && !S_ISREG(Info.st_mode))
        throw EFOpenError(FileName, NotARegularFile);

    // O_NONBLOCK keeps a pipe that appeared since from blocking the open.
    TFileHandle Handle(::open(FileName.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!Handle.IsOpen())
        throw EFOpenError(FileName, SystemReason(errno));
    if (::fstat(Fd(Handle.Native()), &Info) != 0)
        throw EFOpenError(FileName, SystemReason(errno));
    if (!S_ISREG(Info.st_mode))
        throw EFOpenError(FileName, NotARegularFile);
    return Handle;
}

TFileHandle OpenFileForRewrite(const std::filesystem::path& FileName)
{
    struct stat Info {};
    if (::stat(FileName.c_str(), &Info) == 0) {
        if (!S_ISREG(Info.st_mode))
            throw EFCreateError(FileName, NotARegularFile);
        if (ModeIsReadOnly(Info.st_mode))
            throw EFCreateError(FileName, SystemReason(EACCES));
    }

    TFileHandle Handle(::open(FileName.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (!Handle.IsOpen())
        throw EFCreateError(FileName, SystemReason(errno));
    // Checked again on what was opened, in case the file changed in between.
    if (::fstat(Fd(Handle.Native()), &Info) != 0)
        throw EFCreateError(FileName, SystemReason(errno));
    if (!S_ISREG(Info.st_mode))
        throw EFCreateError(FileName, NotARegularFile);
    if (ModeIsReadOnly(Info.st_mode))
        throw EFCreateError(FileName, SystemReason(EACCES));
    return Handle;
}

std::optional<bool> FileIsReadOnly(const std::filesystem::path& FileName)
{
    struct stat Info {};
    if (::stat(FileName.c_str(), &Info) != 0)
        return std::nullopt;
    return ModeIsReadOnly(Info.st_mode);
}

bool SetFileReadOnly(const std::filesystem::path& FileName, bool ReadOnly)
{
    struct stat Info {};
    if (::stat(FileName.c_str(), &Info) != 0)
        return false;
    mode_t Mode = Info.st_mode & 07777;
    Mode = ReadOnly ? (Mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH)) : (Mode | S_IWUSR);
    return ::chmod(FileName.c_str(), Mode) == 0;
}
