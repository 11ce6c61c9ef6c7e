// A box's distribution rules: which folder a document goes to and whom to notify, by
// sub-address, sender's number or destination number, with fallback entries.
#pragma once

#include <cstdint>
#include <map>
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

// Values of the keys letter + 001 to 100 of the section's first occurrence, by number, in one
// reading of the file; a value of "?" counts as absent.
std::map<int, std::string> ReadNumberedKeys(const std::string &file, std::string_view section, char letter);

std::vector<SubAddressRule> ParseSubAddressRules(const std::map<int, std::string> &values, int useMail);
// Sorted so that the most specific rule comes first.
std::vector<NumberRule> ParseNumberRules(const std::map<int, std::string> &values, int useMail);

// Module-wide lists, each remembering the box it was loaded for.
void LoadSubAddressRules(std::uint32_t box, int useMail);
void LoadSenderRules(std::uint32_t box, int useMail);
void LoadDestinationRules(std::uint32_t box, int useMail);
const std::vector<SubAddressRule> &SubAddressRules();
const std::vector<NumberRule> &SenderRules();
const std::vector<NumberRule> &DestinationRules();

// The first matching rule of the loaded list; empty when the list belongs to another box.
RuleTarget FindSubAddressRule(std::uint32_t box, std::string_view code);
RuleTarget FindSenderRule(std::uint32_t box, std::string_view number);       // blanks removed
RuleTarget FindDestinationRule(std::uint32_t box, std::string_view number);  // blanks and hyphens removed
// which 0: sent documents ("TxFile"), 1: received faxes ("OtherFile").
RuleTarget GetOtherRule(std::uint32_t box, int which, int useMail);

// A number as the look-ups compare it.
std::string SenderKey(std::string_view number);
std::string DestinationKey(std::string_view number);

}  // namespace wbfax
