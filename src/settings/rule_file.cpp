#include "settings/rule_file.h"

#include "base/text.h"
#include "platform/platform.h"
#include "settings/config.h"

namespace wbfax {

std::string RuleFilePath(std::uint32_t box) { return Format("%s\\WbFaxRcv%03u.rfd", DataFolder().c_str(), box); }

std::string WorkRuleFilePath(int slot) { return Format("%s\\Work%03d.rfd", DataFolder().c_str(), slot); }

bool RuleFileExists(std::uint32_t box) { return static_cast<bool>(platform::Stream::Open(RuleFilePath(box), "rt")); }

}  // namespace wbfax
