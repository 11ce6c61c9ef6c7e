// quillbox-notice: the PC side of the notice protocol. Listens, and prints every notice that
// arrives, one block per notice, and one line for each notice it turns away. It only shows:
// a notice names a file, and whoever can reach the port could name any file.
#include "common/notice_protocol.h"
#include "base/text.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using namespace wbfax;
using namespace wbfax::senders;

namespace {

const char kUsage[] =
    "usage: quillbox-notice --key FILE [--allow-version-1] [--listen ADDRESS] [--port N] [--count N]\n"
    "                       [--timeout-ms N]\n"
    "Prints each notice of a fax that arrived on the fax server. It only shows the notice: it\n"
    "never opens, runs or fetches the file a notice names.\n"
    "  --key FILE         the key shared with the fax server (default: $WBFAX_NOTICE_KEY); notices\n"
    "                     not signed with it are refused\n"
    "  --allow-version-1  also take unsigned notices of older fax servers (anyone on the network\n"
    "                     can forge those)\n"
    "  --listen ADDRESS   address to listen on (default: all IPv4 addresses)\n"
    "  --port N           port (default 47820; 0 takes a free one, printed at the start)\n"
    "  --count N          leave after N notices (default: run until stopped)\n"
    "  --timeout-ms N     how long one notifier may take per step (default 10000)\n"
    "  --speak-version N  greet as a receiver of another protocol version (for tests)\n";

bool Number(const char *text, long &value) {
    char *end = nullptr;
    value = std::strtol(text, &end, 10);
    return *text && *end == '\0' && value >= 0;
}

const char *TypeName(const std::string &type) {
    if (type == "0") return "sent document";
    if (type == "2") return "communication report";
    return "received fax";
}

void Print(const std::string &peer, const Notice &notice) {
    std::string job, message;
    for (const auto &[key, value] : notice) {
        if (key == "Job") job = value;
        if (key == "Message") message = value;
    }
    std::printf("notice%s%s from %s\n", job.empty() ? "" : " of job ", job.c_str(), peer.c_str());
    if (!message.empty()) std::printf("  %s\n", message.c_str());
    for (const auto &[key, value] : notice) {
        if (key == "Job" || key == "Message") continue;
        std::printf("  %-11s %s%s\n", (key + ":").c_str(), value.c_str(), key == "Type" ? (std::string(" (") + TypeName(value) + ")").c_str() : "");
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    std::string address = "0.0.0.0";
    long port = kNoticePort, count = 0, timeout = 10000, version = 0;
    const char *fromEnvironment = std::getenv("WBFAX_NOTICE_KEY");
    std::string keyFile = fromEnvironment ? fromEnvironment : "";
    NoticeGuard guard;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--allow-version-1") {
            guard.allowUnsigned = true;
            continue;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        bool ok = value != nullptr;
        if (ok && option == "--listen") address = value;
        else if (ok && option == "--key") keyFile = value;
        else if (ok && option == "--port" && (ok = Number(value, number) && number <= 65535)) port = number;
        else if (ok && option == "--count" && (ok = Number(value, number))) count = number;
        else if (ok && option == "--timeout-ms" && (ok = Number(value, number) && number > 0)) timeout = number;
        else if (ok && option == "--speak-version" && (ok = Number(value, number) && number > 0)) version = number;
        else ok = false;
        if (!ok) {
            std::fprintf(stderr, "quillbox-notice: bad option %s\n%s", option.c_str(), kUsage);
            return 2;
        }
        ++i;
    }
    std::string problem;
    if (keyFile.empty()) {
        std::fprintf(stderr, "quillbox-notice: no key: give --key FILE (or WBFAX_NOTICE_KEY)\n%s", kUsage);
        return 2;
    }
    const std::optional<std::string> key = ReadNoticeKey(keyFile, problem);
    if (!key) {
        std::fprintf(stderr, "quillbox-notice: cannot use the key %s\n", problem.c_str());
        return 1;
    }
    guard.key = *key;
    if (version == 0) version = guard.allowUnsigned ? kUnsignedNoticeVersion : kNoticeVersion;
    std::signal(SIGPIPE, SIG_IGN);
    const int listener = ListenOn(address, static_cast<std::uint16_t>(port), problem);
    if (listener < 0) {
        std::fprintf(stderr, "quillbox-notice: cannot listen on %s port %ld: %s\n", address.c_str(), port, problem.c_str());
        return 1;
    }
    std::printf("listening on %s\n", LocalName(listener).c_str());
    std::fflush(stdout);
    for (long received = 0; count == 0 || received < count;) {
        const int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) continue;
        const std::string peer = PeerName(connection);
        const NoticeVerdict verdict = ServeNotice(connection, guard, static_cast<int>(version), static_cast<std::uint32_t>(timeout));
        ::close(connection);
        if (verdict.refused) {
            std::printf("refused a notice from %s: %s (%s)\n", peer.c_str(), verdict.problem.c_str(), verdict.answer.c_str());
            std::fflush(stdout);
            continue;
        }
        if (!verdict.notice) {
            std::fprintf(stderr, "quillbox-notice: %s: %s\n", peer.c_str(), verdict.problem.c_str());
            continue;
        }
        Print(peer, *verdict.notice);
        ++received;
    }
    ::close(listener);
    return 0;
}
