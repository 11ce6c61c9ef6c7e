// What the report-style list views of the settings dialogs share: column widths, the row
// numbers that sorting goes by, header-click sorting and the look-up of a row.
#pragma once

#include "base/text.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

// Pixel widths: n x 10 for every column but the last, which takes the rest of the control
// less 5 pixels.
std::vector<int> ColumnWidths(const std::vector<int> &nominalWidths, int controlWidth);

// The item data of the next inserted row; one running number for every list.
std::uint32_t NextRowNumber();

enum SortDirection : int { kSortAscending = 1, kSortDescending = 2 };
// A header click: the column's flag (one set of flags for all lists) flips, starting ascending.
int NextSortDirection(int column);
// The sort comparison of two cells: their first 29 bytes as unsigned bytes, up to the first
// difference or the end of the shorter text; negative, 0 or positive.
int CompareCells(std::string_view a, std::string_view b);
int CompareCellsFor(int direction, std::string_view a, std::string_view b);

// The order the lists keep by themselves: ascending, letter case ignored.
bool ComesBefore(std::string_view a, std::string_view b);

// The first row (other than skip) whose first column equals text, letter case ignored; -1 when none.
template <typename Row, typename Column0>
int FindRow(const std::vector<Row> &rows, std::string_view text, int skip, Column0 column0) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (static_cast<int>(i) != skip && EqualsIgnoringCase(column0(rows[i]), text)) return static_cast<int>(i);
    return -1;
}
int FindText(const std::vector<std::string> &rows, std::string_view text, int skip = -1);

}  // namespace wbfax
