#pragma once

#include "DeviceUpdateEntry.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class OrvDevice;

using DeviceUpdateEntryList = QList<DeviceUpdateEntry *>;

// The firmware update list: one update row per connected device the updater supports, the row of
// the device active in the application, the number of rows that offer an update and the serial
// numbers of devices restarting in the middle of an update, so that the row made when such a
// device returns continues the update.
//
// Threading: GUI thread only. Ownership: the rows are children of the list and are deleted
// deferred when they leave it; the selection never refers to a row that has left the list.
class HardwareUpdate : public QObject
{
    Q_OBJECT
    Q_PROPERTY(DeviceUpdateEntryList deviceList READ getDeviceList WRITE setDeviceList NOTIFY
                   DeviceListChanged)
    Q_PROPERTY(int availableUpdates READ getAvailableUpdates NOTIFY AvailableUpdatesChanged)
    Q_PROPERTY(DeviceUpdateEntry *selectedDevice READ getSelectedDevice WRITE setSelectedEntry
                   NOTIFY SelectedDeviceChanged)

public:
    explicit HardwareUpdate(QObject *parent = nullptr);

    DeviceUpdateEntryList getDeviceList() const { return m_deviceList; }
    void setDeviceList(const DeviceUpdateEntryList &list);
    DeviceUpdateEntry *getSelectedDevice() const { return m_selectedDevice; }
    void setSelectedEntry(DeviceUpdateEntry *entry);
    QStringList restartingSerials() const { return m_restarting; }

signals:
    void DeviceListChanged();
    void AvailableUpdatesChanged();
    void SelectedDeviceChanged();

public slots:
    void refresh();
    void orvDeviceConnected(const OrvDevice *device, bool isConnected);
    void deleteEntry(DeviceUpdateEntry *entry);
    void setSelectedDevice(const OrvDevice *device);
    void setVisibility(bool isVisible);
    int getAvailableUpdates() const { return m_availableUpdates; }
    void addAvailableUpdates(int updatesAvailable);
    void setUpdateState(bool state, QString serial);

private:
    void addPeltoEntry(const OrvDevice *device);
    DeviceUpdateEntry *lastEntryOf(const QString &serial) const;
    DeviceUpdateEntry *firstEntryOf(const QString &serial) const;

    DeviceUpdateEntryList m_deviceList;
    QPointer<DeviceUpdateEntry> m_selectedDevice;
    bool m_visible = false;
    QStringList m_restarting;
    int m_availableUpdates = 0;
};
