// Command 2 as far as the box's rule file: the remote name handed back, the display name, and
// a fax left alone when its box has no rules.
#include "distribution/receive.h"
#include "entry/entry.h"
#include "platform/platform.h"
#include "quillbox-host/description.h"
#include "ipc_scratch.h"
#include "test_support.h"

#include <array>
#include <cstring>
#include <filesystem>

namespace wbfax {
namespace {

class Receive : public test::IpcScratch {
protected:
    struct Outcome {
        std::string remoteName;
        std::string path;
        std::uint32_t result;
    };

    Outcome Send(const quillbox::Description &d, std::uint32_t box, std::vector<std::uint8_t> block = {}) {
        if (block.empty()) block = quillbox::BuildDescription(d);
        std::array<char, 260> path{};
        std::strcpy(path.data(), fax.c_str());
        std::array<char, 256> remoteName{};
        std::strcpy(remoteName.data(), "host text");
        std::uint32_t result = 0x55;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()),
                                   reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName.data()), box};
        EXPECT_EQ(wbCatchExtExpFunc(2, &result, slots), 1);
        return {remoteName.data(), path.data(), result};
    }

    void SetUp() override {
        IpcScratch::SetUp();
        fax = root + "/incoming.tif";
        test::WriteFile(fax, std::string("II*\0fax", 7));
    }

    std::string fax;
};

TEST_F(Receive, HandsBackTheRemoteNameUnchanged) {
    quillbox::Description d;
    d.remoteName = "Tanaka, Ltd.; Sales";
    const Outcome out = Send(d, 3);
    EXPECT_EQ(out.remoteName, "Tanaka, Ltd.; Sales");
    EXPECT_EQ(out.result, 0x55u);
}

TEST_F(Receive, WithoutRuleFileTheFaxStaysWhereTheHostPutIt) {
    quillbox::Description d;
    d.remoteName = "Anyone";
    const Outcome out = Send(d, 7);
    EXPECT_EQ(out.path, fax);
    EXPECT_EQ(test::ReadFile(fax), std::string("II*\0fax", 7));
}

TEST_F(Receive, ARejectedDescriptionWritesNeitherBuffer) {
    quillbox::Description d;
    d.remoteName = "Someone";
    std::vector<std::uint8_t> block = quillbox::BuildDescription(d);
    block[12] = 0;  // not a record the module knows
    const Outcome out = Send(d, 3, block);
    EXPECT_EQ(out.remoteName, "host text");
    EXPECT_EQ(out.path, fax);
}

// With a rule file and a box list in place.
class ReceiveWithRules : public Receive {
protected:
    void SetUp() override {
        Receive::SetUp();
        boxFolder = root + "/box1";
        std::filesystem::create_directory(boxFolder);
        test::WriteFile(DataDir() + "/qvscan_f.bin", "1;" + boxFolder + ";x\r\n");
        test::WriteFile(DataDir() + "/WbFaxRcv001.rfd",
                        "[FCODE]\r\nF001=Sub;1234;sub@example.org;SUBPC\r\n"
                        "[TSI]\r\nT001=Tokyo;03-1234;03-1234;tokyo@example.org;TOKYOPC\r\n"
                        "[DTN]\r\nD001=SentTokyo;03-1234;031234;;\r\n"
                        "[OTHER]\r\nOtherFile=Rx;;;OTHERPC\r\nTXFile=Tx;;;\r\n");
        trace = root + "/trace.log";
        test::SetEnv("WBFAX_TRACE", trace.c_str());
    }

    std::string boxFolder;
    std::string trace;
};

TEST_F(ReceiveWithRules, StoresTheFaxInTheRuleFolderAndTellsTheHost) {
    quillbox::Description d;
    d.remoteNumber = "03-12 34";  // blanks go, hyphens stay for a sender number
    d.adminMail = "admin@example.org";
    const Outcome out = Send(d, 1);
    EXPECT_EQ(out.path, platform::NativePath(boxFolder + "\\Tokyo\\incoming.tif"));
    EXPECT_TRUE(test::Exists(out.path));
    EXPECT_FALSE(test::Exists(fax));
    EXPECT_EQ(out.result, 0x55u);
}

TEST_F(ReceiveWithRules, SentDocumentsGoByTheDestinationNumber) {
    quillbox::Description d;
    d.dataType = 0;
    d.remoteNumber = "03-12 34";
    d.subAddress = "1234";  // never consulted for a sent document
    const Outcome out = Send(d, 1);
    EXPECT_EQ(out.path, platform::NativePath(boxFolder + "\\SentTokyo\\incoming.tif"));
}

TEST_F(ReceiveWithRules, MissingNotificationParametersAreTraced) {
    quillbox::Description d;
    d.remoteNumber = "0999";  // falls back to OtherFile, whose mail list is empty
    d.adminMail = "admin@example.org";
    const Outcome out = Send(d, 1);
    EXPECT_EQ(out.path, platform::NativePath(boxFolder + "\\Rx\\incoming.tif"));
    EXPECT_EQ(test::ReadFile(trace),
              " Rcv Data Type=1\n SMTP Send Param Error:\n   FAX Admin E-mail:admin@example.org\n   To Addr         :\n");
}

TEST_F(ReceiveWithRules, AnEmptyAdminAddressStopsOnlyMailNotification) {
    quillbox::Description d;
    d.subAddress = "1234";
    Send(d, 1);
    EXPECT_NE(test::ReadFile(trace).find("SMTP Send Param Error"), std::string::npos);

    // PC notification needs no administrator: the rule's PC list is handed on without a trace.
    test::WriteFile(ConfigFile(), "[RCVFAX]\r\nUSESMTP=0\r\n");
    test::WriteFile(trace, "");
    test::WriteFile(fax, "again");
    const Outcome out = Send(d, 1);
    EXPECT_EQ(out.path, platform::NativePath(boxFolder + "\\Sub\\incoming.tif"));
    EXPECT_EQ(test::ReadFile(trace).find("SMTP Send Param Error"), std::string::npos);
}

TEST(DisplayName, PrefersNameThenIdAndDropsListSeparators) {
    EXPECT_EQ(MakeDisplayName("A, B; C", "id"), "A_ B_ C");
    EXPECT_EQ(MakeDisplayName("", "ID;1,2"), "ID_1_2");
    EXPECT_EQ(MakeDisplayName("", ""), "(FAX)");
    // Double-byte characters of code page 932 keep their bytes; only the separators change.
    EXPECT_EQ(MakeDisplayName("\x83\x41\x83\x43,\x95\x5c;", ""), "\x83\x41\x83\x43_\x95\x5c_");
}

}  // namespace
}  // namespace wbfax
