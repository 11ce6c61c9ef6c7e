// Handing a finished job to the sender program: the job list, the shared status block and
// the job message, starting the program when it does not run.
#pragma once

#include "notification/job_files.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

constexpr std::uint32_t kStatusBlockSize = 308;
constexpr std::uint32_t kJobMessage = 0x0401;
constexpr const char *kMailSenderClass = "QVPCFAXSMTP";

// Offsets in the status block.
enum StatusBlockField : std::uint32_t {
    kStatusText = 0,         // 32 bytes: "CONFSET" or "COMMUNICATE"
    kDataFolderPath = 32,    // 260 bytes
    kNotifierPresent = 292,  // the fields below are 32-bit little-endian
    kNotifierWindow = 296,
    kSenderRunning = 300,
    kSenderWindow = 304,
};

const char *StatusBlockName(NotifyMode mode);
const char *JobListName(NotifyMode mode);
const char *SenderProgram(NotifyMode mode);
std::string JobListPath(NotifyMode mode);

std::uint32_t ReadField(const std::uint8_t *block, StatusBlockField field);
void WriteField(std::uint8_t *block, StatusBlockField field, std::uint32_t value);

// The block of the mode, created or opened once per process and kept.
platform::SharedMemoryHandle StatusBlock(NotifyMode mode);

// The window published as the notifier's; set while a notification runs.
void SetNotifierWindow(platform::WindowHandle window);

// The state of a freshly loaded module. The old block handles are dropped, not closed, as an
// unloaded module leaves them; the next hand-over creates or opens the blocks anew.
void ResetSenderState();

int StartOrSignalSender(std::uint32_t jobNumber, const std::string &jobFile, NotifyMode mode);
void PrepareStatusBlock(NotifyMode mode);
int RegisterJob(std::uint32_t jobNumber, const std::string &jobFile, NotifyMode mode);
void CompactJobList(NotifyMode mode);
void CloseStatusBlock();

}  // namespace wbfax
