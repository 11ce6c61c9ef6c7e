// Command 2 on a box with 100 rules of each kind, and the two ways of reading a rule list.
#include "entry/entry.h"
#include "entry/module.h"
#include "entry/text.h"
#include "quillbox-host/description.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"
#include "settings/rules.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kBox = 1;

// A scratch installation whose box 1 has 100 rules in every section; none matches the
// benchmark's fax, so a receive walks all of them and ends at the fallback.
struct Installation {
    fs::path root;
    std::string prefix;
    std::string incoming;

    Installation() {
        root = fs::temp_directory_path() / ("wbfax-bench-" + std::to_string(::getpid()));
        const fs::path data = root / "Corvane" / "Quillbox";
        fs::create_directories(data);
        fs::create_directories(root / "box");
        ::setenv("WBFAX_COMMON_APPDATA", root.c_str(), 1);
        // The notification's status blocks and windows stay among themselves.
        prefix = "wbfax-bench-" + std::to_string(::getpid()) + "-";
        ::setenv("WBFAX_IPC_PREFIX", prefix.c_str(), 1);
        std::ofstream(data / "wbcatch.ini", std::ios::binary) << "[MANAGEMENT]\r\nOverWrite=1\r\n";
        std::ofstream(data / "qvscan_f.bin", std::ios::binary) << "1;" << (root / "box").string() << ";x\r\n";
        std::ofstream rules(data / "WbFaxRcv001.rfd", std::ios::binary);
        rules << "[FCODE]\r\n";
        for (int i = 1; i <= 100; ++i) rules << wbfax::Format("F%03d=Sub%d;%d;a%d@example.org;pc%d\r\n", i, i, 1000 + i, i, i);
        for (const char *section : {"TSI", "DTN"}) {
            rules << "[" << section << "]\r\n";
            for (int i = 1; i <= 100; ++i) {
                const char *forms[] = {"%d", "*%d", "%d*", "*%d*"};
                const std::string pattern = wbfax::Format(forms[i % 4], 50000 + i);
                rules << wbfax::Format("%c%03d=Num%d;%s;%s;n%d@example.org;pc%d\r\n", section[0], i, i, pattern.c_str(),
                                       pattern.c_str(), i, i);
            }
        }
        rules << "[OTHER]\r\nOtherFile=Rx;;other@example.org;pc\r\nTXFile=Tx;;;\r\n";
        incoming = (root / "incoming.tif").string();
        wbfax::ModuleStartup(wbfax::platform::ThisModule());
    }
    ~Installation() {
        wbfax::ModuleShutdown();
        std::error_code ignored;
        fs::remove_all(root, ignored);
        for (const auto &entry : fs::directory_iterator("/dev/shm", ignored))
            if (entry.path().filename().string().rfind(prefix, 0) == 0) fs::remove(entry.path(), ignored);
    }
};

Installation &Install() {
    static Installation installation;
    return installation;
}

void BM_ReceiveWholeFax(benchmark::State &state) {
    Installation &install = Install();
    quillbox::Description d;
    d.remoteNumber = "0312345678";
    d.subAddress = "99";
    d.adminMail = "admin@example.org";
    d.remoteName = "Sender";
    const std::vector<std::uint8_t> pristine = quillbox::BuildDescription(d);
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(install.incoming, std::ios::binary) << "II*";
        std::vector<std::uint8_t> block = pristine;  // the parser turns its words in place
        char path[260];
        std::strcpy(path, install.incoming.c_str());
        char remoteName[256];
        std::uint32_t result = 0;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path), reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName), kBox};
        state.ResumeTiming();
        wbCatchExtExpFunc(2, &result, slots);
        benchmark::DoNotOptimize(path);
    }
}
BENCHMARK(BM_ReceiveWholeFax);

void BM_LoadSenderRulesPerKey(benchmark::State &state) {
    Install();
    const std::string file = wbfax::RuleFilePath(kBox);
    for (auto _ : state) {
        std::map<int, std::string> values;
        std::string value;
        for (int key = 1; key <= 100; ++key) {
            wbfax::ReadProfileText("TSI", wbfax::Format("T%03d", key), "?", value, file);
            if (value != "?") values.emplace(key, value);
        }
        benchmark::DoNotOptimize(wbfax::ParseNumberRules(values, 1));
    }
}
BENCHMARK(BM_LoadSenderRulesPerKey);

void BM_LoadSenderRulesOnePass(benchmark::State &state) {
    Install();
    const std::string file = wbfax::RuleFilePath(kBox);
    for (auto _ : state) benchmark::DoNotOptimize(wbfax::ReadRuleSet(kBox, 1));
}
BENCHMARK(BM_LoadSenderRulesOnePass);

}  // namespace
