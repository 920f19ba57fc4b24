// Windows implementation of directory enumeration.
#include "Directory.h"
#include "System.Windows.h"

#include <string_view>

using WindowsSystem::IsDevicePath;
using WindowsSystem::Own;
using WindowsSystem::SystemPath;
using WindowsSystem::TUniqueFindHandle;
using WindowsSystem::TUniqueHandle;

struct TDirectoryEnumerator::TState {
    TUniqueFindHandle Find;
    TFindMask Mask;
    WIN32_FIND_DATAW Found{}; // the entry the search stands on
    bool HasFound = false;    // Found has not been delivered or passed over yet
};

std::optional<TFileId> FileIdOf(const std::filesystem::path& Path)
{
    const std::wstring Name = SystemPath(Path);
    if (IsDevicePath(Name))
        return std::nullopt;
    // Backup semantics let a directory be opened too; links are followed.
    TUniqueHandle Handle = Own<TUniqueHandle>(
        ::CreateFileW(Name.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!Handle)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION Information{};
    if (!::GetFileInformationByHandle(Handle.get(), &Information))
        return std::nullopt;
    return TFileId{Information.dwVolumeSerialNumber,
                   (static_cast<std::uint64_t>(Information.nFileIndexHigh) << 32) | Information.nFileIndexLow};
}

TDirectoryEnumerator::TDirectoryEnumerator(const std::filesystem::path& Directory, TFindMask Mask)
    : FState(std::make_unique<TState>())
{
    FState->Mask = Mask;
    const std::wstring Pattern = SystemPath(Directory / L"*.*");
    FState->Find = Own<TUniqueFindHandle>(::FindFirstFileExW(Pattern.c_str(), FindExInfoBasic, &FState->Found,
                                                             FindExSearchNameMatch, nullptr,
                                                             FIND_FIRST_EX_LARGE_FETCH));
    FState->HasFound = FState->Find != nullptr;
}

TDirectoryEnumerator::~TDirectoryEnumerator() = default;

bool TDirectoryEnumerator::Next(TDirectoryEntry& Entry)
{
    while (FState->Find) {
        if (!FState->HasFound && !::FindNextFileW(FState->Find.get(), &FState->Found)) {
            FState->Find.reset();
            return false;
        }
        FState->HasFound = false;

        const WIN32_FIND_DATAW& Found = FState->Found;
        std::wstring_view Name = Found.cFileName;
        if (Name == L"." || Name == L"..")
            continue;
        // A link to a directory carries the directory attribute itself.
        bool IsDirectory = (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (FState->Mask == TFindMask::faNonDirectories && IsDirectory)
            continue;
        Entry.Name = std::filesystem::path(Name);
        Entry.IsDirectory = IsDirectory;
        return true;
    }
    return false;
}
