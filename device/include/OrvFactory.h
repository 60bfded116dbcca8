#pragma once

#include "AbstractDataLink.h"
#include "OrvDevice.h"
#include "OrvFactorySettings.h"
#include "Pelto.h"
#include "USBDataLink.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class UsbDiscovery;
class WifiDatalink;

// Finds controllers and turns links into device objects. Every new link is wrapped in a temporary
// OrvDevice until the device has told its serial number and family; then the link is handed to
// the known Pelto with that serial ("Coupled") or a new Pelto is built from the temporary device.
// Other families are dropped. The factory keeps the list of Peltos, the selected device, one
// Wi-Fi connection attempt at a time (retried every reconnectDelayMs until it succeeds or is
// cancelled) and a memory of which link a device must be made active on when it comes back.
//
// USB: the factory owns the libusb context, a discovery thread that opens each new Pelto on the
// bus and hands its USBDataLink over (USBOrvdeviceDiscovered, queued), and the libusb event
// thread; when a USB link is gone its device is released here (DeleteUsb -> deinitUSBDevice).
// Without libusb ("Could not initialise USB driver.") the factory works over Wi-Fi alone.
//
// Ownership: the factory owns every device it made (QObject children) and the link of a running
// connection attempt; devices go with deferred deletion when they ask to, and synchronously when
// the factory is destroyed. Destruction ends discovery first, then deletes devices and links
// while the event thread still runs (so their transfers come back), releases their USB devices,
// stops the event thread and only then leaves libusb. Threading: everything here runs on the GUI
// thread except the discovery and event threads of UsbDiscovery.
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
    // USB: whether libusb runs, the devices open now, whether the event thread runs, and how many
    // discovery passes have walked the bus.
    bool isUsbAvailable() const;
    int usbDeviceCount() const;
    bool isUsbEventThreadRunning() const;
    long usbDiscoveryPasses() const;

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
    void USBOrvdeviceDiscovered(USBDataLink *datalink);
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
    void promoteToUSBOrvdevice(USBDataLink *datalink);
    void promoteToWIFIOrvDevice(WifiDatalink *datalink);
    void handleReconnectTimerTimeOut();
    void deinitUSBDevice(void *devHandle, void *device, int interfaceNumber, void *transferIn,
                         void *transferOut);

private:
    void promoteToOrvDevice(AbstractDataLink *datalink);
    bool checkAutoConnect(const QString &serialNumber, AbstractDataLink::LinkType linkType);
    Pelto *buildPelto(OrvDevice *source);
    OrvDevice *findDevice(const QString &serialNumber) const;
    void dropPendingDevice(OrvDevice *device);
    void holdAttempt(WifiDatalink *link);
    WifiDatalink *releaseAttempt();
    void deleteDevicesNow();
    void startUsb();
    void giveUpAttempt();

    OrvFactorySettings m_settings;
    QList<Pelto *> m_deviceList;
    QPointer<OrvDevice> m_selectedDevice;
    QPointer<WifiDatalink> m_connectionAttempt;
    QList<QMetaObject::Connection> m_attemptConnections;
    QTimer m_reconnectTimer;
    bool m_retryFailedAttempts = true;
    bool m_retrying = false; // the attempt being started is a retry of the one before
    int m_failedAttempts = 0; // failed attempts in a row at the attempt address
    bool m_connectionAttemptRunning = false;
    QString m_connectionAttemptAddress;
    QList<OrvDevice *> m_devices;
    QList<OrvDevice *> m_pendingDevices;
    QHash<QString, AbstractDataLink::LinkType> m_autoConnectMemory;
    bool m_shuttingDown = false;
    bool m_autoConnect = true;
    std::unique_ptr<UsbDiscovery> m_usb;
};
