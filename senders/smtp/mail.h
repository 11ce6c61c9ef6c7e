// A mail job as PF_SMTP sends it: read from the job files, turned into a MIME message in the
// job's character set, and handed to the mail server through libcurl.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax::senders {

struct MailAttachment {
    std::string path;       // the companion file with the bytes
    std::string name;       // UTF-8, as the mail shows it
    std::string mediaType;  // image/tiff ...
};

struct Mail {
    std::uint32_t codePage = 1252;
    std::string fileName;  // the fax's, in the code page, for the administrator's log
    std::string server;
    int port = 25;
    bool authenticate = false;
    std::string account;
    std::string password;
    std::string from;
    std::vector<std::string> to;
    std::string charset;  // what subject and body are sent in
    std::string subject;  // UTF-8; encoded in charset when the header is written
    std::string body;     // in charset, lines ending CR LF
    std::vector<MailAttachment> attachments;
};

// The mail of a job; none, with the reason, when the job cannot make one.
std::optional<Mail> ReadMailJob(const std::string &jobFile, std::string &problem);

// The media type of a job's attachment data type ("TIFF" -> image/tiff).
const char *MediaTypeOf(std::string_view dataType);

// Header text, control characters made blanks: as it is when it is plain ASCII, else RFC 2047
// encoded words in the charset, folded so that no line grows past 76 characters. used: what the
// first line holds already. None when the charset lacks a character of the text.
std::optional<std::string> EncodeHeaderText(std::string_view utf8, std::string_view charset, std::size_t used);

struct SmtpOptions {
    enum class Tls { Off, Try, Require } tls = Tls::Try;
    std::uint32_t timeoutMs = 30000;  // connecting, and each answer of the server
    std::string heloName;
    std::string caFile;     // a PEM file of certificate authorities, in place of the system's bundle
    std::string caFolder;   // a folder of them, named as openssl rehash names them
    std::string pinnedKey;  // "sha256//BASE64[;sha256//...]" or a public key file
};
SmtpOptions SmtpOptionsFromEnvironment();

struct SmtpReply {
    int code = 0;  // 0: none came (no connection, a timeout, a lost connection)
    std::string text;
};

// What one attempt came to. A mail refused as a whole failed at step, with the server's reply
// there; recipients refused at RCPT are listed on their own, whether or not the mail went to
// the others.
struct SendOutcome {
    bool sent = false;  // the server took the mail (for the recipients not refused)
    std::string step;   // where it failed: connect, EHLO, STARTTLS, AUTH, MAIL, RCPT, DATA, end of DATA
    SmtpReply reply;
    std::string error;  // libcurl's reason, or ours
    std::vector<std::pair<std::string, SmtpReply>> refused;  // recipient as given, its RCPT reply
};

// Sends the mail to recipients (the To header still names all of mail.to).
SendOutcome SendMail(const Mail &mail, const std::vector<std::string> &recipients, const SmtpOptions &options,
                     const std::atomic<bool> &stopping);

// What becomes of a recipient or a whole mail after an attempt.
enum class Verdict { Delivered, Retry, GiveUp };
// A refusal with 5xx is final; at EHLO or AUTH (an account that may be fixed) or with no code
// at all (a server that is down or hung) the mail waits for another attempt.
Verdict VerdictOf(std::string_view step, const SmtpReply &reply);
// A recipient's verdict: its own RCPT refusal when it had one, else the mail's.
Verdict RecipientVerdict(const SendOutcome &outcome, const std::string &recipient, SmtpReply &why, std::string &step);

// "RCPT 450 4.2.1 Mailbox busy", "end of DATA 554 Rejected", "connect: Timeout was reached".
std::string DescribeFailure(std::string_view step, const SmtpReply &reply, std::string_view error);

}  // namespace wbfax::senders
