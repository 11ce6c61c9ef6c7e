// PF_SQB.exe: tells the PCs of each PC-notification job that a fax arrived, and records the
// outcome per PC in the notification log. A PC that cannot be reached is tried again for as
// long as the retention period (NotifyDays) runs from the job's writing.
//
//   WBFAX_NOTICE_PORT        the receivers' port, where an address names none (default 47820)
//   WBFAX_NOTICE_TIMEOUT_MS  each step of one notice (default 10000)
//   WBFAX_NOTICE_KEY         the key file shared with the PCs (default: notice.key in the data folder)
#include "common/job_file.h"
#include "common/sender_log.h"
#include "common/sender_program.h"
#include "base/text.h"
#include "base/trace.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "settings/config.h"
#include "sqb/pc_job.h"

using namespace wbfax;
using namespace wbfax::senders;

namespace {

constexpr int kMaybeTold = 0;  // in the job's record of PCs: told, but the answer never came

}  // namespace

int main() {
    const auto port = static_cast<std::uint16_t>(EnvironmentNumber("WBFAX_NOTICE_PORT", kNoticePort));
    const std::uint32_t timeoutMs = EnvironmentNumber("WBFAX_NOTICE_TIMEOUT_MS", 10000);

    SenderRole program;
    program.mode = NotifyMode::Pc;
    program.name = "PF_SQB";
    program.windowClass = "QVPCFAXSQB";
    program.lockFile = "pfsqb.lck";
    program.logName = kPcNoticeLogName;
    program.companions = {".001", ".002", ".pcs"};
    program.progress = ".pcs";
    program.process = [&](const ListEntry &entry, const std::atomic<bool> &stopping) {
        const std::string settledPath = WithExtension(entry.jobFile, program.progress);
        const std::vector<ProgressLine> progress = ReadProgressLines(settledPath);
        std::map<std::string, int> settled = SettledOf(progress);
        // The record beside the job comes first, the log line after it: stopped in between, the
        // next attempt finds the line missing and writes it (below).
        auto record = [&](const std::string &pc, int status, const std::map<std::string, std::string> &fields,
                          const std::string &detail, std::uint32_t codePage) {
            AddProgress(settledPath, pc, status);
            settled[pc] = status;
            AppendSenderLog(kPcNoticeLogName, status, pc, entry.number, fields, detail, codePage);
        };
        const auto done = [&](const std::string &pc) {
            const auto it = settled.find(pc);
            return it != settled.end() && it->second != kMaybeTold;
        };

        std::vector<std::string> pcs;
        std::string problem;
        const std::optional<PcJob> job = ReadPcJob(entry.jobFile, pcs, problem);
        if (!job) {
            Trace("PF_SQB: job %04u given up: %s", entry.number, problem.c_str());
            for (const std::string &pc : pcs)
                if (!done(pc)) record(pc, kNoticeFailed, {}, problem, 1252);
            return Outcome::Rejected;
        }
        // Only the last PC recorded can lack its log line.
        if (!progress.empty()) {
            const ProgressLine &last = progress.back();
            if (last.status != kMaybeTold &&
                !SenderLogHas(kPcNoticeLogName, last.status, last.entry, entry.number, job->record, job->codePage))
                AppendSenderLog(kPcNoticeLogName, last.status, last.entry, entry.number, job->record,
                                last.status == kNoticeDelivered ? "delivered" : "logged after an interruption", job->codePage);
        }

        // Read at each attempt: a changed retention period applies to the jobs still waiting.
        const int days = ReadNotifyDays();
        const bool expired = JobAgeSeconds(entry.jobFile) >= days * 86400.0;
        const Notice notice = NoticeOf(*job, entry.number);
        // Read at each job: a key the administrator puts in place holds from the next job on.
        const std::string keyFile = platform::GetEnvironment("WBFAX_NOTICE_KEY").value_or(SenderDataFolder() + "/notice.key");
        const std::optional<std::string> key = ReadNoticeKey(keyFile, problem);
        if (!key) Trace("PF_SQB: job %04u: no key to sign notices with: %s", entry.number, problem.c_str());
        bool waiting = false;
        for (const std::string &pc : job->pcs) {
            if (done(pc)) continue;
            if (stopping) return Outcome::Retry;
            const std::optional<PcAddress> address = ParsePcAddress(pc, port);
            NoticeResult result{kNoticeFailed, "not a PC address"};
            if (!key) result.detail = "no notice key: " + problem;
            else if (address) result = SendNotice(*address, notice, *key, timeoutMs, stopping);
            if (result.status == kNoticeDelivered) {
                // Recorded before anything else: a stop from here on tells nobody twice.
                record(pc, result.status, job->record, result.detail, job->codePage);
                Trace("PF_SQB: job %04u, PC %s: %d %s", entry.number, pc.c_str(), result.status, result.detail.c_str());
                continue;
            }
            if (stopping) return Outcome::Retry;
            Trace("PF_SQB: job %04u, PC %s: %d %s", entry.number, pc.c_str(), result.status, result.detail.c_str());
            if (result.told) {
                // The PC may show the notice without its answer reaching us: it is told once
                // more, never again after that.
                if (settled.count(pc) != 0) {
                    result = {kNoticeFailed, "told twice without an answer: " + result.detail, true};
                } else if (!expired) {
                    AddProgress(settledPath, pc, kMaybeTold);
                    settled[pc] = kMaybeTold;
                    waiting = true;
                    continue;
                }
            }
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
