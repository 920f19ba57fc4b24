#include "Exceptions.h"

namespace {

std::string ExpandedFileName(const std::filesystem::path& FileName)
{
    std::error_code Error;
    std::filesystem::path Full = std::filesystem::absolute(FileName, Error);
    // UTF-8 on every system (on Windows the native form is wide).
    std::u8string Text = (Error ? FileName : Full).u8string();
    return std::string(Text.begin(), Text.end());
}

} // namespace

EFOpenError::EFOpenError(const std::filesystem::path& FileName, const std::string& Reason)
    : EFileStreamError("Cannot open file \"" + ExpandedFileName(FileName) + "\". " + Reason)
{
}

EFCreateError::EFCreateError(const std::filesystem::path& FileName, const std::string& Reason)
    : EFileStreamError("Cannot create file \"" + ExpandedFileName(FileName) + "\". " + Reason)
{
}
