// Receivers at the same time, killed half-way or on a full disk: every fax once and whole,
// wbcatch.ini old or new with every host key, distinct job numbers.
#include "entry/entry.h"
#include "platform/platform.h"
#include "quillbox-host/description.h"
#include "ipc_scratch.h"
#include "test_support.h"

#include <array>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#if !defined(_WIN32)
#include <chrono>
#include <csignal>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace wbfax {
namespace {

namespace fs = std::filesystem;

// Counts can be raised for a long run: WBFAX_STRESS=<factor>.
int Scaled(int count) {
    const int factor = std::atoi(platform::GetEnvironment("WBFAX_STRESS").value_or("1").c_str());
    return count * (factor > 0 ? factor : 1);
}

const std::string kHostKey(3000, 'k');  // a long host value, the last key of the file

class SharedFiles : public test::IpcScratch {
protected:
    void SetUp() override {
        IpcScratch::SetUp();
        store = root + "/store", incoming = root + "/incoming";
        for (const std::string &folder : {store, incoming, DataDir()}) fs::create_directories(folder);
        // No sender program in the program folder: the jobs stay where they were written.
        ini = "[PATH]\r\nCONF=" + root + "/program\r\n[LANGUAGE]\r\nLanguage=English\r\n[MANAGEMENT]\r\nOverWrite=0\r\n"
              "[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=127.0.0.1\r\n[HOST]\r\nLast=" + kHostKey + "\r\n";
        test::WriteFile(ConfigFile(), ini);
        test::WriteFile(DataDir() + "/qvscan_f.bin", "3;" + store + ";Box\r\n");
        test::WriteFile(DataDir() + "/WbFaxRcv003.rfd", "[OTHER]\r\nOtherFile=Inbox;;a@example.org;\r\n");
    }

    // Command 2 for a fax named scan.tif whose content tells it apart.
    static void Receive(const std::string &folder, const std::string &content) { Put(folder, content), Send(folder); }
    static void Put(const std::string &folder, const std::string &content) {
        fs::create_directories(folder);
        test::WriteFile(folder + "/scan.tif", content);
    }
    static void Send(const std::string &folder) {
        quillbox::Description d;
        d.adminMail = "fax@example.org";
        std::vector<std::uint8_t> block = quillbox::BuildDescription(d);
        std::array<char, 260> path{};
        std::strncpy(path.data(), (folder + "/scan.tif").c_str(), path.size() - 1);
        std::array<char, 256> name{};
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()), reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(name.data()), 3};
        wbCatchExtExpFunc(2, &result, slots);
    }

    // Stored file contents by name.
    std::map<std::string, std::string> Stored() const {
        std::map<std::string, std::string> files;
        if (fs::exists(store + "/Inbox"))
            for (const auto &entry : fs::directory_iterator(store + "/Inbox"))
                files[entry.path().filename().string()] = test::ReadFile(entry.path().string());
        return files;
    }

    void ExpectHostKeysKept() {
        const std::string now = test::ReadFile(ConfigFile());
        for (const char *line : {"CONF=", "Language=English", "OverWrite=0", "USESMTP=1"})
            EXPECT_NE(now.find(line), std::string::npos) << line << " is gone from wbcatch.ini";
        EXPECT_NE(now.find("Last=" + kHostKey + "\r\n"), std::string::npos) << "the last host key was cut";
    }

    std::string store, incoming, ini;
};

std::string Payload(int worker, int n) { return "II*" + std::string(1, '\0') + "fax " + std::to_string(worker) + "/" + std::to_string(n); }

// Same-named faxes from threads and from processes: each is stored once, under its own
// number, with a job number of its own, and wbcatch.ini keeps every key of the host.
TEST_F(SharedFiles, ReceiversAtTheSameTimeLoseNothing) {
    const int workers = 4, each = Scaled(12);
    auto work = [&](int w) {
        for (int n = 0; n < each; ++n) Receive(incoming + "/" + std::to_string(w) + "-" + std::to_string(n), Payload(w, n));
    };
    std::vector<std::thread> threads;
    for (int w = 0; w < workers; ++w) threads.emplace_back(work, w);
    for (std::thread &thread : threads) thread.join();
    int kinds = 1;
#if !defined(_WIN32)
    std::vector<pid_t> children;
    for (int w = workers; w < 2 * workers; ++w)
        if ((children.emplace_back(::fork())) == 0) work(w), ::_exit(0);
    for (const pid_t child : children) {
        int status = 0;
        EXPECT_TRUE(child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    kinds = 2;
#endif
    std::set<std::string> sent, contents;
    for (int w = 0; w < kinds * workers; ++w)
        for (int n = 0; n < each; ++n) sent.insert(Payload(w, n));
    for (const auto &[name, content] : Stored()) contents.insert(content);
    EXPECT_EQ(Stored().size(), sent.size()) << "a fax was lost or replaced";
    EXPECT_EQ(contents, sent);
    static const std::regex kJob(R"(\d{8}_(\d+)\.tmp)");
    std::set<unsigned long> jobNumbers;
    for (const auto &entry : fs::directory_iterator(DataDir())) {
        std::smatch m;
        const std::string name = entry.path().filename().string();
        if (std::regex_match(name, m, kJob)) jobNumbers.insert(std::stoul(m[1]));
    }
    EXPECT_EQ(jobNumbers.size(), sent.size()) << "two faxes shared a job number";
    ExpectHostKeysKept();
}

#if !defined(_WIN32)
// Runs work in a child process that is killed after the delay; true when it finished first.
bool RunKilledAfter(const std::function<void()> &work, std::chrono::microseconds delay) {
    const pid_t child = ::fork();
    if (child == 0) work(), ::_exit(0);
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child > 0 && WIFEXITED(status);
}

// A receiver killed at a random moment, with the incoming folder on this volume and on another
// one: the fax is never lost, never stored twice, never partial under a visible name, and
// wbcatch.ini is the old or the new file.
TEST_F(SharedFiles, AReceiverKilledAtAnyMomentLosesNoFax) {
    std::vector<std::string> incomingFolders = {incoming};
    const std::string otherVolume = "/dev/shm/" + prefix + "incoming";
    if (fs::create_directories(otherVolume)) incomingFolders.push_back(otherVolume);
    std::mt19937 random(12345);
    const std::string big(3 << 20, 'x');  // a copy across volumes takes a while
    int stored = 0;
    for (const std::string &folder : incomingFolders) {
        for (int trial = 0; trial < Scaled(25); ++trial) {
            SCOPED_TRACE(folder + " trial " + std::to_string(trial));
            const std::string content = Payload(trial, static_cast<int>(folder.size())) + big.substr(0, random() % big.size());
            const std::string source = folder + "/k" + std::to_string(trial);
            Put(source, content);
            RunKilledAfter([&] { Send(source); }, std::chrono::microseconds(random() % 4000));
            int copies = 0;
            for (const auto &[name, bytes] : Stored())
                if (name.rfind(".wbfax~", 0) != 0 && bytes == content) ++copies;
            const bool atSource = test::Exists(source + "/scan.tif");
            EXPECT_LE(copies, 1) << "stored twice";
            EXPECT_TRUE(copies == 1 || atSource) << "the fax is lost";
            EXPECT_TRUE(!atSource || test::ReadFile(source + "/scan.tif") == content) << "the source was changed";
            stored += copies;
            ExpectHostKeysKept();
        }
        // A move that finishes clears the staged copies of the killed ones.
        Receive(folder + "/last", "last");
        for (const auto &[name, bytes] : Stored()) EXPECT_NE(name.rfind(".wbfax~", 0), 0u) << name << " was left behind";
        fs::remove_all(store + "/Inbox");
    }
    fs::remove_all(otherVolume);
    EXPECT_GT(stored, 0) << "no receive ever finished: the kills came too early to test anything";
}

// A commit killed at any moment leaves its boxes for the next commit, which finishes them: no
// box's edit, deletion or pending setting is lost, and wbcatch.ini keeps the host's keys.
TEST_F(SharedFiles, ACommitKilledAtAnyMomentIsFinishedByTheNext) {
    auto command = [](std::int32_t number, std::uintptr_t s1, std::uintptr_t s2 = 0) {
        static const char kText[] = "", kHandler[] = "WbFaxRcvExt.dll";
        std::uintptr_t slots[6] = {0, s1, s2, s2, reinterpret_cast<std::uintptr_t>(kText),
                                   reinterpret_cast<std::uintptr_t>(kHandler)};
        std::uint32_t result = 0;
        wbCatchExtExpFunc(number, &result, slots);
    };
    const std::string rule3 = DataDir() + "/WbFaxRcv003.rfd", rule5 = DataDir() + "/WbFaxRcv005.rfd";
    std::mt19937 random(777);
    int finishedByChild = 0;
    for (int trial = 0; trial < Scaled(15); ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        test::WriteFile(ConfigFile(), ini);
        test::WriteFile(rule3, "[OTHER]\r\nOtherFile=Old;;;\r\n");
        test::WriteFile(rule5, "[OTHER]\r\nOtherFile=Five;;;\r\n");
        command(4, 1, 3);  // box 3 into editing: its work file is Work001.rfd
        const std::string work = DataDir() + "/Work001.rfd";
        ASSERT_TRUE(platform::ProfileWriteString("OTHER", "OtherFile", "New;;;", work.c_str()));
        command(5, 5);
        ASSERT_TRUE(platform::ProfileWriteString("RCVFAX", "SMTPServerWork", "new.example", ConfigFile().c_str()));

        finishedByChild += RunKilledAfter([&] { command(6, 1); }, std::chrono::microseconds(random() % 3000));

        command(6, 1);
        EXPECT_NE(test::ReadFile(rule3).find("OtherFile=New;;;"), std::string::npos) << "the edit of box 3 was lost";
        EXPECT_FALSE(test::Exists(rule5)) << "the deletion of box 5 was lost";
        const std::string now = test::ReadFile(ConfigFile());
        EXPECT_NE(now.find("SMTPServer=new.example"), std::string::npos) << "the pending server was lost";
        for (const char *left : {"wd001", "del005", "SMTPServerWork"}) EXPECT_EQ(now.find(left), std::string::npos) << left;
        ExpectHostKeysKept();
    }
    EXPECT_LT(finishedByChild, Scaled(15)) << "no commit was ever killed half-way";
}

// A full disk: a write that would grow wbcatch.ini fails and leaves it whole, and a receive
// whose job cannot be written leaves no empty job file or job list behind.
TEST_F(SharedFiles, AFullDiskCutsNoFile) {
    const std::string data = DataDir(), saved = root + "/saved";
    fs::rename(data, saved);
    fs::create_directories(data);
    if (::mount("tmpfs", data.c_str(), "tmpfs", 0, "size=64k") != 0) {
        fs::remove(data);
        fs::rename(saved, data);
        GTEST_SKIP() << "no small file system could be mounted here (needs root)";
    }
    for (const auto &entry : fs::directory_iterator(saved)) fs::copy(entry.path(), data + "/" + entry.path().filename().string());
    if (std::FILE *f = std::fopen((data + "/filler").c_str(), "wb")) {  // fills what is left
        const std::string chunk(1024, 'f');
        while (std::fwrite(chunk.data(), 1, chunk.size(), f) == chunk.size() && std::fflush(f) == 0) {
        }
        std::fclose(f);
    }
    EXPECT_FALSE(platform::ProfileWriteString("RCVFAX", "SMTPServerWork", std::string(4096, 's').c_str(), ConfigFile().c_str()));
    EXPECT_EQ(test::ReadFile(ConfigFile()), ini);

    Receive(incoming + "/full", Payload(0, 0));
    for (const auto &entry : fs::directory_iterator(data)) {
        const std::string name = entry.path().filename().string();
        if (name == "filler" || name == ".wbfax.lock") continue;
        EXPECT_GT(fs::file_size(entry.path()), 0u) << name << " was left empty";
        EXPECT_EQ(name.find(".wbfax~"), std::string::npos) << name << " was left behind";
    }
    ExpectHostKeysKept();
    ::umount2(data.c_str(), MNT_DETACH);
    fs::remove_all(data);
    fs::rename(saved, data);
}
#endif

}  // namespace
}  // namespace wbfax
