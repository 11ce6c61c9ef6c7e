// The platform layer's promises that the module relies on, held to on both builds: the
// runtime's text mode, CreateFile dispositions, folders and moves, the shell's special folder.
#include "platform/platform.h"
#include "settings/access.h"
#include "test_support.h"

#if defined(_WIN32)
#include "platform/win32/win32_internal.h"

#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#endif

#include <cstdlib>
#include <filesystem>

namespace wbfax {
namespace {

using platform::Disposition;
using platform::Stream;
using test::ReadFile;
using test::WriteFile;

class Platform : public test::ScratchInstall {
protected:
    // A module path ("\" separators) below the data folder, and the same file for the tests.
    std::string ModulePath(const std::string &name) const { return DataDir() + "\\" + name; }
    std::string Native(const std::string &name) const { return platform::NativePath(ModulePath(name)); }

    std::vector<std::string> Lines(const std::string &name, const char *mode, int size = 260) const {
        Stream in = Stream::Open(ModulePath(name), mode);
        std::vector<std::string> lines;
        if (!in) return lines;
        std::vector<char> buffer(static_cast<std::size_t>(size));
        while (in.ReadLine(buffer.data(), size)) lines.emplace_back(buffer.data());
        return lines;
    }
};

using LineList = std::vector<std::string>;

TEST_F(Platform, TextStreamsWriteCrLfReadLfAndStopAtCtrlZ) {
    {
        Stream out = Stream::Open(ModulePath("t.txt"), "wt");
        ASSERT_TRUE(out);
        EXPECT_TRUE(out.Write("one\ntwo\n\nlast"));
        EXPECT_FALSE(out.Failed());
        EXPECT_TRUE(out.Close());
    }
    EXPECT_EQ(ReadFile(Native("t.txt")), "one\r\ntwo\r\n\r\nlast");
    EXPECT_EQ(Lines("t.txt", "rt"), (LineList{"one\n", "two\n", "\n", "last"}));
    EXPECT_EQ(Lines("t.txt", "rb"), (LineList{"one\r\n", "two\r\n", "\r\n", "last"}));
    // A line longer than the buffer comes in pieces of size - 1.
    EXPECT_EQ(Lines("t.txt", "rt", 3), (LineList{"on", "e\n", "tw", "o\n", "\n", "la", "st"}));
    EXPECT_TRUE(Stream::Open(ModulePath("t.txt"), "at+").Write("\nmore\n"));
    EXPECT_EQ(ReadFile(Native("t.txt")), "one\r\ntwo\r\n\r\nlast\r\nmore\r\n");
    // Reading stops at Ctrl-Z and keeps lone carriage returns.
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
    EXPECT_TRUE(platform::PathExists(ModulePath("Rx")));
    EXPECT_FALSE(platform::FileExists(ModulePath("Rx")));              // a folder is no file
    EXPECT_TRUE(platform::FileExists(ModulePath("a.txt")));
    // A folder is not opened as a stream, so a folder named like a rule file is no rule file.
    EXPECT_FALSE(platform::Stream::Open(ModulePath("Rx"), "rt"));
    EXPECT_FALSE(platform::Stream::Open(ModulePath("Rx"), "rb"));

    EXPECT_TRUE(platform::CopyPath(ModulePath("a.txt"), ModulePath("Rx\\b.txt"), true));
    EXPECT_FALSE(platform::CopyPath(ModulePath("a.txt"), ModulePath("Rx\\b.txt"), true));
    WriteFile(Native("c.txt"), "new");
    EXPECT_TRUE(platform::CopyPath(ModulePath("c.txt"), ModulePath("Rx\\b.txt"), false));
    EXPECT_EQ(ReadFile(Native("Rx\\b.txt")), "new");

    // A move never replaces; a replace does.
    EXPECT_EQ(platform::MovePath(ModulePath("a.txt"), ModulePath("Rx\\b.txt")), platform::MoveOutcome::TargetExists);
    EXPECT_TRUE(platform::PathExists(ModulePath("a.txt")));
    EXPECT_EQ(platform::MovePath(ModulePath("none.txt"), ModulePath("Rx\\n.txt")), platform::MoveOutcome::Failed);
    EXPECT_EQ(platform::MovePath(ModulePath("a.txt"), ModulePath("Rx\\a.txt")), platform::MoveOutcome::Moved);
    EXPECT_FALSE(platform::PathExists(ModulePath("a.txt")));
    EXPECT_TRUE(platform::ReplacePath(ModulePath("Rx\\a.txt"), ModulePath("Rx\\b.txt")));
    EXPECT_EQ(ReadFile(Native("Rx\\b.txt")), "12345\r\n");

    EXPECT_TRUE(platform::RemoveFile(ModulePath("Rx\\b.txt")));
    EXPECT_FALSE(platform::RemoveFile(ModulePath("Rx\\b.txt")));
}

// Across volumes a move is staged: the target appears whole, the source goes last, a taken
// name is refused with both files left alone, and a staged copy whose process is gone is
// cleared by the next staged move into the folder.
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
    const std::string abandoned = ".wbfax~999999999~1.part";  // no process has that number
    WriteFile(Native(abandoned), "half");

    EXPECT_EQ(platform::MovePath(source, ModulePath("taken.tif")), platform::MoveOutcome::TargetExists);
    EXPECT_EQ(ReadFile(Native("taken.tif")), "mine");
    EXPECT_TRUE(test::Exists(platform::NativePath(source)));
    EXPECT_EQ(platform::MovePath(source, ModulePath("new.tif")), platform::MoveOutcome::Moved);
    EXPECT_FALSE(test::Exists(platform::NativePath(source)));
    EXPECT_TRUE(ReadFile(Native("new.tif")) == content) << "the copy is not whole";
    EXPECT_FALSE(test::Exists(Native(abandoned)));
    for (const auto &entry : std::filesystem::directory_iterator(DataDir()))
        EXPECT_NE(entry.path().filename().string().rfind(".wbfax~", 0), 0u) << entry.path() << " was left behind";
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
    EXPECT_EQ(ReadFile(Native("r.ini")), "new");
    EXPECT_TRUE(platform::ReplaceFileContent(ModulePath("open.ini"), "x", true));
    EXPECT_FALSE(platform::ReplaceFileContent(ModulePath("No\\Such\\r.ini"), "x", false));
#if !defined(_WIN32)
    EXPECT_EQ(ModeOf(Native("r.ini")).first, 0640u);
    EXPECT_EQ(ModeOf(Native("open.ini")).first, 0777u);
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
        // A secret is written where someone else left a file open to all, and where a link
        // leads elsewhere: neither is reused.
        WriteFile(Native(tag + ".tmp"), "planted");
        ::chmod(Native(tag + ".tmp").c_str(), 0666);
        WriteFile(Native(tag + "-target"), "untouched");
        ::symlink(Native(tag + "-target").c_str(), Native(tag + ".001").c_str());
        for (const char *secret : {".tmp", ".001"})
            EXPECT_TRUE(Stream::CreatePrivate(ModulePath(tag + secret), "wt").Write("AuthPassword=S3cret\n"));
        test::SetEnv("WBFAX_ACCESS_GROUP", nullptr);
        for (const auto &[name, mode] : {std::pair{tag + ".pfs", c.file}, {tag + "Box", c.folder}, {tag + ".tmp", c.secret}, {tag + ".001", c.secret}}) {
            EXPECT_EQ(ModeOf(Native(name)).first, mode) << name;
            if (c.group) {
                EXPECT_EQ(ModeOf(Native(name)).second, 65534u) << name;
            }
        }
        EXPECT_EQ(ReadFile(Native(tag + ".tmp")), "AuthPassword=S3cret\r\n");
        EXPECT_EQ(ReadFile(Native(tag + "-target")), "untouched");
    }
}
#endif

TEST_F(Platform, CurrentDirectoryCanBeEnteredAndRestored) {
    const std::optional<std::string> before = platform::CurrentDirectory();
    ASSERT_TRUE(before);
    ASSERT_TRUE(platform::EnterDirectory(DataDir()));
    WriteFile("here.txt", "x");  // relative: lands in the folder entered
    EXPECT_TRUE(platform::PathExists("here.txt"));
    EXPECT_FALSE(platform::EnterDirectory(ModulePath("missing")));
    EXPECT_TRUE(platform::EnterDirectory(*before));
    EXPECT_EQ(platform::CurrentDirectory(), before);
    EXPECT_TRUE(test::Exists(Native("here.txt")));
}

TEST_F(Platform, ShellGivesTheCommonApplicationDataFolder) {
    const platform::ModuleHandle shell = platform::LoadModule("Shell32.DLL");
    ASSERT_NE(shell, 0u);
    EXPECT_EQ(platform::FindProc(shell, "NoSuchProcedure"), nullptr);
    const platform::ProcAddress proc = platform::FindProc(shell, "SHGetSpecialFolderPathA");
    char buffer[260] = {};
    EXPECT_TRUE(platform::CallSpecialFolderPath(proc, buffer, 0x23, false));
    EXPECT_EQ(std::string(buffer), root);
    platform::FreeModule(shell);

    EXPECT_EQ(platform::LoadModule("WbFaxNoSuchModule.dll"), 0u);
    EXPECT_NE(platform::ThisModule(), 0u);
}

TEST_F(Platform, EnvironmentAndAppending) {
    EXPECT_EQ(platform::GetEnvironment("WBFAX_TEST_UNSET_VARIABLE"), std::nullopt);
    const std::string longValue(300, 'v');  // longer than a first guess at the size
    test::SetEnv("WBFAX_TEST_VARIABLE", longValue.c_str());
    EXPECT_EQ(platform::GetEnvironment("WBFAX_TEST_VARIABLE"), longValue);
    test::SetEnv("WBFAX_TEST_VARIABLE", nullptr);
    EXPECT_EQ(platform::GetEnvironment("WBFAX_TEST_VARIABLE"), std::nullopt);

    EXPECT_TRUE(platform::AppendToFile(ModulePath("log.txt"), "first\n"));
    EXPECT_TRUE(platform::AppendToFile(ModulePath("log.txt"), "second\n"));
    EXPECT_EQ(ReadFile(Native("log.txt")), "first\nsecond\n");  // bytes as given, no text mode
    EXPECT_FALSE(platform::AppendToFile(ModulePath("missing\\log.txt"), "x"));
}

// Windows answers the same table: this suite runs against it under Wine as well.
TEST(CodePages, LeadBytesOfTheDoubleByteCodePages) {
    struct Case {
        std::uint32_t codePage;
        std::uint8_t first, last;  // the lead bytes, each range inclusive
    } ranges[] = {{932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE}, {950, 0x81, 0xFE}};
    for (const std::uint32_t codePage : {932u, 936u, 949u, 950u, 1252u}) {
        for (int byte = 0; byte < 256; ++byte) {
            bool lead = false;
            for (const Case &r : ranges) lead |= r.codePage == codePage && byte >= r.first && byte <= r.last;
            EXPECT_EQ(platform::IsLeadByteOf(codePage, static_cast<std::uint8_t>(byte)), lead)
                << "code page " << codePage << ", byte " << byte;
        }
    }
}

#if defined(_WIN32)
// An access list entry as Windows reports it.
struct Entry {
    std::string sid;
    ACCESS_MASK mask;
    BYTE flags;
    bool operator==(const Entry &o) const { return sid == o.sid && mask == o.mask && flags == o.flags; }
};
std::ostream &operator<<(std::ostream &out, const Entry &e) { return out << e.sid << " mask " << std::hex << e.mask << " flags " << int(e.flags) << std::dec; }

std::vector<Entry> EntriesOf(const ACL *acl) {
    std::vector<Entry> entries;
    void *ace = nullptr;
    for (DWORD i = 0; acl && i < acl->AceCount; ++i) {
        if (!::GetAce(const_cast<ACL *>(acl), i, &ace)) continue;
        auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(ace);
        Entry entry{"(type " + std::to_string(allowed->Header.AceType) + ")", allowed->Mask, allowed->Header.AceFlags};
        char *text = nullptr;
        if (allowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && ::ConvertSidToStringSidA(&allowed->SidStart, &text)) {
            entry.sid = text;
            ::LocalFree(text);
        }
        entries.push_back(entry);
    }
    return entries;
}

// Whether Everyone may write the file or folder, with generic rights mapped to what they mean for files.
bool EveryoneMayWrite(std::string path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                &descriptor) != ERROR_SUCCESS)
        return false;
    const std::vector<Entry> entries = EntriesOf(dacl);
    ::LocalFree(descriptor);
    GENERIC_MAPPING files{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (const Entry &entry : entries) {
        ACCESS_MASK mask = entry.mask;
        ::MapGenericMask(&mask, &files);
        if (entry.sid == "S-1-1-0" && !(entry.flags & INHERIT_ONLY_ACE) && (mask & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE)
            return true;
    }
    return false;
}

constexpr BYTE kInherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
const std::vector<Entry> kEveryone{{"S-1-1-0", GENERIC_ALL, 0}},
    kInheritable{{"S-1-5-32-544", GENERIC_ALL, kInherited}, {"S-1-1-0", GENERIC_ALL, kInherited}};

TEST(AccessLists, OpenForFilesInheritableForFolders) {
    platform::win32::OpenAccessDescriptor descriptor;
    ASSERT_TRUE(descriptor);
    BOOL present = FALSE, defaulted = TRUE;
    PACL acl = nullptr;
    ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor.get(), &present, &acl, &defaulted));
    EXPECT_TRUE(present && !defaulted);
    EXPECT_EQ(EntriesOf(acl), kEveryone);
    const std::vector<unsigned char> buffer = platform::win32::InheritableOpenAccessList();
    ASSERT_FALSE(buffer.empty());
    EXPECT_EQ(buffer.size(), reinterpret_cast<const ACL *>(buffer.data())->AclSize);
    EXPECT_EQ(EntriesOf(reinterpret_cast<const ACL *>(buffer.data())), kInheritable);
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

TEST_F(Platform, FontIsMadeFromTheChosenSpecification) {
    const platform::FontSpec choice{-12, 128, "\x82\x6c\x82\x72\x20\x82\x6f\x83\x53\x83\x56\x83\x62\x83\x4e"};
    const platform::FontHandle font = platform::MakeFont(choice);
    ASSERT_NE(font, 0u);
    LOGFONTA made{};
    ASSERT_EQ(::GetObjectA(reinterpret_cast<HGDIOBJ>(font), sizeof made, &made), static_cast<int>(sizeof made));
    EXPECT_EQ(std::string(made.lfFaceName), choice.faceName);
    EXPECT_EQ(std::vector<long>({made.lfHeight, made.lfCharSet, made.lfWidth, made.lfWeight, made.lfQuality}),
              std::vector<long>({-12, 128, 0, 0, 0}));
    platform::DeleteFont(font);
}
#endif

}  // namespace
}  // namespace wbfax
