// PF_SMTP.exe: sends the plug-in's mail jobs through the mail server each job names.
#include "common/job_file.h"
#include "common/sender_log.h"
#include "common/sender_program.h"
#include "common/trust.h"
#include "base/trace.h"
#include "notification/sender.h"
#include "settings/config.h"
#include "smtp/mail.h"

#include <curl/curl.h>

using namespace wbfax;
using namespace wbfax::senders;

int main() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return 1;
    const SmtpOptions options = SmtpOptionsFromEnvironment();

    SenderRole program;
    program.mode = NotifyMode::Mail;
    program.name = "PF_SMTP";
    program.windowClass = kMailSenderClass;
    program.lockFile = "pfsmtp.lck";
    program.logName = kMailLogName;
    program.companions = {".001", ".002"};
    program.process = [&](const ListEntry &entry, const std::atomic<bool> &stopping) {
        std::string problem;
        const std::optional<Mail> mail = ReadMailJob(entry.jobFile, problem);
        if (!mail) {
            Trace("PF_SMTP: job %04u given up: %s", entry.number, problem.c_str());
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
        const std::string error = SendMail(*mail, options, stopping);
        if (!error.empty()) {
            // As with PC notices: tried again for as long as the retention period runs from the
            // job's writing, read at each attempt.
            const int days = ReadNotifyDays();
            if (!stopping && JobAgeSeconds(entry.jobFile) >= days * 86400.0) {
                Trace("PF_SMTP: job %04u given up, not sent within %d day(s): %s", entry.number, days, error.c_str());
                return Outcome::Rejected;
            }
            Trace("PF_SMTP: job %04u not sent: %s", entry.number, error.c_str());
            return Outcome::Retry;
        }
        Trace("PF_SMTP: job %04u sent to %zu recipient(s) through %s:%d", entry.number, mail->to.size(), mail->server.c_str(),
              mail->port);
        return Outcome::Delivered;
    };
    const int status = RunSenderProgram(program);
    curl_global_cleanup();
    return status;
}
