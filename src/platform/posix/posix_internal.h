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

// What "open access" means here. With WBFAX_ACCESS_GROUP naming a group (or a numeric gid):
// the owner and that group, nothing for others, folders set-group-id so that what is made
// inside keeps the group. Without it: everyone, as on Windows. Read at each use, so that a
// changed environment holds for the next file.
struct AccessPolicy {
    bool grouped = false;
    gid_t group = static_cast<gid_t>(-1);  // -1: a group that does not exist; the file keeps its own
    mode_t file = 0777;                    // a file opened to everyone
    mode_t folder = 0777;                  // a folder opened to everyone
    mode_t shared = 0666;                  // a shared file (lists, logs, locks) as it is created
    mode_t secret = 0600;                  // a file that holds secrets: never others

    // A group to give files to: set, and known to the system.
    bool HasGroup() const { return grouped && group != static_cast<gid_t>(-1); }
};
AccessPolicy CurrentAccessPolicy();
// Gives what fd names the policy's open access; false with errno set.
bool ApplyOpenAccess(int fd, const AccessPolicy &policy);
// A shared file just created: the policy's group, so that the service's other accounts share it.
void ApplySharedGroup(int fd, const AccessPolicy &policy);

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
