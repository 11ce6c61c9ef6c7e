// Command 2: one received document, from the host's description to its stored place.
#pragma once

#include "entry/host_context.h"

#include <string>
#include <string_view>

namespace wbfax {

void ReceiveFax(const HostContext &context);

// The name under which the other party is shown: free of the list separators "," and ";".
std::string MakeDisplayName(std::string_view remoteName, std::string_view remoteId);

}  // namespace wbfax
