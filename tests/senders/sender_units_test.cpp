// The sender programs' pieces that the end-to-end tests reach only by chance: marking against
// the plug-in's compaction, encoded words at their length limits, PC addresses, the log line
// as the error log window reads it back, and a receiver that never answers.
#include "common/job_list.h"
#include "common/notice_protocol.h"
#include "notification/sender.h"
#include "settings/config.h"
#include "smtp/mail.h"
#include "sqb/pc_job.h"
#include "test_support.h"
#include "ui/error_log.h"

#include <openssl/evp.h>

#include <algorithm>
#include <filesystem>
#include <iconv.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace wbfax::senders {
namespace {

using test::ReadFile;

std::vector<std::uint32_t> Numbers(const std::vector<ListEntry> &entries) {
    std::vector<std::uint32_t> numbers;
    for (const ListEntry &e : entries) numbers.push_back(e.number);
    return numbers;
}

using JobListTest = test::ScratchInstall;

TEST_F(JobListTest, MarkingIsInPlaceOnlyForThatFileAndWhatThePluginDropsWhenItTidies) {
    const std::string list = DataDir() + "/pfsmtp_job.pfs";
    const auto job = [&](int n) { return DataDir() + "/0101000" + std::to_string(n) + "_" + std::to_string(n) + ".tmp"; };
    // Job numbers come round again after 9999: the file tells two jobs of one number apart.
    for (const auto &[number, file] : {std::pair{7, 7}, {8, 8}, {9, 9}, {8, 1}})
        ASSERT_EQ(RegisterJob(static_cast<std::uint32_t>(number), job(file), NotifyMode::Mail), 1);
    test::WriteFile(list, ReadFile(list) + "JOB_ID=0006\r\nINFO_FNA");  // half written: waits
    const std::vector<ListEntry> listed = ReadJobList(list);
    ASSERT_EQ(Numbers(listed), (std::vector<std::uint32_t>{7, 8, 9, 8}));
    EXPECT_EQ(listed[1].jobFile, job(8));

    const auto size = std::filesystem::file_size(list);
    ASSERT_TRUE(MarkJob(list, listed[1]));
    EXPECT_EQ(std::filesystem::file_size(list), size);  // in place: appends are never disturbed
    EXPECT_EQ(Numbers(ReadJobList(list)), (std::vector<std::uint32_t>{7, 9, 8}));
    EXPECT_EQ(ReadJobList(list)[2].jobFile, job(1));
    EXPECT_FALSE(MarkJob(list, listed[1]));  // already marked

    CompactJobList(NotifyMode::Mail);
    const std::string tidied = ReadFile(list);
    EXPECT_EQ(tidied.find("01010008_8"), std::string::npos);
    EXPECT_EQ(tidied.find('*'), std::string::npos);
    EXPECT_EQ(Numbers(ReadJobList(list)), (std::vector<std::uint32_t>{7, 9, 8}));
}

// Decodes one encoded word back to UTF-8, on its own, as a mail reader does.
std::string DecodeWord(const std::string &word, const std::string &charset) {
    const std::string prefix = "=?" + charset + "?B?";
    EXPECT_EQ(word.compare(0, prefix.size(), prefix), 0) << word;
    EXPECT_EQ(word.substr(word.size() - 2), "?=") << word;
    const std::string b64 = word.substr(prefix.size(), word.size() - prefix.size() - 2);
    std::string bytes(b64.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char *>(bytes.data()), reinterpret_cast<const unsigned char *>(b64.data()),
                            static_cast<int>(b64.size()));
    EXPECT_GE(n, 0);
    for (auto it = b64.rbegin(); it != b64.rend() && *it == '='; ++it) --n;
    bytes.resize(static_cast<std::size_t>(std::max(n, 0)));
    iconv_t cd = ::iconv_open("UTF-8", charset.c_str());
    std::string out(bytes.size() * 4 + 16, '\0');
    char *in = bytes.data(), *o = out.data();
    std::size_t inLeft = bytes.size(), outLeft = out.size();
    EXPECT_NE(::iconv(cd, &in, &inLeft, &o, &outLeft), static_cast<std::size_t>(-1)) << word;
    ::iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

TEST(EncodedWords, FoldWithinTheLineLimitDecodeAloneAndCarryControlCharactersAsBlanks) {
    const struct {
        std::string text, charset;
        std::optional<std::string> expected;  // decoded; nullopt: refused
        int words;                            // 0: left as it is; 2: two or more
    } cases[] = {
        {"FAX Receipt Notification(fax1.tif)", "US-ASCII", "FAX Receipt Notification(fax1.tif)", 0},
        // Neither a second header nor an escape that would switch the Japanese words' character set.
        {"FAX\r\nBcc: x@example.com\t\x7F", "US-ASCII", "FAX  Bcc: x@example.com  ", 0},
        {"χ\x1B$B\x1B(Bファクス", "ISO-2022-JP", "χ $B (Bファクス", 1},
        {"FAX Übertragungsbericht(a.tif)", "ISO-8859-1", "FAX Übertragungsbericht(a.tif)", 1},
        {"FAX ファクス", "ISO-8859-1", std::nullopt, 0},
        // Code page 932's fullwidth tilde travels as the JIS wave dash.
        {"ファクス受信通知(見積～第二四半期の売上報告と来期の計画についての資料です.pdf)", "ISO-2022-JP",
         "ファクス受信通知(見積〜第二四半期の売上報告と来期の計画についての資料です.pdf)", 2},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const std::optional<std::string> header = EncodeHeaderText(c.text, c.charset, 9);
        ASSERT_EQ(header.has_value(), c.expected.has_value());
        if (!header || c.words == 0) {
            EXPECT_EQ(header, c.expected);
            continue;
        }
        std::vector<std::string> lines;
        std::size_t from = 0;
        for (std::size_t at; (at = header->find("\r\n ", from)) != std::string::npos; from = at + 3)
            lines.push_back(header->substr(from, at - from));
        lines.push_back(header->substr(from));
        EXPECT_EQ(std::min<std::size_t>(lines.size(), 2), static_cast<std::size_t>(c.words));
        std::string decoded;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size() + (i == 0 ? 9 : 1), 76u) << lines[i];
            decoded += DecodeWord(lines[i], c.charset);
        }
        EXPECT_EQ(decoded, *c.expected);
    }
}

TEST(PcAddresses, NamesAddressesAndPorts) {
    const struct {
        const char *entry, *host;
        int port;  // 0: refused
    } cases[] = {
        {"pc07", "pc07", 47820},       {" 192.168.1.7 ", "192.168.1.7", 47820}, {"pc07:48000", "pc07", 48000},
        {"[fe80::1]:48001", "fe80::1", 48001}, {"fe80::1", "fe80::1", 47820}, {"[::1]", "::1", 47820},
        {"pc07:", "", 0}, {"pc07:0", "", 0}, {"pc07:65536", "", 0}, {"pc07:4x", "", 0}, {"", "", 0}, {"[::1", "", 0},
    };
    for (const auto &c : cases) {
        const std::optional<PcAddress> pc = ParsePcAddress(c.entry, kNoticePort);
        ASSERT_EQ(pc.has_value(), c.port != 0) << c.entry;
        if (pc) {
            EXPECT_EQ(std::pair(pc->host, static_cast<int>(pc->port)), std::pair(std::string(c.host), c.port)) << c.entry;
        }
    }
}

TEST(NotificationLog, TheWindowReadsBackWhatTheNotifierWrote) {
    // A sender's name with the separator and a line break, and a file name far too long, of
    // double-byte characters in code page 932 ("ア" is 83 41).
    std::string longName = "x";
    for (int i = 0; i < 300; ++i) longName += "\x83\x41";
    longName += ".tif";
    const std::map<std::string, std::string> record = {
        {"RcvTime", "2009.01.30.14.00"}, {"SenderName", "Tanaka, Ltd.\r\nOsaka"}, {"TSI", "06 1234"}, {"FileName", longName}};
    const std::string line = LogLine(11, "PC01", 7, {2009, 1, 30, 14, 5, 22}, record, "Connection refused, twice", 932);
    ASSERT_GE(line.size(), 2u);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    EXPECT_LT(line.size(), 511u);
    EXPECT_EQ(std::count(line.begin(), line.end(), ','), 8);
    const std::optional<ErrorLogRow> row = ErrorLogRowOf(line.substr(0, line.size() - 2), 0);
    ASSERT_TRUE(row);
    EXPECT_EQ((std::vector<int>{row->status, row->year, row->month, row->day, row->hour, row->minute}),
              (std::vector<int>{11, 2009, 1, 30, 14, 5}));
    EXPECT_EQ(row->pcAddress, "PC01");
    // Cut between characters, never inside one.
    EXPECT_FALSE(row->fileName.empty());
    EXPECT_EQ((row->fileName.size() - 1) % 2, 0u);
    EXPECT_EQ(longName.compare(0, row->fileName.size(), row->fileName), 0);
    EXPECT_NE(line.find("Tanaka  Ltd.  Osaka"), std::string::npos);

    // A lead byte right before a line end or a separator is no character with it.
    const std::map<std::string, std::string> broken = {{"SenderName", "\x97\r\n\x83,x"}, {"TSI", "\x83"}};
    const std::string cut = LogLine(19, "PC\x97\n", 8, {2009, 1, 30, 14, 5, 22}, broken, "\x83\r", 932);
    EXPECT_EQ(cut.find_first_of("\r\n"), cut.size() - 2) << cut;
    EXPECT_EQ(std::count(cut.begin(), cut.end(), ','), 8);
    EXPECT_NE(cut.find(",\x97  \x83 x,\x83,"), std::string::npos);
}

TEST(NoticeProtocol, TheReceiverTakesOnlySignedFreshNewNoticesAndControlCharactersAsBlanks) {
    const std::string key = "0123456789abcdef-shared", now = "1765000000", nonce = "00112233445566778899aabbccddeeff";
    const std::int64_t t = 1765000000;
    const auto sign = [&](std::vector<std::string> lines, const std::string &withKey) {
        std::string text;
        for (const std::string &l : lines) text += l + "\r\n";
        lines.push_back("MAC: " + NoticeMac(withKey, text));
        return lines;
    };
    const Notice sent = {{"Sender", "Tanaka\rLtd\x1B[2J"}, {"File", "a\tb.tif"}};
    const std::vector<std::string> good = SignedNoticeLines(sent, key, t, nonce);
    std::vector<std::string> tampered = good, macFirst = good;
    tampered[2] = "File: invoice.exe";
    std::rotate(macFirst.begin() + 1, macFirst.end() - 1, macFirst.end());
    const struct {
        const char *what;
        std::vector<std::string> lines;
        std::int64_t now;
        bool allowUnsigned;
        const char *answer;
    } cases[] = {
        {"good", good, t, false, "OK"},
        {"good, clock 5 minutes behind", good, t - 300, false, "OK"},
        {"other key", sign({"NOTICE 2", "File: a.tif", "Time: " + now, "Nonce: " + nonce}, "another key, 16+ bytes"), t, false, "ERR MAC BAD"},
        {"a line changed", tampered, t, false, "ERR MAC BAD"},
        {"MAC not last", macFirst, t, false, "ERR MAC BAD"},
        {"no MAC", {"NOTICE 2", "File: a.tif", "Time: " + now, "Nonce: " + nonce}, t, false, "ERR MAC MISSING"},
        {"stale", good, t + 301, false, "ERR TIME"},
        {"from the future", good, t - 301, false, "ERR TIME"},
        {"no time", sign({"NOTICE 2", "File: a.tif", "Nonce: " + nonce}, key), t, false, "ERR malformed notice"},
        {"short nonce", sign({"NOTICE 2", "Time: " + now, "Nonce: 00ff"}, key), t, false, "ERR malformed notice"},
        {"version 1", {"NOTICE 1", "File: a.tif"}, t, false, "ERR VERSION 2"},
        {"version 1, allowed", {"NOTICE 1", "File: a.tif"}, t, true, "OK"},
        {"version 3", {"NOTICE 3", "File: a.tif"}, t, true, "ERR VERSION 2"},
        {"no notice", {"HELO x"}, t, true, "ERR unknown request"},
    };
    for (const auto &c : cases) {
        NoticeGuard guard{key, c.allowUnsigned, {}};
        const NoticeVerdict verdict = CheckNotice(c.lines, guard, c.now);
        EXPECT_EQ(verdict.answer, c.answer) << c.what << ": " << verdict.problem;
        EXPECT_EQ(verdict.notice.has_value(), verdict.answer == "OK") << c.what;
        EXPECT_EQ(verdict.refused, verdict.answer != "OK") << c.what;
    }

    // Over a connection: taken once, with blanks for control characters; the same bytes again are a replay.
    NoticeGuard guard{key, false, {}};
    std::string bytes;
    for (const std::string &l : SignedNoticeLines(sent, key, ::time(nullptr), nonce)) bytes += l + "\r\n";
    bytes += "\r\n";
    std::vector<std::string> answers;
    for (int round = 0; round < 2; ++round) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        const NoticeVerdict verdict = ServeNotice(ends[0], guard, kNoticeVersion, 1000);
        ::close(ends[0]);
        ::close(ends[1]);
        answers.push_back(verdict.answer);
        if (round == 0) {
            EXPECT_EQ(verdict.notice, (Notice{{"Sender", "Tanaka Ltd [2J"}, {"File", "a b.tif"}})) << verdict.problem;
        }
    }
    EXPECT_EQ(answers, (std::vector<std::string>{"OK", "ERR REPLAY"}));
}

TEST(NoticeProtocol, AReceiverThatTakesTheCallButNeverGreetsOrAnswersCountsAsNotReached) {
    std::string problem;
    const int listener = ListenOn("127.0.0.1", 0, problem);
    ASSERT_GE(listener, 0) << problem;
    const std::string name = LocalName(listener);
    const PcAddress pc{"127.0.0.1", static_cast<std::uint16_t>(std::stoi(name.substr(name.rfind(':') + 1)))};
    const std::atomic<bool> stopping{false};
    // The connection completes in the listener's backlog; nobody ever speaks.
    const NoticeResult silent = SendNotice(pc, {{"Job", "0001"}}, "sixteen byte key", 300, stopping);
    EXPECT_EQ(std::pair(static_cast<int>(silent.status), silent.detail), std::pair(static_cast<int>(kNoticeUnreachable), std::string("no greeting")));
    // One that greets, then drops the notice without an answer, is not reached either.
    std::thread receiver([&] {
        ::close(::accept(listener, nullptr, nullptr));  // the silent one's
        const int next = ::accept(listener, nullptr, nullptr);
        const char greeting[] = "QUILLBOX-NOTICE 1\r\n";
        char notice[256];
        (void)!::write(next, greeting, sizeof greeting - 1);
        (void)!::read(next, notice, sizeof notice);
        ::close(next);
    });
    const NoticeResult dropped = SendNotice(pc, {{"Job", "0001"}}, "sixteen byte key", 2000, stopping);
    receiver.join();
    ::close(listener);
    EXPECT_EQ(dropped.status, kNoticeUnreachable);
}

}  // namespace
}  // namespace wbfax::senders
