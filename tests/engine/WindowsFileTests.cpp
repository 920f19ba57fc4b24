// What only Windows has: file attributes that refuse a rewrite, share modes,
// devices behind reserved names, named pipes, long paths and the "*.*"
// enumeration with its attribute masks.
//
// The tests also run under Wine, which differs from Windows in places (as
// root it opens a read-only file for writing, and it ignores the hidden and
// system attributes when a file is created over). Where it does, the test
// says so in its output and checks what the program relies on.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "Directory.h"
#include "Exceptions.h"
#include "Exif.JPEGUtils.h"
#include "JpegBytes.h"
#include "Streams.h"
#include "SystemReasons.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>
#include <set>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The system's text for an error, as the messages end with it: UTF-8,
// without the closing line break and full stop.
std::string SystemText(DWORD Error)
{
    wchar_t Buffer[1024];
    DWORD Length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, Error, 0,
                                    Buffer, static_cast<DWORD>(std::size(Buffer)), nullptr);
    std::wstring_view Text(Buffer, Length);
    while (!Text.empty() && std::wstring_view(L"\r\n .").find(Text.back()) != std::wstring_view::npos)
        Text.remove_suffix(1);
    std::u8string Utf8 = fs::path(Text).u8string();
    return std::string(Utf8.begin(), Utf8.end());
}

} // namespace

std::string MissingFileReason()
{
    return SystemText(ERROR_FILE_NOT_FOUND);
}

std::string AccessDeniedReason()
{
    return SystemText(ERROR_ACCESS_DENIED);
}

namespace {

const TJPEGMarkers APPn = TJPEGMarkers::Range(0xE1, 0xEF);
const TBytes Photo = SOI + JFIF() + Exif(300) + Quantisation() + Scan() + EOI;
const TBytes CleanPhoto = SOI + JFIF() + Quantisation() + Scan() + EOI;

bool UnderWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Tells, in the test's output, where Wine differs from Windows.
void WineNote(const std::string& Text)
{
    std::cout << "[   WINE   ] " << Text << std::endl;
}

struct THandleCloser {
    void operator()(HANDLE Handle) const noexcept { ::CloseHandle(Handle); }
};
using THandle = std::unique_ptr<void, THandleCloser>;

THandle Own(HANDLE Handle)
{
    return THandle(Handle == INVALID_HANDLE_VALUE ? nullptr : Handle);
}

// Opens a file as another program would; empty on failure, with the error
// in LastError.
THandle OpenOther(const fs::path& FileName, DWORD Access, DWORD Share, DWORD Disposition, DWORD& LastError)
{
    HANDLE Handle = ::CreateFileW(FileName.c_str(), Access, Share, nullptr, Disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    LastError = Handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    return Own(Handle);
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class WindowsFiles : public testing::Test {
protected:
    fs::path Write(const char* Name, const TBytes& Content)
    {
        fs::path FileName = Dir / Name;
        WriteFileBytes(FileName, Content);
        return FileName;
    }

    static DWORD Attributes(const fs::path& FileName) { return ::GetFileAttributesW(FileName.c_str()); }

    TTempDir Dir;
};

// Read-only, hidden and system files: creating a file with normal attributes
// over them is refused with "access denied", so a rewrite of them is too.

struct TAttributeCase {
    const char* Name;
    DWORD Attribute;
};

void PrintTo(const TAttributeCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class RefusingAttribute : public WindowsFiles, public testing::WithParamInterface<TAttributeCase> {};

TEST_P(RefusingAttribute, RefusesTheRewriteAndLeavesTheFile)
{
    const DWORD Attribute = GetParam().Attribute;
    fs::path FileName = Write("a.jpg", Photo);
    ASSERT_TRUE(::SetFileAttributesW(FileName.c_str(), Attribute));
    ASSERT_EQ(Attributes(FileName) & Attribute, Attribute) << "the system did not keep the attribute";

    try {
        OpenFileForRewrite(FileName);
        ADD_FAILURE() << "no exception";
    } catch (const EFCreateError& Error) {
        EXPECT_EQ(Error.Message(), "Cannot create file \"" + Utf8(FileName) + "\". " + SystemText(ERROR_ACCESS_DENIED));
    }
    EXPECT_THROW(TFileStream(FileName, TFileMode::fmRewrite), EFCreateError);
    EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFCreateError);

    EXPECT_EQ(ReadFileBytes(FileName), Photo);
    EXPECT_EQ(Attributes(FileName) & Attribute, Attribute);
    EXPECT_NO_THROW(OpenFileForReading(FileName));
}

// What the refusal stands for: the system's own create-or-truncate with read
// and write access, no sharing and normal attributes, tried on a second file.
TEST_P(RefusingAttribute, IsWhatTheSystemsCreateOrTruncateRefuses)
{
    const TAttributeCase& Case = GetParam();
    fs::path FileName = Write("reference.jpg", Photo);
    ASSERT_TRUE(::SetFileAttributesW(FileName.c_str(), Case.Attribute));

    DWORD Error = ERROR_SUCCESS;
    THandle Handle = OpenOther(FileName, GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS, Error);
    if (!Handle) {
        EXPECT_EQ(Error, DWORD(ERROR_ACCESS_DENIED));
        EXPECT_EQ(ReadFileBytes(FileName), Photo);
    } else if (UnderWine()) {
        WineNote(std::string("CreateFileW with CREATE_ALWAYS opened and cut a file with the ") + Case.Name +
                 " attribute, which Windows refuses with ERROR_ACCESS_DENIED; OpenFileForRewrite refuses it by the "
                 "attribute GetFileAttributesW reports (checked in RefusesTheRewriteAndLeavesTheFile)");
        Handle.reset();
        EXPECT_EQ(Attributes(FileName) & Case.Attribute, Case.Attribute);
    } else {
        ADD_FAILURE() << "this system creates a file with normal attributes over a file with the " << Case.Name
                      << " attribute";
    }
}

INSTANTIATE_TEST_SUITE_P(Attributes, RefusingAttribute,
                         testing::Values(TAttributeCase{"ReadOnly", FILE_ATTRIBUTE_READONLY},
                                         TAttributeCase{"Hidden", FILE_ATTRIBUTE_HIDDEN},
                                         TAttributeCase{"System", FILE_ATTRIBUTE_SYSTEM}),
                         [](const testing::TestParamInfo<TAttributeCase>& Info) { return Info.param.Name; });

TEST_F(WindowsFiles, TheReadOnlyAttributeIsTheFilesOwn)
{
    fs::path FileName = Write("a.jpg", Bytes({1}));
    ASSERT_TRUE(::SetFileAttributesW(FileName.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    ASSERT_TRUE(SetFileReadOnly(FileName, true));
    EXPECT_EQ(Attributes(FileName), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(FileIsReadOnly(FileName), true);
    ASSERT_TRUE(SetFileReadOnly(FileName, false));
    EXPECT_EQ(Attributes(FileName), DWORD(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(FileIsReadOnly(FileName), false);
    EXPECT_FALSE(SetFileReadOnly(Dir / "missing.jpg", true));
}

// Share modes: reading lets other readers in and keeps writers out; a
// rewrite shares the file with no one.

enum class TOpening { Read, Rewrite };

struct TShareCase {
    const char* Name;
    DWORD OtherAccess;
    DWORD OtherShare;
    TOpening Ours;
    bool Refused;
};

void PrintTo(const TShareCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class HeldByAnother : public WindowsFiles, public testing::WithParamInterface<TShareCase> {};

TEST_P(HeldByAnother, IsOpenedOnlyWhereTheShareModesAgree)
{
    const TShareCase& Case = GetParam();
    fs::path FileName = Write("a.jpg", Photo);
    DWORD OtherError;
    THandle Other = OpenOther(FileName, Case.OtherAccess, Case.OtherShare, OPEN_EXISTING, OtherError);
    ASSERT_TRUE(Other) << "error " << OtherError;

    const std::string Reason = SystemText(ERROR_SHARING_VIOLATION);
    if (Case.Ours == TOpening::Read && Case.Refused) {
        try {
            OpenFileForReading(FileName);
            ADD_FAILURE() << "no exception";
        } catch (const EFOpenError& Error) {
            EXPECT_EQ(Error.Message(), "Cannot open file \"" + Utf8(FileName) + "\". " + Reason);
        }
        TMemoryStream Stream;
        EXPECT_THROW(Stream.LoadFromFile(FileName), EFOpenError);
        EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFOpenError);
    } else if (Case.Ours == TOpening::Read) {
        TMemoryStream Stream;
        EXPECT_NO_THROW(Stream.LoadFromFile(FileName));
        EXPECT_EQ(Content(Stream), Photo);
    } else if (Case.Refused) {
        try {
            OpenFileForRewrite(FileName);
            ADD_FAILURE() << "no exception";
        } catch (const EFCreateError& Error) {
            EXPECT_EQ(Error.Message(), "Cannot create file \"" + Utf8(FileName) + "\". " + Reason);
        }
        // The file is read before it is rewritten: a writer keeps out even that.
        if ((Case.OtherAccess & GENERIC_WRITE) != 0)
            EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFOpenError);
        else
            EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFCreateError);
    } else {
        FAIL() << "a rewrite shares the file with no one: not a case";
    }
    Other.reset();
    EXPECT_EQ(ReadFileBytes(FileName), Photo);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeldByAnother,
    testing::Values(TShareCase{"ReadWhileAnotherWrites", GENERIC_WRITE, ShareAll, TOpening::Read, true},
                    TShareCase{"ReadWhileAnotherReadsAlone", GENERIC_READ, 0, TOpening::Read, true},
                    TShareCase{"ReadWhileAnotherReadsWithReaders", GENERIC_READ, FILE_SHARE_READ, TOpening::Read,
                               false},
                    TShareCase{"ReadWhileAnotherReadsWithAnyone", GENERIC_READ, ShareAll, TOpening::Read, false},
                    TShareCase{"RewriteWhileAnotherReads", GENERIC_READ, ShareAll, TOpening::Rewrite, true},
                    TShareCase{"RewriteWhileAnotherWrites", GENERIC_WRITE, ShareAll, TOpening::Rewrite, true}),
    [](const testing::TestParamInfo<TShareCase>& Info) { return Info.param.Name; });

struct TOursCase {
    const char* Name;
    TOpening Ours;
    DWORD OtherAccess;
    bool Refused;
};

void PrintTo(const TOursCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class HeldByUs : public WindowsFiles, public testing::WithParamInterface<TOursCase> {};

TEST_P(HeldByUs, LetsInOnlyWhatItsShareModeAllows)
{
    const TOursCase& Case = GetParam();
    fs::path FileName = Write("a.jpg", Photo);
    TFileHandle Ours = Case.Ours == TOpening::Read ? OpenFileForReading(FileName) : OpenFileForRewrite(FileName);

    DWORD Error;
    THandle Other = OpenOther(FileName, Case.OtherAccess, ShareAll, OPEN_EXISTING, Error);
    if (Case.Refused) {
        EXPECT_FALSE(Other);
        EXPECT_EQ(Error, DWORD(ERROR_SHARING_VIOLATION));
    } else {
        EXPECT_TRUE(Other) << "error " << Error;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, HeldByUs,
                         testing::Values(TOursCase{"ReadingKeepsWritersOut", TOpening::Read, GENERIC_WRITE, true},
                                         TOursCase{"ReadingLetsReadersIn", TOpening::Read, GENERIC_READ, false},
                                         TOursCase{"RewriteKeepsReadersOut", TOpening::Rewrite, GENERIC_READ, true},
                                         TOursCase{"RewriteKeepsWritersOut", TOpening::Rewrite, GENERIC_WRITE, true}),
                         [](const testing::TestParamInfo<TOursCase>& Info) { return Info.param.Name; });

// Devices and pipes are refused before they are opened: reading "CON" would
// wait for typing, and opening a pipe takes its instance.

class DeviceName : public WindowsFiles, public testing::WithParamInterface<const char*> {};

TEST_P(DeviceName, IsRefusedAndNoFileAppears)
{
    fs::path FileName = Dir / GetParam();
    try {
        OpenFileForReading(FileName);
        ADD_FAILURE() << "no exception";
    } catch (const EFOpenError& Error) {
        EXPECT_NE(Error.Message().find("Not a regular file"), std::string::npos) << Error.Message();
    }
    EXPECT_THROW(OpenFileForRewrite(FileName), EFCreateError);
    EXPECT_THROW(RemoveJPEGSegments(FileName, APPn), EFOpenError);

    TDirectoryEnumerator Enumerator(Dir.Path(), TFindMask::faAnyFile);
    TDirectoryEntry Entry;
    EXPECT_FALSE(Enumerator.Next(Entry)) << "found " << Entry.Name;
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceName, testing::Values("NUL", "CON", "nul", "COM1"));

TEST(NamedPipe, IsRefusedWithoutTakingTheInstance)
{
    std::random_device Random;
    fs::path PipeName = L"\\\\.\\pipe\\nimbrel-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                        std::to_wstring(Random());
    THandle Server = Own(::CreateNamedPipeW(PipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096,
                                            4096, 0, nullptr));
    ASSERT_TRUE(Server) << "error " << ::GetLastError();

    EXPECT_THROW(OpenFileForReading(PipeName), EFOpenError);
    EXPECT_THROW(OpenFileForRewrite(PipeName), EFCreateError);

    // The one instance is still free: nothing connected to it.
    DWORD Error;
    THandle Client = OpenOther(PipeName, GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING, Error);
    EXPECT_TRUE(Client) << "error " << Error;
}

// Paths longer than MAX_PATH, handed over in their plain form.

class LongPath : public testing::Test {
protected:
    void SetUp() override
    {
        fs::path Directory = Dir.Path();
        for (char Letter = 'a'; Directory.native().size() <= 2 * MAX_PATH; ++Letter) {
            Directory /= std::string(60, Letter);
            ASSERT_TRUE(::CreateDirectoryW(Prefixed(Directory).c_str(), nullptr)) << "error " << ::GetLastError();
            FCreated.push_back(Directory);
        }
        Deep = Directory;
        FileName = Deep / "a.jpg";
        WriteLong(FileName, Photo);
        FCreated.push_back(FileName);
    }

    void TearDown() override
    {
        for (auto It = FCreated.rbegin(); It != FCreated.rend(); ++It) {
            std::wstring Name = Prefixed(*It);
            ::SetFileAttributesW(Name.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileW(Name.c_str()))
                ::RemoveDirectoryW(Name.c_str());
        }
    }

    // The form any Windows accepts beyond MAX_PATH.
    static std::wstring Prefixed(const fs::path& Path) { return L"\\\\?\\" + Path.native(); }

    static void WriteLong(const fs::path& Name, const TBytes& Content)
    {
        THandle File = Own(::CreateFileW(Prefixed(Name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(File) << "error " << ::GetLastError();
        DWORD Written = 0;
        ASSERT_TRUE(::WriteFile(File.get(), Content.data(), static_cast<DWORD>(Content.size()), &Written, nullptr));
        ASSERT_EQ(Written, Content.size());
    }

    static TBytes ReadLong(const fs::path& Name)
    {
        TBytes Content(1 << 16);
        THandle File = Own(::CreateFileW(Prefixed(Name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD Got = 0;
        if (!File ||
            !::ReadFile(File.get(), Content.data(), static_cast<DWORD>(Content.size()), &Got, nullptr))
            Got = 0;
        Content.resize(Got);
        return Content;
    }

    TTempDir Dir;
    fs::path Deep;
    fs::path FileName;

private:
    std::vector<fs::path> FCreated;
};

TEST_F(LongPath, LoadsAndRewritesAFile)
{
    ASSERT_GT(FileName.native().size(), std::size_t(MAX_PATH));
    DWORD Error;
    if (OpenOther(FileName, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, Error) && UnderWine())
        WineNote("CreateFileW opens a path beyond MAX_PATH without the \\\\?\\ prefix; Windows does so only where "
                 "long paths are enabled for the system and the program");

    TMemoryStream Stream;
    Stream.LoadFromFile(FileName);
    EXPECT_EQ(Content(Stream), Photo);

    EXPECT_EQ(RemoveJPEGSegments(FileName, APPn), TJPEGMarkers({0xE1}));
    EXPECT_EQ(ReadLong(FileName), CleanPhoto);
}

TEST_F(LongPath, AttributesEnumerationAndIdentityWork)
{
    EXPECT_EQ(FileIsReadOnly(FileName), false);
    ASSERT_TRUE(SetFileReadOnly(FileName, true));
    EXPECT_EQ(FileIsReadOnly(FileName), true);
    EXPECT_THROW(OpenFileForRewrite(FileName), EFCreateError);
    ASSERT_TRUE(SetFileReadOnly(FileName, false));

    TDirectoryEnumerator Enumerator(Deep, TFindMask::faAnyFile);
    TDirectoryEntry Entry;
    ASSERT_TRUE(Enumerator.Next(Entry));
    EXPECT_EQ(Entry.Name, fs::path("a.jpg"));
    EXPECT_FALSE(Enumerator.Next(Entry));

    EXPECT_TRUE(FileIdOf(Deep));
    EXPECT_EQ(FileIdOf(Deep), FileIdOf(Deep / "sub" / ".."));
}

// Forward slashes and ".." are resolved before the path gets the prefix that
// lifts the length limit (the system takes such a path literally).
TEST_F(LongPath, IsNormalisedBeforeItIsUsed)
{
    fs::path Winding = fs::path(Deep.generic_wstring()) / "sub" / ".." / "." / "a.jpg";
    TMemoryStream Stream;
    Stream.LoadFromFile(Winding);
    EXPECT_EQ(Content(Stream), Photo);
    EXPECT_EQ(RemoveJPEGSegments(Winding, APPn), TJPEGMarkers({0xE1}));
    EXPECT_EQ(ReadLong(FileName), CleanPhoto);
}

// Enumeration with "*.*": names without an extension too, hidden and system
// entries included, directories only with faAnyFile.

std::set<std::pair<std::wstring, bool>> Enumerate(const fs::path& Directory, TFindMask Mask)
{
    std::set<std::pair<std::wstring, bool>> Found;
    TDirectoryEnumerator Enumerator(Directory, Mask);
    TDirectoryEntry Entry;
    while (Enumerator.Next(Entry))
        Found.emplace(Entry.Name.native(), Entry.IsDirectory);
    return Found;
}

TEST_F(WindowsFiles, EnumerationDeliversEveryEntryTheMaskAllows)
{
    Write("photo.jpg", Photo);
    Write("README", Text("no extension"));
    Write(".profile", Text("leading dot"));
    ASSERT_TRUE(::SetFileAttributesW(Write("hidden.jpg", Photo).c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(::SetFileAttributesW(Write("system.jpg", Photo).c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(::SetFileAttributesW(Write("readonly.jpg", Photo).c_str(), FILE_ATTRIBUTE_READONLY));
    fs::create_directory(Dir / "folder");
    fs::create_directory(Dir / "hidden folder.jpg");
    ASSERT_TRUE(::SetFileAttributesW((Dir / "hidden folder.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN));

    const std::set<std::pair<std::wstring, bool>> Files = {
        {L"photo.jpg", false},  {L"README", false},     {L".profile", false},
        {L"hidden.jpg", false}, {L"system.jpg", false}, {L"readonly.jpg", false}};
    EXPECT_EQ(Enumerate(Dir.Path(), TFindMask::faNonDirectories), Files);

    auto Everything = Files;
    Everything.insert({{L"folder", true}, {L"hidden folder.jpg", true}});
    EXPECT_EQ(Enumerate(Dir.Path(), TFindMask::faAnyFile), Everything);
}

// The root of a drive has no "." and ".." entries: the first entry found is
// a real one.
TEST_F(WindowsFiles, EnumerationOfADriveRootFindsTheWindowsDirectory)
{
    wchar_t Windows[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryW(Windows, MAX_PATH), 0u);
    const fs::path WindowsDirectory(Windows);
    bool Found = false;
    TDirectoryEnumerator Enumerator(WindowsDirectory.root_path(), TFindMask::faAnyFile);
    TDirectoryEntry Entry;
    while (Enumerator.Next(Entry)) {
        EXPECT_TRUE(Entry.Name != "." && Entry.Name != "..");
        if (::CompareStringOrdinal(Entry.Name.c_str(), -1, WindowsDirectory.filename().c_str(), -1, TRUE) ==
            CSTR_EQUAL)
            Found = Entry.IsDirectory;
    }
    EXPECT_TRUE(Found);
}

// The same directory reached by different spellings.
TEST_F(WindowsFiles, FileIdOfIsTheSameForEverySpellingOfAPath)
{
    fs::create_directory(Dir / "Sub");
    std::optional<TFileId> Id = FileIdOf(Dir / "Sub");
    ASSERT_TRUE(Id);
    for (const fs::path& Spelling :
         {fs::path(Dir / "SUB"), fs::path((Dir / "Sub").generic_wstring()), fs::path(Dir / "Sub" / "." / ""),
          fs::path(L"\\\\?\\" + (Dir / "Sub").native()), fs::path(Dir / "Sub" / ".." / "Sub")}) {
        SCOPED_TRACE(Utf8(Spelling));
        EXPECT_EQ(FileIdOf(Spelling), Id);
    }
    EXPECT_NE(FileIdOf(Dir.Path()), Id);
    EXPECT_EQ(FileIdOf(Dir / "missing"), std::nullopt);
}

} // namespace
