// Window 108, the mail addresses that the box's rules already use, offered to the open
// destination dialog. Modeless and single; ui/mail_addresses collects and adds.
#include "platform/win32/ui/controls.h"
#include "platform/win32/ui/dialogs.h"
#include "resources/dialog_ids.h"
#include "ui/mail_addresses.h"
#include "ui/messages.h"

namespace wbfax::win32ui {
namespace {

constexpr std::size_t kPathLimit = 259;

struct MailWindow {
    HWND window = nullptr;
    std::string workFile;
    ReportList list;
    std::vector<std::string> rows;
};
MailWindow mailWindow;

std::vector<std::string> Cells(const std::string &row) { return {row}; }

// Beside the owner's right edge, or ending there when the desktop is too narrow.
void Place(HWND window, HWND owner) {
    RECT self{}, beside{}, desktop{};
    ::GetWindowRect(window, &self);
    ::GetWindowRect(owner, &beside);
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    const int width = self.right - self.left;
    int left = beside.right;
    if (left + width > desktop.right) left = beside.right - width;
    ::SetWindowPos(window, nullptr, left, self.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnAdd(MailWindow &m) {
    std::vector<std::string> selected;
    for (int row : m.list.SelectedRows()) selected.push_back(m.list.Text(row, 0));
    if (const int refusal = AddToDestinationMail(selected); refusal != kNoMessage) ShowMessage(AsHandle(m.window), refusal);
}

INT_PTR CALLBACK MailProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_MAIL_ADD: OnAdd(mailWindow); return TRUE;
        case IDOK:
        case IDCANCEL: ::DestroyWindow(window); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: {
        const auto &header = *reinterpret_cast<const NMHDR *>(lParam);
        if (header.idFrom == IDC_WINDOW_LIST && header.code == LVN_COLUMNCLICK)
            mailWindow.list.SortByColumn(mailWindow.rows, reinterpret_cast<const NMLISTVIEW &>(header).iSubItem);
        return FALSE;
    }
    case WM_DESTROY:
        RemoveModeless(window);
        if (mailWindow.window == window) mailWindow = MailWindow{};
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

HWND OpenMailAddressWindow(HWND owner, const std::string &workFile) {
    if (mailWindow.window) {
        ::ShowWindow(mailWindow.window, SW_SHOW);
        ::SetActiveWindow(mailWindow.window);
        return mailWindow.window;
    }
    mailWindow.workFile = workFile.substr(0, kPathLimit);
    const HWND window = ::CreateDialogParamA(Resources(), MAKEINTRESOURCEA(IDD_MAIL_ADDRESS), owner, MailProc, 0);
    if (!window) {
        mailWindow.workFile.clear();
        return nullptr;
    }
    mailWindow.window = window;
    AddModeless(window);
    Place(window, owner);
    ::ShowWindow(window, SW_SHOW);
    mailWindow.list = ReportList(::GetDlgItem(window, IDC_WINDOW_LIST));
    mailWindow.list.SetColumns({"test"}, {1});
    mailWindow.list.SetFullRowSelect();
    mailWindow.rows = CollectMailAddresses(mailWindow.workFile);
    mailWindow.list.Show(mailWindow.rows, Cells);
    return window;
}

}  // namespace wbfax::win32ui
