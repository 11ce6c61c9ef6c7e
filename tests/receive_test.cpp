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

// In code page 932 the second byte of many characters reads as "\": 表 0x95 0x5C, ソ 0x83 0x5C.
TEST_F(ReceiveWithRules, DoubleByteNamesAreStoredAndNamedWhole) {
    test::SetEnv("WBFAX_ACP", "932");
    if (platform::AnsiCodePage() != 932) GTEST_SKIP() << "the system's code page is not 932";
    const std::string hyou = test::ToCodePage("表", "CP932"), so = test::ToCodePage("ソ", "CP932");
    ASSERT_EQ(hyou + so, "\x95\\\x83\\");
    test::WriteFile(DataDir() + "/WbFaxRcv001.rfd", "[OTHER]\r\nOtherFile=" + hyou + ";;x@example.org;PC01\r\n");
    // The module joins folders with a backslash, which only the POSIX build turns into "/".
#if defined(_WIN32)
    const std::string folder = boxFolder + "\\" + hyou + "\\", name = so + ".tif";
#else
    const std::string folder = boxFolder + "/" + hyou + "/", name = so + ".tif";
#endif
    const struct {
        const char *config;
        std::vector<std::string> job, body;  // lines each file holds
    } cases[] = {
        {"[RCVFAX]\r\nUSESMTP=1\r\nADDFFILE=1\r\n",
         {"(" + name + ")\r\n", "FileName=" + name + "\r\n"},
         {"\t" + folder + "\r\n", "\t" + name + "\r\n"}},
        {"[RCVFAX]\r\nUSESMTP=0\r\n", {"(" + name + ")\r\n"}, {"Path=" + folder + "\r\n", "FileName=" + name + "\r\n"}},
    };
    for (const auto &c : cases) {
        test::WriteFile(ConfigFile(), c.config);
        fax = root + "/" + so + "(3).tif";
        test::WriteFile(fax, "fax");
        quillbox::Description d;
        d.adminMail = "admin@example.org";
        EXPECT_EQ(Send(d, 1).path, folder + name);
        EXPECT_EQ(test::ReadFile(folder + name), "fax");
        EXPECT_FALSE(test::Exists(boxFolder + "/\x95"));

        std::string job;
        for (const auto &entry : std::filesystem::directory_iterator(DataDir()))
            if (entry.path().extension() == ".tmp") job = entry.path().string();
        ASSERT_FALSE(job.empty());
        const std::string stem = job.substr(0, job.size() - 4);
        for (const std::string &line : c.job) EXPECT_NE(test::ReadFile(job).find(line), std::string::npos) << line;
        for (const std::string &line : c.body) EXPECT_NE(test::ReadFile(stem + ".001").find(line), std::string::npos) << line;
        for (const char *extension : {".tmp", ".001", ".002"}) std::filesystem::remove(stem + extension);
    }
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
