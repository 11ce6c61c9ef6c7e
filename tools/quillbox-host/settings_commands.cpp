#include "quillbox-host/settings_commands.h"

#include "base/module.h"
#include "entry/startup.h"
#include "platform/platform.h"
#include "quillbox-host/texts.h"
#include "settings/rule_file.h"
#include "ui/destination.h"
#include "ui/distribution_list.h"
#include "ui/environment.h"
#include "ui/folder_tree.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <sstream>

namespace quillbox {
namespace {

using namespace wbfax;

constexpr const char *kKindNames[] = {"sub-address", "sender-number", "destination-number", "other"};

// The module's state for the decisions made in this process.
struct InProcessModule {
    InProcessModule() { ModuleStartup(platform::ThisModule()); }
    ~InProcessModule() { ModuleShutdown(); }
    InProcessModule(const InProcessModule &) = delete;
    InProcessModule &operator=(const InProcessModule &) = delete;
};

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

std::string MessageOf(int index, bool japanese) { return std::string(TableText(MessageStringId(index), japanese)) + "\n"; }

// Kind 3's rows by their key, in the language of the messages.
std::string RowLabel(int kind, const RuleRow &row, bool japanese) {
    if (kind != kOther) return row.code;
    return TableText(EqualsIgnoringCase(row.key, "OtherFile") ? 55 : 56, japanese);
}

// The rows the list would show when it opened now, read without writing anything: the box's
// work file, else its rule file, else the two fallback entries a new work file gets.
std::vector<RuleRow> ViewRows(std::uint32_t box, std::uint32_t editBox, int kind, std::string &file) {
    file = WorkFileOfBox(editBox);
    if (file.empty() && box != 0 && RuleFileExists(box)) file = RuleFilePath(box);
    if (!file.empty()) return ReadRuleRows(kind, file);
    std::vector<RuleRow> rows;
    if (kind == kOther) {
        InsertRowSorted(rows, {LoadLabel(kLabelSentDocument), "Tx", "TxFile"});
        InsertRowSorted(rows, {LoadLabel(kLabelReceivedFax), "Rx", "OtherFile"});
    }
    return rows;
}

int FindCommandRow(const RulesCommand &command, const std::vector<RuleRow> &rows) {
    if (command.row) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            if (EqualsIgnoringCase(rows[i].key, *command.row)) return static_cast<int>(i);
        return -1;
    }
    return FindRow(rows, command.code.value_or(""), -1, [](const RuleRow &row) -> std::string_view { return row.code; });
}

// The addresses typed one after the other into a fresh list, as the list's in-place edits take them.
int EnterAddresses(const std::string &list, bool mailList, std::vector<std::string> &rows) {
    rows.clear();
    for (const std::string &piece : SplitAddressList(list)) {
        if (const int message = NewAddressRefusal(rows); message != kNoMessage) return message;
        const int row = BeginNewAddress(rows);
        const AddressCheck check = CheckAddressText(rows, row, piece, mailList);
        if (check.verdict == AddressVerdict::Refused) return check.message;
        if (check.verdict == AddressVerdict::Accepted) rows[static_cast<std::size_t>(row)] = piece;
    }
    SortAddressRows(rows);
    return kNoMessage;
}

// A folder typed on the command line as the tree would have given it: "\"-separated, no
// separator at either end; every component a valid name. The tree lists no "." or "..", and
// one would put the fax outside the box's storage folder.
int TakeFolder(std::string text, DestinationForm &form) {
    for (char &c : text)
        if (c == '/') c = '\\';
    while (!text.empty() && text.front() == '\\') text.erase(0, 1);
    while (!text.empty() && text.back() == '\\') text.pop_back();
    form.selectedFolder = text;
    std::string_view rest = text;
    for (std::size_t slash; (slash = rest.find('\\')) != std::string_view::npos; rest.remove_prefix(slash + 1)) {
        const std::string_view component = rest.substr(0, slash);
        if (component.empty()) return kMsgNoFolder;
        if (!IsValidFolderName(component) || component == "." || component == "..") return kMsgBadFolderName;
    }
    if (rest == "." || rest == "..") return kMsgBadFolderName;
    form.folderName = std::string(rest);
    return kNoMessage;
}

// What the destination dialog would be given and would hold at OK, and its verdict.
struct Plan {
    DestinationForm form;
    DestinationRecord record;
    std::vector<std::string> mail, pc;
    int message = kNoMessage;
    bool workFileMissing = false;
};

Plan Decide(const RulesCommand &command, int kind, const std::vector<RuleRow> &rows, const std::string &file) {
    Plan plan;
    plan.form.kind = kind;
    plan.form.ownerRows = rows;
    plan.record.boxNumber = command.box;
    plan.record.editBoxNumber = command.editBox;
    if (command.action == RulesCommand::Action::Add) {
        if ((plan.message = NewRuleRefusal(rows.size())) != kNoMessage) return plan;
        plan.form.mode = DestinationMode::New;
        plan.form.code = command.code.value_or("");
        if ((plan.message = CheckTypedCode(kind, plan.form.code)) != kNoMessage) return plan;
    } else {
        const int selected = FindCommandRow(command, rows);
        if (selected < 0) {
            plan.message = kMsgNoSelection;
            return plan;
        }
        const RuleRow &row = rows[static_cast<std::size_t>(selected)];
        DestinationRecord found = RecordForRowIn(file, kind, row);
        plan.record.code = found.code;
        plan.record.folder = found.folder;
        plan.record.mailAddresses = found.mailAddresses;
        plan.record.pcAddresses = found.pcAddresses;
        plan.record.keyName = found.keyName;
        plan.form.mode = DestinationMode::Change;
        plan.form.ownerSelected = selected;
        plan.form.code = command.newCode.value_or(row.code);
        if (command.newCode && (plan.message = CheckTypedCode(kind, plan.form.code)) != kNoMessage) return plan;
    }
    if (command.mail) {
        if ((plan.message = EnterAddresses(*command.mail, true, plan.mail)) != kNoMessage) return plan;
    } else {
        plan.mail = SplitAddressList(plan.record.mailAddresses);
    }
    if (command.pc) {
        if ((plan.message = EnterAddresses(*command.pc, false, plan.pc)) != kNoMessage) return plan;
    } else {
        plan.pc = SplitAddressList(plan.record.pcAddresses);
    }
    if ((plan.message = TakeFolder(command.folder.value_or(plan.record.folder), plan.form)) != kNoMessage) return plan;
    if (const std::optional<Refusal> refusal = CheckDestination(plan.form)) plan.message = refusal->message;
    return plan;
}

// What the host and the opening list dialog do before anything is changed.
std::vector<RuleRow> OpenForEditing(const RulesCommand &command, int kind, EntryPoint entry) {
    EditBoxCommand open;
    open.fromBox = command.box;
    open.box = command.editBox;
    SendEditBox(entry, open);
    ListSession session;
    session.boxNumber = command.box;
    session.editBoxNumber = command.editBox;
    std::vector<RuleRow> rows = OpenList(session);
    ChangeKind(session, kind, rows);
    return rows;
}

void ListKind(std::ostringstream &out, const RulesCommand &command, int kind, bool japanese) {
    std::string file;
    const std::vector<RuleRow> rows = ViewRows(command.box, command.editBox, kind, file);
    out << kKindNames[kind] << " rules of box " << command.box << " ("
        << (file.empty() ? std::string("the defaults of a new work file") : platform::NativePath(file)) << "):\n";
    if (rows.empty()) out << "  (none)\n";
    for (const RuleRow &row : rows) {
        const DestinationRecord record = RecordForRowIn(file, kind, row);
        out << "  " << (record.keyName.empty() ? "-" : record.keyName) << "  "
            << (kind == kOther ? "" : "code ") << Quoted(RowLabel(kind, row, japanese)) << "  folder " << Quoted(row.folder)
            << "  mail " << Quoted(record.mailAddresses) << "  pc " << Quoted(record.pcAddresses) << "\n";
    }
}

int Refuse(int message, bool japanese, std::string &err) {
    err = MessageOf(message, japanese);
    return 1;
}

}  // namespace

bool RulesNeedModule(const RulesCommand &command) { return command.action != RulesCommand::Action::List; }

int RunRules(const RulesCommand &command, EntryPoint entry, std::string &out, std::string &err) {
    InProcessModule module;
    const bool japanese = ConfiguredJapanese();
    std::ostringstream text;
    if (command.action == RulesCommand::Action::List) {
        for (int kind = 0; kind <= kOther; ++kind)
            if (command.kind < 0 || command.kind == kind) ListKind(text, command, kind, japanese);
        out = text.str();
        return 0;
    }

    const int kind = command.kind;
    // Everything is decided on what the list would show before anything is written, and again
    // on the prepared work file.
    std::string file;
    std::vector<RuleRow> rows = ViewRows(command.box, command.editBox, kind, file);
    if (command.action == RulesCommand::Action::Delete) {
        if (FindCommandRow(command, rows) < 0) return Refuse(kMsgNoSelection, japanese, err);
    } else if (const Plan plan = Decide(command, kind, rows, file); plan.message != kNoMessage) {
        return Refuse(plan.message, japanese, err);
    }

    rows = OpenForEditing(command, kind, entry);
    file = WorkFileOfBox(command.editBox);
    if (file.empty()) {
        err = std::string(kWorkFileMissingText) + "\n";
        return 1;
    }
    if (command.action == RulesCommand::Action::Delete) {
        const int selected = FindCommandRow(command, rows);
        if (selected < 0) return Refuse(kMsgNoSelection, japanese, err);
        ListSession session;
        session.boxNumber = command.box;
        session.editBoxNumber = command.editBox;
        const std::string key = DeleteRuleOfRow(session, kind, rows[static_cast<std::size_t>(selected)]);
        text << "deleted " << (key.empty() ? std::string("nothing: the row has no rule") : key) << " from "
             << platform::NativePath(file) << "\n";
    } else {
        Plan plan = Decide(command, kind, rows, file);
        if (plan.message != kNoMessage) return Refuse(plan.message, japanese, err);
        const std::string key = InitialKeyName(kind, plan.record.keyName, command.editBox);
        const DestinationOutcome outcome = ConfirmDestination(plan.form, key, plan.mail, plan.pc, plan.record);
        if (outcome.workFileMissing) {
            err = std::string(kWorkFileMissingText) + "\n";
            return 1;
        }
        text << (command.action == RulesCommand::Action::Add ? "added " : "changed ") << key << ": "
             << (kind == kOther ? "" : "code " + Quoted(plan.record.code) + ", ") << "folder " << Quoted(plan.record.folder)
             << ", mail " << Quoted(JoinAddressList(plan.mail)) << ", pc " << Quoted(JoinAddressList(plan.pc)) << "\n";
    }
    text << "in " << platform::NativePath(file) << " until 'finish --commit' or 'finish --discard'\n";
    out = text.str();
    return 0;
}

int RunSettings(const SettingsCommand &command, std::string &out, std::string &err) {
    InProcessModule module;
    const bool japanese = ConfiguredJapanese();
    // Showing, or a refused value, must leave the configuration as it was.
    EnvironmentForm form = ReadEnvironmentForm(false);
    if (command.set) {
        if (command.notifyByMail) form.notifyByMail = *command.notifyByMail;
        if (command.server) form.server = *command.server;
        if (command.port) form.port = *command.port;
        if (command.attach) form.attachFile = *command.attach;
        if (command.sizeClass) form.sizeClass = *command.sizeClass;
        if (command.days) form.days = *command.days;
        // What the dialog's fields cannot hold is refused as their checks would refuse it.
        if (form.server.size() > static_cast<std::size_t>(kServerFieldLimit)) return Refuse(kMsgServerNameTooLong, japanese, err);
        if (form.port.size() > static_cast<std::size_t>(kPortFieldLimit)) return Refuse(kMsgBadPort, japanese, err);
        if (const int message = CheckEnvironmentForm(form); message != kNoMessage) return Refuse(message, japanese, err);
        ApplyEnvironmentOk(form);
        form = ReadEnvironmentForm(false);
    }
    std::ostringstream text;
    text << "notify: " << (form.notifyByMail ? "by mail" : "through the host program") << "\n"
         << "SMTP server: " << form.server << "\n"
         << "SMTP port: " << form.port << "\n"
         << "attach the file: " << (form.attachFile ? "yes" : "no") << "\n"
         << "data size: " << TableText(LabelStringId(kLabelSizeLow + form.sizeClass), japanese) << " (" << form.sizeClass
         << ")\n"
         << "days a notice is kept: " << form.days << "\n";
    if (command.set) text << "pending until 'finish --commit' or 'finish --discard'\n";
    out = text.str();
    return 0;
}

}  // namespace quillbox
