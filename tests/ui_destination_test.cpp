// The destination settings without a screen: code and folder checks on OK in their order,
// the address lists, the rule value per kind and where it is written, this computer's names,
// and the mail address window.
#include "distribution/network_path.h"
#include "base/text.h"
#include "platform/platform.h"
#include "settings/box_edit.h"
#include "settings/profile_file.h"
#include "settings/config.h"
#include "settings/rule_file.h"
#include "test_support.h"
#include "ui/destination.h"
#include "ui/mail_addresses.h"

#include <algorithm>
#include <cctype>
#include <tuple>

namespace wbfax {
namespace {

using test::WriteFile;

DestinationForm Form(int kind, std::string code, std::string folder) {
    DestinationForm form;
    form.kind = kind;
    form.code = std::move(code);
    form.folderName = folder.substr(folder.rfind('\\') == std::string::npos ? 0 : folder.rfind('\\') + 1);
    form.selectedFolder = std::move(folder);
    return form;
}

TEST(DestinationCodes, EachKindHasItsCharactersShapeAndTypedLength) {
    // Longer than its field takes: kept when it comes from the rule file, refused when typed
    // where nothing limits it.
    const std::tuple<int, std::string, int, int> cases[] = {
        {kSubAddress, "123", kMsgSubAddressLength, kNoMessage}, {kSubAddress, "1234", kNoMessage, kNoMessage},
        {kSubAddress, std::string(20, '9'), kNoMessage, kNoMessage}, {kSubAddress, std::string(21, '9'), kNoMessage, kMsgSubAddressLength},
        {kSubAddress, "12a4", kMsgBadSubAddress, kNoMessage}, {kSenderNumber, "*0312345678", kNoMessage, kNoMessage},
        {kSenderNumber, "*031234*", kNoMessage, kNoMessage}, {kSenderNumber, "+81 3 1234 5678", kNoMessage, kNoMessage},
        {kSenderNumber, "03*1234", kMsgBadSenderNumber, kNoMessage}, {kSenderNumber, "*", kMsgBadSenderNumber, kNoMessage},
        {kSenderNumber, " 031234", kMsgBadSenderNumber, kNoMessage}, {kSenderNumber, std::string(21, '1'), kNoMessage, kMsgBadSenderNumber},
        {kDestinationNumber, "03 1234*", kNoMessage, kNoMessage}, {kDestinationNumber, std::string(32, '1'), kNoMessage, kNoMessage},
        {kDestinationNumber, std::string(33, '1'), kNoMessage, kMsgBadDestinationNumber},
        {kDestinationNumber, "03-1234", kMsgBadDestinationNumber, kNoMessage},
        {kDestinationNumber, "+8131234", kMsgBadDestinationNumber, kNoMessage},
        {kOther, "anything at all;,", kNoMessage, kNoMessage}, {kOther, std::string(300, 'x'), kNoMessage, kNoMessage},
    };
    for (const auto &[kind, code, message, typed] : cases)
        EXPECT_EQ(std::make_pair(CheckCode(kind, code), CheckTypedCode(kind, code)), std::make_pair(message, typed)) << kind << " [" << code << "]";
}

TEST(DestinationChecks, OkChecksInTheirOrder) {
    using M = DestinationMode;
    using F = FormField;
    const std::tuple<int, std::string, std::string, std::string, M, int, int, F> cases[] = {
        // An empty code is reported before anything else, with the kind's own message.
        {kSubAddress, "", "", "", M::New, -1, kMsgNoSubAddress, F::Code},
        {kSenderNumber, "", "", "", M::New, -1, kMsgNoSenderNumber, F::Code},
        {kDestinationNumber, "", "", "", M::New, -1, kMsgNoDestinationNumber, F::Code},
        {kOther, "", "", "", M::New, -1, kMsgNoSubAddress, F::Code},
        {kSubAddress, "12", "", "", M::New, -1, kMsgSubAddressLength, F::Code},  // the code before the folder
        {kSubAddress, "1234", "", "", M::New, -1, kMsgNoFolder, F::None},
        {kSubAddress, "1234", "Sa/les", "Sales", M::New, -1, kMsgBadFolderName, F::None},
        {kSubAddress, "1234", "box1", "", M::New, -1, kMsgNoFolder, F::None},  // the root is no storage folder
        // Kind 3 shows its label as the code and checks only the folder.
        {kOther, "Received fax", "In", "Rx\\In", M::New, -1, kNoMessage, F::None},
        // A code differing only by spaces is a duplicate, but not of the changed rule's own row.
        {kSenderNumber, "0312 34", "Fax", "Fax", M::New, -1, kMsgDuplicate, F::Code},
        {kSenderNumber, "0312 34", "Fax", "Fax", M::Change, 0, kNoMessage, F::None},
        {kSenderNumber, "0312 34", "Fax", "Fax", M::Change, 1, kMsgDuplicate, F::Code},
        {kSenderNumber, "03 12345", "Fax", "Fax", M::Change, 1, kNoMessage, F::None},
    };
    for (const auto &[kind, code, name, folder, mode, selected, message, focus] : cases) {
        DestinationForm form = Form(kind, code, folder);
        form.folderName = name;
        form.mode = mode;
        form.ownerSelected = selected;
        form.ownerRows = {{"03 1234", "A", {}}, {"0999", "B", {}}};
        const Refusal refusal = CheckDestination(form).value_or(Refusal{});
        EXPECT_TRUE(refusal.message == message && refusal.focus == focus) << kind << " [" << code << "] " << name;
    }
}

TEST(AddressLists, RowsFromAndToTheRuleValueTenAtMost) {
    const std::tuple<std::string, std::vector<std::string>, std::string> cases[] = {
        {"", {}, ""}, {"a@x", {"a@x"}, "a@x"}, {"a@x,,b@y", {"a@x", "", "b@y"}, "a@x,b@y"},
        {"a@x,b@y,", {"a@x", "b@y"}, "a@x,b@y"}, {",a@x", {"", "a@x"}, "a@x"}};
    for (const auto &[text, rows, joined] : cases) {
        EXPECT_EQ(SplitAddressList(text), rows) << text;
        EXPECT_EQ(JoinAddressList(rows), joined) << text;
    }

    std::vector<std::string> rows;
    for (int i = 0; i < 9; ++i) rows.push_back(Format("u%d@x", i));
    EXPECT_EQ(NewAddressRefusal(rows), kNoMessage);
    const int added = BeginNewAddress(rows);
    EXPECT_EQ(rows[static_cast<std::size_t>(added)], "");
    EXPECT_EQ(BeginNewAddress(rows), added);  // the empty row is taken again
    EXPECT_EQ(NewAddressRefusal(rows), kNoMessage);  // 9 and an empty row
    rows[static_cast<std::size_t>(added)] = "u9@x";
    EXPECT_EQ(CountAddresses(rows), 10);
    EXPECT_EQ(NewAddressRefusal(rows), kMsgTooManyAddresses);
    // The mail address window adds its selected rows only while the list stays within 10.
    std::vector<std::string> mail(rows.begin(), rows.begin() + 9);
    EXPECT_EQ(AddFromMailWindow(mail, {"new1@x", "new2@x"}), kMsgTooManyAddresses);
    EXPECT_EQ(AddFromMailWindow(mail, {"U0@X"}), kNoMessage);  // there already, in other letters
    EXPECT_EQ(mail.size(), 9u);
    EXPECT_EQ(AddFromMailWindow(mail, {"new1@x"}), kNoMessage);
    EXPECT_EQ(mail.size(), 10u);
    EXPECT_EQ(mail.front(), "new1@x");
}

TEST(AddressLists, TypedAddressesAreChecked) {
    const std::vector<std::string> rows = {"Sales@Example.com", "", "PC01"};
    using V = AddressVerdict;
    const std::tuple<std::string, int, bool, V, int> cases[] = {
        {"sales@example.COM", 1, true, V::RefusedSilently, kNoMessage},
        {"SALES@EXAMPLE.COM", 0, true, V::Accepted, kNoMessage},  // a row's own text is no duplicate of itself
        {"a.b+c-d_e{x}@x-y.org", 1, true, V::Accepted, kNoMessage}, {"a?b@x", 1, true, V::Refused, kMsgBadCharacters},
        {"a b@x", 1, true, V::Refused, kMsgBadCharacters}, {std::string(65, 'm'), 1, true, V::Refused, kMsgBadCharacters},
        {"pc01", 1, false, V::RefusedSilently, kNoMessage}, {"PC-02.office", 1, false, V::Accepted, kNoMessage},
        {"PC_02", 1, false, V::Refused, kMsgBadPcAddress},
    };
    for (const auto &[text, row, mail, verdict, message] : cases) {
        const AddressCheck check = CheckAddressText(rows, row, text, mail);
        EXPECT_TRUE(check.verdict == verdict && check.message == message) << text;
    }
}

TEST(ThisComputer, ItsNameInAnyCaseAndItsAddresses) {
    // A computer without a name is never matched, nor one whose name does not resolve.
    const std::vector<std::string> addresses = {"192.168.1.20", "10.0.0.5"}, none;
    EXPECT_EQ((std::vector<int>{IsThisComputerVia("faxserver", "FaxServer", addresses),
                                IsThisComputerVia("10.0.0.5", "FaxServer", addresses),
                                IsThisComputerVia("10.0.0.50", "FaxServer", addresses), IsThisComputerVia("", "", addresses),
                                IsThisComputerVia("faxserver", "FaxServer", none)}),
              (std::vector<int>{1, 1, 0, 0, 0}));
    EXPECT_EQ(CheckPickedComputer({"Other-PC"}, "other-pc").verdict, AddressVerdict::RefusedSilently);
    EXPECT_EQ(CheckPickedComputer({}, "Other-PC").verdict, AddressVerdict::Accepted);

    const std::string host = ShortHostName();
    if (host.empty()) GTEST_SKIP() << "this computer has no name";
    std::string upper = host;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_EQ(std::make_pair(IsThisComputer(upper), IsThisComputer(host + "x")), std::make_pair(1, 0));
    platform::StartNetworking();
    const std::vector<std::string> own = platform::HostAddresses(host);
    platform::StopNetworking();
    for (const std::string &address : own) {
        EXPECT_EQ(IsThisComputer(address), 1) << address;
        EXPECT_EQ(CheckAddressText({}, -1, address, false).message, kMsgCannotNotify) << address;
        EXPECT_EQ(CheckPickedComputer({}, address).message, kMsgCannotNotify) << address;
    }
}

class DestinationFiles : public test::ScratchInstall {
protected:
    static std::string Key(const std::string &file, const char *section, const char *key) {
        std::string value;
        ReadProfileText(section, key, "?", value, file);
        return value;
    }
};

TEST_F(DestinationFiles, MailNotificationFollowsThePendingSettingANewRuleTheSmallestFreeKey) {
    EXPECT_EQ(ReadNotifyByMail(), 1);
    const std::tuple<const char *, const char *, int> steps[] = {{"USESMTP", "0", 0}, {"USESMTPWork", "7", 1}, {"USESMTP", "1", 1},
                                                                 {"USESMTPWork", "0", 0}};
    for (const auto &[key, value, byMail] : steps) {
        platform::ProfileWriteString("RCVFAX", key, value, ConfigFilePath().c_str());
        EXPECT_EQ(ReadNotifyByMail(), byMail) << key << "=" << value;
    }

    EXPECT_EQ(InitialKeyName(kSubAddress, "", 3), "F001");  // no work file yet
    AssignEditSlot(2, 3);
    WriteFile(platform::NativePath(WorkRuleFilePath(2)),
              "[FCODE]\r\nF001=A;1111;;\r\nF002=B;2222;;\r\nF004=C;4444;;\r\n[TSI]\r\nT002=D;5;5;;\r\n");
    const std::tuple<int, const char *, const char *> cases[] = {{kSubAddress, "", "F003"}, {kSenderNumber, "", "T001"},
                                                                 {kDestinationNumber, "", "D001"}, {kSubAddress, "F009", "F009"},
                                                                 {kOther, "OtherFile", "OtherFile"}};
    for (const auto &[kind, key, expected] : cases) EXPECT_EQ(InitialKeyName(kind, key, 3), expected) << kind << key;
}

TEST_F(DestinationFiles, OkWritesTheRuleIntoTheWorkFileOfTheEditSlot) {
    AssignEditSlot(4, 7);
    const std::string work = WorkRuleFilePath(4);
    DestinationRecord record;
    record.editBoxNumber = 7;
    EXPECT_TRUE(ConfirmDestination(Form(kDestinationNumber, "03-1234", "Out"), "D001", {"a@x"}, {}, record).refusal);
    EXPECT_FALSE(test::Exists(platform::NativePath(work)) || !record.code.empty());

    const DestinationOutcome done = ConfirmDestination(Form(kDestinationNumber, "03 1234", "Out\\Faxes"), "D001",
                                                       {"b@x", "", "a@x"}, {"PC1"}, record);
    EXPECT_FALSE(done.refusal || done.workFileMissing);
    EXPECT_EQ(Key(work, "DTN", "D001"), "Out\\Faxes;03 1234;031234;b@x,a@x;PC1");
    EXPECT_EQ(record.code + "|" + record.folder, "03 1234|Out\\Faxes");
    ConfirmDestination(Form(kSenderNumber, "+81 3 1234", "In"), "T002", {}, {}, record);
    EXPECT_EQ(Key(work, "TSI", "T002"), "In;+81 3 1234;+8131234;;");
    EXPECT_EQ(RuleValue(kSubAddress, "In", std::string(70, '7'), "", ""), "In;" + std::string(63, '7') + ";;");

    // Without the slot nothing is stored, but the dialog closes with the values.
    ReleaseEditSlot(4);
    const DestinationOutcome lost = ConfirmDestination(Form(kSubAddress, "5555", "X"), "F001", {}, {}, record);
    EXPECT_TRUE(lost.workFileMissing);
    EXPECT_EQ(record.code + "|" + Key(work, "FCODE", "F001"), "5555|?");
}

TEST_F(DestinationFiles, TheMailAddressWindowOffersEachAddressOnce) {
    WriteFile(platform::NativePath(DataDir() + "/Work001.rfd"),
              "F999=Before;1;zz@before;\r\n"  // before any rule section
              "[FCODE]\r\nF001=A;1234;sales@x,info@x;PC1\r\nF002=B;5678;;\r\nF003=C;9999;last@x\r\n"
              "[TSI]\r\nT001=D;03 1;031;sales@x;\r\n[OTHER]\r\nOtherFile=Rx;;sales@x,Boss@x;\r\n[COMMON]\r\nOriginal=001\r\n");
    EXPECT_EQ(CollectMailAddresses(DataDir() + "\\Work001.rfd"), (std::vector<std::string>{"Boss@x", "info@x", "sales@x"}));
    EXPECT_TRUE(CollectMailAddresses(DataDir() + "\\Missing.rfd").empty());
}

}  // namespace
}  // namespace wbfax
