#include "DeviceSettings.h"

#include "HwSettingsGUI.h"

DeviceSettings::DeviceSettings(QObject *parent, const OrvDevice *device, HwSettingsGUI *gui)
    : QObject(parent)
    , m_device(device)
    , m_gui(gui)
    , m_deviceType(device ? device->getDeviceType() : OrvDevice::None)
{
    if (m_gui)
        connect(this, &DeviceSettings::DeleteAllTabs, m_gui, &HwSettingsGUI::deleteAllTabs,
                Qt::QueuedConnection);
}

DeviceSettings::~DeviceSettings()
{
    emit DeleteAllTabs();
}
