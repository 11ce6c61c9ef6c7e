// The command line of the host stand-in.
#pragma once

#include "quillbox-host/description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillbox {

struct InfoCommand {};

struct ReceiveCommand {
    std::uint32_t box = 0;
    std::string file;
    Description description;
    // Not given on the command line: taken from the fax's own tags where the build can read them.
    bool remoteNumberFromFile = true;
    bool subAddressFromFile = true;
};

// Which rule a document would go by, and why; nothing is moved.
struct WhichRuleCommand {
    std::uint32_t box = 0;
    std::uint8_t dataType = 1;
    std::string remoteNumber;
    std::string subAddress;
};

// Command 4: a box enters editing (or leaves it).
struct EditBoxCommand {
    std::uint32_t mode = 1;     // 2 leaves editing
    std::uint32_t fromBox = 0;  // whose rules are the starting point; 0 for none
    std::uint32_t box = 0;      // the number under which the box is edited
    std::string text = "keep";  // empty: leaving editing deletes the rule file
    std::string handler = "WbFaxRcvExt.dll";
};

// Command 5.
struct DeleteBoxCommand {
    std::uint32_t box = 0;
};

// Command 6.
struct FinishCommand {
    bool commit = false;
};

// The distribution settings of a box, decided as the settings dialogs decide.
struct RulesCommand {
    enum class Action { List, Add, Edit, Delete };
    Action action = Action::List;
    std::uint32_t box = 0;      // whose rules are the starting point (command 3's slot 1)
    std::uint32_t editBox = 0;  // the number under which the box is edited (slot 2)
    int kind = -1;              // 0 sub-address, 1 sender, 2 destination, 3 other; -1: list all
    std::optional<std::string> code;     // add: the new code; edit, delete: the row's code
    std::optional<std::string> row;      // kind 3: "TxFile" or "OtherFile"
    std::optional<std::string> newCode;  // edit
    std::optional<std::string> folder;   // relative to the box's storage folder
    std::optional<std::string> mail;     // ","-separated
    std::optional<std::string> pc;
};

// The environment settings, shown or set as the environment dialog does.
struct SettingsCommand {
    bool set = false;
    std::optional<bool> notifyByMail;
    std::optional<std::string> server;
    std::optional<std::string> port;
    std::optional<bool> attach;
    std::optional<int> sizeClass;
    std::optional<std::string> days;
};

struct HelpRequest {
    std::string text;
};

struct Invocation {
    std::string modulePath;  // empty: the module next to the program
    std::variant<HelpRequest, InfoCommand, ReceiveCommand, WhichRuleCommand, EditBoxCommand, DeleteBoxCommand, FinishCommand,
                 RulesCommand, SettingsCommand>
        command;
};

struct UsageError {
    std::string message;  // one line
};

// Parses argv (without the program name).
std::variant<Invocation, UsageError> ParseCommandLine(const std::vector<std::string> &args);

}  // namespace quillbox
