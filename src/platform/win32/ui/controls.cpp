#include "platform/win32/ui/controls.h"

#include "base/module.h"

#include <algorithm>

namespace wbfax::win32ui {
namespace {

std::vector<HWND> &ModelessWindows() {
    static std::vector<HWND> windows;
    return windows;
}
HHOOK modelessHook = nullptr;

LRESULT CALLBACK ModelessFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code >= 0) {
        MSG *message = reinterpret_cast<MSG *>(lParam);
        for (HWND window : ModelessWindows())
            if (::IsWindow(window) && ::IsDialogMessageA(window, message)) return TRUE;
    }
    return ::CallNextHookEx(modelessHook, code, wParam, lParam);
}

struct SortContext {
    HWND list;
    int column;
    int direction;
};

int CALLBACK CompareRows(LPARAM first, LPARAM second, LPARAM context) {
    const auto *sort = reinterpret_cast<const SortContext *>(context);
    char a[260] = {}, b[260] = {};
    ListView_GetItemText(sort->list, static_cast<int>(first), sort->column, a, sizeof a);
    ListView_GetItemText(sort->list, static_cast<int>(second), sort->column, b, sizeof b);
    return CompareCellsFor(sort->direction, a, b);
}

}  // namespace

HINSTANCE Resources() { return reinterpret_cast<HINSTANCE>(Module().resourceInstance); }

void InitControls() {
    INITCOMMONCONTROLSEX classes{sizeof classes,
                                 ICC_LISTVIEW_CLASSES | ICC_TREEVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&classes);
}

std::string TextOf(HWND window, std::size_t limit) {
    std::string text(limit + 1, '\0');
    const int n = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

std::string ItemText(HWND dialog, int id, std::size_t limit) { return TextOf(::GetDlgItem(dialog, id), limit); }

void SetItemText(HWND dialog, int id, const std::string &text) { ::SetDlgItemTextA(dialog, id, text.c_str()); }

void ApplyUiFont(HWND control) {
    if (const platform::FontHandle font = Module().uiFont)
        ::SendMessageA(control, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
}

void SetDialogResult(HWND dialog, LRESULT result) { ::SetWindowLongPtrA(dialog, DWLP_MSGRESULT, result); }

void AddModeless(HWND window) {
    ModelessWindows().push_back(window);
    if (!modelessHook) modelessHook = ::SetWindowsHookExA(WH_MSGFILTER, ModelessFilter, nullptr, ::GetCurrentThreadId());
}

void RemoveModeless(HWND window) {
    auto &windows = ModelessWindows();
    windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
    if (windows.empty() && modelessHook) {
        ::UnhookWindowsHookEx(modelessHook);
        modelessHook = nullptr;
    }
}

void ReportList::SetColumns(const std::vector<std::string> &headers, const std::vector<int> &nominalWidths) {
    RECT frame{};
    ::GetWindowRect(list_, &frame);
    const std::vector<int> widths = ColumnWidths(nominalWidths, frame.right - frame.left);
    for (std::size_t i = 0; i < headers.size() && i < widths.size(); ++i) {
        LVCOLUMNA column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = widths[i];
        column.pszText = const_cast<char *>(headers[i].c_str());
        column.iSubItem = static_cast<int>(i);
        ::SendMessageA(list_, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

void ReportList::RemoveColumns() {
    while (ListView_DeleteColumn(list_, 0)) {
    }
}

void ReportList::SetFullRowSelect() {
    ListView_SetExtendedListViewStyleEx(list_, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
}

int ReportList::Count() const { return ListView_GetItemCount(list_); }

std::string ReportList::Text(int row, int column) const {
    char text[260] = {};
    ListView_GetItemText(list_, row, column, text, sizeof text);
    return text;
}

void ReportList::SetText(int row, int column, const std::string &text) {
    LVITEMA item{};
    item.iSubItem = column;
    item.pszText = const_cast<char *>(text.c_str());
    ::SendMessageA(list_, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int ReportList::Selected() const { return ListView_GetNextItem(list_, -1, LVNI_SELECTED); }

std::vector<int> ReportList::SelectedRows() const {
    std::vector<int> rows;
    for (int row = -1; (row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) >= 0;) rows.push_back(row);
    return rows;
}

void ReportList::Select(int row) {
    if (row < 0) return;
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(list_, row, FALSE);
}

void ReportList::BeginEdit(int row) {
    if (row < 0) return;
    ::SetFocus(list_);
    ::SendMessageA(list_, LVM_EDITLABELA, static_cast<WPARAM>(row), 0);
}

int ReportList::InsertItem(const std::vector<std::string> &cells) {
    const std::uint32_t number = NextRowNumber();
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = Count();
    item.pszText = const_cast<char *>(cells.empty() ? "" : cells[0].c_str());
    item.lParam = static_cast<LPARAM>(number);
    const int at = static_cast<int>(::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) return -1;
    for (std::size_t column = 1; column < cells.size(); ++column) SetText(at, static_cast<int>(column), cells[column]);
    numbers_.insert(numbers_.begin() + std::min<std::ptrdiff_t>(at, static_cast<std::ptrdiff_t>(numbers_.size())), number);
    return at;
}

void ReportList::RemoveItem(int row) {
    if (row < 0 || !ListView_DeleteItem(list_, row)) return;
    if (row < static_cast<int>(numbers_.size())) numbers_.erase(numbers_.begin() + row);
}

std::vector<int> ReportList::Fill(const std::vector<std::vector<std::string>> &texts) {
    ListView_DeleteAllItems(list_);
    std::vector<std::uint32_t> inserted;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const std::uint32_t number = NextRowNumber();
        inserted.push_back(number);
        LVITEMA item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char *>(texts[i].empty() ? "" : texts[i][0].c_str());
        item.lParam = static_cast<LPARAM>(number);
        const int at = static_cast<int>(::SendMessageA(list_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
        for (std::size_t column = 1; column < texts[i].size(); ++column) SetText(at, static_cast<int>(column), texts[i][column]);
    }
    return OrderOfNumbers(inserted);
}

std::vector<int> ReportList::SortItems(int column) {
    const std::vector<std::uint32_t> before = numbers_;
    SortContext context{list_, column, NextSortDirection(column)};
    ::SendMessageA(list_, LVM_SORTITEMSEX, reinterpret_cast<WPARAM>(&context), reinterpret_cast<LPARAM>(&CompareRows));
    return OrderOfNumbers(before);
}

std::vector<int> ReportList::OrderOfNumbers(const std::vector<std::uint32_t> &numbers) {
    // Where each row went: the list is read back by the running numbers the rows carry.
    std::vector<int> order;
    std::vector<std::uint32_t> now;
    const int count = Count();
    for (int row = 0; row < count; ++row) {
        LVITEMA item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        ::SendMessageA(list_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        const auto number = static_cast<std::uint32_t>(item.lParam);
        now.push_back(number);
        const auto at = std::find(numbers.begin(), numbers.end(), number);
        order.push_back(at == numbers.end() ? -1 : static_cast<int>(at - numbers.begin()));
    }
    numbers_ = now;
    return order;
}

}  // namespace wbfax::win32ui
