// The host stand-in's command line, and its rules and settings commands: the dialogs' decisions
// and messages on the command line, the files they write, and a rule added there routing the
// next fax after the commit.
#include "distribution/network_path.h"
#include "entry/entry.h"
#include "quillbox-host/options.h"
#include "quillbox-host/rule_tester.h"
#include "quillbox-host/settings_commands.h"
#include "quillbox-host/texts.h"
#include "base/text.h"
#include "settings/config.h"
#include "test_support.h"

#include <cstdlib>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace quillbox {
namespace {

using wbfax::test::Exists;
using wbfax::test::ProfileKey;
using wbfax::test::ReadFile;

struct Result {
    int status = 0;
    std::string out, err;
};

class HostSettings : public wbfax::test::ScratchInstall {
protected:
    // Runs a command line as the program does, with the module linked in place of the loaded one.
    Result Host(const std::vector<std::string> &args) {
        Result r;
        auto parsed = ParseCommandLine(args);
        if (auto *error = std::get_if<UsageError>(&parsed)) return {2, "", error->message};
        auto &command = std::get<Invocation>(parsed).command;
        if (auto *rules = std::get_if<RulesCommand>(&command)) r.status = RunRules(*rules, &wbCatchExtExpFunc, r.out, r.err);
        else if (auto *settings = std::get_if<SettingsCommand>(&command)) r.status = RunSettings(*settings, r.out, r.err);
        else if (auto *which = std::get_if<WhichRuleCommand>(&command)) r.out = ExplainRule(*which);
        else if (auto *finish = std::get_if<FinishCommand>(&command)) {
            std::uintptr_t slots[6] = {0, finish->commit ? 1u : 0u, 0, 0, 0, 0};
            std::uint32_t result = 0;
            wbCatchExtExpFunc(6, &result, slots);
        } else ADD_FAILURE() << "not a command of these tests";
        return r;
    }
    std::string Ini() const { return Exists(ConfigFile()) ? ReadFile(ConfigFile()) : std::string(); }
    std::string Work(int slot) const { return DataDir() + wbfax::Format("/Work%03d.rfd", slot); }
    void Language(const char *name) {
        wbfax::platform::ProfileWriteString("LANGUAGE", "Language", name, wbfax::ConfigFilePath().c_str());
    }
};

// An added rule routes the next fax, and the settings are in force, only after the commit.
TEST_F(HostSettings, RulesAndSettingsArePendingUntilTheCommit) {
    Language("Japanese");
    std::string out;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"rules", "add", "--box", "3", "--kind", "sub-address", "--code", "1234", "--folder", "Sales/North",
                                   "--mail", "b@x,a@x"},
          {"settings", "set", "--server", "smtp.example", "--port", "587", "--attach", "yes", "--size", "high", "--days", "45"}}) {
        const Result r = Host(args);
        ASSERT_EQ(r.status, 0) << r.err;
        out += r.out;
    }
    EXPECT_EQ(ProfileKey(Work(1), "FCODE", "F001"), "Sales\\North;1234;a@x,b@x;");
    EXPECT_EQ(ProfileKey(Work(1), "COMMON", "SaveNo"), "003");  // the host opened the box for editing
    EXPECT_NE(out.find("data size: 高 (2)"), std::string::npos) << out;
    EXPECT_NE(out.find("days a notice is kept: 31"), std::string::npos) << out;
    EXPECT_NE(Host({"which-rule", "--box", "3", "--sub-address", "1234"}).out.find("has no rule file"), std::string::npos);
    EXPECT_EQ(wbfax::ReadSmtpServer().value_or("-") + wbfax::ReadSmtpServerWork().value_or(""), "-smtp.example");

    Host({"finish", "--commit"});
    const std::string routed = Host({"which-rule", "--box", "3", "--sub-address", "1234"}).out;
    EXPECT_NE(routed.find("winner: folder \"Sales\\North\""), std::string::npos) << routed;
    EXPECT_NE(routed.find("\"a@x,b@x\""), std::string::npos) << routed;
    EXPECT_EQ(wbfax::ReadSmtpServer().value_or("") + wbfax::Format(":%d/%d/%d", wbfax::ReadSmtpPortNo(), wbfax::ReadFileSize(),
                                                              wbfax::ReadNotifyDays()),
              "smtp.example:587/2/31");
}

TEST_F(HostSettings, ARefusedValueIsTheDialogsMessageAndWritesNothing) {
    const auto add = [](const char *code, const char *folder, std::vector<std::string> more = {}) {
        std::vector<std::string> args = {"rules", "add", "--box", "2", "--kind", "sub-address", "--code", code, "--folder", folder};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    };
    const std::pair<std::vector<std::string>, int> cases[] = {
        {add("123", "A"), 16}, {add("1234", "A:B"), 1}, {add("1234", ".."), 1}, {add("1234", "."), 1},
        {add("1234", "Sales/.."), 1}, {add("1234", "../Sales"), 1}, {add("1234", "x/../.."), 1},
        {{"rules", "add", "--box", "2", "--kind", "destination", "--code", "03-12", "--folder", "A"}, 18},
        {{"rules", "edit", "--box", "2", "--kind", "other", "--row", "received", "--folder", ".."}, 1},
        {add("1234", "A", {"--pc", "PC_1"}), 23},
        {add("1234", "A", {"--mail", "1@x,2@x,3@x,4@x,5@x,6@x,7@x,8@x,9@x,10@x,11@x"}), 22},
        {{"rules", "edit", "--box", "2", "--kind", "sub-address", "--code", "9999", "--folder", "A"}, 8},
        {{"rules", "edit", "--box", "2", "--kind", "other", "--row", "received", "--pc", "PC1," + wbfax::ShortHostName()}, 24},
        {{"settings", "set", "--server", "mail_1"}, 10}, {{"settings", "set", "--server", "mail", "--port", "0"}, 13},
        {{"settings", "set", "--notify", "host", "--port", "123456"}, 13},
    };
    for (const char *language : {"English", "Japanese"}) {
        Language(language);
        const std::string before = Ini();
        for (const auto &[args, stringId] : cases) {
            const Result r = Host(args);
            EXPECT_EQ(r.status, 1) << ::testing::PrintToString(args);
            EXPECT_EQ(r.err, std::string(TableText(stringId, language[0] == 'J')) + "\n") << ::testing::PrintToString(args);
            EXPECT_EQ(Ini(), before) << ::testing::PrintToString(args);
            EXPECT_FALSE(Exists(Work(1)));
        }
    }
}

TEST_F(HostSettings, PcNotificationKeepsTheMailAddressesOfAnEditedRule) {
    const std::vector<std::string> steps[] = {
        {"rules", "add", "--box", "5", "--kind", "destination", "--code", "0120 99", "--folder", "Free", "--mail", "boss@x"},
        {"settings", "set", "--notify", "host"},
        {"rules", "edit", "--box", "5", "--kind", "destination", "--code", "0120 99", "--pc", "PC7,pc7"}};
    for (const auto &args : steps) ASSERT_EQ(Host(args).status, 0) << ::testing::PrintToString(args);
    EXPECT_EQ(ProfileKey(Work(1), "DTN", "D001"), "Free;0120 99;012099;boss@x;PC7");
    const Result listed = Host({"rules", "list", "--box", "5", "--kind", "destination"});
    EXPECT_NE(listed.out.find("D001  code \"0120 99\"  folder \"Free\"  mail \"boss@x\"  pc \"PC7\""), std::string::npos)
        << listed.out;
    ASSERT_EQ(Host({"rules", "delete", "--box", "5", "--kind", "destination", "--code", "0120 99"}).status, 0);
    EXPECT_EQ(ProfileKey(Work(1), "DTN", "D001"), "?");
    // Kind 3 keeps its keys and writes its own format.
    ASSERT_EQ(Host({"rules", "edit", "--box", "5", "--kind", "other", "--row", "sent", "--folder", "Out"}).status, 0);
    EXPECT_EQ(ProfileKey(Work(1), "OTHER", "TxFile"), "Out;;;");
}

#if !defined(_WIN32)
TEST_F(HostSettings, TheProgramsExitStatus) {
    for (const auto &[args, expected] : {std::pair{"rules add --box 1 --kind 0 --code 12 --folder A", 1},
                                         {"rules add --box 1 --kind 0 --code 1234", 2}, {"rules list --box 1", 0}}) {
        const int raw = std::system((std::string(WBFAX_HOST_PATH) + " " + args + " >/dev/null 2>&1").c_str());
        EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, expected) << args;
    }
    EXPECT_FALSE(Exists(Work(1)));
}
#endif

using Args = std::vector<std::string>;

template <typename T> T CommandOf(const Args &args) {
    auto parsed = ParseCommandLine(args);
    if (const auto *error = std::get_if<UsageError>(&parsed)) ADD_FAILURE() << error->message;
    const auto *command = std::get_if<Invocation>(&parsed) ? std::get_if<T>(&std::get<Invocation>(parsed).command) : nullptr;
    EXPECT_NE(command, nullptr) << ::testing::PrintToString(args);
    return command ? *command : T{};
}

// The fields the fax server's hook passes are read by the end-to-end run; these are the others.
TEST(HostOptions, CommandsTakeTheirFields) {
    const Description d = CommandOf<ReceiveCommand>({"receive", "--box", "12", "--file", "f", "--type", "sent", "--language", "81",
                                                        "--smtp-account", "acct", "--smtp-password", "pw"}).description;
    EXPECT_EQ(wbfax::Format("%u %u %s %s", d.dataType, d.languageCode, d.smtpAccount.value_or("-").c_str(), d.smtpPassword.c_str()), "0 81 acct pw");
    EXPECT_EQ(CommandOf<ReceiveCommand>({"receive", "--box", "1", "--file", "f", "--type", "report"}).description.dataType, 2u);
    EXPECT_EQ(std::get<Invocation>(ParseCommandLine({"--module", "/m.so", "info"})).modulePath, "/m.so");
    const auto edit = CommandOf<EditBoxCommand>({"edit-box", "--box", "8", "--from", "5"});
    EXPECT_EQ(Args({std::to_string(edit.mode), std::to_string(edit.fromBox), std::to_string(edit.box), edit.handler}),
              Args({"1", "5", "8", "WbFaxRcvExt.dll"}));
    EXPECT_FALSE(edit.text.empty());
    EXPECT_EQ(CommandOf<EditBoxCommand>({"edit-box", "--new", "--box", "9"}).fromBox, 0u);
    const auto leave = CommandOf<EditBoxCommand>({"edit-box", "--box", "3", "--leave", "--delete-rules", "--handler", "Other.dll"});
    EXPECT_EQ(Args({std::to_string(leave.mode), leave.text, leave.handler}), Args({"2", "", "Other.dll"}));
    EXPECT_EQ(CommandOf<DeleteBoxCommand>({"delete-box", "--box", "4"}).box, 4u);
    EXPECT_FALSE(CommandOf<FinishCommand>({"finish", "--discard"}).commit);
    const auto rules = CommandOf<RulesCommand>({"rules", "edit", "--box", "2", "--edit-box", "8", "--kind", "other", "--row", "received"});
    EXPECT_EQ(wbfax::Format("%u %u %s", rules.box, rules.editBox, rules.row.value_or("").c_str()), "2 8 OtherFile");
}

TEST(HostOptions, WrongInputIsOneLineErrorAndHelpIsEverywhere) {
    const std::string f = "--file", box = "--box";
    const Args wrong[] = {
        {}, {"frobnicate"}, {"info", box, "1"}, {"--module"}, {"receive", f, "f"}, {"receive", box, "1"},
        {"receive", box, "x1", f, "f"}, {"receive", box, "1000", f, "f"}, {"receive", box, "-1", f, "f"},
        {"receive", box, "1", f, "f", "--type", "fax"}, {"receive", box, "1", f, "f", "--language", "65536"},
        {"receive", box, "1", f, "f", "--remote-name", std::string(256, 'n')},
        {"receive", box, "1", f, "f", "--smtp-account", std::string(66, 'a')},
        {"receive", box, "1", f, "f", "--smtp-password", "pw"}, {"receive", box, "1", f, "f", box, "2"},
        {"receive", box, "1", f}, {"receive", box, "1", f, std::string(260, 'p')},
        {"edit-box", box, "3", "--delete-rules"}, {"edit-box", box, "3", "--new", "--from", "2"},
        {"edit-box", box, "3", "--leave", "--leave"}, {"finish"}, {"finish", "--commit", "--discard"}, {"delete-box"},
        {"which-rule", "--type", "sent"}, {"rules"}, {"rules", "move", box, "1"},
        {"rules", "add", box, "1", "--code", "1234", "--folder", "A"},
        {"rules", "add", box, "1", "--kind", "other", "--code", "1234", "--folder", "A"},
        {"rules", "add", box, "1", "--kind", "0", "--code", "1234"}, {"rules", "edit", box, "1", "--kind", "other", "--code", "x"},
        {"rules", "edit", box, "1", "--kind", "0", "--row", "sent"}, {"rules", "list", box, "0"},
        {"settings", "show", "--server", "x"}, {"settings", "set"}, {"settings", "set", "--days", "3d"},
    };
    for (const Args &args : wrong) {
        auto parsed = ParseCommandLine(args);
        const auto *error = std::get_if<UsageError>(&parsed);
        ASSERT_NE(error, nullptr) << ::testing::PrintToString(args);
        EXPECT_EQ(error->message.find('\n'), std::string::npos) << error->message;
    }
    const Args help[] = {{"--help"}, {"info", "--help"}, {"receive", "--help"}, {"which-rule", "--help"}, {"edit-box", "-h"},
                         {"delete-box", "--help"}, {"finish", "--help"}, {"rules", "add", "--help"}, {"settings", "set", "-h"}};
    for (const Args &args : help) CommandOf<HelpRequest>(args);
}

}  // namespace
}  // namespace quillbox
