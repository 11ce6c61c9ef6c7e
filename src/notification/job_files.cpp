#include "notification/job_files.h"

#include "distribution/network_path.h"
#include "base/text.h"
#include "base/trace.h"
#include "notification/texts.h"
#include "settings/config.h"

namespace wbfax {
namespace {

// Texts that came with a fax must not start a line of their own in a job file: their line
// breaks become blanks. Neither byte occurs inside a double-byte character.
std::string OneLine(std::string_view text) {
    std::string line(text);
    for (char &c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line;
}

std::string KeyLine(std::string_view key, std::string_view value) {
    return std::string(key) + "=" + OneLine(value) + "\n";
}

std::string Line(std::string_view text) { return OneLine(text) + "\n"; }

std::string FileNameOf(std::string_view path) {
    const PathParts parts = SplitPath(path);
    return parts.name + parts.extension;
}

int SubjectText(std::uint32_t dataType) {
    return dataType == 0 ? kSubjectSent : dataType == 2 ? kSubjectReport : kSubjectReceived;
}

int FirstBodyLine(std::uint32_t dataType) { return dataType == 2 ? kBodyReport : kBodyDocument; }

// The job file's name with another extension.
std::string Companion(const std::string &jobFile, const char *extension) {
    return jobFile.substr(0, jobFile.size() - 4) + extension;
}

// One trace line per failure, with the file and the system's reason; the reason is taken
// before tracing, which makes system calls of its own.
void TraceFailure(const char *what, const std::string &path) {
    const std::uint32_t error = platform::LastSystemError();
    Trace(" Job File %s Error: %s: %s", what, path.c_str(), platform::SystemErrorText(error).c_str());
}

// A full disk may show at any step, the close included, as buffered bytes go out last.
bool WriteWhole(platform::Stream &out, const std::string &path, const std::string &text) {
    const char *step = "Open";
    if (out) {
        step = "Write";
        if (out.Write(text)) {
            step = "Close";
            if (out.Close()) return true;
        }
    }
    TraceFailure(step, path);
    return false;
}

// A job file may hold the mail account's password: it and its body are never open to other
// users. The fax's copy keeps the fax's own access.
bool WriteFile(const std::string &path, const std::string &text) {
    platform::Stream out = platform::Stream::CreatePrivate(path, "wt");
    return WriteWhole(out, path, text);
}

}  // namespace

PathParts SplitPath(std::string_view path) {
    PathParts parts;
    if (path.size() >= 2 && path[1] == ':') {
        parts.drive = std::string(path.substr(0, 2));
        path.remove_prefix(2);
    }
    const std::size_t separator = LastSeparator(path);
    if (separator != std::string_view::npos) {
        parts.directory = std::string(path.substr(0, separator + 1));
        path.remove_prefix(separator + 1);
    }
    const std::size_t dot = path.rfind('.');
    parts.name = std::string(path.substr(0, dot));
    if (dot != std::string_view::npos) parts.extension = std::string(path.substr(dot));
    return parts;
}

const char *MimeDataType(std::string_view extension) {
    if (EqualsIgnoringCase(extension, ".pdf")) return "PDF";
    if (EqualsIgnoringCase(extension, ".tif")) return "TIFF";
    if (EqualsIgnoringCase(extension, ".jpg")) return "JPEG";
    if (EqualsIgnoringCase(extension, ".txt")) return "TEXT";
    return "OCTET";
}

std::string PcNameOfPath(std::string_view path) {
    const DriveInfo drive = ResolveNetworkDrivePath(path);
    if (drive.type == platform::kDriveRemote) {
        const std::string &unc = drive.universalName;  // \\host\share\...
        const std::size_t end = unc.size() > 3 ? unc.find('\\', 3) : std::string::npos;
        return end == std::string::npos ? std::string() : unc.substr(2, end - 2);
    }
    if (!platform::StartNetworking()) return {};
    std::string name = ShortHostName();
    platform::StopNetworking();
    return name;
}

std::string JobFileText(const NotifyRequest &r, std::uint16_t language, NotifyMode mode, bool attach,
                        const std::string &server, std::int32_t port) {
    const bool mail = mode == NotifyMode::Mail;
    const bool auth = r.extFlag != 0;
    const std::string fileName = FileNameOf(r.storedPath);
    std::string text;
    if (mail) {
        text += "[NT INFO]\n";
        text += KeyLine("MailServAddr", server);
        text += KeyLine("SmtpPortNumber", std::to_string(port));
        text += KeyLine("AuthFlag", auth ? "1" : "0");
        text += KeyLine("AuthAccount", auth ? r.extText1 : "");
        text += KeyLine("AuthPassword", auth ? r.extText2 : "");
        text += "\n";
    }
    text += "[HEAD INFO]\n";
    text += KeyLine("FromAddr", r.adminMail);
    text += KeyLine("ToAddr", r.notifyAddress);
    text += KeyLine("CcAddr", "");
    text += KeyLine("BccAddr", "");
    text += KeyLine("Subject", std::string(NotifyText(language, SubjectText(r.dataType))) + "(" + fileName + ")");
    text += KeyLine("CharCode", CharsetName(language));
    text += KeyLine("AttachNum", attach ? "2" : "1");
    text += "\n";
    if (mail) {
        text += "[ATTACH INFO]\n";
        text += KeyLine("DataType", "BODY");
        text += KeyLine("FileName", "");
        text += "\n";
        if (attach) {
            text += "[ATTACH INFO]\n";
            text += KeyLine("DataType", MimeDataType(SplitPath(r.storedPath).extension));
            text += KeyLine("FileName", fileName);
        }
    }
    return text;
}

std::string MailBodyText(const NotifyRequest &r, std::uint16_t language, const std::string &pcName,
                         const std::string &folderNetworkName) {
    const PathParts parts = SplitPath(r.storedPath);
    std::string text;
    text += Line(NotifyText(language, FirstBodyLine(r.dataType)));
    text += "\n";
    text += Line(NotifyText(language, r.dataType == 0 ? kLabelDestinationNumber : kLabelSenderNumber));
    text += Line("\t" + r.remoteNumber);
    text += Line(NotifyText(language, kLabelPcName));
    text += Line("\t" + pcName);
    if (!folderNetworkName.empty()) {
        text += Line(NotifyText(language, kLabelFileName));
        text += Line("\t" + folderNetworkName + "\\" + parts.name + parts.extension);
    } else {
        text += Line(NotifyText(language, kLabelFolder));
        text += Line("\t" + parts.drive + parts.directory);
        text += Line(NotifyText(language, kLabelFileName));
        text += Line("\t" + parts.name + parts.extension);
    }
    return text;
}

std::string PcRecordText(const NotifyRequest &r, std::uint16_t language, const std::string &pcName,
                         const platform::LocalTime &time) {
    const PathParts parts = SplitPath(r.storedPath);
    std::string text;
    text += Line(NotifyText(language, FirstBodyLine(r.dataType)));
    text += "\n";
    text += KeyLine("RcvTime", Format("%04d.%02d.%02d.%02d.%02d", time.year, time.month, time.day, time.hour, time.minute));
    text += KeyLine("SenderName", r.displayName);
    text += KeyLine("TSI", r.remoteNumber);
    text += KeyLine("HostName", pcName);
    text += KeyLine("Path", parts.drive + parts.directory);
    text += KeyLine("FileName", parts.name + parts.extension);
    text += KeyLine("NotifyType", std::to_string(r.dataType));
    return text;
}

JobFiles CreateJobFiles(const NotifyRequest &request, std::uint16_t language, NotifyMode mode, bool attach) {
    JobFiles job;
    job.jobNumber = static_cast<std::uint32_t>(NextJobId());
    const platform::LocalTime now = platform::CurrentLocalTime();
    const std::string jobFile = platform::NativePath(
        Format("%s\\%02d%02d%02d%02d_%u.tmp", DataFolder().c_str(), now.month, now.day, now.hour, now.minute, job.jobNumber));
    const bool mail = mode == NotifyMode::Mail;

    std::string server;
    std::int32_t port = 25;
    if (mail) {
        server = ReadSmtpServer().value_or("");
        if (!server.empty()) port = ReadSmtpPortNo();
    }
    const std::string text = JobFileText(request, language, mode, attach, server, port);
    const std::string body = Companion(jobFile, ".001");
    const std::string copy = Companion(jobFile, ".002");
    bool written = WriteFile(jobFile, text);
    if (written && mail) {
        const NetworkName folder = ToUncPath(SplitPath(request.storedPath).drive + SplitPath(request.storedPath).directory);
        const std::string bodyText =
            MailBodyText(request, language, PcNameOfPath(request.storedPath), folder.found == 1 ? folder.name : std::string());
        // The body file first: a job that cannot have one makes no copy of the fax.
        platform::Stream out = platform::Stream::CreatePrivate(body, "wt");
        // The mail goes without its attachment rather than not at all.
        if (out && attach && !platform::CopyPath(request.storedPath, copy, true)) TraceFailure("Copy", copy);
        written = WriteWhole(out, body, bodyText);
    } else if (written) {
        const std::string pcName = PcNameOfPath(request.storedPath);
        // The record tells when it was written, which may be a minute after the job was named.
        written = WriteFile(body, PcRecordText(request, language, pcName, platform::CurrentLocalTime()));
    }
    if (!written) {
        // A sender program must never find a job cut short: none of its files stays.
        for (const std::string &file : {jobFile, body, copy}) platform::RemoveFile(file);
        job.jobFile.clear();
        return job;
    }
    job.jobFile = jobFile;
    return job;
}

}  // namespace wbfax
