#include "settings/rules.h"

#include "entry/services.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"

#include <algorithm>
#include <type_traits>

namespace wbfax {
namespace {

constexpr int kFirstKey = 1;
constexpr int kLastKey = 100;
constexpr const char *kAbsent = "?";

template <typename Rule>
struct RuleList {
    std::uint32_t box = 0;
    bool loaded = false;
    std::vector<Rule> rules;
};

RuleList<SubAddressRule> &SubAddressList() {
    static RuleList<SubAddressRule> list;
    return list;
}
RuleList<NumberRule> &SenderList() {
    static RuleList<NumberRule> list;
    return list;
}
RuleList<NumberRule> &DestinationList() {
    static RuleList<NumberRule> list;
    return list;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

std::string Without(std::string_view text, std::string_view removed) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (removed.find(c) == std::string_view::npos) out += c;
    return out;
}

// The last two fields of a rule: its mail list, then its PC list; a look-up uses one of them.
std::string NotifyListOf(std::string_view rest, int useMail) {
    const std::string_view mail = NextField(rest);
    const std::string_view pc = NextField(rest);
    return std::string(useMail == 1 ? mail : pc);
}

template <typename Rule>
void Load(RuleList<Rule> &list, std::uint32_t box, std::vector<Rule> rules) {
    list.box = box;
    list.loaded = true;
    list.rules = std::move(rules);
}

template <typename Rule, typename Matches>
RuleTarget Find(const RuleList<Rule> &list, std::uint32_t box, Matches &&matches) {
    if (!list.loaded || list.box != box) return {};
    for (const Rule &rule : list.rules)
        if (matches(rule)) {
            RuleTarget target{rule.folder, rule.notifyList, rule.code, {}};
            if constexpr (std::is_same_v<Rule, NumberRule>) target.pattern = rule.pattern;
            return target;
        }
    return {};
}

}  // namespace

PatternKind KindOfPattern(std::string_view p) {
    const bool leading = !p.empty() && p.front() == '*';
    const bool trailing = !p.empty() && p.back() == '*';
    if (leading && trailing) return PatternKind::Containing;
    if (leading) return PatternKind::Ending;
    if (trailing) return PatternKind::Beginning;
    return PatternKind::Exact;
}

std::string_view StrippedPattern(std::string_view p, PatternKind kind) {
    switch (kind) {
    case PatternKind::Exact: return p;
    case PatternKind::Ending: return p.substr(1);
    case PatternKind::Beginning: return p.substr(0, p.size() - 1);
    case PatternKind::Containing: return p.size() >= 2 ? p.substr(1, p.size() - 2) : std::string_view();  // "*" alone is "**"
    }
    return p;
}

bool PatternMatches(PatternKind kind, std::string_view stripped, std::string_view number) {
    switch (kind) {
    case PatternKind::Exact: return number == stripped;
    case PatternKind::Ending:
        return number.size() >= stripped.size() && number.substr(number.size() - stripped.size()) == stripped;
    case PatternKind::Beginning: return number.substr(0, stripped.size()) == stripped;
    case PatternKind::Containing: return number.find(stripped) != std::string_view::npos;
    }
    return false;
}

std::map<int, std::string> ReadNumberedKeys(const std::string &file, std::string_view section, char letter) {
    std::map<int, std::string> values;
    ProfileLineReader reader(file);
    if (!reader.IsOpen()) return values;
    std::string_view line;
    bool inSection = false;
    while (reader.Next(line)) {
        if (!line.empty() && line.front() == '[') {
            if (inSection) break;  // only the first section of the name counts
            inSection = IsSectionHeader(line, section);
            continue;
        }
        if (!inSection || line.size() < 5 || Lower(line[0]) != Lower(letter) || !IsDigit(line[1]) ||
            !IsDigit(line[2]) || !IsDigit(line[3]) || line[4] != '=')
            continue;
        const int number = (line[1] - '0') * 100 + (line[2] - '0') * 10 + (line[3] - '0');
        if (number < kFirstKey || number > kLastKey) continue;
        const std::string_view value = line.substr(5);
        // The first line of a key wins, even when its value is "?".
        values.try_emplace(number, value);
    }
    for (auto it = values.begin(); it != values.end();) it = it->second == kAbsent ? values.erase(it) : std::next(it);
    return values;
}

std::vector<SubAddressRule> ParseSubAddressRules(const std::map<int, std::string> &values, int useMail) {
    std::vector<SubAddressRule> rules;
    for (const auto &[key, value] : values) {
        std::string_view rest = value;
        SubAddressRule rule;
        rule.key = key;
        rule.folder = NextField(rest);
        rule.code = NextField(rest);
        rule.notifyList = NotifyListOf(rest, useMail);
        rules.push_back(std::move(rule));
    }
    return rules;
}

std::vector<NumberRule> ParseNumberRules(const std::map<int, std::string> &values, int useMail) {
    std::vector<NumberRule> rules;
    for (const auto &[key, value] : values) {
        std::string_view rest = value;
        NumberRule rule;
        rule.key = key;
        rule.folder = NextField(rest);
        rule.code = NextField(rest);
        rule.pattern = NextField(rest);
        rule.notifyList = NotifyListOf(rest, useMail);
        rule.kind = KindOfPattern(rule.pattern);
        rule.stripped = StrippedPattern(rule.pattern, rule.kind);
        rules.push_back(std::move(rule));
    }
    std::stable_sort(rules.begin(), rules.end(), [](const NumberRule &a, const NumberRule &b) {
        if (a.kind != b.kind) return a.kind < b.kind;
        if (a.stripped.size() != b.stripped.size()) return a.stripped.size() > b.stripped.size();
        return a.stripped < b.stripped;  // std::string compares bytes as unsigned
    });
    return rules;
}

void LoadSubAddressRules(std::uint32_t box, int useMail) {
    Load(SubAddressList(), box, ParseSubAddressRules(ReadNumberedKeys(RuleFilePath(box), "FCODE", 'F'), useMail));
}

void LoadSenderRules(std::uint32_t box, int useMail) {
    Load(SenderList(), box, ParseNumberRules(ReadNumberedKeys(RuleFilePath(box), "TSI", 'T'), useMail));
}

void LoadDestinationRules(std::uint32_t box, int useMail) {
    Load(DestinationList(), box, ParseNumberRules(ReadNumberedKeys(RuleFilePath(box), "DTN", 'D'), useMail));
}

const std::vector<SubAddressRule> &SubAddressRules() { return SubAddressList().rules; }
const std::vector<NumberRule> &SenderRules() { return SenderList().rules; }
const std::vector<NumberRule> &DestinationRules() { return DestinationList().rules; }

RuleTarget FindSubAddressRule(std::uint32_t box, std::string_view code) {
    return Find(SubAddressList(), box, [&](const SubAddressRule &rule) { return rule.code == code; });
}

RuleTarget FindSenderRule(std::uint32_t box, std::string_view number) {
    return Find(SenderList(), box,
                [&](const NumberRule &rule) { return PatternMatches(rule.kind, rule.stripped, number); });
}

RuleTarget FindDestinationRule(std::uint32_t box, std::string_view number) {
    return Find(DestinationList(), box,
                [&](const NumberRule &rule) { return PatternMatches(rule.kind, rule.stripped, number); });
}

RuleTarget GetOtherRule(std::uint32_t box, int which, int useMail) {
    std::string value;
    ReadProfileText("OTHER", which == 0 ? "TxFile" : "OtherFile", kAbsent, value, RuleFilePath(box));
    if (value == kAbsent) return {};
    std::string_view rest = value;
    RuleTarget target;
    target.folder = NextField(rest);
    NextField(rest);
    target.notifyList = NotifyListOf(rest, useMail);
    return target;
}

std::string SenderKey(std::string_view number) { return Without(number, " "); }
std::string DestinationKey(std::string_view number) { return Without(number, " -"); }

}  // namespace wbfax
