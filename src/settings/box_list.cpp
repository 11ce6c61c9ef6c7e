#include "settings/box_list.h"

#include "base/services.h"
#include "base/text.h"
#include "settings/access.h"

#include <string_view>

namespace wbfax {

std::string BoxListPath(int osClass) {
    constexpr const char *kFileName = "qvscan_f.bin";
    if (osClass < 2) return platform::WindowsDirectory() + "\\" + kFileName;
    const std::optional<std::string> base = SpecialFolder(osClass == 2 ? 0x2E : 0x23);
    if (!base) return {};
    return Format("%s\\%s\\%s", base->c_str(), "Corvane\\Quillbox", kFileName);
}

BoxLine ParseBoxLine(std::string_view line) {
    BoxLine parsed;
    parsed.box = ParseDecimal(NextField(line));
    parsed.folder = NextField(line);
    // The host may end the line with the folder; the line break is not part of it.
    while (!parsed.folder.empty() && (parsed.folder.back() == '\n' || parsed.folder.back() == '\r')) parsed.folder.remove_suffix(1);
    return parsed;
}

std::string FindBoxFolder(platform::Stream &list, std::uint32_t box) {
    char line[260];
    while (list.ReadLine(line, sizeof line))
        if (const BoxLine parsed = ParseBoxLine(line); static_cast<std::uint32_t>(parsed.box) == box) return std::string(parsed.folder);
    return {};
}

std::string GetBoxFolder(std::uint32_t box) {
    const int osClass = OsVersionClass();
    const std::string path = BoxListPath(osClass);
    if (path.empty()) return {};
    platform::Stream list = osClass < 2 ? platform::Stream::Open(path, "rt")
                                        : OpenWithOpenAccess(path, "rt", platform::Disposition::OpenAlways);
    if (!list) return {};
    return FindBoxFolder(list, box);
}

}  // namespace wbfax
