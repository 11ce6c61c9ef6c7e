// Drive types, network names and shares from the mount table and the Samba configuration.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <poll.h>
#include <sys/stat.h>
#include <vector>
#include <arpa/inet.h>
#include <netdb.h>
#include <sstream>
#include <strings.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

struct Mount {
    std::string source, point, type;
};

// /proc/mounts writes blanks and the like as octal escapes.
std::string Unescape(const std::string &field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
            out += static_cast<char>(std::strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The deepest existing folder of the path, resolved.
std::string ExistingRealPath(std::string path) {
    while (!path.empty()) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) return resolved;
        const std::size_t slash = path.find_last_of('/');
        if (slash == std::string::npos) break;
        path.resize(slash == 0 ? 1 : slash);
        if (path == "/") return "/";
    }
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? cwd : "/";
}

bool Contains(const std::string &point, const std::string &path) {
    if (point == "/") return true;
    return path.compare(0, point.size(), point) == 0 && (path.size() == point.size() || path[point.size()] == '/');
}

std::vector<Mount> ParseMountTable(const std::string &text) {
    std::vector<Mount> mounts;
    std::istringstream table(text);
    std::string line;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        Mount m;
        if (!(fields >> m.source >> m.point >> m.type)) continue;
        m.source = Unescape(m.source);
        m.point = Unescape(m.point);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

// The mount table is read again only when the kernel says it changed (a poll on the open
// table reports a change as an exceptional condition), so a notification reads it once.
std::vector<Mount> MountTable() {
    static std::mutex mutex;
    static int fd = -1;
    static bool loaded = false;
    static std::vector<Mount> mounts;
    const std::lock_guard<std::mutex> guard(mutex);
    if (fd < 0) fd = ::open("/proc/self/mounts", O_RDONLY | O_CLOEXEC);
    bool stale = !loaded || fd < 0;
    if (!stale) {
        pollfd watch{fd, POLLPRI, 0};
        stale = ::poll(&watch, 1, 0) > 0 && (watch.revents & (POLLERR | POLLPRI)) != 0;
    }
    if (!stale) return mounts;
    std::string text;
    if (fd >= 0 && ::lseek(fd, 0, SEEK_SET) == 0) {
        char chunk[16384];
        for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) > 0;) text.append(chunk, static_cast<std::size_t>(n));
    } else {
        std::ifstream table("/proc/self/mounts");
        text.assign(std::istreambuf_iterator<char>(table), std::istreambuf_iterator<char>());
    }
    mounts = ParseMountTable(text);
    loaded = fd >= 0;
    return mounts;
}

std::optional<Mount> MountOf(std::string_view path) {
    const std::string real = ExistingRealPath(NativePath(path));
    std::optional<Mount> best;
    for (const Mount &m : MountTable())
        // Later lines mount over earlier ones at the same point.
        if (Contains(m.point, real) && (!best || m.point.size() >= best->point.size())) best = m;
    return best;
}

bool IsRemoteType(const std::string &type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" || type == "fuse.sshfs";
}

std::string Trim(std::string text) {
    const auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
    text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
    return text;
}

}  // namespace

std::uint32_t DriveTypeOf(std::string_view path) {
    const std::optional<Mount> mount = MountOf(path);
    if (!mount) return kDriveFixed;
    if (IsRemoteType(mount->type)) return kDriveRemote;
    if (mount->type == "iso9660" || mount->type == "udf") return kDriveCdRom;
    if (mount->type == "tmpfs" || mount->type == "ramfs") return kDriveRamDisk;
    return kDriveFixed;
}

std::optional<std::string> UniversalName(std::string_view path) {
    const std::optional<Mount> mount = MountOf(path);
    if (!mount || !IsRemoteType(mount->type)) return std::nullopt;
    std::string server;
    std::string share;
    if (mount->source.rfind("//", 0) == 0) {  // cifs: //server/share[/folder]
        const std::string rest = mount->source.substr(2);
        const std::size_t slash = rest.find('/');
        if (slash == std::string::npos) return std::nullopt;
        server = rest.substr(0, slash);
        share = rest.substr(slash + 1);
    } else if (const std::size_t colon = mount->source.find(':'); colon != std::string::npos) {  // nfs: server:/export
        server = mount->source.substr(0, colon);
        share = mount->source.substr(colon + 1);
    } else {
        return std::nullopt;
    }
    while (!share.empty() && share.front() == '/') share.erase(0, 1);
    while (!share.empty() && share.back() == '/') share.pop_back();
    const std::string native = NativePath(path);
    const std::string real = ExistingRealPath(native);
    std::string below = mount->point == "/" ? real : real.substr(mount->point.size());  // "" or "/folder..."
    // A folder asked for with its trailing separator keeps it, as the Windows call does.
    if (!native.empty() && native.back() == '/' && (below.empty() || below.back() != '/')) below += '/';
    std::string unc = "//" + server + (share.empty() ? "" : "/" + share) + below;
    std::replace(unc.begin(), unc.end(), '/', '\\');
    return unc;
}

namespace {

std::vector<ShareEntry> ReadShares(const std::string &file) {
    std::vector<ShareEntry> shares;
    std::ifstream conf(file);
    std::string line;
    std::string section;
    while (std::getline(conf, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            section = close == std::string::npos ? std::string() : Trim(line.substr(1, close - 1));
            continue;
        }
        if (section.empty() || strcasecmp(section.c_str(), "global") == 0 || section.back() == '$') continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || strcasecmp(Trim(line.substr(0, eq)).c_str(), "path") != 0) continue;
        shares.push_back({section, Trim(line.substr(eq + 1))});
        section.clear();  // one path per share
    }
    return shares;
}

}  // namespace

// The share list is read again only when its file is another or has changed.
std::vector<ShareEntry> FileShares() {
    static std::mutex mutex;
    static std::string cachedFile;
    static struct stat cachedStat {};
    static std::vector<ShareEntry> cached;
    const std::string file = GetEnvironment("WBFAX_SMB_CONF").value_or("/etc/samba/smb.conf");
    struct stat st {};
    const bool known = ::stat(file.c_str(), &st) == 0;
    const std::lock_guard<std::mutex> guard(mutex);
    if (known && file == cachedFile && SameFileState(st, cachedStat)) return cached;
    cached = ReadShares(file);
    cachedFile = known && SettledLongEnough(st) ? file : std::string();
    cachedStat = st;
    return cached;
}

std::optional<std::string> HostName() {
    char name[260] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

bool StartNetworking() { return true; }
void StopNetworking() {}

std::vector<std::string> HostAddresses(const std::string &name) {
    std::vector<std::string> addresses;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address rather than one per socket type
    addrinfo *found = nullptr;
    if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0) return addresses;
    for (const addrinfo *a = found; a; a = a->ai_next) {
        char text[INET_ADDRSTRLEN] = {};
        const auto *address = reinterpret_cast<const sockaddr_in *>(a->ai_addr);
        if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text)) addresses.emplace_back(text);
    }
    ::freeaddrinfo(found);
    return addresses;
}

}  // namespace wbfax::platform
