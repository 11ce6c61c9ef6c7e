// The command line of the host stand-in.
#pragma once

#include "quillbox-host/description.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace quillbox {

struct InfoCommand {};

struct ReceiveCommand {
    std::uint32_t box = 0;
    std::string file;
    Description description;
};

struct HelpRequest {
    std::string text;
};

struct Invocation {
    std::string modulePath;  // empty: the module next to the program
    std::variant<HelpRequest, InfoCommand, ReceiveCommand> command;
};

struct UsageError {
    std::string message;  // one line
};

// Parses argv (without the program name).
std::variant<Invocation, UsageError> ParseCommandLine(const std::vector<std::string> &args);

}  // namespace quillbox
