#pragma once

#include "HwSettingsTab.h"

// Where the rows of the Pelto's Wi-Fi tab sit, in display order (sections and subsections count).
enum WifiRowIndex {
    NameRow = 1,
    WifiEnabledRow = 3,
    StationEnabledRow = 5,
    StationSsidRow = 6,
    StationPasswordRow = 7,
    StaticIpRow = 8,
    SubnetMaskRow = 9,
    GatewayRow = 10,
    AccessPointEnabledRow = 12,
    AccessPointSsidRow = 13,
    AccessPointPasswordRow = 14,
    HiddenSsidRow = 15,
    WifiRowCount = 16,
};

inline HwSetting *row(HwSettingsTab *tab, int index)
{
    return tab->getSettingsList().value(index);
}
