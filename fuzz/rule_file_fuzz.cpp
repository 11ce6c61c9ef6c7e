// Rule files are edited by hand and the notification log is written by another program: the
// module reads any bytes in them without reading past what it holds, small files through the
// profile functions and large ones through its own reader.
#include "settings/profile_file.h"
#include "settings/rules.h"
#include "ui/error_log.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    using namespace wbfax;
    static const std::string file = [] {
        char name[] = "/tmp/fuzz-rule-file-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd >= 0) ::close(fd);
        return std::string(name);
    }();
    std::string bytes(reinterpret_cast<const char *>(data), size);
    // A first byte of 1 modulo 8 repeats the input past the size at which the module reads on
    // its own (rarely: reading such a file is slow).
    while (size > 0 && data[0] % 8 == 1 && static_cast<std::int64_t>(bytes.size()) < kLargeProfileFile)
        bytes.append(reinterpret_cast<const char *>(data), size);
    std::ofstream(file, std::ios::binary) << bytes;

    const RuleFileValues read = ReadRuleFileValues(file);
    const RuleSet rules = MakeRuleSet(read, size > 1 ? data[1] % 2 : 1);
    for (const SubAddressRule &rule : rules.subAddress) (void)rule.folder.size();
    for (const auto *list : {&rules.sender, &rules.destination})
        for (const NumberRule &rule : *list) (void)PatternMatches(rule.kind, StrippedPattern(rule.pattern, rule.kind), "0312345678");

    // The one-pass reading sees what reading key by key sees: for the keys it found and, so
    // that a run stays fast, a few others that the input names.
    static constexpr std::pair<const char *, char> kinds[] = {{"FCODE", 'F'}, {"TSI", 'T'}, {"DTN", 'D'}};
    const std::size_t chosen = size > 1 ? data[1] % 3 : 0;
    const std::map<int, std::string> *const sections[] = {&read.subAddress, &read.sender, &read.destination};
    const std::map<int, std::string> &onePass = *sections[chosen];
    std::vector<int> asked;
    for (const auto &entry : onePass) asked.push_back(entry.first);
    for (std::size_t i = 2; i < 6 && i < size; ++i) asked.push_back(1 + data[i] % 100);
    for (const int n : asked) {
        char key[8];
        std::snprintf(key, sizeof key, "%c%03d", kinds[chosen].second, n);
        std::string value;
        ReadProfileText(kinds[chosen].first, key, "?", value, file);
        if (value.find('\n') != std::string::npos) __builtin_trap();
        const bool present = value != "?";  // "?" is no rule in either reading
        const auto found = onePass.find(n);
        if (present != (found != onePass.end()) || (present && found->second != value)) __builtin_trap();
    }
    for (const auto &[key, found] : {std::pair{"OtherFile", &read.otherReceived}, std::pair{"TxFile", &read.otherSent}}) {
        std::string value;
        const bool present = ReadProfileText("OTHER", key, "?", value, file) > 0 || value != "?";
        if (present != found->has_value() || (present && **found != value)) __builtin_trap();
    }
    std::vector<std::string> values;
    ReadSectionValues("FCODE", "F001", file, values);
    FindFreeKeyNumber("TSI", file);

    // The same bytes as the notification log the error log window lists.
    for (const ErrorLogRow &row : ReadErrorLog(file))
        if (row.status == 10 || row.pcAddress.find(',') != std::string::npos) __builtin_trap();
    return 0;
}
