// The host stand-in's command line.
#include "quillbox-host/options.h"

#include <gtest/gtest.h>

namespace quillbox {
namespace {

std::variant<Invocation, UsageError> Parse(std::vector<std::string> args) { return ParseCommandLine(args); }

std::string ErrorOf(std::vector<std::string> args) {
    auto parsed = Parse(std::move(args));
    const auto *error = std::get_if<UsageError>(&parsed);
    return error ? error->message : std::string("(accepted)");
}

TEST(HostOptions, ReceiveTakesEveryField) {
    auto parsed = Parse({"--module", "/m.so", "receive", "--box", "12", "--file", "/in/a.tif", "--type", "sent",
                         "--remote-number", "03-1234", "--remote-id", "RID", "--sub-address", "5678", "--admin-mail",
                         "a@b", "--language", "81", "--remote-name", "X, Y; Z", "--smtp-account", "acct",
                         "--smtp-password", "pw"});
    ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << std::get<UsageError>(parsed).message;
    const Invocation &inv = std::get<Invocation>(parsed);
    EXPECT_EQ(inv.modulePath, "/m.so");
    const auto &r = std::get<ReceiveCommand>(inv.command);
    EXPECT_EQ(r.box, 12u);
    EXPECT_EQ(r.file, "/in/a.tif");
    EXPECT_EQ(r.description.dataType, 0);
    EXPECT_EQ(r.description.remoteNumber, "03-1234");
    EXPECT_EQ(r.description.remoteId, "RID");
    EXPECT_EQ(r.description.subAddress, "5678");
    EXPECT_EQ(r.description.adminMail, "a@b");
    EXPECT_EQ(r.description.languageCode, 81);
    EXPECT_EQ(r.description.remoteName, "X, Y; Z");
    EXPECT_EQ(r.description.smtpAccount.value_or(""), "acct");
    EXPECT_EQ(r.description.smtpPassword, "pw");
}

TEST(HostOptions, TypesMapToTheDevicesDataTypes) {
    for (const auto &[type, expected] : {std::pair{"received", 1}, {"sent", 0}, {"report", 2}}) {
        auto parsed = Parse({"receive", "--box", "1", "--file", "f", "--type", type});
        ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << type;
        EXPECT_EQ(std::get<ReceiveCommand>(std::get<Invocation>(parsed).command).description.dataType, expected);
    }
}

TEST(HostOptions, WrongInputIsOneLineError) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"info", "--box", "1"},
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
        {"--module"},
    };
    for (const auto &args : wrong) {
        const std::string message = ErrorOf(args);
        EXPECT_NE(message, "(accepted)") << ::testing::PrintToString(args);
        EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    }
}

TEST(HostOptions, BoxEditCommands) {
    auto edit = std::get<EditBoxCommand>(std::get<Invocation>(Parse({"edit-box", "--box", "8", "--from", "5"})).command);
    EXPECT_EQ(edit.mode, 1u);
    EXPECT_EQ(edit.fromBox, 5u);
    EXPECT_EQ(edit.box, 8u);
    EXPECT_EQ(edit.handler, "WbFaxRcvExt.dll");
    EXPECT_FALSE(edit.text.empty());

    auto fresh = std::get<EditBoxCommand>(std::get<Invocation>(Parse({"edit-box", "--new", "--box", "9"})).command);
    EXPECT_EQ(fresh.fromBox, 0u);
    EXPECT_EQ(fresh.box, 9u);

    auto leave = std::get<EditBoxCommand>(
        std::get<Invocation>(Parse({"edit-box", "--box", "3", "--leave", "--delete-rules", "--handler", "Other.dll"})).command);
    EXPECT_EQ(leave.mode, 2u);
    EXPECT_TRUE(leave.text.empty());
    EXPECT_EQ(leave.handler, "Other.dll");

    EXPECT_EQ(std::get<DeleteBoxCommand>(std::get<Invocation>(Parse({"delete-box", "--box", "4"})).command).box, 4u);
    EXPECT_TRUE(std::get<FinishCommand>(std::get<Invocation>(Parse({"finish", "--commit"})).command).commit);
    EXPECT_FALSE(std::get<FinishCommand>(std::get<Invocation>(Parse({"finish", "--discard"})).command).commit);

    for (const auto &args : std::vector<std::vector<std::string>>{{"edit-box", "--box", "3", "--delete-rules"},
                                                                  {"edit-box", "--box", "3", "--new", "--from", "2"},
                                                                  {"edit-box", "--box", "3", "--leave", "--leave"},
                                                                  {"finish"},
                                                                  {"finish", "--commit", "--discard"},
                                                                  {"delete-box"},
                                                                  {"which-rule", "--type", "sent"}})
        EXPECT_NE(ErrorOf(args), "(accepted)") << ::testing::PrintToString(args);
}

TEST(HostOptions, HelpEverywhere) {
    for (const auto &args : std::vector<std::vector<std::string>>{{"--help"}, {"info", "--help"}, {"receive", "--help"},
                                                                  {"which-rule", "--help"}, {"edit-box", "-h"},
                                                                  {"delete-box", "--help"}, {"finish", "--help"}}) {
        auto parsed = Parse(args);
        ASSERT_TRUE(std::holds_alternative<Invocation>(parsed)) << args[0];
        EXPECT_TRUE(std::holds_alternative<HelpRequest>(std::get<Invocation>(parsed).command));
    }
}

}  // namespace
}  // namespace quillbox
