#pragma once

#include "DeviceDiscovery.h"
#include "DeviceDiscoveryListener.h"
#include "NetworkDevice.h"

#include <QList>
#include <QObject>
#include <QQmlListProperty>

#include <functional>
#include <memory>

// The robots the discovery engine finds, as a list QML shows. Each manager runs its own engine
// from construction to destruction. A robot heard on IPv4 and IPv6 (same serial, service name,
// host name and port) is one device with both addresses; any of its records going away removes
// it.
//
// Threads: the engine reports on its own thread; the reports are queued to the manager's thread,
// where the list and the devices are read and changed. The destructor stops the engine (which
// returns at once) before the list goes.
class NetworkDeviceManager : public QObject, public orvane::infra::DeviceDiscoveryListener
{
    Q_OBJECT
    Q_PROPERTY(QQmlListProperty<NetworkDevice> devices READ devices NOTIFY deviceListUpdated)

public:
    using SettingsFactory = std::function<orvane::infra::DeviceDiscoverySettings()>;

    explicit NetworkDeviceManager(QObject *parent = nullptr);
    NetworkDeviceManager(orvane::infra::DeviceDiscoverySettings settings,
                         QObject *parent = nullptr);
    ~NetworkDeviceManager() override;

    // The engine settings of managers made without explicit ones (those QML creates); the
    // engine's defaults unless set. Call on the GUI thread before such managers are made.
    static void setDefaultSettingsFactory(SettingsFactory factory);

    QQmlListProperty<NetworkDevice> devices();
    const QList<NetworkDevice *> &deviceList() const { return m_devices; }

    void deviceAdded(orvane::infra::NetworkDeviceInfo info) override;
    void deviceRemoved(orvane::infra::NetworkDeviceInfo info) override;

signals:
    void deviceListUpdated();

private:
    void onDeviceAdded(const orvane::infra::NetworkDeviceInfo &info);
    void onDeviceRemoved(const orvane::infra::NetworkDeviceInfo &info);

    QList<NetworkDevice *> m_devices;
    std::unique_ptr<orvane::infra::DeviceDiscovery> m_engine;
};
