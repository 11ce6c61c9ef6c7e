// Command 2: one received document, from the host's description to its stored place.
#pragma once

#include "distribution/receive_description.h"
#include "base/host_context.h"
#include "settings/rules.h"

#include <string>
#include <string_view>

namespace wbfax {

void ReceiveFax(const HostContext &context);

// The name under which the other party is shown: free of the list separators "," and ";".
std::string MakeDisplayName(std::string_view remoteName, std::string_view remoteId);

// The rule that a document of the record goes by: for a sent document the destination-number
// rules, then the fallback for sent documents; otherwise sub-address rules, sender-number rules,
// then the fallback for received faxes. The first non-empty folder wins.
RuleTarget ChooseRule(const RuleSet &rules, const ReceiveRecord &record);

}  // namespace wbfax
