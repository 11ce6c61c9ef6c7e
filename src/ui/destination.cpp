#include "ui/destination.h"

#include "distribution/network_path.h"
#include "base/text.h"
#include "settings/config.h"
#include "settings/profile_file.h"
#include "ui/folder_tree.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <algorithm>

namespace wbfax {
namespace {

constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr std::string_view kMailPunctuation = "!#$%&'*+-./0123456789=@[]^_`{}\t\r\n";
constexpr std::string_view kPcPunctuation = "-.0123456789\t";
constexpr std::string_view kSubAddressSet = "0123456789";
constexpr std::string_view kSenderSet = "+ 0123456789*";
constexpr std::string_view kDestinationSet = " 0123456789*";
// Fields are read back through buffers of 64 bytes.
constexpr std::size_t kReadLimit = 63;

bool AllIn(std::string_view text, std::string_view set, std::string_view set2 = {}) {
    return std::all_of(text.begin(), text.end(),
                       [&](char c) { return set.find(c) != std::string_view::npos || set2.find(c) != std::string_view::npos; });
}

std::string Without(std::string_view text, std::string_view drop) {
    std::string out;
    for (char c : text)
        if (drop.find(c) == std::string_view::npos) out += c;
    return out;
}

// A number pattern: "*" only at either end, not "*" alone, no leading blank.
bool IsNumberPattern(std::string_view code, std::string_view set) {
    if (code.empty() || !AllIn(code, set) || code.front() == ' ') return false;
    for (std::size_t i = 1; i + 1 < code.size(); ++i)
        if (code[i] == '*') return false;
    return code.find_first_not_of('*') != std::string_view::npos;
}

}  // namespace

int CodeFieldLimit(int kind) { return kind == kDestinationNumber ? 32 : 20; }

int ReadNotifyByMail() {
    const std::int32_t pending = ReadUseSmtpWork();
    if (pending != -1) return pending != 0 ? 1 : 0;
    return ReadUseSmtp();
}

std::string InitialKeyName(int kind, const std::string &keyName, std::uint32_t editBox) {
    if (!keyName.empty() || kind == kOther) return keyName;
    int number = FindFreeKeyNumber(TraitsOf(kind).section, WorkFileOfBox(editBox));
    if (number == 0) number = 1;
    return RuleKeyName(kind, number);
}

std::vector<std::string> SplitAddressList(std::string_view text) {
    std::vector<std::string> rows;
    for (std::size_t comma; (comma = text.find(',')) != std::string_view::npos; text.remove_prefix(comma + 1))
        rows.emplace_back(text.substr(0, comma));
    if (!text.empty()) rows.emplace_back(text);
    return rows;
}

std::string JoinAddressList(const std::vector<std::string> &rows) {
    std::string joined;
    for (const std::string &row : rows) {
        if (row.empty()) continue;
        if (!joined.empty()) joined += ',';
        joined += row;
    }
    return joined;
}

void SortAddressRows(std::vector<std::string> &rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const std::string &a, const std::string &b) { return ComesBefore(a, b); });
}

int CountAddresses(const std::vector<std::string> &rows) {
    const bool hasEmpty = std::any_of(rows.begin(), rows.end(), [](const std::string &row) { return row.empty(); });
    return static_cast<int>(rows.size()) - (hasEmpty ? 1 : 0);
}

int NewAddressRefusal(const std::vector<std::string> &rows) {
    return CountAddresses(rows) >= kMaxAddresses ? kMsgTooManyAddresses : kNoMessage;
}

int BeginNewAddress(std::vector<std::string> &rows) {
    const auto empty = std::find(rows.begin(), rows.end(), std::string());
    if (empty != rows.end()) return static_cast<int>(empty - rows.begin());
    rows.emplace_back();
    return static_cast<int>(rows.size()) - 1;
}

bool IsMailAddressText(std::string_view text) {
    return text.size() <= static_cast<std::size_t>(kMailEditLimit) && AllIn(text, kLetters, kMailPunctuation);
}

bool IsPcNameText(std::string_view text) {
    return text.size() <= static_cast<std::size_t>(kPcEditLimit) && AllIn(text, kLetters, kPcPunctuation);
}

AddressCheck CheckAddressText(const std::vector<std::string> &rows, int editedRow, std::string_view text, bool mailList) {
    if (FindText(rows, text, editedRow) >= 0) return {AddressVerdict::RefusedSilently, kNoMessage};
    if (mailList) {
        if (!IsMailAddressText(text)) return {AddressVerdict::Refused, kMsgBadCharacters};
        return {};
    }
    if (!IsPcNameText(text)) return {AddressVerdict::Refused, kMsgBadPcAddress};
    if (IsThisComputer(text)) return {AddressVerdict::Refused, kMsgCannotNotify};
    return {};
}

AddressCheck CheckPickedComputer(const std::vector<std::string> &rows, std::string_view name) {
    if (FindText(rows, name) >= 0) return {AddressVerdict::RefusedSilently, kNoMessage};
    if (IsThisComputer(name)) return {AddressVerdict::Refused, kMsgCannotNotify};
    return {};
}

int MissingCodeMessage(int kind) {
    switch (kind) {
    case kSenderNumber: return kMsgNoSenderNumber;
    case kDestinationNumber: return kMsgNoDestinationNumber;
    default: return kMsgNoSubAddress;
    }
}

int CheckCode(int kind, std::string_view code) {
    // The upper length is the field's limit, not a check: a longer code of a rule file edited
    // by hand is shown and kept.
    switch (kind) {
    case kSubAddress:
        if (!AllIn(code, kSubAddressSet)) return kMsgBadSubAddress;
        return code.size() < 4 ? kMsgSubAddressLength : kNoMessage;
    case kSenderNumber: return IsNumberPattern(code, kSenderSet) ? kNoMessage : kMsgBadSenderNumber;
    case kDestinationNumber: return IsNumberPattern(code, kDestinationSet) ? kNoMessage : kMsgBadDestinationNumber;
    default: return kNoMessage;
    }
}

int CheckTypedCode(int kind, std::string_view code) {
    if (kind != kOther && code.size() > static_cast<std::size_t>(CodeFieldLimit(kind)))
        return kind == kSubAddress ? kMsgSubAddressLength : kind == kSenderNumber ? kMsgBadSenderNumber : kMsgBadDestinationNumber;
    return kNoMessage;
}

std::optional<Refusal> CheckDestination(const DestinationForm &form) {
    if (form.code.empty()) return Refusal{MissingCodeMessage(form.kind), FormField::Code};
    if (const int message = CheckCode(form.kind, form.code); message != kNoMessage) return Refusal{message, FormField::Code};
    if (form.folderName.empty()) return Refusal{kMsgNoFolder, FormField::None};
    if (!IsValidFolderName(form.folderName)) return Refusal{kMsgBadFolderName, FormField::None};

    const std::string code = Without(form.code, " ");
    for (std::size_t i = 0; i < form.ownerRows.size(); ++i) {
        if (form.mode == DestinationMode::Change && static_cast<int>(i) == form.ownerSelected) continue;
        if (Without(form.ownerRows[i].code, " ") == code) return Refusal{kMsgDuplicate, FormField::Code};
    }
    // The root is a tree item with a name too, but not a storage folder.
    if (form.selectedFolder.empty()) return Refusal{kMsgNoFolder, FormField::None};
    return std::nullopt;
}

std::string RuleValue(int kind, const std::string &folder, const std::string &code, const std::string &mail,
                      const std::string &pc) {
    const std::string typed = code.substr(0, kReadLimit);
    switch (kind) {
    case kSubAddress: return folder + ";" + typed + ";" + mail + ";" + pc;
    case kSenderNumber: return folder + ";" + typed + ";" + Without(typed, " ") + ";" + mail + ";" + pc;
    case kDestinationNumber: return folder + ";" + typed + ";" + Without(typed, " -") + ";" + mail + ";" + pc;
    default: return folder + ";;" + mail + ";" + pc;
    }
}

int WriteDestinationRule(int kind, std::uint32_t editBox, const std::string &key, const std::string &value) {
    const std::string work = WorkFileOfBox(editBox);
    if (work.empty()) return 0;
    WriteProfileText(TraitsOf(kind).section, key.substr(0, kReadLimit), value, work);
    return 1;
}

DestinationOutcome ConfirmDestination(const DestinationForm &form, const std::string &keyName,
                                      const std::vector<std::string> &mailRows, const std::vector<std::string> &pcRows,
                                      DestinationRecord &record) {
    DestinationOutcome outcome;
    outcome.refusal = CheckDestination(form);
    if (outcome.refusal) return outcome;
    const std::string value =
        RuleValue(form.kind, form.selectedFolder, form.code, JoinAddressList(mailRows), JoinAddressList(pcRows));
    outcome.workFileMissing = WriteDestinationRule(form.kind, record.editBoxNumber, keyName, value) == 0;
    record.code = form.code;
    record.folder = form.selectedFolder;
    return outcome;
}

}  // namespace wbfax
