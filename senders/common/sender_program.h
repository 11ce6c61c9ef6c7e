// What both sender programs share: their place in the status block, their window, the job
// list and its worker, pauses after failures, and leaving when there is nothing to do.
//
// Behaviour is tuned through the environment (the plug-in starts the programs without
// arguments):
//   WBFAX_SENDER_IDLE_MS       leave after this long without work (default 300000)
//   WBFAX_SENDER_RETRY_MS      first pause after a failed attempt (default 30000), doubled
//   WBFAX_SENDER_RETRY_MAX_MS  after each further failure up to this (default 1800000)
//   WBFAX_SENDER_SCAN_MS       look at the job list this often without a message (default 60000)
#pragma once

#include "common/job_list.h"
#include "notification/job_files.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace wbfax::senders {

enum class Outcome {
    Delivered,  // the job is done: its files go, its entry is marked
    Retry,      // try again after a pause; nothing changes
    Rejected,   // can never succeed: the entry is marked, the files stay for whoever looks
};

struct SenderRole {
    NotifyMode mode = NotifyMode::Mail;
    const char *name = "";         // in the trace
    const char *windowClass = "";  // the window other programs find us by
    const char *lockFile = "";     // in the data folder: one running instance per installation
    const char *logName = "";      // the administrator's log in the data folder, for refused jobs
    std::vector<std::string> companions;  // extensions of the files a delivered job leaves
    // Extension of the file where the program notes whom a job reached; it goes with the job
    // however the job ends, as a later job of the same name must not inherit it.
    std::string progress;
    // Runs on the worker thread. stopping turns true when the program is asked to end; a long
    // attempt should give up then (and answer Retry).
    std::function<Outcome(const ListEntry &entry, const std::atomic<bool> &stopping)> process;
};

int RunSenderProgram(const SenderRole &program);

// The data folder the running program works in (native).
const std::string &SenderDataFolder();

std::uint32_t EnvironmentNumber(const char *name, std::uint32_t fallback);

}  // namespace wbfax::senders
