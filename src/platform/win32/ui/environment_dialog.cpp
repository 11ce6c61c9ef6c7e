// Dialog 102, the environment settings: the receive-notification settings of all boxes. What is
// shown, which fields are open and what OK writes are decided in ui/environment.
#include "ui/help.h"
#include "base/services.h"
#include "platform/win32/ui/controls.h"
#include "platform/win32/ui/dialogs.h"
#include "resources/dialog_ids.h"
#include "ui/environment.h"
#include "ui/messages.h"

namespace wbfax::win32ui {
namespace {

constexpr std::size_t kServerReadLimit = 63;

bool Checked(HWND dialog, int id) { return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void ApplyLayout(HWND dialog) {
    const EnvironmentLayout layout = LayoutOf(Checked(dialog, IDC_NOTIFY_BY_MAIL), Checked(dialog, IDC_ATTACH_FILE));
    const auto enable = [&](int id, bool on) { ::EnableWindow(::GetDlgItem(dialog, id), on ? TRUE : FALSE); };
    enable(IDC_SMTP_SERVER, layout.server);
    enable(IDC_SMTP_PORT, layout.port);
    enable(IDC_ATTACH_FILE, layout.attach);
    enable(IDC_FILE_SIZE, layout.size);
    enable(IDC_NOTIFY_DAYS, layout.days);  // its spin control stays as it is
}

void OnInit(HWND dialog) {
    const HWND spin = ::GetDlgItem(dialog, IDC_NOTIFY_DAYS_SPIN);
    ::SendMessageA(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(::GetDlgItem(dialog, IDC_NOTIFY_DAYS)), 0);
    ::SendMessageA(spin, UDM_SETRANGE32, 0, kMaxNotifyDays);
    for (int label = kLabelSizeLow; label <= kLabelSizeUnlimited; ++label)
        ::SendDlgItemMessageA(dialog, IDC_FILE_SIZE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadLabel(label).c_str()));
    ::SendDlgItemMessageA(dialog, IDC_SMTP_SERVER, EM_LIMITTEXT, kServerFieldLimit, 0);
    ::SendDlgItemMessageA(dialog, IDC_SMTP_PORT, EM_LIMITTEXT, kPortFieldLimit, 0);

    const EnvironmentForm form = ReadEnvironmentForm();
    SetItemText(dialog, IDC_SMTP_SERVER, form.server);
    SetItemText(dialog, IDC_SMTP_PORT, form.port);
    ::CheckDlgButton(dialog, IDC_ATTACH_FILE, form.attachFile ? BST_CHECKED : BST_UNCHECKED);
    ::CheckRadioButton(dialog, IDC_NOTIFY_BY_MAIL, IDC_NOTIFY_HOST, form.notifyByMail ? IDC_NOTIFY_BY_MAIL : IDC_NOTIFY_HOST);
    ApplyLayout(dialog);
    ::SendDlgItemMessageA(dialog, IDC_FILE_SIZE, CB_SETCURSEL, static_cast<WPARAM>(form.sizeClass), 0);
    SetItemText(dialog, IDC_NOTIFY_DAYS, form.days);
}

void OnOk(HWND dialog) {
    EnvironmentForm form;
    form.notifyByMail = Checked(dialog, IDC_NOTIFY_BY_MAIL);
    form.server = ItemText(dialog, IDC_SMTP_SERVER, kServerReadLimit);
    form.port = ItemText(dialog, IDC_SMTP_PORT);
    form.attachFile = Checked(dialog, IDC_ATTACH_FILE);
    form.sizeClass = static_cast<int>(::SendDlgItemMessageA(dialog, IDC_FILE_SIZE, CB_GETCURSEL, 0, 0));
    form.days = ItemText(dialog, IDC_NOTIFY_DAYS, kDaysFieldLimit);
    const int refusal = ApplyEnvironmentOk(form);
    if (refusal != kNoMessage) {
        ShowMessage(AsHandle(dialog), refusal);
        return;
    }
    ::EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK EnvironmentProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: OnInit(dialog); return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_NOTIFY_BY_MAIL:
        case IDC_NOTIFY_HOST:
        case IDC_ATTACH_FILE:
            if (HIWORD(wParam) == BN_CLICKED) ApplyLayout(dialog);
            return TRUE;
        case IDOK: OnOk(dialog); return TRUE;
        case IDCANCEL: ::EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
        }
    case WM_HELP: ShowHelp(AsHandle(dialog), kHelpEnvironment); return TRUE;
    default: return FALSE;
    }
}

}  // namespace

int RunEnvironmentDialog(HWND owner) {
    const INT_PTR result =
        ::DialogBoxParamA(Resources(), MAKEINTRESOURCEA(IDD_ENVIRONMENT), owner, EnvironmentProc, 0);
    return result == IDOK ? IDOK : IDCANCEL;
}

}  // namespace wbfax::win32ui
