// The platform layer's promises that the module relies on, held to on both builds.
#include "platform/platform.h"
#include "settings/access.h"
#include "test_support.h"

#if defined(_WIN32)
#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

#include <filesystem>

namespace wbfax {
namespace {

using platform::Disposition;
using platform::Stream;
using test::ReadFile;
using test::WriteFile;

class Platform : public test::ScratchInstall {
protected:
    std::string ModulePath(const std::string &name) const { return DataDir() + "\\" + name; }
    std::string Native(const std::string &name) const { return platform::NativePath(ModulePath(name)); }

    std::vector<std::string> Lines(const std::string &name, const char *mode, int size = 260) const {
        Stream in = Stream::Open(ModulePath(name), mode);
        std::vector<std::string> lines;
        std::vector<char> buffer(static_cast<std::size_t>(size));
        while (in && in.ReadLine(buffer.data(), size)) lines.emplace_back(buffer.data());
        return lines;
    }
};

using LineList = std::vector<std::string>;

TEST_F(Platform, TextStreamsWriteCrLfReadLfAndStopAtCtrlZ) {
    Stream out = Stream::Open(ModulePath("t.txt"), "wt");
    EXPECT_TRUE(out.Write("one\ntwo\n\nlast") && out.Close());
    EXPECT_EQ(ReadFile(Native("t.txt")), "one\r\ntwo\r\n\r\nlast");
    EXPECT_EQ(Lines("t.txt", "rt"), (LineList{"one\n", "two\n", "\n", "last"}));
    // A line longer than the buffer comes in pieces of size - 1.
    EXPECT_EQ(Lines("t.txt", "rt", 3), (LineList{"on", "e\n", "tw", "o\n", "\n", "la", "st"}));
    EXPECT_TRUE(Stream::Open(ModulePath("t.txt"), "at+").Write("\nmore\n"));
    EXPECT_EQ(ReadFile(Native("t.txt")), "one\r\ntwo\r\n\r\nlast\r\nmore\r\n");
    // Text reads stop at Ctrl-Z and keep lone carriage returns.
    WriteFile(Native("z.txt"), "a\rb\r\r\nc\r\nd\x1A" "after\r\n");
    EXPECT_EQ(Lines("z.txt", "rt"), (LineList{"a\rb\r\n", "c\n", "d"}));
    EXPECT_EQ(Lines("z.txt", "rb").back(), "d\x1A" "after\r\n");
    EXPECT_FALSE(Stream::Open(ModulePath("missing.txt"), "rt"));
}

TEST_F(Platform, FilesFoldersAndLengths) {
    WriteFile(Native("a.txt"), "12345\r\n");
    EXPECT_EQ(platform::FileLength(ModulePath("a.txt")), 7);
    EXPECT_EQ(platform::FileLength(ModulePath("none.txt")), -1);

    EXPECT_TRUE(platform::MakeDirectory(ModulePath("Rx")));
    EXPECT_FALSE(platform::MakeDirectory(ModulePath("Rx")));           // exists
    EXPECT_FALSE(platform::MakeDirectory(ModulePath("No\\Such")));     // parent missing
    EXPECT_TRUE(platform::PathExists(ModulePath("Rx")) && platform::FileExists(ModulePath("a.txt")));
    EXPECT_FALSE(platform::FileExists(ModulePath("Rx")));              // a folder is no file
    // A folder is not opened as a stream, so a folder named like a rule file is no rule file.
    EXPECT_FALSE(platform::Stream::Open(ModulePath("Rx"), "rt"));

    EXPECT_TRUE(platform::CopyPath(ModulePath("a.txt"), ModulePath("Rx\\b.txt"), true));
    EXPECT_FALSE(platform::CopyPath(ModulePath("a.txt"), ModulePath("Rx\\b.txt"), true));
    WriteFile(Native("c.txt"), "new");
    EXPECT_TRUE(platform::CopyPath(ModulePath("c.txt"), ModulePath("Rx\\b.txt"), false));
    EXPECT_EQ(ReadFile(Native("Rx\\b.txt")), "new");

    // A move never replaces; a replace does.
    EXPECT_EQ(platform::MovePath(ModulePath("a.txt"), ModulePath("Rx\\b.txt")), platform::MoveOutcome::TargetExists);
    EXPECT_EQ(platform::MovePath(ModulePath("none.txt"), ModulePath("Rx\\n.txt")), platform::MoveOutcome::Failed);
    EXPECT_EQ(platform::MovePath(ModulePath("a.txt"), ModulePath("Rx\\a.txt")), platform::MoveOutcome::Moved);
    EXPECT_TRUE(!platform::PathExists(ModulePath("a.txt")) && platform::ReplacePath(ModulePath("Rx\\a.txt"), ModulePath("Rx\\b.txt")));
    EXPECT_EQ(ReadFile(Native("Rx\\b.txt")), "12345\r\n");

    EXPECT_TRUE(platform::RemoveFile(ModulePath("Rx\\b.txt")) && !platform::RemoveFile(ModulePath("Rx\\b.txt")));
}

// Across volumes a move is staged: the target appears whole, the source goes last, a taken
// name is refused with both files left alone.
TEST_F(Platform, MovesAcrossVolumesAreStagedAndNeverReplace) {
#if defined(_WIN32)
    const std::string other = "Z:\\dev\\shm";
#else
    const std::string other = "/dev/shm";
#endif
    if (!test::Exists(other)) GTEST_SKIP() << "no second volume at " << other;
    const std::string source = other + "\\wbfax-move-" + std::to_string(std::rand()) + ".tif";
    const std::string content(1 << 20, 'f');
    WriteFile(platform::NativePath(source), content);
    WriteFile(Native("taken.tif"), "mine");

    EXPECT_EQ(platform::MovePath(source, ModulePath("taken.tif")), platform::MoveOutcome::TargetExists);
    EXPECT_TRUE(ReadFile(Native("taken.tif")) == "mine" && test::Exists(platform::NativePath(source)));
    EXPECT_EQ(platform::MovePath(source, ModulePath("new.tif")), platform::MoveOutcome::Moved);
    EXPECT_TRUE(!test::Exists(platform::NativePath(source)) && ReadFile(Native("new.tif")) == content);
}

#if !defined(_WIN32)
// Permission bits and group of the file itself (a link is not followed).
std::pair<mode_t, gid_t> ModeOf(const std::string &path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? std::pair{st.st_mode & 07777, st.st_gid} : std::pair{mode_t(-1), gid_t(-1)};
}
#endif

// A file replaced whole keeps its access rights; a new one gets open access only when asked.
TEST_F(Platform, AReplacedFileKeepsItsRights) {
    WriteFile(Native("r.ini"), "old");
#if !defined(_WIN32)
    ::chmod(Native("r.ini").c_str(), 0640);
#endif
    EXPECT_TRUE(platform::ReplaceFileContent(ModulePath("r.ini"), "new", true));
    EXPECT_TRUE(ReadFile(Native("r.ini")) == "new" && platform::ReplaceFileContent(ModulePath("open.ini"), "x", true));
    EXPECT_FALSE(platform::ReplaceFileContent(ModulePath("No\\Such\\r.ini"), "x", false));
#if !defined(_WIN32)
    EXPECT_EQ(std::pair(ModeOf(Native("r.ini")).first, ModeOf(Native("open.ini")).first), std::pair(mode_t(0640), mode_t(0777)));
#endif
    std::size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(DataDir())) files += entry.is_regular_file();
    EXPECT_EQ(files, 2u) << "a temporary file was left behind";
}

#if !defined(_WIN32)
TEST_F(Platform, OpenAccessMeansTheServiceGroupWhereOneIsSetAndSecretsAreNeverOpenToOthers) {
    const struct { const char *group; mode_t file, folder, secret; } cases[] = {  // group: WBFAX_ACCESS_GROUP
        {nullptr, 0777, 0777, 0600}, {"65534", 0660, 02770, 0660}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.group ? c.group : "unset");
        test::SetEnv("WBFAX_ACCESS_GROUP", c.group);
        const std::string tag = c.group ? "g" : "u";
        ASSERT_TRUE(platform::CreateFileWithOpenAccess(ModulePath(tag + ".pfs"), Disposition::CreateNew));
        ASSERT_TRUE(platform::MakeDirectory(ModulePath(tag + "Box")));
        EXPECT_TRUE(platform::GrantInheritableOpenAccess(ModulePath(tag + "Box")));
        // A secret is never written into a planted file open to all, nor through a link.
        WriteFile(Native(tag + ".tmp"), "planted");
        ::chmod(Native(tag + ".tmp").c_str(), 0666);
        WriteFile(Native(tag + "-target"), "untouched");
        ::symlink(Native(tag + "-target").c_str(), Native(tag + ".001").c_str());
        for (const char *secret : {".tmp", ".001"})
            EXPECT_TRUE(Stream::CreatePrivate(ModulePath(tag + secret), "wt").Write("AuthPassword=S3cret\n"));
        test::SetEnv("WBFAX_ACCESS_GROUP", nullptr);
        for (const auto &[name, mode] : {std::pair{tag + ".pfs", c.file}, {tag + "Box", c.folder}, {tag + ".tmp", c.secret}, {tag + ".001", c.secret}}) {
            EXPECT_EQ(ModeOf(Native(name)).first, mode) << name;
            EXPECT_TRUE(!c.group || ModeOf(Native(name)).second == 65534u) << name;
        }
        EXPECT_EQ(ReadFile(Native(tag + ".tmp")) + ReadFile(Native(tag + "-target")), "AuthPassword=S3cret\r\nuntouched");
    }
}
#endif

TEST_F(Platform, CurrentDirectoryEnvironmentAndAppending) {
    const std::optional<std::string> before = platform::CurrentDirectory();
    ASSERT_TRUE(before && platform::EnterDirectory(DataDir()));
    WriteFile("here.txt", "x");  // relative: lands in the folder entered
    EXPECT_FALSE(platform::EnterDirectory(ModulePath("missing")));
    EXPECT_TRUE(platform::EnterDirectory(*before) && test::Exists(Native("here.txt")));
    EXPECT_EQ(platform::CurrentDirectory(), before);

    const std::string longValue(300, 'v');  // longer than a first guess at the size
    test::SetEnv("WBFAX_TEST_VARIABLE", longValue.c_str());
    EXPECT_EQ(platform::GetEnvironment("WBFAX_TEST_VARIABLE"), longValue);
    test::SetEnv("WBFAX_TEST_VARIABLE", nullptr);
    EXPECT_EQ(platform::GetEnvironment("WBFAX_TEST_VARIABLE"), std::nullopt);

    for (const char *line : {"first\n", "second\n"}) EXPECT_TRUE(platform::AppendToFile(ModulePath("log.txt"), line));
    EXPECT_EQ(ReadFile(Native("log.txt")), "first\nsecond\n");  // bytes as given, no text mode
    EXPECT_FALSE(platform::AppendToFile(ModulePath("missing\\log.txt"), "x"));
}

#if defined(_WIN32)
// Whether Everyone may write the file or folder itself, generic rights mapped as for files.
bool EveryoneMayWrite(std::string path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    bool may = false;
    void *ace = nullptr;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        if (!::GetAce(dacl, i, &ace)) continue;
        auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        ACCESS_MASK mask = allowed->Mask;
        ::MapGenericMask(&mask, &files);
        may |= allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && !(allowed->Header.AceFlags & INHERIT_ONLY_ACE) &&
               ::EqualSid(&allowed->SidStart, everyone) && (mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE;
    }
    ::FreeSid(everyone);
    ::LocalFree(descriptor);
    return may;
}

TEST_F(Platform, FoldersGivenOpenAccessLetEveryoneWrite) {
    for (const int osClass : {2, 3}) {
        SCOPED_TRACE(osClass);
        const std::string folder = ModulePath("Open" + std::to_string(osClass));
        ASSERT_TRUE(platform::MakeDirectory(folder));
        EXPECT_FALSE(EveryoneMayWrite(folder));
        ASSERT_EQ(GrantOpenAccessFor(osClass, folder), 1);
        EXPECT_TRUE(EveryoneMayWrite(folder));
        EXPECT_EQ(GrantOpenAccessFor(osClass, ModulePath("Missing")), 0);
    }
}

#endif

}  // namespace
}  // namespace wbfax
