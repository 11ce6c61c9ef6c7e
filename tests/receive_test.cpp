// Command 2 as far as the box's rule file: the remote name handed back, the display name, and
// a fax left alone when its box has no rules.
#include "distribution/receive.h"
#include "entry/entry.h"
#include "platform/platform.h"
#include "quillbox-host/description.h"
#include "ipc_scratch.h"

#include <array>
#include <cstring>

namespace wbfax {
namespace {

// Box 1 has rules; the other boxes have none.
class ReceiveWithRules : public test::IpcScratch {
protected:
    void SetUp() override {
        IpcScratch::SetUp();
        test::WriteFile(fax = root + "/incoming.tif", "fax");
        std::filesystem::create_directory(boxFolder = root + "/box1");
        test::WriteFile(DataDir() + "/qvscan_f.bin", "1;" + boxFolder + ";x\r\n");
        test::WriteFile(DataDir() + "/WbFaxRcv001.rfd",
                        "[FCODE]\r\nF001=Sub;1234;sub@example.org;SUBPC\r\nF002=Gone\\Deeper;5678;;\r\n"
                        "[TSI]\r\nT001=Tokyo;03-1234;03-1234;tokyo@example.org;TOKYOPC\r\n"
                        "[DTN]\r\nD001=SentTokyo;03-1234;031234;;\r\n"
                        "[OTHER]\r\nOtherFile=Rx;;;OTHERPC\r\nTXFile=Tx;;;\r\n");
        test::SetEnv("WBFAX_TRACE", (trace = root + "/trace.log").c_str());
    }

    struct Outcome {
        std::string remoteName, path;
        std::uint32_t result;
    };
    Outcome Send(const quillbox::Description &d, std::uint32_t box, std::uint8_t kind = 1) {
        std::vector<std::uint8_t> block = quillbox::BuildDescription(d);
        block[12] = kind;
        std::array<char, 260> path{};
        std::strcpy(path.data(), fax.c_str());
        std::array<char, 256> remoteName{};
        std::strcpy(remoteName.data(), "host text");
        std::uint32_t result = 0x55;
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()), reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(remoteName.data()), box};
        EXPECT_EQ(wbCatchExtExpFunc(2, &result, slots), 1);
        return {remoteName.data(), path.data(), result};
    }

    std::string fax, boxFolder, trace;
};

// Blanks in a number go, hyphens stay for a sender number; a sent document goes by its
// destination number, never by its sub-address. Mail notification needs an administrator
// address and a mail list, PC notification neither. The remote name goes back as it came; the
// fax stays where the host put it when its box has no rules (boxes 3 and 7) or its description is
// rejected (kind 0), and then the name buffer is not written either.
TEST_F(ReceiveWithRules, StoresTheFaxInTheRuleFolderAndTellsTheHost) {
    const struct {
        std::uint32_t box;
        std::uint8_t kind;
        const char *config;
        std::uint8_t dataType;
        const char *remoteNumber, *subAddress, *adminMail, *folder;
        bool paramError;
    } cases[] = {
        {1, 1, "", 1, "03-12 34", "", "admin@example.org", "Tokyo", false},
        {1, 1, "", 0, "03-12 34", "1234", "", "SentTokyo", true},
        {1, 1, "", 1, "0999", "", "admin@example.org", "Rx", true},
        {1, 1, "", 1, "", "1234", "", "Sub", true},
        {1, 1, "[RCVFAX]\r\nUSESMTP=0\r\n", 1, "", "1234", "", "Sub", false},
        {1, 1, "", 1, "", "5678", "", nullptr, true},  // two folder levels missing: the fax stays
        {3, 1, "", 1, "03-12 34", "", "", nullptr, false}, {7, 1, "", 1, "", "1234", "", nullptr, false},
        {1, 0, "", 1, "03-12 34", "", "", nullptr, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(Format("box %u kind %u %s", c.box, c.kind, c.folder ? c.folder : "stays"));
        test::WriteFile(ConfigFile(), c.config);
        test::WriteFile(trace, "");
        test::WriteFile(fax, "fax");
        quillbox::Description d;
        d.dataType = c.dataType;
        d.remoteNumber = c.remoteNumber;
        d.subAddress = c.subAddress;
        d.adminMail = c.adminMail;
        d.remoteName = "Tanaka, Ltd.; Sales";
        const Outcome out = Send(d, c.box, c.kind);
        EXPECT_EQ(out.remoteName, c.kind ? d.remoteName : "host text");
        EXPECT_EQ(out.path, c.folder ? platform::NativePath(boxFolder + "\\" + c.folder + "\\incoming.tif") : fax);
        EXPECT_EQ(test::ReadFile(out.path), "fax");
        EXPECT_EQ(test::Exists(fax), !c.folder);
        EXPECT_EQ(out.result, 0x55u);
        const std::string traced = test::ReadFile(trace);
        EXPECT_EQ(traced.find("SMTP Send Param Error") != std::string::npos, c.paramError) << traced;
        if (c.folder && c.folder == std::string("Rx")) {
            EXPECT_EQ(traced, " Rcv Data Type=1\n SMTP Send Param Error:\n   FAX Admin E-mail:admin@example.org\n   To Addr         :\n");
        }
    }
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
        {"[RCVFAX]\r\nUSESMTP=1\r\nADDFFILE=1\r\n", {"(" + name + ")\r\n", "FileName=" + name + "\r\n"},
         {"\t" + folder + "\r\n", "\t" + name + "\r\n"}},
        {"[RCVFAX]\r\nUSESMTP=0\r\n", {"(" + name + ")\r\n"}, {"Path=" + folder + "\r\n", "FileName=" + name + "\r\n"}},
    };
    for (const auto &c : cases) {
        test::WriteFile(ConfigFile(), c.config);
        test::WriteFile(fax = root + "/" + so + "(3).tif", "fax");
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
