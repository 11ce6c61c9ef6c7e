// The profile functions are the system's own; the seam only fixes the signatures and keeps
// the module's writers apart.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace wbfax::platform {

std::uint32_t ProfileGetString(const char *section, const char *key, const char *defaultValue, char *buffer,
                               std::uint32_t size, const char *file) {
    return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, file);
}

std::uint32_t ProfileGetInt(const char *section, const char *key, std::int32_t defaultValue, const char *file) {
    return ::GetPrivateProfileIntA(section, key, defaultValue, file);
}

bool ProfileWriteString(const char *section, const char *key, const char *value, const char *file) {
    std::string folder = file ? win32::FolderOf(file) : ".";
    if (folder == ".") {
        // A name without a folder is the Windows directory's.
        char windows[MAX_PATH] = "";
        ::GetWindowsDirectoryA(windows, MAX_PATH);
        folder = windows;
    }
    const FolderLock lock(folder);
    return ::WritePrivateProfileStringA(section, key, value, file) != FALSE;
}

}  // namespace wbfax::platform
