#pragma once

#include "AbstractDataLink.h"
#include "OrvDevice.h"
#include "OrvFactorySettings.h"
#include "Pelto.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class WifiDatalink;

// Finds controllers and turns links into device objects. Every new link is wrapped in a temporary
// OrvDevice until the device has told its serial number and family; then the link is handed to
// the known Pelto with that serial ("Coupled") or a new Pelto is built from the temporary device.
// Other families are dropped. The factory keeps the list of Peltos, the selected device, one
// Wi-Fi connection attempt at a time (retried every reconnectDelayMs until it succeeds or is
// cancelled) and a memory of which link a device must be made active on when it comes back.
//
// Ownership: the factory owns every device it made (QObject children) and the link of a running
// connection attempt; devices go with deferred deletion when they ask to, and synchronously when
// the factory is destroyed. Threading: everything here runs on the GUI thread.
class OrvFactory : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QList<Pelto *> _deviceList READ deviceList NOTIFY DeviceListChanged)
    Q_PROPERTY(OrvDevice *selectedDevice READ selectedDevice WRITE setSelectedDevice NOTIFY
                   SelectedDeviceChanged)
    Q_PROPERTY(bool autoConnectState READ getAutoConnectState NOTIFY AutoConnectStateChanged)
    Q_PROPERTY(bool connectionAttempt READ connectionAttempt WRITE setConnectionAttempt NOTIFY
                   ConnectionAttemptChanged)
    Q_PROPERTY(QString connectionAttemptAddress READ connectionAttemptAddress WRITE
                   setConnectionAttemptAddress NOTIFY ConnectionAttemptAddressChanged)

public:
    explicit OrvFactory(QObject *parent = nullptr, const OrvFactorySettings &settings = {});
    ~OrvFactory() override;

    const OrvFactorySettings &settings() const { return m_settings; }
    QList<Pelto *> deviceList() const { return m_deviceList; }
    OrvDevice *selectedDevice() const { return m_selectedDevice; }
    bool connectionAttempt() const { return m_connectionAttemptRunning; }
    void setConnectionAttempt(bool running);
    QString connectionAttemptAddress() const { return m_connectionAttemptAddress; }
    void setConnectionAttemptAddress(const QString &address);
    // Temporary devices still waiting for their identity.
    int pendingDeviceCount() const { return int(m_pendingDevices.size()); }

    Q_INVOKABLE void insertNetworkOrvDevice(QString hostAdress);
    Q_INVOKABLE void cancelConnectionAttempt();
    Q_INVOKABLE void autoConnectUpdated(bool checked);

signals:
    void DeviceListChanged(QList<Pelto *> list);
    void SelectedDeviceChanged(const OrvDevice *dev);
    void ActiveDeviceChanged(const OrvDevice *dev);
    void AutoConnectStateChanged(bool state);
    void orvDeviceConnected(const OrvDevice *dev, bool isConnected);
    void wifiConnectionEstablished();
    void TempUploadFirmware(QString fw);
    void ConnectionAttemptChanged(bool state);
    void ConnectionAttemptAddressChanged();

public slots:
    void removeDevice(OrvDevice *dev);
    void setSelectedDevice(OrvDevice *device);
    void orvDeviceConnectedCallback(OrvDevice *orvDevice, OrvDevice::DeviceType type,
                                    AbstractDataLink::LinkType linkType);
    void connectionAttemptCompleted();
    void connectionAttemptFailed();
    void connectionAttemptStateChanged(AbstractDataLink::LinkType type,
                                       AbstractDataLink::DatalinkState state);
    void deviceConnectionChanged(OrvDevice *dev, bool isConnected);
    void addToAutoConnect(OrvDevice *device, AbstractDataLink::LinkType linkType);
    bool getAutoConnectState() const { return m_autoConnect; }
    void promoteToWIFIOrvDevice(WifiDatalink *datalink);
    void handleReconnectTimerTimeOut();

private:
    void promoteToOrvDevice(AbstractDataLink *datalink);
    bool checkAutoConnect(const QString &serialNumber, AbstractDataLink::LinkType linkType);
    Pelto *buildPelto(OrvDevice *source);
    OrvDevice *findDevice(const QString &serialNumber) const;
    void dropPendingDevice(OrvDevice *device);
    void holdAttempt(WifiDatalink *link);
    WifiDatalink *releaseAttempt();
    void deleteDevicesNow();

    OrvFactorySettings m_settings;
    QList<Pelto *> m_deviceList;
    QPointer<OrvDevice> m_selectedDevice;
    QPointer<WifiDatalink> m_connectionAttempt;
    QList<QMetaObject::Connection> m_attemptConnections;
    QTimer m_reconnectTimer;
    bool m_retryFailedAttempts = true;
    bool m_connectionAttemptRunning = false;
    QString m_connectionAttemptAddress;
    QList<OrvDevice *> m_devices;
    QList<OrvDevice *> m_pendingDevices;
    QHash<QString, AbstractDataLink::LinkType> m_autoConnectMemory;
    bool m_shuttingDown = false;
    bool m_autoConnect = true;
};
