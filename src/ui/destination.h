// The destination settings (dialog 104): one rule's code, storage folder and notification
// addresses, checked and written into the box's work rule file. The drawn dialog keeps the
// fields; these functions decide.
#pragma once

#include "ui/distribution_list.h"
#include "ui/messages.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

enum class DestinationMode : int { Change = 0, New = 1 };

// Field limits of the dialog.
int CodeFieldLimit(int kind);  // 32 for destination numbers, 20 for the others
constexpr int kKeyFieldLimit = 32;
constexpr int kFolderNameFieldLimit = 255;
constexpr int kMailEditLimit = 64;
constexpr int kPcEditLimit = 32;
constexpr int kMaxAddresses = 10;

// 1 when the mail list is in use: the pending USESMTPWork when there is one, else USESMTP.
int ReadNotifyByMail();

// The rule's key: the record's, or for a new rule the kind's letter and the smallest number not
// in use in the kind's section of the box's work file.
std::string InitialKeyName(int kind, const std::string &keyName, std::uint32_t editBox);

// An address list as its rows: every piece before a "," (empty ones too) and a non-empty rest.
std::vector<std::string> SplitAddressList(std::string_view text);
// Rows as written: empty rows left out, the others joined with "," in the given order.
std::string JoinAddressList(const std::vector<std::string> &rows);
// The rows in the order the address lists keep by themselves.
void SortAddressRows(std::vector<std::string> &rows);

// Rows that count against the limit: all but one empty row.
int CountAddresses(const std::vector<std::string> &rows);
// New address and the "..." button: kNoMessage, or the message for a full list.
int NewAddressRefusal(const std::vector<std::string> &rows);
// New address: the row to edit, the empty one or a new empty row.
int BeginNewAddress(std::vector<std::string> &rows);

bool IsMailAddressText(std::string_view text);
bool IsPcNameText(std::string_view text);

enum class AddressVerdict { Accepted, RefusedSilently, Refused };
struct AddressCheck {
    AddressVerdict verdict = AddressVerdict::Accepted;
    int message = kNoMessage;
};
// The end of an in-place edit of row editedRow with a new text.
AddressCheck CheckAddressText(const std::vector<std::string> &rows, int editedRow, std::string_view text, bool mailList);
// A computer picked from the network for the PC list.
AddressCheck CheckPickedComputer(const std::vector<std::string> &rows, std::string_view name);

// A code as the checks on OK see it; kNoMessage when it passes. Kind 3 has no check.
int CheckCode(int kind, std::string_view code);
// A code typed where no field limits it (the command line): longer than the field would take is
// refused with the kind's message.
int CheckTypedCode(int kind, std::string_view code);
// The message for an empty code field.
int MissingCodeMessage(int kind);

enum class FormField { None, Code, Folder };
struct Refusal {
    int message = kNoMessage;
    FormField focus = FormField::None;  // the field that takes the focus, its text selected
};

// What the dialog holds when OK is pressed.
struct DestinationForm {
    int kind = 0;
    DestinationMode mode = DestinationMode::New;
    std::string code;            // field 1201 as typed
    std::string folderName;      // 1202: the selected tree item's name
    std::string selectedFolder;  // 1006: its path relative to the box folder
    std::vector<RuleRow> ownerRows;  // the list dialog's rows, for the duplicate check
    int ownerSelected = -1;          // the row being changed, which does not count
};
// The checks of OK, in their order; none when every field passes.
std::optional<Refusal> CheckDestination(const DestinationForm &form);

// The rule's value in the kind's format.
std::string RuleValue(int kind, const std::string &folder, const std::string &code, const std::string &mail,
                      const std::string &pc);
// Writes the value under the key into the work file of the box's edit slot; 0 when there is none.
int WriteDestinationRule(int kind, std::uint32_t editBox, const std::string &key, const std::string &value);

struct DestinationOutcome {
    std::optional<Refusal> refusal;  // the dialog stays open with this message
    bool workFileMissing = false;    // closes with OK, but nothing was stored
};
// OK as a whole: checks, then the write, then code and folder handed back into the record.
DestinationOutcome ConfirmDestination(const DestinationForm &form, const std::string &keyName,
                                      const std::vector<std::string> &mailRows, const std::vector<std::string> &pcRows,
                                      DestinationRecord &record);

}  // namespace wbfax
