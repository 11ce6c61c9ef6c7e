// Folders, the current directory, moving and copying: the Windows API as it is.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace wbfax::platform {

std::optional<std::string> CurrentDirectory() {
    char buffer[MAX_PATH];
    const DWORD n = ::GetCurrentDirectoryA(sizeof buffer, buffer);
    if (n == 0 || n >= sizeof buffer) return std::nullopt;
    return std::string(buffer, n);
}

bool EnterDirectory(std::string_view path) { return ::SetCurrentDirectoryA(std::string(path).c_str()) != FALSE; }

bool MakeDirectory(std::string_view path) { return ::CreateDirectoryA(std::string(path).c_str(), nullptr) != FALSE; }

bool PathExists(std::string_view path) {
    return ::GetFileAttributesA(std::string(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MovePath(std::string_view from, std::string_view to) {
    return ::MoveFileA(std::string(from).c_str(), std::string(to).c_str()) != FALSE;
}

bool ReplacePath(std::string_view from, std::string_view to) {
    return ::MoveFileExA(std::string(from).c_str(), std::string(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool CopyPath(std::string_view from, std::string_view to, bool failIfExists) {
    return ::CopyFileA(std::string(from).c_str(), std::string(to).c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

}  // namespace wbfax::platform
