#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

namespace wbfax::platform {

std::string LoadResourceString(ModuleHandle resources, int id) {
    char buffer[4096];  // any text of the table; callers cut to their own buffers
    const int n = ::LoadStringA(reinterpret_cast<HINSTANCE>(resources), static_cast<UINT>(id), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

int ShowMessageBox(WindowHandle owner, const std::string &text, const char *caption, std::uint32_t style) {
    return ::MessageBoxA(reinterpret_cast<HWND>(owner), text.c_str(), caption, style);
}

}  // namespace wbfax::platform
