// PF_SMTP.exe: sends the plug-in's mail jobs through the mail server each job names. Each
// recipient's outcome counts on its own: one delivered is never sent the mail again, one refused
// for now waits for the next attempt, one refused for good is given up and logged.
#include "common/job_file.h"
#include "common/notice_protocol.h"
#include "common/sender_log.h"
#include "common/sender_program.h"
#include "common/trust.h"
#include "base/text.h"
#include "base/trace.h"
#include "notification/sender.h"
#include "settings/config.h"
#include "smtp/mail.h"

#include <curl/curl.h>

using namespace wbfax;
using namespace wbfax::senders;

namespace {

constexpr int kDelivered = 250;  // a recipient's line in the job's progress file

}  // namespace

int main() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
    const SmtpOptions options = SmtpOptionsFromEnvironment();

    SenderRole program;
    program.mode = NotifyMode::Mail;
    program.name = "PF_SMTP";
    program.windowClass = kMailSenderClass;
    program.lockFile = "pfsmtp.lck";
    program.logName = kMailLogName;
    program.companions = {".001", ".002", ".rcp"};
    program.progress = ".rcp";
    program.process = [&](const ListEntry &entry, const std::atomic<bool> &stopping) {
        std::string problem;
        const std::optional<Mail> mail = ReadMailJob(entry.jobFile, problem);
        if (!mail) {
            Trace("PF_SMTP: job %04u given up: %s", entry.number, problem.c_str());
            AppendSenderLog(kMailLogName, kNoticeFailed, "-", entry.number, {}, problem, 1252);
            return Outcome::Rejected;
        }
        // Only faxes leave: a companion that is not the plug-in's copy goes nowhere.
        const std::vector<std::string> storage = StorageFolders();
        for (const MailAttachment &attachment : mail->attachments) {
            if (const std::string why = AttachmentDistrust(attachment.path, SenderDataFolder(), storage); !why.empty()) {
                Trace("PF_SMTP: job %04u refused: attachment %s: %s", entry.number, attachment.path.c_str(), why.c_str());
                AppendSenderLog(kMailLogName, kRefusedStatus, "-", entry.number, {}, "refused attachment: " + why + ": " + attachment.path, 1252);
                return Outcome::Rejected;
            }
        }
        const std::string progressPath = WithExtension(entry.jobFile, program.progress);
        const std::map<std::string, int> progress = ReadProgress(progressPath);
        bool anyDelivered = false;
        std::vector<std::string> pending;
        for (const std::string &to : mail->to) {
            const auto done = progress.find(to);
            if (done == progress.end()) pending.push_back(to);
            else anyDelivered |= done->second == kDelivered;
        }
        if (pending.empty()) return anyDelivered ? Outcome::Delivered : Outcome::Rejected;

        const SendOutcome outcome = SendMail(*mail, pending, options, stopping);
        if (stopping && !outcome.sent) return Outcome::Retry;
        // As with PC notices: a temporary failure is tried again for as long as the retention
        // period runs from the job's writing, read at each attempt.
        const int days = ReadNotifyDays();
        const bool expired = JobAgeSeconds(entry.jobFile) >= days * 86400.0;
        const std::map<std::string, std::string> record = {{"FileName", mail->fileName}};
        if (!outcome.sent)
            Trace("PF_SMTP: job %04u not sent: %s", entry.number, DescribeFailure(outcome.step, outcome.reply, outcome.error).c_str());

        int delivered = 0;
        bool waiting = false;
        bool mailLogged = false;
        for (const std::string &to : pending) {
            SmtpReply why;
            std::string step;
            const Verdict verdict = RecipientVerdict(outcome, to, why, step);
            if (verdict == Verdict::Delivered) {
                AddProgress(progressPath, to, kDelivered);
                ++delivered;
                continue;
            }
            std::string detail = DescribeFailure(step, why, outcome.error);
            const bool own = step == "RCPT";
            if (own) Trace("PF_SMTP: job %04u, recipient %s refused: %s", entry.number, to.c_str(), detail.c_str());
            if (verdict == Verdict::Retry) {
                if (!expired) {
                    waiting = true;
                    continue;
                }
                detail = Format("not sent within %d day(s): ", days) + detail;
            }
            // One log line per recipient refused on its own; one for the mail refused as a whole.
            if (own || !mailLogged) {
                Trace("PF_SMTP: job %04u given up for %s: %s", entry.number, own ? to.c_str() : "every recipient", detail.c_str());
                AppendSenderLog(kMailLogName, why.code == 0 ? kNoticeUnreachable : kNoticeFailed, own ? to : "-", entry.number,
                                record, detail, mail->codePage);
                mailLogged |= !own;
            }
            AddProgress(progressPath, to, why.code);
        }
        if (delivered > 0)
            Trace("PF_SMTP: job %04u sent to %d recipient(s) through %s:%d", entry.number, delivered, mail->server.c_str(), mail->port);
        if (waiting) return Outcome::Retry;
        return anyDelivered || delivered > 0 ? Outcome::Delivered : Outcome::Rejected;
    };
    const int status = RunSenderProgram(program);
    curl_global_cleanup();
    return status;
}
