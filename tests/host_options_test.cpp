// The host stand-in's command line.
#include "quillbox-host/options.h"

#include <gtest/gtest.h>

namespace quillbox {
namespace {

using Args = std::vector<std::string>;

template <typename T> T CommandOf(const Args &args) {
    auto parsed = ParseCommandLine(args);
    if (const auto *error = std::get_if<UsageError>(&parsed)) ADD_FAILURE() << error->message;
    const auto *command = std::get_if<Invocation>(&parsed) ? std::get_if<T>(&std::get<Invocation>(parsed).command) : nullptr;
    EXPECT_NE(command, nullptr) << ::testing::PrintToString(args);
    return command ? *command : T{};
}

TEST(HostOptions, CommandsTakeTheirFields) {
    const Args receive = {"receive", "--box", "12", "--file", "/in/a.tif", "--type", "sent", "--remote-number", "03-1234",
                          "--remote-id", "RID", "--sub-address", "5678", "--admin-mail", "a@b", "--language", "81",
                          "--remote-name", "X, Y; Z", "--smtp-account", "acct", "--smtp-password", "pw"};
    const ReceiveCommand r = CommandOf<ReceiveCommand>(receive);
    const Description &d = r.description;
    EXPECT_EQ(std::to_string(r.box) + "|" + r.file + "|" + std::to_string(d.dataType) + "|" + d.remoteNumber + "|" + d.remoteId +
                  "|" + d.subAddress + "|" + d.adminMail + "|" + std::to_string(d.languageCode) + "|" + d.remoteName + "|" +
                  d.smtpAccount.value_or("-") + "|" + d.smtpPassword,
              "12|/in/a.tif|0|03-1234|RID|5678|a@b|81|X, Y; Z|acct|pw");
    auto withModule = ParseCommandLine({"--module", "/m.so", "info"});
    EXPECT_EQ(std::get<Invocation>(withModule).modulePath, "/m.so");
    for (const auto &[type, expected] : {std::pair{"received", 1}, {"sent", 0}, {"report", 2}})
        EXPECT_EQ(CommandOf<ReceiveCommand>({"receive", "--box", "1", "--file", "f", "--type", type}).description.dataType, expected);

    const auto edit = CommandOf<EditBoxCommand>({"edit-box", "--box", "8", "--from", "5"});
    EXPECT_EQ(Args({std::to_string(edit.mode), std::to_string(edit.fromBox), std::to_string(edit.box), edit.handler}),
              Args({"1", "5", "8", "WbFaxRcvExt.dll"}));
    EXPECT_FALSE(edit.text.empty());
    EXPECT_EQ(CommandOf<EditBoxCommand>({"edit-box", "--new", "--box", "9"}).fromBox, 0u);
    const auto leave = CommandOf<EditBoxCommand>({"edit-box", "--box", "3", "--leave", "--delete-rules", "--handler", "Other.dll"});
    EXPECT_EQ(leave.mode, 2u);
    EXPECT_TRUE(leave.text.empty());
    EXPECT_EQ(leave.handler, "Other.dll");
    EXPECT_EQ(CommandOf<DeleteBoxCommand>({"delete-box", "--box", "4"}).box, 4u);
    EXPECT_TRUE(CommandOf<FinishCommand>({"finish", "--commit"}).commit);
    EXPECT_FALSE(CommandOf<FinishCommand>({"finish", "--discard"}).commit);
    const auto rules = CommandOf<RulesCommand>({"rules", "edit", "--box", "2", "--edit-box", "8", "--kind", "other", "--row", "received"});
    EXPECT_EQ(rules.box * 1000 + rules.editBox, 2008u);
    EXPECT_EQ(rules.row.value_or(""), "OtherFile");
}

TEST(HostOptions, WrongInputIsOneLineErrorAndHelpIsEverywhere) {
    const Args wrong[] = {
        {},
        {"frobnicate"},
        {"info", "--box", "1"},
        {"--module"},
        {"receive", "--file", "f"},
        {"receive", "--box", "1"},
        {"receive", "--box", "x1", "--file", "f"},
        {"receive", "--box", "1000", "--file", "f"},
        {"receive", "--box", "-1", "--file", "f"},
        {"receive", "--box", "1", "--file", "f", "--type", "fax"},
        {"receive", "--box", "1", "--file", "f", "--language", "65536"},
        {"receive", "--box", "1", "--file", "f", "--remote-name", std::string(256, 'n')},
        {"receive", "--box", "1", "--file", "f", "--smtp-account", std::string(66, 'a')},
        {"receive", "--box", "1", "--file", "f", "--smtp-password", "pw"},
        {"receive", "--box", "1", "--file", "f", "--box", "2"},
        {"receive", "--box", "1", "--file"},
        {"receive", "--box", "1", "--file", std::string(260, 'p')},
        {"edit-box", "--box", "3", "--delete-rules"},
        {"edit-box", "--box", "3", "--new", "--from", "2"},
        {"edit-box", "--box", "3", "--leave", "--leave"},
        {"finish"},
        {"finish", "--commit", "--discard"},
        {"delete-box"},
        {"which-rule", "--type", "sent"},
        {"rules"},
        {"rules", "move", "--box", "1"},
        {"rules", "add", "--box", "1", "--code", "1234", "--folder", "A"},
        {"rules", "add", "--box", "1", "--kind", "other", "--code", "1234", "--folder", "A"},
        {"rules", "add", "--box", "1", "--kind", "0", "--code", "1234"},
        {"rules", "edit", "--box", "1", "--kind", "other", "--code", "x"},
        {"rules", "edit", "--box", "1", "--kind", "0", "--row", "sent"},
        {"rules", "list", "--box", "0"},
        {"settings", "show", "--server", "x"},
        {"settings", "set"},
        {"settings", "set", "--days", "3d"},
    };
    for (const Args &args : wrong) {
        auto parsed = ParseCommandLine(args);
        const auto *error = std::get_if<UsageError>(&parsed);
        ASSERT_NE(error, nullptr) << ::testing::PrintToString(args);
        EXPECT_EQ(error->message.find('\n'), std::string::npos) << error->message;
    }
    const Args help[] = {{"--help"},          {"info", "--help"},   {"receive", "--help"}, {"which-rule", "--help"},
                         {"edit-box", "-h"},  {"delete-box", "--help"}, {"finish", "--help"}, {"rules", "--help"},
                         {"rules", "add", "--help"}, {"settings", "set", "-h"}, {"settings", "--help"}};
    for (const Args &args : help) CommandOf<HelpRequest>(args);
}

}  // namespace
}  // namespace quillbox
