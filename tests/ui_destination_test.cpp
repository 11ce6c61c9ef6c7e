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

namespace wbfax {
namespace {

using test::WriteFile;

DestinationForm Form(int kind, std::string code, std::string folder = "Sales") {
    DestinationForm form;
    form.kind = kind;
    form.code = std::move(code);
    form.folderName = folder.substr(folder.rfind('\\') == std::string::npos ? 0 : folder.rfind('\\') + 1);
    form.selectedFolder = std::move(folder);
    return form;
}

int RefusalOf(const DestinationForm &form) {
    const std::optional<Refusal> refusal = CheckDestination(form);
    return refusal ? refusal->message : kNoMessage;
}

TEST(DestinationCodes, EachKindHasItsCharactersAndShape) {
    const struct {
        int kind;
        std::string code;
        int message;
    } cases[] = {
        {kSubAddress, "123", kMsgSubAddressLength},       {kSubAddress, "1234", kNoMessage},
        {kSubAddress, std::string(21, '9'), kNoMessage},  {kSubAddress, "12a4", kMsgBadSubAddress},
        {kSenderNumber, "*0312345678", kNoMessage},       {kSenderNumber, "*031234*", kNoMessage},
        {kSenderNumber, "+81 3 1234 5678", kNoMessage},   {kSenderNumber, "03*1234", kMsgBadSenderNumber},
        {kSenderNumber, "*", kMsgBadSenderNumber},        {kSenderNumber, " 031234", kMsgBadSenderNumber},
        {kDestinationNumber, "03 1234*", kNoMessage},     {kDestinationNumber, std::string(33, '1'), kNoMessage},
        {kDestinationNumber, "03-1234", kMsgBadDestinationNumber}, {kDestinationNumber, "+8131234", kMsgBadDestinationNumber},
        {kOther, "anything at all;,", kNoMessage},
    };
    for (const auto &c : cases) EXPECT_EQ(CheckCode(c.kind, c.code), c.message) << c.kind << " [" << c.code << "]";

    // Longer than its field takes: kept when it comes from the rule file, refused when typed
    // where nothing limits it.
    EXPECT_EQ(CheckTypedCode(kSubAddress, std::string(20, '9')), kNoMessage);
    EXPECT_EQ(CheckTypedCode(kSubAddress, std::string(21, '9')), kMsgSubAddressLength);
    EXPECT_EQ(CheckTypedCode(kSenderNumber, std::string(21, '1')), kMsgBadSenderNumber);
    EXPECT_EQ(CheckTypedCode(kDestinationNumber, std::string(32, '1')), kNoMessage);
    EXPECT_EQ(CheckTypedCode(kDestinationNumber, std::string(33, '1')), kMsgBadDestinationNumber);
    EXPECT_EQ(CheckTypedCode(kOther, std::string(300, 'x')), kNoMessage);
}

TEST(DestinationChecks, OkChecksInTheirOrder) {
    // An empty code is reported before anything else, with the kind's own message.
    const std::pair<int, int> missing[] = {{kSubAddress, kMsgNoSubAddress},
                                           {kSenderNumber, kMsgNoSenderNumber},
                                           {kDestinationNumber, kMsgNoDestinationNumber},
                                           {kOther, kMsgNoSubAddress}};
    for (const auto &[kind, message] : missing) {
        const std::optional<Refusal> refusal = CheckDestination(Form(kind, "", ""));
        ASSERT_TRUE(refusal) << kind;
        EXPECT_EQ(refusal->message, message);
        EXPECT_EQ(refusal->focus, FormField::Code);
    }
    EXPECT_EQ(RefusalOf(Form(kSubAddress, "12", "")), kMsgSubAddressLength);  // the code before the folder
    EXPECT_EQ(RefusalOf(Form(kSubAddress, "1234", "")), kMsgNoFolder);
    DestinationForm slash = Form(kSubAddress, "1234", "Sales");
    slash.folderName = "Sa/les";
    EXPECT_EQ(RefusalOf(slash), kMsgBadFolderName);

    // The root folder has a name but is no storage folder.
    DestinationForm root = Form(kSubAddress, "1234", "");
    root.folderName = "box1";
    EXPECT_EQ(RefusalOf(root), kMsgNoFolder);
    // Kind 3 shows its label as the code and checks only the folder.
    EXPECT_EQ(RefusalOf(Form(kOther, "Received fax", "Rx\\In")), kNoMessage);
}

TEST(DestinationChecks, ACodeDifferingOnlyBySpacesIsADuplicate) {
    DestinationForm form = Form(kSenderNumber, "0312 34", "Fax");
    form.ownerRows = {{"03 1234", "A", {}}, {"0999", "B", {}}};
    form.mode = DestinationMode::New;
    const std::optional<Refusal> refusal = CheckDestination(form);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->message, kMsgDuplicate);
    EXPECT_EQ(refusal->focus, FormField::Code);

    form.mode = DestinationMode::Change;
    form.ownerSelected = 0;  // the rule's own row
    EXPECT_EQ(RefusalOf(form), kNoMessage);
    form.ownerSelected = 1;
    EXPECT_EQ(RefusalOf(form), kMsgDuplicate);
    form.code = "03 12345";
    EXPECT_EQ(RefusalOf(form), kNoMessage);
}

TEST(AddressLists, RowsFromAndToTheRuleValue) {
    const struct {
        std::string text;
        std::vector<std::string> rows;
        std::string joined;
    } cases[] = {{"", {}, ""}, {"a@x", {"a@x"}, "a@x"}, {"a@x,,b@y", {"a@x", "", "b@y"}, "a@x,b@y"},
                 {"a@x,b@y,", {"a@x", "b@y"}, "a@x,b@y"}, {",a@x", {"", "a@x"}, "a@x"}};
    for (const auto &c : cases) {
        EXPECT_EQ(SplitAddressList(c.text), c.rows) << c.text;
        EXPECT_EQ(JoinAddressList(c.rows), c.joined) << c.text;
    }
}

TEST(AddressLists, TenAddressesAtMostHoweverTheyCome) {
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
    EXPECT_EQ(mail.size(), 9u);
    EXPECT_EQ(AddFromMailWindow(mail, {"U0@X"}), kNoMessage);  // there already, in other letters
    EXPECT_EQ(mail.size(), 9u);
    EXPECT_EQ(AddFromMailWindow(mail, {"new1@x"}), kNoMessage);
    EXPECT_EQ(mail.size(), 10u);
    EXPECT_EQ(mail.front(), "new1@x");
}

TEST(AddressLists, TypedAddressesAreChecked) {
    const std::vector<std::string> rows = {"Sales@Example.com", "", "PC01"};
    const struct {
        std::string text;
        bool mail;
        AddressVerdict verdict;
        int message;
    } cases[] = {
        {"sales@example.COM", true, AddressVerdict::RefusedSilently, kNoMessage},
        {"a.b+c-d_e{x}@x-y.org", true, AddressVerdict::Accepted, kNoMessage},
        {"a?b@x", true, AddressVerdict::Refused, kMsgBadCharacters},
        {"a b@x", true, AddressVerdict::Refused, kMsgBadCharacters},
        {std::string(65, 'm'), true, AddressVerdict::Refused, kMsgBadCharacters},
        {"pc01", false, AddressVerdict::RefusedSilently, kNoMessage},
        {"PC-02.office", false, AddressVerdict::Accepted, kNoMessage},
        {"PC_02", false, AddressVerdict::Refused, kMsgBadPcAddress},
    };
    for (const auto &c : cases) {
        const AddressCheck check = CheckAddressText(rows, 1, c.text, c.mail);
        EXPECT_EQ(check.verdict, c.verdict) << c.text;
        EXPECT_EQ(check.message, c.message) << c.text;
    }
    // A row's own text in other letters is no duplicate of itself.
    EXPECT_EQ(CheckAddressText(rows, 0, "SALES@EXAMPLE.COM", true).verdict, AddressVerdict::Accepted);
}

TEST(ThisComputer, ItsNameInAnyCaseAndItsAddresses) {
    const std::vector<std::string> addresses = {"192.168.1.20", "10.0.0.5"};
    EXPECT_EQ(IsThisComputerVia("faxserver", "FaxServer", addresses), 1);
    EXPECT_EQ(IsThisComputerVia("10.0.0.5", "FaxServer", addresses), 1);
    EXPECT_EQ(IsThisComputerVia("10.0.0.50", "FaxServer", addresses), 0);
    EXPECT_EQ(IsThisComputerVia("", "", addresses), 0);  // a computer without a name is never matched
    EXPECT_EQ(IsThisComputerVia("faxserver", "FaxServer", {}), 0);  // nor one whose name does not resolve

    const std::string host = ShortHostName();
    if (host.empty()) GTEST_SKIP() << "this computer has no name";
    std::string upper = host;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    EXPECT_EQ(IsThisComputer(upper), 1);
    EXPECT_EQ(IsThisComputer(host + "x"), 0);
    platform::StartNetworking();
    const std::vector<std::string> own = platform::HostAddresses(host);
    platform::StopNetworking();
    for (const std::string &address : own) {
        EXPECT_EQ(IsThisComputer(address), 1) << address;
        EXPECT_EQ(CheckAddressText({}, -1, address, false).message, kMsgCannotNotify) << address;
        EXPECT_EQ(CheckPickedComputer({}, address).message, kMsgCannotNotify) << address;
    }
    EXPECT_EQ(CheckPickedComputer({"Other-PC"}, "other-pc").verdict, AddressVerdict::RefusedSilently);
    EXPECT_EQ(CheckPickedComputer({}, "Other-PC").verdict, AddressVerdict::Accepted);
}

class DestinationFiles : public test::ScratchInstall {
protected:
    static std::string Key(const std::string &file, const char *section, const char *key) {
        std::string value;
        ReadProfileText(section, key, "?", value, file);
        return value;
    }
    void Setting(const char *key, const char *value) {
        platform::ProfileWriteString("RCVFAX", key, value, ConfigFilePath().c_str());
    }
};

TEST_F(DestinationFiles, NotificationByMailFollowsThePendingSetting) {
    EXPECT_EQ(ReadNotifyByMail(), 1);
    Setting("USESMTP", "0");
    EXPECT_EQ(ReadNotifyByMail(), 0);
    Setting("USESMTPWork", "7");
    EXPECT_EQ(ReadNotifyByMail(), 1);
    Setting("USESMTP", "1");
    Setting("USESMTPWork", "0");
    EXPECT_EQ(ReadNotifyByMail(), 0);
}

TEST_F(DestinationFiles, ANewRuleTakesTheSmallestFreeKey) {
    EXPECT_EQ(InitialKeyName(kSubAddress, "", 3), "F001");  // no work file yet
    AssignEditSlot(2, 3);
    WriteFile(platform::NativePath(WorkRuleFilePath(2)),
              "[FCODE]\r\nF001=A;1111;;\r\nF002=B;2222;;\r\nF004=C;4444;;\r\n[TSI]\r\nT002=D;5;5;;\r\n");
    EXPECT_EQ(InitialKeyName(kSubAddress, "", 3), "F003");
    EXPECT_EQ(InitialKeyName(kSenderNumber, "", 3), "T001");
    EXPECT_EQ(InitialKeyName(kDestinationNumber, "", 3), "D001");
    EXPECT_EQ(InitialKeyName(kSubAddress, "F009", 3), "F009");
    EXPECT_EQ(InitialKeyName(kOther, "OtherFile", 3), "OtherFile");
}

TEST_F(DestinationFiles, OkWritesTheRuleIntoTheWorkFileOfTheEditSlot) {
    AssignEditSlot(4, 7);
    const std::string work = WorkRuleFilePath(4);
    DestinationRecord record;
    record.editBoxNumber = 7;

    DestinationForm refused = Form(kDestinationNumber, "03-1234", "Out");
    EXPECT_TRUE(ConfirmDestination(refused, "D001", {"a@x"}, {}, record).refusal);
    EXPECT_FALSE(test::Exists(platform::NativePath(work)));
    EXPECT_EQ(record.code, "");

    const DestinationOutcome done = ConfirmDestination(Form(kDestinationNumber, "03 1234", "Out\\Faxes"), "D001",
                                                       {"b@x", "", "a@x"}, {"PC1"}, record);
    EXPECT_FALSE(done.refusal);
    EXPECT_FALSE(done.workFileMissing);
    EXPECT_EQ(Key(work, "DTN", "D001"), "Out\\Faxes;03 1234;031234;b@x,a@x;PC1");
    EXPECT_EQ(record.code + "|" + record.folder, "03 1234|Out\\Faxes");
    ConfirmDestination(Form(kSenderNumber, "+81 3 1234", "In"), "T002", {}, {}, record);
    EXPECT_EQ(Key(work, "TSI", "T002"), "In;+81 3 1234;+8131234;;");
    EXPECT_EQ(RuleValue(kSubAddress, "In", std::string(70, '7'), "", ""), "In;" + std::string(63, '7') + ";;");

    // Without the slot nothing is stored, but the dialog closes with the values.
    ReleaseEditSlot(4);
    const DestinationOutcome lost = ConfirmDestination(Form(kSubAddress, "5555", "X"), "F001", {}, {}, record);
    EXPECT_TRUE(lost.workFileMissing);
    EXPECT_EQ(record.code, "5555");
    EXPECT_EQ(Key(work, "FCODE", "F001"), "?");
}

TEST_F(DestinationFiles, TheMailAddressWindowOffersEachAddressOnce) {
    const std::string file = platform::NativePath(DataDir() + "/Work001.rfd");
    WriteFile(file,
              "F999=Before;1;zz@before;\r\n"  // before any rule section
              "[FCODE]\r\nF001=A;1234;sales@x,info@x;PC1\r\nF002=B;5678;;\r\nF003=C;9999;last@x\r\n"
              "[TSI]\r\nT001=D;03 1;031;sales@x;\r\n"
              "[OTHER]\r\nOtherFile=Rx;;sales@x,Boss@x;\r\n"
              "[COMMON]\r\nOriginal=001\r\n");
    EXPECT_EQ(CollectMailAddresses(DataDir() + "\\Work001.rfd"),
              (std::vector<std::string>{"Boss@x", "info@x", "sales@x"}));
    EXPECT_TRUE(CollectMailAddresses(DataDir() + "\\Missing.rfd").empty());
}

}  // namespace
}  // namespace wbfax
