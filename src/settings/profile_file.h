// The module's own reader and large-file writer of rule files (profile syntax, read line by
// line without trimming anything).
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

// Files below this size are written through the system's profile function.
constexpr std::int64_t kLargeProfileFile = 61440;

// The value of the key, or the default; returns the value's length, 0 when not found.
std::size_t ReadProfileText(std::string_view section, std::string_view key, std::string_view defaultValue,
                            std::string &out, const std::string &file);
std::int32_t ReadProfileNumber(std::string_view section, std::string_view key, std::int32_t defaultValue,
                               const std::string &file);
// Appends the value part of every non-empty line of the section (after length(key) + 1
// characters); returns the list's size.
std::size_t ReadSectionValues(std::string_view section, std::string_view key, const std::string &file,
                              std::vector<std::string> &values);
// The smallest key number not used in the section; 0 when the file or section is missing.
int FindFreeKeyNumber(std::string_view section, const std::string &file);
// Sets the key, or deletes it when value is none; 1 or 0.
int WriteProfileText(std::string_view section, std::string_view key, const std::optional<std::string_view> &value,
                     const std::string &file);

using LineList = std::vector<std::string>;
// Every line of the file; none when it cannot be read.
std::optional<LineList> ReadAllLines(const std::string &file);
int WriteAllLines(const LineList &lines, const std::string &file);
std::int64_t FileLength(const std::string &file);

// Reads a profile file as the module's reader sees it: lines of at most 2047 characters, each
// without its last character, in the runtime's text mode (CR LF read as LF, Ctrl-Z ends the
// file). The file is read in one go and split in memory.
class ProfileLineReader {
public:
    explicit ProfileLineReader(const std::string &file);
    // False when the file could not be opened or read.
    bool IsOpen() const { return content_.has_value(); }
    // False at the end of the file.
    bool Next(std::string_view &line);

private:
    std::optional<std::string> content_;
    std::size_t at_ = 0;
    bool stopped_ = false;  // Ctrl-Z seen
    char buffer_[2048];
};

// Section header and key line tests, letter case ignored.
bool IsSectionHeader(std::string_view line, std::string_view section);
bool IsKeyLine(std::string_view line, std::string_view key);

}  // namespace wbfax
