#include "common/notice_protocol.h"

#include "base/text.h"
#include "common/job_file.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace wbfax::senders {
namespace {

using Clock = std::chrono::steady_clock;

class Socket {
public:
    explicit Socket(int fd = -1) : fd_(fd) {}
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// Waits for the socket in slices, so that a stop request ends the wait early.
bool WaitFor(int fd, short events, std::uint32_t timeoutMs, const std::atomic<bool> *stopping) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (stopping && *stopping) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 200)));
        if (n > 0) return true;
        if (n < 0 && errno != EINTR) return false;
    }
}

// The other side may be anyone: no control character reaches a screen or a log.
std::string Blanked(std::string text) {
    for (char &k : text)
        if (static_cast<unsigned char>(k) < 0x20 || k == 0x7F) k = ' ';
    return text;
}

// One line without its CR LF, as it came (a signature covers the very bytes); false on
// timeout, end of stream or an over-long line.
bool ReadLine(int fd, std::string &line, std::uint32_t timeoutMs, const std::atomic<bool> *stopping) {
    line.clear();
    for (;;) {
        if (!WaitFor(fd, POLLIN, timeoutMs, stopping)) return false;
        char c;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() >= kNoticeMaxLine) return false;
        line += c;
    }
}

bool WriteText(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(fd, POLLOUT, 10000, nullptr)) return false;
            continue;
        }
        if (n <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char &c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

// The version a greeting announces; none when it is no greeting of ours.
std::optional<int> GreetingVersion(const std::string &line) {
    if (line.compare(0, kNoticeGreeting.size(), kNoticeGreeting) != 0) return std::nullopt;
    const std::string rest = line.substr(kNoticeGreeting.size());
    if (rest.size() < 2 || rest[0] != ' ' || rest.find_first_not_of("0123456789", 1) != std::string::npos) return std::nullopt;
    return ParseDecimal(rest.substr(1));
}

std::string Printable(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 40)) out += (c >= 0x20 && c < 0x7F && c != ',') ? c : '?';
    return out;
}

int ConnectWithin(const addrinfo &address, std::uint32_t timeoutMs, const std::atomic<bool> &stopping, int &error) {
    Socket s(::socket(address.ai_family, address.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, address.ai_protocol));
    if (s.fd() < 0) {
        error = errno;
        return -1;
    }
    if (::connect(s.fd(), address.ai_addr, address.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            error = errno;
            return -1;
        }
        if (!WaitFor(s.fd(), POLLOUT, timeoutMs, &stopping)) {
            error = ETIMEDOUT;
            return -1;
        }
        socklen_t size = sizeof error;
        if (::getsockopt(s.fd(), SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) return -1;
    }
    return s.Release();
}

std::string SocketName(const sockaddr_storage &address) {
    char host[INET6_ADDRSTRLEN] = "?";
    std::uint16_t port = 0;
    if (address.ss_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(&address);
        ::inet_ntop(AF_INET, &v4->sin_addr, host, sizeof host);
        port = ntohs(v4->sin_port);
        return Format("%s:%u", host, port);
    }
    const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(&address);
    ::inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host);
    return Format("[%s]:%u", host, ntohs(v6->sin6_port));
}

bool IsHex(std::string_view text) { return text.find_first_not_of("0123456789abcdef") == std::string_view::npos; }

std::string Hex(const unsigned char *bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}

NoticeVerdict Refuse(const char *answer, std::string problem) {
    NoticeVerdict v;
    v.answer = answer;
    v.problem = std::move(problem);
    v.refused = true;
    return v;
}

NoticeVerdict Malformed(std::string problem) { return Refuse("ERR malformed notice", std::move(problem)); }

// The value of the one field of that name; none when it is missing or there twice.
std::optional<std::string> OnlyField(const Notice &fields, std::string_view key, bool &twice) {
    std::optional<std::string> found;
    for (const auto &[k, v] : fields) {
        if (k != key) continue;
        if (found) twice = true;
        found = v;
    }
    return found;
}

}  // namespace

std::optional<std::string> ReadNoticeKey(const std::string &path, std::string &problem) {
    std::optional<std::string> key = ReadBytes(path, kNoticeMaxKeyBytes + 1);
    if (!key) problem = path + ": " + std::strerror(errno);
    else if (key->size() > kNoticeMaxKeyBytes) problem = path + ": longer than " + std::to_string(kNoticeMaxKeyBytes) + " bytes";
    else if (key->size() < kNoticeMinKeyBytes) problem = path + ": shorter than " + std::to_string(kNoticeMinKeyBytes) + " bytes";
    else return key;
    return std::nullopt;
}

std::string NoticeMac(std::string_view key, std::string_view bytes) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!::HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), reinterpret_cast<const unsigned char *>(bytes.data()),
                bytes.size(), mac, &size))
        return {};
    return Hex(mac, size);
}

std::vector<std::string> SignedNoticeLines(const Notice &notice, std::string_view key, std::int64_t time, std::string_view nonce) {
    std::vector<std::string> lines{Format("NOTICE %d", kNoticeVersion)};
    for (const auto &[k, v] : notice) lines.push_back(OneLine(k) + ": " + OneLine(v));
    lines.push_back("Time: " + std::to_string(time));
    lines.push_back("Nonce: " + std::string(nonce));
    std::string signedText;
    for (const std::string &line : lines) signedText += line + "\r\n";
    lines.push_back("MAC: " + NoticeMac(key, signedText));
    return lines;
}

NoticeVerdict CheckNotice(const std::vector<std::string> &lines, NoticeGuard &guard, std::int64_t now) {
    const std::string request = "NOTICE ";
    if (lines.empty() || lines[0].compare(0, request.size(), request) != 0 ||
        lines[0].find_first_not_of("0123456789", request.size()) != std::string::npos || lines[0].size() == request.size()) {
        NoticeVerdict v = Malformed("unknown request");
        v.answer = "ERR unknown request";
        return v;
    }
    const std::string number = lines[0].substr(request.size());
    // Written one way only: "NOTICE 01" is no version 1.
    const int version = number.size() > 4 || (number.size() > 1 && number[0] == '0') ? -1 : ParseDecimal(number);
    if (version != kNoticeVersion && !(version == kUnsignedNoticeVersion && guard.allowUnsigned))
        return Refuse("ERR VERSION 2",
                      version == kUnsignedNoticeVersion ? "unsigned notice (version 1)" : "notifier speaks " + Blanked(lines[0]));
    if (lines.size() > kNoticeMaxFields + 1) return Malformed("more than " + std::to_string(kNoticeMaxFields) + " fields");
    Notice fields;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::size_t colon = lines[i].find(": ");
        if (colon == std::string::npos || colon == 0) return Malformed("malformed line");
        fields.emplace_back(lines[i].substr(0, colon), lines[i].substr(colon + 2));
    }
    NoticeVerdict verdict;
    if (version == kNoticeVersion) {
        // The MAC first: who does not hold the key learns nothing about clocks or nonces.
        bool twice = false;
        const std::optional<std::string> mac = OnlyField(fields, "MAC", twice);
        if (!mac) return Refuse("ERR MAC MISSING", "no MAC");
        if (twice || fields.back().first != "MAC") return Refuse("ERR MAC BAD", "MAC not the last line");
        std::string signedText;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i) signedText += lines[i] + "\r\n";
        const std::string expected = NoticeMac(guard.key, signedText);
        if (mac->size() != expected.size() || expected.empty() || CRYPTO_memcmp(mac->data(), expected.data(), expected.size()) != 0)
            return Refuse("ERR MAC BAD", "bad MAC");
        const std::optional<std::string> time = OnlyField(fields, "Time", twice);
        const std::optional<std::string> nonce = OnlyField(fields, "Nonce", twice);
        if (twice || !time || !nonce) return Malformed("Time or Nonce missing or repeated");
        if (time->empty() || time->size() > 12 || time->find_first_not_of("0123456789") != std::string::npos)
            return Refuse("ERR TIME", "unreadable time");
        const std::int64_t sent = std::stoll(*time);
        if (sent < now - kNoticeMaxSkewSeconds || sent > now + kNoticeMaxSkewSeconds)
            return Refuse("ERR TIME", Format("time %lld s away from ours", static_cast<long long>(sent - now)));
        if (nonce->size() < 16 || nonce->size() > 64 || !IsHex(*nonce)) return Malformed("unreadable nonce");
        // A nonce is kept for as long as its notice's time could still be taken.
        for (auto it = guard.seen.begin(); it != guard.seen.end();)
            it = it->second < now - kNoticeMaxSkewSeconds ? guard.seen.erase(it) : std::next(it);
        if (guard.seen.count(*nonce)) return Refuse("ERR REPLAY", "nonce seen before: a replayed notice");
        if (guard.seen.size() >= kNoticeMaxNonces) return Refuse("ERR BUSY", "too many notices within the time window");
        guard.seen.emplace(*nonce, sent);
    }
    // What only the protocol needs is not shown, also where an unsigned notice carries it.
    fields.erase(std::remove_if(fields.begin(), fields.end(),
                                [](const auto &f) { return f.first == "Time" || f.first == "Nonce" || f.first == "MAC"; }),
                 fields.end());
    for (auto &[k, v] : fields) {
        k = Blanked(std::move(k));
        v = Blanked(std::move(v));
    }
    verdict.notice = std::move(fields);
    verdict.answer = "OK";
    return verdict;
}

std::optional<PcAddress> ParsePcAddress(std::string_view entry, std::uint16_t defaultPort) {
    while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
    while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
    if (entry.empty()) return std::nullopt;
    PcAddress pc;
    pc.port = defaultPort;
    std::string_view port;
    if (entry.front() == '[') {
        const std::size_t close = entry.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        pc.host = std::string(entry.substr(1, close - 1));
        const std::string_view rest = entry.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return std::nullopt;
            port = rest.substr(1);
        }
    } else if (const std::size_t colon = entry.find(':'); colon != std::string_view::npos && entry.find(':', colon + 1) == std::string_view::npos) {
        pc.host = std::string(entry.substr(0, colon));
        port = entry.substr(colon + 1);
    } else {
        pc.host = std::string(entry);  // a name, an IPv4 address or a bare IPv6 address
    }
    if (!port.empty() || (entry.back() == ':')) {
        if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
        const std::int32_t number = ParseDecimal(port);
        if (number < 1 || number > 65535) return std::nullopt;
        pc.port = static_cast<std::uint16_t>(number);
    }
    if (pc.host.empty()) return std::nullopt;
    return pc;
}

NoticeResult SendNotice(const PcAddress &pc, const Notice &notice, std::string_view key, std::uint32_t timeoutMs,
                        const std::atomic<bool> &stopping) {
    unsigned char random[16];
    if (::RAND_bytes(random, sizeof random) != 1) return {kNoticeFailed, "no random bytes for a nonce"};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int lookup = ::getaddrinfo(pc.host.c_str(), std::to_string(pc.port).c_str(), &hints, &found);
    if (lookup != 0) return {kNoticeUnreachable, std::string("unknown PC: ") + ::gai_strerror(lookup)};
    int error = 0;
    int fd = -1;
    for (const addrinfo *a = found; a && fd < 0 && !stopping; a = a->ai_next) fd = ConnectWithin(*a, timeoutMs, stopping, error);
    ::freeaddrinfo(found);
    if (fd < 0) return {kNoticeUnreachable, stopping ? "stopped" : std::strerror(error)};
    Socket s(fd);

    // The receiver speaks first; a PC whose receiver does not answer counts as not reached.
    std::string line;
    if (!ReadLine(fd, line, timeoutMs, &stopping)) return {kNoticeUnreachable, "no greeting"};
    const std::optional<int> version = GreetingVersion(line);
    if (!version) return {kNoticeFailed, "not a notice receiver: " + Printable(line)};
    // A receiver that greets with 1 still takes old notifiers; we sign whatever it greets with.
    if (*version != kNoticeVersion && *version != kUnsignedNoticeVersion)
        return {kNoticeOtherVersion, Format("receiver speaks version %d", *version)};

    std::string text;
    for (const std::string &l : SignedNoticeLines(notice, key, static_cast<std::int64_t>(::time(nullptr)), Hex(random, sizeof random)))
        text += l + "\r\n";
    text += "\r\n";
    if (!WriteText(fd, text)) return {kNoticeUnreachable, "connection lost", true};
    if (!ReadLine(fd, line, timeoutMs, &stopping)) return {kNoticeUnreachable, "no answer", true};
    line = Blanked(line);
    if (line == "OK") return {kNoticeDelivered, "delivered"};
    if (line.compare(0, 12, "ERR VERSION ") == 0) return {kNoticeOtherVersion, "receiver refused version " + std::to_string(kNoticeVersion)};
    return {kNoticeFailed, "refused: " + Printable(line)};
}

NoticeVerdict ServeNotice(int connection, NoticeGuard &guard, int greeting, std::uint32_t timeoutMs) {
    NoticeVerdict verdict;
    if (!WriteText(connection, Format("%.*s %d\r\n", static_cast<int>(kNoticeGreeting.size()), kNoticeGreeting.data(), greeting))) {
        verdict.problem = "connection lost";
        return verdict;
    }
    std::vector<std::string> lines;
    std::string line;
    for (;;) {
        if (!ReadLine(connection, line, timeoutMs, nullptr)) {
            // A notifier of another version leaves without a word.
            verdict.problem = lines.empty() ? "no notice" : "notice cut short";
            return verdict;
        }
        if (line.empty()) break;
        lines.push_back(line);
        // An unknown request is answered at once; an endless one is cut off.
        if ((lines.size() == 1 && line.compare(0, 7, "NOTICE ") != 0) || lines.size() > kNoticeMaxFields + 1) break;
    }
    verdict = CheckNotice(lines, guard, static_cast<std::int64_t>(::time(nullptr)));
    WriteText(connection, verdict.answer + "\r\n");
    return verdict;
}

int ListenOn(const std::string &address, std::uint16_t port, std::string &problem) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICHOST;
    addrinfo *found = nullptr;
    const int lookup = ::getaddrinfo(address.empty() ? nullptr : address.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (lookup != 0) {
        problem = ::gai_strerror(lookup);
        return -1;
    }
    Socket s(::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol));
    const int yes = 1;
    if (s.fd() >= 0) ::setsockopt(s.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    const bool ok = s.fd() >= 0 && ::bind(s.fd(), found->ai_addr, found->ai_addrlen) == 0 && ::listen(s.fd(), 16) == 0;
    const int error = errno;
    ::freeaddrinfo(found);
    if (!ok) {
        problem = std::strerror(error);
        return -1;
    }
    return s.Release();
}

std::string LocalName(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &size) != 0) return "?";
    return SocketName(address);
}

std::string PeerName(int socket) {
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    if (::getpeername(socket, reinterpret_cast<sockaddr *>(&address), &size) != 0) return "?";
    return SocketName(address);
}

}  // namespace wbfax::senders
