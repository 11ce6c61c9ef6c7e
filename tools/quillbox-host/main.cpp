// quillbox-host: plays the scan-and-fax host for the fax distribution module.
#include "quillbox-host/fax_tags.h"
#include "quillbox-host/host.h"
#include "quillbox-host/options.h"
#include "quillbox-host/rule_tester.h"
#include "quillbox-host/settings_commands.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace quillbox;

int main(int argc, char **argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    auto parsed = ParseCommandLine(args);
    if (auto *error = std::get_if<UsageError>(&parsed)) {
        std::fprintf(stderr, "%s\n", error->message.c_str());
        return 2;
    }
    const Invocation &invocation = std::get<Invocation>(parsed);
    if (auto *help = std::get_if<HelpRequest>(&invocation.command)) {
        std::fputs(help->text.c_str(), stdout);
        return 0;
    }

    if (auto *which = std::get_if<WhichRuleCommand>(&invocation.command)) {
        std::fputs(ExplainRule(*which).c_str(), stdout);
        return 0;
    }

    // The settings are decided in-process; only opening a box for editing goes to the module.
    std::string out, err;
    if (auto *settings = std::get_if<SettingsCommand>(&invocation.command)) {
        const int status = RunSettings(*settings, out, err);
        std::fputs(out.c_str(), stdout);
        std::fputs(err.c_str(), stderr);
        return status;
    }
    const auto *rules = std::get_if<RulesCommand>(&invocation.command);
    if (rules && !RulesNeedModule(*rules)) {
        const int status = RunRules(*rules, nullptr, out, err);
        std::fputs(out.c_str(), stdout);
        std::fputs(err.c_str(), stderr);
        return status;
    }

    const std::string modulePath = invocation.modulePath.empty() ? DefaultModulePath(argv[0]) : invocation.modulePath;
    LoadedModule module(modulePath);
    if (!module.entry()) {
        std::fprintf(stderr, "quillbox-host: %s\n", module.error().c_str());
        return 1;
    }

    if (rules) {
        const int status = RunRules(*rules, module.entry(), out, err);
        std::fputs(out.c_str(), stdout);
        std::fputs(err.c_str(), stderr);
        return status;
    }
    if (std::holds_alternative<InfoCommand>(invocation.command)) {
        const InfoResult info = SendInfo(module.entry());
        std::printf("version: %s\nname: %s\n", info.version.c_str(), info.name.c_str());
    } else if (auto *receive = std::get_if<ReceiveCommand>(&invocation.command)) {
        ReceiveCommand command = *receive;
        if (command.remoteNumberFromFile || command.subAddressFromFile) {
            const FaxTags tags = ReadFaxTags(command.file);
            if (command.remoteNumberFromFile) command.description.remoteNumber = tags.sender;
            if (command.subAddressFromFile) command.description.subAddress = tags.subAddress;
        }
        const ReceiveResult result = SendReceive(module.entry(), command);
        std::printf("remote name: %s\nstored path: %s\n", result.remoteName.c_str(), result.storedPath.c_str());
    } else if (auto *edit = std::get_if<EditBoxCommand>(&invocation.command)) {
        SendEditBox(module.entry(), *edit);
    } else if (auto *deleted = std::get_if<DeleteBoxCommand>(&invocation.command)) {
        SendDeleteBox(module.entry(), *deleted);
    } else if (auto *finish = std::get_if<FinishCommand>(&invocation.command)) {
        SendFinish(module.entry(), *finish);
    }
    return 0;
}
