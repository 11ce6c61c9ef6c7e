// The settings dialogs' help: the host's help file, opened at a dialog's topic.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

// Help file target: configuration folder + "\WBFAXRCVEXT.HLP>CONTREF".
std::string HelpTarget(std::string_view configFolder);
enum HelpContext : std::uint32_t { kHelpDistributionList = 257, kHelpEnvironment = 258, kHelpDestination = 260 };
void ShowHelp(platform::WindowHandle window, std::uint32_t contextId);

}  // namespace wbfax
