// The environment settings (dialog 102): the receive-notification settings of all boxes, shown
// from their pending "Work" twins when there are any, and written only to those twins.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

constexpr int kServerFieldLimit = 32;
constexpr int kPortFieldLimit = 5;
constexpr int kDaysFieldLimit = 5;
constexpr int kMaxNotifyDays = 31;  // the spin control's range is 0 to 31
constexpr int kSizeClasses = 4;     // low, medium, high, no limit

// The dialog's fields, as texts where the dialog has edit fields.
struct EnvironmentForm {
    bool notifyByMail = true;  // 1015 selected; else 1017, the host program
    std::string server;        // 1001
    std::string port;          // 1004
    bool attachFile = false;   // 1021
    int sizeClass = 0;         // 1019's position, 0 to 3
    std::string days;          // 1007
};
// fillInPort: a missing port is written as 25 when read, as the settings reader does at the
// dialog's opening; without it the 25 is only shown.
EnvironmentForm ReadEnvironmentForm(bool fillInPort = true);

// Which controls are enabled.
struct EnvironmentLayout {
    bool server = false, port = false, attach = false, size = false, days = false;
};
EnvironmentLayout LayoutOf(bool notifyByMail, bool attachFile);

// GetDlgItemInt, signed: blanks around an optional sign and digits; anything else is not a
// number and reads as 0.
std::int32_t ReadFieldNumber(std::string_view text);

// The server name rule and the port range; kNoMessage when they pass.
int CheckSmtpServer(std::string_view name);
int CheckSmtpPort(std::string_view text);
// Both, as OK checks them with mail notification; host notification checks nothing.
int CheckEnvironmentForm(const EnvironmentForm &form);

// OK: the writes in the dialog's order. The mode is written first and the attach, size class
// and days after the checks whatever their outcome, so a refused OK still leaves those four.
// kNoMessage when the dialog closes, else the message that keeps it open.
int ApplyEnvironmentOk(const EnvironmentForm &form);

}  // namespace wbfax
