// The job files handed to the sender programs: the job itself, the mail body or PC record,
// and the copy of the fax that travels with a mail.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace wbfax {

enum class NotifyMode { Pc = 0, Mail = 1 };

struct NotifyRequest {
    std::string adminMail;
    std::string notifyAddress;
    std::string storedPath;  // native form
    std::uint32_t dataType = 1;
    std::string remoteNumber;
    std::uint32_t languageCode = 0;
    std::uint32_t extFlag = 0;
    std::string extText1;
    std::string extText2;
    std::string displayName;
};

struct PathParts {
    std::string drive;      // "D:" or empty
    std::string directory;  // up to and with the last "\" or "/"
    std::string name;
    std::string extension;  // with its dot
};
PathParts SplitPath(std::string_view path);

struct JobFiles {
    std::string jobFile;  // native path; empty when the job was not written
    std::uint32_t jobNumber = 0;
};
JobFiles CreateJobFiles(const NotifyRequest &request, std::uint16_t language, NotifyMode mode, bool attach);

// The contents, as written (lines end with "\n"; the files are written in text mode).
std::string JobFileText(const NotifyRequest &request, std::uint16_t language, NotifyMode mode, bool attach,
                        const std::string &server, std::int32_t port);
std::string MailBodyText(const NotifyRequest &request, std::uint16_t language, const std::string &pcName,
                         const std::string &folderNetworkName);
std::string PcRecordText(const NotifyRequest &request, std::uint16_t language, const std::string &pcName,
                         const platform::LocalTime &time);

// The name of the PC that holds the file.
std::string PcNameOfPath(std::string_view path);
// "PDF", "TIFF", "JPEG", "TEXT" or "OCTET".
const char *MimeDataType(std::string_view extension);

}  // namespace wbfax
