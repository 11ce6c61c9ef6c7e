// Announcing a stored fax to the rule's recipients.
#pragma once

#include <cstdint>
#include <string_view>

namespace wbfax {

// Texts as received; notifyAddress is the rule's address list, storedPath the file's place.
int NotifyReceivedFax(std::string_view adminMail, std::string_view notifyAddress, std::string_view storedPath,
                      std::uint32_t dataType, std::string_view remoteNumber, std::uint32_t languageCode,
                      std::uint32_t extFlag, std::string_view extText1, std::string_view extText2,
                      std::string_view displayName);

}  // namespace wbfax
