#include "settings/profile_file.h"

#include "base/services.h"
#include "base/text.h"
#include "base/trace.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace wbfax {
namespace {


// Positions the reader after the first header of the section; false when there is none.
bool SeekSection(ProfileLineReader &reader, std::string_view section) {
    std::string_view line;
    while (reader.Next(line))
        if (IsSectionHeader(line, section)) return true;
    return false;
}

// Runs fn on every line of the section's body; fn returns true to stop.
template <typename Fn>
void ForEachSectionLine(ProfileLineReader &reader, Fn &&fn) {
    std::string_view line;
    while (reader.Next(line)) {
        if (!line.empty() && line.front() == '[') return;
        if (fn(line)) return;
    }
}

std::optional<std::string> FindKeyValue(std::string_view section, std::string_view key, const std::string &file) {
    ProfileLineReader reader(file);
    if (!reader.IsOpen() || !SeekSection(reader, section)) return std::nullopt;
    std::optional<std::string> value;
    ForEachSectionLine(reader, [&](std::string_view line) {
        if (!IsKeyLine(line, key)) return false;
        value = std::string(line.substr(key.size() + 1));
        return true;
    });
    return value;
}

}  // namespace

// Opening for reading with open access and an existing-only disposition creates nothing and
// changes no rights, so one plain read gives the same file.
ProfileLineReader::ProfileLineReader(const std::string &file) : content_(platform::ReadFileBytes(file)) {}

bool ProfileLineReader::Next(std::string_view &line) {
    if (!content_ || stopped_) return false;
    const char *data = content_->data() + at_;
    const std::size_t left = content_->size() - at_;
    const std::size_t window = std::min(left, sizeof buffer_ - 1);
    const void *lf = std::memchr(data, '\n', window);
    const std::size_t span = lf ? static_cast<std::size_t>(static_cast<const char *>(lf) - data) + 1 : window;
    // The usual line: no Ctrl-Z, and no CR but the one of a closing CR LF.
    const bool crLf = lf && span >= 2 && data[span - 2] == '\r';
    const std::size_t body = crLf ? span - 2 : span;
    std::size_t n = 0;
    if (!std::memchr(data, '\r', body) && !std::memchr(data, 0x1A, span)) {
        std::memcpy(buffer_, data, body);
        n = body;
        if (crLf) buffer_[n++] = '\n';
        at_ += span;
    } else {
        // As fgets in text mode: CR LF is one LF, a lone CR stays, Ctrl-Z ends the file.
        while (n < sizeof buffer_ - 1 && at_ < content_->size()) {
            char c = (*content_)[at_++];
            if (c == 0x1A) {
                stopped_ = true;
                break;
            }
            if (c == '\r' && at_ < content_->size() && (*content_)[at_] == '\n') {
                c = '\n';
                ++at_;
            }
            buffer_[n++] = c;
            if (c == '\n') break;
        }
    }
    if (n == 0) return false;
    // Like the C string the line reader hands on, the line ends at a NUL.
    std::string_view read(buffer_, static_cast<std::size_t>(std::find(buffer_, buffer_ + n, '\0') - buffer_));
    // The last character goes whatever it is: a line break, or the last byte of a file
    // that does not end with one.
    if (!read.empty()) read.remove_suffix(1);
    line = read;
    return true;
}

bool IsSectionHeader(std::string_view line, std::string_view section) {
    if (line.empty() || line.front() != '[') return false;
    const std::string header = "[" + std::string(section) + "]";
    return StartsWithIgnoringCase(line, header);
}

bool IsKeyLine(std::string_view line, std::string_view key) {
    return line.size() > key.size() && line[key.size()] == '=' && StartsWithIgnoringCase(line, key);
}

std::size_t ReadProfileText(std::string_view section, std::string_view key, std::string_view defaultValue,
                            std::string &out, const std::string &file) {
    if (std::optional<std::string> value = FindKeyValue(section, key, file)) {
        out = std::move(*value);
        return out.size();
    }
    out.assign(defaultValue);
    return 0;
}

std::int32_t ReadProfileNumber(std::string_view section, std::string_view key, std::int32_t defaultValue,
                               const std::string &file) {
    const std::optional<std::string> value = FindKeyValue(section, key, file);
    return value ? ParseDecimal(*value) : defaultValue;
}

std::size_t ReadSectionValues(std::string_view section, std::string_view key, const std::string &file,
                              std::vector<std::string> &values) {
    ProfileLineReader reader(file);
    if (reader.IsOpen() && SeekSection(reader, section)) {
        ForEachSectionLine(reader, [&](std::string_view line) {
            if (!line.empty()) values.emplace_back(line.substr(std::min(line.size(), key.size() + 1)));
            return false;
        });
    }
    return values.size();
}

int FindFreeKeyNumber(std::string_view section, const std::string &file) {
    ProfileLineReader reader(file);
    if (!reader.IsOpen() || !SeekSection(reader, section)) return 0;
    std::set<std::int32_t> used;
    ForEachSectionLine(reader, [&](std::string_view line) {
        if (!line.empty()) {
            const std::int32_t number = ParseDecimal(line.substr(1, 3));
            if (number != 0) used.insert(number);
        }
        return false;
    });
    int free = 1;
    while (used.count(free)) ++free;
    return free;
}

int WriteProfileText(std::string_view section, std::string_view key, const std::optional<std::string_view> &value,
                     const std::string &file) {
    if (FileLength(file) < kLargeProfileFile) {
        const std::string sectionText(section), keyText(key);
        const std::optional<std::string> valueText = value ? std::optional<std::string>(*value) : std::nullopt;
        return platform::ProfileWriteString(sectionText.c_str(), keyText.c_str(), valueText ? valueText->c_str() : nullptr,
                                            file.c_str())
                   ? 1
                   : 0;
    }

    // A large file that cannot be read is left alone rather than rewritten from nothing.
    std::optional<LineList> lines = ReadAllLines(file);
    if (!lines) return 0;
    const std::string keyLine = value ? std::string(key) + "=" + std::string(*value) : std::string();

    auto header = std::find_if(lines->begin(), lines->end(),
                               [&](const std::string &line) { return IsSectionHeader(line, section); });
    if (header == lines->end()) {
        if (!value) return 1;  // nothing to delete
        lines->push_back("[" + std::string(section) + "]");
        lines->push_back(keyLine);
        return WriteAllLines(*lines, file);
    }
    auto it = std::next(header);
    for (; it != lines->end(); ++it) {
        if (IsKeyLine(*it, key)) {
            if (value) *it = keyLine;
            else lines->erase(it);
            return WriteAllLines(*lines, file);
        }
        if (!it->empty() && it->front() == '[') break;
    }
    if (!value) return 1;
    lines->insert(it, keyLine);
    return WriteAllLines(*lines, file);
}

std::optional<LineList> ReadAllLines(const std::string &file) {
    ProfileLineReader reader(file);
    if (!reader.IsOpen()) return std::nullopt;
    LineList lines;
    std::string_view line;
    while (reader.Next(line)) lines.emplace_back(line);
    return lines;
}

int WriteAllLines(const LineList &lines, const std::string &file) {
    std::string bytes;
    for (const std::string &line : lines) {
        for (const char c : line) {
            if (c == '\n') bytes += '\r';  // text mode, as the stream wrote it
            bytes += c;
        }
        bytes += "\r\n";
    }
    // Replaced whole, so that a reader never meets half a rule file; a new one is open to
    // everyone on the systems with access lists, as the open-access create would make it.
    if (platform::ReplaceFileContent(file, bytes, OsVersionClass() >= 2)) return 1;
    TraceSystemError("writing a rule file", file);
    return 0;
}

std::int64_t FileLength(const std::string &file) { return platform::FileLength(file); }

}  // namespace wbfax

