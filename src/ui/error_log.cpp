#include "ui/error_log.h"

#include "platform/platform.h"
#include "settings/config.h"

#include <climits>

namespace wbfax {
namespace {

constexpr int kLineBuffer = 512;  // 511 characters and the terminating NUL

// The leading decimal digits; none read as 0.
int LeadingNumber(std::string_view text) {
    long long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
        const std::size_t at = text.find(separator, from);
        fields.push_back(text.substr(from, at == std::string_view::npos ? std::string_view::npos : at - from));
        if (at == std::string_view::npos) return fields;
        from = at + 1;
    }
}

}  // namespace

std::string ErrorLogPath() { return DataFolder() + "\\sqb_NTFY.log"; }

std::optional<ErrorLogRow> ErrorLogRowOf(std::string_view line, int number) {
    const std::vector<std::string_view> fields = Split(line, ',');
    if (fields.size() < 2) return std::nullopt;
    ErrorLogRow row;
    row.line = number;
    row.status = LeadingNumber(fields[0]);
    if (row.status == 10) return std::nullopt;  // delivered
    row.pcAddress = std::string(fields[1]);
    if (fields.size() > 3) {
        const std::vector<std::string_view> parts = Split(fields[3], '.');
        int *const targets[] = {&row.year, &row.month, &row.day, &row.hour, &row.minute};
        for (std::size_t i = 0; i < 5 && i < parts.size(); ++i) *targets[i] = LeadingNumber(parts[i]);
    }
    if (fields.size() > 7) row.fileName = std::string(fields[7]);
    return row;
}

std::vector<ErrorLogRow> ReadErrorLog(std::string_view path) {
    std::vector<ErrorLogRow> rows;
    platform::Stream in = platform::Stream::Open(path, "rt");
    if (!in) return rows;
    char buffer[kLineBuffer];
    bool more = in.ReadLine(buffer, sizeof buffer);
    for (int number = 0; more; ++number) {
        std::string line(buffer);
        more = in.ReadLine(buffer, sizeof buffer);
        const bool ended = !line.empty() && line.back() == '\n';
        // A line that filled the buffer without its end did not fit, unless the file ends there.
        if (!ended && more) break;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        if (std::optional<ErrorLogRow> row = ErrorLogRowOf(line, number)) rows.push_back(std::move(*row));
    }
    return rows;
}

int ErrorLogStatusStringId(int status) {
    switch (status) {
    case 11: return 69;
    case 12: return 70;
    default: return 0;
    }
}

std::string ErrorLogStatusText(int status) {
    switch (status) {
    case 11: return "connect error";
    case 12: return "version error";
    case 19: return "error";
    default: return std::to_string(status);
    }
}

}  // namespace wbfax
