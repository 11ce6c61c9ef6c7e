// A box's distribution rules: which folder a document goes to and whom to notify, by
// sub-address, sender's number or destination number, with fallback entries.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

enum ConditionKind : int { kSubAddress = 0, kSenderNumber = 1, kDestinationNumber = 2, kOther = 3 };

// How a number pattern matches, in the order of precedence.
enum class PatternKind : int { Exact = 0, Ending = 1, Beginning = 2, Containing = 3 };

PatternKind KindOfPattern(std::string_view pattern);
// The pattern without the "*" that its kind implies.
std::string_view StrippedPattern(std::string_view pattern, PatternKind kind);
bool PatternMatches(PatternKind kind, std::string_view stripped, std::string_view number);

struct RuleTarget {
    std::string folder;      // relative to the box's storage folder; empty when nothing matched
    std::string notifyList;  // mail or PC addresses, joined by ","
    std::string code;
    std::string pattern;
};

struct SubAddressRule {
    int key = 0;
    std::string folder, code, notifyList;
};

struct NumberRule {
    int key = 0;
    std::string folder, code, pattern, notifyList;
    PatternKind kind = PatternKind::Exact;
    std::string stripped;
};

std::vector<SubAddressRule> ParseSubAddressRules(const std::map<int, std::string> &values, int useMail);
// Sorted so that the most specific rule comes first.
std::vector<NumberRule> ParseNumberRules(const std::map<int, std::string> &values, int useMail);

// What command 2 takes from a box's rule file, in one reading of it: the keys letter + 001 to
// 100 of the first FCODE, TSI and DTN sections (a value of "?" counts as absent) and OTHER's
// OtherFile and TxFile, each as a key-by-key reading finds it.
struct RuleFileValues {
    bool opened = false;
    std::map<int, std::string> subAddress, sender, destination;
    std::optional<std::string> otherReceived, otherSent;
};
RuleFileValues ReadRuleFileValues(const std::string &file);

// A box's rules as the choice of a rule takes them.
struct RuleSet {
    bool exists = false;  // the rule file could be read
    std::vector<SubAddressRule> subAddress;
    std::vector<NumberRule> sender, destination;
    RuleTarget otherReceived, otherSent;  // empty when not set
};
RuleSet MakeRuleSet(const RuleFileValues &values, int useMail);
RuleSet ReadRuleSet(std::uint32_t box, int useMail);

// The first matching rule; empty when none matches.
RuleTarget FindSubAddressRule(const RuleSet &rules, std::string_view code);
RuleTarget FindSenderRule(const RuleSet &rules, std::string_view number);       // blanks removed
RuleTarget FindDestinationRule(const RuleSet &rules, std::string_view number);  // blanks and hyphens removed

// A number as the look-ups compare it.
std::string SenderKey(std::string_view number);
std::string DestinationKey(std::string_view number);

}  // namespace wbfax
