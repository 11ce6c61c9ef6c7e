// Folder listings, renaming, double-byte lead bytes and error texts for the settings dialogs.
#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace wbfax::platform {

std::optional<std::vector<FolderEntry>> ListFolder(std::string_view path) {
    const std::string native = NativePath(path);
    DIR *dir = ::opendir(native.c_str());
    if (!dir) return std::nullopt;
    std::vector<FolderEntry> entries;
    while (const dirent *entry = ::readdir(dir)) {
        FolderEntry e;
        e.name = entry->d_name;
        // Samba shows dot names as hidden; a link to a folder is a folder, as a junction is.
        e.hidden = !e.name.empty() && e.name.front() == '.';
        struct stat st {};
        e.directory = ::stat((native + "/" + e.name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        entries.push_back(std::move(e));
    }
    const int error = errno;
    ::closedir(dir);
    errno = error;
    return entries;
}

std::optional<std::vector<std::string>> ListFolderNames(std::string_view path) {
    DIR *dir = ::opendir(NativePath(path).c_str());
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    while (const dirent *entry = ::readdir(dir)) names.emplace_back(entry->d_name);
    const int error = errno;
    ::closedir(dir);
    errno = error;
    return names;
}

bool RenamePath(std::string_view from, std::string_view to) {
    const std::string source = NativePath(from), target = NativePath(to);
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace flag: the small race is accepted.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(source.c_str(), target.c_str()) == 0;
}

std::uint32_t LastSystemError() { return static_cast<std::uint32_t>(errno); }

std::string SystemErrorText(std::uint32_t code) { return std::strerror(static_cast<int>(code)); }

}  // namespace wbfax::platform
