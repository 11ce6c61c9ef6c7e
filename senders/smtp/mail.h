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
    std::uint32_t timeoutMs = 30000;
    std::string heloName;
};
SmtpOptions SmtpOptionsFromEnvironment();

// Empty when the server took the mail; else what went wrong.
std::string SendMail(const Mail &mail, const SmtpOptions &options, const std::atomic<bool> &stopping);

}  // namespace wbfax::senders
