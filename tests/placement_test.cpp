#include "distribution/placement.h"

#include "base/text.h"
#include "notification/job_files.h"
#include "test_support.h"

#include <algorithm>
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

TEST(StripCopyNumber, DropsOnlyAPositiveLastNumber) {
    const std::pair<const char *, const char *> cases[] = {
        {"C:\\in\\scan(3).tif", "scan.tif"}, {"report(0).tif", "report(0).tif"}, {"report(x).tif", "report(x).tif"},
        {"a(2)b(5).tif", "a(2)b.tif"},       {"x().tif", "x().tif"},             {"f( 4)x.tif", "fx.tif"},
        {"f(-1).tif", "f(-1).tif"},          {"f)2(.tif", "f)2(.tif"},           {"dir(2)/in.tif", "in.tif"},
        {"noext(12)", "noext"},              {"C:scan(2).tif", "scan.tif"},      {"C:\\in\\a:b(2).tif", "a:b.tif"},
    };
    for (const auto &[path, name] : cases) EXPECT_EQ(StripCopyNumber(path), name) << path;
}

class JapaneseNames : public test::CodePage932Install {};

TEST_F(JapaneseNames, ASecondByteThatReadsAsABackslashStaysInTheName) {
    const std::string list = test::ToCodePage("一覧表", "CP932"), so = test::ToCodePage("ソ", "CP932");  // 95 5C, 83 5C
    ASSERT_EQ(std::string() + list.back() + so.back(), "\\\\");
    EXPECT_EQ(StripCopyNumber(list + "\\" + list + "(3).tif"), list + ".tif");
    EXPECT_EQ(StripCopyNumber("C:\\in\\x\x95"), "x\x95");  // a lead byte at the very end stands alone
    const struct {
        std::string path, posix, directory, name;
    } paths[] = {
        {"C:\\in\\" + list + "\\" + so + ".tif", "C:/in/" + list + "/" + so + ".tif", "\\in\\" + list + "\\", so},
        {"D:" + list + so + ".tif", "D:" + list + so + ".tif", "", list + so},
        {"in\\x\x95", "in/x\x95", "in\\", "x\x95"},
    };
    for (const auto &p : paths) {
        const PathParts parts = SplitPath(p.path);
        EXPECT_EQ(parts.directory + "|" + parts.name, p.directory + "|" + p.name) << p.path;
#if !defined(_WIN32)
        EXPECT_EQ(platform::NativePath(p.path), p.posix);
#endif
    }
}

class PlacementTest : public test::ScratchInstall {};

// The paths are below root; box 7's folder is "store", box 12 has none, and its rule folder
// then starts at the root of the current drive.
TEST_F(PlacementTest, TheFaxGoesToTheRuleFolderUnderItsNameOrTheNextFreeNumber) {
    const std::string store = Slashes(root) + "/store";
    fs::create_directories(store + "/Sales");
    fs::create_directories(root + "/in");
    WriteFile(DataDir() + "/qvscan_f.bin", "3;x;x\r\n7;" + store + ";more\r\n");
    std::string drive = Slashes(root);
    if (drive.size() > 1 && drive[1] == ':') drive.erase(0, 2);  // the current drive stands for it
    using Files = std::vector<std::pair<std::string, std::string>>;  // "": absent
    const struct {
        int overWrite;
        std::uint32_t box;
        Files before;
        std::string folder, received;
        bool write;          // false: the host's file is already there, or has vanished
        std::string stored;  // "": not moved, the host is told where the fax lies
        Files after;
    } cases[] = {
        {1, 7, {{"store/Sales/scan.tif", "old"}}, "Sales", "in/scan(3).tif", true, "store/Sales/scan.tif", {{"store/Sales/scan.tif", "fax"}}},
        {0, 7, {{"store/Sales/scan.tif", "0"}, {"store/Sales/scan(1).tif", "1"}}, "Sales", "in/scan(3).tif", true,
         "store/Sales/scan(2).tif", {{"store/Sales/scan(2).tif", "fax"}, {"store/Sales/scan.tif", "0"}, {"store/Sales/scan(1).tif", "1"}}},
        {0, 7, {{"store/Sales/one.tif", "0"}}, "Sales", "in/one(4).tif", true, "store/Sales/one(1).tif", {{"store/Sales/one(1).tif", "fax"}}},
        // One missing folder level is made, two are not.
        {0, 7, {}, "Fresh0", "in/a.tif", true, "store/Fresh0/a.tif", {{"store/Fresh0/a.tif", "fax"}}},
        {1, 7, {}, "Fresh1", "in/a.tif", true, "store/Fresh1/a.tif", {{"store/Fresh1/a.tif", "fax"}}},
        {0, 7, {}, "Gone\\Deeper", "in/b.tif", true, "", {{"store/Gone", ""}}},
        {1, 7, {}, "Gone\\Deeper", "in/b.tif", true, "", {{"store/Gone", ""}}},
        {0, 7, {}, "", "in/c.tif", true, "store//c.tif", {{"store/c.tif", "fax"}}},  // the box's folder itself
        {1, 7, {{"store/here.tif", "fax"}}, "", "store/here.tif", false, "store//here.tif", {{"store/here.tif", "fax"}}},
        {1, 7, {{"store/Sales/gone.tif", "old"}}, "Sales", "in/gone.tif", false, "", {{"store/Sales/gone.tif", ""}}},  // overwriting deletes first
        {1, 12, {}, drive.substr(1) + "/nobox", "in/d.tif", true, "nobox/d.tif", {{"nobox/d.tif", "fax"}}},
    };
    const fs::path cwd = fs::current_path();
    fs::current_path(root);
    const fs::path here = fs::current_path();
    for (const auto &c : cases) {
        SCOPED_TRACE(c.folder + " " + c.received);
        WriteFile(ConfigFile(), Format("[MANAGEMENT]\r\nOverWrite=%d\r\n", c.overWrite));
        for (const auto &[name, content] : c.before) WriteFile(root + "/" + name, content);
        const std::string received = Slashes(root) + "/" + c.received;
        if (c.write) WriteFile(received, "fax");
        const Placement placed = PlaceReceivedFile(c.box, c.folder, received);
        EXPECT_EQ(fs::current_path(), here);
        EXPECT_EQ(placed.moved, !c.stored.empty());
        EXPECT_EQ(Slashes(placed.storedPath), c.stored.empty() ? received : (c.box == 7 ? Slashes(root) : drive) + "/" + c.stored);
        EXPECT_EQ(c.write ? ReadFile(received) : "", c.write && c.stored.empty() ? "fax" : "") << "the host's file";
        for (const auto &[name, content] : c.after)
            EXPECT_EQ(Exists(root + "/" + name) ? "there: " + ReadFile(root + "/" + name) : "",
                      content.empty() ? "" : "there: " + content) << name;
#if !defined(_WIN32)
        if (c.folder.rfind("Fresh", 0) == 0) {
            EXPECT_EQ(fs::status(store + "/" + c.folder).permissions() & fs::perms::others_all, fs::perms::others_all);
        }
#endif
    }
    fs::current_path(cwd);
}

}  // namespace
}  // namespace wbfax
