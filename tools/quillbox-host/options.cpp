#include "quillbox-host/options.h"

#include <charconv>
#include <map>
#include <optional>

#if defined(WBFAX_HAVE_LIBTIFF)
#define WBFAX_FAX_TAGS_NOTE "(This build reads them with libtiff.)"
#else
#define WBFAX_FAX_TAGS_NOTE "(Not in this build: it has no libtiff, so they stay empty.)"
#endif

namespace quillbox {
namespace {

constexpr const char *kGeneralHelp =
    "usage: quillbox-host [--module PATH] COMMAND [OPTIONS]\n"
    "\n"
    "Plays the scan-and-fax host for the fax distribution module: loads the module and sends it\n"
    "commands as the host would.\n"
    "\n"
    "commands:\n"
    "  info        report the module's version and display name (command 1)\n"
    "  receive     hand the module one received document (command 2)\n"
    "  which-rule  tell which rule of a box a document would go by, and why\n"
    "  edit-box    a box enters or leaves editing (command 4)\n"
    "  delete-box  a box is deleted (command 5)\n"
    "  finish      box editing ends: --commit or --discard (command 6)\n"
    "  rules       list, add, edit or delete a box's distribution rules, as the settings do\n"
    "  settings    show or set the receive-notification settings, as the settings do\n"
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
    "                          Either one not given is read from a TIFF fax's own tags: the\n"
    "                          sender's identification (ImageDescription, as fax software\n"
    "                          records it) and the sub-address tag; empty when the file has none.\n"
    "                          " WBFAX_FAX_TAGS_NOTE "\n"
    "  --admin-mail TEXT       the fax administrator's mail address\n"
    "  --language N            the device's language code (0 to 65535)\n"
    "  --remote-name TEXT      the other party's name\n"
    "  --smtp-account TEXT     SMTP account for the notification (at most 65 bytes)\n"
    "  --smtp-password TEXT    its password (at most 32 bytes)\n";

constexpr const char *kWhichRuleHelp =
    "usage: quillbox-host which-rule --box N [--type received|sent|report]\n"
    "                                [--remote-number TEXT] [--sub-address TEXT]\n"
    "\n"
    "Prints the rules of the box in the order they are tried for such a document, whether each\n"
    "matches, and the one that wins, using the module's own look-up. No file is moved. The\n"
    "notification list shown is the mail or the PC list, as the receive settings choose.\n";

constexpr const char *kEditBoxHelp =
    "usage: quillbox-host edit-box --box N [--from M | --new] [--leave [--delete-rules]]\n"
    "                              [--handler NAME]\n"
    "\n"
    "Sends command 4: box N enters editing, starting from the rules of box M (default N;\n"
    "--new starts without rules). --leave ends the box's use of the rules instead;\n"
    "with --delete-rules its rule file is deleted at once. --handler names the module that\n"
    "handles the box (default WbFaxRcvExt.dll); another name gives the box away.\n";

constexpr const char *kDeleteBoxHelp =
    "usage: quillbox-host delete-box --box N\n"
    "\n"
    "Sends command 5: the host deletes box N. Its rule file goes at the next commit.\n";

constexpr const char *kFinishHelp =
    "usage: quillbox-host finish --commit | --discard\n"
    "\n"
    "Sends command 6: the host's box editing ends. --commit makes the edited rules and the\n"
    "pending receive settings live; --discard drops them.\n";

constexpr const char *kRulesHelp =
    "usage: quillbox-host rules list --box N [--edit-box M] [--kind KIND]\n"
    "       quillbox-host [--module PATH] rules add --box N [--edit-box M] --kind KIND --code TEXT\n"
    "                     --folder PATH [--mail LIST] [--pc LIST]\n"
    "       quillbox-host [--module PATH] rules edit --box N [--edit-box M] --kind KIND\n"
    "                     (--code TEXT | --row received|sent) [--new-code TEXT] [--folder PATH]\n"
    "                     [--mail LIST] [--pc LIST]\n"
    "       quillbox-host [--module PATH] rules delete --box N [--edit-box M] --kind KIND --code TEXT\n"
    "\n"
    "The distribution rules of box N, decided as the settings dialogs decide them, with the same\n"
    "checks and messages. Changes go to the box's work rule file: the box is opened for editing\n"
    "as the host does (command 4, box N edited as M, default N) and the work file prepared as the\n"
    "rule list does when it opens. Only 'finish --commit' makes them live. A refused value prints\n"
    "the dialogs' message, exits with status 1 and writes nothing. 'list' writes nothing.\n"
    "\n"
    "  --kind KIND      sub-address, sender, destination or other (0 to 3); list: all by default\n"
    "  --code TEXT      add: the sub-address or fax number; edit, delete: the row with this code\n"
    "                   (letter case ignored, as the list looks rows up)\n"
    "  --row WHICH      kind other: the row for received faxes or for sent documents\n"
    "  --new-code TEXT  edit: a new code for the rule\n"
    "  --folder PATH    storage folder below the box's storage folder (\\ or / between folders)\n"
    "  --mail LIST      mail addresses to notify, separated by \",\" (at most 10)\n"
    "  --pc LIST        PC names to notify, separated by \",\" (at most 10)\n"
    "                   edit: a list given replaces the rule's list; one not given stays\n"
    "\n"
    "Messages are Japanese when the configuration's language is Japanese, else English.\n";

constexpr const char *kSettingsHelp =
    "usage: quillbox-host settings show\n"
    "       quillbox-host settings set [--notify mail|host] [--server NAME] [--port N]\n"
    "                     [--attach yes|no] [--size low|medium|high|unlimited] [--days N]\n"
    "\n"
    "The receive-notification settings of all boxes, as the environment settings show and check\n"
    "them: pending values where there are any, else the settings in force. 'set' starts from what\n"
    "'show' prints, changes what is given, checks it as the dialog's OK does and writes the pending\n"
    "(\"Work\") values; 'finish --commit' makes them the settings. A refused value prints the\n"
    "dialog's message, exits with status 1 and writes nothing.\n"
    "\n"
    "  --notify mail|host  notify by mail, or send the notice to the host program's PCs\n"
    "  --server NAME       SMTP server: a host name or an IPv4 address, at most 32 characters\n"
    "  --port N            SMTP port, 1 to 32767\n"
    "  --attach yes|no     attach the received file to the mail\n"
    "  --size CLASS        the largest attachment: low, medium, high or unlimited (0 to 3)\n"
    "  --days N            days a notice is kept, 0 to 31 (larger values are kept as 31)\n";

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

// Options without a value.
std::optional<UsageError> CollectFlags(std::vector<std::string> &args, std::size_t from,
                                       std::map<std::string, bool> &flags) {
    for (std::size_t i = from; i < args.size();) {
        auto it = flags.find(args[i]);
        if (it == flags.end()) {
            i += 2;
            continue;
        }
        if (it->second) return Error("option '" + args[i] + "' given twice");
        it->second = true;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return std::nullopt;
}

std::optional<UsageError> ParseBox(const std::optional<std::string> &text, const char *command, std::uint32_t &box) {
    if (!text) return Error(std::string(command) + " needs --box");
    const std::optional<std::uint32_t> number = ParseNumber(*text, 999);
    if (!number) return Error("--box must be a number from 0 to 999");
    box = *number;
    return std::nullopt;
}

std::optional<UsageError> ParseType(const std::optional<std::string> &text, std::uint8_t &dataType) {
    const std::string type = text.value_or("received");
    if (type == "received") dataType = 1;
    else if (type == "sent") dataType = 0;
    else if (type == "report") dataType = 2;
    else return Error("--type must be received, sent or report");
    return std::nullopt;
}

std::variant<WhichRuleCommand, UsageError> ParseWhichRule(const std::vector<std::string> &args, std::size_t from) {
    std::map<std::string, std::optional<std::string>> o;
    for (const char *name : {"--box", "--type", "--remote-number", "--sub-address"}) o[name];
    if (auto error = CollectOptions(args, from, o)) return *error;
    WhichRuleCommand command;
    if (auto error = ParseBox(o["--box"], "which-rule", command.box)) return *error;
    if (auto error = ParseType(o["--type"], command.dataType)) return *error;
    command.remoteNumber = o["--remote-number"].value_or("");
    command.subAddress = o["--sub-address"].value_or("");
    if (command.remoteNumber.size() > kMaxText || command.subAddress.size() > kMaxText)
        return Error("numbers and sub-addresses hold at most 255 bytes");
    return command;
}

std::variant<EditBoxCommand, UsageError> ParseEditBox(std::vector<std::string> args, std::size_t from) {
    std::map<std::string, bool> flags{{"--new", false}, {"--leave", false}, {"--delete-rules", false}};
    if (auto error = CollectFlags(args, from, flags)) return *error;
    std::map<std::string, std::optional<std::string>> o;
    for (const char *name : {"--box", "--from", "--handler"}) o[name];
    if (auto error = CollectOptions(args, from, o)) return *error;
    EditBoxCommand command;
    if (auto error = ParseBox(o["--box"], "edit-box", command.box)) return *error;
    command.fromBox = command.box;
    if (flags["--new"] && o["--from"]) return Error("--new and --from exclude each other");
    if (flags["--new"]) command.fromBox = 0;
    if (o["--from"]) {
        const std::optional<std::uint32_t> number = ParseNumber(*o["--from"], 999);
        if (!number) return Error("--from must be a number from 0 to 999");
        command.fromBox = *number;
    }
    if (flags["--delete-rules"] && !flags["--leave"]) return Error("--delete-rules needs --leave");
    if (flags["--leave"]) command.mode = 2;
    if (flags["--delete-rules"]) command.text.clear();
    if (o["--handler"]) command.handler = *o["--handler"];
    return command;
}

std::variant<DeleteBoxCommand, UsageError> ParseDeleteBox(const std::vector<std::string> &args, std::size_t from) {
    std::map<std::string, std::optional<std::string>> o{{"--box", std::nullopt}};
    if (auto error = CollectOptions(args, from, o)) return *error;
    DeleteBoxCommand command;
    if (auto error = ParseBox(o["--box"], "delete-box", command.box)) return *error;
    return command;
}

std::variant<FinishCommand, UsageError> ParseFinish(const std::vector<std::string> &args, std::size_t from) {
    if (args.size() != from + 1 || (args[from] != "--commit" && args[from] != "--discard"))
        return Error("finish needs exactly one of --commit and --discard");
    return FinishCommand{args[from] == "--commit"};
}

std::variant<ReceiveCommand, UsageError> ParseReceive(const std::vector<std::string> &args, std::size_t from) {
    std::map<std::string, std::optional<std::string>> o;
    for (const char *name : {"--box", "--file", "--type", "--remote-number", "--remote-id", "--sub-address",
                             "--admin-mail", "--language", "--remote-name", "--smtp-account", "--smtp-password"})
        o[name];
    if (auto error = CollectOptions(args, from, o)) return *error;

    ReceiveCommand command;
    if (auto error = ParseBox(o["--box"], "receive", command.box)) return *error;
    if (!o["--file"]) return Error("receive needs --file");
    command.file = *o["--file"];
    if (command.file.empty() || command.file.size() > 259) return Error("--file must be a path of 1 to 259 bytes");

    Description &d = command.description;
    if (auto error = ParseType(o["--type"], d.dataType)) return *error;

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
    command.remoteNumberFromFile = !o["--remote-number"];
    command.subAddressFromFile = !o["--sub-address"];
    if (o["--smtp-account"]) {
        if (o["--smtp-account"]->size() > kMaxAccount) return Error("--smtp-account holds at most 65 bytes");
        d.smtpAccount = *o["--smtp-account"];
    } else if (o["--smtp-password"]) {
        return Error("--smtp-password needs --smtp-account");
    }
    return command;
}

std::optional<int> ParseKind(const std::string &text) {
    static const std::map<std::string, int> kKinds{{"sub-address", 0}, {"sender", 1}, {"destination", 2}, {"other", 3},
                                                   {"0", 0},           {"1", 1},      {"2", 2},           {"3", 3}};
    const auto it = kKinds.find(text);
    return it == kKinds.end() ? std::nullopt : std::optional<int>(it->second);
}

std::optional<UsageError> ParseRules(const std::vector<std::string> &args, std::size_t from, Invocation &invocation) {
    static const std::map<std::string, RulesCommand::Action> kActions{{"list", RulesCommand::Action::List},
                                                                       {"add", RulesCommand::Action::Add},
                                                                       {"edit", RulesCommand::Action::Edit},
                                                                       {"delete", RulesCommand::Action::Delete}};
    if (from >= args.size()) return Error("rules needs list, add, edit or delete (see --help)");
    const auto action = kActions.find(args[from]);
    if (action == kActions.end()) return Error("unknown rules action '" + args[from] + "' (see --help)");
    for (std::size_t i = from + 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            invocation.command = HelpRequest{kRulesHelp};
            return std::nullopt;
        }
    }
    using Action = RulesCommand::Action;
    const Action act = action->second;
    std::map<std::string, std::optional<std::string>> o;
    o["--box"];
    o["--edit-box"];
    o["--kind"];
    if (act != Action::List) o["--code"];
    if (act == Action::Add || act == Action::Edit)
        for (const char *name : {"--folder", "--mail", "--pc"}) o[name];
    if (act == Action::Edit) {
        o["--row"];
        o["--new-code"];
    }
    if (auto error = CollectOptions(args, from + 1, o)) return *error;

    RulesCommand command;
    command.action = act;
    if (auto error = ParseBox(o["--box"], "rules", command.box)) return *error;
    command.editBox = command.box;
    if (o["--edit-box"]) {
        const std::optional<std::uint32_t> number = ParseNumber(*o["--edit-box"], 999);
        if (!number) return Error("--edit-box must be a number from 0 to 999");
        command.editBox = *number;
    }
    if (command.editBox == 0) return Error("a box is edited under a number from 1 to 999 (--edit-box)");
    if (o["--kind"]) {
        const std::optional<int> kind = ParseKind(*o["--kind"]);
        if (!kind) return Error("--kind must be sub-address, sender, destination or other");
        command.kind = *kind;
    } else if (act != Action::List) {
        return Error("rules " + args[from] + " needs --kind");
    }
    const bool other = command.kind == 3;
    if (other && (act == Action::Add || act == Action::Delete))
        return Error("the rules of kind other can only be listed and edited");
    if (act != Action::List) command.code = o["--code"];
    if (act == Action::Edit) {
        if (o["--row"]) {
            if (!other) return Error("--row is for kind other; the other kinds name the row by --code");
            if (*o["--row"] == "received") command.row = "OtherFile";
            else if (*o["--row"] == "sent") command.row = "TxFile";
            else return Error("--row must be received or sent");
        }
        if (other && !command.row) return Error("rules edit --kind other needs --row");
        if (other && (o["--code"] || o["--new-code"])) return Error("the rows of kind other have fixed codes; use --row");
        command.newCode = o["--new-code"];
    }
    if (!other && act != Action::List && !command.code) return Error("rules " + args[from] + " needs --code");
    if (act == Action::Add && !o["--folder"]) return Error("rules add needs --folder");
    if (act == Action::Add || act == Action::Edit) {
        command.folder = o["--folder"];
        command.mail = o["--mail"];
        command.pc = o["--pc"];
    }
    for (const auto *text : {&command.code, &command.newCode, &command.folder, &command.mail, &command.pc})
        if (*text && (*text)->size() > kMaxText) return Error("option values hold at most 255 bytes");
    invocation.command = command;
    return std::nullopt;
}

std::optional<UsageError> ParseSettings(const std::vector<std::string> &args, std::size_t from, Invocation &invocation) {
    if (from >= args.size() || (args[from] != "show" && args[from] != "set"))
        return Error("settings needs show or set (see --help)");
    for (std::size_t i = from + 1; i < args.size(); ++i) {
        if (IsHelp(args[i])) {
            invocation.command = HelpRequest{kSettingsHelp};
            return std::nullopt;
        }
    }
    SettingsCommand command;
    command.set = args[from] == "set";
    if (!command.set) {
        if (from + 1 < args.size()) return Error("settings show takes no options (see --help)");
        invocation.command = command;
        return std::nullopt;
    }
    std::map<std::string, std::optional<std::string>> o;
    for (const char *name : {"--notify", "--server", "--port", "--attach", "--size", "--days"}) o[name];
    if (auto error = CollectOptions(args, from + 1, o)) return *error;
    if (from + 1 >= args.size()) return Error("settings set needs at least one option (see --help)");
    if (o["--notify"]) {
        if (*o["--notify"] != "mail" && *o["--notify"] != "host") return Error("--notify must be mail or host");
        command.notifyByMail = *o["--notify"] == "mail";
    }
    if (o["--attach"]) {
        if (*o["--attach"] != "yes" && *o["--attach"] != "no") return Error("--attach must be yes or no");
        command.attach = *o["--attach"] == "yes";
    }
    if (o["--size"]) {
        static const std::map<std::string, int> kSizes{{"low", 0}, {"medium", 1}, {"high", 2}, {"unlimited", 3},
                                                       {"0", 0},   {"1", 1},      {"2", 2},    {"3", 3}};
        const auto size = kSizes.find(*o["--size"]);
        if (size == kSizes.end()) return Error("--size must be low, medium, high or unlimited");
        command.sizeClass = size->second;
    }
    if (o["--days"]) {
        const std::string &days = *o["--days"];
        // The dialog's field takes digits only.
        if (days.empty() || days.find_first_not_of("0123456789") != std::string::npos)
            return Error("--days must be a number of days");
        command.days = days;
    }
    command.server = o["--server"];
    command.port = o["--port"];
    for (const auto *text : {&command.server, &command.port})
        if (*text && (*text)->size() > kMaxText) return Error("option values hold at most 255 bytes");
    invocation.command = command;
    return std::nullopt;
}

template <typename Command>
std::optional<UsageError> Take(std::variant<Command, UsageError> parsed, Invocation &invocation) {
    if (auto *error = std::get_if<UsageError>(&parsed)) return *error;
    invocation.command = std::get<Command>(std::move(parsed));
    return std::nullopt;
}

}  // namespace

std::variant<Invocation, UsageError> ParseCommandLine(const std::vector<std::string> &args) {
    using Parser = std::optional<UsageError> (*)(const std::vector<std::string> &, std::size_t, Invocation &);
    struct Entry {
        const char *name;
        const char *help;
        Parser parse;
    };
    static const Entry kCommands[] = {
        {"info", kInfoHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) -> std::optional<UsageError> {
             if (from < a.size()) return Error("info takes no options (see --help)");
             inv.command = InfoCommand{};
             return std::nullopt;
         }},
        {"receive", kReceiveHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) { return Take(ParseReceive(a, from), inv); }},
        {"which-rule", kWhichRuleHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) { return Take(ParseWhichRule(a, from), inv); }},
        {"edit-box", kEditBoxHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) { return Take(ParseEditBox(a, from), inv); }},
        {"delete-box", kDeleteBoxHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) { return Take(ParseDeleteBox(a, from), inv); }},
        {"finish", kFinishHelp,
         [](const std::vector<std::string> &a, std::size_t from, Invocation &inv) { return Take(ParseFinish(a, from), inv); }},
        {"rules", kRulesHelp, ParseRules},
        {"settings", kSettingsHelp, ParseSettings},
    };

    Invocation invocation;
    std::size_t i = 0;
    if (i < args.size() && args[i] == "--module") {
        if (i + 1 >= args.size()) return Error("option '--module' needs a value");
        invocation.modulePath = args[i + 1];
        i += 2;
    }
    if (i >= args.size()) return Error("no command given (see --help)");
    const std::string &name = args[i++];
    if (IsHelp(name)) {
        invocation.command = HelpRequest{kGeneralHelp};
        return invocation;
    }
    for (const Entry &entry : kCommands) {
        if (name != entry.name) continue;
        if (i < args.size() && IsHelp(args[i])) {
            invocation.command = HelpRequest{entry.help};
            return invocation;
        }
        if (std::optional<UsageError> error = entry.parse(args, i, invocation)) return *error;
        return invocation;
    }
    return Error("unknown command '" + name + "' (see --help)");
}

}  // namespace quillbox
