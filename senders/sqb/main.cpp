// PF_SQB.exe: tells the PCs of each PC-notification job that a fax arrived, and records the
// outcome per PC in the notification log. A PC that cannot be reached is tried again for as
// long as the retention period (NotifyDays) runs from the job's writing.
//
//   WBFAX_NOTICE_PORT        the receivers' port, where an address names none (default 47820)
//   WBFAX_NOTICE_TIMEOUT_MS  each step of one notice (default 10000)
#include "common/job_file.h"
#include "common/sender_program.h"
#include "base/text.h"
#include "base/trace.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "sqb/pc_job.h"


using namespace wbfax;
using namespace wbfax::senders;

int main() {
    const auto port = static_cast<std::uint16_t>(EnvironmentNumber("WBFAX_NOTICE_PORT", kNoticePort));
    const std::uint32_t timeoutMs = EnvironmentNumber("WBFAX_NOTICE_TIMEOUT_MS", 10000);

    SenderRole program;
    program.mode = NotifyMode::Pc;
    program.name = "PF_SQB";
    program.windowClass = "QVPCFAXSQB";
    program.lockFile = "pfsqb.lck";
    program.companions = {".001", ".002", ".pcs"};
    program.progress = ".pcs";
    program.process = [&](const ListEntry &entry, const std::atomic<bool> &stopping) {
        const std::string settledPath = WithExtension(entry.jobFile, ".pcs");
        std::map<std::string, int> settled = ReadProgress(settledPath);
        auto record = [&](const std::string &pc, int status, const std::map<std::string, std::string> &fields,
                          const std::string &detail, std::uint32_t codePage) {
            AppendSenderLog(kPcNoticeLogName, status, pc, entry.number, fields, detail, codePage);
            AddProgress(settledPath, pc, status);
            settled[pc] = status;
        };

        std::vector<std::string> pcs;
        std::string problem;
        const std::optional<PcJob> job = ReadPcJob(entry.jobFile, pcs, problem);
        if (!job) {
            Trace("PF_SQB: job %04u given up: %s", entry.number, problem.c_str());
            for (const std::string &pc : pcs)
                if (!settled.count(pc)) record(pc, kNoticeFailed, {}, problem, 1252);
            return Outcome::Rejected;
        }

        // Read at each attempt: a changed retention period applies to the jobs still waiting.
        const int days = ReadNotifyDays();
        const bool expired = JobAgeSeconds(entry.jobFile) >= days * 86400.0;
        const Notice notice = NoticeOf(*job, entry.number);
        bool waiting = false;
        for (const std::string &pc : job->pcs) {
            if (settled.count(pc)) continue;
            if (stopping) return Outcome::Retry;
            const std::optional<PcAddress> address = ParsePcAddress(pc, port);
            NoticeResult result{kNoticeFailed, "not a PC address"};
            if (address) result = SendNotice(*address, notice, timeoutMs, stopping);
            if (stopping && result.status != kNoticeDelivered) return Outcome::Retry;
            Trace("PF_SQB: job %04u, PC %s: %d %s", entry.number, pc.c_str(), result.status, result.detail.c_str());
            if (result.status == kNoticeUnreachable) {
                if (!expired) {
                    waiting = true;
                    continue;
                }
                result.detail = Format("not reached within %d day(s): ", days) + result.detail;
            }
            record(pc, result.status, job->record, result.detail, job->codePage);
        }
        return waiting ? Outcome::Retry : Outcome::Delivered;
    };
    return RunSenderProgram(program);
}
