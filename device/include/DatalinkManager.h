#pragma once

#include "AbstractDataLink.h"
#include "DatalinkCommChannel.h"
#include "DatalinkTimings.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <optional>

class QTimer;

// Holds a device's links (at most one USB and one Wi-Fi link), agrees with the device on the
// active link, keeps it alive with the channel-0 heartbeat, learns the device's identity and
// notices when the device falls silent. It is the one write path of every channel service
// (write -> device frame -> active link) and hands every received frame to every service
// (DataReady).
//
// Ownership: a child of its device object. Adopted links become children of the manager; a link
// that reports Invalid is removed and deleted later. Threading: GUI thread only; link state changes
// arrive queued, so links may signal from their own threads.
class DatalinkManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(AbstractDataLink::LinkType activeLinkType READ getActiveLinkType NOTIFY
                   activeLinkTypeChanged)
    Q_PROPERTY(AbstractDataLink::DatalinkState usbLinkState READ getUsbLinkState NOTIFY
                   usbLinkStateChanged)
    Q_PROPERTY(AbstractDataLink::DatalinkState wifiLinkState READ getWifiLinkState NOTIFY
                   wifiLinkStateChanged)
    Q_PROPERTY(
        AbstractDataLink::DatalinkState btLinkState READ getBtLinkState NOTIFY btLinkStateChanged)

public:
    explicit DatalinkManager(QObject *parent = nullptr);
    ~DatalinkManager() override;

    // Set before the first link is added; passed on to the comm channel.
    void setTimings(const DatalinkTimings &timings);
    DatalinkTimings timings() const { return m_timings; }

    DatalinkCommChannel *commChannel() const { return m_commChannel; }

    AbstractDataLink::LinkType getActiveLinkType() const { return m_activeLinkType; }
    AbstractDataLink::LinkType getLastConnectedLinkType() const { return m_lastConnectedLinkType; }
    AbstractDataLink::DatalinkState getUsbLinkState() const;
    AbstractDataLink::DatalinkState getWifiLinkState() const;
    AbstractDataLink::DatalinkState getBtLinkState() const;
    uint16_t datalinkVersion() const { return m_datalinkVersion; }

    // Pushes out what the held links still buffer for the device, waiting `timeoutMs` at the
    // most altogether. For a device object's last words before its links close; blocks.
    void flushLinks(int timeoutMs);
    bool isDeviceInfoReported() const { return m_deviceInfoReported; }

signals:
    void DataReady(uint16_t channel, QByteArray packet);
    void activeLinkTypeChanged(AbstractDataLink::LinkType interface);
    void deviceInfoReceived(QString serial, dlComm::Type type, AbstractDataLink::LinkType linktype,
                            int32_t extDevType);
    void isConnected(bool connected);
    void deviceNotAvailable();
    void DisconnectDatalinkSignal();
    void wifiConnectionCompleted();
    void usbLinkStateChanged(AbstractDataLink::DatalinkState state);
    void wifiLinkStateChanged(AbstractDataLink::DatalinkState state);
    void btLinkStateChanged(AbstractDataLink::DatalinkState state);

public slots:
    // 0, or -1 when a link of that type is held already (the new link is then left alone).
    int addDatalink(AbstractDataLink *datalink);
    AbstractDataLink *getDatalink(AbstractDataLink::LinkType type) const;
    int removeDatalink(AbstractDataLink::LinkType type);
    void setActiveDatalinkConnection(AbstractDataLink::LinkType linkType);

    // The write path of every channel service: frames `buffer` and sends it on the active link.
    void write(DatalinkChannelId channel, bool isReliable, QByteArray buffer);
    // Frames `buffer` (at most 1018 bytes) and sends it on the given link, if held.
    void writeToLink(DatalinkChannelId channel, bool isReliable, QByteArray buffer,
                     AbstractDataLink::LinkType linkType);
    void writeToLink(DatalinkChannelId channel, bool isReliable, QByteArray buffer);

    void datalinkDeleted(QObject *obj);
    void handleDatalinkState(AbstractDataLink::LinkType type,
                             AbstractDataLink::DatalinkState state);
    void handleDatalinkVersionReceived(uint16_t dlVersion);
    void handleHeartbeatReceived(QString serialNumber, dlComm::Type type, bool activeInterface,
                                 AbstractDataLink::LinkType interface, int32_t extDevType);
    void handleSetActiveDatalinkReceived(AbstractDataLink::LinkType interface, bool accepted);
    void handleHeartbeatWatchdogTimeout();
    void initDeviceTimeout();
    void onUnsupportedDeviceConnected(QString msg);

private:
    void connectDatalink(AbstractDataLink *datalink);
    void reportNoLinkLeft();
    void resetActiveLinkType();

    DatalinkCommChannel *m_commChannel = nullptr;
    AbstractDataLink::LinkType m_activeLinkType = AbstractDataLink::None;
    AbstractDataLink::LinkType m_lastConnectedLinkType = AbstractDataLink::None;
    // The link the last set-interface request asked for, while its answer is outstanding. Only
    // that answer is taken: the device's reply names a link, and one the host did not ask for
    // (or no longer holds) would leave the active link pointing at nothing.
    std::optional<AbstractDataLink::LinkType> m_requestedLinkType;
    AbstractDataLink *m_usbLink = nullptr;
    AbstractDataLink *m_wifiLink = nullptr;
    uint16_t m_datalinkVersion = 0;
    QTimer *m_deviceInfoTimer = nullptr;
    bool m_deviceInfoReported = false;
    // Reporting that no link is left happens once until a link is added again.
    bool m_noLinkReported = false;
    bool m_unsupportedReported = false;
    DatalinkTimings m_timings;
};
