#include "quillbox-host/options.h"

#include <charconv>
#include <map>
#include <optional>

namespace quillbox {
namespace {

constexpr const char *kGeneralHelp =
    "usage: quillbox-host [--module PATH] COMMAND [OPTIONS]\n"
    "\n"
    "Plays the scan-and-fax host for the fax distribution module: loads the module and sends it\n"
    "commands as the host would.\n"
    "\n"
    "commands:\n"
    "  info      report the module's version and display name (command 1)\n"
    "  receive   hand the module one received document (command 2)\n"
    "\n"
    "  --module PATH   the module to load (default: WbFaxRcvExt next to this program,\n"
    "                  or the file named by WBFAX_MODULE)\n"
    "\n"
    "Run 'quillbox-host COMMAND --help' for the options of a command.\n";

constexpr const char *kInfoHelp =
    "usage: quillbox-host info\n"
    "\n"
    "Sends command 1 and prints the module's version and display name.\n";

constexpr const char *kReceiveHelp =
    "usage: quillbox-host receive --box N --file PATH [OPTIONS]\n"
    "\n"
    "Sends command 2 for a document that the host has written to PATH, then prints the remote\n"
    "name the module handed back and the path where the document now lies.\n"
    "\n"
    "  --box N                 the host box (profile) number that received it\n"
    "  --file PATH             the received document\n"
    "  --type TYPE             received (default), sent (copy of a sent fax) or report\n"
    "  --remote-number TEXT    sender's number, or destination number of a sent document\n"
    "  --remote-id TEXT        the other party's identification\n"
    "  --sub-address TEXT      the sub-address (F-code) the fax arrived under\n"
    "  --admin-mail TEXT       the fax administrator's mail address\n"
    "  --language N            the device's language code (0 to 65535)\n"
    "  --remote-name TEXT      the other party's name\n"
    "  --smtp-account TEXT     SMTP account for the notification (at most 65 bytes)\n"
    "  --smtp-password TEXT    its password (at most 32 bytes)\n";

std::optional<std::uint32_t> ParseNumber(const std::string &text, std::uint32_t max) {
    std::uint32_t value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || value > max) return std::nullopt;
    return value;
}

UsageError Error(const std::string &message) { return UsageError{"quillbox-host: " + message}; }

bool IsHelp(const std::string &arg) { return arg == "--help" || arg == "-h"; }

// "--name value" pairs; the allowed names are the map's keys.
std::optional<UsageError> CollectOptions(const std::vector<std::string> &args, std::size_t from,
                                         std::map<std::string, std::optional<std::string>> &options) {
    for (std::size_t i = from; i < args.size(); i += 2) {
        const std::string &name = args[i];
        auto it = options.find(name);
        if (it == options.end()) return Error("unknown option '" + name + "' (see --help)");
        if (i + 1 >= args.size()) return Error("option '" + name + "' needs a value");
        if (it->second) return Error("option '" + name + "' given twice");
        it->second = args[i + 1];
    }
    return std::nullopt;
}

std::variant<ReceiveCommand, UsageError> ParseReceive(const std::vector<std::string> &args, std::size_t from) {
    std::map<std::string, std::optional<std::string>> o;
    for (const char *name : {"--box", "--file", "--type", "--remote-number", "--remote-id", "--sub-address",
                             "--admin-mail", "--language", "--remote-name", "--smtp-account", "--smtp-password"})
        o[name];
    if (auto error = CollectOptions(args, from, o)) return *error;

    ReceiveCommand command;
    if (!o["--box"]) return Error("receive needs --box");
    if (!o["--file"]) return Error("receive needs --file");
    const std::optional<std::uint32_t> box = ParseNumber(*o["--box"], 999);
    if (!box) return Error("--box must be a number from 0 to 999");
    command.box = *box;
    command.file = *o["--file"];
    if (command.file.empty() || command.file.size() > 259) return Error("--file must be a path of 1 to 259 bytes");

    Description &d = command.description;
    const std::string type = o["--type"].value_or("received");
    if (type == "received") d.dataType = 1;
    else if (type == "sent") d.dataType = 0;
    else if (type == "report") d.dataType = 2;
    else return Error("--type must be received, sent or report");

    if (o["--language"]) {
        const std::optional<std::uint32_t> language = ParseNumber(*o["--language"], 0xFFFF);
        if (!language) return Error("--language must be a number from 0 to 65535");
        d.languageCode = static_cast<std::uint16_t>(*language);
    }
    const struct {
        const char *name;
        std::string *field;
        std::size_t max;
    } texts[] = {{"--remote-number", &d.remoteNumber, kMaxText}, {"--remote-id", &d.remoteId, kMaxText},
                 {"--sub-address", &d.subAddress, kMaxText},     {"--admin-mail", &d.adminMail, kMaxText},
                 {"--remote-name", &d.remoteName, kMaxText},     {"--smtp-password", &d.smtpPassword, kMaxPassword}};
    for (const auto &t : texts) {
        if (!o[t.name]) continue;
        if (o[t.name]->size() > t.max) return Error(std::string(t.name) + " holds at most " + std::to_string(t.max) + " bytes");
        *t.field = *o[t.name];
    }
    if (o["--smtp-account"]) {
        if (o["--smtp-account"]->size() > kMaxAccount) return Error("--smtp-account holds at most 65 bytes");
        d.smtpAccount = *o["--smtp-account"];
    } else if (o["--smtp-password"]) {
        return Error("--smtp-password needs --smtp-account");
    }
    return command;
}

}  // namespace

std::variant<Invocation, UsageError> ParseCommandLine(const std::vector<std::string> &args) {
    Invocation invocation;
    std::size_t i = 0;
    if (i < args.size() && args[i] == "--module") {
        if (i + 1 >= args.size()) return Error("option '--module' needs a value");
        invocation.modulePath = args[i + 1];
        i += 2;
    }
    if (i >= args.size()) return Error("no command given (see --help)");
    const std::string &name = args[i++];
    const bool help = i < args.size() && IsHelp(args[i]);

    if (IsHelp(name)) {
        invocation.command = HelpRequest{kGeneralHelp};
    } else if (name == "info") {
        if (help) invocation.command = HelpRequest{kInfoHelp};
        else if (i < args.size()) return Error("info takes no options (see --help)");
        else invocation.command = InfoCommand{};
    } else if (name == "receive") {
        if (help) {
            invocation.command = HelpRequest{kReceiveHelp};
        } else {
            auto parsed = ParseReceive(args, i);
            if (auto *error = std::get_if<UsageError>(&parsed)) return *error;
            invocation.command = std::get<ReceiveCommand>(std::move(parsed));
        }
    } else {
        return Error("unknown command '" + name + "' (see --help)");
    }
    return invocation;
}

}  // namespace quillbox
