// Command 2 against the least that any program must do for the same visible effect (the
// floor): make sure the folder is there, rename the fax into it, read the rule file once and,
// when a job is written, write the job file, its body and the list entry. A sender double in
// this process takes the job messages, so nothing is forked and the run reaches a steady state.
#include "entry/entry.h"
#include "base/module.h"
#include "entry/startup.h"
#include "base/text.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "quillbox-host/description.h"

#include <benchmark/benchmark.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kSizes[] = {10, 100, 1000};

// Box 2n + job: n-th size, with (1) or without (0) addresses to notify.
std::uint32_t BoxOf(int rules, bool job) {
    int index = 0;
    while (kSizes[index] != rules) ++index;
    return static_cast<std::uint32_t>(2 * index + (job ? 1 : 0) + 1);
}

struct Installation {
    fs::path root, data;
    std::string prefix, incoming;
    pid_t sender = -1;

    Installation() {
        root = fs::temp_directory_path() / ("wbfax-bench-" + std::to_string(::getpid()));
        data = root / "Corvane" / "Quillbox";
        fs::create_directories(data);
        fs::create_directories(root / "program");
        ::setenv("WBFAX_COMMON_APPDATA", root.c_str(), 1);
        prefix = "wbfax-bench-" + std::to_string(::getpid()) + "-";
        ::setenv("WBFAX_IPC_PREFIX", prefix.c_str(), 1);
        std::ofstream(data / "wbcatch.ini", std::ios::binary)
            << "[PATH]\r\nCONF=" << (root / "program").string() << "\r\n[MANAGEMENT]\r\nOverWrite=1\r\n"
            << "[RCVFAX]\r\nUSESMTP=1\r\nSMTPServer=127.0.0.1\r\nADDFFILE=0\r\n";
        std::ofstream boxes(data / "qvscan_f.bin", std::ios::binary);
        for (const int size : kSizes)
            for (const bool job : {false, true}) {
                const std::uint32_t box = BoxOf(size, job);
                const fs::path folder = root / ("box" + std::to_string(box));
                fs::create_directories(folder / "Rx");
                boxes << box << ";" << folder.string() << ";x\r\n";
                WriteRules(data / wbfax::Format("WbFaxRcv%03u.rfd", box), size, job);
            }
        incoming = (root / "incoming.tif").string();
        wbfax::ModuleStartup(wbfax::platform::ThisModule());
        // The mail sender's window, in a process started once: the job message is a real
        // hand-over to another process, with no program started per fax.
        const pid_t parent = ::getpid();
        sender = ::fork();
        if (sender == 0) {
            const wbfax::platform::WindowHandle window = wbfax::platform::CreateMessageWindow(
                wbfax::kMailSenderClass, [](wbfax::platform::WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t { return 1; });
            while (::getppid() == parent) wbfax::platform::ProcessMessages(50);
            wbfax::platform::DiscardWindow(window);
            ::_exit(0);
        }
        while (!wbfax::platform::FindWindowOfClass(wbfax::kMailSenderClass)) ::usleep(1000);
    }

    // No rule matches the benchmark's fax: a receive walks every rule and ends at the fallback.
    static void WriteRules(const fs::path &file, int size, bool job) {
        std::ofstream rules(file, std::ios::binary);
        const char *mail = job ? "a@example.org" : "";
        rules << "[FCODE]\r\n";
        for (int i = 1; i <= size; ++i) rules << wbfax::Format("F%03d=Sub%d;%d;%s;pc\r\n", i, i, 1000 + i, mail);
        for (const char *section : {"TSI", "DTN"}) {
            rules << "[" << section << "]\r\n";
            for (int i = 1; i <= size; ++i) {
                const char *forms[] = {"%d", "*%d", "%d*", "*%d*"};
                const std::string pattern = wbfax::Format(forms[i % 4], 50000 + i);
                rules << wbfax::Format("%c%03d=Num%d;%s;%s;%s;pc\r\n", section[0], i, i, pattern.c_str(), pattern.c_str(), mail);
            }
        }
        rules << "[OTHER]\r\nOtherFile=Rx;;" << mail << ";\r\nTXFile=Tx;;;\r\n";
    }

    // Jobs pile up as they would in front of a sender that never sends: cleared now and then,
    // outside the timing, so that the data folder stays the same size.
    void ClearJobs() {
        for (const auto &entry : fs::directory_iterator(data)) {
            const std::string name = entry.path().filename().string();
            if (name.find('_') == 8 || name == "pfsmtp_job.pfs") fs::remove(entry.path());
        }
    }

    ~Installation() {
        if (sender > 0) {
            ::kill(sender, SIGTERM);
            ::waitpid(sender, nullptr, 0);
        }
        wbfax::ModuleShutdown();
        std::error_code ignored;
        fs::remove_all(root, ignored);
        for (const auto &entry : fs::directory_iterator("/dev/shm", ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) fs::remove(entry.path(), ignored);
        fs::remove_all(wbfax::platform::GetEnvironment("XDG_RUNTIME_DIR").value_or("/tmp") + "/wbfax-windows-" + prefix, ignored);
    }
};

Installation &Install() {
    static Installation installation;
    return installation;
}

void PutFax(const std::string &path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    (void)!::write(fd, "II*\0fax", 7);
    ::close(fd);
}

void BM_Receive(benchmark::State &state) {
    Installation &install = Install();
    const int size = static_cast<int>(state.range(0));
    const bool job = state.range(1) != 0;
    quillbox::Description d;
    d.remoteNumber = "0312345678";
    d.subAddress = "99";
    d.adminMail = "admin@example.org";
    d.remoteName = "Sender";
    const std::vector<std::uint8_t> pristine = quillbox::BuildDescription(d);
    std::int64_t done = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PutFax(install.incoming);
        if (++done % 1024 == 0) install.ClearJobs();
        std::vector<std::uint8_t> block = pristine;  // the parser turns its words in place
        char path[260];
        std::strcpy(path, install.incoming.c_str());
        char remoteName[256];
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path), reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName), BoxOf(size, job)};
        state.ResumeTiming();
        wbCatchExtExpFunc(2, &result, slots);
        benchmark::DoNotOptimize(path);
    }
    install.ClearJobs();
}
BENCHMARK(BM_Receive)->ArgsProduct({{10, 100, 1000}, {0, 1}})->ArgNames({"rules", "job"});

// The floor: the same visible effect written by hand.
void BM_Floor(benchmark::State &state) {
    Installation &install = Install();
    const int size = static_cast<int>(state.range(0));
    const bool job = state.range(1) != 0;
    const std::uint32_t box = BoxOf(size, job);
    const std::string rules = (install.data / wbfax::Format("WbFaxRcv%03u.rfd", box)).string();
    const std::string folder = (install.root / ("box" + std::to_string(box)) / "Rx").string();
    const std::string target = folder + "/incoming.tif";
    const std::string list = (install.data / "pfsmtp_job.pfs").string();
    const std::string jobText(330, 'j'), bodyText(240, 'b');
    std::vector<char> buffer(1 << 20);
    std::int64_t done = 0;
    for (auto _ : state) {
        state.PauseTiming();
        PutFax(install.incoming);
        if (++done % 1024 == 0) install.ClearJobs();
        state.ResumeTiming();
        const int fd = ::open(rules.c_str(), O_RDONLY);
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        ::close(fd);
        std::size_t lines = 0;
        for (const char *p = buffer.data(), *end = p + (n > 0 ? n : 0); (p = static_cast<const char *>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)))); ++p) ++lines;
        benchmark::DoNotOptimize(lines);
        ::mkdir(folder.c_str(), 0777);
        ::rename(install.incoming.c_str(), target.c_str());
        if (job) {
            const std::string name = (install.data / wbfax::Format("12061030_%lld", static_cast<long long>(done))).string();
            for (const auto &[suffix, text] : {std::pair{".tmp", &jobText}, std::pair{".001", &bodyText}}) {
                const int out = ::open((name + suffix).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
                (void)!::write(out, text->data(), text->size());
                ::close(out);
            }
            const int out = ::open(list.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
            const std::string entry = "JOB_ID=0001\r\nINFO_FNAME=" + name + ".tmp\r\n\r\n";
            (void)!::write(out, entry.data(), entry.size());
            ::close(out);
        }
    }
    install.ClearJobs();
}
BENCHMARK(BM_Floor)->ArgsProduct({{10, 100, 1000}, {0, 1}})->ArgNames({"rules", "job"});

// Prints every result and, at the end, each receive's time as a multiple of its floor.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs)
            if (run.run_type == Run::RT_Iteration) times_[run.benchmark_name()] = run.GetAdjustedRealTime();
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        std::printf("\nreceive / floor:\n");
        for (const auto &[name, time] : times_) {
            if (name.rfind("BM_Receive/", 0) != 0) continue;
            const auto floor = times_.find("BM_Floor/" + name.substr(11));
            if (floor == times_.end() || floor->second <= 0) continue;
            std::printf("  %-26s %9.1f us  floor %8.1f us  ratio %5.2f\n", name.substr(11).c_str(), time / 1000.0,
                        floor->second / 1000.0, time / floor->second);
        }
    }

private:
    std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
