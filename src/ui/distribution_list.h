// The distribution settings list (dialog 101): the rules of one box, one condition kind at a
// time, read from and written to the box's work rule file. The drawn dialog shows these rows
// and calls these functions for its buttons.
#pragma once

#include "base/host_context.h"
#include "platform/platform.h"
#include "settings/rules.h"

#include <cstdint>
#include <string>
#include <vector>

namespace wbfax {

struct KindTraits {
    const char *section;    // FCODE, TSI, DTN, OTHER
    char keyLetter;         // 'F', 'T', 'D'; 0 for OTHER, whose keys are TxFile and OtherFile
    int label;              // label index: the kind list's line and the code field's label
    bool hasColumn0Header;  // OTHER's first column has an empty header
};
// Kinds outside 0 to 3 are taken as 0.
const KindTraits &TraitsOf(int kind);
// "F001" and the like; kinds 0 to 2 only.
std::string RuleKeyName(int kind, int number);

constexpr int kMaxRulesPerKind = 100;

// One row of the list: the code (kinds 0 to 2) or the row label (kind 3), and the folder.
struct RuleRow {
    std::string code;
    std::string folder;
    std::string key;  // kind 3 only: TxFile or OtherFile
};

// What the list hands to the destination dialog; only code and folder come back.
struct DestinationRecord {
    std::string code, folder, mailAddresses, pcAddresses, keyName;
    std::uint32_t boxNumber = 0, editBoxNumber = 0;
    std::string boxFolder;
};

// The list's state while command 3 runs.
struct ListSession {
    platform::WindowHandle owner = 0;
    std::uint32_t boxNumber = 0;      // whose rule file is the starting point
    std::uint32_t editBoxNumber = 0;  // the number under which the host edits the box
    std::string boxFolder;
    bool firstFill = true;
};
ListSession BeginListSession(const HostContext &context);

// The kind shown; module-wide, 0 at load, set back to 0 whenever the list opens.
int &CurrentKind();

// Finds or makes the box's edit slot and work file; the path, empty when every slot is taken.
std::string PrepareWorkFile(ListSession &session);
// The rows of a kind in a rule file, in the list's order.
std::vector<RuleRow> ReadRuleRows(int kind, const std::string &file);
// Prepares the work file, then reads the kind's rows from it.
std::vector<RuleRow> FillList(ListSession &session, int kind);
// The opening: kind 0 becomes the current kind and is filled.
std::vector<RuleRow> OpenList(ListSession &session);
// A new selection in the kind list; false (and nothing refilled) when the kind stays.
bool ChangeKind(ListSession &session, int kind, std::vector<RuleRow> &rows);
// New and Delete are for numbered rules only.
bool NewAndDeleteEnabled(int kind);

// The work file of the box's edit slot; empty when the box has none.
std::string WorkFileOfBox(std::uint32_t editBox);

// New: kNoMessage, or the message for a full kind.
int NewRuleRefusal(std::size_t rowCount);
// Where the list puts a row by its own ascending order; the row's index.
int InsertRowSorted(std::vector<RuleRow> &rows, RuleRow row);

// Edit: the rule of a row, found in the work file; its addresses and key stay empty when it
// is not found, which makes the destination dialog take a new key.
DestinationRecord RecordForRow(const ListSession &session, int kind, const RuleRow &row);
// The same from a given rule file: code, folder, addresses and key only.
DestinationRecord RecordForRowIn(const std::string &file, int kind, const RuleRow &row);
// After the destination dialog's OK: the same code keeps the row, another replaces it. The
// index of the row to select.
int ApplyEditedRow(std::vector<RuleRow> &rows, int selected, const std::string &code, const std::string &folder);

// Delete of one row's rule: the first key whose folder and code match goes. The key, or empty.
std::string DeleteRuleOfRow(const ListSession &session, int kind, const RuleRow &row);
// The Delete button as a whole: work file present, a row selected (-1: none), the question
// answered with OK; then the rule and the row go. True when the row was removed.
bool RunDelete(const ListSession &session, int kind, std::vector<RuleRow> &rows, int selected);

// Command 3: the slots into a session, then the list dialog.
void RunSettingsDialog(const HostContext &context);
// The list dialog, modal over owner. Where nothing can be drawn, it does what the opening
// does to the files and returns.
int RunListDialog(ListSession &session);

}  // namespace wbfax
