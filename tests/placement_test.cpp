#include "distribution/placement.h"

#include "entry/entry.h"
#include "base/text.h"
#include "notification/job_files.h"
#include "quillbox-host/description.h"
#include "test_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

namespace wbfax {
namespace {

namespace fs = std::filesystem;
using test::Exists;
using test::ReadFile;
using test::WriteFile;

std::string Slashes(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class PlacementTest : public test::ScratchInstall {
protected:
    void SetUp() override {
        ScratchInstall::SetUp();
        store = Slashes(root) + "/store";
        fs::create_directories(store + "/Sales");
        fs::create_directories(root + "/in");
        WriteFile(DataDir() + "/qvscan_f.bin", "3;x;x\r\n7;" + store + ";more\r\n");
    }
    void SetOverWrite(int value) { WriteFile(ConfigFile(), Format("[MANAGEMENT]\r\nOverWrite=%d\r\n", value)); }
    std::string Received(const std::string &name, const std::string &content = "fax") {
        const std::string path = Slashes(root) + "/in/" + name;
        WriteFile(path, content);
        return path;
    }
    std::string store;
};

TEST(StripCopyNumber, DropsOnlyAPositiveLastNumber) {
    const struct {
        const char *path, *name;
    } cases[] = {
        {"C:\\in\\scan(3).tif", "scan.tif"}, {"report(0).tif", "report(0).tif"}, {"report(x).tif", "report(x).tif"},
        {"a(2)b(5).tif", "a(2)b.tif"},       {"x().tif", "x().tif"},             {"f( 4)x.tif", "fx.tif"},
        {"f(-1).tif", "f(-1).tif"},          {"f)2(.tif", "f)2(.tif"},           {"dir(2)/in.tif", "in.tif"},
        {"noext(12)", "noext"},              {"C:scan(2).tif", "scan.tif"},      {"C:\\in\\a:b(2).tif", "a:b.tif"},
    };
    for (const auto &c : cases) EXPECT_EQ(StripCopyNumber(c.path), c.name) << c.path;
}

class JapaneseNames : public test::CodePage932Install {};

TEST_F(JapaneseNames, ASecondByteThatReadsAsABackslashStaysInTheName) {
    const std::string list = test::ToCodePage("一覧表", "CP932");  // ends in 0x95 0x5C
    ASSERT_EQ(list.back(), '\\');
    EXPECT_EQ(StripCopyNumber("C:\\in\\" + list + "(3).tif"), list + ".tif");
    EXPECT_EQ(StripCopyNumber(list + "\\" + list + ".tif"), list + ".tif");
    // A lead byte at the very end stands alone.
    EXPECT_EQ(StripCopyNumber("C:\\in\\x\x95"), "x\x95");

    const std::string so = test::ToCodePage("ソ", "CP932");  // 0x83 0x5C
    const struct {
        std::string path, posix, directory, name;
    } paths[] = {
        {"C:\\in\\" + list + "\\" + so + ".tif", "C:/in/" + list + "/" + so + ".tif", "\\in\\" + list + "\\", so},
        {"/in/" + list + "/" + so + ".tif", "/in/" + list + "/" + so + ".tif", "/in/" + list + "/", so},
        {"D:" + list + so + ".tif", "D:" + list + so + ".tif", "", list + so},
        {"in\\x\x95", "in/x\x95", "in\\", "x\x95"},
    };
    for (const auto &p : paths) {
        const PathParts parts = SplitPath(p.path);
        EXPECT_EQ(parts.directory, p.directory) << p.path;
        EXPECT_EQ(parts.name, p.name) << p.path;
#if !defined(_WIN32)
        EXPECT_EQ(platform::NativePath(p.path), p.posix);
#endif
    }
}

TEST_F(PlacementTest, OverWriteReplacesTheNameWithoutCopyNumber) {
    SetOverWrite(1);
    WriteFile(store + "/Sales/scan.tif", "old");
    const std::string received = Received("scan(3).tif", "new");
    const fs::path cwd = fs::current_path();
    const Placement placed = PlaceReceivedFile(7, "Sales", received);
    EXPECT_TRUE(placed.moved);
    EXPECT_EQ(Slashes(placed.storedPath), store + "/Sales/scan.tif");
    EXPECT_EQ(ReadFile(store + "/Sales/scan.tif"), "new");
    EXPECT_FALSE(Exists(received));
    EXPECT_EQ(fs::current_path(), cwd);
}

TEST_F(PlacementTest, WithoutOverWriteTheNextFreeNumberIsTaken) {
    SetOverWrite(0);
    WriteFile(store + "/Sales/scan.tif", "0");
    WriteFile(store + "/Sales/scan(1).tif", "1");
    const fs::path cwd = fs::current_path();
    const Placement placed = PlaceReceivedFile(7, "Sales", Received("scan(3).tif", "new"));
    EXPECT_EQ(Slashes(placed.storedPath), store + "/Sales/scan(2).tif");
    EXPECT_EQ(ReadFile(store + "/Sales/scan(2).tif"), "new");
    EXPECT_EQ(ReadFile(store + "/Sales/scan.tif") + ReadFile(store + "/Sales/scan(1).tif"), "01");
    EXPECT_EQ(fs::current_path(), cwd);
}

TEST_F(PlacementTest, CreatesOneMissingFolderLevelOnly) {
    for (int overWrite : {0, 1}) {
        SCOPED_TRACE(overWrite);
        SetOverWrite(overWrite);
        const std::string fresh = Format("Fresh%d", overWrite);
        Placement placed = PlaceReceivedFile(7, fresh, Received("a.tif"));
        EXPECT_TRUE(placed.moved);
        EXPECT_EQ(ReadFile(store + "/" + fresh + "/a.tif"), "fax");
#if !defined(_WIN32)
        EXPECT_EQ(fs::status(store + "/" + fresh).permissions() & fs::perms::others_all, fs::perms::others_all);
#endif
        // Two levels missing: the fax stays where the host wrote it, and the host is told so.
        const std::string received = Received("b.tif");
        placed = PlaceReceivedFile(7, "Gone\\Deeper", received);
        EXPECT_FALSE(placed.moved);
        EXPECT_EQ(placed.storedPath, received);
        EXPECT_EQ(ReadFile(received), "fax");
        EXPECT_FALSE(Exists(store + "/Gone"));
    }
}

TEST_F(PlacementTest, AnEmptyRuleFolderIsTheBoxFolderItself) {
    SetOverWrite(0);
    const Placement placed = PlaceReceivedFile(7, "", Received("c.tif"));
    EXPECT_EQ(Slashes(placed.storedPath), store + "//c.tif");
    EXPECT_EQ(ReadFile(store + "/c.tif"), "fax");
}

TEST_F(PlacementTest, AFaxAlreadyAtItsTargetStays) {
    SetOverWrite(1);
    WriteFile(store + "/here.tif", "fax");
    const Placement placed = PlaceReceivedFile(7, "", store + "/here.tif");
    EXPECT_EQ(ReadFile(placed.storedPath), "fax");
}

TEST_F(PlacementTest, AVanishedFileIsNotReportedAsStored) {
    SetOverWrite(1);
    WriteFile(store + "/Sales/gone.tif", "old");
    const std::string received = Slashes(root) + "/in/gone.tif";
    const Placement placed = PlaceReceivedFile(7, "Sales", received);
    EXPECT_FALSE(placed.moved);
    EXPECT_EQ(placed.storedPath, received);
    EXPECT_FALSE(Exists(store + "/Sales/gone.tif"));  // overwriting deletes first
}

TEST_F(PlacementTest, ABoxWithoutFolderWorksBelowTheRootOfTheDrive) {
    SetOverWrite(1);
    std::string below = Slashes(root);
    if (below.size() > 1 && below[1] == ':') below.erase(0, 2);  // the current drive stands for it
    const fs::path cwd = fs::current_path();
    fs::current_path(root);
    const Placement placed = PlaceReceivedFile(12, below.substr(1) + "/nobox", Received("d.tif"));
    fs::current_path(cwd);
    EXPECT_TRUE(placed.moved);
    EXPECT_EQ(ReadFile(root + "/nobox/d.tif"), "fax");
}

TEST_F(PlacementTest, TheHostLearnsThePathTheFaxLiesAt) {
    WriteFile(DataDir() + "/WbFaxRcv007.rfd", "[FCODE]\r\nF001=Gone\\Deeper;1;;\r\n[OTHER]\r\nOtherFile=Sales;;\r\n");
    const std::string stays = Received("e.tif"), moves = Received("f.tif"), vanished = Slashes(root) + "/in/none";
    const struct {
        const char *subAddress;
        std::string received, stored;
    } cases[] = {{"1", stays, stays}, {"", moves, store + "/Sales/f.tif"}, {"", vanished, vanished}};
    for (const auto &c : cases) {
        quillbox::Description d;
        d.subAddress = c.subAddress;
        std::vector<std::uint8_t> block = quillbox::BuildDescription(d);
        std::array<char, 260> path{};
        std::strcpy(path.data(), c.received.c_str());
        std::array<char, 256> name{};
        std::uintptr_t slots[6] = {0, 0, reinterpret_cast<std::uintptr_t>(path.data()),
                                   reinterpret_cast<std::uintptr_t>(block.data()),
                                   reinterpret_cast<std::uintptr_t>(name.data()), 7};
        std::uint32_t result = 0;
        wbCatchExtExpFunc(2, &result, slots);
        EXPECT_EQ(Slashes(path.data()), c.stored);
        if (c.received != vanished) {
            EXPECT_EQ(ReadFile(c.stored), "fax") << c.stored;
        }
    }
}

}  // namespace
}  // namespace wbfax
