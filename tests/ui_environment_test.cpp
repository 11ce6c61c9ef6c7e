// The environment settings without a screen: what they show, the server and port rules, and
// what OK writes, also after a refused OK.
#include "platform/platform.h"
#include "settings/config.h"
#include "test_support.h"
#include "ui/environment.h"
#include "ui/messages.h"

namespace wbfax {
namespace {

TEST(SmtpServer, NamesAndAddresses) {
    const struct {
        std::string name;
        int message;
    } cases[] = {
        {"", kMsgNoServerName},           {std::string(32, 'a'), kNoMessage},
        {std::string(33, 'a'), kMsgServerNameTooLong}, {"MAIL-1.Example.com", kNoMessage},
        {"mail_1.example.com", kMsgBadServerName}, {"255.255.255.255", kNoMessage},
        {"192.168.0.256", kMsgBadAddressPart}, {"0000300.1.1.1", kMsgBadAddressPart},
        {"..1.2", kNoMessage},            // empty leading parts count as 0
        {"1.2.3.", kNoMessage},           // no fourth part: a host name of digits and dots
        {"1.2.3.999.5", kNoMessage},      // five groups: a host name, whatever they hold
    };
    for (const auto &c : cases) EXPECT_EQ(CheckSmtpServer(c.name), c.message) << "[" << c.name << "]";
}

TEST(SmtpPort, OneTo32767) {
    const std::pair<std::string, int> cases[] = {{"1", kNoMessage},      {"32767", kNoMessage},  {" 587 ", kNoMessage},
                                                 {"0", kMsgBadPort},     {"32768", kMsgBadPort}, {"abc", kMsgBadPort},
                                                 {"25x", kMsgBadPort},   {"99999999999", kMsgBadPort}};
    for (const auto &[port, message] : cases) EXPECT_EQ(CheckSmtpPort(port), message) << "[" << port << "]";
    EXPECT_EQ(ReadFieldNumber("-12"), -12);
    EXPECT_EQ(ReadFieldNumber("12a"), 0);
}

TEST(EnvironmentLayouts, MailOrHostProgram) {
    const EnvironmentLayout mail = LayoutOf(true, false), host = LayoutOf(false, true);
    EXPECT_TRUE(mail.server && mail.port && mail.attach && !mail.size && !mail.days && LayoutOf(true, true).size);
    EXPECT_TRUE(!host.server && !host.port && !host.attach && !host.size && host.days);
}

class Environment : public test::ScratchInstall {
protected:
    void Set(const char *key, const char *value) {
        platform::ProfileWriteString("RCVFAX", key, value, ConfigFilePath().c_str());
    }
    std::string Get(const char *key) {
        char value[128];
        platform::ProfileGetString("RCVFAX", key, "(none)", value, sizeof value, ConfigFilePath().c_str());
        return value;
    }
};

TEST_F(Environment, ShowsThePendingValueElseTheSettingInForce) {
    EnvironmentForm shown = ReadEnvironmentForm();
    EXPECT_TRUE(shown.notifyByMail);
    EXPECT_EQ(shown.server + "|" + shown.port + "|" + shown.days, "|25|3");
    EXPECT_FALSE(shown.attachFile);
    EXPECT_EQ(shown.sizeClass, 0);

    for (const auto &[key, value] : {std::pair{"USESMTP", "0"}, {"SMTPServer", "committed.example"}, {"SMTPPortNo", "2525"},
                                     {"ADDFFILE", "1"}, {"FileSize", "7"}, {"NotifyDays", "31"}})
        Set(key, value);
    shown = ReadEnvironmentForm();
    EXPECT_FALSE(shown.notifyByMail);
    EXPECT_EQ(shown.server + "|" + shown.port + "|" + shown.days, "committed.example|2525|31");
    EXPECT_TRUE(shown.attachFile);
    EXPECT_EQ(shown.sizeClass, 0);

    // An empty pending server is a pending server; a pending port of 0 is none.
    for (const auto &[key, value] : {std::pair{"USESMTPWork", "1"}, {"SMTPServerWork", ""}, {"SMTPPortNoWork", "0"},
                                     {"AddFileWork", "0"}, {"FileSizeWork", "2"}, {"NotifyDaysWork", "5"}})
        Set(key, value);
    shown = ReadEnvironmentForm();
    EXPECT_TRUE(shown.notifyByMail);
    EXPECT_EQ(shown.server + "|" + shown.port + "|" + shown.days, "|2525|5");
    EXPECT_FALSE(shown.attachFile);
    EXPECT_EQ(shown.sizeClass, 2);
}

TEST_F(Environment, ARefusedOkStillWritesModeAttachSizeAndDays) {
    EnvironmentForm form;
    form.notifyByMail = true;
    form.server = "";
    form.port = "25";
    form.attachFile = true;
    form.sizeClass = 3;
    form.days = "45";
    EXPECT_EQ(ApplyEnvironmentOk(form), kMsgNoServerName);
    EXPECT_EQ(Get("USESMTPWork") + Get("AddFileWork") + Get("FileSizeWork") + Get("NotifyDaysWork"), "11331");
    EXPECT_EQ(Get("SMTPServerWork") + "|" + Get("SMTPPortNoWork"), "(none)|(none)");

    form.server = "smtp.example";
    form.port = "32768";
    EXPECT_EQ(ApplyEnvironmentOk(form), kMsgBadPort);
    EXPECT_EQ(Get("SMTPServerWork"), "(none)");

    form.port = "32767";
    form.days = "00007";
    form.attachFile = false;
    EXPECT_EQ(ApplyEnvironmentOk(form), kNoMessage);
    EXPECT_EQ(Get("SMTPServerWork") + "|" + Get("SMTPPortNoWork"), "smtp.example|32767");
    EXPECT_EQ(Get("AddFileWork") + Get("NotifyDaysWork"), "07");
}

TEST_F(Environment, HostNotificationWritesServerAndPortUnchecked) {
    EnvironmentForm form;
    form.notifyByMail = false;
    form.server = "";
    form.port = "no port";
    form.sizeClass = 1;
    form.days = "31";
    EXPECT_EQ(ApplyEnvironmentOk(form), kNoMessage);
    EXPECT_EQ(Get("USESMTPWork") + "|" + Get("SMTPServerWork") + "|" + Get("SMTPPortNoWork"), "0||0");
    EXPECT_EQ(Get("FileSizeWork") + Get("NotifyDaysWork"), "131");
    EXPECT_EQ(Get("USESMTP"), "(none)");  // nothing reaches the settings in force before the commit
}

}  // namespace
}  // namespace wbfax
