#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <signal.h>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

// The half-written copy goes; errno keeps the reason it failed.
bool RemoveFailedCopy(const std::string &to) {
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

bool CopyContent(const std::string &from, const std::string &to, bool failIfExists) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return false;
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) {
        errno = EACCES;  // what Windows answers for a folder
        return false;
    }
    Fd out(::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (failIfExists ? O_EXCL : 0), st.st_mode & 07777));
    if (out.fd < 0) return false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out.fd, buffer + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return RemoveFailedCopy(to);
            done += w;
        }
    }
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) return RemoveFailedCopy(to);
    return true;
}

}  // namespace

std::optional<std::string> CurrentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return std::nullopt;
    return std::string(buffer);
}

bool EnterDirectory(std::string_view path) { return ::chdir(NativePath(path).c_str()) == 0; }

// Default security: with a service group, nothing for others, whatever the umask allows.
bool MakeDirectory(std::string_view path) { return ::mkdir(NativePath(path).c_str(), CurrentAccessPolicy().folder & 0777) == 0; }

bool PathExists(std::string_view path) {
    struct stat st {};
    return ::lstat(NativePath(path).c_str(), &st) == 0;
}

namespace {

constexpr std::string_view kStagedPrefix = ".wbfax~";
constexpr std::string_view kStagedSuffix = ".part";

// Claims the target name without replacing it; EEXIST when it is taken.
int ClaimName(const std::string &source, const std::string &target) {
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
    // A file system without the no-replace rename: a hard link refuses a taken name too.
    if (::link(source.c_str(), target.c_str()) != 0) return errno;
    if (::unlink(source.c_str()) != 0) {
        const int error = errno;
        ::unlink(target.c_str());
        return error;
    }
    return 0;
}

MoveOutcome Outcome(int error) {
    if (error == 0) return MoveOutcome::Moved;
    errno = error;
    return error == EEXIST ? MoveOutcome::TargetExists : MoveOutcome::Failed;
}

// Across volumes: the copy is made and flushed under a name nobody looks for, and only then
// takes the target's name; the source goes last. A crash leaves the source, or the source and
// a whole target, and at most a staged copy that the next staged move into the folder removes.
MoveOutcome StagedMove(const std::string &source, const std::string &target) {
    const std::string folder = FolderOfNative(target);
    RemoveAbandonedCopies(folder);
    const std::string staged = UniqueSiblingName(folder, std::string(kStagedPrefix).c_str(), std::string(kStagedSuffix).c_str());
    Fd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return MoveOutcome::Failed;
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) return MoveOutcome::Failed;
    if (!S_ISREG(st.st_mode)) {
        errno = EISDIR;
        return MoveOutcome::Failed;
    }
    Fd out(::open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777));
    if (out.fd < 0) return MoveOutcome::Failed;
    auto fail = [&](MoveOutcome outcome) {
        const int error = errno;
        ::unlink(staged.c_str());
        errno = error;
        return outcome;
    };
    static thread_local std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(MoveOutcome::Failed);
        if (n == 0) break;
        if (!WriteAll(out.fd, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return fail(MoveOutcome::Failed);
    }
    if (::fdatasync(out.fd) != 0) return fail(MoveOutcome::Failed);
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) return fail(MoveOutcome::Failed);
    if (const int error = ClaimName(staged, target); error != 0) {
        errno = error;
        return fail(Outcome(error));
    }
    if (::unlink(source.c_str()) != 0) {
        // The fax must not lie under two names: the source stays, as a failed move leaves it.
        const int error = errno;
        ::unlink(target.c_str());
        errno = error;
        return MoveOutcome::Failed;
    }
    return MoveOutcome::Moved;
}

}  // namespace

MoveOutcome MovePath(std::string_view from, std::string_view to) {
    const std::string source = NativePath(from), target = NativePath(to);
    const int error = ClaimName(source, target);
    if (error == EXDEV || error == EPERM || error == EMLINK) return StagedMove(source, target);
    return Outcome(error);
}

void RemoveAbandonedCopies(std::string_view folder) {
    const std::string native = NativePath(folder);
    DIR *dir = ::opendir(native.c_str());
    if (!dir) return;
    const int saved = errno;
    while (const dirent *entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, kStagedPrefix.size()) != kStagedPrefix || name.size() <= kStagedSuffix.size() ||
            name.substr(name.size() - kStagedSuffix.size()) != kStagedSuffix)
            continue;
        // The pid of the process that staged it: while that process lives, the copy is its.
        const long pid = std::strtol(std::string(name.substr(kStagedPrefix.size())).c_str(), nullptr, 10);
        if (pid <= 0 || pid == ::getpid() || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
    errno = saved;
}

bool ReplacePath(std::string_view from, std::string_view to) {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool CopyPath(std::string_view from, std::string_view to, bool failIfExists) {
    return CopyContent(NativePath(from), NativePath(to), failIfExists);
}

}  // namespace wbfax::platform
