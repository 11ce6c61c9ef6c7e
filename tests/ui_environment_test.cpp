// The environment settings without a screen: what they show, the server and port rules, and
// what OK writes, also after a refused OK.
#include "base/text.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "test_support.h"
#include "ui/environment.h"
#include "ui/messages.h"

#include <tuple>

namespace wbfax {
namespace {

TEST(SmtpServer, NamesAddressesAndPorts) {
    const std::pair<std::string, int> servers[] = {
        {"", kMsgNoServerName}, {std::string(32, 'a'), kNoMessage}, {std::string(33, 'a'), kMsgServerNameTooLong},
        {"MAIL-1.Example.com", kNoMessage}, {"mail_1.example.com", kMsgBadServerName}, {"255.255.255.255", kNoMessage},
        {"192.168.0.256", kMsgBadAddressPart}, {"0000300.1.1.1", kMsgBadAddressPart},
        {"..1.2", kNoMessage},        // empty leading parts count as 0
        {"1.2.3.", kNoMessage},       // no fourth part: a host name of digits and dots
        {"1.2.3.999.5", kNoMessage},  // five groups: a host name, whatever they hold
    };
    for (const auto &[name, message] : servers) EXPECT_EQ(CheckSmtpServer(name), message) << "[" << name << "]";
    const std::pair<std::string, int> ports[] = {{"1", kNoMessage},  {"32767", kNoMessage},  {" 587 ", kNoMessage}, {"0", kMsgBadPort},
                                                 {"32768", kMsgBadPort}, {"abc", kMsgBadPort}, {"25x", kMsgBadPort}, {"99999999999", kMsgBadPort}};
    for (const auto &[port, message] : ports) EXPECT_EQ(CheckSmtpPort(port), message) << "[" << port << "]";
    EXPECT_EQ(std::make_pair(ReadFieldNumber("-12"), ReadFieldNumber("12a")), std::make_pair(-12, 0));
    const EnvironmentLayout mail = LayoutOf(true, false), host = LayoutOf(false, true);
    EXPECT_TRUE(mail.server && mail.port && mail.attach && !mail.size && !mail.days && LayoutOf(true, true).size);
    EXPECT_TRUE(!host.server && !host.port && !host.attach && !host.size && host.days);
}

class Environment : public test::ScratchInstall {
protected:
    // The keys' values in a row, "-" for a missing key.
    std::string Get(std::initializer_list<const char *> keys) {
        std::string values;
        for (const char *key : keys) {
            char value[128];
            platform::ProfileGetString("RCVFAX", key, "-", value, sizeof value, ConfigFilePath().c_str());
            values += value + std::string("|");
        }
        return values;
    }
};

TEST_F(Environment, ShowsThePendingValueElseTheSettingInForce) {
    // An empty pending server is a pending server; a pending port of 0 is none.
    const struct {
        std::vector<std::pair<const char *, const char *>> set;
        std::string shown;  // mail|server|port|attach|size|days
    } steps[] = {
        {{}, "1||25|0|0|3"},
        {{{"USESMTP", "0"}, {"SMTPServer", "committed.example"}, {"SMTPPortNo", "2525"}, {"ADDFFILE", "1"}, {"FileSize", "7"},
          {"NotifyDays", "31"}}, "0|committed.example|2525|1|0|31"},
        {{{"USESMTPWork", "1"}, {"SMTPServerWork", ""}, {"SMTPPortNoWork", "0"}, {"AddFileWork", "0"}, {"FileSizeWork", "2"},
          {"NotifyDaysWork", "5"}}, "1||2525|0|2|5"},
    };
    for (const auto &step : steps) {
        for (const auto &[key, value] : step.set) platform::ProfileWriteString("RCVFAX", key, value, ConfigFilePath().c_str());
        const EnvironmentForm f = ReadEnvironmentForm();
        EXPECT_EQ(Format("%d|%s|%s|%d|%d|%s", f.notifyByMail, f.server.c_str(), f.port.c_str(), f.attachFile, f.sizeClass,
                         f.days.c_str()), step.shown);
    }
}

TEST_F(Environment, ARefusedOkStillWritesModeAttachSizeAndDays) {
    // Written: USESMTPWork, SMTPServerWork, SMTPPortNoWork, AddFileWork, FileSizeWork, NotifyDaysWork.
    const std::tuple<EnvironmentForm, int, std::string> cases[] = {
        {{true, "", "25", true, 3, "45"}, kMsgNoServerName, "1|-|-|1|3|31|"},
        {{true, "smtp.example", "32768", true, 3, "45"}, kMsgBadPort, "1|-|-|1|3|31|"},
        {{true, "smtp.example", "32767", false, 3, "00007"}, kNoMessage, "1|smtp.example|32767|0|3|7|"},
        {{false, "", "no port", false, 1, "31"}, kNoMessage, "0||0|0|1|31|"},  // host notification: unchecked
    };
    for (const auto &[form, message, written] : cases) {
        EXPECT_EQ(ApplyEnvironmentOk(form), message) << written;
        EXPECT_EQ(Get({"USESMTPWork", "SMTPServerWork", "SMTPPortNoWork", "AddFileWork", "FileSizeWork", "NotifyDaysWork"}), written);
    }
    EXPECT_EQ(Get({"USESMTP"}), "-|");  // nothing reaches the settings in force before the commit
}

}  // namespace
}  // namespace wbfax
