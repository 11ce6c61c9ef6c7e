#include "ui/folder_tree.h"

#include "base/module.h"
#include "base/text.h"
#include "platform/platform.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <algorithm>

namespace wbfax {
namespace {

constexpr std::string_view kForbidden = "\\/:,;*?<>|\"";
constexpr int kNewFolderString = 57;

// Trail bytes of the double-byte code pages; other code pages with lead bytes get the common range.
bool IsTrailByte(unsigned char b) {
    switch (platform::AnsiCodePage()) {
    case 932: return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
    case 936: return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFE);
    case 949: return (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A) || (b >= 0x81 && b <= 0xFE);
    case 950: return (b >= 0x40 && b <= 0x7E) || (b >= 0xA1 && b <= 0xFE);
    default: return b >= 0x40;
    }
}

std::string Join(const std::string &folder, std::string_view name) {
    if (EndsWithSeparator(folder)) return folder + std::string(name);
    return folder + "\\" + std::string(name);
}

int AddChild(FolderTree &tree, int parent, std::string name) {
    const int item = static_cast<int>(tree.items.size());
    tree.items.push_back({std::move(name), parent, {}});
    tree.items[static_cast<std::size_t>(parent)].children.push_back(item);
    return item;
}

bool IsItem(const FolderTree &tree, int item) { return item >= 0 && item < static_cast<int>(tree.items.size()); }

}  // namespace

int IsValidFolderName(std::string_view name) {
    for (std::size_t i = 0; i < name.size();) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (platform::IsLeadByte(b) && i + 1 < name.size() && IsTrailByte(static_cast<unsigned char>(name[i + 1]))) {
            i += 2;
            continue;
        }
        if (kForbidden.find(static_cast<char>(b)) != std::string_view::npos) return 0;
        ++i;
    }
    return 1;
}

std::string RootLabel(std::string_view boxFolder) {
    while (boxFolder.size() > 1 && EndsWithSeparator(boxFolder)) boxFolder.remove_suffix(1);
    const std::size_t last = LastSeparator(boxFolder);
    return std::string(last == std::string_view::npos ? boxFolder : boxFolder.substr(last + 1));
}

std::vector<std::string> ListSubfolders(const std::string &folder) {
    std::vector<std::string> names;
    const auto entries = platform::ListFolder(folder);
    if (!entries) return names;
    for (const platform::FolderEntry &entry : *entries) {
        if (!entry.directory || entry.hidden || entry.system || entry.name == "." || entry.name == "..") continue;
        names.push_back(entry.name);
    }
    return names;
}

FolderTree BuildFolderTree(const std::string &boxFolder) {
    FolderTree tree;
    tree.boxFolder = boxFolder;
    tree.items.push_back({RootLabel(boxFolder), -1, {}});
    ListChildren(tree, 0);
    for (const char *name : {"Rx", "Tx"}) {
        if (FindChildFolder(tree, 0, name) >= 0) continue;
        AddChild(tree, 0, name);
        platform::MakeDirectory(Join(boxFolder, name));  // a failure shows later, when a fax is stored
    }
    ExpandFolderItem(tree, 0);
    return tree;
}

void ListChildren(FolderTree &tree, int item) {
    if (!IsItem(tree, item)) return;
    for (std::string &name : ListSubfolders(FolderPathOf(tree, item)))
        if (FindChildFolder(tree, item, name) < 0) AddChild(tree, item, std::move(name));
}

void ExpandFolderItem(FolderTree &tree, int item) {
    if (!IsItem(tree, item)) return;
    const std::vector<int> children = tree.items[static_cast<std::size_t>(item)].children;
    for (int child : children) ListChildren(tree, child);
}

std::string RelativePathOf(const FolderTree &tree, int item) {
    std::string path;
    for (; IsItem(tree, item) && item != 0; item = tree.items[static_cast<std::size_t>(item)].parent)
        path = path.empty() ? tree.items[static_cast<std::size_t>(item)].name
                            : tree.items[static_cast<std::size_t>(item)].name + "\\" + path;
    return path;
}

std::string FolderPathOf(const FolderTree &tree, int item) {
    const std::string relative = RelativePathOf(tree, item);
    return relative.empty() ? tree.boxFolder : Join(tree.boxFolder, relative);
}

int FindChildFolder(const FolderTree &tree, int parent, std::string_view name) {
    if (!IsItem(tree, parent)) return -1;
    for (int child : tree.items[static_cast<std::size_t>(parent)].children)
        if (EqualsIgnoringCase(tree.items[static_cast<std::size_t>(child)].name, name)) return child;
    return -1;
}

void SortChildren(FolderTree &tree, int parent) {
    if (!IsItem(tree, parent)) return;
    std::vector<int> &children = tree.items[static_cast<std::size_t>(parent)].children;
    std::stable_sort(children.begin(), children.end(), [&](int a, int b) {
        return ComesBefore(tree.items[static_cast<std::size_t>(a)].name, tree.items[static_cast<std::size_t>(b)].name);
    });
}

FolderSelection SelectInitialFolder(FolderTree &tree, const std::string &selectedFolder) {
    FolderSelection selection;
    const std::size_t last = LastSeparator(selectedFolder);
    selection.name = last == std::string::npos ? selectedFolder : selectedFolder.substr(last + 1);
    selection.relativePath = selectedFolder;
    if (selectedFolder.empty()) return selection;
    int item = 0;
    std::string_view rest = selectedFolder;
    for (std::size_t slash; (slash = FindSeparator(rest)) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
        item = FindChildFolder(tree, item, rest.substr(0, slash));
        if (item < 0) return selection;
        ExpandFolderItem(tree, item);
    }
    item = FindChildFolder(tree, item, rest);
    if (item < 0) return selection;
    return SelectFolderItem(tree, item);
}

FolderSelection SelectFolderItem(FolderTree &tree, int item) {
    if (!IsItem(tree, item)) return {};
    ListChildren(tree, item);
    ExpandFolderItem(tree, item);
    return {item, tree.items[static_cast<std::size_t>(item)].name, RelativePathOf(tree, item)};
}

bool CanRenameFolderItem(int item) { return item != 0; }

std::string NewFolderName(const std::string &parentPath) {
    std::string base = platform::LoadResourceString(Module().resourceInstance, kNewFolderString);
    if (base.size() > 259) base.resize(259);
    if (!platform::PathExists(Join(parentPath, base))) return base;
    for (int number = 2;; ++number) {
        const std::string name = Format("%s(%d)", base.c_str(), number);
        if (!platform::PathExists(Join(parentPath, name))) return name;
    }
}

FolderChange CreateNewFolder(FolderTree &tree, int parent) {
    FolderChange change;
    if (!IsItem(tree, parent)) return change;
    const std::string parentPath = FolderPathOf(tree, parent);
    const std::string name = NewFolderName(parentPath);
    if (!platform::MakeDirectory(Join(parentPath, name))) {
        change.outcome = FolderOutcome::Failed;
        change.systemError = platform::LastSystemError();
        return change;
    }
    change.item = AddChild(tree, parent, name);
    SortChildren(tree, parent);
    change.outcome = FolderOutcome::Done;
    change.relativePath = SelectFolderItem(tree, change.item).relativePath;
    return change;
}

FolderChange RenameFolderItem(FolderTree &tree, int item, const std::string &newName) {
    FolderChange change;
    change.item = item;
    if (!IsItem(tree, item) || !CanRenameFolderItem(item)) return change;
    if (!IsValidFolderName(newName)) {
        change.outcome = FolderOutcome::Refused;
        change.message = kMsgBadFolderName;
        return change;
    }
    FolderItem &folder = tree.items[static_cast<std::size_t>(item)];
    if (folder.name == newName) return change;
    const std::string parentPath = FolderPathOf(tree, folder.parent);
    if (!platform::RenamePath(Join(parentPath, folder.name), Join(parentPath, newName))) {
        change.outcome = FolderOutcome::Failed;
        change.systemError = platform::LastSystemError();
        return change;
    }
    folder.name = newName;
    SortChildren(tree, folder.parent);
    change.outcome = FolderOutcome::Done;
    change.relativePath = RelativePathOf(tree, item);
    return change;
}

}  // namespace wbfax
