// The host's description of a received document (the block passed with command 2).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace wbfax {

enum DataType : std::uint32_t { kSentDocument = 0, kCommunicationReport = 2 };

struct ReceiveRecord {
    std::uint32_t totalLength = 0;
    std::uint32_t recordKind = 0;
    std::uint32_t dataType = 0;
    std::string remoteNumber;
    std::string remoteId;
    std::string fCode;
    std::string text4;
    std::string adminMail;
    std::uint32_t languageCode = 0;
    std::string remoteName;
    std::uint32_t extPresent = 0;
    std::uint32_t extFlag = 0;
    std::string extText1;  // SMTP account
    std::string extText2;  // SMTP password
};

// Fills record from the block; 1 when the block is accepted. The two 16-bit words of the block
// are turned from big-endian into host order in place, as the host expects.
// The block is taken to end at its TotalLength (or at available, when that is less): a text
// that would run past the end rejects the block, an extension that would is taken as absent.
int ParseReceiveDescription(std::uint8_t *block, ReceiveRecord &record, std::size_t available = SIZE_MAX);

}  // namespace wbfax
