#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace orvane::infra {

// What the discovery engine learnt about one service instance heard from one sender address.
struct NetworkDeviceInfo
{
    std::string hostName; // the SRV target without its final dot
    std::string serviceName; // the instance label
    std::string address; // the sender's numeric address, without port
    std::uint32_t addressFamily = 0; // 0 = IPv4, 1 = IPv6
    std::uint16_t port = 0;
    std::int16_t priority = 0;
    std::int16_t weight = 0;
    std::map<std::string, std::optional<std::string>> txtEntries;
    std::int32_t socket = -1; // the local socket the PTR record arrived on
    bool ptrSeen = false;
    bool srvSeen = false;
    bool txtSeen = false;
};

} // namespace orvane::infra
