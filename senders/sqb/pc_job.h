// A PC-notification job as PF_SQB handles it: the PCs to tell, the notice made of the job's
// record, and the lines of the notification log that the plug-in's error log window shows.
#pragma once

#include "common/notice_protocol.h"
#include "common/sender_log.h"

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax::senders {

struct PcJob {
    std::vector<std::string> pcs;  // the entries of ToAddr, as written (code-page bytes)
    std::uint32_t codePage = 1252;
    std::string message;                        // first line of the record
    std::map<std::string, std::string> record;  // RcvTime, SenderName, TSI, HostName, Path, FileName, NotifyType
};

// The job; none with the reason when the job file or its record cannot be read. pcs is filled
// as far as the job file could be read.
std::optional<PcJob> ReadPcJob(const std::string &jobFile, std::vector<std::string> &pcs, std::string &problem);

// What the PCs are told, in UTF-8.
Notice NoticeOf(const PcJob &job, std::uint32_t jobNumber);

}  // namespace wbfax::senders
