#include "ui/distribution_list.h"

#include "base/services.h"
#include "base/text.h"
#include "settings/box_edit.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <utility>

namespace wbfax {
namespace {

constexpr KindTraits kKinds[] = {
    {"FCODE", 'F', kLabelSubAddress, true},
    {"TSI", 'T', kLabelSenderNumber, true},
    {"DTN", 'D', kLabelDestinationNumber, true},
    {"OTHER", 0, kLabelOther, false},
};

constexpr const char *kSentKey = "TxFile";
constexpr const char *kReceivedKey = "OtherFile";

std::string ReadValue(const char *section, const std::string &key, const std::string &file) {
    std::string value;
    ReadProfileText(section, key, "", value, file);
    return value;
}

// The numbered key of the kind whose rule has this folder and code; empty when none.
template <typename Fn>
std::string FindNumberedRule(int kind, const RuleRow &row, const std::string &file, Fn &&found) {
    for (int number = 1; number <= kMaxRulesPerKind; ++number) {
        const std::string key = RuleKeyName(kind, number);
        const std::string value = ReadValue(TraitsOf(kind).section, key, file);
        if (value.empty()) continue;
        std::string_view rest = value;
        const std::string_view folder = NextField(rest);
        const std::string_view code = NextField(rest);
        if (code == row.code && folder == row.folder) {
            found(rest);
            return key;
        }
    }
    return {};
}

}  // namespace

const KindTraits &TraitsOf(int kind) { return kKinds[kind >= 0 && kind <= 3 ? kind : 0]; }

std::string RuleKeyName(int kind, int number) { return Format("%c%03d", TraitsOf(kind).keyLetter, number); }

ListSession BeginListSession(const HostContext &context) {
    ListSession session;
    session.owner = context.Slot(0);
    session.boxNumber = static_cast<std::uint32_t>(context.Slot(1));
    session.editBoxNumber = static_cast<std::uint32_t>(context.Slot(2));
    if (const char *folder = context.Pointer<const char>(3)) session.boxFolder = folder;
    session.firstFill = true;
    return session;
}

int &CurrentKind() {
    static int kind = 0;
    return kind;
}

std::string PrepareWorkFile(ListSession &session) {
    // The first filling looks for the box's own slot: one the host opened for it, or the one an
    // earlier opening left, so earlier changes are shown again rather than copied over.
    const std::uint32_t lookFor = session.firstFill ? session.boxNumber : session.editBoxNumber;
    session.firstFill = false;
    if (const int slot = FindEditSlot(lookFor)) {
        AssignEditSlot(slot, session.editBoxNumber);
        return WorkRuleFilePath(slot);
    }
    const int slot = FindFreeEditSlot();
    if (slot == 0) return {};  // every slot taken: nothing to show or edit
    AssignEditSlot(slot, session.editBoxNumber);
    const std::string work = WorkRuleFilePath(slot);
    // A free slot's leftover work file belongs to nobody; it must not leak into this box.
    platform::RemoveFile(work);
    if (RuleFileExists(session.boxNumber) && platform::CopyPath(RuleFilePath(session.boxNumber), work, false)) {
        SetOriginal(work, session.boxNumber);
    } else {
        WriteProfileText("OTHER", "OtherFile", std::string_view("Rx;;"), work);
        WriteProfileText("OTHER", "TXFile", std::string_view("Tx;;"), work);
    }
    return work;
}

std::vector<RuleRow> ReadRuleRows(int kind, const std::string &file) {
    std::vector<RuleRow> rows;
    if (kind == kOther) {
        for (const auto &[key, label] : {std::pair{kSentKey, kLabelSentDocument}, {kReceivedKey, kLabelReceivedFax}}) {
            const std::string value = ReadValue("OTHER", key, file);
            if (value.empty()) continue;
            std::string_view rest = value;
            const std::string folder(NextField(rest));
            InsertRowSorted(rows, {LoadLabel(label), folder, key});
        }
        return rows;
    }
    std::vector<std::string> values;
    ReadSectionValues(TraitsOf(kind).section, RuleKeyName(kind, 1), file, values);
    for (const std::string &value : values) {
        std::string_view rest = value;
        const std::string folder(NextField(rest));
        const std::string code(NextField(rest));
        InsertRowSorted(rows, {code, folder, {}});
    }
    return rows;
}

std::vector<RuleRow> FillList(ListSession &session, int kind) {
    const std::string work = PrepareWorkFile(session);
    return work.empty() ? std::vector<RuleRow>() : ReadRuleRows(kind, work);
}

std::vector<RuleRow> OpenList(ListSession &session) {
    CurrentKind() = kSubAddress;
    return FillList(session, kSubAddress);
}

bool ChangeKind(ListSession &session, int kind, std::vector<RuleRow> &rows) {
    if (kind == CurrentKind()) return false;
    CurrentKind() = kind;
    rows = FillList(session, kind);
    return true;
}

bool NewAndDeleteEnabled(int kind) { return kind != kOther; }

std::string WorkFileOfBox(std::uint32_t editBox) {
    const int slot = FindEditSlot(editBox);
    return slot ? WorkRuleFilePath(slot) : std::string();
}

int NewRuleRefusal(std::size_t rowCount) {
    return rowCount >= static_cast<std::size_t>(kMaxRulesPerKind) ? kMsgListFull : kNoMessage;
}

int InsertRowSorted(std::vector<RuleRow> &rows, RuleRow row) {
    std::size_t at = 0;
    while (at < rows.size() && !ComesBefore(row.code, rows[at].code)) ++at;
    rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(at), std::move(row));
    return static_cast<int>(at);
}

DestinationRecord RecordForRow(const ListSession &session, int kind, const RuleRow &row) {
    DestinationRecord record = RecordForRowIn(WorkFileOfBox(session.editBoxNumber), kind, row);
    record.boxNumber = session.boxNumber;
    record.editBoxNumber = session.editBoxNumber;
    record.boxFolder = session.boxFolder;
    return record;
}

DestinationRecord RecordForRowIn(const std::string &file, int kind, const RuleRow &row) {
    DestinationRecord record;
    record.code = row.code;
    record.folder = row.folder;
    if (kind == kOther) {
        if (!row.key.empty()) record.keyName = row.key;
        else record.keyName = row.code == LoadLabel(kLabelReceivedFax) ? kReceivedKey : kSentKey;
        const std::string value = ReadValue("OTHER", record.keyName, file);
        std::string_view rest = value;
        NextField(rest);  // the folder
        NextField(rest);  // always empty
        record.mailAddresses = NextField(rest);
        record.pcAddresses = NextField(rest);
        return record;
    }
    record.keyName = FindNumberedRule(kind, row, file, [&](std::string_view rest) {
        if (kind != kSubAddress) NextField(rest);  // the pattern
        record.mailAddresses = NextField(rest);
        record.pcAddresses = NextField(rest);
    });
    return record;
}

int ApplyEditedRow(std::vector<RuleRow> &rows, int selected, const std::string &code, const std::string &folder) {
    if (selected < 0 || selected >= static_cast<int>(rows.size())) return InsertRowSorted(rows, {code, folder, {}});
    RuleRow &row = rows[static_cast<std::size_t>(selected)];
    if (row.code == code) {
        row.folder = folder;
        return selected;
    }
    RuleRow replaced{code, folder, row.key};
    rows.erase(rows.begin() + selected);
    return InsertRowSorted(rows, std::move(replaced));
}

std::string DeleteRuleOfRow(const ListSession &session, int kind, const RuleRow &row) {
    if (!NewAndDeleteEnabled(kind)) return {};
    const std::string work = WorkFileOfBox(session.editBoxNumber);
    if (work.empty()) return {};
    const std::string key = FindNumberedRule(kind, row, work, [](std::string_view) {});
    if (!key.empty()) WriteProfileText(TraitsOf(kind).section, key, std::nullopt, work);
    return key;
}

bool RunDelete(const ListSession &session, int kind, std::vector<RuleRow> &rows, int selected) {
    if (!NewAndDeleteEnabled(kind)) return false;
    if (WorkFileOfBox(session.editBoxNumber).empty()) {
        ShowWorkFileMissing(session.owner);
        return false;
    }
    if (selected < 0 || selected >= static_cast<int>(rows.size())) {
        ShowMessage(session.owner, kMsgNoSelection);
        return false;
    }
    if (ShowMessage(session.owner, kMsgConfirmDelete) != kButtonOk) return false;
    DeleteRuleOfRow(session, kind, rows[static_cast<std::size_t>(selected)]);
    rows.erase(rows.begin() + selected);
    return true;
}

void RunSettingsDialog(const HostContext &context) {
    ListSession session = BeginListSession(context);
    RunListDialog(session);
}

}  // namespace wbfax
