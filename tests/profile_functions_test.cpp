// The expected results are the system's own profile functions' (see compare-profile-with-wine.sh).
#include "test_support.h"

#include "platform/platform.h"

#include <optional>

namespace wbfax::test {
namespace {

namespace platform = wbfax::platform;

// A literal with NUL characters in it.
template <std::size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }

class ProfileFunctions : public ScratchInstall {
protected:
    std::string File() const { return root + "\\profile.ini"; }
    std::string Native() const { return root + "/profile.ini"; }

    void Put(const std::string &bytes) { WriteFile(Native(), bytes); }

    // Text and returned length; checks that nothing is written past the buffer.
    std::pair<std::string, std::uint32_t> Get(const char *section, const char *key, const char *def,
                                              std::uint32_t size = 256) const {
        std::string buffer(size + 8, '\xA5');
        const std::uint32_t n = platform::ProfileGetString(section, key, def, buffer.data(), size, File().c_str());
        EXPECT_EQ(buffer.substr(size), std::string(8, '\xA5')) << "written past the buffer";
        return {buffer.substr(0, buffer.find('\0')), n};
    }
};

constexpr std::uint32_t kInt = 0xFFFFFFFF;  // as a size: read with ProfileGetInt, the default a number

TEST_F(ProfileFunctions, Reads) {
    struct Read {
        const char *section, *key;
        std::string expected;  // the text, whose length is also the count returned
        const char *def = "d";
        std::uint32_t size = 256;
    };
    const struct {
        std::optional<std::string> put;  // none: no file
        std::vector<Read> reads;
    } groups[] = {
        // Blanks around names and values are dropped, but a no-break space is no blank.
        {" \t[  S\t] \r\n \tk \t= \tv w\t \r\n\x0Bj\x0C=\x1Ax\x1A\r\n[\xA0T\xA0]\r\n\xA0m=\xA0y\xA0\r\n",
         {{"S", "k", "v w"}, {" S\t", "\tk ", "v w"}, {"S\x1A", "j\x0B", "x"}, {"T", "m", "d"},
          {"\xA0T\xA0", "\xA0m", "\xA0y\xA0"}}},
        // Names match ignoring ASCII case only.
        {"[Sect]\r\nKey=1\r\n[\xC9t\xE9]\r\n\xC9=upper\r\n\x8A=caron\r\n",
         {{"sECT", "kEY", "1"}, {"SECT", "key", "1", "0", kInt}, {"\xC9T\xE9", "\xC9", "upper"}, {"\xE9t\xE9", "\xC9", "d"},
          {"\xC9t\xE9", "\x9A", "d"}}},
        // Lines without value, comments, empty values and empty names.
        {"[S]\r\nalone\r\n;c=1\r\nempty=\r\n=a\r\n=b\r\nk=1\r\n",
         {{"S", "alone", "d"}, {"S", "alone", "7", "7", kInt}, {"S", ";c", "1"}, {"S", "empty", ""},
          {"S", "empty", "5", "5", kInt}, {"S", "", "a"}}},
        // Matching quotes are removed, also from defaults; a buffer just too small for the quoted
        // text loses a character more.
        {"[S]\r\nsq='single'\r\ndq=\"double\"\r\nmix='mixed\"\r\none='\r\ntwo=''\r\ninner=a'b'\r\n",
         {{"S", "sq", "single"}, {"S", "dq", "double"}, {"S", "mix", "'mixed\""}, {"S", "one", "'"}, {"S", "two", ""},
          {"S", "inner", "a'b'"}, {"S", "x", "q", "'q'  "}, {"S", "sq", "single", "d", 8}, {"S", "sq", "singl", "d", 7}}},
        // Defaults lose trailing spaces, but not their first character nor tabs; buffer sizes cut
        // the text and count what fits.
        {"[S]\r\nk=hello\r\n",
         {{"S", "x", "abc", "abc   "}, {"S", "x", " ", "   "}, {"S", "x", "a\t", "a\t "}, {"S", "x", " a", " a "},
          {"S", "x", "", nullptr}, {"S", "k", "", "d", 1}, {"S", "k", "h", "d", 2}, {"S", "k", "hell", "d", 5},
          {"S", "k", "hello", "d", 6}, {"S", "x", "defa", "defaultvalue", 5}}},
        // Ctrl-Z is a blank and NUL ends a name or value.
        {Bytes("[S\0x]\r\nk=a\0b\r\nj=w\x1A\r\n\x1A"), {{"S", "k", "a"}, {"S", "j", "w"}}},
        // Byte order marks select UTF-8 (best fit, then "?") and UTF-16.
        {"\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\nn=\xC4\x80\xE2\x82\xAC\xE4\xB8\xAD\r\nbad=\xE2\x82" "A\xC0\r\n",
         {{"S", "k", "caf\xE9"}, {"S", "n", "A\x80?"}, {"S", "bad", "?A?"}}},
        {Bytes("\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE9\0"), {{"S", "k", "\xE9"}}},
        {std::nullopt, {{"S", "k", "q", "'q' "}, {"S", "k", "42", "42", kInt}}},
        {"[C  ]\r\nc1 =v \r\n", {{"C", "c1", "v"}}},  // as a write with blanks left it
    };
    for (const auto &group : groups) {
        RemoveTree(Native());
        if (group.put) Put(*group.put);
        for (const Read &r : group.reads) {
            SCOPED_TRACE(std::string(r.section) + "/" + r.key + " size " + std::to_string(r.size));
            if (r.size == kInt) {
                EXPECT_EQ(std::to_string(platform::ProfileGetInt(r.section, r.key, std::stoi(r.def), File().c_str())), r.expected);
            } else {
                EXPECT_EQ(Get(r.section, r.key, r.def, r.size), std::make_pair(r.expected, std::uint32_t(r.expected.size())));
            }
        }
    }
    // Numbers take base prefixes and wrap.
    const std::pair<const char *, std::uint32_t> numbers[] = {{"42", 42}, {"-42", 4294967254u}, {"+7", 7}, {"  12 ", 12},
        {"0x1F", 31}, {"0X1F", 0}, {"0b101", 5}, {"0o17", 15}, {"017", 17}, {"-0x10", 4294967280u}, {"4294967297", 1},
        {"-2147483649", 2147483647}, {"abc", 0}, {"12abc", 12}, {"'15'", 15}, {"- 5", 0}, {"\x01" "5", 5}, {"0b2", 0},
        {"+-1", 0}, {"1234567890123456789012345678901234", 1849262357}};
    for (const auto &[text, value] : numbers) {
        Put(std::string("[N]\r\nn=") + text + "\r\n");
        EXPECT_EQ(platform::ProfileGetInt("N", "n", 77, File().c_str()), value) << text;
    }
    EXPECT_EQ(platform::ProfileGetInt("N", "missing", -1, File().c_str()), 4294967295u);
    char untouched = 'u';
    EXPECT_EQ(platform::ProfileGetString("S", "k", "d", &untouched, 0, File().c_str()), 0u);
    EXPECT_EQ(untouched, 'u');
}

TEST_F(ProfileFunctions, Writes) {
    const std::string deleting = "[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n[A]\r\nm=4\r\nk=5\r\n";
    const std::string unchanged = " [ S ]\n Key =  v \n;c\n";
    struct Edit {
        const char *section, *key, *value;  // a null value deletes
    };
    const std::vector<Edit> keep = {{"S", "Key", "v"}, {"s", "key", "  v"}, {" S ", "\tkey ", "v"}, {"S", "nothere", nullptr}},
                            names = {{" A", "j", nullptr}, {"A", "j ", nullptr}};
    std::vector<Edit> deletes = names;
    deletes.insert(deletes.end(), {{"a", "J", nullptr}, {"A", "k", nullptr}, {"A", "k", nullptr}, {"B", "k", nullptr}});
    auto plus = [](std::vector<Edit> edits, Edit more) {
        edits.push_back(more);
        return edits;
    };
    const struct {
        std::optional<std::string> put, after;  // none: no file
        std::vector<Edit> edits;
    } cases[] = {
        // Of nameless lines in a row only the first survives a rewrite.
        {"[S]\r\nalone\r\n;c=1\r\nempty=\r\n=a\r\n=b\r\nk=1\r\n", "[S]\r\nalone=now\r\n;c=1\r\nempty=\r\n=a\r\nk=1\r\n",
         {{"S", "alone", "now"}}},
        // New sections go to the end, names losing leading blanks only, values both.
        {"[A]\r\n", "[A]\r\n[C  ]\r\nc1 =v \r\n", {{" C  ", "\tc1 ", "  \tv "}}},
        // A write that changes nothing leaves the file as it is.
        {unchanged, unchanged, keep},
        {unchanged, "[S]\r\nKey=w\r\n;c\r\n", plus(keep, {"S", "Key", "w"})},
        // Deleting takes the names as given and searches all sections of the name; a null key
        // removes the first section of the name, keys and all.
        {deleting, deleting, names},
        {deleting, "[A]\r\n[B]\r\n[A]\r\nm=4\r\n", deletes},
        {deleting, "[B]\r\n[A]\r\nm=4\r\n", plus(deletes, {"a", nullptr, nullptr})},
        // A missing file is created only by a write.
        {std::nullopt, std::nullopt, {{"S", "k", nullptr}, {"S", nullptr, nullptr}}},
        {Bytes("[S\0x]\r\nk=a\0b\r\nj=w\x1A\r\n\x1A"), "[S]\r\nk=a\r\nj=w\r\nm=1\r\n", {{"S", "m", "1"}}},
        // A UTF-8 file stays UTF-8, with what could not be read as U+FFFD; UTF-16 stays UTF-16.
        {"\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\nn=\xC4\x80\xE2\x82\xAC\xE4\xB8\xAD\r\nbad=\xE2\x82" "A\xC0\r\n",
         "\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\nn=\xC4\x80\xE2\x82\xAC\xE4\xB8\xAD\r\nbad=\xEF\xBF\xBD" "A\xEF\xBF\xBD\r\nj=\xC3\xA9\r\n",
         {{"S", "k", "caf\xE9"}, {"S", "j", "\xE9"}}},
        {Bytes("\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE9\0"), Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0j\0=\0x\0\r\0\n\0"),
         {{"S", "j", "x"}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.put.value_or("(no file)"));
        RemoveTree(Native());
        if (c.put) Put(*c.put);
        for (const Edit &e : c.edits) EXPECT_TRUE(platform::ProfileWriteString(e.section, e.key, e.value, File().c_str())) << e.section << "/" << (e.key ? e.key : "(null)");
        EXPECT_EQ(Exists(Native()), c.after.has_value());
        if (c.after) {
            EXPECT_EQ(ReadFile(Native()), *c.after);
        }
    }
}

TEST_F(ProfileFunctions, MissingFolderCannotBeOpenedAndGivesTheDefaultUnquoted) {
    const std::string file = root + "\\nodir\\test.ini";
    char buffer[64];
    EXPECT_EQ(platform::ProfileGetString("S", "k", "'q'  ", buffer, sizeof buffer, file.c_str()), 3u);
    EXPECT_EQ(std::string(buffer), "'q'");
    EXPECT_FALSE(platform::ProfileWriteString("S", "k", "v", file.c_str()));
    EXPECT_FALSE(Exists(root + "/nodir"));
}

TEST_F(ProfileFunctions, NullNamesListKeysOrSections) {
    Put("[S]\r\nk=1\r\n;c=2\r\nalone\r\nj=3\r\n[T]\r\n[S]\r\nz=1\r\n");
    std::string buffer(64, '\xA5');
    EXPECT_EQ(platform::ProfileGetString("S", nullptr, "d", buffer.data(), 64, File().c_str()), 4u);
    EXPECT_EQ(buffer.substr(0, 5), Bytes("k\0j\0\0"));
    EXPECT_EQ(platform::ProfileGetString(nullptr, nullptr, "d", buffer.data(), 64, File().c_str()), 6u);
    EXPECT_EQ(buffer.substr(0, 7), Bytes("S\0T\0S\0\0"));
    EXPECT_EQ(Get("X", nullptr, "d  ").first, "d  ");
}

// A bare file name lies in the Windows directory, in code page 932 also one whose second byte
// reads as "\" (the Windows build takes the code page from its locale).
TEST_F(ProfileFunctions, ABareFileNameLiesInTheWindowsDirectory) {
    std::vector<std::string> names{"wbfax-profile-test-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".ini"};
#if !defined(_WIN32)
    SetEnv("WBFAX_ACP", "932");
    names.push_back("\x95\x5C" + names[0]);
#endif
    for (const std::string &name : names) {
        ASSERT_TRUE(platform::ProfileWriteString("S", "k", "v", name.c_str()));
        const std::string inWindows = platform::WindowsDirectory() + "/" + name;
        const std::string content = ReadFile(inWindows);
        RemoveTree(inWindows);
        EXPECT_EQ(content, "[S]\r\nk=v\r\n") << name;
    }
}

}  // namespace
}  // namespace wbfax::test
