#include "OrvDevice.h"

#include "DatalinkManager.h"

#include <QQmlEngine>

OrvDevice::OrvDevice(QObject *parent)
    : QObject(parent)
    , m_datalinkManager(new DatalinkManager(this))
{
    wireDatalinkManager();
}

OrvDevice::OrvDevice(OrvDevice *source)
    : QObject(source->parent())
    , m_versionFirmware(source->m_versionFirmware)
    , m_isConnected(source->m_isConnected)
    , m_deviceType(source->m_deviceType)
    , m_extendedDeviceType(source->m_extendedDeviceType)
    , m_serialNumber(source->m_serialNumber)
{
    // The generic device is finished: nothing it says any more may reach the factory.
    source->disconnect();
    m_datalinkManager = source->m_datalinkManager;
    source->m_datalinkManager = nullptr;
    if (m_datalinkManager) {
        m_datalinkManager->disconnect(source);
        m_datalinkManager->setParent(this);
        wireDatalinkManager();
    }
}

OrvDevice::DeviceType OrvDevice::deviceTypeFromFamily(dlComm::Type family)
{
    switch (family) {
    case 1:
        return Pelto;
    case 2:
        return Halvex;
    default:
        return None;
    }
}

void OrvDevice::wireDatalinkManager()
{
    connect(m_datalinkManager, &DatalinkManager::deviceNotAvailable, this, &OrvDevice::DeleteSelf);
    connect(m_datalinkManager, &DatalinkManager::DisconnectDatalinkSignal, this,
            &OrvDevice::DeleteSelf);
    connect(m_datalinkManager, &DatalinkManager::deviceInfoReceived, this,
            &OrvDevice::setDeviceInfo);
    connect(m_datalinkManager, &DatalinkManager::isConnected, this, &OrvDevice::setIsConnected);
    connect(m_datalinkManager, &DatalinkManager::activeLinkTypeChanged, this,
            &OrvDevice::handleActiveLinkTypeChanged);
}

int OrvDevice::addDatalink(AbstractDataLink *datalink)
{
    return m_datalinkManager ? m_datalinkManager->addDatalink(datalink) : -1;
}

AbstractDataLink *OrvDevice::getDatalink(AbstractDataLink::LinkType type) const
{
    return m_datalinkManager ? m_datalinkManager->getDatalink(type) : nullptr;
}

void OrvDevice::setActiveDatalink(AbstractDataLink::LinkType type)
{
    if (m_datalinkManager)
        m_datalinkManager->setActiveDatalinkConnection(type);
}

void OrvDevice::setSerialNumber(QString serialNumber)
{
    m_serialNumber = serialNumber;
    emit SerialNumberChanged(m_serialNumber);
}

void OrvDevice::addToAutoConnect()
{
    emit AddToAutoConnectSignal(this, getActiveDatalink());
}

AbstractDataLink::LinkType OrvDevice::getActiveDatalink()
{
    return m_datalinkManager ? m_datalinkManager->getActiveLinkType() : AbstractDataLink::None;
}

void OrvDevice::setDeviceFocussed()
{
    emit FocusOnThisDevice(this);
}

void OrvDevice::deleteSelf()
{
    emit RequestDeleteSelf(this);
}

void OrvDevice::setDeviceInfo(QString serialNumber, dlComm::Type type,
                              AbstractDataLink::LinkType linkType, int32_t extDevType)
{
    // The identity is learnt once; later answers cannot rename a known device.
    if (m_deviceType != None)
        return;
    m_serialNumber = serialNumber;
    m_extendedDeviceType = orvdevice::ExtendedDeviceType(extDevType);
    m_deviceType = deviceTypeFromFamily(type);
    emit DeviceTypeUpdated(m_deviceType);
    emit ExtendedDeviceTypeUpdated(m_extendedDeviceType);
    emit SerialNumberChanged(m_serialNumber);
    emit DeviceInfoUpdated(this, m_deviceType, linkType);
}

void OrvDevice::deviceNotAvailable()
{
    emit RequestDeleteSelf(this);
}

void OrvDevice::setIsConnected(bool isConnected)
{
    if (m_isConnected == isConnected)
        return;
    m_isConnected = isConnected;
    emit IsConnectedChanged(isConnected);
    emit DeviceConnectStateUpdated(this, isConnected);
}

void OrvDevice::writeIsConnected(bool isConnected)
{
    if (m_isConnected == isConnected)
        return;
    m_isConnected = isConnected;
    emit IsConnectedChanged(isConnected);
}

void OrvDevice::DeleteSelf()
{
    emit RequestDeleteSelf(this);
}

void OrvDevice::handleActiveLinkTypeChanged(AbstractDataLink::LinkType type)
{
    if (type == AbstractDataLink::WiFi)
        wifiPending = false;
}

void OrvDevice::setFirmware(bool verified, const QString &version)
{
    m_firmwareVerified = verified;
    m_versionFirmware = version;
}

void OrvDevice::setName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit NameChanged(m_name);
}

void registerOrvDeviceQmlType(const char *uri, int versionMajor, int versionMinor)
{
    // qmlRegisterUncreatableType, with the namespace as the type's extension: the same
    // registration that QML_EXTENDED_NAMESPACE makes for declaratively registered types.
    QQmlPrivate::RegisterType type = {
        1,
        QQmlPrivate::QmlMetaType<OrvDevice>::self(),
        QQmlPrivate::QmlMetaType<OrvDevice>::list(),
        0,
        nullptr,
        nullptr,
        QString(),
        QQmlPrivate::ValueType<OrvDevice, void>::create,
        uri,
        QTypeRevision::fromVersion(versionMajor, versionMinor),
        "OrvDevice",
        &OrvDevice::staticMetaObject,
        QQmlPrivate::attachedPropertiesFunc<OrvDevice>(),
        QQmlPrivate::attachedPropertiesMetaObject<OrvDevice>(),
        QQmlPrivate::StaticCastSelector<OrvDevice, QQmlParserStatus>::cast(),
        QQmlPrivate::StaticCastSelector<OrvDevice, QQmlPropertyValueSource>::cast(),
        QQmlPrivate::StaticCastSelector<OrvDevice, QQmlPropertyValueInterceptor>::cast(),
        nullptr,
        &orvdevice::staticMetaObject,
        nullptr,
        QTypeRevision::zero(),
        QQmlPrivate::StaticCastSelector<OrvDevice, QQmlFinalizerHook>::cast()};
    QQmlPrivate::qmlregister(QQmlPrivate::TypeRegistration, &type);
}
