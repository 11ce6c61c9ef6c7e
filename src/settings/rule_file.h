// The per-box rule files in the data folder.
#pragma once

#include <cstdint>
#include <string>

namespace wbfax {

// DataFolder + "\WbFaxRcv%03d.rfd".
std::string RuleFilePath(std::uint32_t box);
// DataFolder + "\Work%03d.rfd".
std::string WorkRuleFilePath(int slot);

bool RuleFileExists(std::uint32_t box);

}  // namespace wbfax
