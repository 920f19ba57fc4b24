// Windows implementation of file opening and attributes.
#include "File.h"
#include "Exceptions.h"
#include "System.Windows.h"

#include <algorithm>
#include <string>

using WindowsSystem::IsDevicePath;
using WindowsSystem::SystemPath;
using WindowsSystem::SystemReason;

namespace {

const std::string NotARegularFile = "Not a regular file";

// The attributes with which creating a file with normal attributes over an
// existing one is refused.
constexpr DWORD RefusedForRewrite = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The attributes SetFileAttributesW accepts.
constexpr DWORD SettableAttributes = FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NORMAL |
                                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_OFFLINE |
                                     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY;

// The largest amount handed to one ReadFile or WriteFile call.
constexpr std::int64_t MaxTransfer = 1 << 30;

HANDLE Handle(std::intptr_t Native)
{
    return reinterpret_cast<HANDLE>(Native);
}

std::intptr_t Native(HANDLE Handle)
{
    return reinterpret_cast<std::intptr_t>(Handle);
}

bool IsDirectory(DWORD Attributes)
{
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The attributes of what was opened; INVALID_FILE_ATTRIBUTES when it is not
// a file or directory on a disk.
DWORD OpenedAttributes(const TFileHandle& File)
{
    if (::GetFileType(Handle(File.Native())) != FILE_TYPE_DISK)
        return INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION Information{};
    if (!::GetFileInformationByHandle(Handle(File.Native()), &Information))
        return INVALID_FILE_ATTRIBUTES;
    return Information.dwFileAttributes;
}

bool IsRegularDiskFile(DWORD Attributes)
{
    return Attributes != INVALID_FILE_ATTRIBUTES && !IsDirectory(Attributes);
}

} // namespace

void TFileHandle::Close() noexcept
{
    if (IsOpen())
        ::CloseHandle(Handle(Release()));
}

std::int64_t TFileHandle::Read(void* Buffer, std::int64_t Count)
{
    auto* Bytes = static_cast<char*>(Buffer);
    std::int64_t Done = 0;
    while (Done < Count) {
        DWORD Chunk = static_cast<DWORD>(std::min(Count - Done, MaxTransfer));
        DWORD Got = 0;
        if (!::ReadFile(Handle(FNative), Bytes + Done, Chunk, &Got, nullptr))
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
        DWORD Chunk = static_cast<DWORD>(std::min(Count - Done, MaxTransfer));
        DWORD Put = 0;
        if (!::WriteFile(Handle(FNative), Bytes + Done, Chunk, &Put, nullptr) || Put == 0)
            return Done > 0 ? Done : -1;
        Done += Put;
    }
    return Done;
}

std::int64_t TFileHandle::Seek(std::int64_t Offset, TSeekOrigin Origin)
{
    DWORD Method = Origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                 : Origin == TSeekOrigin::soCurrent   ? FILE_CURRENT
                                                      : FILE_END;
    LARGE_INTEGER Distance{};
    Distance.QuadPart = Offset;
    LARGE_INTEGER Position{};
    if (!::SetFilePointerEx(Handle(FNative), Distance, &Position, Method))
        return -1;
    return Position.QuadPart;
}

std::int64_t TFileHandle::Size()
{
    LARGE_INTEGER FileSize{};
    if (!::GetFileSizeEx(Handle(FNative), &FileSize))
        return -1;
    return FileSize.QuadPart;
}

bool TFileHandle::Truncate(std::int64_t NewSize)
{
    if (NewSize < 0)
        return false;
    // Sets the end of the file without moving the file pointer.
    FILE_END_OF_FILE_INFO EndOfFile{};
    EndOfFile.EndOfFile.QuadPart = NewSize;
    return ::SetFileInformationByHandle(Handle(FNative), FileEndOfFileInfo, &EndOfFile, sizeof EndOfFile) != 0;
}

TFileHandle OpenFileForReading(const std::filesystem::path& FileName)
{
    // Look before opening: opening a device or a pipe can have effects of
    // its own, and a directory is refused with a clearer reason.
    const std::wstring Name = SystemPath(FileName);
    if (IsDevicePath(Name) || IsDirectory(::GetFileAttributesW(Name.c_str())))
        throw EFOpenError(FileName, NotARegularFile);

    TFileHandle File(Native(::CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!File.IsOpen()) {
        DWORD Error = ::GetLastError();
        throw EFOpenError(FileName, SystemReason(Error));
    }
    if (!IsRegularDiskFile(OpenedAttributes(File)))
        throw EFOpenError(FileName, NotARegularFile);
    return File;
}

TFileHandle OpenFileForRewrite(const std::filesystem::path& FileName)
{
    // Creating a file with normal attributes over an existing read-only,
    // hidden or system file is refused by the system; the file is opened
    // without cutting it, so these attributes are checked here.
    const std::wstring Name = SystemPath(FileName);
    if (IsDevicePath(Name))
        throw EFCreateError(FileName, NotARegularFile);
    DWORD Attributes = ::GetFileAttributesW(Name.c_str());
    if (IsDirectory(Attributes))
        throw EFCreateError(FileName, NotARegularFile);
    if (Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & RefusedForRewrite) != 0)
        throw EFCreateError(FileName, SystemReason(ERROR_ACCESS_DENIED));

    TFileHandle File(Native(::CreateFileW(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr)));
    if (!File.IsOpen()) {
        DWORD Error = ::GetLastError();
        throw EFCreateError(FileName, SystemReason(Error));
    }
    // Checked again on what was opened: the file may have changed in
    // between, or the name may be a link to a file with these attributes.
    Attributes = OpenedAttributes(File);
    if (!IsRegularDiskFile(Attributes))
        throw EFCreateError(FileName, NotARegularFile);
    if ((Attributes & RefusedForRewrite) != 0)
        throw EFCreateError(FileName, SystemReason(ERROR_ACCESS_DENIED));
    return File;
}

std::optional<bool> FileIsReadOnly(const std::filesystem::path& FileName)
{
    DWORD Attributes = ::GetFileAttributesW(SystemPath(FileName).c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return (Attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool SetFileReadOnly(const std::filesystem::path& FileName, bool ReadOnly)
{
    const std::wstring Name = SystemPath(FileName);
    DWORD Attributes = ::GetFileAttributesW(Name.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    Attributes &= SettableAttributes & ~FILE_ATTRIBUTE_NORMAL;
    Attributes = ReadOnly ? (Attributes | FILE_ATTRIBUTE_READONLY) : (Attributes & ~FILE_ATTRIBUTE_READONLY);
    return ::SetFileAttributesW(Name.c_str(), Attributes == 0 ? FILE_ATTRIBUTE_NORMAL : Attributes) != 0;
}
