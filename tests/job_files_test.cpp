// The job files as the sender programs read them: exact bytes of the job, the mail body and the
// PC record, the names, and what becomes of awkward texts that came with a fax.
#include "notification/job_files.h"
#include "notification/texts.h"
#include "ipc_scratch.h"

#include <algorithm>
#include <optional>

#if !defined(_WIN32)
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#endif

namespace wbfax {
namespace {

namespace fs = std::filesystem;

NotifyRequest StoredFax(std::uint32_t dataType = 1) {
    NotifyRequest r;
    r.adminMail = "admin@example.org";
    r.notifyAddress = "a@example.org,b@example.org";
    r.storedPath = "D:\\Fax\\Box1\\fax1.tif";
    r.dataType = dataType;
    r.remoteNumber = "0311";
    r.displayName = "Tanaka";
    r.extText1 = "acct";
    r.extText2 = "pw";
    return r;
}

// The builders read the code page and language of the PC: a scratch installation has the defaults.
class JobText : public test::ScratchInstall {};

// Texts that came with a fax may hold anything. None may start a line of its own; every byte
// but CR and LF arrives as it was sent.
TEST_F(JobText, ExactBytesWhateverTextsCameWithTheFax) {
    const std::string longText = std::string(254, '9') + "\x83";  // 255 bytes, ending in a lead byte
    const std::string cases[][5] = {  // administrator, account, password, number, name
        {"admin@example.org", "acct", "pw", "0311", "Tanaka"},
        {"fax,admin;x@example.org\r\n[NT INFO]", "a\r\nb", "\np", "03\n12;34,56\r", "Tanaka\r\nHostName=evil"},
        {longText, longText, longText, longText, longText},
    };
    for (const auto &texts : cases) {
        NotifyRequest r = StoredFax();
        r.adminMail = texts[0], r.extText1 = texts[1], r.extText2 = texts[2], r.remoteNumber = texts[3], r.displayName = texts[4];
        std::string t[5];
        for (int i = 0; i < 5; ++i) {
            t[i] = texts[i];
            std::replace_if(t[i].begin(), t[i].end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        }
        const std::string nt = "[NT INFO]\nMailServAddr=smtp.example.org\nSmtpPortNumber=587\n";
        const std::string head = "[HEAD INFO]\nFromAddr=" + t[0] + "\nToAddr=a@example.org,b@example.org\nCcAddr=\nBccAddr=\n";
        const std::string body = "[ATTACH INFO]\nDataType=BODY\nFileName=\n\n", pc = "\n\t" + t[3] + "\n[PC name]\n\tpc01\n";
        const std::string folder = "[Destination Folder]\n\tD:\\Fax\\Box1\\\n[File name]\n\tfax1.tif\n";
        const std::string received = "FAX has received the following document.\n\n";
        const std::string report = "The following report file has been made by FAX.\n\n";
        const struct {
            NotifyMode mode;  // with Pc, the mail body below stands for the PC record
            bool attach;
            std::uint32_t dataType, extFlag;
            std::string network, job, body;
        } rows[] = {
            {NotifyMode::Mail, true, 1, 1, "",
             nt + "AuthFlag=1\nAuthAccount=" + t[1] + "\nAuthPassword=" + t[2] + "\n\n" + head +
                 "Subject=FAX Receipt Notification(fax1.tif)\nCharCode=US-ASCII\nAttachNum=2\n\n" + body +
                 "[ATTACH INFO]\nDataType=TIFF\nFileName=fax1.tif\n",
             received + "[Sender FAX number]" + pc + folder},
            {NotifyMode::Mail, false, 0, 0, "",
             nt + "AuthFlag=0\nAuthAccount=\nAuthPassword=\n\n" + head +
                 "Subject=FAX Transmission Document(fax1.tif)\nCharCode=US-ASCII\nAttachNum=1\n\n" + body,
             received + "[Destination FAX number]" + pc + folder},
            {NotifyMode::Mail, true, 1, 1, "\\\\pc01\\FAX\\Box1", "",
             received + "[Sender FAX number]" + pc + "[File name]\n\t\\\\pc01\\FAX\\Box1\\fax1.tif\n"},
            {NotifyMode::Mail, true, 2, 1, "\\\\srv\\fax", "", report + "[Sender FAX number]" + pc + "[File name]\n\t\\\\srv\\fax\\fax1.tif\n"},
            {NotifyMode::Pc, true, 2, 1, "", head + "Subject=FAX Communication Result(fax1.tif)\nCharCode=US-ASCII\nAttachNum=2\n\n",
             report + "RcvTime=2009.03.05.14.07\nSenderName=" + t[4] + "\nTSI=" + t[3] +
                 "\nHostName=pc01\nPath=D:\\Fax\\Box1\\\nFileName=fax1.tif\nNotifyType=2\n"},
        };
        for (const auto &c : rows) {
            r.dataType = c.dataType, r.extFlag = c.extFlag;
            EXPECT_EQ(c.job.empty() ? "" : JobFileText(r, kLanguageEnglish, c.mode, c.attach, "smtp.example.org", 587), c.job);
            EXPECT_EQ(c.mode == NotifyMode::Mail ? MailBodyText(r, kLanguageEnglish, "pc01", c.network)
                                                 : PcRecordText(r, kLanguageEnglish, "pc01", {2009, 3, 5, 14, 7, 59}),
                      c.body);
        }
    }
}

TEST(JobFileParts, MimeDataTypeByExtension) {
    const std::pair<const char *, const char *> cases[] = {
        {".pdf", "PDF"},  {".PDF", "PDF"}, {".Tif", "TIFF"}, {".tiff", "OCTET"}, {".jpg", "JPEG"}, {".JPEG", "OCTET"},
        {".TXT", "TEXT"}, {"", "OCTET"},   {"pdf", "OCTET"}, {".pd", "OCTET"},   {".tif ", "OCTET"},
    };
    for (const auto &[extension, type] : cases) EXPECT_STREQ(MimeDataType(extension), type) << extension;
}

#if !defined(_WIN32)
// While it lives, a write that would make a file of this process longer than limit bytes fails
// with EFBIG instead of ending the process.
struct FileSizeLimit {
    explicit FileSizeLimit(rlim_t limit) {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit lowered{limit, saved.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit() { ::setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, handler); }
    void (*handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
};
constexpr std::uint32_t kFolderError = EISDIR, kCopyExistsError = EEXIST;
#else
constexpr std::uint32_t kFolderError = 5, kCopyExistsError = 80;  // ERROR_ACCESS_DENIED, ERROR_FILE_EXISTS
#endif

class CreatedJob : public test::IpcScratch {};

// A job not written whole leaves none of its files, and one trace line says which file and why.
// A failed copy of the fax only costs the attachment. The obstacles stand under this minute's and
// the next minute's names, which the job's files take from the time and the job number.
TEST_F(CreatedJob, AJobNotWrittenWholeLeavesNothingBehind) {
    const std::string trace = root + "/trace.log", fax = root + "/fax1.tif";
    test::SetEnv("WBFAX_TRACE", trace.c_str());
    test::WriteFile(fax, std::string("II*\0\x01\x02", 6));
    enum Obstacle { kBodyIsFolder, kCopyExists, kFileSizeLimit };
    const std::string longText(70000, '9');  // past the stream's buffer: the write itself fails
    const struct {
        NotifyMode mode;
        Obstacle obstacle;
        std::string adminMail, remoteNumber;
        const char *failed;  // the extension of the file the trace names
        std::uint32_t error;
    } cases[] = {
        {NotifyMode::Mail, kBodyIsFolder, "a@example.org", "0311", ".001", kFolderError},
        {NotifyMode::Pc, kBodyIsFolder, "a@example.org", "0311", ".001", kFolderError},
        {NotifyMode::Mail, kCopyExists, "a@example.org", "0311", ".002", kCopyExistsError},
#if !defined(_WIN32)
        // Within the stream's buffer: the bytes go out, and fail, only when the file is closed.
        {NotifyMode::Mail, kFileSizeLimit, std::string(2000, 'a'), "0311", ".tmp", EFBIG},
        {NotifyMode::Mail, kFileSizeLimit, "a@example.org", longText, ".001", EFBIG},
        {NotifyMode::Pc, kFileSizeLimit, "a@example.org", longText, ".001", EFBIG},
#endif
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.failed);
        for (const auto &entry : fs::directory_iterator(DataDir()))
            if (entry.path().filename() != "wbcatch.ini") fs::remove_all(entry.path());
        test::WriteFile(ConfigFile(), "[RCVFAX]\r\nJobID=9\r\nSMTPServer=smtp.example.org\r\n");
        test::WriteFile(trace, "");
        const platform::LocalTime now = platform::CurrentLocalTime();
        for (int later = 0; later < 2; ++later) {
            const int minute = (now.minute + later) % 60, hour = now.minute + later >= 60 ? (now.hour + 1) % 24 : now.hour;
            const std::string stem = DataDir() + Format("/%02d%02d%02d%02d_9", now.month, now.day, hour, minute);
            if (c.obstacle == kBodyIsFolder) fs::create_directories(stem + ".001");
            if (c.obstacle == kCopyExists) test::WriteFile(stem + ".002", "older");
        }
        NotifyRequest r = StoredFax();
        r.storedPath = fax, r.adminMail = c.adminMail, r.remoteNumber = c.remoteNumber;
        JobFiles job;
        {
#if !defined(_WIN32)
            std::optional<FileSizeLimit> limit;
            if (c.obstacle == kFileSizeLimit) limit.emplace(1000);
#endif
            job = CreateJobFiles(r, kLanguageEnglish, c.mode, true);
        }
        const std::string line = test::ReadFile(trace);
        EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
        EXPECT_NE(line.find(Format("_9%s: ", c.failed)), std::string::npos) << line;
        EXPECT_NE(line.find(": " + platform::SystemErrorText(c.error)), std::string::npos) << line;
        if (c.obstacle == kCopyExists) {
            EXPECT_EQ(job.jobFile, JobFile(9));  // the mail still goes, announcing what it cannot carry
            continue;
        }
        EXPECT_EQ(job.jobFile, "");
        for (const auto &entry : fs::directory_iterator(DataDir())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "wbcatch.ini" || name == ".wbfax.lock" || entry.is_directory()) << name << " was left behind";
        }
    }
}

}  // namespace
}  // namespace wbfax
