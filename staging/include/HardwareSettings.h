#pragma once

#include "DeviceSettings.h"

#include <QObject>
#include <QPointer>

class HwSettingsGUI;
class OrvDevice;

// Owns the setting-row framework the Hardware Setup screen shows and, for the active device, its
// settings back end (a Pelto's Wi-Fi settings; other families have none). Showing the screen asks
// the device again.
//
// Threading: GUI thread only.
class HardwareSettings : public QObject
{
    Q_OBJECT

public:
    explicit HardwareSettings(QObject *parent);

    HwSettingsGUI *settingsGui() const { return m_gui; }
    DeviceSettings *deviceSettings() const { return m_deviceSettings; }

public slots:
    void setOrvDevice(const OrvDevice *device);

private slots:
    void setVisibility(bool isVisible);

private:
    void disposeBackEnd();

    QPointer<DeviceSettings> m_deviceSettings;
    HwSettingsGUI *m_gui;
    bool m_visible = false;
};
