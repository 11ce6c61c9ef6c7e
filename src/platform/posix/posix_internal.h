// Helpers shared by the POSIX side of the platform layer only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace wbfax::platform {

// A file descriptor closed when it goes out of scope.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
};

// Whether what was read of a file can stand for it while its identity, size and times stay the
// same: file times are coarse (a few milliseconds), so a file changed within that time may
// change again without showing it.
bool SettledLongEnough(const struct stat &st);
// The same file, unchanged, as far as stat can tell.
bool SameFileState(const struct stat &a, const struct stat &b);

enum class ReadResult { Ok, Missing, Unreadable };
ReadResult ReadWholeFile(const std::string &nativePath, std::string &content);
// In place, truncating: only where a file cannot be replaced whole.
bool WriteWholeFile(const std::string &nativePath, std::string_view content);
// Every byte, or false with errno set (ENOSPC for a write that takes nothing).
bool WriteAll(int fd, std::string_view bytes);
std::string FolderOfNative(const std::string &nativePath);
// A name in the folder that no other process or thread of ours makes: prefix, pid, counter, suffix.
std::string UniqueSiblingName(const std::string &folder, const char *prefix, const char *suffix);

}  // namespace wbfax::platform
