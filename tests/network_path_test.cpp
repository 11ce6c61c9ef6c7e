// Network names of local folders: the choice of the share, and the share list.
#include "distribution/network_path.h"
#include "ipc_scratch.h"

namespace wbfax {
namespace {

using platform::ShareEntry;

TEST(NetworkPath, ThroughTheDeepestShareOrTheNetworkDrive) {
    const std::vector<ShareEntry> nested = {{"SHARE1", "D:\\Data"}, {"SHARE2", "D:\\Data\\Fax"}}, data = {{"Data", "D:\\Data"}};
    const std::vector<ShareEntry> posixNested = {{"SHARE1", "/srv/data"}, {"SHARE2", "/srv/data/fax"}};
    const struct {
        const char *path;
        std::uint32_t type;  // 3 fixed, 4 network drive
        std::string universal;
        std::vector<ShareEntry> shares;
        std::string name;  // "-": none found
    } cases[] = {
        {"D:\\Data\\Fax\\Box1", 3, "", nested, "\\\\pc01\\SHARE2\\Box1"},
        {"D:\\Data\\Box1\\", 3, "", nested, "\\\\pc01\\SHARE1\\Box1"},
        {"d:\\data\\FAX\\box1\\", 3, "", nested, "\\\\pc01\\SHARE2\\box1"},  // letter case aside
        {"D:\\Fax\\In", 3, "", {{"D", "D:\\"}, {"FAX", "D:\\Fax"}}, "\\\\pc01\\D\\Fax\\In"},  // equal depth: the first share
        {"D:\\Data\\", 3, "", data, "\\\\pc01\\Data"}, {"D:\\Data", 3, "", data, "\\\\pc01\\Data"}, {"D:\\Dat", 3, "", data, "-"},
        {"D:\\Data\\x", 3, "", {{"D", "D:"}}, "-"},  // a share without depth never counts
        {"E:\\Data\\x", 3, "", nested, "-"}, {"\\\\other\\share\\Box1", 3, "", nested, "-"}, {"D:\\Data\\x", 3, "", {}, "-"},
        {"Z:\\Fax\\Box1\\", 4, "\\\\server\\fax\\Box1\\", nested, "\\\\server\\fax\\Box1"}, {"Z:\\Fax\\Box1\\", 4, "", nested, ""},
        {"D:\\Data\\Fax\\", 5, "", nested, "-"}, {"D:\\Data\\Fax\\", 2, "", nested, "-"}, {"D:\\Data\\Fax\\", 1, "", nested, "-"},
        // The same with this system's separators.
        {"/srv/data/fax/box1/", 3, "", posixNested, "\\\\pc01\\SHARE2\\box1"},
        {"/srv/data/in/", 3, "", posixNested, "\\\\pc01\\SHARE1\\in"},
        {"/fax/in", 3, "", {{"ROOT", "/"}, {"FAX", "/fax"}}, "\\\\pc01\\ROOT\\fax\\in"},
        {"/srv/data/", 3, "", {{"DATA", "/srv/data"}}, "\\\\pc01\\DATA"},
        {"/srv/data/x", 3, "", {{"A", "/srv/data"}, {"B", "/srv/data"}}, "\\\\pc01\\A\\x"}, {"/srv/other/x", 3, "", posixNested, "-"},
    };
    for (const auto &c : cases) {
        const NetworkName n = ToUncPathVia(c.path, c.type, c.universal, c.shares, "pc01");
        EXPECT_EQ(n.found ? n.name : n.name + "-", c.name) << c.path << " on drive type " << c.type;
    }
}

// Letter case as the system's locale sees it: accented capitals fold in code page 1252, and a
// double-byte character never matches another whose second byte is the other case of a letter.
TEST(NetworkPath, SharePathsCompareWithoutLetterCaseAsTheLocaleDoes) {
    if (platform::AnsiCodePage() != 1252) GTEST_SKIP() << "the system's code page is not 1252";
    const std::vector<ShareEntry> accented = {{"DATA", "D:\\Donn\xE9" "es"}};
    EXPECT_EQ(ToUncPathVia("D:\\DONN\xC9" "ES\\In", 3, "", accented, "pc01").name, "\\\\pc01\\DATA\\In");
    EXPECT_EQ(ToUncPathVia("D:\\DONNEES\\In", 3, "", accented, "pc01").found, 0);
}

class JapaneseShares : public test::CodePage932Install {};

TEST_F(JapaneseShares, ADoubleByteCharacterMatchesOnlyItself) {
    const std::string a = test::ToCodePage("ア", "CP932"), dzi = test::ToCodePage("ヂ", "CP932");  // 83 41, 83 61
    ASSERT_EQ(std::string() + a[1] + dzi[1], "Aa");
    const std::vector<ShareEntry> shares = {{"FAX", "D:\\" + a + "\\Fax"}};
    EXPECT_EQ(ToUncPathVia("d:\\" + a + "\\FAX\\Box", 3, "", shares, "pc01").name, "\\\\pc01\\FAX\\Box");
    EXPECT_EQ(ToUncPathVia("D:\\" + dzi + "\\Fax\\Box", 3, "", shares, "pc01").found, 0);
    // A name that ends in a second byte 0x5C keeps it: only a separator is dropped.
    const std::string hyou = test::ToCodePage("表", "CP932");
    EXPECT_EQ(ToUncPathVia("D:\\" + a + "\\Fax\\" + hyou, 3, "", shares, "pc01").name, "\\\\pc01\\FAX\\" + hyou);
    EXPECT_EQ(ToUncPathVia("", 4, "\\\\srv\\" + hyou, shares, "").name, "\\\\srv\\" + hyou);
}

#if !defined(_WIN32)
class Shares : public test::IpcScratch {};

// Hidden shares and the global section are left out, even where a hidden share is deeper.
TEST_F(Shares, SambaSharesInFileOrderWithoutHiddenOnesAndGlobal) {
    test::WriteFile(root + "/smb.conf",
                    "# shares of the fax server\n[global]\n   workgroup = OFFICE\n   path = /srv\n"
                    "[Fax Store]\n   comment = all faxes\n   Path = /srv/fax\n[admin$]\n   path = /srv/fax/box1/in\n"
                    "; the first box\n[Box1]\npath=/srv/fax/box1\npath = /srv/elsewhere\n[printers]\n   printable = yes\n"
                    "  [ data ]  \n\tpath\t=\t/srv/data  \n[GLOBAL]\npath = /srv/again\n");
    EnumerateShares();
    std::string listed;
    for (const ShareEntry &share : ShareList()) listed += share.name + "=" + share.path + ";";
    EXPECT_EQ(listed, "Fax Store=/srv/fax;Box1=/srv/fax/box1;data=/srv/data;");
    EXPECT_EQ(ToUncPathVia("/srv/fax/box1/in/", 3, "", ShareList(), "pc01").name, "\\\\pc01\\Box1\\in");
    test::WriteFile(root + "/smb.conf", "");
    EnumerateShares();
    EXPECT_TRUE(ShareList().empty());
}
#endif

}  // namespace
}  // namespace wbfax
