#include "sqb/pc_job.h"

#include "common/charset.h"
#include "common/job_file.h"
#include "base/text.h"
#include "platform/platform.h"

namespace wbfax::senders {
namespace {

std::string Get(const std::map<std::string, std::string> &record, const char *key) {
    const auto it = record.find(key);
    return it == record.end() ? std::string() : it->second;
}

}  // namespace

std::optional<PcJob> ReadPcJob(const std::string &jobFile, std::vector<std::string> &pcs, std::string &problem) {
    const std::optional<std::string> content = ReadBytes(jobFile);
    const std::optional<JobFile> job = content ? ParseJobFile(*content) : std::nullopt;
    const JobSection *head = job ? job->Find("HEAD INFO") : nullptr;
    if (!head) {
        problem = "the job file cannot be read";
        return std::nullopt;
    }
    PcJob pcJob;
    pcJob.pcs = ListEntries(head->Get("ToAddr"));
    pcs = pcJob.pcs;
    pcJob.codePage = SourceCodePage(head->Get("CharCode"));
    const std::optional<std::string> body = ReadBytes(CompanionPath(jobFile, 1));
    if (!body) {
        problem = "the notice record cannot be read";
        return std::nullopt;
    }
    const std::vector<std::string> lines = TextLines(*body);
    if (!lines.empty()) pcJob.message = lines.front();
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (const std::size_t equals = lines[i].find('='); equals != std::string::npos)
            pcJob.record.emplace(lines[i].substr(0, equals), lines[i].substr(equals + 1));
    return pcJob;
}

Notice NoticeOf(const PcJob &job, std::uint32_t jobNumber) {
    const auto text = [&](const char *key) { return ToUtf8(Get(job.record, key), job.codePage); };
    return {
        {"Job", Format("%04u", jobNumber)},
        {"Message", ToUtf8(job.message, job.codePage)},
        {"Received", text("RcvTime")},
        {"Sender", text("SenderName")},
        {"Fax-Number", text("TSI")},
        {"Type", text("NotifyType")},
        {"Host", text("HostName")},
        {"Folder", text("Path")},
        {"File", text("FileName")},
    };
}

}  // namespace wbfax::senders
