// The mail address window (108): the mail addresses that a box's rules already use, offered
// for the rule being edited.
#pragma once

#include <string>
#include <vector>

namespace wbfax {

// The distinct addresses of the mail fields of a work rule file, in ascending byte order; empty
// when the file cannot be read.
std::vector<std::string> CollectMailAddresses(const std::string &path);

// "Add": kNoMessage and the selected addresses put before the mail list's rows (those already
// there, letter case ignored, left out), or the message for too many and nothing added.
int AddFromMailWindow(std::vector<std::string> &mailRows, const std::vector<std::string> &selected);

}  // namespace wbfax
