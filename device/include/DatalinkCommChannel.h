#pragma once

#include "AbstractDataLink.h"
#include "DatalinkTimings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>

class QTimer;

namespace dlComm {
Q_NAMESPACE

// Device family as reported in a device heartbeat (u16). Other values can arrive from a device
// and are kept as they are.
enum Type : std::uint16_t {
    Unknown = 0,
    Pelto = 1,
    Halvex = 2,
};
Q_ENUM_NS(Type)

// Channel-0 message types.
enum MessageType : std::uint16_t {
    HeartbeatMessage = 0, // also the device-info request
    SetInterfaceMessage = 1,
    HelloMessage = 2,
    UdpKeyMessage = 3,
};

constexpr int HeaderSize = 12;
constexpr int HeartbeatSize = 56;
constexpr int HeartbeatSizeV0 = 52; // version 0 heartbeats end before the extended device type
constexpr int DeviceInfoRequestSize = HeaderSize + HeartbeatSize; // 68
constexpr int SetInterfaceSize = 48;
constexpr int SetInterfaceReplyMinSize = 47;
constexpr int HelloSize = HeaderSize;
constexpr int UdpKeyReplyMinSize = 60;
constexpr int IdentityLength = 31;
constexpr int SerialFieldOffset = 20;
constexpr int SerialFieldSize = 32;
constexpr int ChannelId = 0;

} // namespace dlComm

// Appends the 12-byte hello (type 2, datalink version 1) to `message`. Only the Wi-Fi link sends
// it, over UDP, so that the device learns the host's endpoint.
void buildHelloMessage(QByteArray &message);

// The link-management protocol on channel 0: the host heartbeat and the device's watchdog, the
// device-info request, the active-interface request and the UDP key request, and the parsing of
// the device's messages. Every channel-0 message carries a 12-byte header with a CRC-32/MPEG-2
// over everything behind the CRC field.
//
// Ownership: a child of its DatalinkManager, which wires it. Threading: GUI thread only.
class DatalinkCommChannel : public QObject
{
    Q_OBJECT

public:
    // `identity` names this host's connection; exactly 31 characters are used (shorter is padded
    // with spaces).
    explicit DatalinkCommChannel(const QByteArray &identity, QObject *parent = nullptr);
    ~DatalinkCommChannel() override;

    // Takes effect the next time each timer starts.
    void setTimings(const DatalinkTimings &timings);
    DatalinkTimings timings() const { return m_timings; }

    // -1 until the first valid message arrived, then the version that message carried.
    int datalinkVersion() const { return m_datalinkVersion; }
    bool isReliable() const { return m_reliable; }
    bool isWatchdogRunning() const;
    bool isHeartbeatRunning() const;
    // Gives a running watchdog `milliseconds` from now; the next heartbeat restarts it with the
    // usual time-out.
    void restartWatchdog(int milliseconds);
    // The host heartbeat (56 bytes), built once.
    QByteArray heartbeatMessage() const { return m_heartbeat; }

    // CRC-32/MPEG-2 from 0xFFFFFFFF over bytes 4.. of `message` (a whole channel-0 message).
    static uint32_t getCRC(const QByteArray &message);

    // Builds the header (type, length, value, version 0, CRC) in front of `payload`. With a link
    // type other than None the message goes out directly on that link (WriteDirect), otherwise on
    // the active link (Write).
    void sendCommMessage(uint16_t type, uint8_t value, const QByteArray &payload,
                         AbstractDataLink::LinkType linkType);

    // Builds a whole message with the given datalink version (the heartbeat and the hello carry 1).
    static QByteArray buildMessage(uint16_t type, uint8_t value, uint16_t version,
                                   const QByteArray &payload);

signals:
    void Write(DatalinkChannelId channel, bool isReliable, QByteArray packet);
    void WriteDirect(DatalinkChannelId channel, bool isReliable, QByteArray packet,
                     AbstractDataLink::LinkType linkType);
    void DatalinkVersionReceived(uint16_t dlVersion);
    void HeartbeatReceived(QString serialNumber, dlComm::Type type, bool activeInterface,
                           AbstractDataLink::LinkType interface, int32_t extDevType);
    void SetActiveDatalinkReceived(AbstractDataLink::LinkType interface, bool accepted);
    void UdpAESKeysReceived(QByteArray key, QByteArray iv);
    void HeartbeatWatchdogTimeout();
    void unsupportedDeviceConnected(QString msg);

public slots:
    void dataReady(uint16_t channel, QByteArray packet);
    void startHeartbeat();
    void stopHeartbeat();
    void generateHeartbeat();
    void missedHeartBeat();
    void requestDeviceInfo(AbstractDataLink::LinkType linkType);
    void setInterface(AbstractDataLink::LinkType newLinkType, bool noActiveConnection);
    void setInterface(AbstractDataLink::LinkType newLinkType);
    void getAesKey();

private:
    void handleHeartbeat(const QByteArray &packet);

    const bool m_reliable = true;
    QByteArray m_identity; // 31 characters and a zero byte
    int m_datalinkVersion = -1;
    QByteArray m_heartbeat;
    QTimer *m_watchdog = nullptr;
    QTimer *m_heartbeatTimer = nullptr;
    DatalinkTimings m_timings;
    bool m_badSerialWarned = false;
};
