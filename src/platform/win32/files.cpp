// Files, streams and access lists: a thin pass-through to the Windows API and its C runtime.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

namespace wbfax::platform {
namespace win32 {

constexpr DWORD kAclBufferSize = 1024;

Sid Everyone() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid)) return nullptr;
    return Sid(sid);
}

Sid Administrators() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &sid))
        return nullptr;
    return Sid(sid);
}

OpenAccessDescriptor::OpenAccessDescriptor() : acl_(kAclBufferSize), everyone_(Everyone()) {
    auto *acl = reinterpret_cast<PACL>(acl_.data());
    ok_ = everyone_ && ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
          ::InitializeAcl(acl, kAclBufferSize, ACL_REVISION) &&
          ::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, everyone_.get()) &&
          ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE);
}

std::vector<unsigned char> InheritableOpenAccessList() {
    const Sid administrators = Administrators();
    const Sid everyone = Everyone();
    if (!administrators || !everyone) return {};
    // An ACCESS_ALLOWED_ACE holds the first four bytes of its SID.
    const DWORD size = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                       ::GetLengthSid(administrators.get()) + ::GetLengthSid(everyone.get());
    std::vector<unsigned char> buffer(size);
    auto *acl = reinterpret_cast<PACL>(buffer.data());
    constexpr DWORD kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    if (!::InitializeAcl(acl, size, ACL_REVISION) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, GENERIC_ALL, administrators.get()) ||
        !::AddAccessAllowedAceEx(acl, ACL_REVISION, kInherit, GENERIC_ALL, everyone.get()))
        return {};
    return buffer;
}

}  // namespace win32

using win32::OpenAccessDescriptor;

// Windows paths are already native.
std::string NativePath(std::string_view path) { return std::string(path); }

// The runtime's own text mode does the CR LF and Ctrl-Z handling.
Stream Stream::Open(std::string_view path, const char *mode) {
    Stream s;
    s.file_ = std::fopen(std::string(path).c_str(), mode);
    return s;
}

Stream Stream::CreatePrivate(std::string_view path, const char *mode) {
    // The data folder's inherited access list decides; the host expects it open.
    ::DeleteFileA(std::string(path).c_str());
    return Open(path, mode[0] == 'w' ? mode : "w");
}

bool Stream::ReadLine(char *buffer, int size) {
    if (!file_ || size <= 0) return false;
    return std::fgets(buffer, size, file_) != nullptr;
}

bool Stream::Write(std::string_view text) {
    return file_ && std::fwrite(text.data(), 1, text.size(), file_) == text.size();
}

bool CreateFileWithOpenAccess(std::string_view path, Disposition disposition) {
    OpenAccessDescriptor descriptor;
    if (!descriptor) return false;
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor.get();
    attributes.bInheritHandle = FALSE;
    const HANDLE file = ::CreateFileA(std::string(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, &attributes,
                                      static_cast<DWORD>(disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
}

std::optional<std::string> ReadFileBytes(std::string_view path) {
    const HANDLE file = ::CreateFileA(std::string(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string content;
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(file, &size)) content.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[65536];
    bool ok = true;
    for (DWORD n = 0; (ok = ::ReadFile(file, chunk, sizeof chunk, &n, nullptr) != FALSE) && n > 0;) content.append(chunk, n);
    ::CloseHandle(file);
    if (!ok) return std::nullopt;
    return content;
}

std::int64_t FileLength(std::string_view path) {
    const int fd = ::_open(std::string(path).c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return -1;
    const std::int64_t length = ::_filelengthi64(fd);
    ::_close(fd);
    return length;
}

bool FileExists(std::string_view path) {
    const DWORD attributes = ::GetFileAttributesA(std::string(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool RemoveFile(std::string_view path) { return ::DeleteFileA(std::string(path).c_str()) != FALSE; }

bool GrantEveryoneAccess(std::string_view path) {
    const std::string name(path);
    // Only an object whose security can be read is given the new list.
    std::vector<unsigned char> current(win32::kAclBufferSize);
    DWORD needed = 0;
    if (!::GetFileSecurityA(name.c_str(), OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION, current.data(),
                            win32::kAclBufferSize, &needed))
        return false;
    OpenAccessDescriptor descriptor;
    return descriptor && ::SetFileSecurityA(name.c_str(), DACL_SECURITY_INFORMATION, descriptor.get()) != FALSE;
}

bool GrantInheritableOpenAccess(std::string_view path) {
    std::vector<unsigned char> acl = win32::InheritableOpenAccessList();
    if (acl.empty()) return false;
    std::string name(path);
    return ::SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                   DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                   reinterpret_cast<PACL>(acl.data()), nullptr) == ERROR_SUCCESS;
}

bool AppendToFile(std::string_view path, std::string_view text) {
    const HANDLE file = ::CreateFileA(std::string(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    ::CloseHandle(file);
    return ok && written == text.size();
}

}  // namespace wbfax::platform
