#include "sqb/pc_job.h"

#include "common/charset.h"
#include "common/job_file.h"
#include "base/text.h"
#include "platform/platform.h"

namespace wbfax::senders {
namespace {

// A log field: no separator, no line end, at most limit bytes without splitting a character.
std::string Field(std::string_view text, std::size_t limit, std::uint32_t codePage) {
    std::string field;
    for (std::size_t i = 0; i < text.size();) {
        // Trail bytes are 0x40 and up: a lead byte before a separator or line end stands alone.
        const bool pair = i + 1 < text.size() && platform::IsLeadByteOf(codePage, static_cast<std::uint8_t>(text[i])) &&
                          static_cast<std::uint8_t>(text[i + 1]) >= 0x40;
        const std::size_t width = pair ? 2 : 1;
        if (field.size() + width > limit) break;
        for (std::size_t k = 0; k < width; ++k) {
            const char c = text[i + k];
            field += (width == 1 && (c == ',' || c == '\r' || c == '\n')) ? ' ' : c;
        }
        i += width;
    }
    return field;
}

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

std::string LogLine(int status, std::string_view pc, std::uint32_t jobNumber, const LogTime &time,
                    const std::map<std::string, std::string> &record, std::string_view detail, std::uint32_t codePage) {
    // The window reads lines of at most 511 characters and stops at a longer one; these
    // limits keep a line below 500.
    return Format("%d,", status) + Field(pc, 64, codePage) + Format(",%04u,", jobNumber) +
           Format("%04d.%02d.%02d.%02d.%02d.%02d,", time.year, time.month, time.day, time.hour, time.minute, time.second) +
           Field(Get(record, "RcvTime"), 16, codePage) + "," + Field(Get(record, "SenderName"), 64, codePage) + "," +
           Field(Get(record, "TSI"), 40, codePage) + "," + Field(Get(record, "FileName"), 200, codePage) + "," +
           Field(detail, 80, codePage) + "\r\n";
}

std::set<std::string> ReadSettledPcs(const std::string &path) {
    std::set<std::string> settled;
    const std::optional<std::string> content = ReadBytes(path);
    if (!content) return settled;
    for (const std::string &line : TextLines(*content))
        if (const std::size_t comma = line.find(','); comma != std::string::npos) settled.insert(line.substr(comma + 1));
    return settled;
}

bool AddSettledPc(const std::string &path, std::string_view pc, int status) {
    return platform::AppendToFile(path, Format("%d,", status) + std::string(pc) + "\r\n");
}

}  // namespace wbfax::senders
