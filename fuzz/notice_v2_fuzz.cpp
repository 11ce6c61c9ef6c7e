// The receiver's judgement of a notice from the network. Unsigned bytes are never taken as a
// signed notice; what the key really signed is never refused for its signature; a notice taken
// once is a replay the second time; and what is taken holds no control character.
#include "common/notice_protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

namespace {

using namespace wbfax::senders;

constexpr std::int64_t kNow = 1765000000;
const std::string kKey = "fuzzing key, sixteen bytes or more";

std::vector<std::string> Lines(const std::string &bytes) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < bytes.size() && lines.size() < 80) {
        std::size_t lf = bytes.find('\n', from);
        if (lf == std::string::npos) lf = bytes.size();
        std::string line = bytes.substr(from, lf - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;  // the notice ends at the empty line
        lines.push_back(line);
        from = lf + 1;
    }
    return lines;
}

void CheckTaken(const NoticeVerdict &verdict) {
    if (!verdict.notice) return;
    if (verdict.notice->size() > kNoticeMaxFields) __builtin_trap();
    for (const auto &[key, value] : *verdict.notice) {
        if (key.empty() || key == "MAC" || key == "Nonce") __builtin_trap();
        for (const char c : key + value)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool sign = in.ConsumeBool();
    NoticeGuard guard{kKey, in.ConsumeBool(), {}};
    const std::int64_t offset = in.ConsumeIntegralInRange<std::int64_t>(-400, 400);
    std::vector<std::string> lines = Lines(in.ConsumeRemainingBytesAsString());
    bool namesMac = false;
    if (sign) {
        // The fuzzer's lines as fields of a notice that the key really signed.
        for (const std::string &line : lines) namesMac = namesMac || line.compare(0, 5, "MAC: ") == 0;
        lines.insert(lines.begin(), "NOTICE 2");
        lines.push_back("Time: " + std::to_string(kNow + offset));
        lines.push_back("Nonce: 0123456789abcdef0123456789abcdef");
        std::string text;
        for (const std::string &line : lines) text += line + "\r\n";
        lines.push_back("MAC: " + NoticeMac(kKey, text));
    }
    const NoticeVerdict first = CheckNotice(lines, guard, kNow);
    CheckTaken(first);
    if (first.notice.has_value() != (first.answer == "OK") || first.refused == first.notice.has_value()) __builtin_trap();
    if (!sign && first.notice && !(guard.allowUnsigned && lines[0] == "NOTICE 1")) __builtin_trap();  // a forgery got through
    if (sign && !namesMac && (first.answer == "ERR MAC BAD" || first.answer == "ERR MAC MISSING") && lines.size() <= kNoticeMaxFields + 1)
        __builtin_trap();
    if (sign && first.notice && (offset < -kNoticeMaxSkewSeconds || offset > kNoticeMaxSkewSeconds)) __builtin_trap();
    const NoticeVerdict again = CheckNotice(lines, guard, kNow);
    if (first.notice && lines[0] == "NOTICE 2" && again.answer != "ERR REPLAY") __builtin_trap();
    return 0;
}
