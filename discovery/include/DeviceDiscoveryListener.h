#pragma once

#include "NetworkDeviceInfo.h"

namespace orvane::infra {

// Receives the discovery engine's reports, on the engine's own thread: hand any work on objects
// of another thread over to that thread.
class DeviceDiscoveryListener
{
public:
    virtual void deviceAdded(NetworkDeviceInfo info) = 0;
    virtual void deviceRemoved(NetworkDeviceInfo info) = 0;

protected:
    // Never deleted through this interface.
    ~DeviceDiscoveryListener() = default;
};

} // namespace orvane::infra
