#include "Exceptions.h"

namespace {

std::string ExpandedFileName(const std::filesystem::path& FileName)
{
    std::error_code Error;
    std::filesystem::path Full = std::filesystem::absolute(FileName, Error);
    return (Error ? FileName : Full).string();
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
