// The storage folder tree of the destination dialog: the box folder and its subfolders, folder
// creation and renaming on the disk, and the folder name rule. The tree view mirrors the items
// of a FolderTree; item 0 is the root.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

// 1 when no single-byte character of the name is one of \/:,;*?<>|" ; double-byte characters
// are passed over whole. An empty name is valid here.
int IsValidFolderName(std::string_view name);

struct FolderItem {
    std::string name;
    int parent = -1;
    std::vector<int> children;  // in the tree's order
};

struct FolderTree {
    std::string boxFolder;
    std::vector<FolderItem> items;
};

// The root's label: the last component of the box folder.
std::string RootLabel(std::string_view boxFolder);
// The subfolders of a folder that the tree shows, in the system's order: neither hidden nor
// system, not "." or "..".
std::vector<std::string> ListSubfolders(const std::string &folder);

// The root, its subfolders with "Rx" and "Tx" created when missing, and their subfolders.
FolderTree BuildFolderTree(const std::string &boxFolder);
// Appends the item's subfolders that it does not show yet (letter case ignored).
void ListChildren(FolderTree &tree, int item);
// An item opens: its children's subfolders are listed, one level ahead.
void ExpandFolderItem(FolderTree &tree, int item);

std::string FolderPathOf(const FolderTree &tree, int item);
// Relative to the box folder, "\"-separated; empty for the root.
std::string RelativePathOf(const FolderTree &tree, int item);
// The child with the name, letter case ignored; -1 when none.
int FindChildFolder(const FolderTree &tree, int parent, std::string_view name);
// Children by name, letter case ignored.
void SortChildren(FolderTree &tree, int parent);

struct FolderSelection {
    int item = -1;             // -1: nothing selected
    std::string name;          // for field 1202
    std::string relativePath;  // the selected folder, for 1006
};
// The opening: the selected folder's last component goes to 1202 in any case; the item is
// selected when every component of the path exists, with the items on the way expanded.
FolderSelection SelectInitialFolder(FolderTree &tree, const std::string &selectedFolder);
// A new selection: its name and path, and its subfolders and its children's listed.
FolderSelection SelectFolderItem(FolderTree &tree, int item);
// Rename and properties are not offered for the root.
bool CanRenameFolderItem(int item);

// "New Folder" (string 57), or with "(2)", "(3)"... when the name is taken in the folder.
std::string NewFolderName(const std::string &parentPath);

enum class FolderOutcome { Done, Unchanged, Refused, Failed };
struct FolderChange {
    FolderOutcome outcome = FolderOutcome::Unchanged;
    int item = -1;                  // the new or renamed item
    int message = -1;               // Refused: the message index
    std::uint32_t systemError = 0;  // Failed: the system's error code
    std::string relativePath;       // Done: the item's path
};
// Creates the next new folder in the parent's folder and adds it, selected, to the tree.
FolderChange CreateNewFolder(FolderTree &tree, int parent);
// The end of an in-place edit with a new name.
FolderChange RenameFolderItem(FolderTree &tree, int item, const std::string &newName);

}  // namespace wbfax
