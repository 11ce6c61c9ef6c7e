#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wbfax::platform {
namespace {

bool CopyContent(const std::string &from, const std::string &to, bool failIfExists) {
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0) return false;
    struct stat st {};
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
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
            if (w < 0) {
                ::unlink(to.c_str());
                return false;
            }
            done += w;
        }
    }
    const int fd = out.fd;
    out.fd = -1;
    if (::close(fd) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> CurrentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return std::nullopt;
    return std::string(buffer);
}

bool EnterDirectory(std::string_view path) { return ::chdir(NativePath(path).c_str()) == 0; }

bool MakeDirectory(std::string_view path) { return ::mkdir(NativePath(path).c_str(), 0777) == 0; }

bool PathExists(std::string_view path) {
    struct stat st {};
    return ::lstat(NativePath(path).c_str(), &st) == 0;
}

bool MovePath(std::string_view from, std::string_view to) {
    const std::string source = NativePath(from), target = NativePath(to);
    // A hard link refuses an existing target, which a plain rename would replace.
    if (::link(source.c_str(), target.c_str()) != 0) {
        if (errno != EXDEV && errno != EPERM && errno != EMLINK) return false;
        if (!CopyContent(source, target, true)) return false;
    }
    if (::unlink(source.c_str()) != 0) {
        ::unlink(target.c_str());
        return false;
    }
    return true;
}

bool ReplacePath(std::string_view from, std::string_view to) {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool CopyPath(std::string_view from, std::string_view to, bool failIfExists) {
    return CopyContent(NativePath(from), NativePath(to), failIfExists);
}

}  // namespace wbfax::platform
