// Dialog 101, the distribution settings list: the rows of one condition kind of the box's work
// rule file. What the buttons do to the file and to the rows is decided in ui/.
#include "ui/help.h"
#include "base/services.h"
#include "platform/win32/ui/controls.h"
#include "platform/win32/ui/dialogs.h"
#include "resources/dialog_ids.h"
#include "ui/distribution_list.h"
#include "ui/messages.h"

#include <algorithm>

namespace wbfax {
namespace {

using namespace win32ui;

constexpr int kCodeColumnWidth = 14;
constexpr int kFolderColumnWidth = 25;

struct ListDialog {
    ListSession *session = nullptr;
    HWND dialog = nullptr;
    ReportList rules;
    std::vector<RuleRow> rows;
};
ListDialog *current = nullptr;  // one settings dialog at a time

std::vector<std::string> CellsOf(const RuleRow &row) { return {row.code, row.folder}; }

void ShowColumns(ListDialog &d, int kind) {
    d.rules.RemoveColumns();
    const std::string code = TraitsOf(kind).hasColumn0Header ? LoadLabel(TraitsOf(kind).label) : std::string();
    d.rules.SetColumns({code, LoadLabel(kLabelStorageFolder)}, {kCodeColumnWidth, kFolderColumnWidth});
}

void ShowRows(ListDialog &d, int keep = -1) {
    const int at = d.rules.Show(d.rows, CellsOf, keep);
    d.rules.Select(at);
}

// Shows the row that the decision put at index at, where the list places it; the other rows stay
// in the order the user sorted them.
void ShowInsertedRow(ListDialog &d, int at) {
    if (at < 0 || at >= static_cast<int>(d.rows.size())) return;
    const int shown = d.rules.InsertItem(CellsOf(d.rows[static_cast<std::size_t>(at)]));
    if (shown < 0) {
        ShowRows(d, at);
        return;
    }
    if (shown != at) {
        RuleRow row = std::move(d.rows[static_cast<std::size_t>(at)]);
        d.rows.erase(d.rows.begin() + at);
        d.rows.insert(d.rows.begin() + std::min<int>(shown, static_cast<int>(d.rows.size())), std::move(row));
    }
    d.rules.Select(shown);
}

void OnInit(ListDialog &d) {
    ApplyUiFont(d.rules.handle());
    ApplyUiFont(::GetDlgItem(d.dialog, IDC_BOX_FOLDER));
    ShowColumns(d, kSubAddress);
    const HWND kinds = ::GetDlgItem(d.dialog, IDC_KIND_LIST);
    for (int kind : {kSubAddress, kSenderNumber, kDestinationNumber, kOther})
        ::SendMessageA(kinds, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(LoadLabel(TraitsOf(kind).label).c_str()));
    ::SendMessageA(kinds, LB_SETCURSEL, 0, 0);
    d.rules.SetFullRowSelect();
    SetItemText(d.dialog, IDC_BOX_FOLDER, d.session->boxFolder);
    d.rows = OpenList(*d.session);
    ShowRows(d);
}

void OnKindChange(ListDialog &d) {
    const int kind = static_cast<int>(::SendDlgItemMessageA(d.dialog, IDC_KIND_LIST, LB_GETCURSEL, 0, 0));
    if (kind < 0 || !ChangeKind(*d.session, kind, d.rows)) return;
    const BOOL numbered = NewAndDeleteEnabled(kind) ? TRUE : FALSE;
    ::EnableWindow(::GetDlgItem(d.dialog, IDC_RULE_NEW), numbered);
    ::EnableWindow(::GetDlgItem(d.dialog, IDC_RULE_DELETE), numbered);
    ListView_DeleteAllItems(d.rules.handle());
    ShowColumns(d, kind);
    ShowRows(d);
}

DestinationRecord BlankRecord(const ListSession &session) {
    DestinationRecord record;
    record.boxNumber = session.boxNumber;
    record.editBoxNumber = session.editBoxNumber;
    record.boxFolder = session.boxFolder;
    return record;
}

void OnNew(ListDialog &d) {
    if (const int refusal = NewRuleRefusal(d.rows.size()); refusal != kNoMessage) {
        ShowMessage(AsHandle(d.dialog), refusal);
        return;
    }
    DestinationRecord record = BlankRecord(*d.session);
    if (win32ui::OpenDestinationDialog(DestinationMode::New, d.dialog, record) != kButtonOk) return;
    ShowInsertedRow(d, InsertRowSorted(d.rows, {record.code, record.folder, {}}));
}

void OnEdit(ListDialog &d) {
    const int selected = d.rules.Selected();
    if (selected < 0 || selected >= static_cast<int>(d.rows.size())) {
        ShowMessage(AsHandle(d.dialog), kMsgNoSelection);
        return;
    }
    DestinationRecord record = RecordForRow(*d.session, CurrentKind(), d.rows[static_cast<std::size_t>(selected)]);
    if (win32ui::OpenDestinationDialog(DestinationMode::Change, d.dialog, record) != kButtonOk) {
        d.rules.Select(selected);
        return;
    }
    const bool sameCode = d.rows[static_cast<std::size_t>(selected)].code == record.code;
    const int at = ApplyEditedRow(d.rows, selected, record.code, record.folder);
    if (sameCode) {
        d.rules.SetText(selected, 1, record.folder);
        d.rules.Select(selected);
    } else {
        d.rules.RemoveItem(selected);
        ShowInsertedRow(d, at);
    }
}

void OnDelete(ListDialog &d) {
    const int selected = d.rules.Selected();
    if (RunDelete(*d.session, CurrentKind(), d.rows, selected)) d.rules.RemoveItem(selected);
}

INT_PTR OnNotify(ListDialog &d, const NMHDR &header) {
    if (header.idFrom != IDC_RULE_LIST) return FALSE;
    if (header.code == LVN_COLUMNCLICK) {
        d.rules.SortByColumn(d.rows, reinterpret_cast<const NMLISTVIEW &>(header).iSubItem);
    } else if (header.code == NM_DBLCLK) {
        OnEdit(d);
    }
    return FALSE;
}

INT_PTR CALLBACK ListProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        current = reinterpret_cast<ListDialog *>(lParam);
        current->dialog = dialog;
        current->rules = ReportList(::GetDlgItem(dialog, IDC_RULE_LIST));
        // The list's messages (no selection, the delete question) belong over this dialog.
        current->session->owner = AsHandle(dialog);
        OnInit(*current);
        return TRUE;
    }
    if (!current || current->dialog != dialog) return FALSE;
    ListDialog &d = *current;
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_KIND_LIST:
            if (HIWORD(wParam) == LBN_SELCHANGE) OnKindChange(d);
            return TRUE;
        case IDC_RULE_NEW: OnNew(d); return TRUE;
        case IDC_RULE_EDIT: OnEdit(d); return TRUE;
        case IDC_RULE_DELETE: OnDelete(d); return TRUE;
        case IDC_ENVIRONMENT: win32ui::RunEnvironmentDialog(dialog); return TRUE;
        case IDC_ERROR_LOG: win32ui::OpenErrorLog(dialog); return TRUE;
        case IDOK:
        case IDCANCEL: ::EndDialog(dialog, LOWORD(wParam)); return TRUE;
        default: return FALSE;
        }
    case WM_NOTIFY: return OnNotify(d, *reinterpret_cast<const NMHDR *>(lParam));
    case WM_HELP: ShowHelp(AsHandle(dialog), kHelpDistributionList); return TRUE;
    default: return FALSE;
    }
}

}  // namespace

int RunListDialog(ListSession &session) {
    // A host that names no box folder has no box to show: the files as the opening leaves them.
    if (session.boxFolder.empty()) {
        OpenList(session);
        return IDCANCEL;
    }
    InitControls();
    const platform::WindowHandle host = session.owner;
    ListDialog dialog;
    dialog.session = &session;
    const INT_PTR result = ::DialogBoxParamA(Resources(), MAKEINTRESOURCEA(IDD_DISTRIBUTION_LIST),
                                             reinterpret_cast<HWND>(host), ListProc, reinterpret_cast<LPARAM>(&dialog));
    current = nullptr;
    session.owner = host;
    // No screen to draw on (a service, Wine without a display): the files as the opening leaves them.
    if (result == -1) {
        OpenList(session);
        return IDCANCEL;
    }
    return static_cast<int>(result);
}

}  // namespace wbfax
