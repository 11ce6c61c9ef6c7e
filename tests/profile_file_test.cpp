#include "settings/profile_file.h"

#include "settings/config.h"
#include "test_support.h"

#include <cstring>
#include <filesystem>

namespace wbfax {
namespace {

using test::ReadFile;
using test::WriteFile;
namespace fs = std::filesystem;

class ProfileFileTest : public test::ScratchInstall {
protected:
    std::string File() const { return DataFolder() + "\\Work001.rfd"; }
    std::string Native() const { return DataDir() + "/Work001.rfd"; }
    std::string Read(std::string_view key) const {
        std::string out;
        ReadProfileText("FCODE", key, "?", out, File());
        return out;
    }
};

TEST_F(ProfileFileTest, KeysAreFoundAsTheLineReaderSeesThem) {
    const struct {
        const char *content, *value;  // of FCODE/F001; "?" = not found
    } cases[] = {
        {"[fcode]\r\nf001=abc\r\n", "abc"},           {"[FCODE] comment\nF001= a b \n", " a b "},
        {"[FCODE]\r\nF001=\r\n", ""},                {"[FCODE]\r\nF001=abc", "ab"},
        {"[FCODE]\r\n F001=abc\r\n", "?"},           {"[FCODE]\r\nF0011=abc\r\n", "?"},
        {"[FCODEX]\r\nF001=abc\r\n", "?"},           {"[FCODE]\r\nF002=x\r\n[FCODE]\r\nF001=abc\r\n", "?"},
        {"[TSI]\r\nF001=tsi\r\n[FCODE]\r\nF002=x\r\n\r\n; note\r\nF001=abc\r\nF001=again\r\n", "abc"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content);
        WriteFile(Native(), c.content);
        std::string out = "junk";
        const std::size_t length = ReadProfileText("FCODE", "F001", "?", out, File());
        EXPECT_EQ(out, c.value);
        EXPECT_EQ(length, std::strcmp(c.value, "?") == 0 ? 0 : std::strlen(c.value));
    }
    fs::remove(Native());
    EXPECT_EQ(Read("F001"), "?");
}

TEST_F(ProfileFileTest, NumbersReadLikeAtoi) {
    WriteFile(Native(), "[COMMON]\r\nA= 12abc\r\nB=-7\r\nC=x\r\n");
    for (const auto &[key, expected] : {std::pair{"A", 12}, {"B", -7}, {"C", 0}, {"D", 99}})
        EXPECT_EQ(ReadProfileNumber("COMMON", key, 99, File()), expected) << key;
}

TEST_F(ProfileFileTest, LongLinesAreReadIn2047CharacterPieces) {
    const std::string whole(2041, 'a');     // with "F001=" and the break: 2047 characters
    const std::string boundary(2042, 'b');  // 2047 characters before the break
    WriteFile(Native(), "[FCODE]\r\nF001=" + whole + "\r\nF002=" + boundary + "\r\nF004=" + std::string(2042, 'd') +
                            "F005=tail\r\n");
    EXPECT_EQ(Read("F001"), whole);
    // A piece loses its last character; the break left over reads as an empty line.
    EXPECT_EQ(Read("F002"), boundary.substr(0, 2041));
    EXPECT_EQ(Read("F005"), "tail");
    EXPECT_EQ(ReadAllLines(File()), (LineList{"[FCODE]", "F001=" + whole, "F002=" + boundary.substr(0, 2041), "",
                                              "F004=" + std::string(2041, 'd'), "F005=tail"}));
}

TEST_F(ProfileFileTest, SectionValuesInFileOrder) {
    WriteFile(Native(), "[FCODE]\r\nF001=first\r\n\r\nT002=second\r\n[TSI]\r\nT001=other\r\n");
    std::vector<std::string> values{"kept"};
    EXPECT_EQ(ReadSectionValues("FCODE", "F001", File(), values), 3u);
    EXPECT_EQ(values, (std::vector<std::string>{"kept", "first", "second"}));
    fs::remove(Native());
    EXPECT_EQ(ReadSectionValues("FCODE", "F001", File(), values), 3u);
}

TEST_F(ProfileFileTest, FreeKeyNumberIsTheSmallestUnused) {
    const std::pair<const char *, int> cases[] = {
        {"[FCODE]\r\nF001=a\r\nF002=b\r\nF004=c\r\n", 3},
        {"[FCODE]\r\nF003=c\r\nF001=a\r\nF002=b\r\n", 4},
        {"[FCODE]\r\nFxyz=a\r\nF002=b\r\n", 1},
        {"[FCODE]\r\nF001=a\r\n\r\nT002=b\r\n[TSI]\r\nT003=c\r\n", 3},
        {"[TSI]\r\nT001=a\r\n", 0},
    };
    for (const auto &[content, expected] : cases) {
        WriteFile(Native(), content);
        EXPECT_EQ(FindFreeKeyNumber("FCODE", File()), expected) << content;
    }
}

// A rule file of exactly `size` bytes: the sections the writes work on, then filler lines.
std::string RuleFileOfSize(std::size_t size) {
    std::string text = "[fcode]\r\nf001=a\r\n\r\n[TSI]\r\nT001=b\r\n[FCODE]\r\nF009=second\r\n"
                       "[PADDING]\r\nX=1\r\n[PAD]\r\n";
    while (size - text.size() > 1002) text += std::string(998, 'p') + "\r\n";
    return text + std::string(size - text.size() - 2, 'q') + "\r\n";
}

// Below 61440 bytes the system function rebuilds the file and drops the empty line; from 61440 on
// the file is rewritten line by line.
TEST_F(ProfileFileTest, LargeFileWritesTouchOnlyTheirLine) {
    WriteFile(Native(), RuleFileOfSize(61439));
    EXPECT_EQ(WriteProfileText("FCODE", "F002", "new", File()), 1);
    EXPECT_NE(ReadFile(Native()).find("f001=a\r\nF002=new\r\n[TSI]"), std::string::npos);
    const struct {
        const char *section, *key;
        std::optional<std::string_view> value;
        const char *from, *to;  // from: replaced once by to; null: to is appended
    } cases[] = {
        {"FCODE", "F001", "changed", "\r\nf001=a\r\n", "\r\nF001=changed\r\n"},
        {"FCODE", "F002", "new", "\r\n[TSI]", "\r\nF002=new\r\n[TSI]"},
        {"FCODE", "F009", "first", "\r\n[TSI]", "\r\nF009=first\r\n[TSI]"},
        {"TSI", "T001", std::nullopt, "\r\nT001=b\r\n", "\r\n"},
        {"TSI", "T404", std::nullopt, "", ""},
        {"PAD", "P999", "z", nullptr, "P999=z\r\n"},
        {"NEW", "N001", "n", nullptr, "[NEW]\r\nN001=n\r\n"},
        {"NEW", "N001", std::nullopt, "", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.section) + "/" + c.key);
        const std::string original = RuleFileOfSize(61440);
        WriteFile(Native(), original);
        ASSERT_EQ(FileLength(File()), 61440);
        EXPECT_EQ(WriteProfileText(c.section, c.key, c.value, File()), 1);
        std::string expected = original;
        if (!c.from) expected += c.to;
        else if (*c.from) expected.replace(expected.find(c.from), std::strlen(c.from), c.to);
        EXPECT_EQ(ReadFile(Native()), expected);
    }
}

TEST_F(ProfileFileTest, LineListsRoundTripAndMissingFilesGiveNone) {
    EXPECT_EQ(ReadAllLines(File()), std::nullopt);
    const LineList lines{"[FCODE]", "", "F001= x "};
    EXPECT_EQ(WriteAllLines(lines, File()), 1);
    EXPECT_EQ(ReadFile(Native()), "[FCODE]\r\n\r\nF001= x \r\n");
    EXPECT_EQ(ReadAllLines(File()), lines);
    EXPECT_EQ(WriteAllLines({"a"}, File()), 1);
    EXPECT_EQ(ReadFile(Native()), "a\r\n");
    EXPECT_EQ(WriteAllLines({"a"}, DataFolder() + "\\missing\\Work001.rfd"), 0);
    // A folder in the file's place opens but cannot be read.
    fs::remove(Native());
    fs::create_directory(Native());
    EXPECT_EQ(ReadAllLines(File()), std::nullopt);
    EXPECT_EQ(WriteProfileText("FCODE", "F001", "x", File()), 0);
    EXPECT_TRUE(fs::is_directory(Native()));
}

}  // namespace
}  // namespace wbfax
