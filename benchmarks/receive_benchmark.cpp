// Command 2 against the least that any program must do for the same visible effect (the
// floor): make sure the folder is there, rename the fax into it, read the rule file once and,
// when a job is written, write the job file, its body and the list entry. A sender double in
// this process takes the job messages, so nothing is forked and the run reaches a steady state.
#include "base/module.h"
#include "base/text.h"
#include "entry/entry.h"
#include "entry/startup.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "quillbox-host/description.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using wbfax::Format;

namespace {

// Box 2n + job + 1: the n-th size, with (1) or without (0) addresses to notify.
std::uint32_t BoxOf(std::int64_t rules, std::int64_t job) { return static_cast<std::uint32_t>(2 * (rules == 10 ? 0 : rules == 100 ? 1 : 2) + job + 1); }

struct Installation {
    fs::path root = fs::temp_directory_path() / ("wbfax-bench-" + std::to_string(::getpid())), data = root / "Corvane" / "Quillbox";
    std::string prefix = "wbfax-bench-" + std::to_string(::getpid()) + "-", incoming = (root / "incoming.tif").string();
    pid_t sender = -1;

    Installation() {
        fs::create_directories(data);
        fs::create_directories(root / "program");
        ::setenv("WBFAX_COMMON_APPDATA", root.c_str(), 1);
        ::setenv("WBFAX_IPC_PREFIX", prefix.c_str(), 1);
        std::ofstream(data / "wbcatch.ini", std::ios::binary) << "[PATH]\r\nCONF=" << (root / "program").string()
                                                              << "\r\n[MANAGEMENT]\r\nOverWrite=1\r\n[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=127.0.0.1\r\nADDFFILE=0\r\n";
        std::ofstream boxes(data / "qvscan_f.bin", std::ios::binary);
        for (const int size : {10, 100, 1000})
            for (const int job : {0, 1}) {
                const fs::path folder = root / ("box" + std::to_string(BoxOf(size, job)));
                fs::create_directories(folder / "Rx");
                boxes << BoxOf(size, job) << ";" << folder.string() << ";x\r\n";
                // No rule matches the benchmark's fax: a receive walks every rule and ends at the fallback.
                std::ofstream rules(data / Format("WbFaxRcv%03u.rfd", BoxOf(size, job)), std::ios::binary);
                const char *mail = job ? "a@example.org" : "";
                rules << "[FCODE]\r\n";
                for (int i = 1; i <= size; ++i) rules << Format("F%03d=Sub%d;%d;%s;pc\r\n", i, i, 1000 + i, mail);
                for (const char *section : {"TSI", "DTN"}) {
                    rules << "[" << section << "]\r\n";
                    for (int i = 1; i <= size; ++i) {
                        static const char *const forms[] = {"%d", "*%d", "%d*", "*%d*"};
                        const std::string pattern = Format(forms[i % 4], 50000 + i);
                        rules << Format("%c%03d=Num%d;%s;%s;%s;pc\r\n", section[0], i, i, pattern.c_str(), pattern.c_str(), mail);
                    }
                }
                rules << "[OTHER]\r\nOtherFile=Rx;;" << mail << ";\r\nTXFile=Tx;;;\r\n";
            }
        wbfax::ModuleStartup(wbfax::platform::ThisModule());
        // The mail sender's window in a process started once: each job message is a real
        // hand-over to another process, with no program started per fax.
        const pid_t parent = ::getpid();
        if ((sender = ::fork()) == 0) {
            const wbfax::platform::WindowHandle window = wbfax::platform::CreateMessageWindow(
                wbfax::kMailSenderClass, [](wbfax::platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 1; });
            while (::getppid() == parent) wbfax::platform::ProcessMessages(50);
            wbfax::platform::DiscardWindow(window);
            ::_exit(0);
        }
        while (!wbfax::platform::FindWindowOfClass(wbfax::kMailSenderClass)) ::usleep(1000);
    }

    ~Installation() {
        ::kill(sender, SIGTERM);
        ::waitpid(sender, nullptr, 0);
        wbfax::ModuleShutdown();
        std::error_code ignored;
        fs::remove_all(root, ignored);
        for (const auto &entry : fs::directory_iterator("/dev/shm", ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) fs::remove(entry.path(), ignored);
        fs::remove_all(wbfax::platform::GetEnvironment("XDG_RUNTIME_DIR").value_or("/tmp") + "/wbfax-windows-" + prefix, ignored);
    }

    // Before each run: a fax to take. Jobs pile up as they would in front of a sender that never
    // sends: cleared now and then, outside the timing, so that the data folder stays the same size.
    void Prepare(std::int64_t done) {
        std::ofstream(incoming, std::ios::binary).write("II*\0fax", 7);
        if (done % 1024 == 0)
            for (const auto &entry : fs::directory_iterator(data))
                if (entry.path().filename().string().find('_') == 8 || entry.path().filename() == "pfsmtp_job.pfs") fs::remove(entry.path());
    }
};

Installation &Install() {
    static Installation installation;
    return installation;
}

void BM_Receive(benchmark::State &state) {
    Installation &install = Install();
    quillbox::Description d;
    d.remoteNumber = "0312345678";
    d.subAddress = "99";
    d.adminMail = "admin@example.org";
    d.remoteName = "Sender";
    const std::vector<std::uint8_t> pristine = quillbox::BuildDescription(d);
    std::int64_t done = 0;
    for (auto _ : state) {
        state.PauseTiming();
        install.Prepare(++done);
        std::vector<std::uint8_t> block = pristine;  // the parser turns its words in place
        char path[260], remoteName[256];
        std::strcpy(path, install.incoming.c_str());
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path), reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName), BoxOf(state.range(0), state.range(1))};
        state.ResumeTiming();
        wbCatchExtExpFunc(2, &result, slots);
        benchmark::DoNotOptimize(path);
    }
    install.Prepare(0);
}
BENCHMARK(BM_Receive)->ArgsProduct({{10, 100, 1000}, {0, 1}})->ArgNames({"rules", "job"});

// The floor: the same visible effect written by hand.
void BM_Floor(benchmark::State &state) {
    Installation &install = Install();
    const std::uint32_t box = BoxOf(state.range(0), state.range(1));
    const std::string rules = (install.data / Format("WbFaxRcv%03u.rfd", box)).string();
    const std::string folder = (install.root / ("box" + std::to_string(box)) / "Rx").string(), target = folder + "/incoming.tif";
    const std::string list = (install.data / "pfsmtp_job.pfs").string(), jobText(330, 'j'), bodyText(240, 'b');
    std::vector<char> buffer(1 << 20);
    std::int64_t done = 0;
    for (auto _ : state) {
        state.PauseTiming();
        install.Prepare(++done);
        state.ResumeTiming();
        const int fd = ::open(rules.c_str(), O_RDONLY);
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        benchmark::DoNotOptimize(std::count(buffer.data(), buffer.data() + (n > 0 ? n : 0), '\n'));
        ::mkdir(folder.c_str(), 0777);
        ::rename(install.incoming.c_str(), target.c_str());
        if (state.range(1) == 0) continue;
        const std::string name = (install.data / Format("12061030_%lld", static_cast<long long>(done))).string();
        const std::string entry = "JOB_ID=0001\r\nINFO_FNAME=" + name + ".tmp\r\n\r\n";
        for (const auto &[file, text] : {std::pair{name + ".tmp", &jobText}, {name + ".001", &bodyText}, {list, &entry}}) {
            const int out = ::open(file.c_str(), O_WRONLY | O_CREAT | (file == list ? O_APPEND : O_TRUNC), 0666);
            (void)!::write(out, text->data(), text->size());
            ::close(out);
        }
    }
    install.Prepare(0);
}
BENCHMARK(BM_Floor)->ArgsProduct({{10, 100, 1000}, {0, 1}})->ArgNames({"rules", "job"});

}  // namespace

BENCHMARK_MAIN();
