// What Windows takes from the system, the POSIX build takes from its environment (see README).
#include "platform/platform.h"
#include "platform/posix/posix_internal.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace wbfax::platform {
namespace {

constexpr int kCommonAppData = 0x23;
constexpr int kCommonDocuments = 0x2E;

// Stands in for Shell32.DLL: the one procedure the module asks it for.
int ShellSpecialFolderPath(char *buffer, int folder) {
    if (folder != kCommonAppData && folder != kCommonDocuments) return 0;
    const std::string base = GetEnvironment("WBFAX_COMMON_APPDATA").value_or("/var/lib");
    if (base.size() >= 260) return 0;
    std::memcpy(buffer, base.c_str(), base.size() + 1);
    return 1;
}

char shellModule;  // its address is the handle of the built-in shell
ModuleHandle thisModule;

std::uint32_t NumberFromEnvironment(const char *name, std::uint32_t fallback) {
    const std::optional<std::string> text = GetEnvironment(name);
    if (!text || text->empty()) return fallback;
    char *end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, 10);
    return *end == '\0' ? static_cast<std::uint32_t>(value) : fallback;
}

bool IsShellName(const char *name) { return name && strcasecmp(name, "Shell32.DLL") == 0; }

}  // namespace

std::optional<std::string> GetEnvironment(const char *name) {
    const char *value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::optional<VersionInfo> SystemVersion() {
    // The newest system class: an NT-family system of major version 6.
    return VersionInfo{2, 6, 1};
}

std::string WindowsDirectory() { return GetEnvironment("WBFAX_COMMON_APPDATA").value_or("/var/lib"); }

ModuleHandle LoadModule(const char *name) {
    if (IsShellName(name)) return reinterpret_cast<ModuleHandle>(&shellModule);
    if (!name) return 0;
    // A Windows module name maps to the shared object of the same stem.
    std::string file(name);
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && strcasecmp(file.c_str() + dot, ".dll") == 0) file.replace(dot, std::string::npos, ".so");
    return reinterpret_cast<ModuleHandle>(::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL));
}

void FreeModule(ModuleHandle module) {
    if (module && module != reinterpret_cast<ModuleHandle>(&shellModule)) ::dlclose(reinterpret_cast<void *>(module));
}

ProcAddress FindProc(ModuleHandle module, const char *name) {
    if (!module || !name) return nullptr;
    if (module == reinterpret_cast<ModuleHandle>(&shellModule))
        return std::strcmp(name, "SHGetSpecialFolderPathA") == 0 ? reinterpret_cast<ProcAddress>(&ShellSpecialFolderPath)
                                                                  : nullptr;
    return ::dlsym(reinterpret_cast<void *>(module), name);
}

bool CallSpecialFolderPath(ProcAddress proc, char *buffer, int folder, bool /*create*/) {
    if (!proc || !buffer) return false;
    return reinterpret_cast<int (*)(char *, int)>(proc)(buffer, folder) != 0;
}

ModuleHandle ThisModule() {
    // Any address inside the module identifies it.
    return thisModule ? thisModule : reinterpret_cast<ModuleHandle>(&thisModule);
}

void SetThisModule(ModuleHandle module) { thisModule = module; }

std::uint32_t AnsiCodePage() { return NumberFromEnvironment("WBFAX_ACP", 1252); }

bool IsLeadByteOf(std::uint32_t codePage, std::uint8_t byte) {
    switch (codePage) {
    case 932: return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950: return byte >= 0x81 && byte <= 0xFE;
    default: return false;
    }
}

bool IsLeadByte(std::uint8_t byte) { return IsLeadByteOf(AnsiCodePage(), byte); }

namespace {

// Lower case of a single-byte character; in code page 1252 the accented capitals too.
std::uint8_t FoldByte(std::uint8_t c, std::uint32_t codePage) {
    if (c >= 'A' && c <= 'Z') return static_cast<std::uint8_t>(c + 0x20);
    if (codePage != 1252) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<std::uint8_t>(c + 0x20);
    switch (c) {
    case 0x8A: return 0x9A;  // S with caron
    case 0x8C: return 0x9C;  // OE
    case 0x8E: return 0x9E;  // Z with caron
    case 0x9F: return 0xFF;  // Y with diaeresis
    default: return c;
    }
}

}  // namespace

bool EqualIgnoringCaseInLocale(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    const std::uint32_t codePage = AnsiCodePage();
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<std::uint8_t>(a[i]), y = static_cast<std::uint8_t>(b[i]);
        if (IsLeadByteOf(codePage, x) && i + 1 < a.size()) {
            // A double-byte character matches only itself, whatever its second byte looks like.
            if (x != y || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (FoldByte(x, codePage) != FoldByte(y, codePage)) {
            return false;
        }
    }
    return true;
}

std::uint16_t UserDefaultLanguage() { return static_cast<std::uint16_t>(NumberFromEnvironment("WBFAX_LANGID", 1033)); }

// Nothing is drawn on POSIX: the chosen font is kept, and its handle stands for it.
FontHandle MakeFont(const FontSpec &choice) { return reinterpret_cast<FontHandle>(new FontSpec(choice)); }

void DeleteFont(FontHandle font) { delete reinterpret_cast<FontSpec *>(font); }

bool OpenHelp(WindowHandle, const char *, std::uint32_t, std::uintptr_t) { return false; }

}  // namespace wbfax::platform

#include <ctime>
#include <time.h>

namespace wbfax::platform {

LocalTime CurrentLocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    ::localtime_r(&now, &parts);
    return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
}

void SleepMilliseconds(std::uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (::nanosleep(&wait, &wait) != 0) {
    }
}

}  // namespace wbfax::platform
