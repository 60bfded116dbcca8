#include "DeviceDiscovery.h"

#include "MdnsCodec.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QLoggingCategory>

#include <cstdio>
#include <cstring>

namespace orvane::infra {

namespace {

constexpr std::uint16_t TypePtr = 12;
constexpr std::uint16_t TypeTxt = 16;
constexpr std::uint16_t TypeSrv = 33;
constexpr std::size_t NameBufferSize = 256;
constexpr std::size_t ReceiveBufferSize = 2048;
constexpr std::size_t QueryBufferSize = 2048;

Q_LOGGING_CATEGORY(lcDeviceDiscovery, "Brastel.DeviceDiscovery")

// The engine's diagnostics are lines of the program's log, in its format, like every other
// component's; the discovery thread may write them (Qt's logging is thread-safe).
void say(const std::string &line)
{
    qCInfo(lcDeviceDiscovery).noquote() << QString::fromStdString(line);
}

void complain(const std::string &line)
{
    qCWarning(lcDeviceDiscovery).noquote() << QString::fromStdString(line);
}

bool setInt(int fd, int level, int option, int value)
{
    return ::setsockopt(fd, level, option, &value, sizeof(value)) == 0;
}

} // namespace

DeviceDiscovery::DeviceDiscovery(DeviceDiscoveryListener *listener, std::uint32_t recordType,
                                 std::string serviceName, DeviceDiscoverySettings settings)
    : m_listener(listener)
    , m_queryType(recordType)
    , m_serviceName(std::move(serviceName))
    , m_settings(std::move(settings))
{ }

DeviceDiscovery::~DeviceDiscovery()
{
    stop();
}

void DeviceDiscovery::start()
{
    if (m_thread)
        return;
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0) {
        complain("Failed to initialize network device discovery");
        return;
    }
    m_running = true;
    say("Starting network device discovery thread");
    try {
        m_thread = std::make_unique<std::thread>(&DeviceDiscovery::threadLoop, this);
    } catch (...) {
        m_running = false;
        ::close(m_wakeFd);
        m_wakeFd = -1;
        throw;
    }
}

void DeviceDiscovery::stop()
{
    m_running = false;
    if (m_thread) {
        const std::uint64_t one = 1;
        if (::write(m_wakeFd, &one, sizeof(one)) < 0)
            complain("Failed to wake the network device discovery thread");
        m_thread->join();
        m_thread.reset();
    }
    closeSockets();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
        m_wakeFd = -1;
    }
}

void DeviceDiscovery::closeSockets()
{
    for (const auto &[text, local] : m_sockets)
        ::close(local.fd);
    m_sockets.clear();
}

void DeviceDiscovery::threadLoop()
{
    while (m_running) {
        refreshSocketsAndQuery();
        if (!m_running)
            break;
        receiveResponses();
    }
}

void DeviceDiscovery::refreshSocketsAndQuery()
{
    const auto addresses = m_settings.localAddresses ? m_settings.localAddresses() : std::nullopt;
    if (!addresses) {
        complain("Failed to get network adapter addresses");
        return;
    }
    std::set<std::string> present;
    std::vector<std::string> opened;
    for (const LocalAddress &address : *addresses) {
        if (address.family != AF_INET && address.family != AF_INET6)
            continue;
        present.insert(address.text);
        if (address.family == AF_INET && address.text == "127.0.0.1")
            continue;
        if (address.family == AF_INET6
            && (!address.preferred || address.text == "::1" || address.text == "::ffff:127.0.0.1"))
            continue;
        if (m_sockets.count(address.text))
            continue;
        if (const auto local = openSocket(address)) {
            m_sockets[address.text] = *local;
            opened.push_back(address.text);
            say(std::string(address.family == AF_INET ? "Local IPv4 address: "
                                                      : "Local IPv6 address: ")
                + address.text + " (socket: " + std::to_string(local->fd) + ")");
        }
    }

    const MdnsQuestion question{ m_queryType, m_serviceName.data(), m_serviceName.size() };
    std::uint8_t buffer[QueryBufferSize];
    for (const std::string &text : opened) {
        const int fd = m_sockets[text].fd;
        if (sendMdnsQuery(fd, &question, 1, buffer, sizeof(buffer), 0) >= 0) {
            say("Successfully sent service query on interface " + text
                + " (id: " + std::to_string(fd) + ")");
        } else {
            complain("Failed to send service query on interface " + text
                     + " (id: " + std::to_string(fd) + ")");
            ::close(fd);
            m_sockets.erase(text);
        }
    }
    dropVanishedSockets(present);
}

std::optional<DeviceDiscovery::LocalSocket>
DeviceDiscovery::openSocket(const LocalAddress &address) const
{
    const int fd = ::socket(address.family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return std::nullopt;
    const auto fail = [fd] {
        ::close(fd);
        return std::nullopt;
    };
    // On Linux a socket bound to the unicast address receives no multicast: bind the wildcard,
    // join the group on this interface only, and drop what arrives on another one.
    setInt(fd, SOL_SOCKET, SO_REUSEADDR, 1);
    if (address.family == AF_INET) {
        in_addr local{};
        if (::inet_pton(AF_INET, address.text.c_str(), &local) != 1)
            return fail();
        setInt(fd, IPPROTO_IP, IP_MULTICAST_TTL, 1);
        setInt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, 1);
        ip_mreqn join{};
        join.imr_multiaddr.s_addr = htonl(0xE00000FB);
        join.imr_address = local;
        join.imr_ifindex = int(address.interfaceIndex);
        if (::setsockopt(fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &join, sizeof(join)) != 0)
            return fail();
        ip_mreqn outgoing{};
        outgoing.imr_address = local;
        outgoing.imr_ifindex = int(address.interfaceIndex);
        ::setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &outgoing, sizeof(outgoing));
        setInt(fd, IPPROTO_IP, IP_MULTICAST_ALL, 0);
        setInt(fd, IPPROTO_IP, IP_PKTINFO, 1);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_port = htons(MdnsPort);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof(any)) != 0)
            return fail();
    } else {
        setInt(fd, IPPROTO_IPV6, IPV6_V6ONLY, 1);
        setInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_HOPS, 1);
        setInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_LOOP, 1);
        ipv6_mreq join{};
        ::inet_pton(AF_INET6, "ff02::fb", &join.ipv6mr_multiaddr);
        join.ipv6mr_interface = address.interfaceIndex;
        if (::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &join, sizeof(join)) != 0)
            return fail();
        setInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, int(address.interfaceIndex));
        setInt(fd, IPPROTO_IPV6, IPV6_MULTICAST_ALL, 0);
        setInt(fd, IPPROTO_IPV6, IPV6_RECVPKTINFO, 1);
        sockaddr_in6 any{};
        any.sin6_family = AF_INET6;
        any.sin6_port = htons(MdnsPort);
        if (::bind(fd, reinterpret_cast<sockaddr *>(&any), sizeof(any)) != 0)
            return fail();
    }
    return LocalSocket{ fd, address.interfaceIndex };
}

void DeviceDiscovery::dropVanishedSockets(const std::set<std::string> &present)
{
    for (auto it = m_sockets.begin(); it != m_sockets.end();) {
        if (present.count(it->first)) {
            ++it;
            continue;
        }
        const int fd = it->second.fd;
        ::close(fd);
        for (auto known = m_known.begin(); known != m_known.end();) {
            if (known->second.socket != fd) {
                ++known;
                continue;
            }
            if (m_listener)
                m_listener->deviceRemoved(known->second);
            known = m_known.erase(known);
        }
        it = m_sockets.erase(it);
    }
}

void DeviceDiscovery::receiveResponses()
{
    std::vector<pollfd> watched;
    std::vector<LocalSocket> sockets;
    watched.push_back({ m_wakeFd, POLLIN, 0 });
    for (const auto &[text, local] : m_sockets) {
        watched.push_back({ local.fd, POLLIN, 0 });
        sockets.push_back(local);
    }
    const int timeout = sockets.empty() ? m_settings.idleWaitMs : m_settings.waitMs;
    if (::poll(watched.data(), watched.size(), timeout) <= 0)
        return;
    if (watched[0].revents)
        return; // stop() wants the thread back
    std::uint8_t buffer[ReceiveBufferSize];
    for (std::size_t i = 0; i < sockets.size(); ++i) {
        if (!(watched[i + 1].revents & POLLIN))
            continue;
        sockaddr_storage from{};
        socklen_t fromLength = sizeof(from);
        unsigned arrivedOn = 0;
        const long length = receiveMdnsDatagram(sockets[i].fd, buffer, sizeof(buffer), &from,
                                                &fromLength, &arrivedOn);
        if (length <= 0 || arrivedOn != sockets[i].interfaceIndex)
            continue;
        handleDatagram(sockets[i].fd, reinterpret_cast<const sockaddr *>(&from), fromLength, buffer,
                       std::size_t(length));
    }
}

void DeviceDiscovery::handleDatagram(int socket, const sockaddr *from, socklen_t fromLength,
                                     const std::uint8_t *datagram, std::size_t length)
{
    Sender sender{ this, {}, 0 };
    if (from && (from->sa_family == AF_INET || from->sa_family == AF_INET6)) {
        char text[NI_MAXHOST];
        if (::getnameinfo(from, fromLength, text, sizeof(text), nullptr, 0, NI_NUMERICHOST) != 0)
            return;
        sender.address = text;
        sender.family = from->sa_family == AF_INET ? 0 : 1;
    } else {
        sender.family = 2;
    }
    parseMdnsDatagram(socket, from, fromLength, datagram, length, &DeviceDiscovery::onRecordEntry,
                      &sender);
}

int DeviceDiscovery::onRecordEntry(const MdnsRecordView &record)
{
    const auto *sender = static_cast<const Sender *>(record.context);
    sender->engine->onRecord(record, *sender);
    return 0;
}

void DeviceDiscovery::onRecord(const MdnsRecordView &record, const Sender &sender)
{
    char buffer[NameBufferSize];
    std::size_t offset = record.nameOffset;
    const MdnsText name = extractName(record.data, record.size, offset, buffer, sizeof(buffer));
    if (sender.family > 1) {
        complain("Invalid origin address type");
        return;
    }
    const std::string owner(name.str, name.length);
    switch (record.type) {
    case TypePtr:
        onPtrRecord(record, owner, sender);
        break;
    case TypeSrv:
        onSrvRecord(record, owner, sender);
        break;
    case TypeTxt:
        onTxtRecord(record, owner, sender);
        break;
    default:
        break;
    }
}

void DeviceDiscovery::onPtrRecord(const MdnsRecordView &record, const std::string &name,
                                  const Sender &sender)
{
    char buffer[NameBufferSize];
    const MdnsText target = readPtrTarget(record.data, record.size, record.dataOffset,
                                          record.dataLength, buffer, sizeof(buffer));
    const std::string key = std::string(target.str, target.length) + sender.address;
    if (name.size() != m_serviceName.size() + 1
        || name.compare(0, m_serviceName.size(), m_serviceName) != 0 || name.back() != '.')
        return;
    const bool live = record.ttl != 0;
    const auto known = m_known.find(key);
    if (live && known == m_known.end()) {
        NetworkDeviceInfo &info = pendingRecord(key);
        info.address = sender.address;
        info.addressFamily = sender.family;
        info.socket = record.socket;
        info.ptrSeen = true;
    } else if (!live && known != m_known.end()) {
        if (m_listener)
            m_listener->deviceRemoved(known->second);
        if (const auto pending = m_pending.find(key); pending != m_pending.end()) {
            m_pendingOrder.erase(pending->second.order);
            m_pending.erase(pending);
        }
        m_known.erase(known);
    }
    promoteIfComplete(key);
}

void DeviceDiscovery::onSrvRecord(const MdnsRecordView &record, const std::string &name,
                                  const Sender &sender)
{
    char buffer[NameBufferSize];
    const MdnsSrv srv = readSrvRecord(record.data, record.size, record.dataOffset,
                                      record.dataLength, buffer, sizeof(buffer));
    const std::string key = name + sender.address;
    if (record.ttl != 0 && !m_known.count(key)) {
        NetworkDeviceInfo &info = pendingRecord(key);
        info.hostName.assign(srv.target.str, srv.target.length ? srv.target.length - 1 : 0);
        info.serviceName = name.substr(0, name.find('.'));
        info.port = srv.port;
        info.priority = std::int16_t(srv.priority);
        info.weight = std::int16_t(srv.weight);
        info.srvSeen = true;
    }
    promoteIfComplete(key);
}

void DeviceDiscovery::onTxtRecord(const MdnsRecordView &record, const std::string &name,
                                  const Sender &sender)
{
    const std::string key = name + sender.address;
    if (record.ttl != 0) {
        MdnsTxtEntry entries[MdnsMaxTxtEntries];
        const std::size_t count = readTxtEntries(record.data, record.size, record.dataOffset,
                                                 record.dataLength, entries);
        NetworkDeviceInfo &info = pendingRecord(key);
        info.txtEntries.clear();
        const auto *bytes = reinterpret_cast<const char *>(record.data);
        for (std::size_t i = 0; i < count; ++i) {
            std::string entryKey(bytes + entries[i].keyOffset, entries[i].keyLength);
            if (entries[i].valueLength)
                info.txtEntries[entryKey]
                    = std::string(bytes + entries[i].valueOffset, entries[i].valueLength);
            else
                info.txtEntries[entryKey] = std::nullopt;
        }
        info.txtSeen = true;
    }
    promoteIfComplete(key);
}

NetworkDeviceInfo &DeviceDiscovery::pendingRecord(const std::string &key)
{
    if (const auto found = m_pending.find(key); found != m_pending.end())
        return found->second.info;
    while (!m_pending.empty() && m_pending.size() >= m_settings.maxPendingRecords) {
        const auto oldest = m_pendingOrder.begin();
        m_pending.erase(oldest->second);
        m_pendingOrder.erase(oldest);
    }
    const std::uint64_t order = m_nextOrder++;
    m_pendingOrder.emplace(order, key);
    return m_pending.emplace(key, PendingRecord{ {}, order }).first->second.info;
}

bool DeviceDiscovery::isComplete(const NetworkDeviceInfo &info)
{
    return info.ptrSeen && info.srvSeen && info.txtSeen
        && info.txtEntries.count("orvane_device_type")
        && info.txtEntries.count("orvane_device_serial");
}

void DeviceDiscovery::promoteIfComplete(const std::string &key)
{
    const auto pending = m_pending.find(key);
    if (pending == m_pending.end() || !isComplete(pending->second.info))
        return;
    NetworkDeviceInfo &known = m_known[key] = pending->second.info;
    m_pendingOrder.erase(pending->second.order);
    m_pending.erase(pending);
    if (m_listener)
        m_listener->deviceAdded(known);
}

} // namespace orvane::infra
