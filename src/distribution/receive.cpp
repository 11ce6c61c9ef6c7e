#include "distribution/receive.h"

#include "distribution/placement.h"
#include "distribution/receive_description.h"
#include "base/trace.h"
#include "notification/notify.h"
#include "settings/config.h"
#include "settings/rules.h"

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

void CopyToHost(char *buffer, const std::string &text, std::size_t capacity) {
    if (!buffer) return;
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

void TraceMissingParameters(const ReceiveRecord &record, const RuleTarget &target) {
    Trace(" SMTP Send Param Error:");
    Trace("   FAX Admin E-mail:%s", record.adminMail.c_str());
    Trace("   To Addr         :%s", target.notifyList.c_str());
}

}  // namespace

std::string MakeDisplayName(std::string_view remoteName, std::string_view remoteId) {
    std::string name(!remoteName.empty() ? remoteName : !remoteId.empty() ? remoteId : "(FAX)");
    name.resize(std::min(name.size(), kPathCapacity - 1));
    // Neither byte occurs inside a double-byte character, so no character is split.
    std::replace(name.begin(), name.end(), ',', '_');
    std::replace(name.begin(), name.end(), ';', '_');
    return name;
}

RuleTarget ChooseRule(const RuleSet &rules, const ReceiveRecord &record) {
    if (record.dataType == kSentDocument) {
        RuleTarget target = FindDestinationRule(rules, DestinationKey(record.remoteNumber));
        return target.folder.empty() ? rules.otherSent : target;
    }
    RuleTarget target = FindSubAddressRule(rules, record.fCode);
    if (!target.folder.empty()) return target;
    target = FindSenderRule(rules, SenderKey(record.remoteNumber));
    return target.folder.empty() ? rules.otherReceived : target;
}

void ReceiveFax(const HostContext &context) {
    ReceiveRecord record;
    if (!ParseReceiveDescription(context.Pointer<std::uint8_t>(kSlotDescription), record)) return;

    // The record's texts hold at most 255 bytes: the host's 256-byte buffer always fits.
    CopyToHost(context.Pointer<char>(kSlotRemoteName), record.remoteName, 256);

    const std::string displayName = MakeDisplayName(record.remoteName, record.remoteId);
    const auto box = static_cast<std::uint32_t>(context.Slot(kSlotBox));
    // One reading of the rule file serves every look-up; a box without one keeps its fax.
    const int useMail = ReadUseSmtp();
    const RuleSet rules = ReadRuleSet(box, useMail);
    if (!rules.exists) return;
    const RuleTarget target = ChooseRule(rules, record);
    char *pathBuffer = context.Pointer<char>(kSlotPath);
    const std::string receivedPath = pathBuffer ? pathBuffer : "";
    const Placement placement = PlaceReceivedFile(box, target.folder, receivedPath);

    if (target.notifyList.empty() || (record.adminMail.empty() && useMail == 1)) {
        TraceMissingParameters(record, target);
    } else {
        NotifyReceivedFax(record.adminMail, target.notifyList, placement.storedPath, record.dataType,
                          record.remoteNumber, record.languageCode, record.extFlag, record.extText1, record.extText2,
                          displayName);
    }
    CopyToHost(pathBuffer, placement.storedPath, kPathCapacity);
}

}  // namespace wbfax
