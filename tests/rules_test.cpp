#include "settings/rules.h"

#include "distribution/receive.h"
#include "base/text.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"
#include "test_support.h"

namespace wbfax {
namespace {

class Rules : public test::ScratchInstall {
protected:
    void WriteRules(std::uint32_t box, const std::vector<std::string> &lines) {
        std::string text;
        for (const std::string &line : lines) text += line + "\r\n";
        test::WriteFile(DataDir() + Format("/WbFaxRcv%03u.rfd", box), text);
    }
    std::string SenderFolder(std::uint32_t box, const std::string &number) {
        return FindSenderRule(ReadRuleSet(box, 1), number).folder;
    }
};

TEST(Pattern, MatchesByItsKind) {
    const struct {
        const char *pattern, *number;
        bool matches;
    } cases[] = {
        {"1234", "12345", false}, {"", "1", false},     {"*34", "4", false},  {"*34", "34", true}, {"*34", "3412", false},
        {"12*", "1", false},      {"*23*", "1324", false}, {"**", "", true},  {"*", "98", true},   {"1*2", "1*2", true},
        {"1*2", "132", false},    {"ab*", "AB1", false},  {"", "", true},
    };
    for (const auto &c : cases) {
        const PatternKind kind = KindOfPattern(c.pattern);
        EXPECT_EQ(PatternMatches(kind, StrippedPattern(c.pattern, kind), c.number), c.matches)
            << c.pattern << " / " << c.number;
    }
}

TEST_F(Rules, TheMostSpecificNumberRuleWins) {
    const struct {
        std::vector<std::string> rules;
        const char *number, *folder;
    } cases[] = {
        {{"T001=End;;*34;;", "T002=Exact;;1234;;"}, "1234", "Exact"},
        {{"T001=Begin;;12*;;", "T002=End;;*34;;"}, "1234", "End"},
        {{"T001=Short;;12*;;", "T002=Long;;123*;;"}, "1234", "Long"},
        // Bytes compare unsigned: a high byte sorts after an ASCII letter.
        {{"T001=High;;*\xE9*;;", "T002=Low;;*a*;;"}, "a\xE9", "Low"},
        {{"T002=Second;;9*;;", "T001=First;;9*;;"}, "99", "First"},
        {{"T001=All;;*;;", "T002=Nine;;*9*;;"}, "19", "Nine"},
        {{"T001=All;;*;;", "T002=Nine;;*9*;;"}, "12", "All"},
        {{"T001=Plus;;+81*;;"}, "+44", ""},
    };
    for (const auto &c : cases) {
        std::vector<std::string> lines{"[TSI]"};
        lines.insert(lines.end(), c.rules.begin(), c.rules.end());
        WriteRules(1, lines);
        EXPECT_EQ(SenderFolder(1, c.number), c.folder) << c.number << " against " << c.rules.front();
    }
}

TEST_F(Rules, ChoosesByDataTypeNormalisedNumberAndFallback) {
    WriteRules(4, {"[FCODE]", "F001=Dup1;123;;", "F002=Dup2;123;;", "F003=;777;;", "[TSI]", "T001=Tsi;+81 3;+813*;;",
                   "T002=TsiHyphen;03-1;0312;;", "[DTN]", "D001=Dtn;0312;0312;;", "[OTHER]", "OtherFile=Rx;;",
                   "TXFile=Tx;;"});
    const struct {
        std::uint32_t dataType;
        const char *fCode, *number, *folder;
    } cases[] = {
        {1, "123", "+81 3 55", "Dup1"},  // sub-address before sender number; smaller key first
        {1, "12", "+81 3 55", "Tsi"},    // a beginning of the code is no match
        {1, "0123", "", "Rx"},
        {1, "777", "+8135", "Tsi"},      // a rule without folder does not stop the search
        {1, "", "03-12", "Rx"},          // hyphens stay in sender numbers
        {2, "", "0312", "TsiHyphen"},
        {0, "123", "03-1 2", "Dtn"},     // sent: blanks and hyphens removed, sub-addresses ignored
        {0, "", "+8135", "Tx"},
    };
    for (const auto &c : cases) {
        ReceiveRecord record;
        record.dataType = c.dataType;
        record.fCode = c.fCode;
        record.remoteNumber = c.number;
        EXPECT_EQ(ChooseRule(ReadRuleSet(4, 1), record).folder, c.folder) << c.dataType << " " << c.fCode << " " << c.number;
    }
}

TEST_F(Rules, UseMailPicksTheMailOrThePcField) {
    WriteRules(2, {"[FCODE]", "F001=f;1;fm;fp", "[TSI]", "T001=t;2;2;tm;tp", "[DTN]", "D001=d;3;3;dm;dp", "[OTHER]",
                   "OtherFile=o;;om;op", "TxFile=x;;xm;xp"});
    for (int useMail : {0, 1}) {
        const char *which = useMail == 1 ? "m" : "p";
        const RuleSet rules = ReadRuleSet(2, useMail);
        EXPECT_EQ(FindSubAddressRule(rules, "1").notifyList, std::string("f") + which);
        EXPECT_EQ(FindSenderRule(rules, "2").notifyList, std::string("t") + which);
        EXPECT_EQ(FindDestinationRule(rules, "3").notifyList, std::string("d") + which);
        EXPECT_EQ(rules.otherReceived.notifyList, std::string("o") + which);
        EXPECT_EQ(rules.otherSent.notifyList, std::string("x") + which);
    }
}

TEST_F(Rules, ARuleSetIsTheRuleFileAsItIsWhenRead) {
    WriteRules(1, {"[TSI]", "T001=One;;5;;"});
    EXPECT_EQ(SenderFolder(1, "5"), "One");
    WriteRules(1, {"[TSI]", "T002=Added;;6;;"});
    EXPECT_EQ(SenderFolder(1, "6"), "Added");
    EXPECT_TRUE(ReadRuleSet(1, 1).exists);
    EXPECT_FALSE(ReadRuleSet(3, 1).exists);  // no rule file
}

TEST_F(Rules, DamagedRuleFilesGiveWhatCanBeRead) {
    const std::string longValue(3000, 'x');
    WriteRules(6, {"[FCODE]", "F001=?", "F002=NoCode", "F003=" + longValue + ";9;;", "F004=Four;4", "[OTHER]",
                   "OtherFile=?"});
    const RuleSet rules = ReadRuleSet(6, 1);
    EXPECT_EQ(FindSubAddressRule(rules, "").folder, "NoCode");  // "?" is no rule; missing fields are empty
    EXPECT_EQ(FindSubAddressRule(rules, "9").folder, "");  // the value was cut at 2047 characters
    EXPECT_EQ(FindSubAddressRule(rules, "4").folder, "Four");
    EXPECT_EQ(rules.otherReceived.folder, "");
}

}  // namespace
}  // namespace wbfax
