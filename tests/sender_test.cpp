// The hand-over to the sender programs, against the sender double started by the module: the
// status block, the job list, the start, the polls and the job message.
#include "entry/text.h"
#include "notification/notify.h"
#include "notification/sender.h"
#include "ipc_scratch.h"

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

namespace wbfax {
namespace {

namespace fs = std::filesystem;

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
        log = root + "/sender.log";
        trace = root + "/trace.log";
        test::SetEnv("WBFAX_SENDER_LOG", log.c_str());
        test::SetEnv("WBFAX_SENDER_DELAY_MS", nullptr);
        test::SetEnv("WBFAX_SENDER_HIDE", nullptr);
        test::SetEnv("WBFAX_SENDER_LINGER_MS", "500");
        test::SetEnv("WBFAX_TRACE", trace.c_str());
        fs::create_directories(root + "/program");
        fs::create_directories(root + "/store");
        fax = root + "/store/fax1.tif";
        test::WriteFile(fax, "II*\0");
    }

    void TearDown() override {
        // No double may outlive its test and write into the next one's folders.
        EXPECT_TRUE(WaitFor("stopped\n", CountOf(test::ReadFile(log), "started "))) << test::ReadFile(log);
        for (const auto &[name, value] : saved_) test::SetEnv(name.c_str(), value ? value->c_str() : nullptr);
        IpcScratch::TearDown();
    }

    void InstallDouble(const char *program) {
        const fs::path target = fs::path(root) / "program" / program;
        fs::copy_file(WBFAX_SENDER_DOUBLE_PATH, target, fs::copy_options::overwrite_existing);
        fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
    }

    int Notify() {
        return NotifyReceivedFax("admin@example.org", "to@example.org", fax, 1, "0311", 0, 0, "", "", "Sender");
    }

    // Waits, within reason, until the double's log holds the line count times.
    bool WaitFor(const std::string &line, std::size_t count) {
        for (int i = 0; i < 750; ++i) {
            if (CountOf(test::ReadFile(log), line) >= count) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    std::string ListEntry(std::uint32_t job) {
        // The job file is the only .tmp file of its number in the data folder.
        for (const auto &entry : fs::directory_iterator(DataDir())) {
            const std::string name = entry.path().filename().string();
            if (std::regex_match(name, std::regex("[0-9]{8}_" + std::to_string(job) + "\\.tmp")))
                return Format("JOB_ID=%04u\r\nINFO_FNAME=%s\r\n\r\n", job, entry.path().string().c_str());
        }
        return "(no job file " + std::to_string(job) + ")";
    }

    std::string log, trace, fax;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST_F(Sender, FreshBlockStartsTheSenderAndMessagesItOnceItsWindowAppears) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\n");
    // A marked entry and an unmarked one: a fresh block compacts the list before the job goes in.
    test::WriteFile(DataDir() + "/pfsmtp_job.pfs", "*JOB_ID=0040\r\n*INFO_FNAME=x\r\n\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n");
    // Published between the second and the third poll.
    test::SetEnv("WBFAX_SENDER_DELAY_MS", "250");

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Notify(), 1);
    const auto took = std::chrono::steady_clock::now() - before;

    const std::string list = "\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n" + ListEntry(1);
    EXPECT_EQ(ReadList(NotifyMode::Mail), list);
    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u);
    // The message came after the window and found the job already listed.
    EXPECT_NE(record.find("published\nmessage 1\n" + list + "end\n"), std::string::npos) << record;

    std::smatch count;
    const std::string traced = test::ReadFile(trace);
    ASSERT_TRUE(std::regex_search(traced, count, std::regex(" PF_SMTP\\.exe Start OK\\(New Start\\((\\d+)\\)\\)\n")))
        << traced;
    const int polls = std::stoi(count[1]);
    RecordProperty("polls_before_window", polls);
    RecordProperty("notify_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    // The window cannot be seen before 250 ms; a loaded machine may show it a poll or two late.
    EXPECT_GE(polls, 2);
    EXPECT_LE(polls, 9);
    // Every poll waits its 100 ms, and the message waits 100 ms more.
    EXPECT_GE(took, std::chrono::milliseconds(100 * (polls + 2)));

    const std::vector<std::uint8_t> block = Block(NotifyMode::Mail);
    EXPECT_EQ(StatusText(block), "COMMUNICATE");  // this notification started the sender
    EXPECT_EQ(ReadField(block.data(), kNotifierPresent), 0u);
    EXPECT_EQ(ReadField(block.data(), kNotifierWindow), 0u);
    // The sender programs find the data folder there: a path of this system.
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(block.data() + kDataFolderPath)), DataDir());
}

TEST_F(Sender, RunningSenderIsSignalledWithoutAStartOrCompaction) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\n");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");  // outlives the gap between the notifications
    ASSERT_EQ(Notify(), 1);
    ASSERT_TRUE(WaitFor("message 1\n", 1));
    ASSERT_EQ(StatusText(Block(NotifyMode::Mail)), "COMMUNICATE");

    // A line the sender marked stays while the sender runs.
    const std::string marked = "*JOB_ID=0001\r\n";
    test::WriteFile(DataDir() + "/pfsmtp_job.pfs", marked);
    EXPECT_EQ(Notify(), 1);

    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u) << record;
    EXPECT_NE(record.find("message 2\n" + marked + ListEntry(2) + "end\n"), std::string::npos) << record;
    const std::string traced = test::ReadFile(trace);
    EXPECT_EQ(CountOf(traced, "New Start("), 1u) << traced;
    EXPECT_EQ(CountOf(traced, " PF_SMTP.exe Start OK(Send Msg)\n"), 1u) << traced;
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

TEST_F(Sender, SenderThatNeverShowsItsWindowGetsNoMessageAndTheJobStaysListed) {
    InstallDouble("PF_SMTP.exe");
    WriteConfig("USESMTP=1\r\nJobID=7\r\n");
    test::SetEnv("WBFAX_SENDER_HIDE", "1");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1200");  // alive through all ten polls

    const auto before = std::chrono::steady_clock::now();
    EXPECT_EQ(Notify(), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));

    EXPECT_EQ(ReadList(NotifyMode::Mail), ListEntry(7));
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started mail\n"), 1u);
    EXPECT_EQ(CountOf(record, "message"), 0u) << record;
    EXPECT_EQ(CountOf(test::ReadFile(trace), "Start OK"), 0u);
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "COMMUNICATE");
}

TEST_F(Sender, PcNotificationStartsItsProgramEveryTime) {
    InstallDouble("PF_SQB.exe");
    WriteConfig("USESMTP=0\r\n");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");
    ASSERT_EQ(Notify(), 1);
    ASSERT_TRUE(WaitFor("message 1\n", 1));

    // The first program still runs and says so; the block is not in the "COMMUNICATE" state.
    SetBlock(NotifyMode::Pc, "CONFSET", 1, ReadField(Block(NotifyMode::Pc).data(), kSenderWindow));
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "2000");  // the second program outlives the first
    EXPECT_EQ(Notify(), 1);
    const std::uint32_t second = ReadField(Block(NotifyMode::Pc).data(), kSenderWindow);

    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started pc\n"), 2u) << record;
    EXPECT_NE(record.find("message 2\n" + ListEntry(1) + ListEntry(2) + "end\n"), std::string::npos) << record;
    EXPECT_EQ(CountOf(test::ReadFile(trace), "New Start("), 2u);
    // Mail went nowhere near its own block or list.
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "");
    EXPECT_FALSE(test::Exists(DataDir() + "/pfsmtp_job.pfs"));

    // The first program ends: the block goes on naming the second.
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    const std::vector<std::uint8_t> block = Block(NotifyMode::Pc);
    EXPECT_NE(second, 0u);
    EXPECT_EQ(ReadField(block.data(), kSenderWindow), second);
    EXPECT_EQ(ReadField(block.data(), kSenderRunning), 1u);
}

#if !defined(_WIN32)
TEST_F(Sender, BlockThatNoProgramHoldsStartsAfresh) {
    // Left by a session whose PC sender died while "in communication"; no process holds it now.
    std::vector<std::uint8_t> stale(kStatusBlockSize, 0);
    std::memcpy(stale.data(), "COMMUNICATE", 12);
    WriteField(stale.data(), kSenderRunning, 1);
    WriteField(stale.data(), kSenderWindow, 0x12345);
    test::WriteFile("/dev/shm/" + prefix + StatusBlockName(NotifyMode::Pc), std::string(stale.begin(), stale.end()));
    InstallDouble("PF_SQB.exe");
    WriteConfig("USESMTP=0\r\n");

    EXPECT_EQ(Notify(), 1);

    const std::string record = test::ReadFile(log);
    EXPECT_EQ(CountOf(record, "started pc\n"), 1u) << record;
    EXPECT_EQ(CountOf(record, "message 1\n"), 1u) << record;
}
#endif

TEST_F(Sender, ProgramThatCannotStartLeavesTheJobListed) {
    WriteConfig("USESMTP=1\r\n");  // no program in the folder
    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(test::ReadFile(trace), " PF_SMTP.exe Start Error:\n");
    EXPECT_EQ(ReadList(NotifyMode::Mail), ListEntry(1));
    // Nothing was started here, so the block is not handed to a sender.
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "CONFSET");
}

TEST_F(Sender, JobListEntriesCarryFourDigitNumbers) {
    ASSERT_EQ(RegisterJob(7, "/data/01030905_7.tmp", NotifyMode::Pc), 1);
    ASSERT_EQ(RegisterJob(9999, "/data/01030905_9999.tmp", NotifyMode::Pc), 1);
    EXPECT_EQ(ReadList(NotifyMode::Pc), "JOB_ID=0007\r\nINFO_FNAME=/data/01030905_7.tmp\r\n\r\n"
                                        "JOB_ID=9999\r\nINFO_FNAME=/data/01030905_9999.tmp\r\n\r\n");
}

TEST_F(Sender, CompactionDropsMarkedLinesOnly) {
    struct Case {
        const char *name;
        std::string before, after;
    } cases[] = {
        {"marked entry, then an unmarked one",
         "*JOB_ID=0001\r\n*INFO_FNAME=a.tmp\r\n\r\nJOB_ID=0002\r\nINFO_FNAME=b.tmp\r\n\r\n",
         "\r\nJOB_ID=0002\r\nINFO_FNAME=b.tmp\r\n\r\n"},
        {"only a marked line, no line end", "*JOB_ID=0001", ""},
        // Left as it lies, bytes the text-mode rewrite would change included.
        {"nothing marked", "JOB_ID=0003\nINFO_FNAME=c.tmp\r\r\n x*\r\n\x1a tail", "JOB_ID=0003\nINFO_FNAME=c.tmp\r\r\n x*\r\n\x1a tail"},
        // A line longer than one read is taken as several; a marked piece goes alone.
        {"long line", std::string(519, 'a') + "*b\r\nnext\r\n", std::string(519, 'a') + "next\r\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteFile(DataDir() + "/pfsqb_job.pfs", c.before);
        CompactJobList(NotifyMode::Pc);
        EXPECT_EQ(ReadList(NotifyMode::Pc), c.after);
    }
    fs::remove(DataDir() + "/pfsqb_job.pfs");
    CompactJobList(NotifyMode::Pc);
    EXPECT_FALSE(test::Exists(DataDir() + "/pfsqb_job.pfs"));
}

}  // namespace
}  // namespace wbfax
