// The sender programs' pieces that the end-to-end tests reach only by chance or not at all.
#include "common/job_list.h"
#include "common/notice_protocol.h"
#include "notification/sender.h"
#include "smtp/mail.h"
#include "sqb/pc_job.h"
#include "test_support.h"
#include "ui/error_log.h"

#include <algorithm>

namespace wbfax::senders {
namespace {

using JobListTest = test::ScratchInstall;

TEST_F(JobListTest, MarkingTakesOnlyThatFilesEntryAndAHalfWrittenEntryWaits) {
    const std::string list = DataDir() + "/pfsmtp_job.pfs";
    const auto job = [&](int n) { return DataDir() + "/0101000" + std::to_string(n) + "_" + std::to_string(n) + ".tmp"; };
    // Job numbers come round again after 9999: the file tells two jobs of one number apart.
    for (const auto &[number, file] : {std::pair{7, 7}, {8, 8}, {9, 9}, {8, 1}})
        ASSERT_EQ(RegisterJob(static_cast<std::uint32_t>(number), job(file), NotifyMode::Mail), 1);
    test::WriteFile(list, test::ReadFile(list) + "JOB_ID=0006\r\nINFO_FNA");
    const auto listed = [&] {
        std::vector<std::pair<std::uint32_t, std::string>> entries;
        for (const ListEntry &e : ReadJobList(list)) entries.emplace_back(e.number, e.jobFile);
        return entries;
    };
    const std::vector<ListEntry> before = ReadJobList(list);
    ASSERT_EQ(listed(), (std::vector<std::pair<std::uint32_t, std::string>>{{7, job(7)}, {8, job(8)}, {9, job(9)}, {8, job(1)}}));
    ASSERT_TRUE(MarkJob(list, before[1]));
    EXPECT_EQ(listed(), (std::vector<std::pair<std::uint32_t, std::string>>{{7, job(7)}, {9, job(9)}, {8, job(1)}}));
    EXPECT_FALSE(MarkJob(list, before[1]));  // already marked
}

TEST(EncodedWords, PlainTextStaysWithBlanksForControlCharactersAndWhatTheCharsetLacksIsRefused) {
    EXPECT_EQ(EncodeHeaderText("FAX Receipt Notification(fax1.tif)", "US-ASCII", 9), "FAX Receipt Notification(fax1.tif)");
    // Never a second header.
    EXPECT_EQ(EncodeHeaderText("FAX\r\nBcc: x@example.com\t\x7F", "US-ASCII", 9), "FAX  Bcc: x@example.com  ");
    EXPECT_EQ(EncodeHeaderText("FAX ファクス", "ISO-8859-1", 9), std::nullopt);
}

TEST(PcAddresses, NamesAddressesAndPorts) {
    const struct { const char *entry, *host; int port; } cases[] = {  // port 0: refused
        {"pc07", "pc07", 47820},       {" 192.168.1.7 ", "192.168.1.7", 47820}, {"pc07:48000", "pc07", 48000},
        {"[fe80::1]:48001", "fe80::1", 48001}, {"fe80::1", "fe80::1", 47820}, {"[::1]", "::1", 47820},
        {"pc07:", "", 0}, {"pc07:0", "", 0}, {"pc07:65536", "", 0}, {"pc07:4x", "", 0}, {"", "", 0}, {"[::1", "", 0},
    };
    for (const auto &c : cases) {
        const std::optional<PcAddress> pc = ParsePcAddress(c.entry, kNoticePort);
        EXPECT_EQ(pc ? std::pair(pc->host, int{pc->port}) : std::pair(std::string(), 0), std::pair(std::string(c.host), c.port)) << c.entry;
    }
}

TEST(NotificationLog, FieldsAreCutBetweenCharactersAndHoldNoSeparatorOrLineBreak) {
    std::string longName = "x";
    for (int i = 0; i < 300; ++i) longName += "\x83\x41";  // "ア" in code page 932
    const std::string line = LogLine(11, "PC01", 7, {2009, 1, 30, 14, 5, 22}, {{"SenderName", "Tanaka, Ltd.\r\nOsaka"}, {"FileName", longName}},
                                     "Connection refused, twice", 932);
    const std::optional<ErrorLogRow> row = ErrorLogRowOf(line.substr(0, line.size() - 2), 0);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->fileName.size() % 2, 1u);  // "x" and whole characters
    EXPECT_EQ(longName.compare(0, row->fileName.size(), row->fileName), 0);
    // A lead byte right before a line end or a separator is no character with it.
    const std::string cut =
        LogLine(19, "PC\x97\n", 8, {2009, 1, 30, 14, 5, 22}, {{"SenderName", "\x97\r\n\x83,x"}, {"TSI", "\x83"}}, "\x83\r", 932);
    EXPECT_EQ(cut.find_first_of("\r\n"), cut.size() - 2) << cut;
    EXPECT_EQ(std::count(cut.begin(), cut.end(), ','), 8);
    EXPECT_NE(cut.find(",\x97  \x83 x,\x83,"), std::string::npos);
}

TEST(NoticeProtocol, ASignedNoticeIsTakenWithinFiveMinutesWithControlCharactersAsBlanks) {
    const std::string key = "0123456789abcdef-shared";
    const std::int64_t t = 1765000000;
    const std::vector<std::string> notice =
        SignedNoticeLines({{"Sender", "Tanaka\rLtd\x1B[2J"}, {"File", "a\tb.tif"}}, key, t, "00112233445566778899aabbccddeeff");
    NoticeGuard guard{key, false, {}};
    EXPECT_EQ(CheckNotice(notice, guard, t + 301).answer, "ERR TIME");
    EXPECT_EQ(CheckNotice(notice, guard, t - 300).notice, (Notice{{"Sender", "Tanaka Ltd [2J"}, {"File", "a b.tif"}}));  // a clock behind
}

}  // namespace
}  // namespace wbfax::senders
