#include "ui/environment.h"

#include "base/text.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "ui/messages.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace wbfax {
namespace {

constexpr std::string_view kHostNameSet = "-.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz\t";
// The dialog reads the server name through a 64-byte buffer.
constexpr std::size_t kServerReadLimit = 63;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Four "."-separated digit groups, the last one not empty; the value of each, saturated.
bool SplitIpv4(std::string_view name, std::uint32_t (&parts)[4]) {
    if (std::count(name.begin(), name.end(), '.') != 3) return false;
    int index = 0;
    std::uint32_t value = 0;
    for (char c : name) {
        if (c == '.') {
            parts[index++] = value;
            value = 0;
        } else if (IsDigit(c)) {
            value = std::min<std::uint32_t>(value * 10u + static_cast<std::uint32_t>(c - '0'), 100000u);
        } else {
            return false;
        }
    }
    parts[3] = value;
    return !name.empty() && name.back() != '.';
}

}  // namespace

EnvironmentForm ReadEnvironmentForm(bool fillInPort) {
    EnvironmentForm form;
    const std::int32_t useSmtp = ReadUseSmtpWork();
    form.notifyByMail = useSmtp != -1 ? useSmtp != 0 : ReadUseSmtp() != 0;
    form.server = ReadSmtpServerWork().value_or(ReadSmtpServer().value_or(""));
    std::int32_t port = ReadSmtpPortNoWork();
    if (port == 0) {
        port = fillInPort ? ReadSmtpPortNo()
                          : static_cast<std::int32_t>(platform::ProfileGetInt("RCVFAX", "SMTPPortNo", 0, ConfigFilePath().c_str()));
    }
    if (port == 0) port = 25;
    form.port = Format("%ld", static_cast<long>(port));
    const std::int32_t attach = ReadAddFileWork();
    form.attachFile = attach != -1 ? attach != 0 : ReadAddFile() != 0;
    const std::int32_t size = ReadFileSizeWork();
    form.sizeClass = size != -1 ? size : ReadFileSize();
    // A pending class the list does not have shows as its first line.
    if (form.sizeClass < 0 || form.sizeClass >= kSizeClasses) form.sizeClass = 0;
    const std::int32_t days = ReadNotifyDaysWork();
    form.days = Format("%u", static_cast<unsigned>(days != -1 ? days : ReadNotifyDays()));
    return form;
}

EnvironmentLayout LayoutOf(bool notifyByMail, bool attachFile) {
    if (notifyByMail) return {true, true, true, attachFile, false};
    return {false, false, false, false, true};
}

std::int32_t ReadFieldNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    const std::size_t digits = i;
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return 0;
    }
    if (i == digits) return 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size()) return 0;
    return static_cast<std::int32_t>(negative ? -value : value);
}

int CheckSmtpServer(std::string_view name) {
    name = name.substr(0, kServerReadLimit);
    if (name.empty()) return kMsgNoServerName;
    if (name.size() > static_cast<std::size_t>(kServerFieldLimit)) return kMsgServerNameTooLong;
    std::uint32_t parts[4] = {};
    if (SplitIpv4(name, parts)) {
        for (std::uint32_t part : parts)
            if (part > 255) return kMsgBadAddressPart;
        return kNoMessage;
    }
    const bool hostName = std::all_of(name.begin(), name.end(),
                                      [](char c) { return kHostNameSet.find(c) != std::string_view::npos; });
    return hostName ? kNoMessage : kMsgBadServerName;
}

int CheckSmtpPort(std::string_view text) {
    const std::int32_t port = ReadFieldNumber(text);
    return port < 1 || port > 32767 ? kMsgBadPort : kNoMessage;
}

int CheckEnvironmentForm(const EnvironmentForm &form) {
    if (!form.notifyByMail) return kNoMessage;
    if (const int message = CheckSmtpServer(form.server); message != kNoMessage) return message;
    return CheckSmtpPort(form.port);
}

int ApplyEnvironmentOk(const EnvironmentForm &form) {
    const std::string server = form.server.substr(0, kServerReadLimit);
    const std::string port = Format("%d", ReadFieldNumber(form.port));
    WriteUseSmtpWork(form.notifyByMail ? 1 : 0);
    const int refusal = CheckEnvironmentForm(form);
    if (refusal == kNoMessage) {
        WriteSmtpServerWork(server.c_str());
        WriteSmtpPortNoWork(port.c_str());
    }
    WriteAddFileWork(form.attachFile ? 1 : 0);
    WriteFileSizeWork(form.sizeClass);
    WriteNotifyDaysWork(static_cast<std::uint32_t>(ParseDecimal(std::string_view(form.days).substr(0, kDaysFieldLimit))));
    return refusal;
}

}  // namespace wbfax
