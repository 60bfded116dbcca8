#pragma once

#include "OrvDevice.h"

#include <QObject>

class HwSettingsGUI;

// A device's settings back end: reads the device's settings, builds the framework's tabs from
// them and writes the user's changes back. Its tabs go with it: the destructor asks the framework
// (queued) to delete every tab.
class DeviceSettings : public QObject
{
    Q_OBJECT

public:
    DeviceSettings(QObject *parent, const OrvDevice *device, HwSettingsGUI *gui);
    ~DeviceSettings() override;

    const OrvDevice *device() const { return m_device; }
    OrvDevice::DeviceType deviceType() const { return m_deviceType; }

signals:
    void DeleteAllTabs();

public slots:
    virtual void applySettings(int tabRef) = 0;
    virtual void refresh(int tabRef) = 0;
    virtual void querySettings(int tabRef) = 0;

protected:
    const OrvDevice *m_device;
    HwSettingsGUI *m_gui;
    OrvDevice::DeviceType m_deviceType;
};
