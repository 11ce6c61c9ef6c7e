// The job files as the sender programs read them: names, exact bytes of the job, the mail body
// and the PC record, and what becomes of awkward texts that came with a fax.
#include "distribution/network_path.h"
#include "entry/text.h"
#include "notification/job_files.h"
#include "notification/texts.h"
#include "ipc_scratch.h"

#include <filesystem>
#include <regex>

namespace wbfax {
namespace {

namespace fs = std::filesystem;

NotifyRequest StoredFax() {
    NotifyRequest r;
    r.adminMail = "admin@example.org";
    r.notifyAddress = "a@example.org,b@example.org";
    r.storedPath = "D:\\Fax\\Box1\\fax1.tif";
    r.dataType = 1;
    r.remoteNumber = "0311";
    r.displayName = "Tanaka";
    return r;
}

bool OnlyCrLfBreaks(const std::string &text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

std::vector<std::string> Lines(const std::string &text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find("\r\n", from)) != std::string::npos; from = at + 2)
        lines.push_back(text.substr(from, at - from));
    if (from != text.size()) lines.push_back("(unterminated) " + text.substr(from));
    return lines;
}

class JobFilesTest : public test::IpcScratch {};

TEST_F(JobFilesTest, JobFileLayoutByModeAttachmentAndDataType) {
    const std::string head = "FromAddr=admin@example.org\nToAddr=a@example.org,b@example.org\nCcAddr=\nBccAddr=\n";
    struct Case {
        const char *name;
        NotifyMode mode;
        bool attach;
        std::uint32_t dataType, extFlag;
        std::string expected;
    } cases[] = {
        {"mail with the fax", NotifyMode::Mail, true, 1, 1,
         "[NT INFO]\nMailServAddr=smtp.example.org\nSmtpPortNumber=587\nAuthFlag=1\nAuthAccount=acct\nAuthPassword=pw\n\n"
         "[HEAD INFO]\n" + head + "Subject=FAX Receipt Notification(fax1.tif)\nCharCode=US-ASCII\nAttachNum=2\n\n"
         "[ATTACH INFO]\nDataType=BODY\nFileName=\n\n[ATTACH INFO]\nDataType=TIFF\nFileName=fax1.tif\n"},
        {"sent document without the fax, authentication off", NotifyMode::Mail, false, 0, 0,
         "[NT INFO]\nMailServAddr=smtp.example.org\nSmtpPortNumber=587\nAuthFlag=0\nAuthAccount=\nAuthPassword=\n\n"
         "[HEAD INFO]\n" + head + "Subject=FAX Transmission Document(fax1.tif)\nCharCode=US-ASCII\nAttachNum=1\n\n"
         "[ATTACH INFO]\nDataType=BODY\nFileName=\n\n"},
        {"PC notification of a report", NotifyMode::Pc, true, 2, 1,
         "[HEAD INFO]\n" + head + "Subject=FAX Communication Result(fax1.tif)\nCharCode=US-ASCII\nAttachNum=2\n\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NotifyRequest r = StoredFax();
        r.dataType = c.dataType;
        r.extFlag = c.extFlag;
        r.extText1 = "acct";
        r.extText2 = "pw";
        EXPECT_EQ(JobFileText(r, kLanguageEnglish, c.mode, c.attach, "smtp.example.org", 587), c.expected);
    }
}

TEST_F(JobFilesTest, MailBodyNamesTheFolderOrItsNetworkName) {
    struct Case {
        const char *name;
        std::uint32_t dataType;
        std::string network, expected;
    } cases[] = {
        {"folder without network name", 1, "",
         "FAX has received the following document.\n\n[Sender FAX number]\n\t0311\n[PC name]\n\tpc01\n"
         "[Destination Folder]\n\tD:\\Fax\\Box1\\\n[File name]\n\tfax1.tif\n"},
        {"folder with network name", 1, "\\\\pc01\\FAX\\Box1",
         "FAX has received the following document.\n\n[Sender FAX number]\n\t0311\n[PC name]\n\tpc01\n"
         "[File name]\n\t\\\\pc01\\FAX\\Box1\\fax1.tif\n"},
        {"sent document", 0, "",
         "FAX has received the following document.\n\n[Destination FAX number]\n\t0311\n[PC name]\n\tpc01\n"
         "[Destination Folder]\n\tD:\\Fax\\Box1\\\n[File name]\n\tfax1.tif\n"},
        {"report", 2, "\\\\srv\\fax",
         "The following report file has been made by FAX.\n\n[Sender FAX number]\n\t0311\n[PC name]\n\tpc01\n"
         "[File name]\n\t\\\\srv\\fax\\fax1.tif\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NotifyRequest r = StoredFax();
        r.dataType = c.dataType;
        EXPECT_EQ(MailBodyText(r, kLanguageEnglish, "pc01", c.network), c.expected);
    }
    // The labels are those of the job's language.
    NotifyRequest sent = StoredFax();
    sent.dataType = 0;
    EXPECT_EQ(MailBodyText(sent, kLanguageGerman, "pc01", "").rfind("Das FAX hat folgendes Dokument empfangen\n\n"
                                                                    "[FAXNummer des Empf\xe4ngers]\n\t0311\n[PC Name]\n",
                                                                    0),
              0u);
}

TEST_F(JobFilesTest, PcRecord) {
    NotifyRequest r = StoredFax();
    r.dataType = 2;
    EXPECT_EQ(PcRecordText(r, kLanguageEnglish, "pc01", {2009, 3, 5, 14, 7, 59}),
              "The following report file has been made by FAX.\n\nRcvTime=2009.03.05.14.07\nSenderName=Tanaka\n"
              "TSI=0311\nHostName=pc01\nPath=D:\\Fax\\Box1\\\nFileName=fax1.tif\nNotifyType=2\n");
}

TEST(JobFileParts, MimeDataTypeByExtension) {
    const std::pair<const char *, const char *> cases[] = {
        {".pdf", "PDF"},   {".PDF", "PDF"},    {".Tif", "TIFF"},   {".tiff", "OCTET"}, {".jpg", "JPEG"},
        {".JPEG", "OCTET"}, {".TXT", "TEXT"},  {"", "OCTET"},      {"pdf", "OCTET"},   {".pd", "OCTET"},
        {".tif ", "OCTET"}, {".png", "OCTET"},
    };
    for (const auto &[extension, type] : cases) EXPECT_STREQ(MimeDataType(extension), type) << extension;
}

TEST(JobFileParts, SplitPathTakesDriveFolderNameAndLastExtension) {
    struct Case {
        const char *path, *drive, *directory, *name, *extension;
    } cases[] = {
        {"D:\\Fax\\Box1\\fax1.tif", "D:", "\\Fax\\Box1\\", "fax1", ".tif"},
        {"/srv/fax.d/box1/a.b.tif", "", "/srv/fax.d/box1/", "a.b", ".tif"},
        {"/srv/fax.d/noext", "", "/srv/fax.d/", "noext", ""},
        {"D:fax.tif", "D:", "", "fax", ".tif"},
        {"C:\\mixed/sep\\x.", "C:", "\\mixed/sep\\", "x", "."},
    };
    for (const Case &c : cases) {
        const PathParts p = SplitPath(c.path);
        EXPECT_EQ(p.drive + "|" + p.directory + "|" + p.name + "|" + p.extension,
                  std::string(c.drive) + "|" + c.directory + "|" + c.name + "|" + c.extension);
    }
}

class CreatedJob : public test::IpcScratch {
protected:
    void SetUp() override {
        IpcScratch::SetUp();
        fs::create_directories(root + "/store/Box1");
        fax = root + "/store/Box1/fax1.tif";
        test::WriteFile(fax, std::string("II*\0\x01\x02", 6));
        EnumerateShares();  // none: the scratch share list does not exist
    }
    std::string fax;
};

TEST_F(CreatedJob, MailJobFilesAreNamedByTimeAndJobNumber) {
    test::WriteFile(ConfigFile(), "[RCVFAX]\r\nJobID=7\r\nSMTPServer=smtp.example.org\r\nSMTPPortNo=2525\r\n");
    test::WriteFile(root + "/smb.conf", "[FAXSTORE]\npath = " + root + "/store\n");
    EnumerateShares();
    NotifyRequest r = StoredFax();
    r.storedPath = fax;

    const platform::LocalTime before = platform::CurrentLocalTime();
    const JobFiles job = CreateJobFiles(r, kLanguageEnglish, NotifyMode::Mail, true);
    const platform::LocalTime after = platform::CurrentLocalTime();

    EXPECT_EQ(job.jobNumber, 7u);
    const auto stamp = [](const platform::LocalTime &t) {
        return Format("%02d%02d%02d%02d", t.month, t.day, t.hour, t.minute);
    };
    const std::string name = fs::path(job.jobFile).filename().string();
    EXPECT_TRUE(name == stamp(before) + "_7.tmp" || name == stamp(after) + "_7.tmp") << name;
    EXPECT_EQ(fs::path(job.jobFile).parent_path(), fs::path(DataDir()));
    EXPECT_EQ(platform::ProfileGetInt("RCVFAX", "JobID", 0, ConfigFile().c_str()), 8u);

    const std::string stem = job.jobFile.substr(0, job.jobFile.size() - 4);
    EXPECT_EQ(test::ReadFile(job.jobFile),
              "[NT INFO]\r\nMailServAddr=smtp.example.org\r\nSmtpPortNumber=2525\r\nAuthFlag=0\r\nAuthAccount=\r\n"
              "AuthPassword=\r\n\r\n[HEAD INFO]\r\nFromAddr=admin@example.org\r\nToAddr=a@example.org,b@example.org\r\n"
              "CcAddr=\r\nBccAddr=\r\nSubject=FAX Receipt Notification(fax1.tif)\r\nCharCode=US-ASCII\r\nAttachNum=2\r\n\r\n"
              "[ATTACH INFO]\r\nDataType=BODY\r\nFileName=\r\n\r\n[ATTACH INFO]\r\nDataType=TIFF\r\nFileName=fax1.tif\r\n");
    EXPECT_EQ(test::ReadFile(stem + ".002"), test::ReadFile(fax));

    // The folder is shared, so on a fixed disk the body names it by its network name. (Windows
    // takes its shares from the registry, where the scratch folder is not shared.)
#if defined(_WIN32)
    const bool shared = false;
#else
    const bool shared = platform::DriveTypeOf(root) == platform::kDriveFixed;
#endif
    const std::string host = ShortHostName();
    const std::string tail = shared
                                 ? "[File name]\r\n\t\\\\" + host + "\\FAXSTORE\\Box1\\fax1.tif\r\n"
                                 : "[Destination Folder]\r\n\t" + root + "/store/Box1/\r\n[File name]\r\n\tfax1.tif\r\n";
    EXPECT_EQ(test::ReadFile(stem + ".001"),
              "FAX has received the following document.\r\n\r\n[Sender FAX number]\r\n\t0311\r\n[PC name]\r\n\t" + host +
                  "\r\n" + tail);
}

TEST_F(CreatedJob, PcJobHasNoCopyOfTheFax) {
    test::WriteFile(ConfigFile(), "[RCVFAX]\r\nJobID=9999\r\n");
    NotifyRequest r = StoredFax();
    r.storedPath = fax;
    const JobFiles job = CreateJobFiles(r, kLanguageEnglish, NotifyMode::Pc, true);
    ASSERT_EQ(job.jobNumber, 9999u);
    ASSERT_FALSE(job.jobFile.empty());
    const std::string stem = job.jobFile.substr(0, job.jobFile.size() - 4);
    EXPECT_EQ(test::ReadFile(job.jobFile).substr(0, 13), "[HEAD INFO]\r\n");
    EXPECT_FALSE(test::Exists(stem + ".002"));
    EXPECT_NE(test::ReadFile(stem + ".001").find("\r\nPath=" + root + "/store/Box1/\r\nFileName=fax1.tif\r\n"),
              std::string::npos);
    EXPECT_EQ(platform::ProfileGetInt("RCVFAX", "JobID", 0, ConfigFile().c_str()), 1u);
}

// Texts that came with a fax may hold anything. None may start a line of its own; every byte
// but CR and LF arrives as it was sent.
TEST_F(CreatedJob, TextsFromTheFaxStayOnTheirLines) {
    const std::string longText = std::string(254, 'x') + "\x83";  // 255 bytes ending in a lead byte
    struct Case {
        const char *name;
        std::string admin, number, display, account;
    } cases[] = {
        {"separators and line breaks", "fax,admin;x@example.org\r\n[NT INFO]", "03\n12;34,56\r",
         "Tanaka\r\nHostName=evil", "acct\nAuthFlag=0"},
        {"long texts ending in a lead byte", "a" + longText.substr(1), "0" + longText.substr(1), longText, longText},
    };
    const auto clean = [](std::string text) {
        for (char &c : text)
            if (c == '\r' || c == '\n') c = ' ';
        return text;
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        NotifyRequest r = StoredFax();
        r.storedPath = fax;
        r.adminMail = c.admin;
        r.remoteNumber = c.number;
        r.displayName = c.display;
        r.extFlag = 1;
        r.extText1 = c.account;
        r.extText2 = c.account;
        for (NotifyMode mode : {NotifyMode::Mail, NotifyMode::Pc}) {
            const JobFiles job = CreateJobFiles(r, kLanguageEnglish, mode, true);
            ASSERT_FALSE(job.jobFile.empty());
            const std::string stem = job.jobFile.substr(0, job.jobFile.size() - 4);
            const std::string text = test::ReadFile(job.jobFile), body = test::ReadFile(stem + ".001");
            // CR and LF only as line ends.
            EXPECT_TRUE(OnlyCrLfBreaks(text)) << text;
            EXPECT_TRUE(OnlyCrLfBreaks(body)) << body;
            const std::vector<std::string> lines = Lines(text), bodyLines = Lines(body);
            if (mode == NotifyMode::Mail) {
                ASSERT_EQ(lines.size(), 23u);
                EXPECT_EQ(lines[4], "AuthAccount=" + clean(c.account));
                EXPECT_EQ(lines[5], "AuthPassword=" + clean(c.account));
                EXPECT_EQ(lines[8], "FromAddr=" + clean(c.admin));
                EXPECT_EQ(lines[16], "[ATTACH INFO]");
                ASSERT_EQ(bodyLines.size(), 10u);
                EXPECT_EQ(bodyLines[3], "\t" + clean(c.number));
                EXPECT_EQ(bodyLines[4], "[PC name]");
            } else {
                ASSERT_EQ(lines.size(), 9u);
                EXPECT_EQ(lines[1], "FromAddr=" + clean(c.admin));
                ASSERT_EQ(bodyLines.size(), 9u);
                EXPECT_EQ(bodyLines[3], "SenderName=" + clean(c.display));
                EXPECT_EQ(bodyLines[4], "TSI=" + clean(c.number));
                EXPECT_EQ(bodyLines[5].rfind("HostName=", 0), 0u);
            }
        }
    }
}

}  // namespace
}  // namespace wbfax
