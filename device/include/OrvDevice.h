#pragma once

#include "AbstractDataLink.h"
#include "DatalinkCommChannel.h"
#include "DatalinkManager.h"
#include "ExtendedDeviceType.h"

#include <QObject>
#include <QString>

// The host-side object for one physical controller: owns the device's link manager, learns the
// device's identity from the first device-information answer and tells its owner (the device
// factory) when it is identified, when its connection changes and when it must go. It never
// deletes itself: every ending path only emits RequestDeleteSelf.
class OrvDevice : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString versionFirmware READ getFirmwareVersion NOTIFY VersionFirmwareChanged)
    Q_PROPERTY(DatalinkManager *datalinkManager READ getDatalinkManager CONSTANT)
    Q_PROPERTY(QString serialNumber READ getSerialNumber NOTIFY SerialNumberChanged)
    Q_PROPERTY(QString name READ getName NOTIFY NameChanged)
    Q_PROPERTY(OrvDevice::DeviceType deviceType READ getDeviceType NOTIFY DeviceTypeUpdated)
    Q_PROPERTY(orvdevice::ExtendedDeviceType extendedDeviceType READ getExtendedDeviceType NOTIFY
                   ExtendedDeviceTypeUpdated)
    Q_PROPERTY(bool isConnected READ getIsConnected WRITE writeIsConnected NOTIFY IsConnectedChanged)
    Q_PROPERTY(bool firmwareVerified READ isFirmwareVerified NOTIFY FirmwareStateReceived)

public:
    enum DeviceType : int32_t { None = 0, Pelto = 1, Halvex = 2 };
    Q_ENUM(DeviceType)
    enum ConnectionStatus : int32_t { NotConnected = 0, Pending = 1, Connected = 2 };
    Q_ENUM(ConnectionStatus)

    // A device made for a new link; the manager is created here as the device's child.
    explicit OrvDevice(QObject *parent);
    // Takes over an identified generic device: its identity, its connected state and its link
    // manager. The source is left without a manager and disconnected from everything.
    explicit OrvDevice(OrvDevice *source);

    static DeviceType deviceTypeFromFamily(dlComm::Type family);

    QString getSerialNumber() const { return m_serialNumber; }
    QString getName() const { return m_name; }
    DeviceType getDeviceType() const { return m_deviceType; }
    orvdevice::ExtendedDeviceType getExtendedDeviceType() const { return m_extendedDeviceType; }
    bool getIsConnected() const { return m_isConnected; }
    bool isFirmwareVerified() const { return m_firmwareVerified; }

    bool wifiPending = false;
    bool reconnectOnLoss = true;

    // Forwarded to the link manager; -1 / null when the device gave its manager away.
    int addDatalink(AbstractDataLink *datalink);
    AbstractDataLink *getDatalink(AbstractDataLink::LinkType type) const;
    void setActiveDatalink(AbstractDataLink::LinkType type);

signals:
    void DeviceInfoUpdated(OrvDevice *self, OrvDevice::DeviceType type,
                           AbstractDataLink::LinkType linkType);
    void DeviceTypeUpdated(OrvDevice::DeviceType type);
    void ExtendedDeviceTypeUpdated(orvdevice::ExtendedDeviceType type);
    void SerialNumberChanged(QString serialNumber);
    void NameChanged(QString name);
    void IsConnectedChanged(bool isConnected);
    void RequestDeleteSelf(OrvDevice *self);
    void RemoveUsbHandle(QString SerialNumber);
    void VersionFirmwareChanged(QString version);
    void FirmwareStateReceived(bool verified, QString version, int timeoutBootTime,
                               int remainingTime);
    void AddToAutoConnectSignal(OrvDevice *self, AbstractDataLink::LinkType linkType);
    void FocusOnThisDevice(OrvDevice *self);
    void DeviceConnectStateUpdated(OrvDevice *self, bool isConnected);

public slots:
    QString getFirmwareVersion() const { return m_versionFirmware; }
    void setSerialNumber(QString serialNumber);
    void addToAutoConnect();
    AbstractDataLink::LinkType getActiveDatalink();

protected slots:
    void setDeviceFocussed();
    void deleteSelf();

private slots:
    DatalinkManager *getDatalinkManager() const { return m_datalinkManager; }
    void setDeviceInfo(QString serialNumber, dlComm::Type type, AbstractDataLink::LinkType linkType,
                       int32_t extDevType);
    void deviceNotAvailable();
    void setIsConnected(bool isConnected);
    void DeleteSelf();
    void handleActiveLinkTypeChanged(AbstractDataLink::LinkType type);

protected:
    DatalinkManager *manager() const { return m_datalinkManager; }
    void writeIsConnected(bool isConnected);
    void setFirmware(bool verified, const QString &version);
    void setName(const QString &name);

private:
    void wireDatalinkManager();

    QString m_versionFirmware = QStringLiteral("Undefined");
    bool m_firmwareVerified = false;
    bool m_isConnected = false;
    DeviceType m_deviceType = None;
    orvdevice::ExtendedDeviceType m_extendedDeviceType = orvdevice::ReadError;
    QString m_serialNumber = QStringLiteral("Identifying...");
    QString m_name;
    DatalinkManager *m_datalinkManager = nullptr;
};

// Registers OrvDevice as an uncreatable QML type whose enumerations include the board variants of
// orvdevice, so QML writes OrvDevice.Torvik as well as OrvDevice.Pelto.
void registerOrvDeviceQmlType(const char *uri, int versionMajor, int versionMinor);

// Registered with the meta-type system so it can be default-constructed; it has no members.
class OrvDeviceHelpers : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
};
Q_DECLARE_METATYPE(OrvDeviceHelpers)
