// Helpers shared by the Windows implementation files: the form in which paths
// are handed to the system, the system's reason text for an error, and
// owners for the system's handles.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>

namespace WindowsSystem {

// The path as the wide-character calls get it: made absolute and normalised
// by the system (separators, "." and ".." resolved), then given the "\\?\"
// prefix (or "\\?\UNC\" for a share) so that no length limit applies. A path
// that already carries "\\?\" is left as it is. Names that the system maps
// to devices (such as "NUL" or "CON") come back in the device namespace
// "\\.\", without the prefix.
std::wstring SystemPath(const std::filesystem::path& Path);

// True for a path in the device namespace ("\\.\..."): a device or a pipe,
// never a file on a disk.
bool IsDevicePath(const std::wstring& SystemPath);

// The system's text for an error code, in UTF-8, without the line break and
// the full stop that end it.
std::string SystemReason(DWORD Error);

// Closes a handle from CreateFileW.
struct THandleCloser {
    void operator()(HANDLE Handle) const noexcept { ::CloseHandle(Handle); }
};
using TUniqueHandle = std::unique_ptr<void, THandleCloser>;

// Closes a handle from FindFirstFileExW.
struct TFindCloser {
    void operator()(HANDLE Handle) const noexcept { ::FindClose(Handle); }
};
using TUniqueFindHandle = std::unique_ptr<void, TFindCloser>;

// Empty for INVALID_HANDLE_VALUE, so that the owner never closes it.
template <typename TOwner>
TOwner Own(HANDLE Handle)
{
    return TOwner(Handle == INVALID_HANDLE_VALUE ? nullptr : Handle);
}

} // namespace WindowsSystem
