#include "ui/list_view.h"

#include <algorithm>
#include <array>

namespace wbfax {
namespace {

unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

}  // namespace

std::vector<int> ColumnWidths(const std::vector<int> &nominalWidths, int controlWidth) {
    std::vector<int> widths;
    int used = 0;
    for (std::size_t i = 0; i < nominalWidths.size(); ++i) {
        if (i + 1 < nominalWidths.size()) {
            widths.push_back(nominalWidths[i] * 10);
            used += widths.back();
        } else {
            widths.push_back(controlWidth - used - 5);
        }
    }
    return widths;
}

std::uint32_t NextRowNumber() {
    static std::uint32_t next = 0;
    return next++;
}

int NextSortDirection(int column) {
    static std::array<int, 32> flags{};
    if (column < 0 || column >= static_cast<int>(flags.size())) return kSortAscending;
    int &flag = flags[static_cast<std::size_t>(column)];
    flag = flag == kSortAscending ? kSortDescending : kSortAscending;
    return flag;
}

int CompareCells(std::string_view a, std::string_view b) {
    const std::size_t n = std::min({a.size(), b.size(), std::size_t{29}});
    for (std::size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

int CompareCellsFor(int direction, std::string_view a, std::string_view b) {
    const int order = CompareCells(a, b);
    return direction == kSortDescending ? -order : order;
}

bool ComesBefore(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Fold(static_cast<unsigned char>(a[i])), y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y;
    }
    return a.size() < b.size();
}

int FindText(const std::vector<std::string> &rows, std::string_view text, int skip) {
    return FindRow(rows, text, skip, [](const std::string &row) -> std::string_view { return row; });
}

}  // namespace wbfax
