// The administrator's logs of the sender programs, in the data folder: sqb_NTFY.log (PC
// notices) and smtp_NTFY.log (mail). Both have the same line shape, which the plug-in's error
// log window and quillbox-error-log read.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace wbfax::senders {

inline constexpr const char *kPcNoticeLogName = "sqb_NTFY.log";
inline constexpr const char *kMailLogName = "smtp_NTFY.log";

struct LogTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LogTime LogTimeNow();

// One line, with its CR LF. Fields, separated by ",": 1 status, 2 address (a PC, a mail
// recipient, or "-" for a whole mail), 3 job number, 4 time "YYYY.MM.DD.hh.mm.ss", 5 time the fax
// arrived, 6 sender's name, 7 sender's fax number, 8 file name, 9 what happened. Fields never
// hold ","; the line stays short enough for the error log window.
std::string LogLine(int status, std::string_view address, std::uint32_t jobNumber, const LogTime &time,
                    const std::map<std::string, std::string> &record, std::string_view detail, std::uint32_t codePage);

// Appends a line stamped now to the log of that name in the running program's data folder.
// record holds RcvTime, SenderName, TSI and FileName where the job knows them (code-page bytes).
bool AppendSenderLog(std::string_view logName, int status, std::string_view address, std::uint32_t jobNumber,
                     const std::map<std::string, std::string> &record, std::string_view detail, std::uint32_t codePage);

// Whether the log's last lines hold this line, whenever it was written and whatever it said in
// field 9: a program stopped between its own record and the log line finds out with it.
bool SenderLogHas(std::string_view logName, int status, std::string_view address, std::uint32_t jobNumber,
                  const std::map<std::string, std::string> &record, std::uint32_t codePage);

}  // namespace wbfax::senders
