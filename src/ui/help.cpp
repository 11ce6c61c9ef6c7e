#include "ui/help.h"

#include "settings/config.h"

namespace wbfax {

std::string HelpTarget(std::string_view configFolder) {
    constexpr std::string_view kTarget = "WBFAXRCVEXT.HLP>CONTREF";
    if (configFolder.empty()) return std::string(kTarget);
    return std::string(configFolder) + "\\" + std::string(kTarget);
}

void ShowHelp(platform::WindowHandle window, std::uint32_t contextId) {
    constexpr std::uint32_t kHelpContextCommand = 1;
    const std::string target = HelpTarget(ReadConfigFolder().value_or(""));
    platform::OpenHelp(window, target.c_str(), kHelpContextCommand, contextId);
}

}  // namespace wbfax
