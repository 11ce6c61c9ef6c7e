#include "settings/config.h"

#include "platform/platform.h"
#include "test_support.h"

#include <functional>

namespace wbfax {
namespace {

using test::ReadFile;
const std::optional<std::string> kNone;

class ConfigTest : public test::ScratchInstall {
protected:
    void Ini(const std::string &content) { test::WriteFile(ConfigFile(), content); }
    // What the file holds for the key; none when the key is missing.
    std::optional<std::string> Stored(const char *key, const char *section = "RCVFAX") const {
        char buffer[260];
        platform::ProfileGetString(section, key, "\x01", buffer, sizeof buffer, ConfigFilePath().c_str());
        return std::string(buffer) == "\x01" ? kNone : std::string(buffer);
    }
};

TEST(ConfigPaths, FollowTheSystemClass) {
    const std::optional<std::string> docs = "C:\\Docs", conf = "C:\\Conf";
    const struct { int osClass; std::optional<std::string> base, conf; std::string folder; } cases[] = {
        {0, docs, conf, ""}, {1, kNone, kNone, ""}, {2, docs, conf, "C:\\Docs\\Corvane\\Quillbox"}, {3, docs, kNone, "C:\\Docs\\Corvane\\Quillbox"}};
    for (const auto &c : cases) {
        EXPECT_EQ(ConfigFilePathFor(c.osClass, c.base), c.folder.empty() ? "wbcatch.ini" : c.folder + "\\wbcatch.ini") << c.osClass;
        EXPECT_EQ(DataFolderFor(c.osClass, c.base, c.conf), c.folder.empty() ? c.conf.value_or("") : c.folder) << c.osClass;
    }
}

TEST_F(ConfigTest, LivesBelowTheCommonApplicationDataFolder) {
    EXPECT_EQ(ConfigFilePath(), root + "\\Corvane\\Quillbox\\wbcatch.ini");
    EXPECT_EQ(DataFolder(), root + "\\Corvane\\Quillbox");
    Ini("[PATH]\r\nCONF=C:\\Quillbox\\Conf\r\n");
    EXPECT_EQ(ReadConfigFolder(), "C:\\Quillbox\\Conf");
    Ini("[PATH]\r\nCONF=?\r\n");
    EXPECT_EQ(ReadConfigFolder(), kNone);
}

TEST_F(ConfigTest, LanguageNamesIgnoreCaseAndDefaultToEnglish) {
    const struct { const char *ini, *name; std::uint16_t id; } cases[] = {
        {"[LANGUAGE]\r\nLanguage=japanese\r\n", "japanese", 1041}, {"[language]\r\nLANGUAGE=ITALIAN\r\n", "ITALIAN", 1040},
        {"[LANGUAGE]\r\nLanguage=Deutsch\r\n", "Deutsch", 1033},   {"[LANGUAGE]\r\nLanguage=?\r\n", "English", 1033},
        {"[LANGUAGE]\r\nLanguage=\r\n", "English", 1033},          {"[PATH]\r\nCONF=C:\\Conf\r\n", "English", 1033}};
    for (const auto &c : cases) {
        Ini(c.ini);
        EXPECT_EQ(std::pair(ReadLanguage().name, ReadLanguage().id), std::pair(std::string(c.name), c.id)) << c.ini;
    }
}

TEST_F(ConfigTest, QuestionMarkMeansNotSet) {
    const std::string longName(300, 's');
    const struct { const char *value; std::optional<std::string> read; } cases[] = {  // null value: no such key
        {nullptr, kNone}, {"?", kNone}, {"", std::string()}, {"??", std::string("??")},
        {longName.c_str(), longName.substr(0, 259)}};  // cut to the 260-byte buffer
    for (const auto &c : cases) {
        Ini(std::string("[RCVFAX]\r\n") + (c.value ? std::string("SMTPServer=") + c.value + "\r\n" : ""));
        EXPECT_EQ(ReadSmtpServer(), c.read) << (c.value ? c.value : "(missing)");
    }
}

TEST_F(ConfigTest, PortZeroOrMissingReadsAs25AndIsStored) {
    for (const char *ini : {"", "[RCVFAX]\r\nSMTPPortNo=0\r\n"}) {
        Ini(ini);
        EXPECT_EQ(ReadSmtpPortNo(), 25) << ini;
        EXPECT_EQ(Stored("SMTPPortNo"), "25") << ini;
    }
    Ini("[RCVFAX]\r\nSMTPPortNo=587\r\n");
    EXPECT_EQ(ReadSmtpPortNo(), 587);
    EXPECT_EQ(ReadFile(ConfigFile()), "[RCVFAX]\r\nSMTPPortNo=587\r\n");
}

TEST_F(ConfigTest, NumbersAreMappedToTheirRanges) {
    const struct {
        const char *key, *value;  // null value: no such key
        int (*read)();
        int expected;
    } cases[] = {
        {"USESMTP", nullptr, ReadUseSmtp, 1},        {"USESMTP", "0", ReadUseSmtp, 0},
        {"USESMTP", "-5", ReadUseSmtp, 1},           {"ADDFFILE", "2", ReadAddFile, 1},
        {"FileSize", "3", ReadFileSize, 3},          {"FileSize", "4", ReadFileSize, 0},
        {"FileSize", "-1", ReadFileSize, 0},         {"NotifyDays", nullptr, ReadNotifyDays, 3},
        {"NotifyDays", "31", ReadNotifyDays, 31},    {"NotifyDays", "32", ReadNotifyDays, 0},
        {"OverWrite", nullptr, ReadOverWrite, 1},    {"OverWrite", "yes", ReadOverWrite, 0},
        {"USESMTPWork", "7", ReadUseSmtpWork, 7},    {"AddFileWork", nullptr, ReadAddFileWork, -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + (c.value ? c.value : "(missing)"));
        const char *section = c.read == ReadOverWrite ? "[MANAGEMENT]\r\n" : "[RCVFAX]\r\n";
        Ini(section + (c.value ? std::string(c.key) + "=" + c.value + "\r\n" : ""));
        EXPECT_EQ(c.read(), c.expected);
    }
}

TEST_F(ConfigTest, WorkTwinsAreStoredAsTheDialogWritesThem) {
    const struct { std::function<void()> write; const char *key; std::optional<std::string> stored; } cases[] = {
        {[] { WriteNotifyDaysWork(45); }, "NotifyDaysWork", "31"},
        {[] { WriteNotifyDaysWork(static_cast<std::uint32_t>(-1)); }, "NotifyDaysWork", "31"},
        {[] { WriteFileSizeWork(-1); }, "FileSizeWork", "-1"},        {[] { WriteUseSmtpWork(2); }, "USESMTPWork", "0"},
        {[] { WriteSmtpPortNoWork("0x19"); }, "SMTPPortNoWork", "0x19"}, {[] { WriteSmtpServerWork(nullptr); }, "SMTPServerWork", kNone},
    };
    for (const auto &c : cases) {
        Ini("[RCVFAX]\r\nSMTPServerWork=old\r\n");
        c.write();
        EXPECT_EQ(Stored(c.key), c.stored) << c.key;
    }
}

constexpr const char *kCommitted =
    "[RCVFAX]\r\nSMTPServer=old.example\r\nSMTPPortNo=25\r\nUSESMTP=1\r\nADDFFILE=0\r\nFileSize=1\r\nNotifyDays=3\r\n";

// A commit takes only pending edits, in order (new keys go to the end of the section, so the
// file shows the order of the writes); commit and discard both remove every twin and nothing else.
TEST_F(ConfigTest, CommitAndDiscardRemoveEveryTwin) {
    const std::string all = "SMTPServerWork=new\r\nSMTPPortNoWork=587\r\nUSESMTPWork=0\r\nAddFileWork=1\r\nFileSizeWork=3\r\nNotifyDaysWork=14\r\n";
    const struct {
        std::string before;
        void (*finish)();
        std::string after;
    } cases[] = {
        {"FileSizeWork=2\r\n", CommitWorkSettings, "SMTPServer=old.example\r\nSMTPPortNo=25\r\nUSESMTP=1\r\nADDFFILE=0\r\nFileSize=2\r\nNotifyDays=3\r\n"},
        {"SMTPServerWork=\r\nSMTPPortNoWork=0\r\nUSESMTPWork=-1\r\nAddFileWork=-1\r\nNotifyDaysWork=-1\r\n", CommitWorkSettings, kCommitted + 10},
        {"SMTPServerWork=?\r\nUSESMTPWork=5\r\nAddFileWork=1\r\nNotifyDaysWork=0\r\n", CommitWorkSettings,
         "SMTPServer=old.example\r\nSMTPPortNo=25\r\nUSESMTP=0\r\nADDFFILE=1\r\nFileSize=1\r\nNotifyDays=0\r\n"},
        {all, DiscardWorkSettings, kCommitted + 10},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.before);
        Ini(std::string(kCommitted) + c.before + "JobID=17\r\n[RCVFAX_EDIT]\r\nwd001=007\r\n");
        c.finish();
        EXPECT_EQ(ReadFile(ConfigFile()), "[RCVFAX]\r\n" + c.after + "JobID=17\r\n[RCVFAX_EDIT]\r\nwd001=007\r\n");
    }
    Ini("[RCVFAX]\r\nNotifyDaysWork=9\r\nFileSizeWork=1\r\nAddFileWork=0\r\nUSESMTPWork=1\r\nSMTPPortNoWork=2525\r\n"
        "SMTPServerWork=smtp.example\r\n");
    CommitWorkSettings();
    EXPECT_EQ(ReadFile(ConfigFile()), "[RCVFAX]\r\nSMTPServer=smtp.example\r\nSMTPPortNo=2525\r\nUSESMTP=1\r\n"
                                      "ADDFFILE=0\r\nFileSize=1\r\nNotifyDays=9\r\n");
}

TEST_F(ConfigTest, JobNumbersRunFrom1To9999) {
    const struct {
        const char *start;  // null: no JobID yet
        std::vector<std::int32_t> jobs;
        const char *stored;
    } cases[] = {{nullptr, {1, 2, 3}, "4"}, {"9998", {9998, 9999, 1}, "2"}, {"12000", {12000, 12001}, "12002"}};
    for (const auto &c : cases) {
        Ini(c.start ? std::string("[RCVFAX]\r\nJobID=") + c.start + "\r\n" : "");
        std::vector<std::int32_t> jobs;
        for (std::size_t i = 0; i < c.jobs.size(); ++i) jobs.push_back(NextJobId());
        EXPECT_EQ(jobs, c.jobs) << c.stored;
        EXPECT_EQ(Stored("JobID"), c.stored);
    }
}

}  // namespace
}  // namespace wbfax
