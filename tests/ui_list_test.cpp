// The distribution settings list without a screen: the work file it prepares, the rows it
// shows per kind, New, Edit and Delete on the work file, the list views' shared rules, and
// command 3.
#include "entry/entry.h"
#include "base/module.h"
#include "base/text.h"
#include "platform/platform.h"
#include "settings/box_edit.h"
#include "settings/profile_file.h"
#include "settings/config.h"
#include "settings/rule_file.h"
#include "test_support.h"
#include "ui/distribution_list.h"
#include "ui/list_view.h"
#include "ui/messages.h"

#include <tuple>

namespace wbfax {
namespace {

class ListDialog : public test::ScratchInstall {
protected:
    static void Write(const std::string &modulePath, const std::string &content) {
        test::WriteFile(platform::NativePath(modulePath), content);
    }
    // The keys' values of a section, "?" for a missing one, each followed by "|".
    static std::string Keys(const std::string &file, const char *section, std::initializer_list<const char *> keys) {
        std::string values;
        for (const char *key : keys) {
            std::string value;
            ReadProfileText(section, key, "?", value, file);
            values += value + "|";
        }
        return values;
    }
    static std::string Slots() {
        std::string values;
        for (int slot : {1, 2}) {
            char value[32];
            platform::ProfileGetString("RCVFAX_EDIT", Format("wd%03d", slot).c_str(), "", value, sizeof value, ConfigFilePath().c_str());
            values += value + std::string("|");
        }
        return values;
    }
    static std::string Codes(const std::vector<RuleRow> &rows) {
        std::string codes;
        for (const RuleRow &row : rows) codes += row.code + "=" + row.folder + " ";
        return codes;
    }
};

TEST_F(ListDialog, ABoxWithoutRulesGetsTheTwoFallbackEntries) {
    ListSession session{0, 5, 5, {}, true};
    EXPECT_TRUE(OpenList(session).empty());
    EXPECT_EQ(Slots() + Keys(WorkRuleFilePath(1), "OTHER", {"OtherFile", "TxFile"}) + Keys(WorkRuleFilePath(1), "COMMON", {"Original"}),
              "005||Rx;;|Tx;;|?|");
    std::vector<RuleRow> rows;
    ASSERT_TRUE(ChangeKind(session, kOther, rows));
    EXPECT_EQ(Codes(rows), LoadLabel(kLabelReceivedFax) + "=Rx " + LoadLabel(kLabelSentDocument) + "=Tx ");
    EXPECT_FALSE(ChangeKind(session, kOther, rows));  // the same line again: nothing happens
    EXPECT_EQ(rows.size(), 2u);
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
    EXPECT_EQ(Slots(), "008||");
}

TEST_F(ListDialog, EveryKindReadsItsOwnSectionAndEditFindsTheRuleOfTheRow) {
    std::string fcode = "[FCODE]\r\nF002=A;1234;m1@x;PC1\r\n";
    for (int n = 3; n <= 101; ++n) fcode += Format("F%03d=F;%04d;;\r\n", n, n + 5000);
    Write(RuleFilePath(4), fcode + "[TSI]\r\nT004=B;03 1234;031234;m2@x,m3@x;PC2\r\nT001=C;*99;*99;;\r\n"
                                   "[DTN]\r\nD001=D;0120*;0120*;;\r\n[OTHER]\r\nOtherFile=Rx;;m4@x;PC4\r\n");
    ListSession session{0, 4, 4, {}, true};
    std::vector<RuleRow> rows = OpenList(session);
    ASSERT_EQ(rows.size(), 100u);
    EXPECT_EQ(rows[0].code + "=" + rows[0].folder, "1234=A");
    // New stops at a hundred rules.
    EXPECT_EQ(NewRuleRefusal(rows.size()), kMsgListFull);
    EXPECT_EQ(NewRuleRefusal(rows.size() - 1), kNoMessage);
    const std::pair<int, std::string> kinds[] = {{kSenderNumber, "*99=C 03 1234=B "}, {kDestinationNumber, "0120*=D "},
                                                 {kOther, LoadLabel(kLabelReceivedFax) + "=Rx "}};  // no TxFile: one row
    for (const auto &[kind, codes] : kinds) EXPECT_EQ((ChangeKind(session, kind, rows), Codes(rows)), codes) << kind;
    for (int kind : {kSubAddress, kSenderNumber, kDestinationNumber, kOther}) EXPECT_EQ(NewAndDeleteEnabled(kind), kind != kOther);

    const std::tuple<int, RuleRow, const char *> edits[] = {
        {kSubAddress, {"1234", "A", {}}, "F002|m1@x|PC1"},
        {kSenderNumber, {"03 1234", "B", {}}, "T004|m2@x,m3@x|PC2"},  // the pattern is skipped
        // Code and folder must both match, exactly; a rule not found leaves the key for a new one.
        {kSubAddress, {"1234", "a", {}}, "||"},
        {kSubAddress, {"01234", "A", {}}, "||"},
        // Kind 3 goes by the row's label.
        {kOther, {LoadLabel(kLabelReceivedFax), "Rx", {}}, "OtherFile|m4@x|PC4"},
        {kOther, {LoadLabel(kLabelSentDocument), "Tx", {}}, "TxFile||"},
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
    EXPECT_EQ(ApplyEditedRow(rows, 1, "2000", "G"), 1);
    EXPECT_EQ(Codes(rows), "1000=F 2000=G 3000=F ");
    EXPECT_EQ(ApplyEditedRow(rows, 0, "2500", "H"), 1);
    EXPECT_EQ(Codes(rows), "2000=G 2500=H 3000=F ");
}

TEST_F(ListDialog, DeleteRemovesOnlyTheFirstOfTwoIdenticalRules) {
    Write(RuleFilePath(6), "[FCODE]\r\nF001=Keep;5555;;\r\nF003=Same;1234;;\r\nF007=Same;1234;x@y;\r\n");
    ListSession session{0, 6, 6, {}, true};
    std::vector<RuleRow> rows = OpenList(session);
    EXPECT_EQ(DeleteRuleOfRow(session, kSubAddress, {"1234", "Same", {}}), "F003");
    const std::string work = WorkRuleFilePath(1);
    EXPECT_EQ(Keys(work, "FCODE", {"F003", "F007", "F001"}), "?|Same;1234;x@y;|Keep;5555;;|");
    EXPECT_EQ(DeleteRuleOfRow(session, kSubAddress, {"1234", "Other", {}}), "");
    EXPECT_EQ(DeleteRuleOfRow(session, kOther, {LoadLabel(kLabelReceivedFax), "Rx", "OtherFile"}), "");
#if !defined(_WIN32)
    // The button needs a work file and a selected row; without a screen the question is answered with OK.
    EXPECT_FALSE(RunDelete(session, kSubAddress, rows, -1) || RunDelete(session, kOther, rows, 0));
    ReleaseEditSlot(1);  // "can not find Work File"
    EXPECT_FALSE(RunDelete(session, kSubAddress, rows, 0));
    ASSERT_EQ(rows.size(), 3u);
    AssignEditSlot(1, 6);
    EXPECT_TRUE(RunDelete(session, kSubAddress, rows, 0));
    EXPECT_EQ(Codes(rows), "1234=Same 5555=Keep ");
    EXPECT_EQ(Keys(work, "FCODE", {"F007"}), "?|");
#endif
}

#if !defined(_WIN32)
TEST_F(ListDialog, CommandThreePreparesTheWorkFileAndRestoresTheResources) {
    const platform::ModuleHandle own = Module().resourceInstance;
    std::string folder = root + "/box9";
    std::uintptr_t slots[6] = {0, 9, 9, reinterpret_cast<std::uintptr_t>(folder.c_str()), 0, 0};
    std::uint32_t result = 0x55;
    CurrentKind() = kOther;
    EXPECT_EQ(wbCatchExtExpFunc(3, &result, slots), 1);
    EXPECT_EQ(result, 0x55u);
    EXPECT_EQ(Slots() + Keys(WorkRuleFilePath(1), "OTHER", {"OtherFile"}), "009||Rx;;|");
    EXPECT_EQ(CurrentKind(), kSubAddress);
    EXPECT_EQ(Module().resourceInstance, own);
    // The host's commit takes the work file only once it opened the box for editing.
    std::uintptr_t open[6] = {0, 1, 9, 9, reinterpret_cast<std::uintptr_t>("x"), reinterpret_cast<std::uintptr_t>("WbFaxRcvExt.dll")};
    wbCatchExtExpFunc(4, &result, open);
    std::uintptr_t commit[6] = {0, 1, 0, 0, 0, 0};
    wbCatchExtExpFunc(6, &result, commit);
    EXPECT_EQ(Keys(RuleFilePath(9), "OTHER", {"TxFile"}), "Tx;;|");
}
#endif

TEST(ListViews, SortingColumnsAndLookUps) {
    constexpr int kColumn = 17;  // the flags are shared by every list; no other test clicks this one
    std::vector<std::string> cells = {"b", "C", "a", "\x82\xa0"};
    for (int expected : {kSortAscending, kSortDescending, kSortAscending}) {
        const int direction = NextSortDirection(kColumn);
        EXPECT_EQ(direction, expected);
        std::stable_sort(cells.begin(), cells.end(),
                         [&](const std::string &x, const std::string &y) { return CompareCellsFor(direction, x, y) < 0; });
        EXPECT_EQ(cells.front(), direction == kSortAscending ? "C" : "\x82\xa0");  // bytes compare unsigned
    }
    // Only the first 29 bytes, and only up to the end of the shorter text, count.
    const std::string prefix(28, 'x');
    EXPECT_EQ((std::vector<int>{CompareCells(prefix + "a", prefix + "b") < 0, CompareCells(prefix + "aa", prefix + "ab"),
                                CompareCells("abc", "abcd")}),
              (std::vector<int>{1, 0, 0}));
    EXPECT_EQ(ColumnWidths({14, 25}, 400), (std::vector<int>{140, 255}));
    EXPECT_EQ(ColumnWidths({10, 10, 10, 10}, 450), (std::vector<int>{100, 100, 100, 145}));
    const std::vector<std::string> rows = {"Alpha", "beta", "ALPHA"};
    EXPECT_EQ((std::vector<int>{FindText(rows, "alpha"), FindText(rows, "alpha", 0), FindText(rows, "gamma")}),
              (std::vector<int>{0, 2, -1}));
}

}  // namespace
}  // namespace wbfax
