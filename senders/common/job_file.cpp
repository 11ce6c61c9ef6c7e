#include "common/job_file.h"

#include "base/text.h"
#include "platform/platform.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sys/stat.h>

namespace wbfax::senders {

std::string JobSection::Get(std::string_view key) const {
    for (const auto &[k, v] : keys)
        if (k == key) return v;
    return {};
}

const JobSection *JobFile::Find(std::string_view name) const {
    for (const JobSection &section : sections)
        if (section.name == name) return &section;
    return nullptr;
}

std::vector<const JobSection *> JobFile::All(std::string_view name) const {
    std::vector<const JobSection *> found;
    for (const JobSection &section : sections)
        if (section.name == name) found.push_back(&section);
    return found;
}

std::vector<std::string> TextLines(std::string_view content) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    while (from < content.size()) {
        std::size_t end = content.find('\n', from);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        from = end + 1;
    }
    return lines;
}

std::optional<JobFile> ParseJobFile(std::string_view content) {
    JobFile job;
    for (const std::string &line : TextLines(content)) {
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            job.sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        // Values are written unquoted and may hold anything but a line end; keys never hold "=".
        if (job.sections.empty() || equals == std::string::npos) return std::nullopt;
        job.sections.back().keys.emplace_back(line.substr(0, equals), line.substr(equals + 1));
    }
    if (job.sections.empty()) return std::nullopt;
    return job;
}

std::optional<std::string> ReadBytes(const std::string &path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::string content;
    char buffer[8192];
    while (content.size() < limit) {
        in.read(buffer, static_cast<std::streamsize>(std::min(sizeof buffer, limit - content.size())));
        content.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (!in) break;
    }
    if (in.bad()) return std::nullopt;
    return content;
}

std::vector<std::string> ListEntries(std::string_view list) {
    std::vector<std::string> entries;
    std::size_t from = 0;
    while (from <= list.size()) {
        std::size_t comma = list.find(',', from);
        if (comma == std::string_view::npos) comma = list.size();
        std::string_view entry = list.substr(from, comma - from);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
        if (!entry.empty()) entries.emplace_back(entry);
        from = comma + 1;
    }
    return entries;
}

double JobAgeSeconds(const std::string &jobFile) {
    struct stat st {};
    if (::stat(jobFile.c_str(), &st) != 0) return 0;
    return std::difftime(std::time(nullptr), st.st_mtime);
}

std::string WithExtension(const std::string &jobFile, std::string_view extension) {
    const std::size_t slash = jobFile.find_last_of('/');
    const std::size_t dot = jobFile.rfind('.');
    const std::string base = dot != std::string::npos && (slash == std::string::npos || dot > slash) ? jobFile.substr(0, dot) : jobFile;
    return base + std::string(extension);
}

std::string CompanionPath(const std::string &jobFile, int index) { return WithExtension(jobFile, Format(".%03d", index)); }

std::vector<ProgressLine> ReadProgressLines(const std::string &path) {
    std::vector<ProgressLine> lines;
    const std::optional<std::string> content = ReadBytes(path);
    if (!content) return lines;
    for (const std::string &line : TextLines(*content))
        if (const std::size_t comma = line.find(','); comma != std::string::npos)
            lines.push_back({line.substr(comma + 1), ParseDecimal(line.substr(0, comma))});
    return lines;
}

std::map<std::string, int> SettledOf(const std::vector<ProgressLine> &lines) {
    std::map<std::string, int> settled;
    for (const ProgressLine &line : lines) settled[line.entry] = line.status;
    return settled;
}

std::map<std::string, int> ReadProgress(const std::string &path) { return SettledOf(ReadProgressLines(path)); }

bool AddProgress(const std::string &path, std::string_view entry, int status) {
    return platform::AppendToFile(path, Format("%d,", status) + std::string(entry) + "\r\n");
}

}  // namespace wbfax::senders
