#pragma once

#include "HwSettingsTab.h"

#include <QList>
#include <QObject>

#include <string>

using SettingsTabsList = QList<HwSettingsTab *>;

// The tabs of typed setting rows the Hardware Setup screen shows (QML context property
// "HardwareSettings"). Device back ends build their tabs through the add operations; the screen's
// Apply and Refresh come back as Apply(tab) and Refresh(tab).
//
// Tabs are reused by name across rebuilds. Tabs and rows are children of this object; a tab taken
// off the list is deleted (deferred), with its rows.
//
// Threading: GUI thread only.
class HwSettingsGUI : public QObject
{
    Q_OBJECT
    Q_PROPERTY(SettingsTabsList settingsTabs READ getTabsList NOTIFY TabsChanged)

public:
    explicit HwSettingsGUI(QObject *parent);

    // The number of the tab called `name` (emptied for a rebuild), or of a new tab appended.
    int addTab(const std::string &name);
    HwSettingsTab *tab(int tabRef) const;

    // Each returns the new row, or null when `tabRef` is not a tab's number.
    HwSetting *addSection(int tabRef, const std::string &name);
    HwSetting *addSubSection(int tabRef, const std::string &name);
    HwSetting *addString(int tabRef, const std::string &name, char *field, int maxLength,
                         bool password, HwSettingValidator validator, QObject *owner);
    HwSetting *addIpAddress(int tabRef, const std::string &name, uint32_t *field,
                            HwSettingValidator validator, QObject *owner);
    HwSetting *addBool(int tabRef, const std::string &name, uint8_t *field,
                       HwSettingValidator validator, QObject *owner);

signals:
    void TabsChanged(SettingsTabsList tabs);
    void Apply(int tabRef);
    void Refresh(int tabRef);
    void SetVisibleState(bool visible);

public slots:
    void deleteAllTabs();
    void setVisibility(bool isVisible) { emit SetVisibleState(isVisible); }

private slots:
    SettingsTabsList getTabsList() const { return m_tabs; }

private:
    SettingsTabsList m_tabs;
};
