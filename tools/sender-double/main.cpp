// Stands in for the two sender programs in tests and the demo: publishes its window in the
// status block as a sender does, and records every job message with the job list it sees.
// Started by the module as PF_SMTP.exe or PF_SQB.exe (the name decides the role), it is
// steered by the environment:
//   WBFAX_SENDER_LOG       file to append the record to (required)
//   WBFAX_SENDER_DELAY_MS  wait this long before publishing the window (default 0)
//   WBFAX_SENDER_HIDE      "1": never publish the window
//   WBFAX_SENDER_LINGER_MS quit after this long without a message (default 3000)
#include "notification/sender.h"
#include "platform/platform.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

using namespace wbfax;

namespace {

std::string logPath;
NotifyMode mode = NotifyMode::Mail;
std::string dataFolder;
bool received = false;

void Record(const std::string &text) { platform::AppendToFile(logPath, text); }

std::string JobListText() {
    std::ifstream in(platform::NativePath(dataFolder + "\\" + JobListName(mode)), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::intptr_t Procedure(platform::WindowHandle, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    if (message != kJobMessage) return 0;
    received = true;
    Record("message " + std::to_string(wParam) + "\n" + JobListText() + "end\n");
    return 1;
}

std::uint32_t Number(const char *name, std::uint32_t fallback) {
    const char *text = std::getenv(name);
    return text && *text ? static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

}  // namespace

int main(int, char **argv) {
    const char *log = std::getenv("WBFAX_SENDER_LOG");
    if (!log || !*log) {
        std::fprintf(stderr, "sender-double: WBFAX_SENDER_LOG is not set\n");
        return 2;
    }
    logPath = log;
    // The program's own name, not its folder's, says which sender it plays.
    const std::string self = argv[0];
    mode = self.find("SQB", self.find_last_of("/\\") + 1) != std::string::npos ? NotifyMode::Pc : NotifyMode::Mail;

    platform::SharedView block = platform::SharedView::Map(
        platform::CreateSharedMemory(StatusBlockName(mode), kStatusBlockSize), kStatusBlockSize);
    if (!block) {
        Record("no status block\n");
        return 1;
    }
    dataFolder = reinterpret_cast<const char *>(block.data() + kDataFolderPath);
    Record(std::string("started ") + (mode == NotifyMode::Mail ? "mail" : "pc") + "\n");

    const platform::WindowHandle window =
        platform::CreateMessageWindow(mode == NotifyMode::Mail ? kMailSenderClass : "QVPCFAXSQB", &Procedure);
    if (!window) {
        Record("no window\n");
        return 1;
    }
    platform::SleepMilliseconds(Number("WBFAX_SENDER_DELAY_MS", 0));
    if (Number("WBFAX_SENDER_HIDE", 0) != 1) {
        WriteField(block.data(), kSenderRunning, 1);
        WriteField(block.data(), kSenderWindow, static_cast<std::uint32_t>(window));
        Record("published\n");
    }
    const std::uint32_t linger = Number("WBFAX_SENDER_LINGER_MS", 3000);
    for (std::uint32_t idle = 0; idle < linger; idle += 50) {
        received = false;
        platform::ProcessMessages(50);
        if (received) idle = 0;
    }
    // A program started after this one may have taken the block over: leave its window alone.
    if (ReadField(block.data(), kSenderWindow) == static_cast<std::uint32_t>(window)) {
        WriteField(block.data(), kSenderRunning, 0);
        WriteField(block.data(), kSenderWindow, 0);
    }
    platform::DiscardWindow(window);
    Record("stopped\n");
    return 0;
}
