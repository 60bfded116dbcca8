#include "HwSettingsTab.h"

#include <QMetaType>

HwSettingsTab::HwSettingsTab(QObject *parent, int tabNumber, const QString &name)
    : QObject(parent)
    , m_tabNumber(tabNumber)
    , m_name(name)
{
    qRegisterMetaType<SettingsList>("SettingsList");
}

void HwSettingsTab::addSetting(HwSetting *setting)
{
    if (!setting)
        return;
    setting->setParent(this);
    // Queued: the back end first sees the rows as the user left them (its own links are queued
    // too and were made earlier), and only then do the rows settle.
    connect(this, &HwSettingsTab::ChangesApplied, setting, &HwSetting::acceptApplied,
            Qt::QueuedConnection);
    connect(this, &HwSettingsTab::PendingStateReset, setting, &HwSetting::revertPending,
            Qt::QueuedConnection);
    connect(setting, &HwSetting::FieldStateChanged, this, &HwSettingsTab::handleFieldStateChange);
    m_settings.append(setting);
}

HwSetting *HwSettingsTab::addSection(const QString &name)
{
    auto *row = new HwSetting(this, HwSetting::SectionName, name);
    m_settings.append(row);
    return row;
}

HwSetting *HwSettingsTab::addSubSection(const QString &name)
{
    auto *row = new HwSetting(this, HwSetting::SubSectionName, name);
    m_settings.append(row);
    return row;
}

void HwSettingsTab::clear()
{
    const SettingsList old = m_settings;
    m_settings.clear();
    emit SettingsChanged(m_settings);
    for (HwSetting *row : old) {
        row->disconnect(this);
        disconnect(row);
        row->deleteLater();
    }
    emit PendingStateChanged();
    emit ValueErrorStateChanged();
}

bool HwSettingsTab::hasPendingChanges() const
{
    for (const HwSetting *row : m_settings)
        if (row->hasPending())
            return true;
    return false;
}

bool HwSettingsTab::hasValueErrors() const
{
    for (const HwSetting *row : m_settings)
        if (row->hasError())
            return true;
    return false;
}

void HwSettingsTab::handleFieldStateChange(HwSetting::FieldState)
{
    emit PendingStateChanged();
    emit ValueErrorStateChanged();
}

void HwSettingsTab::applySettings()
{
    emit Apply(m_tabNumber);
    emit ChangesApplied();
}

void HwSettingsTab::refresh()
{
    emit Refresh(m_tabNumber);
    emit PendingStateReset();
}
