// The host's box editing: commands 4 (a box enters or leaves editing), 5 (a box is deleted)
// and 6 (editing ends with a commit or a discard).
#pragma once

#include "entry/host_context.h"

namespace wbfax {

void OpenBoxEdit(const HostContext &context);
void DeleteBox(const HostContext &context);
void FinishBoxEdits(const HostContext &context);

}  // namespace wbfax
