#include "settings/box_edit.h"

#include "entry/entry.h"
#include "base/text.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "settings/profile_file.h"
#include "test_support.h"

#include <filesystem>

namespace wbfax {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ProfileKey;
using test::ReadFile;
using test::WriteFile;

constexpr const char *kThisModule = "WbFaxRcvExt.dll";
const std::string kBoxRules = "[FCODE]\r\nF001=Sales;123;;\r\n[OTHER]\r\nOtherFile=In;;\r\n";

class BoxEdit : public test::ScratchInstall {
protected:
    void Command(std::int32_t command, std::uintptr_t s1, std::uintptr_t s2 = 0, std::uintptr_t s3 = 0,
                 const char *text = "", const char *handler = kThisModule) {
        std::uintptr_t slots[6] = {0, s1, s2, s3, reinterpret_cast<std::uintptr_t>(text),
                                   reinterpret_cast<std::uintptr_t>(handler)};
        std::uint32_t result = 0x55;
        EXPECT_EQ(wbCatchExtExpFunc(command, &result, slots), 1);
        EXPECT_EQ(result, 0x55u);
    }
    void Open(std::uint32_t box, std::uint32_t editBox, const char *handler = kThisModule) {
        Command(4, 1, box, editBox, "", handler);
    }
    std::string Rule(std::uint32_t box) const { return DataDir() + Format("/WbFaxRcv%03u.rfd", box); }
    std::string Work(int slot) const { return DataDir() + Format("/Work%03d.rfd", slot); }
    std::string Ini(const std::string &key) const {
        char value[64];
        platform::ProfileGetString("RCVFAX_EDIT", key.c_str(), "", value, sizeof value, ConfigFilePath().c_str());
        return value;
    }
};

TEST_F(BoxEdit, EditsReachTheRuleFileOnlyAtCommit) {
    WriteFile(Rule(3), kBoxRules);
    Open(3, 3);
    EXPECT_EQ(Ini("wd001"), "003");
    EXPECT_EQ(ProfileKey(Work(1), "FCODE", "F001"), "Sales;123;;");
    EXPECT_EQ(ProfileKey(Work(1), "COMMON", "Original") + ProfileKey(Work(1), "COMMON", "SaveNo"), "003003");
    WriteProfileText("FCODE", "F002", std::string_view("New;456;;"), Work(1));
    const std::string longRule = "Long;" + std::string(600, '9') + ";;";  // longer than a copied piece
    WriteProfileText("FCODE", "F003", longRule, Work(1));
    Open(3, 3);  // again before the commit: same slot, edits kept
    EXPECT_EQ(Ini("wd002"), "");
    EXPECT_EQ(ProfileKey(Work(1), "FCODE", "F002"), "New;456;;");
    EXPECT_EQ(ReadFile(Rule(3)), kBoxRules);

    Command(6, 1);
    EXPECT_EQ(ProfileKey(Rule(3), "FCODE", "F001") + ProfileKey(Rule(3), "FCODE", "F002"), "Sales;123;;New;456;;");
    EXPECT_EQ(ProfileKey(Rule(3), "FCODE", "F003"), longRule);
    EXPECT_EQ(ProfileKey(Rule(3), "COMMON", "Original") + ProfileKey(Rule(3), "COMMON", "SaveNo"), "?003");
    EXPECT_TRUE(!Exists(Work(1)) && Ini("wd001").empty());
}

TEST_F(BoxEdit, ANewBoxGetsTheFallbackFoldersAndNothingLeftOver) {
    // A dialog's slots the host never opened: one without a committable work file, one without any.
    WriteFile(Rule(3), kBoxRules);
    WriteFile(ConfigFile(), "[RCVFAX_EDIT]\r\nwd001=003\r\nwd002=004\r\n");
    WriteFile(Work(1), kBoxRules + "[COMMON]\r\nOriginal=003\r\n");
    Command(6, 1);
    EXPECT_EQ(Ini("wd001") + Ini("wd002"), "");
    EXPECT_TRUE(Exists(Work(1)) && !Exists(Rule(4)));

    Open(0, 9);
    EXPECT_EQ(Ini("wd001"), "009");
    Command(6, 1);
    EXPECT_EQ(ReadFile(Rule(3)), kBoxRules);
    EXPECT_EQ(ProfileKey(Rule(9), "OTHER", "OtherFile") + ProfileKey(Rule(9), "OTHER", "TxFile"), "RxTx");
    EXPECT_EQ(ProfileKey(Rule(9), "FCODE", "F001"), "?");
    EXPECT_EQ(ProfileKey(Rule(9), "COMMON", "SaveNo"), "009");
}

// A box leaves editing by deletion, by a foreign handler taking it, or by command 4 mode 2: a
// deletion reaches the rules at commit only, an empty leaving text drops them at once.
TEST_F(BoxEdit, ABoxLeavingEditLosesItsWorkAndItsRulesOnlyWhenDue) {
    const struct { const char *how; int finish; bool kept; } cases[] = {  // finish -1: none
        {"deleted", 1, false}, {"deleted", 0, true}, {"foreign", 1, false}, {"foreign", 0, true}, {"x", -1, true}, {"", -1, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.how) + " finish " + std::to_string(c.finish));
        WriteFile(Rule(4), kBoxRules);
        Open(4, 4);
        if (c.finish < 0) Command(4, 2, 4, 4, c.how);
        else if (std::string(c.how) == "foreign") Open(4, 4, "Other.dll");
        else Command(5, 4);
        EXPECT_TRUE(Ini("wd001").empty() && !Exists(Work(1)));
        if (c.finish >= 0) {
            EXPECT_TRUE(Ini("del004") == "1" && Exists(Rule(4)));
            Command(6, static_cast<std::uintptr_t>(c.finish));
            EXPECT_EQ(Ini("del004"), "");
        }
        EXPECT_EQ(Exists(Rule(4)), c.kept);
    }
    // Opening the box again takes the mark back.
    WriteFile(Rule(4), kBoxRules);
    Command(5, 4);
    Open(4, 4);
    EXPECT_EQ(Ini("del004"), "");
    Command(6, 1);
    EXPECT_TRUE(Exists(Rule(4)));
}

TEST(HandlerName, NamesThisModuleByABeginningOfItsFileName) {
    for (const char *name : {"WbFaxRcvExt.dll", "WBFAXRCVEXT.DLL", "wbfax", ""}) EXPECT_TRUE(NamesThisModule(name)) << name;
    for (const char *name : {"WbFaxRcvExt.dll2", "C:\\Ext\\WbFaxRcvExt.dll", "Other.dll", "WbFaxRcvExt.dl_"})
        EXPECT_FALSE(NamesThisModule(name)) << name;
}

TEST_F(BoxEdit, EveryFinishRemovesStrayRuleFilesAndDiscardKeepsTheRest) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        WriteFile(Rule(2), "[COMMON]\r\nSaveNo=007\r\n");
        WriteFile(Rule(3), kBoxRules);
        WriteFile(Rule(6), kBoxRules + "[COMMON]\r\nSaveNo=006\r\n");
        Open(6, 6);
        WriteProfileText("FCODE", "F001", std::nullopt, Work(1));
        WriteFile(ConfigFile(), ReadFile(ConfigFile()) + "[RCVFAX]\r\nSMTPServerWork=mail.example\r\n");
        Command(6, static_cast<std::uintptr_t>(mode));
        EXPECT_FALSE(Exists(Rule(2)));
        EXPECT_EQ(ReadFile(Rule(3)), kBoxRules);
        EXPECT_EQ(ProfileKey(Rule(6), "FCODE", "F001"), mode == 1 ? "?" : "Sales;123;;");
        EXPECT_TRUE(!Exists(Work(1)) && !ReadSmtpServerWork());
    }
}

TEST_F(BoxEdit, WithEverySlotTakenOpeningChangesNothing) {
    std::string ini = "[RCVFAX_EDIT]\r\n";
    for (int slot = 1; slot <= 100; ++slot) ini += Format("wd%03d=%03d\r\n", slot, 100 + slot);
    WriteFile(ConfigFile(), ini);
    WriteFile(Rule(50), kBoxRules);
    Open(50, 50);
    EXPECT_EQ(ReadFile(ConfigFile()), ini);
    for (const auto &entry : fs::directory_iterator(DataDir()))
        EXPECT_EQ(entry.path().filename().string().rfind("Work", 0), std::string::npos) << entry.path();
    EXPECT_EQ(ReadFile(Rule(50)), kBoxRules);
}

// Renumbered rules leave their old number, also when a first commit cannot write them: the edit
// stays for the next commit.
TEST_F(BoxEdit, RenumberedRulesLeaveTheirOldNumberAndAFailedCommitKeepsTheEdit) {
    WriteFile(Rule(5), kBoxRules);
    Open(5, 8);
    WriteProfileText("FCODE", "F002", std::string_view("New;456;;"), Work(1));
    fs::create_directory(Rule(8) + ".new");  // nothing can be written there
    Command(6, 1);
    EXPECT_EQ(Ini("wd001"), "008");
    EXPECT_TRUE(Exists(Work(1)) && !Exists(Rule(8)));
    EXPECT_EQ(ReadFile(Rule(5)), kBoxRules);  // the rules have not moved yet
    fs::remove(Rule(8) + ".new");
    Command(6, 1);
    EXPECT_EQ(ProfileKey(Rule(8), "FCODE", "F001") + ProfileKey(Rule(8), "FCODE", "F002"), "Sales;123;;New;456;;");
    EXPECT_TRUE(!Exists(Rule(5)) && Ini("wd001").empty());

    // Box 8 goes back to 5 and a new box takes number 8; the new box is committed first.
    WriteFile(Rule(1), kBoxRules);
    Open(1, 1);
    Open(8, 5);
    Command(4, 2, 1, 1, "x");  // box 1 leaves editing, freeing the first slot
    Open(0, 8);
    Command(6, 1);
    EXPECT_EQ(ProfileKey(Rule(5), "FCODE", "F001"), "Sales;123;;");
    EXPECT_EQ(ProfileKey(Rule(8), "OTHER", "OtherFile"), "Rx");
    EXPECT_TRUE(Exists(Rule(1)));
}

}  // namespace
}  // namespace wbfax
