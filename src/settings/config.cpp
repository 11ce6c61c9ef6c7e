#include "settings/config.h"

#include "base/services.h"
#include "base/text.h"
#include "base/trace.h"
#include "platform/platform.h"

#include <array>
#include <vector>

namespace wbfax {
namespace {

constexpr const char *kConfigFileName = "wbcatch.ini";
constexpr const char *kNotSet = "?";
constexpr const char *kReceive = "RCVFAX";

std::string &ConfigFilePathStorage() {
    static std::string path;
    return path;
}

std::string &DataFolderStorage() {
    static std::string folder;
    return folder;
}

std::optional<std::string> ClassBaseFolder(int osClass) {
    if (osClass == 2) return SpecialFolder(0x2E);
    if (osClass == 3) return SpecialFolder(0x23);
    return std::nullopt;
}

std::int32_t ReadNumber(const char *section, const char *key, std::int32_t defaultValue) {
    return static_cast<std::int32_t>(platform::ProfileGetInt(section, key, defaultValue, ConfigFilePath().c_str()));
}

void WriteText(const char *key, const char *value) {
    if (!platform::ProfileWriteString(kReceive, key, value, ConfigFilePath().c_str()))
        TraceSystemError("writing wbcatch.ini", ConfigFilePath());
}

void WriteNumber(const char *key, std::int32_t value) { WriteText(key, Format("%d", value).c_str()); }

void WriteFlag(const char *key, std::int32_t value) { WriteText(key, value == 1 ? "1" : "0"); }

// The folder that holds wbcatch.ini, as the profile writer locks it.
std::string ConfigFolder() {
    const std::string &file = ConfigFilePath();
    std::size_t slash = std::string::npos;
    for (std::size_t i = 0; i < file.size(); ++i) {
        if (platform::IsLeadByte(static_cast<std::uint8_t>(file[i])) && i + 1 < file.size()) ++i;
        else if (file[i] == '\\' || file[i] == '/') slash = i;
    }
    return slash == std::string::npos ? platform::WindowsDirectory() : file.substr(0, slash);
}

}  // namespace

ConfigLock::ConfigLock() : lock_(ConfigFolder()) {}

const std::string &ConfigFilePath() { return ConfigFilePathStorage(); }
const std::string &DataFolder() { return DataFolderStorage(); }

std::string ConfigFilePathFor(int osClass, const std::optional<std::string> &baseFolder) {
    // Without a usable special folder the module falls back to the old systems' place.
    if (osClass < 2 || !baseFolder) return kConfigFileName;
    return Format("%s\\Corvane\\Quillbox\\%s", baseFolder->c_str(), kConfigFileName);
}

std::string DataFolderFor(int osClass, const std::optional<std::string> &baseFolder,
                          const std::optional<std::string> &configFolder) {
    if (osClass < 2 || !baseFolder) return configFolder.value_or("");
    return Format("%s\\Corvane\\Quillbox", baseFolder->c_str());
}

void BuildConfigFilePath() {
    const int osClass = OsVersionClass();
    ConfigFilePathStorage() = ConfigFilePathFor(osClass, ClassBaseFolder(osClass));
}

void BuildDataFolder() {
    const int osClass = OsVersionClass();
    const std::optional<std::string> base = ClassBaseFolder(osClass);
    DataFolderStorage() = DataFolderFor(osClass, base, base ? std::nullopt : ReadConfigFolder());
}

std::optional<std::string> ReadConfigText(const char *section, const char *key, std::uint32_t capacity) {
    std::vector<char> buffer(capacity, '\0');
    platform::ProfileGetString(section, key, kNotSet, buffer.data(), capacity, ConfigFilePath().c_str());
    std::string text(buffer.data());
    if (text == kNotSet) return std::nullopt;
    return text;
}

std::optional<std::string> ReadConfigFolder() {
    // Built here rather than taken from ConfigFilePath: on old systems the name is spelled out.
    const int osClass = OsVersionClass();
    const std::optional<std::string> base = ClassBaseFolder(osClass);
    const std::string file = osClass < 2 || !base ? platform::WindowsDirectory() + "\\" + kConfigFileName
                                                  : ConfigFilePathFor(osClass, base);
    std::array<char, 260> buffer{};
    platform::ProfileGetString("PATH", "CONF", kNotSet, buffer.data(), buffer.size(), file.c_str());
    std::string text(buffer.data());
    if (text == kNotSet) return std::nullopt;
    return text;
}

std::uint16_t LanguageIdFromName(std::string_view name) {
    struct Entry {
        std::string_view name;
        std::uint16_t id;
    };
    static constexpr std::array<Entry, 6> kLanguages{{{"Japanese", 0x0411},
                                                      {"English", 0x0409},
                                                      {"French", 0x040C},
                                                      {"German", 0x0407},
                                                      {"Spanish", 0x040A},
                                                      {"Italian", 0x0410}}};
    for (const Entry &entry : kLanguages)
        if (EqualsIgnoringCase(name, entry.name)) return entry.id;
    return 0x0409;
}

Language ReadLanguage() {
    std::string name = ReadConfigText("LANGUAGE", "Language").value_or("");
    if (name.empty()) name = "English";
    const std::uint16_t id = LanguageIdFromName(name);
    return {std::move(name), id};
}

std::optional<std::string> ReadSmtpServer() { return ReadConfigText(kReceive, "SMTPServer"); }
std::optional<std::string> ReadSmtpServerWork() { return ReadConfigText(kReceive, "SMTPServerWork"); }
void WriteSmtpServerWork(const char *text) { WriteText("SMTPServerWork", text); }

std::int32_t ReadSmtpPortNo() {
    const std::int32_t port = ReadNumber(kReceive, "SMTPPortNo", 0);
    if (port != 0) return port;
    WriteText("SMTPPortNo", "25");
    return 25;
}

std::int32_t ReadSmtpPortNoWork() { return ReadNumber(kReceive, "SMTPPortNoWork", 0); }
void WriteSmtpPortNoWork(const char *text) { WriteText("SMTPPortNoWork", text); }

int ReadUseSmtp() { return ReadNumber(kReceive, "USESMTP", 1) != 0 ? 1 : 0; }
int ReadAddFile() { return ReadNumber(kReceive, "ADDFFILE", 0) != 0 ? 1 : 0; }

int ReadFileSize() {
    const auto size = static_cast<std::uint32_t>(ReadNumber(kReceive, "FileSize", 0));
    return size >= 4 ? 0 : static_cast<int>(size);
}

int ReadNotifyDays() {
    const auto days = static_cast<std::uint32_t>(ReadNumber(kReceive, "NotifyDays", 3));
    return days >= 32 ? 0 : static_cast<int>(days);
}

int ReadOverWrite() { return ReadNumber("MANAGEMENT", "OverWrite", 1) != 0 ? 1 : 0; }

std::int32_t ReadUseSmtpWork() { return ReadNumber(kReceive, "USESMTPWork", -1); }
std::int32_t ReadAddFileWork() { return ReadNumber(kReceive, "AddFileWork", -1); }
std::int32_t ReadFileSizeWork() { return ReadNumber(kReceive, "FileSizeWork", -1); }
std::int32_t ReadNotifyDaysWork() { return ReadNumber(kReceive, "NotifyDaysWork", -1); }

void WriteUseSmtpWork(std::int32_t value) { WriteFlag("USESMTPWork", value); }
void WriteAddFileWork(std::int32_t value) { WriteFlag("AddFileWork", value); }
void WriteFileSizeWork(std::int32_t value) { WriteNumber("FileSizeWork", value); }
void WriteNotifyDaysWork(std::uint32_t value) { WriteNumber("NotifyDaysWork", static_cast<std::int32_t>(value > 31 ? 31 : value)); }

void CommitWorkSettings() {
    const ConfigLock lock;
    if (const std::optional<std::string> server = ReadSmtpServerWork(); server && !server->empty())
        WriteText("SMTPServer", server->c_str());
    if (const std::int32_t port = ReadSmtpPortNoWork(); port != 0) WriteNumber("SMTPPortNo", port);
    if (const std::int32_t use = ReadUseSmtpWork(); use != -1) WriteFlag("USESMTP", use);
    if (const std::int32_t add = ReadAddFileWork(); add != -1) WriteFlag("ADDFFILE", add);
    if (const std::int32_t size = ReadFileSizeWork(); size != -1) WriteNumber("FileSize", size);
    if (const std::int32_t days = ReadNotifyDaysWork(); days != -1) WriteNumber("NotifyDays", days);
    DiscardWorkSettings();
}

void DiscardWorkSettings() {
    for (const char *key : {"SMTPServerWork", "SMTPPortNoWork", "USESMTPWork", "AddFileWork", "FileSizeWork", "NotifyDaysWork"})
        WriteText(key, nullptr);
}

std::int32_t NextJobId() {
    const ConfigLock lock;
    const std::int32_t read = ReadNumber(kReceive, "JobID", 0);
    std::int32_t job = read;
    std::int32_t next = static_cast<std::int32_t>(static_cast<std::uint32_t>(read) + 1u);
    if (read == 0) {
        job = 1;
        next = 2;
    } else if (read == 9999) {
        next = 1;
    }
    WriteNumber("JobID", next);
    return job;
}

}  // namespace wbfax
