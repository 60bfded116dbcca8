#include "HardwareUpdate.h"

#include "OrvDevice.h"
#include "PeltoUpdateEntry.h"
#include "VersionControl.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHardwareUpdate, "Staging.HardwareUpdate")

namespace {

// Board variants the updater has no firmware for.
bool isRefusedPeltoVariant(int extendedType)
{
    return extendedType < 0 || extendedType > 23 || extendedType == 11 || extendedType == 12
        || extendedType == 14 || extendedType == 17;
}

} // namespace

HardwareUpdate::HardwareUpdate(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<DeviceUpdateEntryList>("DeviceUpdateEntryList");
}

void HardwareUpdate::setDeviceList(const DeviceUpdateEntryList &list)
{
    if (list == m_deviceList)
        return;
    m_deviceList = list;
    emit DeviceListChanged();
}

void HardwareUpdate::setSelectedEntry(DeviceUpdateEntry *entry)
{
    if (entry == m_selectedDevice)
        return;
    m_selectedDevice = entry;
    emit SelectedDeviceChanged();
}

void HardwareUpdate::refresh()
{
    VersionControl::instance()->checkForUpdates();
    for (DeviceUpdateEntry *entry : std::as_const(m_deviceList))
        entry->refresh();
}

DeviceUpdateEntry *HardwareUpdate::lastEntryOf(const QString &serial) const
{
    for (auto it = m_deviceList.crbegin(); it != m_deviceList.crend(); ++it) {
        if ((*it)->serialNumber() == serial)
            return *it;
    }
    return nullptr;
}

DeviceUpdateEntry *HardwareUpdate::firstEntryOf(const QString &serial) const
{
    for (DeviceUpdateEntry *entry : m_deviceList) {
        if (entry->serialNumber() == serial)
            return entry;
    }
    return nullptr;
}

void HardwareUpdate::orvDeviceConnected(const OrvDevice *device, bool isConnected)
{
    if (!device)
        return;
    const QString serial = device->getSerialNumber();
    if (!isConnected) {
        if (DeviceUpdateEntry *entry = firstEntryOf(serial))
            entry->deviceDisconnected();
        return;
    }

    switch (device->getDeviceType()) {
    case OrvDevice::None:
        qCDebug(lcHardwareUpdate) << "Unkown type could not be added to the Hardware Updater";
        break;
    case OrvDevice::Pelto:
        addPeltoEntry(device);
        break;
    case OrvDevice::Halvex:
        qCDebug(lcHardwareUpdate) << "Halvex device is not yet supported by the Hardware Updater";
        break;
    default:
        break;
    }
    emit DeviceListChanged();
}

void HardwareUpdate::addPeltoEntry(const OrvDevice *device)
{
    const QString serial = device->getSerialNumber();
    bool wasSelected = false;
    if (DeviceUpdateEntry *existing = lastEntryOf(serial)) {
        wasSelected = existing == m_selectedDevice;
        deleteEntry(existing);
    }
    const bool inProgress = m_restarting.contains(serial);
    const int extendedType = device->getExtendedDeviceType();
    if (isRefusedPeltoVariant(extendedType)) {
        qCDebug(lcHardwareUpdate) << "Unknown device type: " << extendedType;
        return;
    }
    auto *entry = new PeltoUpdateEntry(this, device, inProgress, m_visible || inProgress);
    connect(entry, &DeviceUpdateEntry::setGlobalUpdatesCounter, this,
            &HardwareUpdate::addAvailableUpdates);
    m_deviceList.append(entry);
    connect(entry, &DeviceUpdateEntry::SetUpdateStateSignal, this, &HardwareUpdate::setUpdateState);
    connect(entry, &DeviceUpdateEntry::RequestDelete, this, &HardwareUpdate::deleteEntry);
    setUpdateState(false, serial);
    // The device's row was replaced: the selection follows it to the new row.
    if (wasSelected)
        setSelectedEntry(entry);
}

void HardwareUpdate::deleteEntry(DeviceUpdateEntry *entry)
{
    if (!entry)
        return;
    m_deviceList.removeOne(entry);
    // The row's destructor still reports a withdrawn offer to the counter, so it stays connected.
    entry->deleteLater();
    if (entry == m_selectedDevice) {
        m_selectedDevice = nullptr;
        emit SelectedDeviceChanged();
    }
    emit DeviceListChanged();
}

void HardwareUpdate::setSelectedDevice(const OrvDevice *device)
{
    if (!device) {
        m_selectedDevice = nullptr;
        emit SelectedDeviceChanged();
        return;
    }
    if (DeviceUpdateEntry *entry = firstEntryOf(device->getSerialNumber())) {
        m_selectedDevice = entry;
        emit SelectedDeviceChanged();
    }
}

void HardwareUpdate::setVisibility(bool isVisible)
{
    m_visible = isVisible;
    for (DeviceUpdateEntry *entry : std::as_const(m_deviceList))
        entry->setVisible(isVisible);
}

void HardwareUpdate::addAvailableUpdates(int updatesAvailable)
{
    m_availableUpdates += updatesAvailable;
    emit AvailableUpdatesChanged();
}

void HardwareUpdate::setUpdateState(bool state, QString serial)
{
    if (state) {
        if (!m_restarting.contains(serial))
            m_restarting.append(serial);
    } else {
        m_restarting.removeOne(serial);
    }
}
