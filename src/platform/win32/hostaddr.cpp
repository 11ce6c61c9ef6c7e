// The IPv4 addresses of a host name, through Windows Sockets 1.1 as the module has always asked.
#include "platform/platform.h"
#include "platform/win32/win32_internal.h"

#include <cstring>

namespace wbfax::platform {

std::vector<std::string> HostAddresses(const std::string &name) {
    std::vector<std::string> addresses;
    const hostent *host = ::gethostbyname(name.c_str());
    if (!host || host->h_addrtype != AF_INET) return addresses;
    for (char **entry = host->h_addr_list; *entry; ++entry) {
        in_addr address;
        std::memcpy(&address, *entry, sizeof address);
        addresses.emplace_back(::inet_ntoa(address));
    }
    return addresses;
}

}  // namespace wbfax::platform
