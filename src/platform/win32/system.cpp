// The system's own answers: a thin pass-through to the Windows API.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <algorithm>
#include <cstring>

namespace wbfax::platform {
namespace {

HMODULE thisModule;

using SpecialFolderPathProc = BOOL(WINAPI *)(HWND, LPSTR, int, BOOL);

}  // namespace

std::optional<std::string> GetEnvironment(const char *name) {
    char small[256];
    DWORD n = ::GetEnvironmentVariableA(name, small, sizeof small);
    if (n == 0) {
        if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    if (n < sizeof small) return std::string(small, n);
    std::string value(n, '\0');  // n counts the NUL when the buffer was short
    n = ::GetEnvironmentVariableA(name, value.data(), n);
    value.resize(n);
    return value;
}

std::optional<VersionInfo> SystemVersion() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExA(&info)) return std::nullopt;
    return VersionInfo{info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

std::string WindowsDirectory() {
    char buffer[MAX_PATH] = {};
    const UINT n = ::GetWindowsDirectoryA(buffer, sizeof buffer);
    return n < sizeof buffer ? std::string(buffer, n) : std::string();
}

ModuleHandle LoadModule(const char *name) { return reinterpret_cast<ModuleHandle>(::LoadLibraryA(name)); }

void FreeModule(ModuleHandle module) {
    if (module) ::FreeLibrary(reinterpret_cast<HMODULE>(module));
}

ProcAddress FindProc(ModuleHandle module, const char *name) {
    if (!module || !name) return nullptr;
    return reinterpret_cast<ProcAddress>(::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

bool CallSpecialFolderPath(ProcAddress proc, char *buffer, int folder, bool create) {
    if (!proc || !buffer) return false;
    return reinterpret_cast<SpecialFolderPathProc>(proc)(nullptr, buffer, folder, create ? TRUE : FALSE) != FALSE;
}

ModuleHandle ThisModule() {
    if (thisModule) return reinterpret_cast<ModuleHandle>(thisModule);
    // Before the loader has told us (a program linking the module's code): the module that
    // holds this code.
    HMODULE self = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCSTR>(&thisModule), &self);
    return reinterpret_cast<ModuleHandle>(self);
}

void SetThisModule(ModuleHandle module) { thisModule = reinterpret_cast<HMODULE>(module); }

std::uint32_t AnsiCodePage() { return ::GetACP(); }
bool IsLeadByte(std::uint8_t byte) { return ::IsDBCSLeadByte(byte) != FALSE; }
bool EqualIgnoringCaseInLocale(std::string_view a, std::string_view b) {
    return ::CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                            static_cast<int>(b.size())) == CSTR_EQUAL;
}
bool IsLeadByteOf(std::uint32_t codePage, std::uint8_t byte) { return ::IsDBCSLeadByteEx(codePage, byte) != FALSE; }

std::uint16_t UserDefaultLanguage() { return ::GetUserDefaultLangID(); }

FontHandle MakeFont(const FontSpec &choice) {
    LOGFONTA font{};
    font.lfHeight = choice.height;
    font.lfCharSet = choice.charset;
    const std::size_t n = std::min(choice.faceName.size(), sizeof font.lfFaceName - 1);
    std::memcpy(font.lfFaceName, choice.faceName.data(), n);
    return reinterpret_cast<FontHandle>(::CreateFontIndirectA(&font));
}

void DeleteFont(FontHandle font) {
    if (font) ::DeleteObject(reinterpret_cast<HGDIOBJ>(font));
}

bool OpenHelp(WindowHandle window, const char *target, std::uint32_t command, std::uintptr_t data) {
    return ::WinHelpA(reinterpret_cast<HWND>(window), target, command, data) != FALSE;
}

}  // namespace wbfax::platform

namespace wbfax::platform {

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

void SleepMilliseconds(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

}  // namespace wbfax::platform
