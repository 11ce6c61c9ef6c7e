#include "common/sender_log.h"

#include "common/job_file.h"
#include "common/sender_program.h"
#include "base/text.h"
#include "platform/platform.h"

#include <fstream>

namespace wbfax::senders {
namespace {

// A log field: no separator, no line end, at most limit bytes without splitting a character.
std::string Field(std::string_view text, std::size_t limit, std::uint32_t codePage) {
    std::string field;
    for (std::size_t i = 0; i < text.size();) {
        // Trail bytes are 0x40 and up: a lead byte before a separator or line end stands alone.
        const bool pair = i + 1 < text.size() && platform::IsLeadByteOf(codePage, static_cast<std::uint8_t>(text[i])) &&
                          static_cast<std::uint8_t>(text[i + 1]) >= 0x40;
        const std::size_t width = pair ? 2 : 1;
        if (field.size() + width > limit) break;
        for (std::size_t k = 0; k < width; ++k) {
            const char c = text[i + k];
            field += (width == 1 && (c == ',' || c == '\r' || c == '\n')) ? ' ' : c;
        }
        i += width;
    }
    return field;
}

std::string Get(const std::map<std::string, std::string> &record, const char *key) {
    const auto it = record.find(key);
    return it == record.end() ? std::string() : it->second;
}

}  // namespace

LogTime LogTimeNow() {
    const platform::LocalTime t = platform::CurrentLocalTime();
    return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

std::string LogLine(int status, std::string_view address, std::uint32_t jobNumber, const LogTime &time,
                    const std::map<std::string, std::string> &record, std::string_view detail, std::uint32_t codePage) {
    // The window reads lines of at most 511 characters and stops at a longer one; these
    // limits keep a line below 500.
    return Format("%d,", status) + Field(address, 64, codePage) + Format(",%04u,", jobNumber) +
           Format("%04d.%02d.%02d.%02d.%02d.%02d,", time.year, time.month, time.day, time.hour, time.minute, time.second) +
           Field(Get(record, "RcvTime"), 16, codePage) + "," + Field(Get(record, "SenderName"), 64, codePage) + "," +
           Field(Get(record, "TSI"), 40, codePage) + "," + Field(Get(record, "FileName"), 200, codePage) + "," +
           Field(detail, 80, codePage) + "\r\n";
}

bool AppendSenderLog(std::string_view logName, int status, std::string_view address, std::uint32_t jobNumber,
                     const std::map<std::string, std::string> &record, std::string_view detail, std::uint32_t codePage) {
    // One write with O_APPEND: lines of parallel writers never interleave.
    return platform::AppendToFile(SenderDataFolder() + "/" + std::string(logName),
                                  LogLine(status, address, jobNumber, LogTimeNow(), record, detail, codePage));
}

bool SenderLogHas(std::string_view logName, int status, std::string_view address, std::uint32_t jobNumber,
                  const std::map<std::string, std::string> &record, std::uint32_t codePage) {
    // Lines stay below 500 bytes: the last 64 KB hold well over a hundred of them, and only they
    // are read, however long the log has grown.
    std::ifstream in(SenderDataFolder() + "/" + std::string(logName), std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    const std::streamoff from = size > 65536 ? size - 65536 : 0;
    std::string tail(static_cast<std::size_t>(size - from), '\0');
    if (!in.seekg(from) || !in.read(tail.data(), static_cast<std::streamsize>(tail.size()))) return false;
    const auto fields = [](std::string_view line) {
        std::vector<std::string_view> parts;
        for (std::size_t comma; (comma = line.find(',')) != std::string_view::npos; line.remove_prefix(comma + 1))
            parts.push_back(line.substr(0, comma));
        parts.push_back(line);
        if (parts.size() > 3) parts[3] = {};  // the time
        if (parts.size() > 8) parts.resize(8);  // what happened
        return parts;
    };
    const std::string wanted = LogLine(status, address, jobNumber, {}, record, "", codePage);
    const auto expected = fields(std::string_view(wanted).substr(0, wanted.size() - 2));
    for (const std::string &line : TextLines(tail))
        if (fields(line) == expected) return true;
    return false;
}

}  // namespace wbfax::senders
