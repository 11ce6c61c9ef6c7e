// Network (UNC) names for local folders, so that other PCs can open a stored fax.
#pragma once

#include "platform/platform.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wbfax {

// Refreshes the module's list of this computer's shares.
void EnumerateShares();
const std::vector<platform::ShareEntry> &ShareList();

struct NetworkName {
    int found = 0;     // 1: name holds the network form (it may still be empty)
    std::string name;  // \\host\share\...
};
NetworkName ToUncPath(std::string_view localPath);
// The same over a given share list and host name.
NetworkName ToUncPathVia(std::string_view localPath, std::uint32_t driveType, const std::string &universalName,
                         const std::vector<platform::ShareEntry> &shares, const std::string &shortHostName);

struct DriveInfo {
    std::uint32_t type = 0;
    std::string universalName;  // written for network drives only
};
DriveInfo ResolveNetworkDrivePath(std::string_view path);

// This computer's host name up to its first ".".
std::string ShortHostName();

// 1 when a PC name means this computer: its short host name in any letter case, or one of the
// IPv4 addresses (dotted) that name resolves to; 0 otherwise and when that cannot be told (also
// when the name does not resolve).
int IsThisComputer(std::string_view name);
int IsThisComputerVia(std::string_view name, const std::string &shortHostName, const std::vector<std::string> &addresses);

}  // namespace wbfax
