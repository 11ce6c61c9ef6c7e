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
    const struct {
        int osClass;
        std::optional<std::string> base, conf;
        const char *configFile, *dataFolder;
    } cases[] = {
        {0, std::string("C:\\Docs"), std::string("C:\\Conf"), "wbcatch.ini", "C:\\Conf"},
        {1, kNone, kNone, "wbcatch.ini", ""},
        {2, std::string("C:\\Docs"), std::string("C:\\Conf"), "C:\\Docs\\Corvane\\Quillbox\\wbcatch.ini",
         "C:\\Docs\\Corvane\\Quillbox"},
        {3, std::string("C:\\Data"), kNone, "C:\\Data\\Corvane\\Quillbox\\wbcatch.ini", "C:\\Data\\Corvane\\Quillbox"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.osClass);
        EXPECT_EQ(ConfigFilePathFor(c.osClass, c.base), c.configFile);
        EXPECT_EQ(DataFolderFor(c.osClass, c.base, c.conf), c.dataFolder);
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
        {"[LANGUAGE]\r\nLanguage=japanese\r\n", "japanese", 1041},
        {"[language]\r\nLANGUAGE=ITALIAN\r\n", "ITALIAN", 1040},
        {"[LANGUAGE]\r\nLanguage=Deutsch\r\n", "Deutsch", 1033},
        {"[LANGUAGE]\r\nLanguage=?\r\n", "English", 1033},
        {"[LANGUAGE]\r\nLanguage=\r\n", "English", 1033},
        {"[PATH]\r\nCONF=C:\\Conf\r\n", "English", 1033},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ini);
        Ini(c.ini);
        const Language language = ReadLanguage();
        EXPECT_EQ(language.name, c.name);
        EXPECT_EQ(language.id, c.id);
    }
}

TEST_F(ConfigTest, QuestionMarkMeansNotSet) {
    const std::string longName(300, 's');
    const struct { const char *value; std::optional<std::string> read; } cases[] = {  // null value: no such key
        {nullptr, kNone}, {"?", kNone}, {"", std::string()}, {"??", std::string("??")},
        {longName.c_str(), longName.substr(0, 259)}};  // cut to the 260-byte buffer
    for (const auto &c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        Ini(std::string("[RCVFAX]\r\n") + (c.value ? std::string("SMTPServer=") + c.value + "\r\n" : ""));
        EXPECT_EQ(ReadSmtpServer(), c.read);
    }
}

TEST_F(ConfigTest, PortZeroOrMissingReadsAs25AndIsStored) {
    for (const char *ini : {"", "[RCVFAX]\r\nSMTPPortNo=0\r\n", "[RCVFAX]\r\nSMTPPortNo=none\r\n"}) {
        SCOPED_TRACE(ini);
        Ini(ini);
        EXPECT_EQ(ReadSmtpPortNo(), 25);
        EXPECT_EQ(Stored("SMTPPortNo"), "25");
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
        {"USESMTP", "-5", ReadUseSmtp, 1},           {"ADDFFILE", nullptr, ReadAddFile, 0},
        {"ADDFFILE", "2", ReadAddFile, 1},           {"FileSize", "3", ReadFileSize, 3},
        {"FileSize", "4", ReadFileSize, 0},          {"FileSize", "-1", ReadFileSize, 0},
        {"NotifyDays", nullptr, ReadNotifyDays, 3},  {"NotifyDays", "31", ReadNotifyDays, 31},
        {"NotifyDays", "32", ReadNotifyDays, 0},     {"NotifyDays", "-1", ReadNotifyDays, 0},
        {"OverWrite", nullptr, ReadOverWrite, 1},    {"OverWrite", "yes", ReadOverWrite, 0},
        {"USESMTPWork", "7", ReadUseSmtpWork, 7},    {"FileSizeWork", "9", ReadFileSizeWork, 9},
        {"AddFileWork", nullptr, ReadAddFileWork, -1}, {"SMTPPortNoWork", nullptr, ReadSmtpPortNoWork, 0},
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
        {[] { WriteFileSizeWork(-1); }, "FileSizeWork", "-1"},
        {[] { WriteUseSmtpWork(2); }, "USESMTPWork", "0"},
        {[] { WriteAddFileWork(1); }, "AddFileWork", "1"},
        {[] { WriteSmtpPortNoWork("0x19"); }, "SMTPPortNoWork", "0x19"},
        {[] { WriteSmtpServerWork(nullptr); }, "SMTPServerWork", kNone},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.key);
        Ini("[RCVFAX]\r\nSMTPServerWork=old\r\n");
        c.write();
        EXPECT_EQ(Stored(c.key), c.stored);
    }
}

constexpr const char *kCommitted =
    "[RCVFAX]\r\nSMTPServer=old.example\r\nSMTPPortNo=25\r\nUSESMTP=1\r\nADDFFILE=0\r\nFileSize=1\r\nNotifyDays=3\r\n";

TEST_F(ConfigTest, CommitTakesOnlyPendingEditsAndRemovesEveryTwin) {
    const struct {
        const char *twins;
        std::vector<std::string> after;  // SMTPServer, SMTPPortNo, USESMTP, ADDFFILE, FileSize, NotifyDays
    } cases[] = {
        {"FileSizeWork=2\r\n", {"old.example", "25", "1", "0", "2", "3"}},
        {"SMTPServerWork=\r\nSMTPPortNoWork=0\r\nUSESMTPWork=-1\r\nAddFileWork=-1\r\nNotifyDaysWork=-1\r\n",
         {"old.example", "25", "1", "0", "1", "3"}},
        {"SMTPServerWork=?\r\nUSESMTPWork=5\r\nAddFileWork=1\r\nNotifyDaysWork=0\r\n",
         {"old.example", "25", "0", "1", "1", "0"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.twins);
        Ini(std::string(kCommitted) + c.twins + "JobID=17\r\n");
        CommitWorkSettings();
        std::vector<std::string> after;
        for (const char *key : {"SMTPServer", "SMTPPortNo", "USESMTP", "ADDFFILE", "FileSize", "NotifyDays"})
            after.push_back(Stored(key).value_or("(missing)"));
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(ReadFile(ConfigFile()).find("Work="), std::string::npos);
        EXPECT_EQ(Stored("JobID"), "17");
    }
}

TEST_F(ConfigTest, CommitWritesTheSettingsInOrder) {
    // New keys go to the end of the section, so the file shows the order of the writes.
    Ini("[RCVFAX]\r\nNotifyDaysWork=9\r\nFileSizeWork=1\r\nAddFileWork=0\r\nUSESMTPWork=1\r\nSMTPPortNoWork=2525\r\n"
        "SMTPServerWork=smtp.example\r\n");
    CommitWorkSettings();
    EXPECT_EQ(ReadFile(ConfigFile()), "[RCVFAX]\r\nSMTPServer=smtp.example\r\nSMTPPortNo=2525\r\nUSESMTP=1\r\n"
                                      "ADDFFILE=0\r\nFileSize=1\r\nNotifyDays=9\r\n");
}

TEST_F(ConfigTest, DiscardRemovesTheTwinsOnly) {
    Ini(std::string(kCommitted) +
        "SMTPServerWork=new\r\nSMTPPortNoWork=587\r\nUSESMTPWork=0\r\nAddFileWork=1\r\nFileSizeWork=3\r\n"
        "NotifyDaysWork=14\r\nJobID=17\r\n[RCVFAX_EDIT]\r\nwd001=007\r\n");
    DiscardWorkSettings();
    EXPECT_EQ(ReadFile(ConfigFile()), std::string(kCommitted) + "JobID=17\r\n[RCVFAX_EDIT]\r\nwd001=007\r\n");
}

TEST_F(ConfigTest, JobNumbersRunFrom1To9999) {
    const struct {
        const char *start;  // null: no JobID yet
        std::vector<std::int32_t> jobs;
        const char *stored;
    } cases[] = {{nullptr, {1, 2, 3}, "4"}, {"9998", {9998, 9999, 1}, "2"}, {"12000", {12000, 12001}, "12002"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.start ? c.start : "(missing)");
        Ini(c.start ? std::string("[RCVFAX]\r\nJobID=") + c.start + "\r\n" : "");
        std::vector<std::int32_t> jobs;
        for (std::size_t i = 0; i < c.jobs.size(); ++i) jobs.push_back(NextJobId());
        EXPECT_EQ(jobs, c.jobs);
        EXPECT_EQ(Stored("JobID"), c.stored);
    }
}

}  // namespace
}  // namespace wbfax
