// The receiver's judgement of a notice from the network. Unsigned bytes are never taken as a
// signed notice; what the key really signed is never refused for its signature; a notice taken
// once is a replay the second time; and what is taken holds no control character.
#include "common/notice_protocol.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace wbfax::senders;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    constexpr std::int64_t kNow = 1765000000;
    const std::string key = "fuzzing key, sixteen bytes or more";
    FuzzedDataProvider in(data, size);
    const bool sign = in.ConsumeBool();
    NoticeGuard guard{key, in.ConsumeBool(), {}};
    const std::int64_t offset = in.ConsumeIntegralInRange<std::int64_t>(-400, 400);
    // The lines up to the empty one that ends a notice.
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    std::vector<std::string> lines;
    for (std::size_t from = 0, lf; from < bytes.size() && lines.size() < 80; from = lf + 1) {
        lf = std::min(bytes.find('\n', from), bytes.size());
        std::string line = bytes.substr(from, lf - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) break;
        lines.push_back(line);
    }
    bool namesMac = false;
    if (sign) {  // the fuzzer's lines as fields of a notice that the key really signed
        for (const std::string &line : lines) namesMac = namesMac || line.compare(0, 5, "MAC: ") == 0;
        lines.insert(lines.begin(), "NOTICE 2");
        lines.push_back("Time: " + std::to_string(kNow + offset));
        lines.push_back("Nonce: 0123456789abcdef0123456789abcdef");
        std::string text;
        for (const std::string &line : lines) text += line + "\r\n";
        lines.push_back("MAC: " + NoticeMac(key, text));
    }
    const NoticeVerdict first = CheckNotice(lines, guard, kNow);
    if (first.notice) {
        if (first.notice->size() > kNoticeMaxFields) __builtin_trap();
        for (const auto &[name, value] : *first.notice) {
            if (name.empty() || name == "MAC" || name == "Nonce") __builtin_trap();
            for (const char c : name + value)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) __builtin_trap();
        }
    }
    if (first.notice.has_value() != (first.answer == "OK") || first.refused == first.notice.has_value()) __builtin_trap();
    if (!sign && first.notice && !(guard.allowUnsigned && lines[0] == "NOTICE 1")) __builtin_trap();  // a forgery got through
    if (sign && !namesMac && (first.answer == "ERR MAC BAD" || first.answer == "ERR MAC MISSING") && lines.size() <= kNoticeMaxFields + 1)
        __builtin_trap();
    if (sign && first.notice && (offset < -kNoticeMaxSkewSeconds || offset > kNoticeMaxSkewSeconds)) __builtin_trap();
    const NoticeVerdict again = CheckNotice(lines, guard, kNow);
    if (first.notice && lines[0] == "NOTICE 2" && again.answer != "ERR REPLAY") __builtin_trap();
    return 0;
}
