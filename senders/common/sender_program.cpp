#include "common/sender_program.h"

#include "common/job_file.h"
#include "common/sender_log.h"
#include "common/trust.h"

#include "base/trace.h"
#include "notification/sender.h"
#include "platform/platform.h"
#include "settings/config.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace wbfax::senders {
namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

volatile std::sig_atomic_t stopRequested = 0;
void OnStopSignal(int) { stopRequested = 1; }

std::string &DataFolderStorage() {
    static std::string folder;
    return folder;
}

struct Timing {
    Milliseconds idle{EnvironmentNumber("WBFAX_SENDER_IDLE_MS", 300000)};
    Milliseconds retry{EnvironmentNumber("WBFAX_SENDER_RETRY_MS", 30000)};
    Milliseconds retryMax{EnvironmentNumber("WBFAX_SENDER_RETRY_MAX_MS", 1800000)};
    Milliseconds scan{EnvironmentNumber("WBFAX_SENDER_SCAN_MS", 60000)};
};

// Takes the jobs off the message loop's thread: the plug-in waits for our window to answer
// each job message, and a mail server may keep us for minutes.
class Worker {
public:
    Worker(const SenderRole &program, std::string listPath, const Timing &timing)
        : program_(program), listPath_(std::move(listPath)), timing_(timing) {}

    void Start() { thread_ = std::thread([this] { Run(); }); }

    void Wake() {
        std::lock_guard<std::mutex> lock(mutex_);
        wake_ = true;
        changed_.notify_one();
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            stopping_ = true;
            changed_.notify_one();
        }
        if (thread_.joinable()) thread_.join();
    }

    // Nothing under way and nothing waiting for another attempt.
    bool Quiet() {
        std::lock_guard<std::mutex> lock(mutex_);
        return !busy_ && !wake_ && waiting_ == 0;
    }

    Clock::time_point LastWork() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastWork_;
    }

private:
    struct Pause {
        int failures = 0;
        Clock::time_point due;
    };

    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        Clock::time_point nextScan = Clock::now();
        for (;;) {
            Clock::time_point deadline = nextScan;
            for (const auto &[entry, pause] : pauses_) deadline = std::min(deadline, pause.due);
            changed_.wait_until(lock, deadline, [&] { return wake_ || stop_; });
            if (stop_) return;
            wake_ = false;
            busy_ = true;
            lock.unlock();
            const bool worked = Scan();
            nextScan = Clock::now() + timing_.scan;
            lock.lock();
            busy_ = false;
            waiting_ = pauses_.size();
            if (worked) lastWork_ = Clock::now();
        }
    }

    // One pass over the list; true when some job was attempted.
    bool Scan() {
        bool worked = false;
        std::set<ListEntry> listed;
        for (const ListEntry &entry : ReadJobList(listPath_)) {
            if (stopping_) break;
            listed.insert(entry);
            auto pause = pauses_.find(entry);
            if (pause != pauses_.end() && pause->second.due > Clock::now()) continue;
            if (!platform::FileExists(entry.jobFile)) {
                // Done before an interruption, or its files were taken away: nothing to send.
                Finish(entry);
                continue;
            }
            worked = true;
            // Anyone who can write the list could name any file: only the plug-in's jobs are done.
            if (const std::string why = JobFileDistrust(entry.jobFile, SenderDataFolder()); !why.empty()) {
                Trace("%s: job %04u refused: job file %s: %s", program_.name, entry.number, entry.jobFile.c_str(), why.c_str());
                AppendSenderLog(program_.logName, kRefusedStatus, "-", entry.number, {}, "refused job file: " + why + ": " + entry.jobFile, 1252);
                if (!MarkJob(listPath_, entry)) Trace("%s: job %04u could not be marked", program_.name, entry.number);
                pauses_.erase(entry);
                continue;
            }
            Trace("%s: job %04u (%s)", program_.name, entry.number, entry.jobFile.c_str());
            switch (program_.process(entry, stopping_)) {
            case Outcome::Delivered:
                Finish(entry);
                pauses_.erase(entry);
                break;
            case Outcome::Rejected:
                if (!MarkJob(listPath_, entry)) Trace("%s: job %04u could not be marked", program_.name, entry.number);
                if (!program_.progress.empty()) platform::RemoveFile(WithExtension(entry.jobFile, program_.progress));
                pauses_.erase(entry);
                break;
            case Outcome::Retry: {
                Pause &p = pauses_[entry];
                ++p.failures;
                Milliseconds wait = timing_.retry;
                for (int i = 1; i < p.failures && wait < timing_.retryMax; ++i) wait *= 2;
                wait = std::min(wait, timing_.retryMax);
                p.due = Clock::now() + wait;
                Trace("%s: job %04u failed %d time(s), next attempt in %lld ms", program_.name, entry.number, p.failures,
                      static_cast<long long>(wait.count()));
                break;
            }
            }
        }
        if (!stopping_)
            for (auto it = pauses_.begin(); it != pauses_.end();) it = listed.count(it->first) ? std::next(it) : pauses_.erase(it);
        return worked;
    }

    // The job file goes first: once it is gone the job counts as done, even if we are stopped
    // before the entry is marked. The mark comes last: an entry left unmarked is finished at the
    // next scan, companions included, where a marked one would leave them behind for good.
    void Finish(const ListEntry &entry) {
        platform::RemoveFile(entry.jobFile);
        for (const std::string &extension : program_.companions) platform::RemoveFile(WithExtension(entry.jobFile, extension));
        if (!MarkJob(listPath_, entry)) Trace("%s: job %04u could not be marked", program_.name, entry.number);
    }

    const SenderRole &program_;
    const std::string listPath_;
    const Timing timing_;
    std::map<ListEntry, Pause> pauses_;  // worker thread only

    std::mutex mutex_;
    std::condition_variable changed_;
    bool wake_ = false;
    bool stop_ = false;
    bool busy_ = false;
    std::size_t waiting_ = 0;
    Clock::time_point lastWork_ = Clock::now();
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

Worker *theWorker = nullptr;
const char *programName = "";
std::atomic<std::int64_t> lastMessageTicks{0};

std::intptr_t WindowProcedure(platform::WindowHandle, std::uint32_t message, std::uintptr_t wParam, std::intptr_t) {
    if (message != kJobMessage) return 0;
    lastMessageTicks = Clock::now().time_since_epoch().count();
    Trace("%s: job message %u", programName, static_cast<unsigned>(wParam));
    if (theWorker) theWorker->Wake();
    return 1;
}

// Only one instance works on a job list. A second one, started while the first is leaving,
// waits a moment for it.
int TakeInstanceLock(const std::string &path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            const std::string pid = std::to_string(::getpid()) + "\n";
            if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
                // the number is for people only
            }
            return fd;
        }
        if (errno != EWOULDBLOCK) break;
        platform::SleepMilliseconds(100);
    }
    ::close(fd);
    return -1;
}

std::string BlockText(const std::uint8_t *block, std::uint32_t offset, std::size_t size) {
    const char *text = reinterpret_cast<const char *>(block + offset);
    return std::string(text, ::strnlen(text, size));
}

}  // namespace

std::uint32_t EnvironmentNumber(const char *name, std::uint32_t fallback) {
    const std::optional<std::string> text = platform::GetEnvironment(name);
    if (!text || text->empty()) return fallback;
    char *end = nullptr;
    const unsigned long value = std::strtoul(text->c_str(), &end, 10);
    return *end == '\0' ? static_cast<std::uint32_t>(value) : fallback;
}

const std::string &SenderDataFolder() { return DataFolderStorage(); }

int RunSenderProgram(const SenderRole &program) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    programName = program.name;
    BuildConfigFilePath();
    BuildDataFolder();
    const platform::SharedView view =
        platform::SharedView::Map(platform::CreateSharedMemory(StatusBlockName(program.mode), kStatusBlockSize), kStatusBlockSize);
    if (!view) {
        Trace("%s: no status block", program.name);
        return 1;
    }
    std::uint8_t *block = view.data();
    // The data folder is where the module's settings put it. The block names it too, but the
    // block is no proof of where the plug-in's jobs lie.
    const std::string folder = platform::NativePath(DataFolder());
    if (const std::string named = BlockText(block, kDataFolderPath, 260); !named.empty() && named != folder)
        Trace("%s: the status block names the data folder %s; working in %s", program.name, named.c_str(), folder.c_str());
    DataFolderStorage() = folder;

    const int lock = TakeInstanceLock(folder + "/" + program.lockFile);
    if (lock < 0) {
        Trace("%s: another instance works on the list", program.name);
        return 0;
    }
    const platform::WindowHandle window = platform::CreateMessageWindow(program.windowClass, &WindowProcedure);
    if (!window) {
        Trace("%s: no window", program.name);
        ::close(lock);
        return 1;
    }
    const auto ours = static_cast<std::uint32_t>(window);
    auto publish = [&] {
        // The plug-in clears both fields before it starts a PC notifier; write them back.
        if (ReadField(block, kSenderWindow) != ours) WriteField(block, kSenderWindow, ours);
        if (ReadField(block, kSenderRunning) != 1) WriteField(block, kSenderRunning, 1);
    };
    auto withdraw = [&] {
        if (ReadField(block, kSenderWindow) != ours) return;  // a newer instance's by now
        WriteField(block, kSenderRunning, 0);
        WriteField(block, kSenderWindow, 0);
    };
    publish();
    Trace("%s: running, window %u, data folder %s", program.name, ours, folder.c_str());

    const Timing timing;
    Worker worker(program, folder + "/" + JobListName(program.mode), timing);
    theWorker = &worker;
    worker.Start();
    worker.Wake();  // whatever waits in the list since the last run

    auto sinceLastWork = [&] {
        const Clock::time_point message{Clock::duration(lastMessageTicks.load())};
        return Clock::now() - std::max(message, worker.LastWork());
    };
    while (!stopRequested) {
        platform::ProcessMessages(100);
        if (stopRequested) break;
        publish();
        if (sinceLastWork() < timing.idle || !worker.Quiet()) continue;
        // Leaving: from now on the plug-in starts a new instance; a message already on its
        // way keeps this one.
        withdraw();
        const std::int64_t before = lastMessageTicks;
        platform::ProcessMessages(200);
        if (lastMessageTicks != before) continue;
        break;
    }
    worker.Stop();
    theWorker = nullptr;
    withdraw();
    platform::DiscardWindow(window);
    // The plug-in tidies the job list only while the block does not say "COMMUNICATE"; it
    // does so before it starts the next instance.
    if (std::memcmp(block + kStatusText, "COMMUNICATE", 12) == 0) std::memcpy(block + kStatusText, "CONFSET", 8);
    ::close(lock);
    Trace("%s: stopped", program.name);
    return 0;
}

}  // namespace wbfax::senders
