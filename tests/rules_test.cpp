#include "settings/rules.h"

#include "distribution/receive.h"
#include "base/text.h"
#include "settings/profile_file.h"
#include "settings/rule_file.h"
#include "test_support.h"

#include <random>

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
        {"1234", "1234", true}, {"1234", "12345", false}, {"", "", true},      {"", "1", false},
        {"*34", "1234", true},  {"*34", "4", false},      {"*34", "34", true}, {"*34", "3412", false},
        {"12*", "1234", true},  {"12*", "1", false},      {"*23*", "1234", true}, {"*23*", "1324", false},
        {"**", "", true},       {"*", "98", true},        {"1*2", "1*2", true},   {"1*2", "132", false},
        {"ab*", "AB1", false},
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
        {{"T001=Four;;*4*;;", "T002=Two;;*2*;;"}, "1234", "Two"},
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
    WriteRules(1, {"[TSI]", "T001=One;;5;;", "T002=Added;;6;;"});
    EXPECT_EQ(SenderFolder(1, "6"), "Added");
    const RuleSet none = ReadRuleSet(3, 1);  // no rule file
    EXPECT_FALSE(none.exists);
    EXPECT_EQ(none.otherReceived.folder, "");
    EXPECT_TRUE(ReadRuleSet(1, 1).exists);
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

// The one-pass reader must see a rule file exactly as a key-by-key reading does.
std::string RandomRuleFile(std::mt19937 &random) {
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    static const char *const headers[] = {"[FCODE]", "[fcode]", "[FCODE] x", "[FCODEX]", "[TSI]", "[OTHER]", " [FCODE]", "["};
    static const char *const letters[] = {"F", "f", "T", "t", "X", " F"};
    static const char *const values[] = {"?", "", "Sales;123;;", "a;b", "?;", "[x", "=", "\xE9\xFF;1"};
    std::string text;
    const int lines = 1 + pick(40);
    for (int i = 0; i < lines; ++i) {
        switch (pick(8)) {
        case 0: text += headers[pick(8)]; break;
        case 1: break;  // blank line
        case 2:  // sometimes exactly whole pieces, so that the tail starts a piece of its own
            text += std::string(pick(2) ? 2047 * (1 + pick(2)) : 2000 + pick(4000), 'L') + (pick(2) ? "F005=tail" : "");
            break;
        default: {
            const int number = pick(6) == 0 ? 101 + pick(900) : pick(4) == 0 ? 0 : 1 + pick(12);
            text += letters[pick(6)] + Format("%03d", number) + (pick(10) == 0 ? " =" : "=") + values[pick(8)];
        }
        }
        if (i + 1 < lines || pick(3)) text += pick(2) ? "\r\n" : "\n";
    }
    if (pick(4) == 0) text.insert(0, std::string(2047, 'p') + "[FCODE]\n");  // a header that starts a line piece
    return text;
}

TEST_F(Rules, OnePassReadingEqualsReadingEachKey) {
    std::mt19937 random(20240611);
    int nonEmpty = 0;
    for (int round = 0; round < 200; ++round) {
        std::string text = RandomRuleFile(random);
        // Some rounds put the other kinds' sections and OTHER keys into the same file.
        if (round % 2) text += "[TSI]\r\nT003=t;;1;;\r\n[OTHER]\r\notherfile=o;;\r\nTxFile=?\r\n[DTN]\r\nD001=d;;2;;\r\n";
        test::WriteFile(DataDir() + "/WbFaxRcv050.rfd", text);
        const RuleFileValues onePass = ReadRuleFileValues(RuleFilePath(50));
        const struct {
            const char *section;
            char letter;
            const std::map<int, std::string> &found;
        } kinds[] = {{"FCODE", 'F', onePass.subAddress}, {"TSI", 'T', onePass.sender}, {"DTN", 'D', onePass.destination}};
        for (const auto &kind : kinds) {
            std::map<int, std::string> expected;
            for (int n = 1; n <= 100; ++n) {
                std::string value;
                ReadProfileText(kind.section, Format("%c%03d", kind.letter, n), "?", value, RuleFilePath(50));
                if (value != "?") expected[n] = value;
            }
            nonEmpty += !expected.empty();
            ASSERT_EQ(kind.found, expected) << kind.section << ", round " << round << ":\n" << text;
        }
        for (const auto &[key, found] : {std::pair{"OtherFile", onePass.otherReceived}, std::pair{"TxFile", onePass.otherSent}}) {
            std::string value;
            const bool present = ReadProfileText("OTHER", key, "?", value, RuleFilePath(50)) > 0 || value != "?";
            ASSERT_EQ(found.has_value(), present) << key << ", round " << round;
            if (found) {
                ASSERT_EQ(*found, value) << key << ", round " << round;
            }
        }
    }
    EXPECT_GT(nonEmpty, 100);  // the generator does reach the keys
}

}  // namespace
}  // namespace wbfax
