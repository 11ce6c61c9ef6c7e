#include "common/job_list.h"

#include "base/text.h"
#include "platform/platform.h"

#include <cstdio>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <unistd.h>

namespace wbfax::senders {
namespace {

constexpr std::string_view kJobKey = "JOB_ID=";
constexpr std::string_view kFileKey = "INFO_FNAME=";

struct Line {
    std::size_t offset;
    std::string_view text;  // without the line end
};

std::vector<Line> SplitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t from = 0;
    while (from < content.size()) {
        std::size_t end = content.find('\n', from);
        const bool complete = end != std::string_view::npos;
        if (!complete) break;  // the plug-in is still writing this one
        std::string_view text = content.substr(from, end - from);
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        lines.push_back({from, text});
        from = end + 1;
    }
    return lines;
}

struct Found {
    ListEntry entry;
    std::size_t jobLine;
    std::size_t fileLine;
};

std::vector<Found> Entries(std::string_view content) {
    const std::vector<Line> lines = SplitLines(content);
    std::vector<Found> entries;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string_view job = lines[i].text;
        const std::string_view file = lines[i + 1].text;
        if (job.substr(0, kJobKey.size()) != kJobKey || file.substr(0, kFileKey.size()) != kFileKey) continue;
        const std::string_view number = job.substr(kJobKey.size());
        if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos) continue;
        entries.push_back({{static_cast<std::uint32_t>(ParseDecimal(number)), std::string(file.substr(kFileKey.size()))},
                           lines[i].offset,
                           lines[i + 1].offset});
        ++i;
    }
    return entries;
}

class File {
public:
    File(const std::string &path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {}
    File(const File &) = delete;
    File &operator=(const File &) = delete;
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }

    std::optional<std::string> ReadAll() const {
        std::string content;
        char chunk[8192];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(fd_, chunk, sizeof chunk, at);
            if (n < 0) return std::nullopt;
            if (n == 0) return content;
            content.append(chunk, static_cast<std::size_t>(n));
            at += n;
        }
    }

private:
    int fd_;
};

// Overwrites one byte, but only when it is still the one the line began with.
bool MarkByte(int fd, std::size_t offset, char expected) {
    char now = 0;
    if (::pread(fd, &now, 1, static_cast<off_t>(offset)) != 1 || now != expected) return false;
    return ::pwrite(fd, "*", 1, static_cast<off_t>(offset)) == 1;
}

}  // namespace

std::vector<ListEntry> ReadJobList(const std::string &listPath) {
    File file(listPath, O_RDONLY);
    if (file.fd() < 0) return {};
    const std::optional<std::string> content = file.ReadAll();
    if (!content) return {};
    std::vector<ListEntry> entries;
    for (Found &found : Entries(*content)) entries.push_back(std::move(found.entry));
    return entries;
}

bool MarkJob(const std::string &listPath, const ListEntry &entry) {
    // The plug-in appends to the list and compacts it under this lock; a mark made meanwhile
    // could land in a list that is being replaced.
    const std::size_t slash = listPath.rfind('/');
    const platform::FolderLock lock(slash == std::string::npos ? "." : slash == 0 ? "/" : listPath.substr(0, slash));
    File file(listPath, O_RDWR);
    if (file.fd() < 0) return false;
    const std::optional<std::string> content = file.ReadAll();
    if (!content) return false;
    bool marked = false;
    for (const Found &found : Entries(*content)) {
        if (found.entry.number != entry.number || found.entry.jobFile != entry.jobFile) continue;
        // The plug-in may rewrite the list between our read and our write: check each byte
        // right before overwriting it.
        if (MarkByte(file.fd(), found.jobLine, kJobKey[0]) && MarkByte(file.fd(), found.fileLine, kFileKey[0]))
            marked = true;
    }
    return marked;
}

}  // namespace wbfax::senders
