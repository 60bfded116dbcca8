#pragma once

#include <optional>
#include <string>
#include <vector>

namespace orvane::infra {

// One unicast address of an interface that is up (IFF_UP and IFF_RUNNING).
struct LocalAddress
{
    std::string text; // numeric host text; IPv6 link-local addresses carry their zone ("%eth0")
    int family = 0; // AF_INET or AF_INET6
    unsigned interfaceIndex = 0;
    // IPv6 only: false while the address is tentative, failed duplicate detection or is
    // deprecated (/proc/net/if_inet6); such an address is not used for discovery.
    bool preferred = true;
};

// The addresses of the interfaces that are up, from getifaddrs(); nullopt when the list cannot
// be read.
std::optional<std::vector<LocalAddress>> readLocalAddresses();

} // namespace orvane::infra
