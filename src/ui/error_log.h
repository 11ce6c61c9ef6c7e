// What the error log window shows of the notification log sqb_NTFY.log, which the PC
// notifier writes: one row per failed notice. Drawing the rows is the window's business.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

struct ErrorLogRow {
    int line = 0;  // the line's number in the file, from 0; rows are inserted at it
    int status = 0;
    std::string pcAddress;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    std::string fileName;
};

// DataFolder + "\sqb_NTFY.log".
std::string ErrorLogPath();

// The rows of the file; none when it is missing. Reading stops at a line longer than the
// window's 511 characters.
std::vector<ErrorLogRow> ReadErrorLog(std::string_view path);

// One line without its line end; none when it is not shown (a single field, or status 10).
std::optional<ErrorLogRow> ErrorLogRowOf(std::string_view line, int number);

// The string-table entry of a status text (69 for 11, 70 for 12); 0 when the text is not one.
int ErrorLogStatusStringId(int status);
// The status column's text where the string table is not at hand: "connect error",
// "version error", "error" for 19, else the code in decimal.
std::string ErrorLogStatusText(int status);

}  // namespace wbfax
