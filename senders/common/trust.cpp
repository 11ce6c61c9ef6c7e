#include "common/trust.h"

#include "base/services.h"
#include "platform/platform.h"
#include "settings/box_list.h"

#include <climits>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <sys/stat.h>

namespace wbfax::senders {
namespace {

std::optional<std::string> RealPath(const std::string &path) {
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved)) return std::nullopt;
    return std::string(resolved);
}

std::string FolderOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

bool Below(const std::string &file, const std::string &folder) {
    const std::optional<std::string> base = RealPath(folder);
    if (!base) return false;
    const std::string prefix = *base == "/" ? "/" : *base + "/";
    return file.size() > prefix.size() && file.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

// A plain file of the data folder that only the service could have put there.
std::string JobFileDistrust(const std::string &file, const std::string &dataFolder) {
    const std::optional<std::string> folder = RealPath(FolderOf(file));
    const std::optional<std::string> data = RealPath(dataFolder);
    if (!folder || !data || *folder != *data) return "outside the data folder";
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) return "missing";
    if (!S_ISREG(st.st_mode)) return "not a plain file";
    if (st.st_nlink != 1) return "a file with other names";
    if (st.st_mode & S_IWOTH) return "writable by other users";
    return {};
}

std::string AttachmentDistrust(const std::string &file, const std::string &dataFolder, const std::vector<std::string> &storageFolders) {
    const std::optional<std::string> real = RealPath(file);
    if (!real) return "missing";
    for (const std::string &folder : storageFolders)
        if (!folder.empty() && Below(*real, folder)) return {};
    const std::string own = JobFileDistrust(file, dataFolder);
    return own.empty() ? own : own + " and not below a storage folder";
}

std::vector<std::string> StorageFolders() {
    std::vector<std::string> folders;
    const std::string path = BoxListPath(OsVersionClass());
    if (path.empty()) return folders;
    platform::Stream list = platform::Stream::Open(path, "rt");
    char line[260];
    while (list && list.ReadLine(line, sizeof line))
        if (const std::string_view folder = ParseBoxLine(line).folder; !folder.empty()) folders.push_back(platform::NativePath(folder));
    return folders;
}

}  // namespace wbfax::senders
