// Builds the byte block that the host passes with a received document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillbox {

struct Description {
    std::uint8_t dataType = 1;  // 0 sent document, 2 communication report, else received fax
    std::string remoteNumber;
    std::string remoteId;
    std::string subAddress;
    std::string text4;
    std::string adminMail;
    std::uint16_t languageCode = 0;
    std::string remoteName;
    std::optional<std::string> smtpAccount;  // with it, the block carries an extension
    std::string smtpPassword;
};

constexpr std::size_t kMaxText = 255;
constexpr std::size_t kMaxAccount = 65;
constexpr std::size_t kMaxPassword = 32;

// The block in the host's layout, big-endian words, TotalLength covering the whole block.
// The extension leaves room for the longest account and password. Texts must fit their limits.
std::vector<std::uint8_t> BuildDescription(const Description &description);

}  // namespace quillbox
