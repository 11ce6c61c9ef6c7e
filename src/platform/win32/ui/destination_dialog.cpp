// Dialog 104, the destination settings: one rule's code, its storage folder in the folder tree
// and its notification addresses. The checks, the rule written and everything the tree does on
// the disk are decided in ui/; this file keeps the controls in step with those decisions.
#include "ui/help.h"
#include "base/services.h"
#include "platform/win32/ui/controls.h"
#include "platform/win32/ui/dialogs.h"
#include "resources/dialog_ids.h"
#include "ui/destination.h"
#include "ui/distribution_list.h"
#include "ui/folder_tree.h"
#include "ui/mail_addresses.h"
#include "ui/messages.h"

#include <algorithm>

#include <shellapi.h>
#include <shlobj.h>

namespace wbfax::win32ui {
namespace {

constexpr int kAppRefreshAddresses = WM_APP + 1;
constexpr int kKeyReadLimit = 63;
constexpr int kCodeReadLimit = 63;
constexpr int kClosedFolderImage = 1;
constexpr int kOpenFolderImage = 0;

struct AddressList {
    ReportList view;
    std::vector<std::string> rows;
    bool mail = true;
};

struct Destination {
    HWND dialog = nullptr;
    HWND owner = nullptr;
    DestinationMode mode = DestinationMode::New;
    DestinationRecord *record = nullptr;
    int kind = 0;
    FolderTree tree;
    std::vector<HTREEITEM> items;  // the tree view's item of each folder item
    HWND treeView = nullptr;
    HIMAGELIST images = nullptr;
    std::string selectedFolder;
    bool labelEditing = false;
    bool byMail = true;
    AddressList mail, pc;
    std::string pendingAddress;  // the text an accepted in-place edit left, to select after sorting

    AddressList &active() { return byMail ? mail : pc; }
};
Destination *current = nullptr;  // one destination dialog at a time

std::vector<std::string> AddressCells(const std::string &row) { return {row}; }

// ---- folder tree ----

int ItemOf(const Destination &d, HTREEITEM handle) {
    if (!handle) return -1;
    TVITEMA item{};
    item.mask = TVIF_PARAM | TVIF_HANDLE;
    item.hItem = handle;
    TreeView_GetItem(d.treeView, &item);
    return static_cast<int>(item.lParam);
}

int SelectedItem(const Destination &d) { return ItemOf(d, TreeView_GetSelection(d.treeView)); }

struct SiblingOrder {
    const FolderTree *tree;
    int parent;
};

int CALLBACK CompareByModel(LPARAM a, LPARAM b, LPARAM context) {
    const auto *order = reinterpret_cast<const SiblingOrder *>(context);
    const std::vector<int> &children = order->tree->items[static_cast<std::size_t>(order->parent)].children;
    const auto position = [&](LPARAM item) {
        return std::find(children.begin(), children.end(), static_cast<int>(item)) - children.begin();
    };
    return static_cast<int>(position(a) - position(b));
}

HTREEITEM InsertTreeItem(Destination &d, int item, HTREEITEM parent) {
    TVINSERTSTRUCTA insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<char *>(d.tree.items[static_cast<std::size_t>(item)].name.c_str());
    insert.item.lParam = item;
    insert.item.iImage = kClosedFolderImage;
    insert.item.iSelectedImage = kOpenFolderImage;
    return reinterpret_cast<HTREEITEM>(::SendMessageA(d.treeView, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

// Items the model has and the view lacks are added; siblings take the model's order.
void SyncTree(Destination &d, int item) {
    d.items.resize(d.tree.items.size(), nullptr);
    if (!d.items[static_cast<std::size_t>(item)])
        d.items[static_cast<std::size_t>(item)] = InsertTreeItem(d, item, TVI_ROOT);
    const HTREEITEM parent = d.items[static_cast<std::size_t>(item)];
    const std::vector<int> children = d.tree.items[static_cast<std::size_t>(item)].children;
    for (int child : children) {
        if (!d.items[static_cast<std::size_t>(child)]) d.items[static_cast<std::size_t>(child)] = InsertTreeItem(d, child, parent);
        SyncTree(d, child);
    }
    SiblingOrder order{&d.tree, item};
    TVSORTCB sort{parent, CompareByModel, reinterpret_cast<LPARAM>(&order)};
    TreeView_SortChildrenCB(d.treeView, &sort, FALSE);
}

void ShowSelection(Destination &d, const FolderSelection &selection) {
    SetItemText(d.dialog, IDC_FOLDER_NAME, selection.name);
    d.selectedFolder = selection.relativePath;
    SetItemText(d.dialog, IDC_SELECTED_FOLDER, d.selectedFolder);
}

void BuildTree(Destination &d) {
    d.images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 2, 0);
    for (const char *name : {"IDI_ICON_FLD_OPEN1", "IDI_ICON_FLD_CLOSE1"}) {
        const HICON icon = static_cast<HICON>(::LoadImageA(Resources(), name, IMAGE_ICON, 16, 16, 0));
        ImageList_AddIcon(d.images, icon);
        ::DestroyIcon(icon);
    }
    TreeView_SetImageList(d.treeView, d.images, TVSIL_NORMAL);
    d.tree = BuildFolderTree(d.record->boxFolder);
    SyncTree(d, 0);
    TreeView_Expand(d.treeView, d.items[0], TVE_EXPAND);
}

// False when nothing was selected.
bool SelectInitial(Destination &d) {
    const FolderSelection selection = SelectInitialFolder(d.tree, d.selectedFolder);
    SetItemText(d.dialog, IDC_FOLDER_NAME, selection.name);
    if (selection.item < 0) return false;
    SyncTree(d, 0);
    TreeView_SelectItem(d.treeView, d.items[static_cast<std::size_t>(selection.item)]);
    ::SetFocus(d.treeView);
    return true;
}

void ReleaseImages(Destination &d) {
    if (!d.images) return;
    TreeView_SetImageList(d.treeView, nullptr, TVSIL_NORMAL);
    ImageList_Destroy(d.images);
    d.images = nullptr;
}

void OnNewFolder(Destination &d) {
    const int parent = SelectedItem(d);
    if (parent < 0) return;
    const FolderChange change = CreateNewFolder(d.tree, parent);
    if (change.outcome == FolderOutcome::Failed) {
        ShowSystemError(AsHandle(d.dialog), change.systemError);
        return;
    }
    if (change.outcome != FolderOutcome::Done) return;
    SyncTree(d, 0);
    TreeView_SelectItem(d.treeView, d.items[static_cast<std::size_t>(change.item)]);
}

void OnFolderProperties(Destination &d) {
    const int item = SelectedItem(d);
    if (item < 0 || !CanRenameFolderItem(item)) return;
    const std::string path = FolderPathOf(d.tree, item);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = d.dialog;
    info.lpVerb = "properties";
    info.lpFile = path.c_str();
    info.nShow = SW_SHOWNORMAL;
    ::ShellExecuteExA(&info);
}

void ShowFolderMenu(Destination &d, int item, POINT at) {
    const HMENU menu = ::LoadMenuA(Resources(), MAKEINTRESOURCEA(IDM_FOLDER));
    if (!menu) return;
    const HMENU folder = ::GetSubMenu(menu, 0);
    if (!CanRenameFolderItem(item)) {
        ::EnableMenuItem(folder, IDM_RENAME_FOLDER, MF_BYCOMMAND | MF_GRAYED);
        ::EnableMenuItem(folder, IDM_FOLDER_PROPERTIES, MF_BYCOMMAND | MF_GRAYED);
    }
    ::TrackPopupMenu(folder, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, d.dialog, nullptr);
    ::DestroyMenu(menu);
}

// The item under the cursor of the last message; -1 beside the items.
int ItemAtCursor(const Destination &d, POINT &screen, bool besideLabel) {
    const DWORD position = ::GetMessagePos();
    screen = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    TVHITTESTINFO hit{};
    hit.pt = screen;
    ::ScreenToClient(d.treeView, &hit.pt);
    const HTREEITEM handle = TreeView_HitTest(d.treeView, &hit);
    const UINT on = TVHT_ONITEM | (besideLabel ? TVHT_ONITEMRIGHT : 0);
    return handle && (hit.flags & on) ? ItemOf(d, handle) : -1;
}

LRESULT OnTreeNotify(Destination &d, NMHDR &header) {
    switch (header.code) {
    case TVN_SELCHANGEDA: {
        const int item = static_cast<int>(reinterpret_cast<NMTREEVIEWA &>(header).itemNew.lParam);
        ShowSelection(d, SelectFolderItem(d.tree, item));
        SyncTree(d, 0);
        return 0;
    }
    case TVN_ITEMEXPANDEDA: {
        const auto &change = reinterpret_cast<NMTREEVIEWA &>(header);
        if (change.action & TVE_EXPAND) {
            ExpandFolderItem(d.tree, static_cast<int>(change.itemNew.lParam));
            SyncTree(d, 0);
        }
        return 0;
    }
    case NM_CLICK: {
        POINT at;
        if (const int item = ItemAtCursor(d, at, true); item >= 0)
            TreeView_SelectItem(d.treeView, d.items[static_cast<std::size_t>(item)]);
        return 0;
    }
    case NM_RCLICK: {
        POINT at;
        const int item = ItemAtCursor(d, at, false);
        if (item < 0) return TRUE;
        TreeView_SelectItem(d.treeView, d.items[static_cast<std::size_t>(item)]);
        ShowFolderMenu(d, item, at);
        return TRUE;
    }
    case TVN_BEGINLABELEDITA: {
        const int item = static_cast<int>(reinterpret_cast<NMTVDISPINFOA &>(header).item.lParam);
        if (!CanRenameFolderItem(item)) return TRUE;
        d.labelEditing = true;
        return FALSE;
    }
    case TVN_ENDLABELEDITA: {
        d.labelEditing = false;
        const TVITEMA &edited = reinterpret_cast<NMTVDISPINFOA &>(header).item;
        if (!edited.pszText) return FALSE;
        const int item = static_cast<int>(edited.lParam);
        const FolderChange change = RenameFolderItem(d.tree, item, edited.pszText);
        switch (change.outcome) {
        case FolderOutcome::Refused: ShowMessage(AsHandle(d.dialog), change.message); break;
        case FolderOutcome::Failed: ShowSystemError(AsHandle(d.dialog), change.systemError); break;
        case FolderOutcome::Done: {
            const std::string &name = d.tree.items[static_cast<std::size_t>(item)].name;
            TVITEMA text{};
            text.mask = TVIF_TEXT | TVIF_HANDLE;
            text.hItem = edited.hItem;
            text.pszText = const_cast<char *>(name.c_str());
            TreeView_SetItem(d.treeView, &text);
            SetItemText(d.dialog, IDC_FOLDER_NAME, name);
            SyncTree(d, 0);
            d.selectedFolder = change.relativePath;
            SetItemText(d.dialog, IDC_SELECTED_FOLDER, d.selectedFolder);
            break;
        }
        case FolderOutcome::Unchanged: break;
        }
        return FALSE;  // the text, when it changed, is set above
    }
    default: return 0;
    }
}

// ---- address lists ----

void ShowAddresses(AddressList &list, int keep = -1) { list.view.Select(list.view.Show(list.rows, AddressCells, keep)); }

void FillAddressList(AddressList &list, const std::string &text, int header) {
    list.view.SetColumns({LoadLabel(header)}, {1});
    list.view.SetFullRowSelect();
    list.rows = SplitAddressList(text);
    SortAddressRows(list.rows);
    list.view.Show(list.rows, AddressCells);
}

void OnNewAddress(Destination &d) {
    AddressList &list = d.active();
    if (const int refusal = NewAddressRefusal(list.rows); refusal != kNoMessage) {
        ShowMessage(AsHandle(d.dialog), refusal);
        return;
    }
    const int row = list.view.Show(list.rows, AddressCells, BeginNewAddress(list.rows));
    list.view.Select(row);
    list.view.BeginEdit(row);
}

void OnEditAddress(Destination &d) {
    AddressList &list = d.active();
    ::SetFocus(list.view.handle());
    list.view.BeginEdit(list.view.Selected());
}

void OnDeleteAddress(Destination &d) {
    AddressList &list = d.active();
    const int row = list.view.Selected();
    if (row < 0 || row >= static_cast<int>(list.rows.size())) return;
    list.rows.erase(list.rows.begin() + row);
    ShowAddresses(list);
}

// The system's dialog that browses the network neighbourhood for a computer; empty on Cancel.
std::string BrowseForComputer(HWND owner) {
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::string name;
    LPITEMIDLIST network = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(owner, CSIDL_NETWORK, &network))) {
        char picked[MAX_PATH] = {};
        BROWSEINFOA browse{};
        browse.hwndOwner = owner;
        browse.pidlRoot = network;
        browse.pszDisplayName = picked;
        browse.ulFlags = BIF_BROWSEFORCOMPUTER;
        if (LPITEMIDLIST chosen = ::SHBrowseForFolderA(&browse)) {
            name = picked;
            ::CoTaskMemFree(chosen);
        }
        ::CoTaskMemFree(network);
    }
    if (SUCCEEDED(com)) ::CoUninitialize();
    return name;
}

void OnPickAddress(Destination &d) {
    AddressList &list = d.active();
    if (const int refusal = NewAddressRefusal(list.rows); refusal != kNoMessage) {
        ShowMessage(AsHandle(d.dialog), refusal);
        return;
    }
    if (d.byMail) {
        OpenMailAddressWindow(d.dialog, WorkFileOfBox(d.record->editBoxNumber));
        return;
    }
    const std::string name = BrowseForComputer(d.dialog);
    if (name.empty()) return;
    const AddressCheck check = CheckPickedComputer(list.rows, name);
    if (check.verdict == AddressVerdict::Refused) ShowMessage(AsHandle(d.dialog), check.message);
    if (check.verdict != AddressVerdict::Accepted) return;
    list.rows.push_back(name);
    SortAddressRows(list.rows);
    ShowAddresses(list, FindText(list.rows, name));
}

LRESULT OnAddressNotify(Destination &d, AddressList &list, NMHDR &header) {
    switch (header.code) {
    case LVN_BEGINLABELEDITA:
        if (const HWND edit = ListView_GetEditControl(list.view.handle()))
            ::SendMessageA(edit, EM_LIMITTEXT, list.mail ? kMailEditLimit : kPcEditLimit, 0);
        return FALSE;
    case LVN_ENDLABELEDITA: {
        const LVITEMA &edited = reinterpret_cast<NMLVDISPINFOA &>(header).item;
        if (!edited.pszText || edited.iItem < 0 || edited.iItem >= static_cast<int>(list.rows.size())) return FALSE;
        const AddressCheck check = CheckAddressText(list.rows, edited.iItem, edited.pszText, list.mail);
        if (check.verdict == AddressVerdict::Refused) ShowMessage(AsHandle(d.dialog), check.message);
        if (check.verdict != AddressVerdict::Accepted) return FALSE;
        list.rows[static_cast<std::size_t>(edited.iItem)] = edited.pszText;
        // The list is put in order once the edit control is gone.
        d.pendingAddress = edited.pszText;
        ::PostMessageA(d.dialog, kAppRefreshAddresses, 0, 0);
        return TRUE;
    }
    case LVN_COLUMNCLICK: list.view.SortByColumn(list.rows, reinterpret_cast<NMLISTVIEW &>(header).iSubItem); return 0;
    case NM_DBLCLK: OnEditAddress(d); return 0;
    default: return 0;
    }
}

// ---- the dialog ----

void ReadOwnerRows(const Destination &d, DestinationForm &form) {
    ReportList owner(::GetDlgItem(d.owner, IDC_RULE_LIST));
    for (int row = 0; row < owner.Count(); ++row) form.ownerRows.push_back({owner.Text(row, 0), owner.Text(row, 1), {}});
    form.ownerSelected = owner.Selected();
}

int OwnerKind(HWND owner) {
    const auto kind = static_cast<int>(::SendDlgItemMessageA(owner, IDC_KIND_LIST, LB_GETCURSEL, 0, 0));
    return kind >= 0 ? kind : CurrentKind();
}

BOOL OnInit(Destination &d) {
    d.selectedFolder = d.record->folder;
    SetItemText(d.dialog, IDC_SELECTED_FOLDER, d.selectedFolder);
    InitControls();
    for (int id : {IDC_FOLDER_NAME, IDC_FOLDER_TREE, IDC_SELECTED_FOLDER, IDC_PC_LIST}) ApplyUiFont(::GetDlgItem(d.dialog, id));

    d.kind = OwnerKind(d.owner);
    SetItemText(d.dialog, IDC_CODE_LABEL, LoadLabel(TraitsOf(d.kind).label));
    if (d.kind == kOther) ::SendDlgItemMessageA(d.dialog, IDC_CODE, EM_SETREADONLY, TRUE, 0);
    ::SendDlgItemMessageA(d.dialog, IDC_CODE, EM_LIMITTEXT, CodeFieldLimit(d.kind), 0);
    ::SendDlgItemMessageA(d.dialog, IDC_FOLDER_NAME, EM_LIMITTEXT, kFolderNameFieldLimit, 0);
    ::SendDlgItemMessageA(d.dialog, IDC_KEY_NAME, EM_LIMITTEXT, kKeyFieldLimit, 0);
    SetItemText(d.dialog, IDC_CODE, d.record->code);

    d.mail.view = ReportList(::GetDlgItem(d.dialog, IDC_MAIL_LIST));
    d.pc.view = ReportList(::GetDlgItem(d.dialog, IDC_PC_LIST));
    d.mail.mail = true;
    d.pc.mail = false;
    FillAddressList(d.mail, d.record->mailAddresses, kLabelMailList);
    FillAddressList(d.pc, d.record->pcAddresses, kLabelPcList);

    d.byMail = ReadNotifyByMail() != 0;
    const HWND mail = d.mail.view.handle(), pc = d.pc.view.handle();
    if (d.byMail) {
        ::EnableWindow(mail, TRUE);
        ::EnableWindow(pc, FALSE);
    } else {
        ::EnableWindow(mail, FALSE);
        ::ShowWindow(mail, SW_HIDE);
        ::EnableWindow(pc, TRUE);
        RECT place{};
        ::GetWindowRect(mail, &place);
        ::MapWindowPoints(nullptr, d.dialog, reinterpret_cast<POINT *>(&place), 2);
        ::MoveWindow(pc, place.left, place.top, place.right - place.left, place.bottom - place.top, TRUE);
        ::ShowWindow(pc, SW_SHOW);
    }

    SetItemText(d.dialog, IDC_KEY_NAME, InitialKeyName(d.kind, d.record->keyName, d.record->editBoxNumber));

    d.treeView = ::GetDlgItem(d.dialog, IDC_FOLDER_TREE);
    BuildTree(d);
    return SelectInitial(d) ? FALSE : TRUE;
}

void OnOk(Destination &d) {
    if (d.labelEditing) {
        TreeView_EndEditLabelNow(d.treeView, FALSE);
        return;
    }
    DestinationForm form;
    form.kind = d.kind;
    form.mode = d.mode;
    form.code = ItemText(d.dialog, IDC_CODE, kCodeReadLimit);
    form.folderName = ItemText(d.dialog, IDC_FOLDER_NAME, kFolderNameFieldLimit);
    form.selectedFolder = d.selectedFolder;
    ReadOwnerRows(d, form);
    const std::string key = ItemText(d.dialog, IDC_KEY_NAME, kKeyReadLimit);
    const DestinationOutcome outcome = ConfirmDestination(form, key, d.mail.rows, d.pc.rows, *d.record);
    if (outcome.refusal) {
        ShowMessage(AsHandle(d.dialog), outcome.refusal->message);
        if (outcome.refusal->focus == FormField::Code) {
            const HWND code = ::GetDlgItem(d.dialog, IDC_CODE);
            ::SetFocus(code);
            ::SendMessageA(code, EM_SETSEL, 0, -1);
        }
        return;
    }
    if (outcome.workFileMissing) ShowWorkFileMissing(AsHandle(d.dialog));
    ReleaseImages(d);
    ::EndDialog(d.dialog, IDOK);
}

void OnCancel(Destination &d) {
    if (d.labelEditing) {
        TreeView_EndEditLabelNow(d.treeView, TRUE);
        if (::GetKeyState(VK_ESCAPE) < 0) return;  // Escape only ended the edit
    }
    ReleaseImages(d);
    ::EndDialog(d.dialog, IDCANCEL);
}

INT_PTR OnCommand(Destination &d, int id) {
    switch (id) {
    case IDOK: OnOk(d); return TRUE;
    case IDCANCEL: OnCancel(d); return TRUE;
    case IDC_ADDRESS_NEW: OnNewAddress(d); return TRUE;
    case IDC_ADDRESS_EDIT: OnEditAddress(d); return TRUE;
    case IDC_ADDRESS_DELETE: OnDeleteAddress(d); return TRUE;
    case IDC_ADDRESS_PICK: OnPickAddress(d); return TRUE;
    case IDM_NEW_FOLDER: OnNewFolder(d); return TRUE;
    case IDM_RENAME_FOLDER:
        ::SetFocus(d.treeView);
        TreeView_EditLabel(d.treeView, TreeView_GetSelection(d.treeView));
        return TRUE;
    case IDM_FOLDER_PROPERTIES: OnFolderProperties(d); return TRUE;
    default: return FALSE;
    }
}

INT_PTR CALLBACK DestinationProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        current = reinterpret_cast<Destination *>(lParam);
        current->dialog = dialog;
        return OnInit(*current);
    }
    if (!current || current->dialog != dialog) return FALSE;
    Destination &d = *current;
    switch (message) {
    case WM_COMMAND: return OnCommand(d, LOWORD(wParam));
    case WM_NOTIFY: {
        NMHDR &header = *reinterpret_cast<NMHDR *>(lParam);
        LRESULT result = 0;
        if (header.idFrom == IDC_FOLDER_TREE) result = OnTreeNotify(d, header);
        else if (header.idFrom == IDC_MAIL_LIST) result = OnAddressNotify(d, d.mail, header);
        else if (header.idFrom == IDC_PC_LIST) result = OnAddressNotify(d, d.pc, header);
        else return FALSE;
        SetDialogResult(dialog, result);
        return TRUE;
    }
    case kAppRefreshAddresses: {
        AddressList &list = d.active();
        SortAddressRows(list.rows);
        ShowAddresses(list, FindText(list.rows, d.pendingAddress));
        return TRUE;
    }
    case WM_HELP: ShowHelp(AsHandle(dialog), kHelpDestination); return TRUE;
    case WM_DESTROY: ReleaseImages(d); return FALSE;
    default: return FALSE;
    }
}

}  // namespace

int OpenDestinationDialog(DestinationMode mode, HWND owner, DestinationRecord &record) {
    Destination d;
    d.owner = owner;
    d.mode = mode;
    d.record = &record;
    Destination *const outer = current;
    const INT_PTR result = ::DialogBoxParamA(Resources(), MAKEINTRESOURCEA(IDD_DESTINATION), owner, DestinationProc,
                                             reinterpret_cast<LPARAM>(&d));
    current = outer;
    return result == IDOK ? IDOK : IDCANCEL;
}

int AddToDestinationMail(const std::vector<std::string> &selected) {
    if (!current) return kNoMessage;
    AddressList &list = current->mail;
    const int refusal = AddFromMailWindow(list.rows, selected);
    if (refusal != kNoMessage) return refusal;
    SortAddressRows(list.rows);
    ShowAddresses(list);
    return kNoMessage;
}

}  // namespace wbfax::win32ui
