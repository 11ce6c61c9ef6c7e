#include "notification/sender.h"

#include "base/services.h"
#include "base/text.h"
#include "base/trace.h"
#include "settings/access.h"
#include "settings/config.h"

#include <cstring>
#include <vector>

namespace wbfax {
namespace {

struct SenderState {
    platform::SharedMemoryHandle blocks[2] = {0, 0};
    bool senderStartedHere = false;
    platform::WindowHandle notifierWindow = 0;
};

SenderState &State() {
    static SenderState state;
    return state;
}

constexpr int kPolls = 10;
constexpr std::uint32_t kPollInterval = 100;

bool StatusIs(const std::uint8_t *block, const char *text) {
    return std::memcmp(block + kStatusText, text, std::strlen(text)) == 0;
}

void SetStatus(std::uint8_t *block, const char *text) { std::memcpy(block + kStatusText, text, std::strlen(text) + 1); }

platform::WindowHandle FindMailSender() { return platform::FindWindowOfClass(kMailSenderClass); }

}  // namespace

const char *StatusBlockName(NotifyMode mode) { return mode == NotifyMode::Mail ? "QvScannerPcFaxSmtp" : "QvFaxReceiveHdlSQB"; }
const char *JobListName(NotifyMode mode) { return mode == NotifyMode::Mail ? "pfsmtp_job.pfs" : "pfsqb_job.pfs"; }
const char *SenderProgram(NotifyMode mode) { return mode == NotifyMode::Mail ? "\\PF_SMTP.exe" : "\\PF_SQB.exe"; }
std::string JobListPath(NotifyMode mode) { return DataFolder() + "\\" + JobListName(mode); }

std::uint32_t ReadField(const std::uint8_t *block, StatusBlockField field) {
    const std::uint8_t *p = block + field;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
           static_cast<std::uint32_t>(p[3]) << 24;
}

void WriteField(std::uint8_t *block, StatusBlockField field, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) block[field + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

platform::SharedMemoryHandle StatusBlock(NotifyMode mode) {
    platform::SharedMemoryHandle &handle = State().blocks[mode == NotifyMode::Mail ? 1 : 0];
    if (!handle) handle = platform::CreateSharedMemory(StatusBlockName(mode), kStatusBlockSize);
    return handle;
}

void SetNotifierWindow(platform::WindowHandle window) { State().notifierWindow = window; }

void ResetSenderState() { State() = SenderState{}; }

void PrepareStatusBlock(NotifyMode mode) {
    platform::SharedView view = platform::SharedView::Map(StatusBlock(mode), kStatusBlockSize);
    if (!view) return;
    std::uint8_t *block = view.data();
    if (!StatusIs(block, "COMMUNICATE")) {
        SetStatus(block, "CONFSET");
        if (!State().senderStartedHere) {
            const platform::WindowHandle sender = mode == NotifyMode::Mail ? FindMailSender() : 0;
            WriteField(block, kSenderRunning, sender ? 1 : 0);
            WriteField(block, kSenderWindow, static_cast<std::uint32_t>(sender));
            if (!sender) CompactJobList(mode);
        }
    }
    const std::string folder = platform::NativePath(DataFolder());  // read by other programs
    const std::size_t n = std::min<std::size_t>(folder.size(), 259);
    std::memcpy(block + kDataFolderPath, folder.data(), n);
    block[kDataFolderPath + n] = '\0';
    WriteField(block, kNotifierPresent, 1);
    WriteField(block, kNotifierWindow, static_cast<std::uint32_t>(State().notifierWindow));
}

void CloseStatusBlock() {
    const NotifyMode mode = ReadUseSmtp() == 1 ? NotifyMode::Mail : NotifyMode::Pc;
    platform::SharedView view = platform::SharedView::Map(StatusBlock(mode), kStatusBlockSize);
    if (!view) return;
    std::uint8_t *block = view.data();
    if (State().senderStartedHere) {
        if (StatusIs(block, "CONFSET")) SetStatus(block, "COMMUNICATE");
        State().senderStartedHere = false;
    }
    WriteField(block, kNotifierPresent, 0);
    WriteField(block, kNotifierWindow, 0);
}

int RegisterJob(std::uint32_t jobNumber, const std::string &jobFile, NotifyMode mode) {
    const std::string list = JobListPath(mode);
    const platform::FolderLock lock(DataFolder());
    bool created = false;
    if (OsVersionClass() > 1) {
        // Sender programs run under other accounts: a new list is open to everyone.
        if (!platform::CreateFileWithOpenAccess(list, platform::Disposition::OpenExisting))
            created = platform::CreateFileWithOpenAccess(list, platform::Disposition::CreateNew);
    }
    if (!platform::AppendLines(list, Format("JOB_ID=%04u\nINFO_FNAME=%s\n\n", jobNumber, jobFile.c_str()))) {
        TraceSystemError("writing the job list", list);
        if (created) platform::RemoveFile(list);  // no empty list for a job that is not in it
        return 0;
    }
    return 1;
}

void CompactJobList(NotifyMode mode) {
    const std::string list = JobListPath(mode);
    const platform::FolderLock lock(DataFolder());
    std::string kept;
    std::size_t dropped = 0;
    {
        platform::Stream in = platform::Stream::Open(list, "rt");
        if (!in) return;
        char piece[520];
        while (in.ReadLine(piece, sizeof piece)) {
            if (piece[0] == '*') ++dropped;
            else kept += piece;
        }
    }
    if (dropped == 0) return;
    std::string bytes;
    bytes.reserve(kept.size() + kept.size() / 16);
    for (const char c : kept) {
        if (c == '\n') bytes += '\r';
        bytes += c;
    }
    // Whole or not at all: a list cut short would lose the jobs still waiting in it.
    if (!platform::ReplaceFileContent(list, bytes, false)) TraceSystemError("rewriting the job list", list);
}

int StartOrSignalSender(std::uint32_t jobNumber, const std::string &jobFile, NotifyMode mode) {
    const std::string program = ReadConfigFolder().value_or("") + SenderProgram(mode);
    PrepareStatusBlock(mode);
    if (!RegisterJob(jobNumber, jobFile, mode)) {
        Trace(" .....can not start PF_SMTP.exe....");
        return 0;
    }
    const platform::WindowHandle mailWindow = mode == NotifyMode::Mail ? FindMailSender() : 0;
    platform::SharedView view = platform::SharedView::Map(StatusBlock(mode), kStatusBlockSize);
    if (!view) return 1;  // the job waits in the list
    std::uint8_t *block = view.data();

    // A sender that was killed leaves its marks in the block; a window that no longer exists
    // is started afresh rather than sent a message nobody takes.
    const std::uint32_t senderWindow = ReadField(block, kSenderWindow);
    const bool reachable = mode == NotifyMode::Mail ? mailWindow != 0 : platform::WindowExists(senderWindow);
    if (ReadField(block, kSenderRunning) != 0 && reachable) {
        platform::SendMessageTo(senderWindow, kJobMessage, jobNumber, 0);
        Trace(" PF_SMTP.exe Start OK(Send Msg)");
        return 1;
    }
    // The poll below waits for the new program's window, not for one of a program that is gone.
    if (senderWindow != 0 && !platform::WindowExists(senderWindow)) WriteField(block, kSenderWindow, 0);
    State().senderStartedHere = platform::StartProgram(program);
    if (!State().senderStartedHere) {
        Trace(" PF_SMTP.exe Start Error:");
        return 1;
    }
    for (int poll = 0; poll < kPolls; ++poll) {
        platform::SleepMilliseconds(kPollInterval);
        if (const std::uint32_t window = ReadField(block, kSenderWindow); window != 0) {
            platform::SleepMilliseconds(kPollInterval);
            platform::SendMessageTo(window, kJobMessage, jobNumber, 0);
            Trace(" PF_SMTP.exe Start OK(New Start(%d))", poll);
            break;
        }
    }
    return 1;
}

}  // namespace wbfax
