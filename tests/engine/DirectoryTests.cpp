#include "Directory.h"
#include "JpegBytes.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

using TFound = std::set<std::pair<fs::path, bool>>;

TFound Enumerate(const fs::path& Directory, TFindMask Mask)
{
    TFound Found;
    TDirectoryEnumerator Enumerator(Directory, Mask);
    TDirectoryEntry Entry;
    while (Enumerator.Next(Entry))
        Found.emplace(Entry.Name, Entry.IsDirectory);
    return Found;
}

struct TMaskCase {
    const char* Name;
    TFindMask Mask;
    TFound Expected;
};

void PrintTo(const TMaskCase& Case, std::ostream* Out)
{
    *Out << Case.Name;
}

class DirectoryEnumeration : public testing::TestWithParam<TMaskCase> {
protected:
    TTempDir Dir;
};

TEST_P(DirectoryEnumeration, DeliversTheEntriesTheMaskAllowsWithoutDotEntries)
{
    WriteFileBytes(Dir / "a.jpg", Bytes({1}));
    WriteFileBytes(Dir / "B.JPEG", Bytes({1}));
    WriteFileBytes(Dir / "no extension", Bytes({1}));
    fs::create_directory(Dir / "sub");
    fs::create_directory(Dir / "folder.jpg");
    WriteFileBytes(Dir / "sub" / "inner.jpg", Bytes({1}));

    EXPECT_EQ(Enumerate(Dir.Path(), GetParam().Mask), GetParam().Expected);
}

TEST_P(DirectoryEnumeration, AnEmptyOrMissingDirectoryYieldsNothing)
{
    EXPECT_TRUE(Enumerate(Dir.Path(), GetParam().Mask).empty());
    EXPECT_TRUE(Enumerate(Dir / "missing", GetParam().Mask).empty());
    WriteFileBytes(Dir / "file.jpg", Bytes({1}));
    EXPECT_TRUE(Enumerate(Dir / "file.jpg", GetParam().Mask).empty());
}

const TFound Files = {{"a.jpg", false}, {"B.JPEG", false}, {"no extension", false}};
const TFound Everything = {{"a.jpg", false},  {"B.JPEG", false},       {"no extension", false},
                           {"sub", true}, {"folder.jpg", true}};

INSTANTIATE_TEST_SUITE_P(Masks, DirectoryEnumeration,
                         testing::Values(TMaskCase{"NonDirectories", TFindMask::faNonDirectories, Files},
                                         TMaskCase{"AnyFile", TFindMask::faAnyFile, Everything}),
                         [](const testing::TestParamInfo<TMaskCase>& Info) { return Info.param.Name; });

// The identity the visited-directory check compares.
TEST(FileIdOf, IsTheSameForTwoPathsToOneDirectoryAndDiffersOtherwise)
{
    TTempDir Dir;
    fs::create_directories(Dir / "sub" / "deeper");
    WriteFileBytes(Dir / "file.jpg", Bytes({1}));
    fs::create_hard_link(Dir / "file.jpg", Dir / "link.jpg");

    std::optional<TFileId> Sub = FileIdOf(Dir / "sub");
    ASSERT_TRUE(Sub);
    EXPECT_EQ(FileIdOf(Dir / "sub" / "deeper" / ".."), Sub);
    EXPECT_NE(FileIdOf(Dir / "sub" / "deeper"), Sub);
    EXPECT_NE(FileIdOf(Dir.Path()), Sub);
    EXPECT_EQ(FileIdOf(Dir / "link.jpg"), FileIdOf(Dir / "file.jpg"));
    EXPECT_NE(FileIdOf(Dir / "file.jpg"), Sub);
    EXPECT_EQ(FileIdOf(Dir / "missing"), std::nullopt);
}

} // namespace
