// quillbox-notice: the PC side of the notice protocol. Listens, and prints every notice that
// arrives, one block per notice.
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
    "usage: quillbox-notice [--listen ADDRESS] [--port N] [--count N] [--timeout-ms N]\n"
    "  --listen ADDRESS  address to listen on (default: all IPv4 addresses)\n"
    "  --port N          port (default 47820; 0 takes a free one, printed at the start)\n"
    "  --count N         leave after N notices (default: run until stopped)\n"
    "  --timeout-ms N    how long one notifier may take per step (default 10000)\n"
    "  --speak-version N answer as a receiver of another protocol version (for tests)\n";

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
    long port = kNoticePort, count = 0, timeout = 10000, version = kNoticeVersion;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        long number = 0;
        bool ok = value != nullptr;
        if (ok && option == "--listen") address = value;
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
    std::signal(SIGPIPE, SIG_IGN);
    std::string problem;
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
        const std::optional<Notice> notice = ServeNotice(connection, static_cast<int>(version), static_cast<std::uint32_t>(timeout), problem);
        ::close(connection);
        if (!notice) {
            std::fprintf(stderr, "quillbox-notice: %s: %s\n", peer.c_str(), problem.c_str());
            continue;
        }
        Print(peer, *notice);
        ++received;
    }
    ::close(listener);
    return 0;
}
