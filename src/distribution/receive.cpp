#include "distribution/receive.h"

#include "distribution/receive_description.h"
#include "settings/rule_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace wbfax {
namespace {

constexpr int kSlotPath = 2;
constexpr int kSlotDescription = 3;
constexpr int kSlotRemoteName = 4;
constexpr int kSlotBox = 5;
constexpr std::size_t kPathCapacity = 260;

}  // namespace

std::string MakeDisplayName(std::string_view remoteName, std::string_view remoteId) {
    std::string name(!remoteName.empty() ? remoteName : !remoteId.empty() ? remoteId : "(FAX)");
    name.resize(std::min(name.size(), kPathCapacity - 1));
    // Neither byte occurs inside a double-byte character, so no character is split.
    std::replace(name.begin(), name.end(), ',', '_');
    std::replace(name.begin(), name.end(), ';', '_');
    return name;
}

void ReceiveFax(const HostContext &context) {
    ReceiveRecord record;
    if (!ParseReceiveDescription(context.Pointer<std::uint8_t>(kSlotDescription), record)) return;

    // The record's texts hold at most 255 bytes, so the host's 256-byte buffer always fits.
    if (char *remoteNameBuffer = context.Pointer<char>(kSlotRemoteName))
        std::memcpy(remoteNameBuffer, record.remoteName.c_str(), record.remoteName.size() + 1);

    const std::string displayName = MakeDisplayName(record.remoteName, record.remoteId);
    const auto box = static_cast<std::uint32_t>(context.Slot(kSlotBox));
    if (!RuleFileExists(box)) return;
    (void)displayName;
    (void)kSlotPath;
}

}  // namespace wbfax
