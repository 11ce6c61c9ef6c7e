// <windows.h> as the Windows side of the platform layer includes it, and the access lists it
// builds (declared here so that the tests can read them where the system does not keep them).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>  // before windows.h, which would otherwise bring the old winsock.h
#include <windows.h>

// A 16-bit leftover of winbase.h that would rename the seam's FreeModule.
#undef FreeModule

#include <memory>
#include <string>
#include <vector>

namespace wbfax::platform::win32 {

struct SidDeleter {
    void operator()(void *sid) const { ::FreeSid(sid); }
};
using Sid = std::unique_ptr<void, SidDeleter>;
Sid Everyone();
Sid Administrators();

// Everyone, all access, nothing inherited, in a 1024-byte list: for files created for
// everyone and for folders opened on 2000/XP. Lives as long as this object.
class OpenAccessDescriptor {
public:
    OpenAccessDescriptor();
    explicit operator bool() const { return ok_; }
    PSECURITY_DESCRIPTOR get() { return &descriptor_; }

private:
    std::vector<unsigned char> acl_;
    Sid everyone_;
    SECURITY_DESCRIPTOR descriptor_{};
    bool ok_ = false;
};

// Administrators, then Everyone, all access, inherited by files and folders inside; sized
// exactly. Empty when it cannot be built.
std::vector<unsigned char> InheritableOpenAccessList();

// The folder part of a path; a double-byte character's second byte is no separator.
inline std::string FolderOf(const std::string &path) {
    std::size_t slash = std::string::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) ++i;
        else if (path[i] == '\\' || path[i] == '/') slash = i;
    }
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Whether the path ends in a backslash or "/" itself, not in the second byte of a double-byte
// character (表 is 0x95 0x5C in code page 932).
inline bool EndsWithSeparator(const std::string &path) {
    bool separator = false;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (::IsDBCSLeadByte(static_cast<BYTE>(path[i])) && i + 1 < path.size()) {
            ++i;
            separator = false;
        } else {
            separator = path[i] == '\\' || path[i] == '/';
        }
    }
    return separator;
}

}  // namespace wbfax::platform::win32
