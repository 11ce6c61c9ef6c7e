#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <grp.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

// The runtime's text mode: "t" or no "b" in the mode.
bool IsTextMode(const char *mode) { return std::strchr(mode, 'b') == nullptr; }

std::string BinaryMode(const char *mode) {
    std::string m;
    for (const char *p = mode; *p; ++p)
        if (*p != 't' && *p != 'b') m += *p;
    return m;
}

// A group given by number or by name; -1 for a name the system does not know.
gid_t GroupId(const std::string &name) {
    char *end = nullptr;
    const unsigned long number = std::strtoul(name.c_str(), &end, 10);
    if (*end == '\0') return static_cast<gid_t>(number);
    group entry {}, *found = nullptr;
    char buffer[16384];
    return ::getgrnam_r(name.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found ? found->gr_gid : static_cast<gid_t>(-1);
}

}  // namespace

AccessPolicy CurrentAccessPolicy() {
    AccessPolicy policy;
    const std::optional<std::string> name = GetEnvironment("WBFAX_ACCESS_GROUP");
    if (!name || name->empty()) return policy;
    policy.grouped = true;
    policy.file = 0660;
    policy.folder = 02770;
    policy.shared = 0660;
    policy.secret = 0660;
    // Asked for at every file the module opens: the group database is read only when the name
    // changes. An unknown group still keeps others out.
    thread_local std::string resolvedName;
    thread_local gid_t resolved = static_cast<gid_t>(-1);
    if (*name != resolvedName) {
        resolved = GroupId(*name);
        // A group not found yet may be made later: asked for again.
        resolvedName = resolved != static_cast<gid_t>(-1) ? *name : std::string();
    }
    policy.group = resolved;
    return policy;
}

void ApplySharedGroup(int fd, const AccessPolicy &policy) {
    if (!policy.HasGroup()) return;
    const int saved = errno;
    if (::fchown(fd, static_cast<uid_t>(-1), policy.group) == 0) {
        // The group's share of the mode may have been taken by the umask.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode)) ::fchmod(fd, (st.st_mode & 0700) | ((st.st_mode & 0700) >> 3));
    }
    errno = saved;
}

bool ApplyOpenAccess(int fd, const AccessPolicy &policy) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    // The group first: changing it may clear the set-group-id bit.
    if (policy.HasGroup() && st.st_gid != policy.group &&
        ::fchown(fd, static_cast<uid_t>(-1), policy.group) != 0)
        return false;
    return ::fchmod(fd, S_ISDIR(st.st_mode) ? policy.folder : policy.file) == 0;
}

std::string NativePath(std::string_view path) {
    std::string native(path);
    if (native.find('\\') == std::string::npos) return native;
    // The second byte of a double-byte character may be 0x5C; it belongs to the name.
    const std::uint32_t codePage = AnsiCodePage();
    for (std::size_t i = 0; i < native.size(); ++i) {
        if (IsLeadByteOf(codePage, static_cast<std::uint8_t>(native[i]))) ++i;
        else if (native[i] == '\\') native[i] = '/';
    }
    return native;
}

bool SettledLongEnough(const struct stat &st) {
    constexpr long long kSettleNs = 25'000'000;
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long age = (static_cast<long long>(now.tv_sec) - st.st_mtim.tv_sec) * 1'000'000'000LL + (now.tv_nsec - st.st_mtim.tv_nsec);
    return age > kSettleNs;
}

bool SameFileState(const struct stat &a, const struct stat &b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

ReadResult ReadWholeFile(const std::string &nativePath, std::string &content) {
    Fd f(::open(nativePath.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unreadable;
    content.clear();
    struct stat st {};
    if (::fstat(f.fd, &st) == 0 && S_ISREG(st.st_mode)) content.reserve(static_cast<std::size_t>(st.st_size));
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(f.fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            return ReadResult::Unreadable;
        }
        if (n == 0) break;
        content.append(chunk, static_cast<std::size_t>(n));
    }
    return ReadResult::Ok;
}

bool WriteWholeFile(const std::string &nativePath, std::string_view content) {
    Fd f(::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, CurrentAccessPolicy().shared));
    if (f.fd < 0 || !WriteAll(f.fd, content)) return false;
    const int fd = f.fd;
    f.fd = -1;
    return ::close(fd) == 0;
}

Stream Stream::CreatePrivate(std::string_view path, const char *mode) {
    Stream s;
    const std::string native = NativePath(path);
    // Never a file someone else made under this name, nor one a link leads to: a new one whose
    // access is settled before the first byte.
    if (::unlink(native.c_str()) != 0 && errno != ENOENT) return s;
    const AccessPolicy policy = CurrentAccessPolicy();
    Fd f(::open(native.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (f.fd < 0) return s;
    if (policy.HasGroup() &&
        (::fchown(f.fd, static_cast<uid_t>(-1), policy.group) != 0 || ::fchmod(f.fd, policy.secret) != 0)) {
        const int error = errno;
        ::unlink(native.c_str());
        errno = error;
        return s;
    }
    s.file_ = ::fdopen(f.fd, "w+");
    if (!s.file_) return s;
    f.fd = -1;
    s.text_ = IsTextMode(mode);
    return s;
}

Stream Stream::Open(std::string_view path, const char *mode) {
    Stream s;
    s.file_ = std::fopen(NativePath(path).c_str(), BinaryMode(mode).c_str());
    // The C library opens a folder for reading here; the Windows runtime refuses it.
    struct stat st {};
    if (s.file_ && ::fstat(::fileno(s.file_), &st) == 0 && S_ISDIR(st.st_mode)) {
        s.Close();
        errno = EACCES;
    }
    s.text_ = IsTextMode(mode);
    return s;
}

bool Stream::ReadLine(char *buffer, int size) {
    if (!file_ || size <= 0) return false;
    int n = 0;
    // A stream belongs to one thread: no locking per character.
    while (n < size - 1 && !eof_) {
        int c = ::getc_unlocked(file_);
        if (c == EOF) break;
        if (text_) {
            if (c == 0x1A) {
                eof_ = true;
                break;
            }
            if (c == '\r') {
                const int next = ::getc_unlocked(file_);
                if (next == '\n') c = '\n';
                else if (next != EOF) std::ungetc(next, file_);
            }
        }
        buffer[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    buffer[n] = '\0';
    return n > 0;
}

bool Stream::Write(std::string_view text) {
    if (!file_) return false;
    if (!text_) return std::fwrite(text.data(), 1, text.size(), file_) == text.size();
    std::size_t from = 0;
    while (from < text.size()) {
        const std::size_t lf = text.find('\n', from);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        if (std::fwrite(text.data() + from, 1, end - from, file_) != end - from) return false;
        if (lf == std::string_view::npos) break;
        if (std::fwrite("\r\n", 1, 2, file_) != 2) return false;
        from = lf + 1;
    }
    return true;
}

bool CreateFileWithOpenAccess(std::string_view path, Disposition disposition) {
    int flags = O_RDWR | O_CLOEXEC;
    switch (disposition) {
    case Disposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
    case Disposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case Disposition::OpenExisting: break;
    case Disposition::OpenAlways: flags |= O_CREAT; break;
    }
    const std::string native = NativePath(path);
    struct stat before {};
    const bool existed = ::stat(native.c_str(), &before) == 0;
    const AccessPolicy policy = CurrentAccessPolicy();
    Fd f(::open(native.c_str(), flags, policy.file));
    if (f.fd < 0) return false;
    // The descriptor applies only to a file this call creates, as on Windows.
    if (!existed) ApplyOpenAccess(f.fd, policy);
    return true;
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
    std::string content;
    if (ReadWholeFile(NativePath(path), content) != ReadResult::Ok) return std::nullopt;
    return content;
}

std::int64_t FileLength(std::string_view path) {
    Fd f(::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0) return -1;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool FileExists(std::string_view path) {
    struct stat st {};
    return ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool RemoveFile(std::string_view path) { return ::unlink(NativePath(path).c_str()) == 0; }

namespace {

bool GrantByPath(const std::string &native, const AccessPolicy &policy) {
    Fd f(::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (f.fd >= 0) return ApplyOpenAccess(f.fd, policy);
    // A file that we may change but not read.
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) return false;
    if (policy.HasGroup() && st.st_gid != policy.group &&
        ::chown(native.c_str(), static_cast<uid_t>(-1), policy.group) != 0)
        return false;
    return ::chmod(native.c_str(), S_ISDIR(st.st_mode) ? policy.folder : policy.file) == 0;
}

}  // namespace

bool GrantEveryoneAccess(std::string_view path) { return GrantByPath(NativePath(path), CurrentAccessPolicy()); }

bool GrantInheritableOpenAccess(std::string_view path) {
    const std::string native = NativePath(path);
    const AccessPolicy policy = CurrentAccessPolicy();
    if (!GrantByPath(native, policy)) return false;
    struct stat st {};
    if (::stat(native.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) return true;
    // What is created inside inherits the open access; file systems without ACLs keep the mode.
    acl_t acl = ::acl_from_text(policy.grouped ? "u::rwx,g::rwx,o::---,m::rwx" : "u::rwx,g::rwx,o::rwx,m::rwx");
    if (!acl) return false;
    const int rc = ::acl_set_file(native.c_str(), ACL_TYPE_DEFAULT, acl);
    const int error = errno;
    ::acl_free(acl);
    return rc == 0 || error == ENOTSUP;
}

bool AppendToFile(std::string_view path, std::string_view text) {
    const AccessPolicy policy = CurrentAccessPolicy();
    const std::string native = NativePath(path);
    Fd f(::open(native.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
    if (f.fd < 0 && errno == ENOENT) {
        f.fd = ::open(native.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, policy.shared);
        if (f.fd >= 0) ApplySharedGroup(f.fd, policy);
    }
    if (f.fd < 0) return false;
    return ::write(f.fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace wbfax::platform
