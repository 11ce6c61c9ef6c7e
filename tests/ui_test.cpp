// The settings dialogs' decisions without a screen; the drawn dialogs are tests/gui's.
#include "entry/entry.h"
#include "base/module.h"
#include "base/text.h"
#include "distribution/network_path.h"
#include "platform/platform.h"
#include "settings/box_edit.h"
#include "settings/config.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"
#include "test_support.h"
#include "ui/destination.h"
#include "ui/distribution_list.h"
#include "ui/environment.h"
#include "ui/error_log.h"
#include "ui/folder_tree.h"
#include "ui/list_view.h"
#include "ui/mail_addresses.h"
#include "ui/messages.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

#if defined(_WIN32)
#include <windows.h>
#undef FreeModule
#undef FindText
#endif

namespace wbfax {
namespace {

namespace fs = std::filesystem;
using M = DestinationMode;
using F = FormField;
using V = AddressVerdict;

// The keys' values of a profile file's section, "?" for a missing one, each followed by "|".
std::string Keys(const std::string &file, const char *section, std::initializer_list<const char *> keys) {
    std::string values;
    for (const char *key : keys) values += test::ProfileKey(file, section, key) + "|";
    return values;
}
std::string Slots() { return Keys(ConfigFilePath(), "RCVFAX_EDIT", {"wd001", "wd002"}); }
void Write(const std::string &modulePath, const std::string &content) { test::WriteFile(platform::NativePath(modulePath), content); }
std::string Codes(const std::vector<RuleRow> &rows) {
    std::string codes;
    for (const RuleRow &row : rows) codes += row.code + "=" + row.folder + " ";
    return codes;
}

using ListDialog = test::ScratchInstall;

TEST_F(ListDialog, ABoxWithoutRulesGetsTheTwoFallbackEntries) {
    ListSession session{0, 5, 5, {}, true};
    EXPECT_TRUE(OpenList(session).empty());
    EXPECT_EQ(Slots() + Keys(WorkRuleFilePath(1), "OTHER", {"OtherFile", "TxFile"}) + Keys(WorkRuleFilePath(1), "COMMON", {"Original"}),
              "005|?|Rx;;|Tx;;|?|");
    std::vector<RuleRow> rows;
    ASSERT_TRUE(ChangeKind(session, kOther, rows));
    EXPECT_FALSE(ChangeKind(session, kOther, rows));  // the same line again: nothing happens
    EXPECT_EQ(Codes(rows), LoadLabel(kLabelReceivedFax) + "=Rx " + LoadLabel(kLabelSentDocument) + "=Tx ");
}

TEST_F(ListDialog, ARuleFileIsCopiedOnceAndTheSlotsWorkFileShownAgain) {
    Write(RuleFilePath(3), "[FCODE]\r\nF001=Sales;1234;;\r\nF002=Orders;0456;a@b;\r\n");
    Write(WorkRuleFilePath(1), "[FCODE]\r\nF001=Leftover;9999;;\r\n");  // a free slot's old file
    ListSession first{0, 3, 3, {}, true};
    EXPECT_EQ(Codes(OpenList(first)), "0456=Orders 1234=Sales ");
    EXPECT_EQ(Keys(WorkRuleFilePath(1), "COMMON", {"Original"}), "003|");
    WriteProfileText("FCODE", "F003", std::string_view("New;7777;;"), WorkRuleFilePath(1));
    Write(RuleFilePath(3), "[FCODE]\r\nF001=Changed;1111;;\r\n");
    // Opened again, now to be edited under another number: the box's slot goes along with it.
    ListSession again{0, 3, 8, {}, true};
    EXPECT_EQ(Codes(OpenList(again)), "0456=Orders 1234=Sales 7777=New ");
    EXPECT_EQ(Slots(), "008|?|");
}

TEST_F(ListDialog, EveryKindReadsItsOwnSectionAndEditFindsTheRuleOfTheRow) {
    std::string fcode = "[FCODE]\r\nF002=A;1234;m1@x;PC1\r\n";
    for (int n = 3; n <= 101; ++n) fcode += Format("F%03d=F;%04d;;\r\n", n, n + 5000);
    Write(RuleFilePath(4), fcode + "[TSI]\r\nT004=B;03 1234;031234;m2@x,m3@x;PC2\r\nT001=C;*99;*99;;\r\n"
                                   "[DTN]\r\nD001=D;0120*;0120*;;\r\n[OTHER]\r\nOtherFile=Rx;;m4@x;PC4\r\n");
    ListSession session{0, 4, 4, {}, true};
    std::vector<RuleRow> rows = OpenList(session);
    ASSERT_EQ(rows.size(), 100u);  // New stops at a hundred rules
    EXPECT_EQ(std::make_pair(NewRuleRefusal(rows.size()), NewRuleRefusal(rows.size() - 1)), std::make_pair(int{kMsgListFull}, int{kNoMessage}));
    const std::pair<int, std::string> kinds[] = {{kSenderNumber, "*99=C 03 1234=B "}, {kDestinationNumber, "0120*=D "},
                                                 {kOther, LoadLabel(kLabelReceivedFax) + "=Rx "}};  // no TxFile: one row
    for (const auto &[kind, codes] : kinds) {
        ChangeKind(session, kind, rows);
        EXPECT_EQ(Codes(rows), codes) << kind;
    }

    const std::tuple<int, RuleRow, const char *> edits[] = {
        {kSubAddress, {"1234", "A", {}}, "F002|m1@x|PC1"},
        {kSenderNumber, {"03 1234", "B", {}}, "T004|m2@x,m3@x|PC2"},  // the pattern is skipped
        {kSubAddress, {"1234", "a", {}}, "||"},  // code and folder must match exactly, else a new rule's key
        {kOther, {LoadLabel(kLabelReceivedFax), "Rx", {}}, "OtherFile|m4@x|PC4"}, {kOther, {LoadLabel(kLabelSentDocument), "Tx", {}}, "TxFile||"},
    };
    for (const auto &[kind, row, expected] : edits) {
        const DestinationRecord r = RecordForRow(session, kind, row);
        EXPECT_EQ(r.keyName + "|" + r.mailAddresses + "|" + r.pcAddresses, expected) << row.code;
    }
}

TEST_F(ListDialog, AnEditedCodeMovesItsRowAChangedFolderDoesNot) {
    std::vector<RuleRow> rows;
    for (const char *code : {"3000", "1000", "2000"}) InsertRowSorted(rows, {code, "F", {}});
    EXPECT_EQ(Codes(rows), "1000=F 2000=F 3000=F ");
    using Edit = std::pair<int, std::string>;  // braces: the edit is made before the rows are read
    EXPECT_EQ((Edit{ApplyEditedRow(rows, 1, "2000", "G"), Codes(rows)}), (Edit{1, "1000=F 2000=G 3000=F "}));
    EXPECT_EQ((Edit{ApplyEditedRow(rows, 0, "2500", "H"), Codes(rows)}), (Edit{1, "2000=G 2500=H 3000=F "}));
}

TEST_F(ListDialog, DeleteRemovesOnlyTheFirstOfTwoIdenticalRules) {
    Write(RuleFilePath(6), "[FCODE]\r\nF001=Keep;5555;;\r\nF003=Same;1234;;\r\nF007=Same;1234;x@y;\r\n");
    ListSession session{0, 6, 6, {}, true};
    OpenList(session);
    EXPECT_EQ(DeleteRuleOfRow(session, kSubAddress, {"1234", "Same", {}}), "F003");
    const std::string work = WorkRuleFilePath(1);
    EXPECT_EQ(Keys(work, "FCODE", {"F003", "F007", "F001"}), "?|Same;1234;x@y;|Keep;5555;;|");
    EXPECT_EQ(DeleteRuleOfRow(session, kSubAddress, {"1234", "Other", {}}), "");
    EXPECT_EQ(DeleteRuleOfRow(session, kOther, {LoadLabel(kLabelReceivedFax), "Rx", "OtherFile"}), "");
}


TEST(ListViews, SortingColumnsAndLookUps) {
    // Bytes compare unsigned, only the first 29 and only up to the end of the shorter text.
    const std::string prefix(28, 'x');
    EXPECT_EQ((std::vector<int>{CompareCells("C", "\x82\xa0") < 0, CompareCellsFor(kSortDescending, "C", "\x82\xa0") > 0,
                                CompareCells(prefix + "a", prefix + "b") < 0, CompareCells(prefix + "aa", prefix + "ab"), CompareCells("abc", "abcd")}),
              (std::vector<int>{1, 1, 1, 0, 0}));
    EXPECT_EQ(ColumnWidths({10, 10, 10, 10}, 450), (std::vector<int>{100, 100, 100, 145}));
    const std::vector<std::string> rows = {"Alpha", "beta", "ALPHA"};
    EXPECT_EQ((std::vector<int>{FindText(rows, "alpha"), FindText(rows, "alpha", 0), FindText(rows, "gamma")}),
              (std::vector<int>{0, 2, -1}));
}

DestinationForm Form(int kind, std::string code, std::string folder, std::string name = "?") {
    const std::size_t slash = folder.rfind('\\');
    if (name == "?") name = folder.substr(slash == std::string::npos ? 0 : slash + 1);
    return {kind, M::New, std::move(code), std::move(name), std::move(folder), {}, -1};
}

TEST(DestinationCodes, EachKindHasItsCharactersShapeAndTypedLength) {
    // Longer than its field takes: kept from the rule file, refused when typed.
    const std::tuple<int, std::string, int, int> cases[] = {
        {kSubAddress, "123", kMsgSubAddressLength, kNoMessage}, {kSubAddress, "1234", kNoMessage, kNoMessage},
        {kSubAddress, std::string(20, '9'), kNoMessage, kNoMessage}, {kSubAddress, std::string(21, '9'), kNoMessage, kMsgSubAddressLength},
        {kSubAddress, "12a4", kMsgBadSubAddress, kNoMessage}, {kSenderNumber, "*031234*", kNoMessage, kNoMessage},
        {kSenderNumber, "+81 3 1234 5678", kNoMessage, kNoMessage}, {kSenderNumber, "03*1234", kMsgBadSenderNumber, kNoMessage},
        {kSenderNumber, "*", kMsgBadSenderNumber, kNoMessage}, {kSenderNumber, " 031234", kMsgBadSenderNumber, kNoMessage},
        {kSenderNumber, std::string(21, '1'), kNoMessage, kMsgBadSenderNumber}, {kDestinationNumber, "03 1234*", kNoMessage, kNoMessage},
        {kDestinationNumber, std::string(32, '1'), kNoMessage, kNoMessage}, {kDestinationNumber, std::string(33, '1'), kNoMessage, kMsgBadDestinationNumber},
        {kDestinationNumber, "+8131234", kMsgBadDestinationNumber, kNoMessage}, {kOther, std::string(300, ';'), kNoMessage, kNoMessage},
    };
    for (const auto &[kind, code, message, typed] : cases)
        EXPECT_EQ(std::make_pair(CheckCode(kind, code), CheckTypedCode(kind, code)), std::make_pair(message, typed)) << kind << " [" << code << "]";
}

TEST(DestinationChecks, OkChecksInTheirOrder) {
    const std::tuple<int, std::string, std::string, std::string, M, int, int, F> cases[] = {
        {kSenderNumber, "", "", "", M::New, -1, kMsgNoSenderNumber, F::Code},  // the code before anything else
        {kSubAddress, "12", "", "", M::New, -1, kMsgSubAddressLength, F::Code},
        {kSubAddress, "1234", "", "", M::New, -1, kMsgNoFolder, F::None},
        {kSubAddress, "1234", "Sa/les", "Sales", M::New, -1, kMsgBadFolderName, F::None},
        {kSubAddress, "1234", "box1", "", M::New, -1, kMsgNoFolder, F::None},  // the root is no storage folder
        {kOther, "Received fax", "In", "Rx\\In", M::New, -1, kNoMessage, F::None},
        // A code differing only by spaces is a duplicate, but not of the changed rule's own row.
        {kSenderNumber, "0312 34", "Fax", "Fax", M::New, -1, kMsgDuplicate, F::Code},
        {kSenderNumber, "0312 34", "Fax", "Fax", M::Change, 0, kNoMessage, F::None},
        {kSenderNumber, "0312 34", "Fax", "Fax", M::Change, 1, kMsgDuplicate, F::Code},
        {kSenderNumber, "03 12345", "Fax", "Fax", M::Change, 1, kNoMessage, F::None},
    };
    for (const auto &[kind, code, name, folder, mode, selected, message, focus] : cases) {
        const DestinationForm form{kind, mode, code, name, folder, {{"03 1234", "A", {}}, {"0999", "B", {}}}, selected};
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
    std::vector<std::string> mail = rows;
    const int added = BeginNewAddress(rows);
    EXPECT_EQ(std::make_pair(BeginNewAddress(rows), NewAddressRefusal(rows)), std::make_pair(added, int{kNoMessage}));  // the empty row again
    rows[static_cast<std::size_t>(added)] = "u9@x";
    EXPECT_EQ(std::make_pair(CountAddresses(rows), NewAddressRefusal(rows)), std::make_pair(10, int{kMsgTooManyAddresses}));
    // The mail address window adds its selected rows only while the list stays within 10; "U0@X" is there already.
    EXPECT_EQ((std::vector<int>{AddFromMailWindow(mail, {"new1@x", "new2@x"}), AddFromMailWindow(mail, {"U0@X"}), AddFromMailWindow(mail, {"new1@x"})}),
              (std::vector<int>{kMsgTooManyAddresses, kNoMessage, kNoMessage}));
    EXPECT_EQ(std::make_pair(mail.size(), mail.front()), std::make_pair(std::size_t{10}, std::string("new1@x")));
}

TEST(AddressLists, TypedAddressesAreChecked) {
    const std::vector<std::string> rows = {"Sales@Example.com", "", "PC01"};
    const std::tuple<std::string, int, bool, V, int> cases[] = {
        {"sales@example.COM", 1, true, V::RefusedSilently, kNoMessage},
        {"SALES@EXAMPLE.COM", 0, true, V::Accepted, kNoMessage},  // a row's own text is no duplicate of itself
        {"a.b+c-d_e{x}@x-y.org", 1, true, V::Accepted, kNoMessage}, {"a b@x", 1, true, V::Refused, kMsgBadCharacters},
        {std::string(65, 'm'), 1, true, V::Refused, kMsgBadCharacters},
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
    EXPECT_EQ((std::vector<int>{IsThisComputerVia("faxserver", "FaxServer", addresses), IsThisComputerVia("10.0.0.5", "FaxServer", addresses),
                                IsThisComputerVia("10.0.0.50", "FaxServer", addresses), IsThisComputerVia("", "", addresses),
                                IsThisComputerVia("faxserver", "FaxServer", none)}),
              (std::vector<int>{1, 1, 0, 0, 0}));
    EXPECT_TRUE(CheckPickedComputer({"Other-PC"}, "other-pc").verdict == V::RefusedSilently && CheckPickedComputer({}, "Other-PC").verdict == V::Accepted);
    const std::string host = ShortHostName();
    if (host.empty()) GTEST_SKIP() << "this computer has no name";
    EXPECT_EQ(std::make_pair(CheckAddressText({}, -1, host, false).message, CheckPickedComputer({}, host).message),
              std::make_pair(int{kMsgCannotNotify}, int{kMsgCannotNotify}));
}

using DestinationFiles = test::ScratchInstall;

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
    Write(WorkRuleFilePath(2), "[FCODE]\r\nF001=A;1111;;\r\nF002=B;2222;;\r\nF004=C;4444;;\r\n[TSI]\r\nT002=D;5;5;;\r\n");
    const std::tuple<int, const char *, const char *> cases[] = {
        {kSubAddress, "", "F003"}, {kSenderNumber, "", "T001"}, {kSubAddress, "F009", "F009"}, {kOther, "OtherFile", "OtherFile"}};
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
    ConfirmDestination(Form(kSenderNumber, "+81 3 1234", "In"), "T002", {}, {}, record);
    EXPECT_EQ(Keys(work, "DTN", {"D001"}) + Keys(work, "TSI", {"T002"}), "Out\\Faxes;03 1234;031234;b@x,a@x;PC1|In;+81 3 1234;+8131234;;|");
    EXPECT_EQ(RuleValue(kSubAddress, "In", std::string(70, '7'), "", ""), "In;" + std::string(63, '7') + ";;");
    // Without the slot nothing is stored, but the dialog closes with the values.
    ReleaseEditSlot(4);
    EXPECT_TRUE(ConfirmDestination(Form(kSubAddress, "5555", "X"), "F001", {}, {}, record).workFileMissing);
    EXPECT_EQ(record.code + "|" + Keys(work, "FCODE", {"F001"}), "5555|?|");
}

TEST_F(DestinationFiles, TheMailAddressWindowOffersEachAddressOnce) {
    Write(DataDir() + "/Work001.rfd",
          "F999=Before;1;zz@before;\r\n"  // before any rule section
          "[FCODE]\r\nF001=A;1234;sales@x,info@x;PC1\r\nF002=B;5678;;\r\nF003=C;9999;last@x\r\n"
          "[TSI]\r\nT001=D;03 1;031;sales@x;\r\n[OTHER]\r\nOtherFile=Rx;;sales@x,Boss@x;\r\n[COMMON]\r\nOriginal=001\r\n");
    EXPECT_EQ(CollectMailAddresses(DataDir() + "\\Work001.rfd"), (std::vector<std::string>{"Boss@x", "info@x", "sales@x"}));
    EXPECT_TRUE(CollectMailAddresses(DataDir() + "\\Missing.rfd").empty());
}

std::vector<std::string> Children(const FolderTree &tree, int item, bool sorted = false) {
    std::vector<std::string> names;
    for (int child : tree.items[static_cast<std::size_t>(item)].children) names.push_back(tree.items[static_cast<std::size_t>(child)].name);
    if (sorted) std::sort(names.begin(), names.end());
    return names;
}
// The selection as "item or none|name|relative path".
std::string Shown(const FolderSelection &s) { return (s.item >= 0 ? "item|" : "none|") + s.name + "|" + s.relativePath; }

using CodePage932 = test::CodePage932Install;

TEST_F(CodePage932, FolderNamesForbidCharactersButNotTrailBytes) {
    const std::string hyou = test::ToCodePage("表示", "CP932");  // 0x95 0x5C: a trail byte that reads as "\"
    ASSERT_EQ(hyou[1], '\\');
    // A lead byte at the end, or before a byte that cannot trail, stands alone.
    EXPECT_EQ((std::vector<int>{IsValidFolderName(hyou), IsValidFolderName("A B.C-(1)&"), IsValidFolderName(hyou + "/"),
                                IsValidFolderName("\x95/"), IsValidFolderName("a\x95"), IsValidFolderName("a|b"), IsValidFolderName("\"a\"")}),
              (std::vector<int>{1, 1, 0, 0, 1, 0, 0}));
    test::SetEnv("WBFAX_ACP", "1252");
    if (platform::AnsiCodePage() == 1252) {
        EXPECT_EQ(IsValidFolderName(hyou), 0);
    }
}

TEST_F(CodePage932, FolderPathsSplitOnlyAtRealSeparators) {
    const std::string hyou = test::ToCodePage("表", "CP932"), so = test::ToCodePage("ソ", "CP932");  // 95 5C, 83 5C
    const std::string box = root + "/" + hyou;
    fs::create_directories(box + "/" + hyou + "/" + so);
    FolderTree tree = BuildFolderTree(box);
    EXPECT_EQ(tree.items[0].name, hyou);
    EXPECT_TRUE(fs::is_directory(box + "/Rx"));
    const FolderSelection found = SelectInitialFolder(tree, hyou + "\\" + so);
    ASSERT_GE(found.item, 0);
    EXPECT_EQ(found.name, so);
    EXPECT_EQ(FolderPathOf(tree, found.item), box + "\\" + hyou + "\\" + so);
}

class FolderTreeTest : public test::ScratchInstall {
protected:
    void SetUp() override {
        ScratchInstall::SetUp();
        box = root + "/Box01";
        Mkdir("");
    }
    void Mkdir(const std::string &relative) { fs::create_directories(box + "/" + relative); }
    std::string box;
};

TEST_F(FolderTreeTest, MissingRxAndTxAreCreatedHiddenFoldersAndFilesNotListed) {
    for (const char *folder : {"rx", "Orders/2024"}) Mkdir(folder);
    test::WriteFile(box + "/notes.txt", "x");
#if defined(_WIN32)
    Mkdir("Hidden");
    ::SetFileAttributesA((box + "\\Hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
#else
    Mkdir(".hidden");
#endif
    FolderTree tree = BuildFolderTree(box);
    EXPECT_EQ(tree.items[0].name, "Box01");
    EXPECT_EQ(Children(tree, 0, true), (std::vector<std::string>{"Orders", "Tx", "rx"}));  // "rx" counts as "Rx"
    EXPECT_TRUE(fs::is_directory(box + "/Tx"));
    // The children's own subfolders are known one level ahead, and listing again adds nothing.
    EXPECT_EQ(Children(tree, FindChildFolder(tree, 0, "orders")), (std::vector<std::string>{"2024"}));
    ListChildren(tree, 0);
    ExpandFolderItem(tree, 0);
    EXPECT_EQ(Children(tree, 0).size(), 3u);
}

TEST_F(FolderTreeTest, TheInitialSelectionFollowsThePath) {
    Mkdir("Sales/North/2024");
    FolderTree tree = BuildFolderTree(box);
    const FolderSelection found = SelectInitialFolder(tree, "sales\\North\\2024");
    EXPECT_EQ(Shown(found), "item|2024|Sales\\North\\2024");  // as the disk spells it
    EXPECT_EQ(FolderPathOf(tree, found.item), box + "\\Sales\\North\\2024");
    // A folder that is gone: nothing selected, the rule keeps its folder.
    EXPECT_EQ(Shown(SelectInitialFolder(tree, "Sales\\South\\2024")), "none|2024|Sales\\South\\2024");
    EXPECT_EQ(SelectInitialFolder(tree, "").item, -1);
    EXPECT_EQ(Shown(SelectFolderItem(tree, 0)), "item|Box01|");
    EXPECT_FALSE(CanRenameFolderItem(0));
}

TEST_F(FolderTreeTest, NewFoldersAreNumberedFromTwo) {
    test::SetEnv("WBFAX_ACP", "932");
    if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "string 57 is Japanese: it needs code page 932";
    const std::string base = test::ToCodePage("新しいフォルダ", "CP932");
    FolderTree tree = BuildFolderTree(box);
    const int rx = FindChildFolder(tree, 0, "Rx");
    const FolderChange first = CreateNewFolder(tree, rx), second = CreateNewFolder(tree, rx);
    ASSERT_TRUE(first.outcome == FolderOutcome::Done && second.outcome == FolderOutcome::Done);
    EXPECT_EQ(first.relativePath + "|" + second.relativePath, "Rx\\" + base + "|Rx\\" + base + "(2)");
    EXPECT_EQ(std::distance(fs::directory_iterator(box + "/Rx"), fs::directory_iterator()), 2);
    test::WriteFile(platform::NativePath(box + "\\Tx\\" + base), "a file takes the name too");
    EXPECT_EQ(NewFolderName(box + "\\Tx"), base + "(2)");
}

TEST_F(FolderTreeTest, RenamingChecksTheNameAndMovesTheFolder) {
    for (const char *folder : {"Old/Inner", "Taken"}) Mkdir(folder);
    FolderTree tree = BuildFolderTree(box);
    const int old = FindChildFolder(tree, 0, "Old");
    const FolderChange refused = RenameFolderItem(tree, old, "New/Name"), failed = RenameFolderItem(tree, old, "Taken");
    EXPECT_TRUE(refused.outcome == FolderOutcome::Refused && refused.message == kMsgBadFolderName);
    EXPECT_TRUE(failed.outcome == FolderOutcome::Failed && failed.systemError != 0);
    EXPECT_EQ(RenameFolderItem(tree, old, "Old").outcome, FolderOutcome::Unchanged);
    EXPECT_TRUE(tree.items[static_cast<std::size_t>(old)].name == "Old" && fs::exists(box + "/Old"));
    const FolderChange done = RenameFolderItem(tree, old, "Archive");
    EXPECT_TRUE(done.outcome == FolderOutcome::Done && done.relativePath == "Archive");
    EXPECT_TRUE(fs::exists(box + "/Archive/Inner") && !fs::exists(box + "/Old"));
    // The siblings are sorted by name again.
    EXPECT_EQ(Children(tree, 0).front() + "|" + RelativePathOf(tree, FindChildFolder(tree, old, "Inner")), "Archive|Archive\\Inner");
}

TEST(SmtpServer, NamesAddressesAndPorts) {
    const std::pair<std::string, int> servers[] = {
        {"", kMsgNoServerName}, {std::string(32, 'a'), kNoMessage}, {std::string(33, 'a'), kMsgServerNameTooLong},
        {"MAIL-1.Example.com", kNoMessage}, {"mail_1.example.com", kMsgBadServerName}, {"255.255.255.255", kNoMessage},
        {"192.168.0.256", kMsgBadAddressPart}, {"0000300.1.1.1", kMsgBadAddressPart},
        // Empty leading parts count as 0; three groups and a dot, or five, are a host name.
        {"..1.2", kNoMessage}, {"1.2.3.", kNoMessage}, {"1.2.3.999.5", kNoMessage}};
    for (const auto &[name, message] : servers) EXPECT_EQ(CheckSmtpServer(name), message) << "[" << name << "]";
    const std::pair<std::string, int> ports[] = {{"1", kNoMessage}, {"32767", kNoMessage}, {" 587 ", kNoMessage}, {"0", kMsgBadPort},
                                                 {"32768", kMsgBadPort}, {"25x", kMsgBadPort}, {"99999999999", kMsgBadPort}};
    for (const auto &[port, message] : ports) EXPECT_EQ(CheckSmtpPort(port), message) << "[" << port << "]";
    EXPECT_EQ(std::make_pair(ReadFieldNumber("-12"), ReadFieldNumber("12a")), std::make_pair(-12, 0));
}

using Environment = test::ScratchInstall;

TEST_F(Environment, ShowsThePendingValueElseTheSettingInForce) {
    // An empty pending server is a pending server; a pending port of 0 is none.
    const std::pair<std::vector<std::pair<const char *, const char *>>, std::string> steps[] = {  // shown: mail|server|port|attach|size|days
        {{}, "1||25|0|0|3"},
        {{{"USESMTP", "0"}, {"SMTPServer", "committed.example"}, {"SMTPPortNo", "2525"}, {"ADDFFILE", "1"}, {"FileSize", "7"},
          {"NotifyDays", "31"}}, "0|committed.example|2525|1|0|31"},
        {{{"USESMTPWork", "1"}, {"SMTPServerWork", ""}, {"SMTPPortNoWork", "0"}, {"AddFileWork", "0"}, {"FileSizeWork", "2"},
          {"NotifyDaysWork", "5"}}, "1||2525|0|2|5"},
    };
    for (const auto &[set, shown] : steps) {
        for (const auto &[key, value] : set) platform::ProfileWriteString("RCVFAX", key, value, ConfigFilePath().c_str());
        const EnvironmentForm f = ReadEnvironmentForm();
        EXPECT_EQ(Format("%d|%s|%s|%d|%d|%s", f.notifyByMail, f.server.c_str(), f.port.c_str(), f.attachFile, f.sizeClass, f.days.c_str()), shown);
    }
}

TEST_F(Environment, ARefusedOkStillWritesModeAttachSizeAndDays) {
    const std::tuple<EnvironmentForm, int, std::string> cases[] = {
        {{true, "", "25", true, 3, "45"}, kMsgNoServerName, "1|?|?|1|3|31|"},
        {{true, "smtp.example", "32767", false, 3, "00007"}, kNoMessage, "1|smtp.example|32767|0|3|7|"},
        {{false, "", "no port", false, 1, "31"}, kNoMessage, "0||0|0|1|31|"},  // host notification: unchecked
    };
    for (const auto &[form, message, written] : cases) {
        EXPECT_EQ(ApplyEnvironmentOk(form), message) << written;
        EXPECT_EQ(Keys(ConfigFilePath(), "RCVFAX", {"USESMTPWork", "SMTPServerWork", "SMTPPortNoWork", "AddFileWork", "FileSizeWork", "NotifyDaysWork"}), written);
    }
    EXPECT_EQ(Keys(ConfigFilePath(), "RCVFAX", {"USESMTP"}), "?|");  // nothing reaches the settings in force before the commit
}

using ErrorLogTest = test::ScratchInstall;

// Rows as "line|status|pc|year.month.day.hour.minute|file", separated by spaces.
TEST_F(ErrorLogTest, ShowsTheFailedNoticesAtTheirLineNumbers) {
    EXPECT_TRUE(ReadErrorLog(ErrorLogPath()).empty());  // no file yet
    // 510 characters and the line end fill the window's 512-byte buffer; one more does not fit.
    const std::string fits = "11,PC01,,2009.01.30.14.05,,,," + std::string(481, 'a');
    const std::pair<std::string, std::string> cases[] = {
        {"11,PC01,0007,2009.01.30.14.05.22,2009.01.30.14.00,Sender,0312,FAX0001.tif,no answer\r\n"
         "10,PC02,0007,2009.01.30.14.05.23,,,,FAX0001.tif,delivered\r\na line without any separator\r\n"
         "19,PC03,,2010.12.01.09.30.00,,,,FAX0002.pdf\r\n7,PC04,,2011.02.03.04.05\r\n"
         "12,192.168.1.5,0008,2012.07.08.23.59.01,,,,last.tif",  // no line end at the end
         "0|11|PC01|2009.1.30.14.5|FAX0001.tif 3|19|PC03|2010.12.1.9.30|FAX0002.pdf 4|7|PC04|2011.2.3.4.5| "
         "5|12|192.168.1.5|2012.7.8.23.59|last.tif "},
        {"11x,PC01,,2009y.3.4z\n ,PC02\n", "0|11|PC01|2009.3.4.0.0| 1|0|PC02|0.0.0.0.0| "},  // leading digits only
        {fits + "\r\n" + fits + "b\r\n" + "11,PC03,,2009.01.30.14.05\r\n", "0|11|PC01|2009.1.30.14.5|" + std::string(481, 'a') + " "},
    };
    for (const auto &[content, expected] : cases) {
        test::WriteFile(DataDir() + "/sqb_NTFY.log", content);
        std::string shown;
        for (const ErrorLogRow &r : ReadErrorLog(ErrorLogPath()))
            shown += Format("%d|%d|%s|%d.%d.%d.%d.%d|%s ", r.line, r.status, r.pcAddress.c_str(), r.year, r.month, r.day, r.hour, r.minute, r.fileName.c_str());
        EXPECT_EQ(shown, expected) << content.substr(0, 40);
    }
}


}  // namespace
}  // namespace wbfax
