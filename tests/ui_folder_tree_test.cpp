// The storage folder tree without a screen: what it lists, the folders it creates and renames
// on the disk, the initial selection, and the folder name rule with double-byte names.
#include "platform/platform.h"
#include "test_support.h"
#include "ui/folder_tree.h"
#include "ui/messages.h"

#include <algorithm>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace wbfax {
namespace {

namespace fs = std::filesystem;

// The selection as "item>=0|name|relative path".
std::string Shown(const FolderSelection &s) { return (s.item >= 0 ? "item|" : "none|") + s.name + "|" + s.relativePath; }

TEST(FolderNames, ForbiddenCharactersAndDoubleByteNames) {
    for (const char *name : {"Sales", "", "A B.C-(1)", "x&y"}) EXPECT_EQ(IsValidFolderName(name), 1) << name;
    for (const char *name : {"a\\b", "a/b", "a:b", "a,b", "a;b", "a*", "a?", "<a", "a>", "a|b", "\"a\""})
        EXPECT_EQ(IsValidFolderName(name), 0) << name;
}

class CodePage932 : public test::CodePage932Install {};

TEST_F(CodePage932, TrailBytesAreNeverForbiddenCharacters) {
    const std::string hyou = test::ToCodePage("表示", "CP932");  // 0x95 0x5C: a trail byte that reads as "\"
    ASSERT_EQ(hyou[1], '\\');
    // A lead byte at the end, or before a byte that cannot trail, stands alone.
    EXPECT_EQ((std::vector<int>{IsValidFolderName(hyou), IsValidFolderName(test::ToCodePage("ソフト", "CP932")),
                                IsValidFolderName(hyou + "/"), IsValidFolderName("\x95/"), IsValidFolderName("a\x95")}),
              (std::vector<int>{1, 1, 0, 0, 1}));
    test::SetEnv("WBFAX_ACP", "1252");
    if (platform::AnsiCodePage() == 1252) {
        EXPECT_EQ(IsValidFolderName(hyou), 0);
    }
}

TEST_F(CodePage932, FolderPathsSplitOnlyAtRealSeparators) {
    const std::string hyou = test::ToCodePage("表", "CP932"), so = test::ToCodePage("ソ", "CP932");  // 95 5C, 83 5C
    const std::string box = root + "/" + hyou;
    fs::create_directories(box + "/" + hyou + "/" + so);
    FolderTree tree = BuildFolderTree(box);
    EXPECT_EQ(tree.items[0].name, hyou);
    EXPECT_TRUE(fs::is_directory(box + "/Rx"));
    const FolderSelection found = SelectInitialFolder(tree, hyou + "\\" + so);
    ASSERT_GE(found.item, 0);
    EXPECT_EQ(found.name, so);
    EXPECT_EQ(FolderPathOf(tree, found.item), box + "\\" + hyou + "\\" + so);
}

class FolderTreeTest : public test::ScratchInstall {
protected:
    void SetUp() override {
        ScratchInstall::SetUp();
        box = root + "/Box01";
        fs::create_directories(box);
    }
    void Mkdir(const std::string &relative) { fs::create_directories(box + "/" + relative); }
    // The children's names, sorted when asked.
    static std::vector<std::string> Children(const FolderTree &tree, int item, bool sorted = false) {
        std::vector<std::string> names;
        for (int child : tree.items[static_cast<std::size_t>(item)].children) names.push_back(tree.items[static_cast<std::size_t>(child)].name);
        if (sorted) std::sort(names.begin(), names.end());
        return names;
    }
    std::string box;
};

TEST_F(FolderTreeTest, MissingRxAndTxAreCreatedHiddenFoldersAndFilesNotListed) {
    Mkdir("rx");
    Mkdir("Orders/2024");
    test::WriteFile(box + "/notes.txt", "x");
#if defined(_WIN32)
    Mkdir("Hidden");
    Mkdir("System");
    ::SetFileAttributesA((box + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesA((box + "\\System").c_str(), FILE_ATTRIBUTE_SYSTEM);
#else
    Mkdir(".hidden");
#endif
    FolderTree tree = BuildFolderTree(box);
    EXPECT_EQ(tree.items[0].name, "Box01");
    EXPECT_EQ(Children(tree, 0, true), (std::vector<std::string>{"Orders", "Tx", "rx"}));  // "rx" counts as "Rx"
    EXPECT_TRUE(fs::is_directory(box + "/Tx"));
    // The children's own subfolders are known one level ahead, and listing again adds nothing.
    EXPECT_EQ(Children(tree, FindChildFolder(tree, 0, "orders")), (std::vector<std::string>{"2024"}));
    ListChildren(tree, 0);
    ExpandFolderItem(tree, 0);
    EXPECT_EQ(Children(tree, 0).size(), 3u);
}

TEST_F(FolderTreeTest, TheInitialSelectionFollowsThePath) {
    Mkdir("Sales/North/2024");
    FolderTree tree = BuildFolderTree(box);
    const FolderSelection found = SelectInitialFolder(tree, "sales\\North\\2024");
    EXPECT_EQ(Shown(found), "item|2024|Sales\\North\\2024");  // as the disk spells it
    EXPECT_EQ(FolderPathOf(tree, found.item), box + "\\Sales\\North\\2024");
    // A folder that is gone: nothing selected, the rule keeps its folder.
    EXPECT_EQ(Shown(SelectInitialFolder(tree, "Sales\\South\\2024")), "none|2024|Sales\\South\\2024");
    EXPECT_EQ(SelectInitialFolder(tree, "").item, -1);
    EXPECT_EQ(Shown(SelectFolderItem(tree, 0)), "item|Box01|");
    EXPECT_FALSE(CanRenameFolderItem(0));
}

TEST_F(FolderTreeTest, NewFoldersAreNumberedFromTwo) {
    test::SetEnv("WBFAX_ACP", "932");
    if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "string 57 is Japanese: it needs code page 932";
    const std::string base = test::ToCodePage("新しいフォルダ", "CP932");
    FolderTree tree = BuildFolderTree(box);
    const int rx = FindChildFolder(tree, 0, "Rx");
    const FolderChange first = CreateNewFolder(tree, rx), second = CreateNewFolder(tree, rx);
    ASSERT_TRUE(first.outcome == FolderOutcome::Done && second.outcome == FolderOutcome::Done);
    EXPECT_EQ(first.relativePath + "|" + second.relativePath, "Rx\\" + base + "|Rx\\" + base + "(2)");
    EXPECT_EQ(std::distance(fs::directory_iterator(box + "/Rx"), fs::directory_iterator()), 2);
    test::WriteFile(platform::NativePath(box + "\\Tx\\" + base), "a file takes the name too");
    EXPECT_EQ(NewFolderName(box + "\\Tx"), base + "(2)");
}

TEST_F(FolderTreeTest, RenamingChecksTheNameAndMovesTheFolder) {
    Mkdir("Old/Inner");
    Mkdir("Taken");
    FolderTree tree = BuildFolderTree(box);
    const int old = FindChildFolder(tree, 0, "Old");
    const FolderChange refused = RenameFolderItem(tree, old, "New/Name");
    EXPECT_TRUE(refused.outcome == FolderOutcome::Refused && refused.message == kMsgBadFolderName);
    EXPECT_EQ(RenameFolderItem(tree, old, "Old").outcome, FolderOutcome::Unchanged);
    const FolderChange failed = RenameFolderItem(tree, old, "Taken");
    EXPECT_EQ(failed.outcome, FolderOutcome::Failed);
    EXPECT_FALSE(platform::SystemErrorText(failed.systemError).empty() || failed.systemError == 0);
    EXPECT_EQ(tree.items[static_cast<std::size_t>(old)].name, "Old");
    EXPECT_TRUE(fs::exists(box + "/Old"));

    const FolderChange done = RenameFolderItem(tree, old, "Archive");
    ASSERT_EQ(done.outcome, FolderOutcome::Done);
    EXPECT_EQ(done.relativePath, "Archive");
    EXPECT_TRUE(fs::exists(box + "/Archive/Inner") && !fs::exists(box + "/Old"));
    EXPECT_EQ(Children(tree, 0).front(), "Archive");  // the siblings are sorted by name again
    EXPECT_EQ(RelativePathOf(tree, FindChildFolder(tree, old, "Inner")), "Archive\\Inner");
}

}  // namespace
}  // namespace wbfax
