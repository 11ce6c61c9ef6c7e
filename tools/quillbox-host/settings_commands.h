// The rules and settings commands: the settings dialogs' decisions, run in-process on the
// module's own code, with the dialogs' messages printed instead of shown.
#pragma once

#include "quillbox-host/host.h"
#include "quillbox-host/options.h"

#include <string>

namespace quillbox {

// Whether the command sends the module a command (and needs it loaded).
bool RulesNeedModule(const RulesCommand &command);

// The exit status: 0 done, 1 refused (the message is in err). entry opens the box for editing
// (command 4) before anything is written.
int RunRules(const RulesCommand &command, EntryPoint entry, std::string &out, std::string &err);
int RunSettings(const SettingsCommand &command, std::string &out, std::string &err);

}  // namespace quillbox
