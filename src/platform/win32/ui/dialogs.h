// The drawn dialogs of command 3 and how they open one another. The list dialog is reached
// through RunListDialog (ui/distribution_list.h); these are the others.
#pragma once

#include "platform/win32/win32_internal.h"
// commdlg.h would rename the list helper FindText.
#undef FindText
#include "ui/destination.h"

#include <string>
#include <vector>

namespace wbfax::win32ui {

// 104, modal over the list dialog: 1 for OK (code and folder written back), 2 for Cancel.
int OpenDestinationDialog(DestinationMode mode, HWND owner, DestinationRecord &record);
// The mail address window's Add: the selected addresses into the open destination dialog's mail
// list; the message that refuses them, or kNoMessage.
int AddToDestinationMail(const std::vector<std::string> &selected);

// 102, modal: 1 after a successful OK, 2 after Cancel.
int RunEnvironmentDialog(HWND owner);

// 110, modeless; every call opens another window.
HWND OpenErrorLog(HWND owner);

// 108, modeless and single: an open window is brought to the front.
HWND OpenMailAddressWindow(HWND owner, const std::string &workFile);

}  // namespace wbfax::win32ui
