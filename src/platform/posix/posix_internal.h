// Helpers shared by the POSIX side of the platform layer only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
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

enum class ReadResult { Ok, Missing, Unreadable };
ReadResult ReadWholeFile(const std::string &nativePath, std::string &content);
bool WriteWholeFile(const std::string &nativePath, std::string_view content);

}  // namespace wbfax::platform
