#include "base/services.h"

#include "base/module.h"
#include "base/text.h"

namespace wbfax {

int ClassifyVersion(const platform::VersionInfo &version) {
    constexpr std::uint32_t kPlatformNt = 2;
    if (version.platformId == kPlatformNt && version.major <= 4) return 1;
    if (version.major == 5) return 2;
    if (version.major == 6) return 3;
    return 0;
}

int OsVersionClass() {
    const std::optional<platform::VersionInfo> version = platform::SystemVersion();
    return version ? ClassifyVersion(*version) : 0;
}

int SpecialFolderLoader() {
    ModuleState &m = Module();
    if (m.shell32) return 1;
    m.shell32 = platform::LoadModule("Shell32.DLL");
    if (!m.shell32) return 0;
    m.specialFolderPath = platform::FindProc(m.shell32, "SHGetSpecialFolderPathA");
    return m.specialFolderPath ? 1 : 0;
}

std::optional<std::string> SpecialFolder(int folder) {
    if (!SpecialFolderLoader()) return std::nullopt;
    char buffer[260] = {};
    if (!platform::CallSpecialFolderPath(Module().specialFolderPath, buffer, folder, false)) return std::nullopt;
    return std::string(buffer);
}

std::optional<platform::FontSpec> ChooseUiFont(std::uint32_t codePage, std::string_view language) {
    platform::FontSpec font;  // height -11, default character set, no face name
    switch (codePage) {
    case 874: font.charset = 222; break;
    case 932:
        if (EqualsIgnoringCase(language, "Japanese")) return std::nullopt;
        font.charset = 128;
        font.faceName = "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e";  // MS P-Gothic, code page 932
        font.height = -12;
        break;
    case 936: font.charset = 134; break;
    case 949: font.charset = 129; break;
    case 950: font.charset = 136; break;
    case 1250:
        font.charset = 238;
        font.faceName = "Arial";
        break;
    case 1251: font.charset = 204; break;
    case 1253: font.charset = 161; break;
    case 1254: font.charset = 162; break;
    case 1255: font.charset = 177; break;
    case 1256: font.charset = 178; break;
    case 1257: font.charset = 186; break;
    case 1258: font.charset = 163; break;
    default: return std::nullopt;
    }
    return font;
}

std::string_view NextField(std::string_view &text) {
    const std::size_t separator = text.find(';');
    std::string_view field = text.substr(0, separator);
    text = separator == std::string_view::npos ? std::string_view() : text.substr(separator + 1);
    return field;
}

}  // namespace wbfax
