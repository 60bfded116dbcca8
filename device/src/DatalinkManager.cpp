#include "DatalinkManager.h"

#include "DeviceFrame.h"
#include "ErrorHandler.h"

#include <QDateTime>
#include <QLoggingCategory>
#include <QMetaEnum>
#include <QRandomGenerator>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDatalinkManager, "Device.DatalinkManager")

namespace {

// 31 characters in the range 32..125 from a securely seeded generator; it names this host's
// connection to the device, so it must not be predictable.
QByteArray drawIdentity()
{
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    QByteArray identity;
    identity.reserve(dlComm::IdentityLength);
    for (int i = 0; i < dlComm::IdentityLength; ++i) {
        const auto b = static_cast<quint8>(words[i / 4] >> (8 * (i % 4)));
        identity.append(char(b % 94 + 32));
    }
    return identity;
}

const char *linkTypeKey(AbstractDataLink::LinkType type)
{
    const char *key = QMetaEnum::fromType<AbstractDataLink::LinkType>().valueToKey(type);
    return key ? key : "?";
}

} // namespace

DatalinkManager::DatalinkManager(QObject *parent)
    : QObject(parent)
    , m_commChannel(new DatalinkCommChannel(drawIdentity(), this))
{
    connect(this, &DatalinkManager::DataReady, m_commChannel, &DatalinkCommChannel::dataReady,
            Qt::QueuedConnection);
    connect(m_commChannel, &DatalinkCommChannel::Write, this, &DatalinkManager::write);
    connect(m_commChannel, &DatalinkCommChannel::WriteDirect, this,
            qOverload<DatalinkChannelId, bool, QByteArray, AbstractDataLink::LinkType>(
                &DatalinkManager::writeToLink));
    connect(m_commChannel, &DatalinkCommChannel::HeartbeatReceived, this,
            &DatalinkManager::handleHeartbeatReceived);
    connect(m_commChannel, &DatalinkCommChannel::DatalinkVersionReceived, this,
            &DatalinkManager::handleDatalinkVersionReceived);
    connect(m_commChannel, &DatalinkCommChannel::HeartbeatWatchdogTimeout, this,
            &DatalinkManager::handleHeartbeatWatchdogTimeout);
    connect(m_commChannel, &DatalinkCommChannel::SetActiveDatalinkReceived, this,
            &DatalinkManager::handleSetActiveDatalinkReceived);
    connect(m_commChannel, &DatalinkCommChannel::unsupportedDeviceConnected, this,
            &DatalinkManager::onUnsupportedDeviceConnected);
}

DatalinkManager::~DatalinkManager() = default;

void DatalinkManager::setTimings(const DatalinkTimings &timings)
{
    m_timings = timings;
    m_commChannel->setTimings(timings);
}

void DatalinkManager::flushLinks(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    for (AbstractDataLink *link : { m_usbLink, m_wifiLink })
        if (link)
            link->flushPendingWrites(deadline);
}

AbstractDataLink::DatalinkState DatalinkManager::getUsbLinkState() const
{
    return m_usbLink ? m_usbLink->getState() : AbstractDataLink::NotAvailable;
}

AbstractDataLink::DatalinkState DatalinkManager::getWifiLinkState() const
{
    return m_wifiLink ? m_wifiLink->getState() : AbstractDataLink::NotAvailable;
}

AbstractDataLink::DatalinkState DatalinkManager::getBtLinkState() const
{
    return AbstractDataLink::NotAvailable;
}

int DatalinkManager::addDatalink(AbstractDataLink *datalink)
{
    if (!datalink) {
        qCWarning(lcDatalinkManager) << "addDatalink called without a link";
        return -1;
    }
    const AbstractDataLink::LinkType type = datalink->getLinkType();
    if (type == AbstractDataLink::USB) {
        if (m_usbLink)
            return -1;
        m_usbLink = datalink;
    } else if (type == AbstractDataLink::WiFi) {
        if (m_wifiLink)
            return -1;
        m_wifiLink = datalink;
    } else {
        return 0;
    }

    datalink->setParent(this);
    connectDatalink(datalink);
    m_noLinkReported = false;

    if (type == AbstractDataLink::WiFi) {
        // The key exchange belongs to the Wi-Fi link only; it is wired by name so that the manager
        // needs no knowledge of the concrete class.
        const QMetaObject *meta = datalink->metaObject();
        if (meta->indexOfSlot("setAesKeys(QByteArray,QByteArray)") >= 0)
            connect(m_commChannel, SIGNAL(UdpAESKeysReceived(QByteArray, QByteArray)), datalink,
                    SLOT(setAesKeys(QByteArray, QByteArray)));
        if (meta->indexOfSignal("requestAesKeys()") >= 0)
            connect(datalink, SIGNAL(requestAesKeys()), m_commChannel, SLOT(getAesKey()),
                    Qt::DirectConnection);
    }

    datalink->startReading();
    if (type == AbstractDataLink::USB)
        emit usbLinkStateChanged(datalink->getState());
    else
        emit wifiLinkStateChanged(datalink->getState());
    return 0;
}

void DatalinkManager::connectDatalink(AbstractDataLink *datalink)
{
    // Cut off whoever listened before (the factory's connection attempt) so that only the
    // manager decides about the link from now on.
    disconnect(datalink, &AbstractDataLink::packetReceived, nullptr, nullptr);
    disconnect(datalink, &AbstractDataLink::datalinkStateSignal, nullptr, nullptr);
    disconnect(datalink, &QObject::destroyed, nullptr, nullptr);

    connect(datalink, &AbstractDataLink::packetReceived, this, &DatalinkManager::DataReady);
    connect(datalink, &AbstractDataLink::datalinkStateSignal, this,
            &DatalinkManager::handleDatalinkState, Qt::QueuedConnection);
    connect(this, &DatalinkManager::activeLinkTypeChanged, datalink,
            &AbstractDataLink::activeLinkTypeChanged);
    connect(datalink, &QObject::destroyed, this, &DatalinkManager::datalinkDeleted);
}

AbstractDataLink *DatalinkManager::getDatalink(AbstractDataLink::LinkType type) const
{
    if (type == AbstractDataLink::USB)
        return m_usbLink;
    if (type == AbstractDataLink::WiFi)
        return m_wifiLink;
    return nullptr;
}

int DatalinkManager::removeDatalink(AbstractDataLink::LinkType type)
{
    const bool wasActive = type != AbstractDataLink::None && type == m_activeLinkType;
    if (wasActive) {
        m_commChannel->stopHeartbeat();
        emit DisconnectDatalinkSignal();
        resetActiveLinkType();
    }

    AbstractDataLink *link = getDatalink(type);
    if (link) {
        if (type == AbstractDataLink::USB) {
            m_usbLink = nullptr;
        } else {
            m_wifiLink = nullptr;
            qCInfo(lcDatalinkManager) << "removing wifidatalink from DLManager";
        }
        // A link handed on to another manager meanwhile is no longer ours to delete.
        if (link->parent() == this)
            link->deleteLater();
    }

    if (!m_usbLink && !m_wifiLink)
        reportNoLinkLeft();
    else if (wasActive)
        emit isConnected(false);
    return 0;
}

void DatalinkManager::resetActiveLinkType()
{
    // The active link is gone: nothing may be written to a link that no longer exists, and a
    // new link of the same type must be selectable again.
    m_activeLinkType = AbstractDataLink::None;
    emit activeLinkTypeChanged(AbstractDataLink::None);
}

void DatalinkManager::reportNoLinkLeft()
{
    if (m_noLinkReported)
        return;
    m_noLinkReported = true;
    emit isConnected(false);
    emit deviceNotAvailable();
}

void DatalinkManager::setActiveDatalinkConnection(AbstractDataLink::LinkType linkType)
{
    if (linkType >= AbstractDataLink::NrOfLinkTypes) {
        qCWarning(lcDatalinkManager) << "Ignoring request for unknown datalink" << int(linkType);
        return;
    }
    if (linkType == m_activeLinkType)
        return;

    if (m_wifiLink)
        m_wifiLink->setSelfTimeoutArmed(linkType != AbstractDataLink::WiFi);
    m_requestedLinkType = linkType;

    if (linkType == AbstractDataLink::None) {
        m_commChannel->stopHeartbeat();
        m_commChannel->setInterface(AbstractDataLink::None, false);
        qCInfo(lcDatalinkManager) << "Set datalink to: " << linkTypeKey(linkType);
        return;
    }

    if (m_activeLinkType == AbstractDataLink::None) {
        m_commChannel->startHeartbeat();
        m_commChannel->setInterface(linkType, true);
    } else {
        m_commChannel->setInterface(linkType, false);
    }
    qCInfo(lcDatalinkManager) << "Set datalink to: " << linkTypeKey(linkType);
}

void DatalinkManager::write(DatalinkChannelId channel, bool isReliable, QByteArray buffer)
{
    writeToLink(channel, isReliable, buffer, m_activeLinkType);
}

void DatalinkManager::writeToLink(DatalinkChannelId channel, bool isReliable, QByteArray buffer,
                                  AbstractDataLink::LinkType linkType)
{
    if (buffer.size() > deviceframe::MaxPayloadSize) {
        // The length field and every receiver stop at 1024-byte frames; a longer frame would be
        // cut or misread by the device, so nothing is sent.
        qCWarning(lcDatalinkManager)
            << "Refusing to send" << buffer.size() << "bytes on channel" << channel << "- at most"
            << deviceframe::MaxPayloadSize << "fit in one frame";
        return;
    }
    AbstractDataLink *link = nullptr;
    if (linkType == AbstractDataLink::USB || linkType == AbstractDataLink::WiFi)
        link = getDatalink(linkType);
    if (!link)
        return;
    link->sendPacket(channel, isReliable, deviceframe::buildFrame(channel, buffer));
}

void DatalinkManager::writeToLink(DatalinkChannelId channel, bool isReliable, QByteArray buffer)
{
    writeToLink(channel, isReliable, buffer, AbstractDataLink::None);
}

void DatalinkManager::datalinkDeleted(QObject *obj)
{
    AbstractDataLink::LinkType type = AbstractDataLink::None;
    if (obj && obj == m_usbLink) {
        m_usbLink = nullptr;
        type = AbstractDataLink::USB;
    } else if (obj && obj == m_wifiLink) {
        m_wifiLink = nullptr;
        type = AbstractDataLink::WiFi;
    } else {
        return;
    }

    // A held link destroyed by someone else ends the same way as a removed one.
    const bool wasActive = type == m_activeLinkType;
    if (wasActive) {
        m_commChannel->stopHeartbeat();
        emit DisconnectDatalinkSignal();
        resetActiveLinkType();
    }
    if (!m_usbLink && !m_wifiLink)
        reportNoLinkLeft();
    else if (wasActive)
        emit isConnected(false);
}

void DatalinkManager::handleDatalinkState(AbstractDataLink::LinkType type,
                                          AbstractDataLink::DatalinkState state)
{
    // State changes arrive queued. One from a link that is no longer held (removed, deleted or
    // replaced by a new link of the same type) must not act on the link held now.
    if (QObject *from = sender(); from && from != getDatalink(type)) {
        qCDebug(lcDatalinkManager)
            << "Ignoring state" << state << "of a released" << type << "link";
        return;
    }

    if (state == AbstractDataLink::Connected) {
        if (m_deviceInfoTimer) {
            m_deviceInfoTimer->stop();
            m_deviceInfoTimer->deleteLater();
        }
        m_lastConnectedLinkType = type;
        m_deviceInfoTimer = new QTimer(this);
        m_deviceInfoTimer->setSingleShot(true);
        connect(m_deviceInfoTimer, &QTimer::timeout, this, &DatalinkManager::initDeviceTimeout);
        m_deviceInfoTimer->start(m_timings.deviceInfoTimeoutMs);
        m_commChannel->requestDeviceInfo(type);
    } else if (state == AbstractDataLink::Invalid) {
        removeDatalink(type);
    }

    switch (type) {
    case AbstractDataLink::USB:
        emit usbLinkStateChanged(state);
        break;
    case AbstractDataLink::WiFi:
        emit wifiLinkStateChanged(state);
        break;
    case AbstractDataLink::Bluetooth:
        emit btLinkStateChanged(state);
        break;
    default:
        break;
    }
}

void DatalinkManager::handleDatalinkVersionReceived(uint16_t dlVersion)
{
    m_datalinkVersion = dlVersion;
}

void DatalinkManager::handleHeartbeatReceived(QString serialNumber, dlComm::Type type,
                                              bool activeInterface,
                                              AbstractDataLink::LinkType interface,
                                              int32_t extDevType)
{
    if (interface != m_activeLinkType || activeInterface) {
        if (m_deviceInfoTimer) {
            m_deviceInfoTimer->stop();
            m_deviceInfoTimer->deleteLater();
            m_deviceInfoTimer = nullptr;
        }
        if (!m_deviceInfoReported) {
            m_deviceInfoReported = true;
            const AbstractDataLink::LinkType link = m_activeLinkType != AbstractDataLink::None
                ? m_activeLinkType
                : m_lastConnectedLinkType;
            emit deviceInfoReceived(serialNumber, type, link, extDevType);
        }
    } else {
        // The device heartbeats on the link we hold as active but calls it inactive.
        emit DisconnectDatalinkSignal();
    }
}

void DatalinkManager::handleSetActiveDatalinkReceived(AbstractDataLink::LinkType interface,
                                                      bool accepted)
{
    if (interface >= AbstractDataLink::NrOfLinkTypes) {
        qCWarning(lcDatalinkManager)
            << "Ignoring set-interface reply for unknown datalink" << int(interface);
        return;
    }
    if (m_requestedLinkType != interface) {
        qCWarning(lcDatalinkManager)
            << "Ignoring set-interface reply for" << linkTypeKey(interface)
            << "(accepted:" << accepted << "): no such request is outstanding";
        return;
    }
    if (interface != AbstractDataLink::None && !getDatalink(interface)) {
        qCWarning(lcDatalinkManager) << "Ignoring set-interface reply for" << linkTypeKey(interface)
                                     << "(accepted:" << accepted << "): no such link is held";
        m_requestedLinkType.reset();
        return;
    }
    m_requestedLinkType.reset();
    if (!accepted) {
        qCInfo(lcDatalinkManager) << "Could not set active Datalink";
        return;
    }
    if (interface == AbstractDataLink::WiFi)
        emit wifiConnectionCompleted();
    m_activeLinkType = interface;
    emit activeLinkTypeChanged(interface);
    emit isConnected(m_activeLinkType != AbstractDataLink::None);
}

void DatalinkManager::handleHeartbeatWatchdogTimeout()
{
    qCWarning(lcDatalinkManager) << "Heartbeat Timeout";
    m_deviceInfoReported = false;
    if (m_activeLinkType != AbstractDataLink::None) {
        // Also reports the loss of connection.
        removeDatalink(m_activeLinkType);
        return;
    }
    m_commChannel->stopHeartbeat();
    emit DisconnectDatalinkSignal();
    emit isConnected(false);
}

void DatalinkManager::initDeviceTimeout()
{
    if (m_deviceInfoTimer) {
        m_deviceInfoTimer->deleteLater();
        m_deviceInfoTimer = nullptr;
    }
    emit deviceNotAvailable();
}

void DatalinkManager::onUnsupportedDeviceConnected(QString msg)
{
    // Every heartbeat of such a device reports it; the user is told once.
    if (m_unsupportedReported)
        return;
    m_unsupportedReported = true;
    qCWarning(lcDatalinkManager) << "Unsupported device connected:" << msg;
    ErrorHandler::instance()->pushNotification(
        nimbrel::Error, AbstractNotification::NimbrelLab, tr("Unsupported device"),
        tr("Unsupported device connected: %1\n\nPlease update your Nimbrel Lab to the latest "
           "version.")
            .arg(msg),
        QString(), QDateTime::currentDateTimeUtc());
}
