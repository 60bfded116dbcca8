#pragma once

#include "DeviceDiscoveryListener.h"
#include "LocalAddresses.h"
#include "NetworkDeviceInfo.h"

#include <sys/socket.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace orvane::infra {

struct MdnsRecordView;

struct DeviceDiscoverySettings
{
    // The local addresses to discover on; readLocalAddresses() by default. Tests hand in a list.
    std::function<std::optional<std::vector<LocalAddress>>()> localAddresses = readLocalAddresses;
    // Longest wait for answers before the next adapter scan.
    int waitMs = 10000;
    // Pause between scans while no socket is open.
    int idleWaitMs = 1000;
    // Incomplete records kept at most; the oldest goes first when a new one would pass the bound,
    // so a busy or hostile network cannot grow the map without limit.
    std::size_t maxPendingRecords = 256;
};

// Finds devices that announce a service by multicast DNS (DNS-SD): from every usable local
// address it asks once for the service's PTR records, collects PTR, SRV and TXT records per
// instance and sender address, and reports a device once all three are in and the TXT record
// holds "orvane_device_type" and "orvane_device_serial". A PTR goodbye or the loss of the local
// address it was heard on reports it removed. Diagnostics are log lines of
// "Brastel.DeviceDiscovery".
//
// Threads: start() and stop() are called on the owner's thread. The discovery thread owns the
// sockets and both record maps while it runs and calls the listener; stop() touches them only
// after joining it. handleDatagram() and the counts are for use while the engine is not started.
class DeviceDiscovery
{
public:
    DeviceDiscovery(DeviceDiscoveryListener *listener, std::uint32_t recordType,
                    std::string serviceName, DeviceDiscoverySettings settings = {});
    ~DeviceDiscovery();
    DeviceDiscovery(const DeviceDiscovery &) = delete;
    DeviceDiscovery &operator=(const DeviceDiscovery &) = delete;

    // Starts the discovery thread; a failure to create it is thrown as std::system_error.
    void start();
    // Wakes the thread through its wake-up descriptor and joins it, then closes the sockets;
    // returns within the time the thread needs to finish the datagrams at hand.
    void stop();

    // Applies the records of one datagram received on `socket` from `from`.
    void handleDatagram(int socket, const sockaddr *from, socklen_t fromLength,
                        const std::uint8_t *datagram, std::size_t length);

    std::size_t pendingCount() const { return m_pending.size(); }
    std::size_t knownCount() const { return m_known.size(); }

private:
    struct LocalSocket
    {
        int fd = -1;
        unsigned interfaceIndex = 0;
    };
    struct PendingRecord
    {
        NetworkDeviceInfo info;
        std::uint64_t order = 0;
    };
    struct Sender
    {
        DeviceDiscovery *engine;
        std::string address;
        std::uint32_t family;
    };

    void threadLoop();
    void refreshSocketsAndQuery();
    void receiveResponses();
    void dropVanishedSockets(const std::set<std::string> &present);
    std::optional<LocalSocket> openSocket(const LocalAddress &address) const;
    void closeSockets();

    static int onRecordEntry(const MdnsRecordView &record);
    void onRecord(const MdnsRecordView &record, const Sender &sender);
    void onPtrRecord(const MdnsRecordView &record, const std::string &name, const Sender &sender);
    void onSrvRecord(const MdnsRecordView &record, const std::string &name, const Sender &sender);
    void onTxtRecord(const MdnsRecordView &record, const std::string &name, const Sender &sender);
    void promoteIfComplete(const std::string &key);
    NetworkDeviceInfo &pendingRecord(const std::string &key);
    static bool isComplete(const NetworkDeviceInfo &info);

    DeviceDiscoveryListener *m_listener;
    std::unique_ptr<std::thread> m_thread;
    std::atomic<bool> m_running{ false };
    int m_wakeFd = -1;
    std::map<std::string, LocalSocket> m_sockets;
    std::uint32_t m_queryType;
    std::string m_serviceName;
    std::map<std::string, PendingRecord> m_pending;
    std::map<std::uint64_t, std::string> m_pendingOrder;
    std::uint64_t m_nextOrder = 0;
    std::map<std::string, NetworkDeviceInfo> m_known;
    DeviceDiscoverySettings m_settings;
};

} // namespace orvane::infra
