// What a notification says and in which character set, whether the fax goes with the mail, and
// the notification entry: its busy guard and its two modes.
#include "notification/notify.h"
#include "notification/texts.h"
#include "ipc_scratch.h"

namespace wbfax {
namespace {

namespace fs = std::filesystem;

// The texts are stored in their language's code page; a language without texts speaks English.
TEST(NotifyTexts, ByDeviceLanguageCodeInItsCodePage) {
    const std::pair<std::uint16_t, const char *> cases[] = {
        {4, "ファクス受信通知"}, {14, "FAX Empfangsmitteilung"}, {15, "Notifica Ricezione FAX"}, {12, "Accuse reception FAX"},
        {3, "Notificacion de recepción de FAX"}, {1, "FAX Receipt Notification"}, {0xFFFF, "FAX Receipt Notification"}};
    for (const auto &[code, first] : cases) {
        const std::uint16_t language = LanguageIdFromCode(code);
        EXPECT_EQ(NotifyText(language, 1), test::ToCodePage(first, code == 4 ? "CP932" : "CP1252")) << code;
        for (int outside : {0, 11}) EXPECT_EQ(NotifyText(language, outside), "") << code;
    }
}

TEST(NotifyTexts, CharacterSetFollowsTheLanguageAndForEnglishThePc) {
    const struct {
        std::uint16_t language;
        std::uint32_t codePage;
        std::uint16_t user;
        const char *charset;
    } cases[] = {
        {1041, 1252, 1033, "ISO-2022-JP"},   {1041, 932, 1041, "ISO-2022-JP"},  {1031, 932, 1041, "ISO-8859-1"},
        {1040, 1251, 1049, "ISO-8859-1"},    {0x0809, 1250, 2057, "ISO-8859-1"}, {1033, 1252, 1033, "US-ASCII"},
        {1033, 1252, 1031, "ISO-8859-1"},    {1033, 1250, 1045, "WINDOWS-1250"}, {1033, 1258, 1066, "WINDOWS-1258"},
        {1033, 874, 1054, "WINDOWS-874"},    {1033, 936, 2052, "GB2312"},        {1033, 949, 1042, "KS_C_5601-1987"},
        {1033, 950, 1028, "BIG5"},           {1033, 932, 1041, "US-ASCII"},      {1033, 1259, 1033, "US-ASCII"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(CharsetNameFor(c.language, c.codePage, c.user), c.charset) << c.language << " " << c.codePage << " " << c.user;
}

class Notification : public test::IpcScratch {
protected:
    void SetUp() override {
        IpcScratch::SetUp();
        test::WriteFile(fax = root + "/fax1.tif", "II*");
    }
    void TearDown() override {
        if (window) platform::DiscardWindow(window);
        current = nullptr;
        IpcScratch::TearDown();
    }

    // A sender program in this very process: the module finds and messages it as any other.
    void RunSenderHere(NotifyMode mode) {
        if (window) platform::DiscardWindow(window);
        current = this;
        window = platform::CreateMessageWindow(mode == NotifyMode::Mail ? kMailSenderClass : "QVPCFAXSQB", &Procedure);
        ASSERT_NE(window, 0u);
        SetBlock(senderMode = mode, "COMMUNICATE", 1, static_cast<std::uint32_t>(window));
    }
    int Notify(std::uint32_t languageCode = 0) {
        return NotifyReceivedFax("admin@example.org", "to@example.org", fax, 1, "0311", languageCode, 0, "", "", "X");
    }
    int NextJob() { return static_cast<int>(platform::ProfileGetInt("RCVFAX", "JobID", 0, ConfigFile().c_str())); }

    static std::intptr_t Procedure(platform::WindowHandle, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
        if (message != kJobMessage || !current) return 0;
        Notification &t = *current;
        t.messages.push_back(static_cast<std::uint32_t>(wParam));
        t.blockDuringCall = t.Block(t.senderMode);
        if (t.nestedCall) {
            const int job = t.NextJob();
            t.nestedResult = t.Notify();
            t.nestedChanges = t.NextJob() != job || t.Block(t.senderMode) != t.blockDuringCall;
        }
        return 1;
    }

    static Notification *current;
    std::string fax;
    platform::WindowHandle window = 0;
    NotifyMode senderMode = NotifyMode::Mail;
    std::vector<std::uint32_t> messages;
    std::vector<std::uint8_t> blockDuringCall;
    bool nestedCall = false, nestedChanges = true;
    int nestedResult = -1;
};

Notification *Notification::current = nullptr;

TEST_F(Notification, AttachmentFollowsTheSettingAndTheSizeClass) {
    const std::pair<const char *, std::int64_t> cases[] = {
        // settings, largest file attached (-1: none, 0xFFFFFFFF: any)
        {"", -1}, {"ADDFFILE=0\r\nFileSize=3\r\n", -1}, {"ADDFFILE=1\r\n", 524288}, {"ADDFFILE=9\r\nFileSize=0\r\n", 524288},
        {"ADDFFILE=1\r\nFileSize=1\r\n", 1048576}, {"ADDFFILE=1\r\nFileSize=2\r\n", 2097152},
        {"ADDFFILE=1\r\nFileSize=3\r\n", 0xFFFFFFFF}, {"ADDFFILE=1\r\nFileSize=7\r\n", 524288}, {"ADDFFILE=1\r\nFileSize=-1\r\n", 524288},
    };
    const std::string file = root + "/sized.tif";
    for (const auto &[settings, limit] : cases) {
        WriteConfig(settings);
        for (const std::int64_t size : {std::int64_t{0}, std::min<std::int64_t>(limit, 2097152), limit + 1}) {
            if (size < 0 || size > 2097153) continue;
            test::WriteFile(file, "");
            fs::resize_file(file, static_cast<std::uintmax_t>(size));
            EXPECT_EQ(ShouldAttach(file), size <= limit) << settings << "size " << size;
        }
    }
    // No limit is no limit, also past what 32 bits count (a sparse file).
    std::error_code error;
    fs::resize_file(file, std::uintmax_t{5} << 30, error);
    if (!error && fs::file_size(file) == std::uintmax_t{5} << 30) {
        for (const auto &[size, attached] : {std::pair{3, true}, {2, false}}) {
            WriteConfig("ADDFFILE=1\r\nFileSize=" + std::to_string(size) + "\r\n");
            EXPECT_EQ(ShouldAttach(file), attached) << size;
        }
    }
    fs::remove(file);
    EXPECT_TRUE(ShouldAttach(file));  // a file that cannot be opened counts as empty
}

// A call while a notification runs (here from the sender's window procedure) is turned away
// without taking a job number or touching the block; the notifier's window is published in the
// block while the notification runs and withdrawn when it ends, which lifts the guard.
TEST_F(Notification, UseSmtpChoosesMailOrPcNotificationInTheDevicesLanguageOneAtATime) {
    const struct {
        const char *useSmtp;
        NotifyMode mode, other;
        std::uint32_t languageCode;
        const char *firstLine, *charset;
    } cases[] = {{"", NotifyMode::Mail, NotifyMode::Pc, 4, "[NT INFO]", "ISO-2022-JP"},
                 {"USESMTP=0\r\n", NotifyMode::Pc, NotifyMode::Mail, 14, "[HEAD INFO]", "ISO-8859-1"},
                 {"USESMTP=1\r\n", NotifyMode::Mail, NotifyMode::Pc, 0, "[NT INFO]", "US-ASCII"}};
    std::uint32_t job = 3;
    for (const auto &c : cases) {
        const bool mail = c.mode == NotifyMode::Mail;
        WriteConfig(std::string(c.useSmtp) + "ADDFFILE=1\r\nJobID=" + std::to_string(job) + "\r\n");
        const std::vector<std::uint8_t> otherBlock = Block(c.other);
        RunSenderHere(c.mode);
        nestedCall = job == 3;
        EXPECT_EQ(Notify(c.languageCode), 1);
        EXPECT_EQ(messages.size(), job - 2u);
        EXPECT_EQ(messages.back(), job);
        EXPECT_EQ(NextJob(), static_cast<int>(job + 1));
        if (nestedCall) {
            EXPECT_EQ(Format("%d %d", nestedResult, nestedChanges), "0 0");  // no job number taken, the block as it was
        }
        ASSERT_FALSE(blockDuringCall.empty());
        const std::vector<std::uint8_t> after = Block(c.mode);
        EXPECT_EQ(Format("%u %u %u %u", ReadField(blockDuringCall.data(), kNotifierPresent), !!ReadField(blockDuringCall.data(), kNotifierWindow),
                         ReadField(after.data(), kNotifierPresent), ReadField(after.data(), kNotifierWindow)), "1 1 0 0");
        EXPECT_EQ(Block(c.other), otherBlock);
        EXPECT_EQ(ReadList(c.mode), ListEntry(job));
        EXPECT_EQ(ReadList(c.other), "");
        const std::string text = test::ReadFile(JobFile(job)), stem = JobFile(job).substr(0, JobFile(job).size() - 4);
        EXPECT_EQ(text.rfind(c.firstLine + std::string("\r\n"), 0), 0u) << text;
        const std::uint16_t language = LanguageIdFromCode(static_cast<std::uint16_t>(c.languageCode));
        EXPECT_NE(text.find("\r\nSubject=" + std::string(NotifyText(language, 1)) + "(fax1.tif)\r\nCharCode=" + c.charset +
                            "\r\nAttachNum=2\r\n"), std::string::npos) << text;
        EXPECT_EQ(test::Exists(stem + ".002"), mail);
        EXPECT_EQ(test::ReadFile(stem + ".001").find("\r\nRcvTime=") != std::string::npos, !mail);
        fs::remove(DataDir() + "/" + JobListName(c.mode));
        ++job;
    }
}

}  // namespace
}  // namespace wbfax
