#include "distribution/network_path.h"

#include "base/text.h"

#include <algorithm>

namespace wbfax {
namespace {

std::vector<platform::ShareEntry> &Shares() {
    static std::vector<platform::ShareEntry> shares;
    return shares;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

void EnumerateShares() { Shares() = platform::FileShares(); }

const std::vector<platform::ShareEntry> &ShareList() { return Shares(); }

DriveInfo ResolveNetworkDrivePath(std::string_view path) {
    // The probe makes the last folder count as a folder when the drive is taken from it.
    const std::string probe = std::string(path) + (EndsWithSeparator(path) ? "test.txt" : "\\test.txt");
    DriveInfo info;
    info.type = platform::DriveTypeOf(probe);
    if (info.type == platform::kDriveRemote) info.universalName = platform::UniversalName(path).value_or("");
    return info;
}

NetworkName ToUncPathVia(std::string_view localPath, std::uint32_t driveType, const std::string &universalName,
                         const std::vector<platform::ShareEntry> &shares, const std::string &shortHostName) {
    if (driveType == platform::kDriveRemote) {
        std::string name = universalName;
        if (EndsWithSeparator(name)) name.pop_back();
        return {1, name};
    }
    if (driveType != platform::kDriveFixed) return {};

    const platform::ShareEntry *best = nullptr;
    std::size_t bestDepth = 0;
    for (const platform::ShareEntry &share : shares) {
        if (share.path.size() > localPath.size() ||
            !platform::EqualIgnoringCaseInLocale(localPath.substr(0, share.path.size()), share.path))
            continue;
        const auto depth = static_cast<std::size_t>(std::count_if(share.path.begin(), share.path.end(), IsSeparator));
        if (depth > bestDepth) {
            best = &share;
            bestDepth = depth;
        }
    }
    if (!best) return {};

    std::string rest(localPath.substr(best->path.size()));
    while (!rest.empty() && IsSeparator(rest.front())) rest.erase(0, 1);
    std::replace(rest.begin(), rest.end(), '/', '\\');
    std::string name = "\\\\" + shortHostName + "\\" + best->name;
    if (!rest.empty()) name += "\\" + rest;
    if (EndsWithSeparator(name)) name.pop_back();
    return {1, name};
}

NetworkName ToUncPath(std::string_view localPath) {
    const DriveInfo drive = ResolveNetworkDrivePath(localPath);
    return ToUncPathVia(localPath, drive.type, drive.universalName, Shares(),
                        drive.type == platform::kDriveFixed ? ShortHostName() : std::string());
}

std::string ShortHostName() {
    const std::string name = platform::HostName().value_or("");
    return name.substr(0, name.find('.'));
}

int IsThisComputerVia(std::string_view name, const std::string &shortHostName, const std::vector<std::string> &addresses) {
    // A computer whose name does not resolve cannot be told: not even its own name matches.
    if (shortHostName.empty() || addresses.empty()) return 0;
    if (EqualsIgnoringCase(name, shortHostName)) return 1;
    return std::find(addresses.begin(), addresses.end(), name) != addresses.end() ? 1 : 0;
}

int IsThisComputer(std::string_view name) {
    if (!platform::StartNetworking()) return 0;
    const std::string host = ShortHostName();
    const int result = host.empty() ? 0 : IsThisComputerVia(name, host, platform::HostAddresses(host));
    platform::StopNetworking();
    return result;
}

}  // namespace wbfax
