// Announcing a stored fax to the rule's recipients: by mail or on their PCs, through a job
// for one of the two sender programs.
#pragma once

#include "notification/job_files.h"

#include <cstdint>
#include <string_view>

namespace wbfax {

constexpr int kNotifyWindowTemplate = 105;

// Texts as received; notifyAddress is the rule's address list, storedPath the file's place.
// 1 when the job was listed for the sender program.
int NotifyReceivedFax(std::string_view adminMail, std::string_view notifyAddress, std::string_view storedPath,
                      std::uint32_t dataType, std::string_view remoteNumber, std::uint32_t languageCode,
                      std::uint32_t extFlag, std::string_view extText1, std::string_view extText2,
                      std::string_view displayName);

// Whether the stored fax goes with the mail, by the attachment settings and its size.
bool ShouldAttach(std::string_view storedPath);
std::uint32_t AttachmentLimit(int fileSizeClass);

// The language of the current (or last) notification.
std::uint16_t JobLanguage();

}  // namespace wbfax
