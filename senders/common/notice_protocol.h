// The PC notice protocol between PF_SQB.exe and the receiver on each PC (docs/pc-notice-protocol.md):
// one TCP connection per notice; the receiver greets with its version, the notifier sends the
// notice as "Key: value" lines, the receiver answers OK or ERR.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wbfax::senders {

constexpr int kNoticeVersion = 1;
constexpr std::uint16_t kNoticePort = 47820;
constexpr std::string_view kNoticeGreeting = "QUILLBOX-NOTICE";
constexpr std::size_t kNoticeMaxLine = 2048;
constexpr std::size_t kNoticeMaxFields = 64;

// Status codes, as the notification log records them.
enum NoticeStatus : int {
    kNoticeDelivered = 10,
    kNoticeUnreachable = 11,
    kNoticeOtherVersion = 12,
    kNoticeFailed = 19,
};

// Key and value in UTF-8, neither holding a line end.
using Notice = std::vector<std::pair<std::string, std::string>>;

struct PcAddress {
    std::string host;
    std::uint16_t port = kNoticePort;
};
// "pc07", "192.168.1.7", "pc07:48000", "[fe80::1]:48000", "fe80::1"; none when empty or the
// port is no port.
std::optional<PcAddress> ParsePcAddress(std::string_view entry, std::uint16_t defaultPort);

struct NoticeResult {
    int status = kNoticeFailed;
    std::string detail;
    bool told = false;  // no answer, but the notice went out: the PC may have it
};

// Tells one PC. timeoutMs bounds each step (connect, greeting, answer).
NoticeResult SendNotice(const PcAddress &pc, const Notice &notice, std::uint32_t timeoutMs, const std::atomic<bool> &stopping);

// The receiver's side of one connection: greets with version, reads the notice, answers. None
// (and the reason) when no notice came in.
std::optional<Notice> ServeNotice(int connection, int version, std::uint32_t timeoutMs, std::string &problem);

// A listening TCP socket; port 0 takes a free one. -1 on failure, with the reason.
int ListenOn(const std::string &address, std::uint16_t port, std::string &problem);
// "127.0.0.1:47820" of a bound socket.
std::string LocalName(int socket);
std::string PeerName(int socket);

}  // namespace wbfax::senders
