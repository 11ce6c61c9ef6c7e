// Where the host's configuration file and data folder are, the language setting, and every
// key of wbcatch.ini that the module reads or writes.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wbfax {

// Built once at load.
const std::string &ConfigFilePath();
const std::string &DataFolder();
void BuildConfigFilePath();
void BuildDataFolder();

// The same, for a given system class and special folder (none when it could not be had).
std::string ConfigFilePathFor(int osClass, const std::optional<std::string> &baseFolder);
std::string DataFolderFor(int osClass, const std::optional<std::string> &baseFolder,
                          const std::optional<std::string> &configFolder);

// PATH/CONF, the host's configuration folder; none when not set.
std::optional<std::string> ReadConfigFolder();

struct Language {
    std::string name;  // "English" when not set
    std::uint16_t id;
};
Language ReadLanguage();
std::uint16_t LanguageIdFromName(std::string_view name);

// Receive settings. Texts follow the "?" convention: none when not set.
std::optional<std::string> ReadSmtpServer();
std::optional<std::string> ReadSmtpServerWork();
void WriteSmtpServerWork(const char *text);  // null deletes the key
std::int32_t ReadSmtpPortNo();
std::int32_t ReadSmtpPortNoWork();
void WriteSmtpPortNoWork(const char *text);
int ReadUseSmtp();
int ReadAddFile();
int ReadFileSize();
int ReadNotifyDays();
int ReadOverWrite();
std::int32_t ReadUseSmtpWork();
std::int32_t ReadAddFileWork();
std::int32_t ReadFileSizeWork();
std::int32_t ReadNotifyDaysWork();
void WriteUseSmtpWork(std::int32_t value);
void WriteAddFileWork(std::int32_t value);
void WriteFileSizeWork(std::int32_t value);
void WriteNotifyDaysWork(std::uint32_t value);

void CommitWorkSettings();
void DiscardWorkSettings();
// Read, advanced and written back as one step: no two receivers get the same number.
std::int32_t NextJobId();

// Holds the lock of wbcatch.ini against every other process and thread for a read-modify-write
// that spans several keys; single key writes take it themselves.
class ConfigLock {
public:
    ConfigLock();

private:
    platform::FolderLock lock_;
};

// A text setting with the "?" convention, from any section of wbcatch.ini.
std::optional<std::string> ReadConfigText(const char *section, const char *key, std::uint32_t capacity = 260);

}  // namespace wbfax
