// Which rule of a box a document would go by, and why, told with the module's own look-ups.
#pragma once

#include "quillbox-host/options.h"

#include <string>

namespace quillbox {

// The report printed by which-rule. The module's settings are those of this environment.
std::string ExplainRule(const WhichRuleCommand &command);

}  // namespace quillbox
