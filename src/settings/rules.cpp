#include "settings/rules.h"

#include "base/services.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"

#include <algorithm>
#include <type_traits>

namespace wbfax {
namespace {

constexpr int kFirstKey = 1;
constexpr int kLastKey = 100;
constexpr const char *kAbsent = "?";

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

template <typename Rule, typename Matches>
RuleTarget Find(const std::vector<Rule> &rules, Matches &&matches) {
    for (const Rule &rule : rules)
        if (matches(rule)) {
            RuleTarget target{rule.folder, rule.notifyList, rule.code, {}};
            if constexpr (std::is_same_v<Rule, NumberRule>) target.pattern = rule.pattern;
            return target;
        }
    return {};
}

// A line "F001=value" of a numbered section; the first line of a key wins, even when its
// value is "?".
void AddNumberedKey(std::map<int, std::string> &values, std::string_view line, char letter) {
    if (line.size() < 5 || Lower(line[0]) != Lower(letter) || !IsDigit(line[1]) || !IsDigit(line[2]) ||
        !IsDigit(line[3]) || line[4] != '=')
        return;
    const int number = (line[1] - '0') * 100 + (line[2] - '0') * 10 + (line[3] - '0');
    if (number < kFirstKey || number > kLastKey) return;
    values.try_emplace(number, line.substr(5));
}

void DropAbsent(std::map<int, std::string> &values) {
    for (auto it = values.begin(); it != values.end();) it = it->second == kAbsent ? values.erase(it) : std::next(it);
}

RuleTarget OtherTarget(const std::optional<std::string> &value, int useMail) {
    if (!value || *value == kAbsent) return {};
    std::string_view rest = *value;
    RuleTarget target;
    target.folder = NextField(rest);
    NextField(rest);
    target.notifyList = NotifyListOf(rest, useMail);
    return target;
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

RuleFileValues ReadRuleFileValues(const std::string &file) {
    RuleFileValues values;
    ProfileLineReader reader(file);
    if (!reader.IsOpen()) return values;
    values.opened = true;
    struct Numbered {
        std::string_view section;
        char letter;
        std::map<int, std::string> *values;
        bool seen;
    } numbered[] = {{"FCODE", 'F', &values.subAddress, false},
                    {"TSI", 'T', &values.sender, false},
                    {"DTN", 'D', &values.destination, false}};
    constexpr int kNone = -1, kOtherSection = 3;
    bool otherSeen = false;
    int current = kNone;
    std::string_view line;
    while (reader.Next(line)) {
        if (!line.empty() && line.front() == '[') {
            // Only the first section of a name counts; a second one is never searched.
            current = kNone;
            for (int i = 0; i < 3; ++i)
                if (!numbered[i].seen && IsSectionHeader(line, numbered[i].section)) {
                    numbered[i].seen = true;
                    current = i;
                }
            if (current == kNone && !otherSeen && IsSectionHeader(line, "OTHER")) {
                otherSeen = true;
                current = kOtherSection;
            }
            continue;
        }
        if (current == kOtherSection) {
            if (!values.otherReceived && IsKeyLine(line, "OtherFile")) values.otherReceived = std::string(line.substr(10));
            else if (!values.otherSent && IsKeyLine(line, "TxFile")) values.otherSent = std::string(line.substr(7));
        } else if (current != kNone) {
            AddNumberedKey(*numbered[current].values, line, numbered[current].letter);
        }
    }
    for (const Numbered &kind : numbered) DropAbsent(*kind.values);
    return values;
}

RuleSet MakeRuleSet(const RuleFileValues &values, int useMail) {
    RuleSet rules;
    rules.exists = values.opened;
    rules.subAddress = ParseSubAddressRules(values.subAddress, useMail);
    rules.sender = ParseNumberRules(values.sender, useMail);
    rules.destination = ParseNumberRules(values.destination, useMail);
    rules.otherReceived = OtherTarget(values.otherReceived, useMail);
    rules.otherSent = OtherTarget(values.otherSent, useMail);
    return rules;
}

RuleSet ReadRuleSet(std::uint32_t box, int useMail) { return MakeRuleSet(ReadRuleFileValues(RuleFilePath(box)), useMail); }

RuleTarget FindSubAddressRule(const RuleSet &rules, std::string_view code) {
    return Find(rules.subAddress, [&](const SubAddressRule &rule) { return rule.code == code; });
}

RuleTarget FindSenderRule(const RuleSet &rules, std::string_view number) {
    return Find(rules.sender, [&](const NumberRule &rule) { return PatternMatches(rule.kind, rule.stripped, number); });
}

RuleTarget FindDestinationRule(const RuleSet &rules, std::string_view number) {
    return Find(rules.destination, [&](const NumberRule &rule) { return PatternMatches(rule.kind, rule.stripped, number); });
}

std::string SenderKey(std::string_view number) { return Without(number, " "); }
std::string DestinationKey(std::string_view number) { return Without(number, " -"); }

}  // namespace wbfax
