#include "DatalinkCommChannel.h"

#include "ErrorHandler.h"

#include <QDateTime>

#include "Crc32.h"

#include <QLoggingCategory>
#include <QTimer>
#include <QtEndian>

Q_LOGGING_CATEGORY(lcCommChannel, "Device.DatalinkCommChannel")

namespace {

quint16 readU16(const QByteArray &data, int offset)
{
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

void writeU16(QByteArray &data, int offset, quint16 value)
{
    qToLittleEndian<quint16>(value, data.data() + offset);
}

// The serial number names the device's folders on the host, so only a plain file name is
// accepted: printable ASCII without path separators and without "..". A heartbeat with any other
// serial is treated like a damaged message. An empty serial (an unprogrammed board) is passed on.
bool isAcceptableSerial(const QByteArray &serial)
{
    if (serial == "." || serial.contains(".."))
        return false;
    for (const char c : serial) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u > 0x7E || c == '/' || c == '\\')
            return false;
    }
    return true;
}

// The refused serial as a person can read it: unprintable bytes as \xNN.
QString printableSerial(const QByteArray &serial)
{
    QString text;
    for (const char c : serial) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u <= 0x7E)
            text += QLatin1Char(c);
        else
            text += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

void buildHelloMessage(QByteArray &message)
{
    message.append(DatalinkCommChannel::buildMessage(dlComm::HelloMessage, 0, 1, {}));
}

DatalinkCommChannel::DatalinkCommChannel(const QByteArray &identity, QObject *parent)
    : QObject(parent)
    , m_identity(identity.left(dlComm::IdentityLength))
{
    qRegisterMetaType<dlComm::Type>("dlComm::Type");
    m_identity = m_identity.leftJustified(dlComm::IdentityLength, ' ');
    m_identity.append('\0');

    // The host heartbeat never changes: family 0, "active", interface None, our identity and an
    // extended device type of -1.
    QByteArray body(dlComm::HeartbeatSize - dlComm::HeaderSize, '\0');
    body[17 - dlComm::HeaderSize] = 1;
    body.replace(dlComm::SerialFieldOffset - dlComm::HeaderSize, dlComm::SerialFieldSize,
                 m_identity);
    qToLittleEndian<qint32>(-1, body.data() + 52 - dlComm::HeaderSize);
    m_heartbeat = buildMessage(dlComm::HeartbeatMessage, 0, 1, body);

    m_heartbeatTimer = new QTimer(this);
    connect(m_heartbeatTimer, &QTimer::timeout, this, &DatalinkCommChannel::generateHeartbeat);
}

DatalinkCommChannel::~DatalinkCommChannel() = default;

void DatalinkCommChannel::setTimings(const DatalinkTimings &timings)
{
    m_timings = timings;
}

bool DatalinkCommChannel::isWatchdogRunning() const
{
    return m_watchdog && m_watchdog->isActive();
}

bool DatalinkCommChannel::isHeartbeatRunning() const
{
    return m_heartbeatTimer->isActive();
}

uint32_t DatalinkCommChannel::getCRC(const QByteArray &message)
{
    if (message.size() <= 4)
        return crc32Update(0xFFFFFFFFu, nullptr, 0);
    return crc32Update(0xFFFFFFFFu, message.constData() + 4, std::uint64_t(message.size() - 4));
}

QByteArray DatalinkCommChannel::buildMessage(uint16_t type, uint8_t value, uint16_t version,
                                             const QByteArray &payload)
{
    QByteArray message(dlComm::HeaderSize, '\0');
    message.append(payload);
    writeU16(message, 4, type);
    writeU16(message, 6, quint16(message.size()));
    message[8] = char(value);
    writeU16(message, 10, version);
    qToLittleEndian<quint32>(getCRC(message), message.data());
    return message;
}

void DatalinkCommChannel::sendCommMessage(uint16_t type, uint8_t value, const QByteArray &payload,
                                          AbstractDataLink::LinkType linkType)
{
    const QByteArray message = buildMessage(type, value, 0, payload);
    if (linkType != AbstractDataLink::None)
        emit WriteDirect(dlComm::ChannelId, m_reliable, message, linkType);
    else
        emit Write(dlComm::ChannelId, m_reliable, message);
}

void DatalinkCommChannel::dataReady(uint16_t channel, QByteArray packet)
{
    // Every frame of every channel arrives here.
    if (channel != dlComm::ChannelId)
        return;
    if (packet.size() < dlComm::HeaderSize || readU16(packet, 6) != packet.size())
        return;
    if (qFromLittleEndian<quint32>(packet.constData()) != getCRC(packet))
        return;

    if (m_datalinkVersion == -1) {
        const quint16 version = readU16(packet, 10);
        m_datalinkVersion = version;
        emit DatalinkVersionReceived(version);
    }

    switch (readU16(packet, 4)) {
    case dlComm::HeartbeatMessage:
        handleHeartbeat(packet);
        break;
    case dlComm::SetInterfaceMessage:
        if (packet.size() >= dlComm::SetInterfaceReplyMinSize)
            emit SetActiveDatalinkReceived(AbstractDataLink::LinkType(readU16(packet, 44)),
                                           packet.at(46) != 0);
        break;
    case dlComm::UdpKeyMessage:
        if (packet.size() >= dlComm::UdpKeyReplyMinSize)
            emit UdpAESKeysReceived(packet.mid(12, 32), packet.mid(44, 16));
        break;
    default:
        break;
    }
}

void DatalinkCommChannel::handleHeartbeat(const QByteArray &packet)
{
    if (m_datalinkVersion != 0 && m_datalinkVersion != 1) {
        // Not fed to the watchdog: a device we cannot talk to ends through it.
        emit unsupportedDeviceConnected(tr("Invalid datalink version."));
        return;
    }
    const int needed = m_datalinkVersion == 0 ? dlComm::HeartbeatSizeV0 : dlComm::HeartbeatSize;
    if (packet.size() < needed)
        return;

    QByteArray serial = packet.mid(dlComm::SerialFieldOffset, dlComm::SerialFieldSize);
    const qsizetype end = serial.indexOf('\0');
    if (end >= 0)
        serial.truncate(end);
    if (!isAcceptableSerial(serial)) {
        if (!m_badSerialWarned) {
            m_badSerialWarned = true;
            qCWarning(lcCommChannel)
                << "Ignoring device heartbeats with an unusable serial number" << serial.toHex(' ');
            ErrorHandler::instance()->pushNotification(
                nimbrel::Error, AbstractNotification::NimbrelLab, tr("Device not shown"),
                tr("A device reported the serial number \"%1\", which cannot name its folders "
                   "(only printable characters without \"/\", \"\\\" or \"..\" are "
                   "accepted). The device is not shown.")
                    .arg(printableSerial(serial)),
                QString(), QDateTime::currentDateTimeUtc());
        }
        return;
    }

    const auto family = dlComm::Type(readU16(packet, 14));
    const bool activeInterface = packet.at(17) != 0;
    const auto interface = AbstractDataLink::LinkType(readU16(packet, 18));
    const int32_t extDevType
        = m_datalinkVersion == 1 ? qFromLittleEndian<qint32>(packet.constData() + 52) : -1;
    emit HeartbeatReceived(QString::fromLatin1(serial), family, activeInterface, interface,
                           extDevType);
    if (m_watchdog)
        m_watchdog->start(m_timings.watchdogTimeoutMs);
}

void DatalinkCommChannel::restartWatchdog(int milliseconds)
{
    if (m_watchdog && m_watchdog->isActive())
        m_watchdog->start(milliseconds);
}

void DatalinkCommChannel::startHeartbeat()
{
    emit Write(dlComm::ChannelId, m_reliable, m_heartbeat);
    m_heartbeatTimer->start(m_timings.heartbeatIntervalMs);
    if (m_watchdog) {
        m_watchdog->stop();
        m_watchdog->deleteLater();
    }
    m_watchdog = new QTimer(this);
    m_watchdog->setSingleShot(true);
    connect(m_watchdog, &QTimer::timeout, this, &DatalinkCommChannel::missedHeartBeat);
    m_watchdog->start(m_timings.watchdogTimeoutMs);
}

void DatalinkCommChannel::stopHeartbeat()
{
    // The heartbeat timer keeps running; its heartbeats go to whatever link is active and are
    // dropped while none is.
    if (m_watchdog) {
        m_watchdog->stop();
        // Deferred: this may run inside the watchdog's own time-out.
        m_watchdog->deleteLater();
        m_watchdog = nullptr;
    }
}

void DatalinkCommChannel::generateHeartbeat()
{
    emit Write(dlComm::ChannelId, m_reliable, m_heartbeat);
}

void DatalinkCommChannel::missedHeartBeat()
{
    emit HeartbeatWatchdogTimeout();
}

void DatalinkCommChannel::requestDeviceInfo(AbstractDataLink::LinkType linkType)
{
    sendCommMessage(dlComm::HeartbeatMessage, 0, m_heartbeat, linkType);
}

void DatalinkCommChannel::setInterface(AbstractDataLink::LinkType newLinkType,
                                       bool noActiveConnection)
{
    QByteArray payload = m_identity.left(dlComm::IdentityLength);
    payload.append('\0');
    payload.append(4, '\0');
    writeU16(payload, dlComm::IdentityLength + 1, newLinkType);
    // Without an active link the request goes directly on the requested link.
    sendCommMessage(dlComm::SetInterfaceMessage, 0, payload,
                    noActiveConnection ? newLinkType : AbstractDataLink::None);
}

void DatalinkCommChannel::setInterface(AbstractDataLink::LinkType newLinkType)
{
    setInterface(newLinkType, false);
}

void DatalinkCommChannel::getAesKey()
{
    sendCommMessage(dlComm::UdpKeyMessage, 0, {}, AbstractDataLink::WiFi);
}
