// The hand-over to the sender programs, against the sender double as the module starts it: the
// status block, the job list, the start, the polls and the job message.
#include "notification/notify.h"
#include "ipc_scratch.h"

#include <chrono>
#include <regex>
#include <thread>

namespace wbfax {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::size_t CountOf(const std::string &text, const std::string &needle) {
    std::size_t n = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
    return n;
}

class Sender : public test::IpcScratch {
protected:
    void SetUp() override {
        IpcScratch::SetUp();
        for (const char *name : {"WBFAX_SENDER_LOG", "WBFAX_SENDER_DELAY_MS", "WBFAX_SENDER_HIDE", "WBFAX_SENDER_LINGER_MS"})
            saved_.emplace_back(name, platform::GetEnvironment(name));
        test::SetEnv("WBFAX_SENDER_LOG", (log = root + "/sender.log").c_str());
        test::SetEnv("WBFAX_SENDER_DELAY_MS", nullptr);
        test::SetEnv("WBFAX_SENDER_HIDE", nullptr);
        test::SetEnv("WBFAX_SENDER_LINGER_MS", "500");
        test::SetEnv("WBFAX_TRACE", (trace = root + "/trace.log").c_str());
        fs::create_directories(root + "/program");
        test::WriteFile(fax = root + "/fax1.tif", "II*");
    }

    void TearDown() override {
        // A double that outlives its test would write into the next one's folders.
        EXPECT_TRUE(WaitFor("stopped\n", CountOf(test::ReadFile(log), "started "))) << test::ReadFile(log);
        for (const auto &[name, value] : saved_) test::SetEnv(name.c_str(), value ? value->c_str() : nullptr);
        IpcScratch::TearDown();
    }

    void InstallDouble(const char *program) {
        const fs::path target = fs::path(root) / "program" / program;
        fs::copy_file(WBFAX_SENDER_DOUBLE_PATH, target);
        fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
    }

    int Notify() { return NotifyReceivedFax("admin@example.org", "to@example.org", fax, 1, "0311", 0, 0, "", "", "X"); }

    bool WaitFor(const std::string &line, std::size_t count) {
        for (int i = 0; i < 750 && CountOf(test::ReadFile(log), line) < count; ++i)
            std::this_thread::sleep_for(milliseconds(20));
        return CountOf(test::ReadFile(log), line) >= count;
    }

    std::string log, trace, fax;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(Sender, FreshBlockStartsTheSenderAndMessagesItOnceItsWindowAppears) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\n");
    test::WriteFile(DataDir() + "/pfsmtp_job.pfs", "*JOB_ID=0040\r\n*INFO_FNAME=x\r\n\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n");
    test::SetEnv("WBFAX_SENDER_DELAY_MS", "250");  // between the second and the third poll

    const Clock::time_point before = Clock::now();
    EXPECT_EQ(Notify(), 1);
    const Clock::duration took = Clock::now() - before;

    // Compacted before the job went in; the message found the job listed.
    const std::string list = "\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n" + ListEntry(1);
    EXPECT_EQ(ReadList(NotifyMode::Mail), list);
    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u);
    EXPECT_NE(record.find("published\nmessage 1\n" + list + "end\n"), std::string::npos) << record;

    std::smatch count;
    const std::string traced = test::ReadFile(trace);
    ASSERT_TRUE(std::regex_search(traced, count, std::regex(" PF_SMTP\\.exe Start OK\\(New Start\\((\\d+)\\)\\)\n"))) << traced;
    const int polls = std::stoi(count[1]);
    RecordProperty("polls_before_window", polls);
    RecordProperty("notify_ms", static_cast<int>(std::chrono::duration_cast<milliseconds>(took).count()));
    // Not seen before 250 ms; a loaded machine may see it a poll or two late.
    EXPECT_GE(polls, 2);
    EXPECT_LE(polls, 9);
    EXPECT_GE(took, milliseconds(100 * (polls + 2)));  // each poll's wait and the one before the message

    const std::vector<std::uint8_t> block = Block(NotifyMode::Mail);
    EXPECT_EQ(StatusText(block), "COMMUNICATE");
    EXPECT_EQ(ReadField(block.data(), kNotifierPresent), 0u);
    EXPECT_EQ(ReadField(block.data(), kNotifierWindow), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(block.data() + kDataFolderPath)), DataDir());
}

TEST_F(Sender, RunningSenderIsSignalledWithoutAStartOrCompaction) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\n");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");  // outlives the gap between the notifications
    ASSERT_EQ(Notify(), 1);
    ASSERT_TRUE(WaitFor("message 1\n", 1));

    const std::string marked = "*JOB_ID=0001\r\n";
    test::WriteFile(DataDir() + "/pfsmtp_job.pfs", marked);
    EXPECT_EQ(Notify(), 1);

    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u) << record;
    EXPECT_NE(record.find("message 2\n" + marked + ListEntry(2) + "end\n"), std::string::npos) << record;
    EXPECT_EQ(CountOf(test::ReadFile(trace), " PF_SMTP.exe Start OK(Send Msg)\n"), 1u);
}

TEST_F(Sender, MailSenderTakenToRunWithoutItsWindowIsStartedAgain) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\n");
    SetBlock(NotifyMode::Mail, "COMMUNICATE", 1, 0);
    EXPECT_EQ(Notify(), 1);
    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u) << record;
    EXPECT_EQ(CountOf(record, "message 1\n"), 1u) << record;
}

TEST_F(Sender, PcSenderWhoseWindowIsGoneIsStartedAgain) {
    // The block still says a sender runs, but its window went with its killed program.
    InstallDouble("PF_SQB.exe");
    WriteConfig("USESMTP=0\r\n");
    SetBlock(NotifyMode::Pc, "COMMUNICATE", 1, 0x7654321);
    EXPECT_EQ(Notify(), 1);
    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started pc\n"), 1u) << record;
    EXPECT_EQ(CountOf(record, "message 1\n"), 1u) << record;
}

TEST_F(Sender, SenderThatNeverShowsItsWindowGetsNoMessageAndTheJobStaysListed) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\nJobID=7\r\n");
    test::SetEnv("WBFAX_SENDER_HIDE", "1");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1200");  // alive through all ten polls

    const Clock::time_point before = Clock::now();
    EXPECT_EQ(Notify(), 1);
    EXPECT_GE(Clock::now() - before, milliseconds(1000));

    EXPECT_EQ(ReadList(NotifyMode::Mail), ListEntry(7));
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    EXPECT_EQ(CountOf(test::ReadFile(log), "message"), 0u) << test::ReadFile(log);
    EXPECT_EQ(CountOf(test::ReadFile(trace), "Start OK"), 0u);
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "COMMUNICATE");
}

TEST_F(Sender, PcNotificationStartsItsProgramEveryTime) {
    InstallDouble("PF_SQB.exe");
    WriteConfig("USESMTP=0\r\n");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");
    ASSERT_EQ(Notify(), 1);
    ASSERT_TRUE(WaitFor("message 1\n", 1));

    // The first program still runs and says so, and the block is not "COMMUNICATE".
    SetBlock(NotifyMode::Pc, "CONFSET", 1, ReadField(Block(NotifyMode::Pc).data(), kSenderWindow));
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "2000");  // the second program outlives the first
    EXPECT_EQ(Notify(), 1);
    const std::uint32_t second = ReadField(Block(NotifyMode::Pc).data(), kSenderWindow);

    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started pc\n"), 2u) << record;
    EXPECT_NE(record.find("message 2\n" + ListEntry(1) + ListEntry(2) + "end\n"), std::string::npos) << record;
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "");
    EXPECT_FALSE(test::Exists(DataDir() + "/pfsmtp_job.pfs"));

    // When the first program ends, the block goes on naming the second.
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    const std::vector<std::uint8_t> block = Block(NotifyMode::Pc);
    EXPECT_NE(second, 0u);
    EXPECT_EQ(ReadField(block.data(), kSenderWindow), second);
    EXPECT_EQ(ReadField(block.data(), kSenderRunning), 1u);
}

#if !defined(_WIN32)
TEST_F(Sender, BlockThatNoProgramHoldsStartsAfresh) {
    // Left by a session whose PC sender died "in communication"; no process holds it any more.
    std::string stale(kStatusBlockSize, '\0');
    auto *bytes = reinterpret_cast<std::uint8_t *>(stale.data());
    std::memcpy(bytes, "COMMUNICATE", 12);
    WriteField(bytes, kSenderRunning, 1);
    WriteField(bytes, kSenderWindow, 0x12345);
    test::WriteFile("/dev/shm/" + prefix + StatusBlockName(NotifyMode::Pc), stale);
    InstallDouble("PF_SQB.exe");
    WriteConfig("USESMTP=0\r\n");

    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(CountOf(test::ReadFile(log), "started pc\n"), 1u);
    EXPECT_EQ(CountOf(test::ReadFile(log), "message 1\n"), 1u);
}
#endif

TEST_F(Sender, ProgramThatCannotStartLeavesTheJobListed) {
    WriteConfig("USESMTP=1\r\n");  // no program in the folder
    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(test::ReadFile(trace), " PF_SMTP.exe Start Error:\n");
    EXPECT_EQ(ReadList(NotifyMode::Mail), ListEntry(1));
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "CONFSET");  // nothing started here
}

TEST_F(Sender, JobListEntriesCarryFourDigitNumbers) {
    ASSERT_EQ(RegisterJob(7, "/d/01030905_7.tmp", NotifyMode::Pc), 1);
    ASSERT_EQ(RegisterJob(9999, "/d/01030905_9999.tmp", NotifyMode::Pc), 1);
    EXPECT_EQ(ReadList(NotifyMode::Pc),
              "JOB_ID=0007\r\nINFO_FNAME=/d/01030905_7.tmp\r\n\r\nJOB_ID=9999\r\nINFO_FNAME=/d/01030905_9999.tmp\r\n\r\n");
}

TEST_F(Sender, CompactionDropsMarkedLinesOnly) {
    const std::string untouched = "JOB_ID=0003\nINFO_FNAME=c.tmp\r\r\n x*\r\n\x1a tail";  // a rewrite would change it
    const std::pair<std::string, std::string> cases[] = {
        {"*JOB_ID=0001\r\n*INFO_FNAME=a.tmp\r\n\r\nJOB_ID=0002\r\nINFO_FNAME=b.tmp\r\n\r\n",
         "\r\nJOB_ID=0002\r\nINFO_FNAME=b.tmp\r\n\r\n"},
        {"*JOB_ID=0001", ""},
        {untouched, untouched},
        // A line longer than one read is taken as several; the marked piece goes with its line end.
        {std::string(519, 'a') + "*b\r\nnext\r\n", std::string(519, 'a') + "next\r\n"},
    };
    for (const auto &[before, after] : cases) {
        test::WriteFile(DataDir() + "/pfsqb_job.pfs", before);
        CompactJobList(NotifyMode::Pc);
        EXPECT_EQ(ReadList(NotifyMode::Pc), after) << before;
    }
    fs::remove(DataDir() + "/pfsqb_job.pfs");
    CompactJobList(NotifyMode::Pc);
    EXPECT_FALSE(test::Exists(DataDir() + "/pfsqb_job.pfs"));
}

}  // namespace
}  // namespace wbfax
