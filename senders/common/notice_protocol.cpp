#include "common/notice_protocol.h"

#include "base/text.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
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

// One line without its CR LF; false on timeout, end of stream or an over-long line.
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
            // The other side may be anyone: no control character reaches a screen or a log.
            for (char &k : line)
                if (static_cast<unsigned char>(k) < 0x20 || k == 0x7F) k = ' ';
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

}  // namespace

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

NoticeResult SendNotice(const PcAddress &pc, const Notice &notice, std::uint32_t timeoutMs, const std::atomic<bool> &stopping) {
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
    if (*version != kNoticeVersion) return {kNoticeOtherVersion, Format("receiver speaks version %d", *version)};

    std::string text = Format("NOTICE %d\r\n", kNoticeVersion);
    for (const auto &[key, value] : notice) text += OneLine(key) + ": " + OneLine(value) + "\r\n";
    text += "\r\n";
    if (!WriteText(fd, text)) return {kNoticeUnreachable, "connection lost", true};
    if (!ReadLine(fd, line, timeoutMs, &stopping)) return {kNoticeUnreachable, "no answer", true};
    if (line == "OK") return {kNoticeDelivered, "delivered"};
    if (line.compare(0, 12, "ERR VERSION ") == 0) return {kNoticeOtherVersion, "receiver refused version " + std::to_string(kNoticeVersion)};
    return {kNoticeFailed, "refused: " + Printable(line)};
}

std::optional<Notice> ServeNotice(int connection, int version, std::uint32_t timeoutMs, std::string &problem) {
    if (!WriteText(connection, Format("%.*s %d\r\n", static_cast<int>(kNoticeGreeting.size()), kNoticeGreeting.data(), version))) {
        problem = "connection lost";
        return std::nullopt;
    }
    std::string line;
    if (!ReadLine(connection, line, timeoutMs, nullptr)) {
        problem = "no notice";  // a notifier of another version leaves without a word
        return std::nullopt;
    }
    const std::string request = "NOTICE ";
    if (line.compare(0, request.size(), request) != 0) {
        WriteText(connection, "ERR unknown request\r\n");
        problem = "unknown request";
        return std::nullopt;
    }
    if (ParseDecimal(line.substr(request.size())) != version) {
        WriteText(connection, Format("ERR VERSION %d\r\n", version));
        problem = "notifier speaks " + line;
        return std::nullopt;
    }
    Notice notice;
    for (;;) {
        if (!ReadLine(connection, line, timeoutMs, nullptr)) {
            problem = "notice cut short";
            return std::nullopt;
        }
        if (line.empty()) break;
        const std::size_t colon = line.find(": ");
        if (colon == std::string::npos || colon == 0 || notice.size() >= kNoticeMaxFields) {
            WriteText(connection, "ERR malformed notice\r\n");
            problem = "malformed notice";
            return std::nullopt;
        }
        notice.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    }
    WriteText(connection, "OK\r\n");
    return notice;
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
