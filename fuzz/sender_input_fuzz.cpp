// What the sender programs read from outside: job files and job lists that other programs
// write, PC lists typed into rules, and notices from the network. None of it may crash them,
// and what they write back must hold its shape whatever came in.
#include "common/charset.h"
#include "common/job_file.h"
#include "common/job_list.h"
#include "common/notice_protocol.h"
#include "smtp/mail.h"
#include "sqb/pc_job.h"
#include "ui/error_log.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/evp.h>

#include <algorithm>
#include <fstream>
#include <iconv.h>
#include <map>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace wbfax;
using namespace wbfax::senders;

std::string Scratch(const char *extension, const std::string &bytes) {
    static const std::string folder = [] {
        char name[] = "/tmp/fuzz-senders-XXXXXX";
        return std::string(::mkdtemp(name) ? name : "/tmp");
    }();
    std::ofstream(folder + "/job" + extension, std::ios::binary) << bytes;
    return folder + "/job" + extension;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string Unbase64(std::string_view base64) {
    std::string bytes(base64.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char *>(bytes.data()), reinterpret_cast<const unsigned char *>(base64.data()),
                            static_cast<int>(base64.size()));
    if (n < 0) __builtin_trap();
    for (auto it = base64.rbegin(); it != base64.rend() && *it == '='; ++it) --n;
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
}

std::string ToUtf8From(std::string bytes, const std::string &charset) {
    iconv_t cd = ::iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) __builtin_trap();
    std::string out(bytes.size() * 4 + 16, '\0');
    char *in = bytes.data(), *to = out.data();
    std::size_t inLeft = bytes.size(), toLeft = out.size();
    if (::iconv(cd, &in, &inLeft, &to, &toLeft) == static_cast<std::size_t>(-1)) __builtin_trap();
    ::iconv(cd, nullptr, nullptr, &to, &toLeft);
    ::iconv_close(cd);
    out.resize(out.size() - toLeft);
    return out;
}

// Encoded words fold to lines of at most 76 characters, and together they decode to what the
// whole text converted at once decodes to.
void HeaderText(FuzzedDataProvider &in) {
    static const char *const charsets[] = {"ISO-2022-JP", "ISO-8859-1", "windows-1252", "UTF-8"};
    const std::string charset = charsets[in.ConsumeIntegralInRange<int>(0, 3)];
    const std::size_t used = in.ConsumeIntegralInRange<std::size_t>(0, 40);
    std::string text = in.ConsumeRemainingBytesAsString();
    const std::optional<std::string> header = EncodeHeaderText(text, charset, used);
    if (!header) return;
    for (std::size_t at = header->find_first_of("\r\n"); at != std::string::npos; at = header->find_first_of("\r\n", at + 3))
        if (header->compare(at, 3, "\r\n ") != 0) __builtin_trap();  // only folding breaks lines
    if (IsAscii(text)) return;
    // What the header stands for: the text with its control characters as blanks.
    std::replace_if(text.begin(), text.end(), IsControl, ' ');
    const std::string open = "=?" + charset + "?B?";
    std::string decoded;
    for (std::size_t at = 0, width = used, end; at < header->size(); at = end == header->size() ? end : end + 3, width = 1) {
        end = std::min(header->find("\r\n ", at), header->size());
        const std::string_view line(header->data() + at, end - at);
        if (width + line.size() > 76) __builtin_trap();
        if (line.substr(0, open.size()) != open || line.substr(line.size() - 2) != "?=") __builtin_trap();
        decoded += ToUtf8From(Unbase64(line.substr(open.size(), line.size() - open.size() - 2)), charset);
    }
    const std::optional<std::string> whole = FromUtf8(text, charset);
    if (!whole || decoded != ToUtf8From(*whole, charset)) __builtin_trap();
}

// A log line keeps its nine fields and one line end, and the error log window reads it back.
void LogLines(FuzzedDataProvider &in) {
    static const int statuses[] = {10, 11, 12, 19};
    const int status = statuses[in.ConsumeIntegralInRange<int>(0, 3)];
    const std::uint32_t codePage = in.ConsumeBool() ? 932 : 1252;
    LogTime time{in.ConsumeIntegralInRange<int>(1990, 2099), in.ConsumeIntegralInRange<int>(1, 12),
                 in.ConsumeIntegralInRange<int>(1, 31), in.ConsumeIntegralInRange<int>(0, 23),
                 in.ConsumeIntegralInRange<int>(0, 59), in.ConsumeIntegralInRange<int>(0, 59)};
    const std::string pc = in.ConsumeRandomLengthString(100);
    std::map<std::string, std::string> record;
    for (const char *key : {"RcvTime", "SenderName", "TSI", "FileName"}) record[key] = in.ConsumeRandomLengthString(300);
    const std::uint32_t job = in.ConsumeIntegralInRange<std::uint32_t>(0, 9999);
    const std::string line = LogLine(status, pc, job, time, record, in.ConsumeRemainingBytesAsString(), codePage);
    if (line.size() >= 500 || line.substr(line.size() - 2) != "\r\n") __builtin_trap();
    const std::string_view text(line.data(), line.size() - 2);
    if (text.find_first_of("\r\n") != std::string_view::npos || std::count(text.begin(), text.end(), ',') != 8) __builtin_trap();
    const std::optional<ErrorLogRow> row = ErrorLogRowOf(text, 0);
    if (row.has_value() != (status != 10)) __builtin_trap();
    if (!row) return;
    if (row->status != status || row->year != time.year || row->month != time.month || row->day != time.day ||
        row->hour != time.hour || row->minute != time.minute)
        __builtin_trap();
    if (pc.size() <= 64 && pc.find_first_of(",\r\n") == std::string::npos && row->pcAddress != pc) __builtin_trap();
}

// A job list: marking a job takes each of its entries out of the waiting ones, and nothing else,
// and keeps the file's length.
void JobList(FuzzedDataProvider &in) {
    const std::string bytes = in.ConsumeRemainingBytesAsString(), path = Scratch(".lst", bytes);
    const std::vector<ListEntry> waiting = ReadJobList(path);
    if (waiting.empty()) return;
    if (!MarkJob(path, waiting.front())) __builtin_trap();
    const std::optional<std::string> after = ReadBytes(path);
    if (!after || after->size() != bytes.size()) __builtin_trap();
    const auto same = [&](const ListEntry &e) { return e.number == waiting.front().number && e.jobFile == waiting.front().jobFile; };
    const std::vector<ListEntry> left = ReadJobList(path);
    if (std::count_if(left.begin(), left.end(), same) != 0) __builtin_trap();
    if (left.size() != waiting.size() - static_cast<std::size_t>(std::count_if(waiting.begin(), waiting.end(), same)))
        __builtin_trap();
}

void JobFiles(FuzzedDataProvider &in) {
    const std::string path = Scratch(".tmp", in.ConsumeRemainingBytesAsString());
    std::string problem;
    if (std::optional<Mail> mail = ReadMailJob(path, problem))
        if (mail->port <= 0) __builtin_trap();
    std::vector<std::string> pcs;
    if (std::optional<PcJob> job = ReadPcJob(path, pcs, problem))
        for (const auto &[key, value] : NoticeOf(*job, 7))
            if ((key + value).find_first_of("\r\n") != std::string::npos) __builtin_trap();
}

// The receiver's side of a connection that sends these bytes and hangs up; what it takes from
// the lines is checked by the notice fuzzer.
void Notices(FuzzedDataProvider &in) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) return;
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    if (::write(ends[1], bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size())) {
        ::shutdown(ends[1], SHUT_WR);
        NoticeGuard guard{"sixteen byte key", true, {}};
        ServeNotice(ends[0], guard, kNoticeVersion, 200);
    }
    ::close(ends[0]);
    ::close(ends[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: HeaderText(in); break;
    case 1: LogLines(in); break;
    case 2: JobList(in); break;
    case 3: JobFiles(in); break;
    case 4:
        if (const std::optional<PcAddress> pc = ParsePcAddress(in.ConsumeRemainingBytesAsString(), kNoticePort))
            if (pc->host.empty() || pc->port == 0) __builtin_trap();
        break;
    default: Notices(in); break;
    }
    return 0;
}
