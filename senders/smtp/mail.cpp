#include "smtp/mail.h"

#include "common/charset.h"
#include "common/job_file.h"
#include "base/text.h"
#include "platform/platform.h"

#include <curl/curl.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <thread>
#include <utility>
#include <unistd.h>

namespace wbfax::senders {
namespace {

std::string Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const std::size_t last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string Base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(out.data()),
                                  reinterpret_cast<const unsigned char *>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::size_t Utf8Length(unsigned char lead) { return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4; }

std::string CrLfLines(std::string_view text) {
    std::string out;
    for (const std::string &line : TextLines(text)) out += line + "\r\n";
    return out;
}

std::string MailDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[64];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S %z", &local);
    return text;
}

std::string AngleAddress(const std::string &address) {
    return !address.empty() && address.front() == '<' ? address : "<" + address + ">";
}

template <typename T, void (*Free)(T *)>
struct Deleter {
    void operator()(T *p) const { Free(p); }
};
using Easy = std::unique_ptr<CURL, Deleter<CURL, curl_easy_cleanup>>;

using Mime = std::unique_ptr<curl_mime, Deleter<curl_mime, curl_mime_free>>;
using List = std::unique_ptr<curl_slist, Deleter<curl_slist, curl_slist_free_all>>;

void Append(List &list, const std::string &line) {
    curl_slist *grown = curl_slist_append(list.get(), line.c_str());
    if (grown) {
        list.release();
        list.reset(grown);
    }
}

using Clock = std::chrono::steady_clock;

// The conversation as libcurl's trace shows it: which step we are at, the server's replies, and
// when anything last moved (the time of a step is bounded by us, in milliseconds).
struct Dialogue {
    std::atomic<Clock::rep> moved{Clock::now().time_since_epoch().count()};
    std::string step = "connect";
    std::string recipient;  // of the RCPT under way, in angle brackets
    SmtpReply reading;      // a reply of several lines, so far
    SmtpReply refusal;      // the last reply of 4xx or 5xx, and its step
    std::string refusalStep;
    std::vector<std::pair<std::string, SmtpReply>> refused;

    void Sent(std::string_view line) {
        std::size_t end = 0;
        while (end < line.size() && std::isalpha(static_cast<unsigned char>(line[end]))) ++end;
        std::string word(line.substr(0, end));
        for (char &c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        // Anything else is the continuation of AUTH (credentials), or the QUIT after a failure:
        // the step stays where it was.
        static const char *const commands[] = {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA"};
        if (std::none_of(std::begin(commands), std::end(commands), [&](const char *c) { return word == c; })) return;
        step = word;
        if (word == "RCPT") {
            const std::size_t open = line.find('<'), close = line.find('>', open);
            recipient = open == std::string_view::npos || close == std::string_view::npos
                            ? std::string()
                            : std::string(line.substr(open, close - open + 1));
        }
    }

    void Received(std::string_view line) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
        if (line.size() < 3 || !std::all_of(line.begin(), line.begin() + 3, [](char c) { return c >= '0' && c <= '9'; })) return;
        reading.code = ParseDecimal(line.substr(0, 3));
        const std::string_view text = line.size() > 4 ? line.substr(4) : std::string_view();
        if (!text.empty()) reading.text += (reading.text.empty() ? "" : " ") + std::string(text);
        if (line.size() > 3 && line[3] == '-') return;
        const SmtpReply reply = std::exchange(reading, {});
        if (reply.code >= 400) {
            refusal = reply;
            refusalStep = step;
            if (step == "RCPT") refused.emplace_back(recipient, reply);
        }
        if (step == "DATA" && reply.code == 354) step = "end of DATA";
    }
};

// Bounds each step to the millisecond and ends the attempt when the program stops: it shuts
// the connection's socket down, which libcurl notices at once, even where it waits in a loop of
// its own (the end of DATA), and after which a QUIT has nobody to wait for.
class Watchdog {
public:
    Watchdog(const Dialogue &dialogue, std::chrono::milliseconds limit, const std::atomic<bool> &stopping)
        : dialogue_(dialogue), limit_(limit), stopping_(stopping), thread_([this] { Run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        changed_.notify_one();
        thread_.join();
    }
    bool Fired() {
        std::lock_guard<std::mutex> lock(mutex_);
        return fired_;
    }

    static curl_socket_t Open(void *self, curlsocktype, curl_sockaddr *address) {
        auto &watchdog = *static_cast<Watchdog *>(self);
        std::lock_guard<std::mutex> lock(watchdog.mutex_);
        const int fd = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (fd >= 0) watchdog.sockets_.insert(fd);
        return fd >= 0 ? fd : CURL_SOCKET_BAD;
    }
    static int Close(void *self, curl_socket_t fd) {
        auto &watchdog = *static_cast<Watchdog *>(self);
        std::lock_guard<std::mutex> lock(watchdog.mutex_);
        watchdog.sockets_.erase(fd);
        return ::close(fd);
    }

private:
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!done_) {
            const auto idle = Clock::now() - Clock::time_point(Clock::duration(dialogue_.moved.load()));
            if (stopping_ || idle >= limit_) {
                fired_ = fired_ || (!stopping_ && !sockets_.empty());
                for (const int fd : sockets_) ::shutdown(fd, SHUT_RDWR);
            }
            const auto rest = idle >= limit_ ? limit_ : std::chrono::duration_cast<std::chrono::milliseconds>(limit_ - idle) +
                                                           std::chrono::milliseconds(1);
            changed_.wait_for(lock, std::min<std::chrono::milliseconds>(rest, std::chrono::milliseconds(100)));
        }
    }

    const Dialogue &dialogue_;
    const std::chrono::milliseconds limit_;
    const std::atomic<bool> &stopping_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<int> sockets_;
    bool done_ = false;
    bool fired_ = false;
    std::thread thread_;  // last: started once the rest is ready
};

int Observe(CURL *, curl_infotype type, char *data, std::size_t size, void *context) {
    Dialogue &dialogue = *static_cast<Dialogue *>(context);
    dialogue.moved = Clock::now().time_since_epoch().count();
    const std::string_view text(data, size);
    if (type == CURLINFO_HEADER_OUT || type == CURLINFO_HEADER_IN) {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size() - 1) + 1;
            const std::string_view line = text.substr(at, end - at);
            if (type == CURLINFO_HEADER_OUT) dialogue.Sent(line);
            else dialogue.Received(line);
            at = end;
        }
    }
    return 0;
}

// Subject and body in the job's character set; a text that set cannot hold goes as UTF-8
// rather than with characters lost.
bool ChooseCharset(Mail &mail, const std::string &charCode, const std::string &bodyUtf8) {
    for (const std::string &charset : {charCode, std::string("UTF-8")}) {
        if (charset.empty()) continue;
        std::optional<std::string> body = FromUtf8(bodyUtf8, charset);
        if (!body || !EncodeHeaderText(mail.subject, charset, 9)) continue;
        mail.charset = charset;
        mail.body = std::move(*body);
        return true;
    }
    return false;
}

}  // namespace

const char *MediaTypeOf(std::string_view dataType) {
    if (dataType == "TIFF") return "image/tiff";
    if (dataType == "PDF") return "application/pdf";
    if (dataType == "JPEG") return "image/jpeg";
    if (dataType == "TEXT") return "text/plain";
    return "application/octet-stream";
}

std::optional<std::string> EncodeHeaderText(std::string_view text, std::string_view charset, std::size_t used) {
    // A control character would end the header, or an ISO-2022-JP escape sequence, early.
    std::string clean(text);
    for (char &c : clean)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    const std::string_view utf8 = clean;
    if (IsAscii(utf8)) return clean;
    const std::string prefix = "=?" + std::string(charset) + "?B?";
    auto word = [&](std::string_view piece) -> std::optional<std::string> {
        std::optional<std::string> bytes = FromUtf8(piece, charset);
        if (!bytes) return std::nullopt;
        return prefix + Base64(*bytes) + "?=";
    };
    // Each word holds whole characters and, for ISO-2022-JP, returns to ASCII at its end:
    // every word is converted on its own.
    std::string out;
    std::size_t room = 76 > used ? 76 - used : 0;
    std::size_t at = 0;
    while (at < utf8.size()) {
        std::size_t end = at + Utf8Length(static_cast<unsigned char>(utf8[at]));
        std::optional<std::string> best = word(utf8.substr(at, end - at));
        if (!best) return std::nullopt;
        while (end < utf8.size()) {
            const std::size_t next = end + Utf8Length(static_cast<unsigned char>(utf8[end]));
            std::optional<std::string> longer = word(utf8.substr(at, next - at));
            if (!longer) return std::nullopt;
            if (longer->size() > room) break;
            best = std::move(longer);
            end = next;
        }
        if (!out.empty()) out += "\r\n ";
        out += *best;
        room = 75;  // a folded line starts with one blank
        at = end;
    }
    return out;
}

std::optional<Mail> ReadMailJob(const std::string &jobFile, std::string &problem) {
    const std::optional<std::string> content = ReadBytes(jobFile);
    const std::optional<JobFile> job = content ? ParseJobFile(*content) : std::nullopt;
    const JobSection *server = job ? job->Find("NT INFO") : nullptr;
    const JobSection *head = job ? job->Find("HEAD INFO") : nullptr;
    if (!server || !head) {
        problem = "not a mail job";
        return std::nullopt;
    }
    Mail mail;
    mail.server = server->Get("MailServAddr");
    mail.port = ParseDecimal(server->Get("SmtpPortNumber"));
    if (mail.port <= 0) mail.port = 25;
    mail.authenticate = server->Get("AuthFlag") == "1";
    mail.account = server->Get("AuthAccount");
    mail.password = server->Get("AuthPassword");
    mail.from = Trimmed(head->Get("FromAddr"));
    mail.to = ListEntries(head->Get("ToAddr"));
    if (mail.server.empty() || mail.from.empty() || mail.to.empty()) {
        problem = "the job names no server, sender or recipient";
        return std::nullopt;
    }
    const std::string charCode = Trimmed(head->Get("CharCode"));
    const std::uint32_t codePage = SourceCodePage(charCode);
    const std::string subject = head->Get("Subject");
    mail.subject = ToUtf8(subject, codePage);
    mail.codePage = codePage;
    // The plug-in names the fax at the end of the subject: "...(name)".
    if (const std::size_t open = subject.rfind('('); open != std::string::npos && subject.back() == ')')
        mail.fileName = subject.substr(open + 1, subject.size() - open - 2);

    // The first ATTACH INFO stands for the .001 file, the second for .002, and so on.
    std::string bodyUtf8;
    const std::vector<const JobSection *> parts = job->All("ATTACH INFO");
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::string path = CompanionPath(jobFile, static_cast<int>(i + 1));
        const std::string dataType = parts[i]->Get("DataType");
        if (dataType == "BODY") {
            const std::optional<std::string> body = ReadBytes(path);
            if (!body) {
                problem = "the mail body " + path + " cannot be read";
                return std::nullopt;
            }
            bodyUtf8 += ToUtf8(CrLfLines(*body), codePage);
            continue;
        }
        // A copy the plug-in could not make leaves a mail without it; the body names the file.
        if (!platform::FileExists(path)) continue;
        mail.attachments.push_back({path, ToUtf8(parts[i]->Get("FileName"), codePage), MediaTypeOf(dataType)});
    }
    if (!ChooseCharset(mail, charCode, bodyUtf8)) {
        problem = "the texts fit no character set";
        return std::nullopt;
    }
    return mail;
}

SmtpOptions SmtpOptionsFromEnvironment() {
    SmtpOptions options;
    const std::string tls = platform::GetEnvironment("WBFAX_SMTP_TLS").value_or("try");
    options.tls = tls == "off" ? SmtpOptions::Tls::Off : tls == "require" ? SmtpOptions::Tls::Require : SmtpOptions::Tls::Try;
    if (const std::optional<std::string> ms = platform::GetEnvironment("WBFAX_SMTP_TIMEOUT_MS"); ms && !ms->empty())
        options.timeoutMs = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::strtoul(ms->c_str(), nullptr, 10)));
    options.heloName = platform::HostName().value_or("localhost");
    options.caFile = platform::GetEnvironment("WBFAX_SMTP_CA_FILE").value_or("");
    options.caFolder = platform::GetEnvironment("WBFAX_SMTP_CA_FOLDER").value_or("");
    options.pinnedKey = platform::GetEnvironment("WBFAX_SMTP_PINNED_KEY").value_or("");
    return options;
}

Verdict VerdictOf(std::string_view step, const SmtpReply &reply) {
    const bool final = step == "MAIL" || step == "RCPT" || step == "DATA" || step == "end of DATA";
    return final && reply.code >= 500 && reply.code < 600 ? Verdict::GiveUp : Verdict::Retry;
}

Verdict RecipientVerdict(const SendOutcome &outcome, const std::string &recipient, SmtpReply &why, std::string &step) {
    for (const auto &[address, reply] : outcome.refused)
        if (address == recipient) {
            why = reply;
            step = "RCPT";
            return VerdictOf(step, reply);
        }
    if (outcome.sent) return Verdict::Delivered;
    why = outcome.reply;
    step = outcome.step;
    return VerdictOf(step, why);
}

std::string DescribeFailure(std::string_view step, const SmtpReply &reply, std::string_view error) {
    if (reply.code != 0) return std::string(step) + Format(" %d ", reply.code) + reply.text;
    return std::string(step) + ": " + std::string(error);
}

SendOutcome SendMail(const Mail &mail, const std::vector<std::string> &recipients, const SmtpOptions &options,
                     const std::atomic<bool> &stopping) {
    SendOutcome outcome;
    Easy curl(curl_easy_init());
    if (!curl) {
        outcome.error = "libcurl cannot start";
        return outcome;
    }
    CURL *c = curl.get();
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, error);

    const std::string host = mail.server.find(':') != std::string::npos && mail.server.front() != '[' ? "[" + mail.server + "]"
                                                                                                     : mail.server;
    // 465 is the port of mail over TLS from the first byte.
    const std::string url = std::string(mail.port == 465 ? "smtps://" : "smtp://") + host + ":" + std::to_string(mail.port) + "/" +
                            options.heloName;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USE_SSL, options.tls == SmtpOptions::Tls::Off       ? CURLUSESSL_NONE
                                         : options.tls == SmtpOptions::Tls::Require ? CURLUSESSL_ALL
                                                                                    : CURLUSESSL_TRY);
    if (!options.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
    if (!options.caFolder.empty()) curl_easy_setopt(c, CURLOPT_CAPATH, options.caFolder.c_str());
    if (!options.pinnedKey.empty()) {
        curl_easy_setopt(c, CURLOPT_PINNEDPUBLICKEY, options.pinnedKey.c_str());
        // A pinned key alone is the trust of a self-signed server; with a CA named, both count.
        if (options.caFile.empty() && options.caFolder.empty()) {
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
        }
    }
    if (mail.authenticate) {
        curl_easy_setopt(c, CURLOPT_USERNAME, mail.account.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, mail.password.c_str());
    }
    // Each step is timed by the watchdog, in milliseconds; libcurl's own limit, in whole seconds,
    // only backs that up.
    const long backstop = static_cast<long>(options.timeoutMs / 1000 + 2);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeoutMs));
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, backstop);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    Dialogue dialogue;
    curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Observe);
    curl_easy_setopt(c, CURLOPT_DEBUGDATA, &dialogue);

    curl_easy_setopt(c, CURLOPT_MAIL_FROM, AngleAddress(mail.from).c_str());
    List envelope;
    for (const std::string &to : recipients) Append(envelope, AngleAddress(to));
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT, envelope.get());
    // One address the server turns down must not keep the mail from the others.
#if LIBCURL_VERSION_NUM >= 0x080200
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLOWFAILS, 1L);
#else
    curl_easy_setopt(c, CURLOPT_MAIL_RCPT_ALLLOWFAILS, 1L);
#endif

    std::string toHeader;
    for (const std::string &to : mail.to) toHeader += (toHeader.empty() ? "" : ", ") + to;
    List headers;
    Append(headers, "Date: " + MailDate());
    Append(headers, "From: " + mail.from);
    Append(headers, "To: " + toHeader);
    Append(headers, "Subject: " + EncodeHeaderText(mail.subject, mail.charset, 9).value_or(""));
    Append(headers, Format("Message-ID: <%lld.%d.%u@%s>", static_cast<long long>(std::time(nullptr)), static_cast<int>(::getpid()),
                           static_cast<unsigned>(std::hash<std::string>{}(mail.subject + toHeader) & 0xFFFFFFu),
                           options.heloName.c_str()));
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());

    Mime mime(curl_mime_init(c));
    curl_mimepart *text = curl_mime_addpart(mime.get());
    curl_mime_data(text, mail.body.data(), mail.body.size());
    curl_mime_type(text, ("text/plain; charset=" + mail.charset).c_str());
    curl_mime_encoder(text, IsAscii(mail.body) ? "7bit" : "quoted-printable");
    std::vector<List> partHeaders;
    for (const MailAttachment &attachment : mail.attachments) {
        curl_mimepart *part = curl_mime_addpart(mime.get());
        if (curl_mime_filedata(part, attachment.path.c_str()) != CURLE_OK) {
            outcome.step = "attachment";
            outcome.error = "cannot read " + attachment.path;
            return outcome;
        }
        curl_mime_type(part, attachment.mediaType.c_str());
        curl_mime_encoder(part, "base64");
        if (IsAscii(attachment.name)) {
            curl_mime_filename(part, attachment.name.c_str());
        } else {
            // libcurl writes names as they are; other names go in RFC 2231 form.
            curl_mime_filename(part, nullptr);
            char *escaped = curl_easy_escape(c, attachment.name.data(), static_cast<int>(attachment.name.size()));
            List disposition;
            Append(disposition, std::string("Content-Disposition: attachment; filename*=UTF-8''") + (escaped ? escaped : ""));
            curl_free(escaped);
            curl_mime_headers(part, disposition.get(), 0);
            partHeaders.push_back(std::move(disposition));
        }
    }
    curl_easy_setopt(c, CURLOPT_MIMEPOST, mime.get());

    CURLcode result = CURLE_OK;
    bool late = false;
    {
        Watchdog watchdog(dialogue, std::chrono::milliseconds(options.timeoutMs), stopping);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &Watchdog::Open);
        curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, &watchdog);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &Watchdog::Close);
        curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &watchdog);
        result = curl_easy_perform(c);
        late = watchdog.Fired();
        curl.reset();  // the QUIT, still watched; then the lists and parts it points to may go
    }

    for (auto &refused : dialogue.refused) {
        const std::string &address = refused.first;
        const auto given = std::find_if(recipients.begin(), recipients.end(), [&](const std::string &to) { return AngleAddress(to) == address; });
        outcome.refused.emplace_back(given == recipients.end() ? address : *given, std::move(refused.second));
    }
    if (result == CURLE_OK) {
        outcome.sent = true;
        return outcome;
    }
    outcome.step = dialogue.step;
    if (dialogue.refusalStep == dialogue.step) outcome.reply = dialogue.refusal;
    if (stopping) outcome.error = "stopped";
    else if (late) outcome.error = Format("no answer within %u ms", options.timeoutMs);
    else outcome.error = std::string(curl_easy_strerror(result)) + (error[0] ? std::string(": ") + error : std::string());
    return outcome;
}

}  // namespace wbfax::senders
