#include "System.Windows.h"

#include <string_view>

namespace WindowsSystem {

namespace {

constexpr std::wstring_view LongPrefix = L"\\\\?\\";
constexpr std::wstring_view LongUncPrefix = L"\\\\?\\UNC\\";
constexpr std::wstring_view DevicePrefix = L"\\\\.\\";

// GetFullPathNameW, which handles inputs of any length.
std::wstring FullPathName(const std::wstring& Path)
{
    std::wstring Buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD Length = ::GetFullPathNameW(Path.c_str(), static_cast<DWORD>(Buffer.size()), Buffer.data(), nullptr);
        if (Length == 0)
            return Path; // let the call that uses it report the error
        if (Length < Buffer.size()) {
            Buffer.resize(Length);
            return Buffer;
        }
        Buffer.resize(Length); // Length counts the terminating zero here
    }
}

std::string Utf8(std::wstring_view Text)
{
    if (Text.empty())
        return {};
    int Size = ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string Result(static_cast<std::size_t>(Size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size, nullptr,
                          nullptr);
    return Result;
}

} // namespace

std::wstring SystemPath(const std::filesystem::path& Path)
{
    const std::wstring& Native = Path.native();
    if (Native.starts_with(LongPrefix))
        return Native;

    std::wstring Full = FullPathName(Native);
    if (Full.starts_with(DevicePrefix) || Full.starts_with(LongPrefix))
        return Full;
    if (Full.starts_with(L"\\\\"))
        return std::wstring(LongUncPrefix) + Full.substr(2);
    if (Full.size() >= 3 && Full[1] == L':' && Full[2] == L'\\')
        return std::wstring(LongPrefix) + Full;
    return Full;
}

bool IsDevicePath(const std::wstring& SystemPath)
{
    return SystemPath.starts_with(DevicePrefix);
}

std::string SystemReason(DWORD Error)
{
    wchar_t Buffer[1024];
    DWORD Length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Error, 0,
                                    Buffer, static_cast<DWORD>(std::size(Buffer)), nullptr);
    std::wstring_view Text(Buffer, Length);
    while (!Text.empty() && (Text.back() == L'\r' || Text.back() == L'\n' || Text.back() == L' ' ||
                             Text.back() == L'.'))
        Text.remove_suffix(1);
    if (Text.empty())
        return "System error " + std::to_string(Error);
    return Utf8(Text);
}

} // namespace WindowsSystem
