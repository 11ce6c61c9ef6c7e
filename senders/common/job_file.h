// Reading a job the plug-in wrote: the job file's sections in their order (ATTACH INFO comes
// once per companion file) and the companions named after it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace wbfax::senders {

struct JobSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;

    // The value of the first key of that name; empty when there is none.
    std::string Get(std::string_view key) const;
};

struct JobFile {
    std::vector<JobSection> sections;

    const JobSection *Find(std::string_view name) const;
    std::vector<const JobSection *> All(std::string_view name) const;
};

std::optional<JobFile> ParseJobFile(std::string_view content);

// The whole file; none when it cannot be read.
// At most limit bytes from the start: a file that outgrows what its reader takes is not read whole.
std::optional<std::string> ReadBytes(const std::string &path, std::size_t limit = std::string::npos);

// How long ago the plug-in wrote the job, in seconds; 0 when the file is gone.
double JobAgeSeconds(const std::string &jobFile);

// The job file's companion: its name with ".001", ".002", ... instead of ".tmp".
std::string CompanionPath(const std::string &jobFile, int index);
std::string WithExtension(const std::string &jobFile, std::string_view extension);

// The entries of a comma-separated list of a job (ToAddr), blanks around them removed, empty
// ones left out.
std::vector<std::string> ListEntries(std::string_view list);

// The lines of a text written with CR LF, without their line ends.
std::vector<std::string> TextLines(std::string_view content);

// The entries of a job (PCs, mail recipients) that are done with, kept beside the job as
// "status,entry" lines so that a restarted sender does not deliver to them twice; an entry's
// last line counts.
struct ProgressLine {
    std::string entry;
    int status = 0;
};
// The lines in the order they were written.
std::vector<ProgressLine> ReadProgressLines(const std::string &path);
std::map<std::string, int> SettledOf(const std::vector<ProgressLine> &lines);
std::map<std::string, int> ReadProgress(const std::string &path);
bool AddProgress(const std::string &path, std::string_view entry, int status);

}  // namespace wbfax::senders
