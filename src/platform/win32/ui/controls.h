// What the drawn settings dialogs share: texts of controls, the report-style list views kept in
// step with the rows the ui code decides on, help, the dialog font and the keyboard of the
// modeless windows.
#pragma once

#include "platform/platform.h"
#include "platform/win32/win32_internal.h"
// commdlg.h would rename the list helper FindText.
#undef FindText
#include "ui/list_view.h"

#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

namespace wbfax::win32ui {

HINSTANCE Resources();
inline platform::WindowHandle AsHandle(HWND window) { return reinterpret_cast<platform::WindowHandle>(window); }

// Registers the common control classes the templates name; once per process is enough.
void InitControls();

// The text of a control, at most limit bytes (the dialogs read through fixed buffers).
std::string TextOf(HWND window, std::size_t limit = 259);
std::string ItemText(HWND dialog, int id, std::size_t limit = 259);
void SetItemText(HWND dialog, int id, const std::string &text);

// The module's dialog font, where one was made for this system.
void ApplyUiFont(HWND control);
void SetDialogResult(HWND dialog, LRESULT result);

// Modeless windows get the dialog keys (Enter, Escape, Tab) inside the modal loops that run
// while they are open.
void AddModeless(HWND window);
void RemoveModeless(HWND window);

// A report-style list view whose rows mirror a vector of rows, in the list's own order: Show puts
// all rows in and the vector takes the order the list gave them; InsertItem and RemoveItem change
// one row and leave the others where they are (a sort the user chose stays).
class ReportList {
public:
    ReportList() = default;
    explicit ReportList(HWND list) : list_(list) {}
    HWND handle() const { return list_; }

    void SetColumns(const std::vector<std::string> &headers, const std::vector<int> &nominalWidths);
    void RemoveColumns();
    void SetFullRowSelect();

    int Count() const;
    std::string Text(int row, int column) const;
    void SetText(int row, int column, const std::string &text);
    int Selected() const;
    std::vector<int> SelectedRows() const;
    // One row put in where the list places it (a sorted list by its own rule); its index, -1 when
    // the list took none.
    int InsertItem(const std::vector<std::string> &cells);
    void RemoveItem(int row);
    // Selected and focused, scrolled into view.
    void Select(int row);
    void BeginEdit(int row);

    // Puts the rows in; rows[i] is shown as cells(rows[i]). The vector is reordered as the list
    // ordered it; the result is the new index of rows[keep] (-1 for none).
    template <typename Row, typename Cells>
    int Show(std::vector<Row> &rows, Cells cells, int keep = -1) {
        std::vector<std::vector<std::string>> texts;
        texts.reserve(rows.size());
        for (const Row &row : rows) texts.push_back(cells(row));
        const std::vector<int> order = Fill(texts);
        return Reorder(rows, order, keep);
    }

    // A click on a column header: the next direction of that column, then the rows follow.
    template <typename Row>
    void SortByColumn(std::vector<Row> &rows, int column) {
        const std::vector<int> order = SortItems(column);
        Reorder(rows, order, -1);
        if (const int selected = Selected(); selected >= 0) ListView_EnsureVisible(list_, selected, FALSE);
    }

private:
    // The insertion index of every shown row, in the list's order.
    std::vector<int> Fill(const std::vector<std::vector<std::string>> &texts);
    std::vector<int> SortItems(int column);
    std::vector<int> OrderOfNumbers(const std::vector<std::uint32_t> &numbers);

    template <typename Row>
    static int Reorder(std::vector<Row> &rows, const std::vector<int> &order, int keep) {
        if (order.size() != rows.size()) return -1;
        std::vector<Row> sorted;
        sorted.reserve(rows.size());
        int kept = -1;
        for (std::size_t i = 0; i < order.size(); ++i) {
            if (order[i] == keep) kept = static_cast<int>(i);
            sorted.push_back(std::move(rows[static_cast<std::size_t>(order[i])]));
        }
        rows = std::move(sorted);
        return kept;
    }

    HWND list_ = nullptr;
    std::vector<std::uint32_t> numbers_;  // item data of the rows, in the list's order
};

}  // namespace wbfax::win32ui
