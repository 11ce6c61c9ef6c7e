#include "settings/access.h"
#include "settings/box_list.h"

#include "settings/config.h"
#include "test_support.h"

#include <filesystem>

#if !defined(_WIN32)
#include <acl/libacl.h>
#include <fcntl.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace wbfax {
namespace {

using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

#if defined(_WIN32)
// Access lists on Windows are the platform tests' business; here only what exists counts.
void ExpectMode(const std::string &, unsigned) {}
using AccessTest = test::ScratchInstall;
#else
void ExpectMode(const std::string &path, unsigned mode) {
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 07777, mode) << path;
}

// Entries of the folder's default ACL; none when the file system keeps no ACLs.
std::optional<int> DefaultAclEntries(const std::string &folder) {
    acl_t acl = acl_get_file(folder.c_str(), ACL_TYPE_DEFAULT);
    if (!acl) return std::nullopt;
    const int entries = acl_entries(acl);
    acl_free(acl);
    return entries;
}

// "Open to everyone" must not depend on the creator's umask.
class AccessTest : public test::ScratchInstall {
protected:
    void SetUp() override { ScratchInstall::SetUp(); savedUmask_ = ::umask(022); }
    void TearDown() override { ::umask(savedUmask_); ScratchInstall::TearDown(); }
    mode_t savedUmask_ = 0;
};
#endif
using BoxListTest = AccessTest;

TEST_F(BoxListTest, FirstLineOfTheBoxGivesItsFolder) {
    const std::string overLong = "99;" + std::string(256, 'a') + "12;C:\\Tail;x\r\n";
    const struct { std::string list; std::uint32_t box; std::string folder; } cases[] = {
        {"3;C:\\Fax\\Three;x\r\n12;C:\\Fax\\Twelve;x\r\n", 12, "C:\\Fax\\Twelve"}, {" +12x;C:\\Sign;x\r\n", 12, "C:\\Sign"},
        {"12;C:\\First;x\r\n12;C:\\Second;x\r\n", 12, "C:\\First"}, {"12;C:\\NoBreak", 12, "C:\\NoBreak"},
        {"12\r\n13;C:\\Next;x\r\n", 12, ""},               {"3;C:\\Three;x\r\n112;C:\\Other;x\r\n", 12, ""},
        {"1;C:\\One;x\r\nname;C:\\Named;x\r\n", 0, "C:\\Named"}, {overLong, 99, std::string(256, 'a')},
        {overLong, 12, "C:\\Tail"},  // read in pieces of 259 characters
    };
    for (const auto &c : cases) {
        WriteFile(DataDir() + "/qvscan_f.bin", c.list);
        EXPECT_EQ(GetBoxFolder(c.box), c.folder) << c.list << " box " << c.box;
    }
}

TEST_F(BoxListTest, MissingListIsCreatedEmptyAndOpen) {
    EXPECT_EQ(GetBoxFolder(0), "");
    EXPECT_EQ(ReadFile(DataDir() + "/qvscan_f.bin"), "");
    ExpectMode(DataDir() + "/qvscan_f.bin", 0777);
}

TEST_F(AccessTest, OpenWithOpenAccessCreatesOnlyWhenAsked) {
    using D = platform::Disposition;
    const struct { D disposition; const char *before; bool opens; const char *after; unsigned mode; } cases[] = {  // null: no file
        {D::OpenExisting, nullptr, false, nullptr, 0}, {D::OpenExisting, "old", true, "old", 0640},
        {D::CreateNew, nullptr, true, "", 0777},       {D::CreateNew, "old", false, "old", 0640},
        {D::OpenAlways, nullptr, true, "", 0777},      {D::OpenAlways, "old", true, "old", 0640},
    };
    const std::string file = DataDir() + "/job.pfs";
    for (const auto &c : cases) {
        SCOPED_TRACE(static_cast<int>(c.disposition) * 10 + (c.before ? 1 : 0));
        fs::remove(file);
        if (c.before) {
            WriteFile(file, c.before);
            fs::permissions(file, fs::perms(0640));
        }
        EXPECT_EQ(static_cast<bool>(OpenWithOpenAccess(DataFolder() + "\\job.pfs", "rt", c.disposition)), c.opens);
        EXPECT_EQ(fs::exists(file) ? ReadFile(file) : "(none)", c.after ? c.after : "(none)");
        if (c.after) ExpectMode(file, c.mode);
    }
}

TEST_F(AccessTest, GrantOpenAccessBySystemClass) {
    const struct { int osClass; unsigned mode; bool inherited; } cases[] = {
        {0, 0700, false}, {1, 0700, false}, {2, 0777, false}, {3, 0777, true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.osClass);
        const std::string name = "box" + std::to_string(c.osClass), folder = DataDir() + "/" + name;
        fs::create_directory(folder);
        fs::permissions(folder, fs::perms(0700));
        EXPECT_EQ(GrantOpenAccessFor(c.osClass, DataFolder() + "\\" + name), 1);
        ExpectMode(folder, c.mode);
#if !defined(_WIN32)
        if (const std::optional<int> entries = DefaultAclEntries(folder)) {
            EXPECT_EQ(*entries > 0, c.inherited);
        }
#endif
        EXPECT_EQ(GrantOpenAccessFor(c.osClass, DataFolder() + "\\missing"), c.osClass < 2 ? 1 : 0);
    }
}

#if !defined(_WIN32)
TEST_F(AccessTest, WhatIsCreatedInsideAnOpenFolderIsOpenToo) {
    const std::string folder = DataDir() + "/Box001";
    fs::create_directory(folder);
    ASSERT_EQ(GrantOpenAccess(DataFolder() + "\\Box001"), 1);
    if (!DefaultAclEntries(folder)) GTEST_SKIP() << "no ACLs on this file system";
    const mode_t saved = ::umask(077);
    const int fd = ::open((folder + "/fax.tif").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0666);
    const int made = ::mkdir((folder + "/sub").c_str(), 0777);
    ::umask(saved);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ASSERT_EQ(made, 0);
    ExpectMode(folder + "/fax.tif", 0666);
    ExpectMode(folder + "/sub", 0777);
    EXPECT_GT(DefaultAclEntries(folder + "/sub").value_or(0), 0);
}
#endif

}  // namespace
}  // namespace wbfax
