#include "LocalAddresses.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>

#include <cstdio>
#include <cstring>
#include <map>

namespace orvane::infra {

namespace {

// IFA_F_* flags of /proc/net/if_inet6 that make an address unusable for sending.
// IFA_F_DADFAILED, IFA_F_DEPRECATED and IFA_F_TENTATIVE.
constexpr unsigned NotPreferredFlags = 0x08 | 0x20 | 0x40;

// Address (32 hex digits) + interface index -> flags, as the kernel lists them.
std::map<std::pair<std::string, unsigned>, unsigned> readInet6Flags()
{
    std::map<std::pair<std::string, unsigned>, unsigned> flags;
    FILE *file = std::fopen("/proc/net/if_inet6", "re");
    if (!file)
        return flags;
    char hex[33];
    unsigned index, prefix, scope, state;
    char name[IF_NAMESIZE + 1];
    while (std::fscanf(file, "%32s %x %x %x %x %16s", hex, &index, &prefix, &scope, &state, name)
           == 6)
        flags[{ hex, index }] = state;
    std::fclose(file);
    return flags;
}

std::string hexOf(const in6_addr &address)
{
    char hex[33];
    for (int i = 0; i < 16; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", address.s6_addr[i]);
    return hex;
}

} // namespace

std::optional<std::vector<LocalAddress>> readLocalAddresses()
{
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) != 0)
        return std::nullopt;
    const auto inet6Flags = readInet6Flags();
    std::vector<LocalAddress> addresses;
    for (ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_addr
            || (entry->ifa_flags & (IFF_UP | IFF_RUNNING)) != (IFF_UP | IFF_RUNNING))
            continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6)
            continue;
        LocalAddress address;
        address.family = family;
        address.interfaceIndex = ::if_nametoindex(entry->ifa_name);
        const socklen_t length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
        char text[NI_MAXHOST];
        if (::getnameinfo(entry->ifa_addr, length, text, sizeof(text), nullptr, 0, NI_NUMERICHOST)
            != 0)
            continue;
        address.text = text;
        if (family == AF_INET6) {
            const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(entry->ifa_addr);
            const auto found = inet6Flags.find({ hexOf(in6->sin6_addr), address.interfaceIndex });
            address.preferred = found == inet6Flags.end() || !(found->second & NotPreferredFlags);
        }
        addresses.push_back(std::move(address));
    }
    ::freeifaddrs(list);
    return addresses;
}

} // namespace orvane::infra
