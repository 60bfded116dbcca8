#include "NetworkDeviceManager.h"

using orvane::infra::DeviceDiscovery;
using orvane::infra::DeviceDiscoverySettings;
using orvane::infra::NetworkDeviceInfo;

namespace {

NetworkDeviceManager::SettingsFactory &defaultSettings()
{
    static NetworkDeviceManager::SettingsFactory factory;
    return factory;
}

} // namespace

NetworkDeviceManager::NetworkDeviceManager(QObject *parent)
    : NetworkDeviceManager(defaultSettings() ? defaultSettings()() : DeviceDiscoverySettings{},
                           parent)
{ }

NetworkDeviceManager::NetworkDeviceManager(DeviceDiscoverySettings settings, QObject *parent)
    : QObject(parent)
    , m_engine(std::make_unique<DeviceDiscovery>(this, 12, "_ssh._tcp.local", std::move(settings)))
{
    m_engine->start();
}

NetworkDeviceManager::~NetworkDeviceManager()
{
    m_engine.reset();
}

void NetworkDeviceManager::setDefaultSettingsFactory(SettingsFactory factory)
{
    defaultSettings() = std::move(factory);
}

QQmlListProperty<NetworkDevice> NetworkDeviceManager::devices()
{
    return QQmlListProperty<NetworkDevice>(this, &m_devices);
}

void NetworkDeviceManager::deviceAdded(NetworkDeviceInfo info)
{
    QMetaObject::invokeMethod(
        this, [this, info = std::move(info)] { onDeviceAdded(info); }, Qt::QueuedConnection);
}

void NetworkDeviceManager::deviceRemoved(NetworkDeviceInfo info)
{
    QMetaObject::invokeMethod(
        this, [this, info = std::move(info)] { onDeviceRemoved(info); }, Qt::QueuedConnection);
}

void NetworkDeviceManager::onDeviceAdded(const NetworkDeviceInfo &info)
{
    for (NetworkDevice *device : std::as_const(m_devices)) {
        if (device->sameWithoutAddress(&info)) {
            device->updateAddress(info);
            return;
        }
    }
    m_devices.append(new NetworkDevice(info, this));
    emit deviceListUpdated();
}

void NetworkDeviceManager::onDeviceRemoved(const NetworkDeviceInfo &info)
{
    for (qsizetype i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->matches(info)) {
            m_devices.takeAt(i)->deleteLater();
            emit deviceListUpdated();
            return;
        }
    }
}
