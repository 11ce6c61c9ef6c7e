// The profile functions of the platform seam. The expected results are what the system's own
// functions do (established by scripts/compare-profile-with-wine.sh), so that the POSIX build
// keeps to them without Wine at hand.
#include "test_support.h"

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <utility>

namespace wbfax::test {
namespace {

namespace platform = wbfax::platform;

// A literal with NUL characters in it.
template <std::size_t N> std::string Bytes(const char (&text)[N]) { return std::string(text, N - 1); }

class ProfileFunctions : public ScratchInstall {
protected:
    // The module's way of naming the file, and the test's.
    std::string File() const { return root + "\\profile.ini"; }
    std::string Native() const { return root + "/profile.ini"; }

    void Put(const std::string &bytes) { WriteFile(Native(), bytes); }
    std::string Content() const { return ReadFile(Native()); }

    // Text and returned length; checks that nothing is written past the buffer.
    std::pair<std::string, std::uint32_t> Get(const char *section, const char *key, const char *def,
                                              std::uint32_t size = 256) const {
        std::string buffer(size + 8, '\xA5');
        const std::uint32_t n = platform::ProfileGetString(section, key, def, buffer.data(), size, File().c_str());
        EXPECT_EQ(buffer.substr(size), std::string(8, '\xA5')) << "written past the buffer";
        return {buffer.substr(0, buffer.find('\0')), n};
    }
    std::string Text(const char *section, const char *key, const char *def = "d", std::uint32_t size = 256) const {
        return Get(section, key, def, size).first;
    }
    std::uint32_t Int(const char *section, const char *key, std::int32_t def) const {
        return platform::ProfileGetInt(section, key, def, File().c_str());
    }
    bool Write(const char *section, const char *key, const char *value) const {
        return platform::ProfileWriteString(section, key, value, File().c_str());
    }
};

TEST_F(ProfileFunctions, BlanksAroundNamesAndValuesAreDroppedButNoBreakSpaceIsNoBlank) {
    Put(" \t[  S\t] \r\n \tk \t= \tv w\t \r\n\x0Bj\x0C=\x1Ax\x1A\r\n[\xA0T\xA0]\r\n\xA0m=\xA0y\xA0\r\n");
    EXPECT_EQ(Text("S", "k"), "v w");
    EXPECT_EQ(Text(" S\t", "\tk ", "d"), "v w");
    EXPECT_EQ(Text("S\x1A", "j\x0B"), "x");
    EXPECT_EQ(Text("T", "m"), "d");
    EXPECT_EQ(Text("\xA0T\xA0", "\xA0m"), "\xA0y\xA0");
}

TEST_F(ProfileFunctions, LinesEndAtAnyRunOfCrAndLf) {
    Put("[S]\ra=1\rb=2");
    EXPECT_EQ(Text("S", "b"), "2");
    Put("[S]\nk=1\r\nj=2\rm=3\n\n\nlast=4");
    EXPECT_EQ(Text("S", "j"), "2");
    EXPECT_EQ(Text("S", "m"), "3");
    EXPECT_EQ(Text("S", "last"), "4");
}

TEST_F(ProfileFunctions, NamesMatchIgnoringAsciiCaseOnly) {
    Put("[Sect]\r\nKey=1\r\n[\xC9t\xE9]\r\n\xC9=upper\r\n\x8A=caron\r\n");
    EXPECT_EQ(Text("sECT", "kEY"), "1");
    EXPECT_EQ(Int("SECT", "key", 0), 1u);
    EXPECT_EQ(Text("\xC9T\xE9", "\xC9"), "upper");
    EXPECT_EQ(Text("\xE9t\xE9", "\xC9"), "d");
    EXPECT_EQ(Text("\xC9t\xE9", "\xE9"), "d");
    EXPECT_EQ(Text("\xC9t\xE9", "\x9A"), "d");
}

TEST_F(ProfileFunctions, OnlyTheFirstOfDuplicateSectionsAndKeysIsRead) {
    Put("[A]\r\nk=first\r\nK=second\r\n[B]\r\n[a]\r\nk=third\r\nonly=second-section\r\n");
    EXPECT_EQ(Text("A", "k"), "first");
    EXPECT_EQ(Text("A", "only"), "d");
}

TEST_F(ProfileFunctions, LinesWithoutValueCommentsEmptyValuesAndEmptyNames) {
    Put("[S]\r\nalone\r\n;c=1\r\nempty=\r\n=a\r\n=b\r\nk=1\r\n");
    EXPECT_EQ(Text("S", "alone"), "d");
    EXPECT_EQ(Int("S", "alone", 7), 7u);
    EXPECT_EQ(Text("S", ";c"), "1");
    EXPECT_EQ(Get("S", "empty", "d"), std::make_pair(std::string(), 0u));
    EXPECT_EQ(Int("S", "empty", 5), 5u);
    EXPECT_EQ(Text("S", ""), "a");
    // Of nameless lines in a row only the first survives a rewrite.
    ASSERT_TRUE(Write("S", "alone", "now"));
    EXPECT_EQ(Content(), "[S]\r\nalone=now\r\n;c=1\r\nempty=\r\n=a\r\nk=1\r\n");
}

TEST_F(ProfileFunctions, MatchingQuotesAreRemovedAlsoFromDefaults) {
    Put("[S]\r\nsq='single'\r\ndq=\"double\"\r\nmix='mixed\"\r\none='\r\ntwo=''\r\ninner=a'b'\r\n");
    EXPECT_EQ(Text("S", "sq"), "single");
    EXPECT_EQ(Text("S", "dq"), "double");
    EXPECT_EQ(Text("S", "mix"), "'mixed\"");
    EXPECT_EQ(Text("S", "one"), "'");
    EXPECT_EQ(Text("S", "two"), "");
    EXPECT_EQ(Text("S", "inner"), "a'b'");
    EXPECT_EQ(Text("S", "x", "'q'  "), "q");
    // A buffer just too small for the quoted text loses a character more.
    EXPECT_EQ(Get("S", "sq", "d", 8), std::make_pair(std::string("single"), 6u));
    EXPECT_EQ(Get("S", "sq", "d", 7), std::make_pair(std::string("singl"), 5u));
    EXPECT_EQ(Get("S", "sq", "d", 6), std::make_pair(std::string("singl"), 5u));
}

TEST_F(ProfileFunctions, DefaultsLoseTrailingSpacesButNotTheirFirstCharacterNorTabs) {
    Put("[S]\r\nk=v\r\n");
    EXPECT_EQ(Get("S", "x", "abc   "), std::make_pair(std::string("abc"), 3u));
    EXPECT_EQ(Text("S", "x", "   "), " ");
    EXPECT_EQ(Text("S", "x", "a\t "), "a\t");
    EXPECT_EQ(Text("S", "x", " a "), " a");
    EXPECT_EQ(Get("S", "x", nullptr), std::make_pair(std::string(), 0u));
}

TEST_F(ProfileFunctions, BufferSizesCutTheTextAndCountWhatFits) {
    Put("[S]\r\nk=hello\r\n");
    EXPECT_EQ(Get("S", "k", "d", 1), std::make_pair(std::string(), 0u));
    EXPECT_EQ(Get("S", "k", "d", 2), std::make_pair(std::string("h"), 1u));
    EXPECT_EQ(Get("S", "k", "d", 5), std::make_pair(std::string("hell"), 4u));
    EXPECT_EQ(Get("S", "k", "d", 6), std::make_pair(std::string("hello"), 5u));
    EXPECT_EQ(Get("S", "x", "defaultvalue", 5), std::make_pair(std::string("defa"), 4u));
    char untouched = 'u';
    EXPECT_EQ(platform::ProfileGetString("S", "k", "d", &untouched, 0, File().c_str()), 0u);
    EXPECT_EQ(untouched, 'u');
}

TEST_F(ProfileFunctions, NumbersTakeBasePrefixesAndWrap) {
    const std::pair<const char *, std::uint32_t> cases[] = {
        {"42", 42u},          {"-42", 4294967254u}, {"+7", 7u},           {"  12 ", 12u},
        {"0x1F", 31u},        {"0X1F", 0u},         {"0b101", 5u},        {"0o17", 15u},
        {"017", 17u},         {"-0x10", 4294967280u}, {"4294967297", 1u}, {"-2147483649", 2147483647u},
        {"abc", 0u},          {"12abc", 12u},       {"'15'", 15u},        {"- 5", 0u},
        {"\x01" "5", 5u},     {"0b2", 0u},          {"+-1", 0u},          {"1234567890123456789012345678901234", 1849262357u},
    };
    for (const auto &[value, expected] : cases) {
        Put(std::string("[N]\r\nv=") + value + "\r\n");
        EXPECT_EQ(Int("N", "v", 77), expected) << value;
    }
    EXPECT_EQ(Int("N", "missing", -1), 4294967295u);
}

TEST_F(ProfileFunctions, NewKeysGoToTheEndOfTheirSectionAndNewSectionsToTheEnd) {
    Put("top=1\r\n[A]\r\na1=1\r\n\r\n;c\r\n[B]\r\nb1=1\r\n[A]\r\na2=2\r\n");
    ASSERT_TRUE(Write("a", "new", "1"));
    ASSERT_TRUE(Write("", "top2", "2"));
    ASSERT_TRUE(Write(" C  ", "\tc1 ", "  \tv "));
    EXPECT_EQ(Content(), "top=1\r\ntop2=2\r\n[A]\r\na1=1\r\n;c\r\nnew=1\r\n[B]\r\nb1=1\r\n[A]\r\na2=2\r\n[C  ]\r\nc1 =v \r\n");
    EXPECT_EQ(Text("C", "c1"), "v");
}

TEST_F(ProfileFunctions, AWriteThatChangesNothingLeavesTheFileAsItIs) {
    const std::string original = " [ S ]\n Key =  v \n;c\n";
    Put(original);
    EXPECT_TRUE(Write("S", "Key", "v"));
    EXPECT_TRUE(Write("s", "key", "  v"));
    EXPECT_TRUE(Write(" S ", "\tkey ", "v"));
    EXPECT_TRUE(Write("S", "nothere", nullptr));
    EXPECT_EQ(Content(), original);
    EXPECT_TRUE(Write("S", "Key", "w"));
    EXPECT_EQ(Content(), "[S]\r\nKey=w\r\n;c\r\n");
}

TEST_F(ProfileFunctions, DeletingSearchesAllSectionsOfTheNameAsGiven) {
    Put("[A]\r\nk=1\r\nj=2\r\n[B]\r\nk=3\r\n[A]\r\nm=4\r\nk=5\r\n");
    EXPECT_TRUE(Write(" A", "j", nullptr));
    EXPECT_TRUE(Write("A", "j ", nullptr));
    EXPECT_EQ(Text("A", "j"), "2");
    EXPECT_TRUE(Write("a", "J", nullptr));
    EXPECT_TRUE(Write("A", "k", nullptr));
    EXPECT_TRUE(Write("A", "k", nullptr));
    EXPECT_TRUE(Write("B", "k", nullptr));
    EXPECT_EQ(Content(), "[A]\r\n[B]\r\n[A]\r\nm=4\r\n");
    // A null key removes the first section of the name, keys and all.
    EXPECT_TRUE(Write("a", nullptr, nullptr));
    EXPECT_EQ(Content(), "[B]\r\n[A]\r\nm=4\r\n");
}

TEST_F(ProfileFunctions, MissingFileReadsEmptyAndOnlyAWriteCreatesIt) {
    EXPECT_EQ(Text("S", "k", "'q' "), "q");
    EXPECT_EQ(Int("S", "k", 42), 42u);
    EXPECT_TRUE(Write("S", "k", nullptr));
    EXPECT_TRUE(Write("S", nullptr, nullptr));
    EXPECT_FALSE(Exists(Native()));
    EXPECT_TRUE(Write("S", "k", "v"));
    EXPECT_EQ(Content(), "[S]\r\nk=v\r\n");
}

TEST_F(ProfileFunctions, MissingFolderCannotBeOpenedAndGivesTheDefaultUnquoted) {
    const std::string file = root + "\\nodir\\test.ini";
    char buffer[64];
    EXPECT_EQ(platform::ProfileGetString("S", "k", "'q'  ", buffer, sizeof buffer, file.c_str()), 3u);
    EXPECT_EQ(std::string(buffer), "'q'");
    EXPECT_EQ(platform::ProfileGetInt("S", "k", 5, file.c_str()), 5u);
    EXPECT_FALSE(platform::ProfileWriteString("S", "k", "v", file.c_str()));
    EXPECT_FALSE(platform::ProfileWriteString("S", "k", nullptr, file.c_str()));
    EXPECT_FALSE(Exists(root + "/nodir"));
}

TEST_F(ProfileFunctions, ByteOrderMarksSelectUtf8AndUtf16) {
    Put("\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\nn=\xC4\x80\xE2\x82\xAC\xE4\xB8\xAD\r\nbad=\xE2\x82" "A\xC0\r\n");
    EXPECT_EQ(Text("S", "k"), "caf\xE9");
    EXPECT_EQ(Text("S", "n"), "A\x80?");  // best fit, then "?"
    EXPECT_EQ(Text("S", "bad"), "?A?");
    EXPECT_TRUE(Write("S", "k", "caf\xE9"));
    EXPECT_TRUE(Write("S", "j", "\xE9"));
    EXPECT_EQ(Content(), "\xEF\xBB\xBF[S]\r\nk=caf\xC3\xA9\r\nn=\xC4\x80\xE2\x82\xAC\xE4\xB8\xAD\r\nbad=\xEF\xBF\xBD"
                         "A\xEF\xBF\xBD\r\nj=\xC3\xA9\r\n");

    Put(Bytes("\xFF\xFE[\0S\0]\0\n\0k\0=\0\xE9\0"));
    EXPECT_EQ(Text("S", "k"), "\xE9");
    EXPECT_TRUE(Write("S", "j", "x"));
    EXPECT_EQ(Content(), Bytes("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\r\0\n\0j\0=\0x\0\r\0\n\0"));
}

TEST_F(ProfileFunctions, CtrlZIsABlankAndNulEndsANameOrValue) {
    Put(Bytes("[S\0x]\r\nk=a\0b\r\nj=w\x1A\r\n\x1A"));
    EXPECT_EQ(Text("S", "k"), "a");
    EXPECT_EQ(Text("S", "j"), "w");
    EXPECT_TRUE(Write("S", "m", "1"));
    EXPECT_EQ(Content(), "[S]\r\nk=a\r\nj=w\r\nm=1\r\n");
}

TEST_F(ProfileFunctions, LongLinesAreReadWhole) {
    const std::string longValue(5000, 'y');
    Put("[S]\r\na=" + longValue + "\r\n" + std::string(4500, 'k') + "=long-key\r\nc=after\r\n");
    EXPECT_EQ(Text("S", "a", "d", 6000), longValue);
    EXPECT_EQ(Text("S", std::string(4500, 'k').c_str()), "long-key");
    EXPECT_EQ(Text("S", "c"), "after");
}

TEST_F(ProfileFunctions, NullNamesListKeysOrSections) {
    Put("[S]\r\nk=1\r\n;c=2\r\nalone\r\nj=3\r\n[T]\r\n[S]\r\nz=1\r\n");
    std::string buffer(64, '\xA5');
    EXPECT_EQ(platform::ProfileGetString("S", nullptr, "d", buffer.data(), 64, File().c_str()), 4u);
    EXPECT_EQ(buffer.substr(0, 5), Bytes("k\0j\0\0"));
    EXPECT_EQ(platform::ProfileGetString(nullptr, nullptr, "d", buffer.data(), 64, File().c_str()), 6u);
    EXPECT_EQ(buffer.substr(0, 7), Bytes("S\0T\0S\0\0"));
    EXPECT_EQ(Text("X", nullptr, "d  "), "d  ");
}

TEST_F(ProfileFunctions, ABareFileNameLiesInTheWindowsDirectory) {
    const std::string name = "wbfax-profile-test-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)) + ".ini";
    const std::string inWindows = platform::WindowsDirectory() + "/" + name;
    ASSERT_TRUE(platform::ProfileWriteString("S", "k", "v", name.c_str()));
    const std::string content = ReadFile(inWindows);
    RemoveTree(inWindows);
    EXPECT_EQ(content, "[S]\r\nk=v\r\n");
}

#if !defined(_WIN32)
// Code page 932 as the system handles valid text (the Windows build sees the code page of its
// locale, so this runs on POSIX only).
TEST_F(ProfileFunctions, DoubleByteCharactersStayWholeInCodePage932) {
    SetEnv("WBFAX_ACP", "932");
    Put("[S]\r\n\x83\x41=\x83\x65\x83\x58\x83\x67\r\n\x82\xA0=\x88\x9F\r\n[\x83\x5D]\r\nk=1\r\n");
    EXPECT_EQ(Text("S", "\x83\x41"), "\x83\x65\x83\x58\x83\x67");
    EXPECT_EQ(Text("S", "\x83\x61"), "d");  // a second byte "A" is no letter
    EXPECT_EQ(Text("\x83\x5D", "k"), "1");   // nor is a second byte "]" the end of a header
    // A character that does not fit is left out, the byte it would take is not written, and the
    // text counts as filling the buffer.
    EXPECT_EQ(Get("S", "\x83\x41", "d", 4), std::make_pair(std::string("\x83\x65\xA5"), 3u));
    EXPECT_EQ(Get("S", "\x83\x41", "d", 3), std::make_pair(std::string("\x83\x65"), 2u));
    EXPECT_TRUE(Write("S", "\x83\x61", "\x81\x40"));
    EXPECT_EQ(Content(), "[S]\r\n\x83\x41=\x83\x65\x83\x58\x83\x67\r\n\x82\xA0=\x88\x9F\r\n\x83\x61=\x81\x40\r\n[\x83\x5D]\r\nk=1\r\n");
    // A bare name whose second byte reads as "\" lies in the Windows directory all the same.
    const std::string bare = "\x95\x5C.ini";
    ASSERT_TRUE(platform::ProfileWriteString("S", "k", "v", bare.c_str()));
    EXPECT_EQ(ReadFile(platform::WindowsDirectory() + "/" + bare), "[S]\r\nk=v\r\n");
}
#endif

}  // namespace
}  // namespace wbfax::test
