// Files that several processes share: the folder lock and whole-file replacement.
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <acl/libacl.h>
#include <sys/acl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

constexpr const char *kLockFileName = "/.wbfax.lock";

// One entry per lock file. Threads meet at the mutex; processes at the flock, which the
// kernel drops with the holder's last descriptor, also when it is killed.
struct LockEntry {
    std::recursive_mutex threads;
    int depth = 0;
    int fd = -1;
};

std::mutex &RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

LockEntry &EntryFor(const std::string &lockFile) {
    static std::map<std::string, LockEntry> entries;  // nodes never move
    std::lock_guard<std::mutex> guard(RegistryMutex());
    return entries[lockFile];
}

int OpenLockFile(const std::string &lockFile) {
    const AccessPolicy policy = CurrentAccessPolicy();
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, policy.shared);
    if (fd >= 0) {
        // Sender programs under other accounts take the same lock.
        struct stat st {};
        if (::fstat(fd, &st) == 0 && st.st_size == 0 && (st.st_mode & 0666) != policy.shared) {
            ApplySharedGroup(fd, policy);
            ::fchmod(fd, policy.shared);
        }
        return fd;
    }
    // A lock needs no write access to its file.
    return ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC);
}

}  // namespace

std::string FolderOfNative(const std::string &nativePath) {
    const std::size_t slash = nativePath.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : nativePath.substr(0, slash);
}

std::string UniqueSiblingName(const std::string &folder, const char *prefix, const char *suffix) {
    static std::atomic<unsigned> counter{0};
    return folder + "/" + prefix + std::to_string(::getpid()) + "~" + std::to_string(counter++) + suffix;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

FolderLock::FolderLock(std::string_view folder) {
    const std::string lockFile = NativePath(folder) + kLockFileName;
    const int saved = errno;
    int fd = OpenLockFile(lockFile);
    // Keyed by the file itself, so that two spellings of one folder nest instead of meeting.
    struct stat st {};
    const std::string key = fd >= 0 && ::fstat(fd, &st) == 0
                                ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)
                                : lockFile;
    LockEntry &entry = EntryFor(key);
    entry.threads.lock();
    if (entry.depth++ == 0) {
        // Without a lock file (a folder not there yet, or not ours) the threads are still kept
        // apart; what the write itself cannot do, it reports.
        while (fd >= 0 && ::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            fd = -1;
        }
        entry.fd = fd;
    } else if (fd >= 0) {
        ::close(fd);
    }
    errno = saved;
    token_ = reinterpret_cast<std::uintptr_t>(&entry);
}

FolderLock::~FolderLock() {
    if (!token_) return;
    auto *entry = reinterpret_cast<LockEntry *>(token_);
    if (--entry->depth == 0 && entry->fd >= 0) {
        const int saved = errno;
        ::close(entry->fd);  // releases the flock
        entry->fd = -1;
        errno = saved;
    }
    entry->threads.unlock();
}

bool ReplaceFileContent(std::string_view path, std::string_view bytes, bool openAccessWhenNew) {
    std::string target = NativePath(path);
    struct stat link {};
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // The file the link names is replaced, not the link.
        char resolved[PATH_MAX];
        if (!::realpath(target.c_str(), resolved)) return false;
        target = resolved;
    }
    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) {
        errno = EISDIR;
        return false;
    }
    const std::string temp = UniqueSiblingName(FolderOfNative(target), ".wbfax~", ".new");
    const AccessPolicy policy = CurrentAccessPolicy();
    Fd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, policy.shared));
    if (out.fd < 0) {
        // A folder that takes no new file still lets a writable file be written in place.
        if (errno != EACCES && errno != EPERM) return false;
        return existed && WriteWholeFile(target, bytes);
    }
    auto fail = [&] {
        const int error = errno;
        ::unlink(temp.c_str());
        errno = error;
        return false;
    };
    if (existed) {
        ::fchmod(out.fd, old.st_mode & 07777);
        if (::fchown(out.fd, old.st_uid, old.st_gid) != 0) {
            // Only the owner's own groups are ours to give; the mode stays the old one.
        }
        if (acl_t acl = ::acl_get_file(target.c_str(), ACL_TYPE_ACCESS)) {
            if (::acl_equiv_mode(acl, nullptr) != 0) ::acl_set_fd(out.fd, acl);
            ::acl_free(acl);
        }
    } else if (openAccessWhenNew) {
        ApplyOpenAccess(out.fd, policy);
    } else {
        ApplySharedGroup(out.fd, policy);
    }
    if (!WriteAll(out.fd, bytes) || ::fdatasync(out.fd) != 0) return fail();
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) return fail();
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail();
    return true;
}

bool AppendLines(std::string_view path, std::string_view lines) {
    const AccessPolicy policy = CurrentAccessPolicy();
    Fd f(::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, policy.shared));
    if (f.fd < 0) return false;
    struct stat st {};
    if (::fstat(f.fd, &st) != 0) return false;
    if (st.st_size == 0) ApplySharedGroup(f.fd, policy);
    off_t end = st.st_size;
    // Back to the end of the last whole line.
    char tail[4096];
    while (end > 0) {
        const off_t from = end > static_cast<off_t>(sizeof tail) ? end - static_cast<off_t>(sizeof tail) : 0;
        const ssize_t n = ::pread(f.fd, tail, static_cast<std::size_t>(end - from), from);
        if (n <= 0) return false;
        const void *lf = ::memrchr(tail, '\n', static_cast<std::size_t>(n));
        if (lf) {
            end = from + (static_cast<const char *>(lf) - tail) + 1;
            break;
        }
        end = from;
    }
    std::string text;
    text.reserve(lines.size() + lines.size() / 16);
    for (const char c : lines) {
        if (c == '\n') text += '\r';
        text += c;
    }
    if ((end != st.st_size && ::ftruncate(f.fd, end) != 0) || ::lseek(f.fd, end, SEEK_SET) != end) return false;
    if (!WriteAll(f.fd, text)) {
        const int error = errno;
        if (::ftruncate(f.fd, end) != 0) {
            // The list keeps an unfinished last line, which the next append cuts off.
        }
        errno = error;
        return false;
    }
    return true;
}

}  // namespace wbfax::platform
