// Drive types, network names, the share list and the host name, as Windows reports them.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <winnetwk.h>

namespace wbfax::platform {
namespace {

// The registry's list of this computer's shares: one value per share, data "Path=..." among
// NUL-separated texts; older systems keep a subkey per share instead.
constexpr const char *kSharesKey = "SYSTEM\\CurrentControlSet\\Services\\lanmanServer\\Shares";
constexpr const char *kOldSharesKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Network\\LanMan";

struct Key {
    HKEY key = nullptr;
    ~Key() {
        if (key) ::RegCloseKey(key);
    }
};

std::optional<std::string> PathOfShareData(const std::vector<char> &data, DWORD size) {
    for (DWORD at = 0; at < size && data[at] != '\0';) {
        const std::string text(&data[at]);
        if (text.rfind("Path=", 0) == 0) return text.substr(5);
        at += static_cast<DWORD>(text.size()) + 1;
    }
    return std::nullopt;
}

void ReadShareValues(HKEY shares, std::vector<ShareEntry> &out) {
    DWORD longestName = 0, longestData = 0;
    if (::RegQueryInfoKeyA(shares, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &longestName,
                           &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return;
    std::vector<char> name(longestName + 1), data(longestData + 2);
    for (DWORD index = 0;; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size()), dataSize = longestData;
        std::fill(data.begin(), data.end(), '\0');
        if (::RegEnumValueA(shares, index, name.data(), &nameSize, nullptr, nullptr,
                            reinterpret_cast<BYTE *>(data.data()), &dataSize) != ERROR_SUCCESS)
            break;
        const std::string shareName(name.data(), nameSize);
        if (!shareName.empty() && shareName.back() == '$') continue;  // hidden and administrative shares
        if (const std::optional<std::string> path = PathOfShareData(data, dataSize)) out.push_back({shareName, *path});
    }
}

void ReadShareSubkeys(HKEY shares, std::vector<ShareEntry> &out) {
    char name[MAX_PATH];
    for (DWORD index = 0; ::RegEnumKeyA(shares, index, name, sizeof name) == ERROR_SUCCESS; ++index) {
        Key share;
        if (::RegOpenKeyExA(shares, name, 0, KEY_QUERY_VALUE, &share.key) != ERROR_SUCCESS) continue;
        char path[MAX_PATH] = {};
        DWORD size = sizeof path - 1;
        if (::RegQueryValueExA(share.key, "Path", nullptr, nullptr, reinterpret_cast<BYTE *>(path), &size) == ERROR_SUCCESS)
            out.push_back({name, path});
    }
}

}  // namespace

std::uint32_t DriveTypeOf(std::string_view path) {
    // The drive part as the runtime splits a path ("C:"), then its root.
    std::string root;
    if (path.size() >= 2 && path[1] == ':') root = std::string(path.substr(0, 2));
    root += '\\';
    return ::GetDriveTypeA(root.c_str());
}

std::optional<std::string> UniversalName(std::string_view path) {
    alignas(UNIVERSAL_NAME_INFOA) char buffer[520];
    DWORD size = sizeof buffer;
    if (::WNetGetUniversalNameA(std::string(path).c_str(), UNIVERSAL_NAME_INFO_LEVEL, buffer, &size) != NO_ERROR)
        return std::nullopt;
    return std::string(reinterpret_cast<UNIVERSAL_NAME_INFOA *>(buffer)->lpUniversalName);
}

std::vector<ShareEntry> FileShares() {
    std::vector<ShareEntry> shares;
    Key key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharesKey, 0, KEY_QUERY_VALUE, &key.key) == ERROR_SUCCESS)
        ReadShareValues(key.key, shares);
    else if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kOldSharesKey, 0, KEY_READ, &key.key) == ERROR_SUCCESS)
        ReadShareSubkeys(key.key, shares);
    return shares;
}

std::optional<std::string> HostName() {
    char name[260] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return std::nullopt;
    return std::string(name);
}

bool StartNetworking() {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void StopNetworking() { ::WSACleanup(); }

}  // namespace wbfax::platform
