#include "HardwareSettings.h"

#include "HwSettingsGUI.h"
#include "Pelto.h"
#include "PeltoSettings.h"

HardwareSettings::HardwareSettings(QObject *parent)
    : QObject(parent)
    , m_gui(new HwSettingsGUI(this))
{
    connect(m_gui, &HwSettingsGUI::SetVisibleState, this, &HardwareSettings::setVisibility);
}

void HardwareSettings::disposeBackEnd()
{
    if (!m_deviceSettings)
        return;
    // Its tabs go now, not when its deferred deletion gets round to asking: by then the next
    // back end may have built its own tab, which the old request would take away with its rows.
    disconnect(m_deviceSettings, &DeviceSettings::DeleteAllTabs, m_gui, nullptr);
    m_gui->deleteAllTabs();
    m_deviceSettings->deleteLater();
    m_deviceSettings = nullptr;
}

void HardwareSettings::setOrvDevice(const OrvDevice *device)
{
    if (!device) {
        disposeBackEnd();
        return;
    }
    // A generic device that reports the Pelto family is not a Pelto yet: it has no control
    // channel to talk through.
    if (device->getDeviceType() != OrvDevice::Pelto || !qobject_cast<const Pelto *>(device))
        return;
    disposeBackEnd();
    auto *settings = new PeltoSettings(this, device, m_gui);
    m_deviceSettings = settings;
    connect(m_gui, &HwSettingsGUI::Apply, settings, &DeviceSettings::applySettings,
            Qt::QueuedConnection);
    connect(m_gui, &HwSettingsGUI::Refresh, settings, &DeviceSettings::refresh,
            Qt::QueuedConnection);
    if (m_visible)
        settings->querySettings(-1);
}

void HardwareSettings::setVisibility(bool isVisible)
{
    m_visible = isVisible;
    if (isVisible && m_deviceSettings)
        m_deviceSettings->querySettings(-1);
}
