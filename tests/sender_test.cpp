// The hand-over to the sender programs, against the sender double as the module starts it.
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
        test::SetEnv("WBFAX_SENDER_LOG", (log = root + "/sender.log").c_str());
        test::SetEnv("WBFAX_SENDER_LINGER_MS", "500");
        test::SetEnv("WBFAX_TRACE", (trace = root + "/trace.log").c_str());
        fs::create_directories(root + "/program");
        test::WriteFile(fax = root + "/fax1.tif", "II*");
    }

    void TearDown() override {
        // A double that outlives its test would write into the next one's folders.
        EXPECT_TRUE(WaitFor("stopped\n", CountOf(Log(), "started "))) << Log();
        for (const char *name : {"WBFAX_SENDER_LOG", "WBFAX_SENDER_DELAY_MS", "WBFAX_SENDER_HIDE", "WBFAX_SENDER_LINGER_MS"})
            test::SetEnv(name, nullptr);
        IpcScratch::TearDown();
    }

    // The double as the mode's program, and the configuration that picks the mode.
    void Install(NotifyMode mode, const std::string &settings = "") {
        const fs::path target = fs::path(root) / "program" / (mode == NotifyMode::Mail ? "PF_SMTP.exe" : "PF_SQB.exe");
        fs::copy_file(WBFAX_SENDER_DOUBLE_PATH, target);
        fs::permissions(target, fs::perms::owner_all, fs::perm_options::add);
        WriteConfig((mode == NotifyMode::Mail ? "USESMTP=1\r\n" : "USESMTP=0\r\n") + settings);
    }

    int Notify() { return NotifyReceivedFax("admin@example.org", "to@example.org", fax, 1, "0311", 0, 0, "", "", "X"); }
    std::string Log() { return test::ReadFile(log); }
    std::uint32_t Field(NotifyMode mode, StatusBlockField offset) { return ReadField(Block(mode).data(), offset); }

    bool WaitFor(const std::string &line, std::size_t count) {
        for (int i = 0; i < 750 && CountOf(Log(), line) < count; ++i) std::this_thread::sleep_for(milliseconds(20));
        return CountOf(Log(), line) >= count;
    }

    std::string log, trace, fax;
};

TEST_F(Sender, FreshBlockStartsTheSenderAndMessagesItOnceItsWindowAppearsARunningOneIsOnlySignalled) {
    Install(NotifyMode::Mail);
    const std::string listPath = DataDir() + "/pfsmtp_job.pfs";
    test::WriteFile(listPath, "*JOB_ID=0040\r\n*INFO_FNAME=x\r\n\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n");
    test::SetEnv("WBFAX_SENDER_DELAY_MS", "250");  // between the second and the third poll
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");  // outlives the gap between the notifications
    const Clock::time_point before = Clock::now();
    EXPECT_EQ(Notify(), 1);
    const Clock::duration took = Clock::now() - before;

    // Compacted before the job went in; the message found the job listed.
    const std::string list = "\r\nJOB_ID=0041\r\nINFO_FNAME=y\r\n\r\n" + ListEntry(1);
    EXPECT_EQ(ReadList(NotifyMode::Mail), list);
    EXPECT_NE(Log().find("published\nmessage 1\n" + list + "end\n"), std::string::npos) << Log();
    std::smatch count;
    const std::string traced = test::ReadFile(trace);
    ASSERT_TRUE(std::regex_search(traced, count, std::regex(" PF_SMTP\\.exe Start OK\\(New Start\\((\\d+)\\)\\)\n"))) << traced;
    // Not seen before 250 ms; a loaded machine may see it a poll or two late.
    const int polls = std::stoi(count[1]);
    EXPECT_TRUE(polls >= 2 && polls <= 9) << polls;
    EXPECT_GE(took, milliseconds(100 * (polls + 2)));  // each poll's wait and the one before the message
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "COMMUNICATE");

    test::WriteFile(listPath, "*JOB_ID=0001\r\n");
    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(CountOf(Log(), "started mail\n"), 1u) << Log();
    EXPECT_NE(Log().find("message 2\n*JOB_ID=0001\r\n" + ListEntry(2) + "end\n"), std::string::npos) << Log();
    EXPECT_EQ(CountOf(test::ReadFile(trace), " PF_SMTP.exe Start OK(Send Msg)\n"), 1u);
}

// The block still says a sender runs, but the sender is not to be reached: it is started again.
class StaleBlock : public Sender, public ::testing::WithParamInterface<NotifyMode> {};

TEST_P(StaleBlock, StartsTheSenderAgain) {
    Install(GetParam());
    // A mail sender without its window; a PC sender whose window went with its killed program.
    SetBlock(GetParam(), "COMMUNICATE", 1, GetParam() == NotifyMode::Mail ? 0 : 0x7654321);
    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(CountOf(Log(), GetParam() == NotifyMode::Mail ? "started mail\n" : "started pc\n"), 1u) << Log();
    EXPECT_EQ(CountOf(Log(), "message 1\n"), 1u) << Log();
}
INSTANTIATE_TEST_SUITE_P(Sender, StaleBlock, ::testing::Values(NotifyMode::Mail, NotifyMode::Pc));

TEST_F(Sender, PcNotificationStartsItsProgramEveryTime) {
    Install(NotifyMode::Pc);
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1000");
    ASSERT_EQ(Notify(), 1);
    ASSERT_TRUE(WaitFor("message 1\n", 1));
    // The first program still runs and says so, and the block is not "COMMUNICATE".
    SetBlock(NotifyMode::Pc, "CONFSET", 1, Field(NotifyMode::Pc, kSenderWindow));
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "2000");  // the second program outlives the first
    EXPECT_EQ(Notify(), 1);
    const std::uint32_t second = Field(NotifyMode::Pc, kSenderWindow);
    EXPECT_EQ(CountOf(Log(), "started pc\n"), 2u) << Log();
    EXPECT_NE(Log().find("message 2\n" + ListEntry(1) + ListEntry(2) + "end\n"), std::string::npos) << Log();
    // When the first program ends, the block goes on naming the second.
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    EXPECT_NE(second, 0u);
    EXPECT_EQ(std::pair(Field(NotifyMode::Pc, kSenderWindow), Field(NotifyMode::Pc, kSenderRunning)), std::pair(second, 1u));
}

TEST_F(Sender, JobStaysListedWhenTheProgramCannotStartOrNeverShowsItsWindow) {
    WriteConfig("USESMTP=1\r\n");  // no program in the folder yet
    EXPECT_EQ(Notify(), 1);
    EXPECT_EQ(test::ReadFile(trace), " PF_SMTP.exe Start Error:\n");
    Install(NotifyMode::Mail, "JobID=7\r\n");
    test::SetEnv("WBFAX_SENDER_HIDE", "1");
    test::SetEnv("WBFAX_SENDER_LINGER_MS", "1200");  // alive through all ten polls
    const Clock::time_point before = Clock::now();
    EXPECT_EQ(Notify(), 1);
    EXPECT_GE(Clock::now() - before, milliseconds(1000));
    EXPECT_EQ(ReadList(NotifyMode::Mail), ListEntry(1) + ListEntry(7));
    ASSERT_TRUE(WaitFor("stopped\n", 1));
    EXPECT_EQ(CountOf(Log(), "message"), 0u) << Log();
    EXPECT_EQ(CountOf(test::ReadFile(trace), "Start OK"), 0u);
    EXPECT_EQ(StatusText(Block(NotifyMode::Mail)), "COMMUNICATE");
}

}  // namespace
}  // namespace wbfax
