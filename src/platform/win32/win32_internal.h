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

}  // namespace wbfax::platform::win32
