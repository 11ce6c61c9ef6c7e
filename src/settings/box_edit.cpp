#include "settings/box_edit.h"

#include "settings/config.h"

namespace wbfax {

// Edit slots and rule-file copies are not kept yet: a box edit leaves the rule files as they are.
void OpenBoxEdit(const HostContext &) {}

void DeleteBox(const HostContext &) {}

void FinishBoxEdits(const HostContext &context) {
    if (context.Slot(1) == 1) CommitWorkSettings();
    else DiscardWorkSettings();
}

}  // namespace wbfax
