// The PC notice protocol between PF_SQB.exe and the receiver on each PC (docs/pc-notice-protocol.md):
// one TCP connection per notice; the receiver greets with its version, the notifier sends the
// notice as "Key: value" lines, signed with a key both sides share, the receiver answers OK or ERR.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wbfax::senders {

constexpr int kNoticeVersion = 2;
constexpr int kUnsignedNoticeVersion = 1;  // taken only where the receiver's administrator allows it
constexpr std::int64_t kNoticeMaxSkewSeconds = 300;
constexpr std::size_t kNoticeMinKeyBytes = 16;
constexpr std::size_t kNoticeMaxKeyBytes = 4096;
constexpr std::size_t kNoticeMaxNonces = 100000;
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

// The shared key: every byte of the key file. None, with the reason, when it cannot be read or
// is shorter than kNoticeMinKeyBytes.
std::optional<std::string> ReadNoticeKey(const std::string &path, std::string &problem);

// HMAC-SHA256 of the bytes under the key, as 64 lowercase hex digits.
std::string NoticeMac(std::string_view key, std::string_view bytes);

// The lines a notifier sends, without line ends: "NOTICE 2", the notice, Time, Nonce, and the MAC
// over all lines before it, each taken with CR LF.
std::vector<std::string> SignedNoticeLines(const Notice &notice, std::string_view key, std::int64_t time, std::string_view nonce);

// Tells one PC, signing the notice with the key. timeoutMs bounds each step (connect, greeting,
// answer).
NoticeResult SendNotice(const PcAddress &pc, const Notice &notice, std::string_view key, std::uint32_t timeoutMs,
                        const std::atomic<bool> &stopping);

// What a receiver accepts: notices signed with its key, version 1 only when allowed, and each
// nonce once while its time is within reach.
struct NoticeGuard {
    std::string key;
    bool allowUnsigned = false;
    std::map<std::string, std::int64_t> seen;  // nonce -> the time its notice carried
};

struct NoticeVerdict {
    std::optional<Notice> notice;  // taken: the notice without Time, Nonce and MAC, control characters made blanks
    std::string answer;            // "OK" or the ERR line
    std::string problem;           // why it was not taken
    bool refused = false;          // a request that came whole and was turned away (forged, stale, replayed, unsigned, malformed)
};

// Judges one notice: its lines from "NOTICE n" up to (not including) the empty line, as they
// arrived, without line ends. now: the receiver's clock, seconds since 1970.
NoticeVerdict CheckNotice(const std::vector<std::string> &lines, NoticeGuard &guard, std::int64_t now);

// The receiver's side of one connection: greets (version 1 when unsigned notices are allowed, so
// that old notifiers talk to it, else 2), reads the notice, answers. The verdict's notice is none
// when nothing was taken.
NoticeVerdict ServeNotice(int connection, NoticeGuard &guard, int greeting, std::uint32_t timeoutMs);

// A listening TCP socket; port 0 takes a free one. -1 on failure, with the reason.
int ListenOn(const std::string &address, std::uint16_t port, std::string &problem);
// "127.0.0.1:47820" of a bound socket.
std::string LocalName(int socket);
std::string PeerName(int socket);

}  // namespace wbfax::senders
