#include "distribution/placement.h"

#include "base/text.h"
#include "base/trace.h"
#include "platform/platform.h"
#include "settings/access.h"
#include "settings/box_list.h"
#include "settings/config.h"

#include <iterator>
#include <optional>
#include <unordered_set>

namespace wbfax {
namespace {

// Restores the process's current directory when it goes out of scope.
class CurrentDirectoryGuard {
public:
    CurrentDirectoryGuard() : saved_(platform::CurrentDirectory()) {}
    ~CurrentDirectoryGuard() {
        if (saved_) platform::EnterDirectory(*saved_);
    }
    CurrentDirectoryGuard(const CurrentDirectoryGuard &) = delete;
    CurrentDirectoryGuard &operator=(const CurrentDirectoryGuard &) = delete;

private:
    std::optional<std::string> saved_;
};

// Makes the folder current, creating it (one level, open to everyone) when it is missing.
bool EnterOrCreate(std::string_view folder) {
    if (platform::EnterDirectory(folder)) return true;
    if (!platform::MakeDirectory(folder)) return false;
    GrantOpenAccess(folder);
    return platform::EnterDirectory(folder);
}

}  // namespace

NameParts SplitFileName(std::string_view path) {
    // As the runtime's splitter: a drive only at the start.
    const std::size_t separator = LastSeparator(path);
    const std::size_t start = separator != std::string_view::npos ? separator + 1 : path.size() >= 2 && path[1] == ':' ? 2 : 0;
    const std::string_view name = path.substr(start);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return {name, {}};
    return {name.substr(0, dot), name.substr(dot)};
}

std::string StripCopyNumber(std::string_view path) {
    const NameParts parts = SplitFileName(path);
    const std::string name = std::string(parts.stem) + std::string(parts.extension);
    const std::size_t close = name.rfind(')');
    const std::size_t open = name.rfind('(');
    if (close == std::string::npos || open == std::string::npos || close < open + 2) return name;
    if (ParseDecimal(std::string_view(name).substr(open + 1, close - open - 1)) <= 0) return name;
    return name.substr(0, open) + name.substr(close + 1);
}

std::string MakeUniqueName(std::string_view name, std::string_view folder) {
    CurrentDirectoryGuard guard;
    if (!EnterOrCreate(folder)) return std::string(name);
    std::string candidate(name);
    if (!platform::PathExists(candidate)) return candidate;
    // A name with many copies: the folder is listed once rather than probed copy by copy. A
    // listed name is taken; an unlisted one is still probed, so the choice is the probing one
    // (the system may match names without regard to case).
    std::unordered_set<std::string> listed;
    if (std::optional<std::vector<std::string>> names = platform::ListFolderNames("."))
        listed.insert(std::make_move_iterator(names->begin()), std::make_move_iterator(names->end()));
    const NameParts parts = SplitFileName(name);
    for (int counter = 1;; ++counter) {
        candidate = Format("%.*s(%d)%.*s", static_cast<int>(parts.stem.size()), parts.stem.data(), counter,
                           static_cast<int>(parts.extension.size()), parts.extension.data());
        if (!listed.count(candidate) && !platform::PathExists(candidate)) return candidate;
    }
}

Placement PlaceReceivedFile(std::uint32_t box, std::string_view ruleFolder, std::string_view receivedPath) {
    const std::string folder = GetBoxFolder(box) + "\\" + std::string(ruleFolder);
    const std::string stripped = StripCopyNumber(receivedPath);
    const bool overWrite = ReadOverWrite() != 0;
    // Entering the folder only to learn that it exists would change and restore the current
    // directory; creating it tells the same (an existing folder refuses) in one call.
    if (overWrite && platform::MakeDirectory(folder)) GrantOpenAccess(folder);
    // Another receive may take the chosen name between the choice and the move: the move never
    // replaces, and a taken name means the next number (or, when overwriting, another try).
    constexpr int kTries = 100;
    platform::MoveOutcome outcome = platform::MoveOutcome::Failed;
    std::string target;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        target = folder + "\\" + (overWrite ? stripped : MakeUniqueName(stripped, folder));
        // Deleting the target first would delete a fax that the host wrote to the target itself;
        // a replacing rename leaves that fax alone. Across volumes it fails and the delete runs.
        if (overWrite && platform::ReplacePath(receivedPath, target)) return {true, platform::NativePath(target)};
        if (overWrite) platform::RemoveFile(target);
        outcome = platform::MovePath(receivedPath, target);
        if (outcome != platform::MoveOutcome::TargetExists) break;
    }
    if (outcome != platform::MoveOutcome::Moved) {
        TraceSystemError("storing a received fax", std::string(receivedPath) + " -> " + target);
        return {false, std::string(receivedPath)};
    }
    return {true, platform::NativePath(target)};
}

}  // namespace wbfax
