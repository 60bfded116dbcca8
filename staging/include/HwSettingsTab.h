#pragma once

#include "HwSetting.h"

#include <QList>
#include <QObject>
#include <QString>

using SettingsList = QList<HwSetting *>;

// One tab of rows. It sums up its rows' states for the Apply button and relays the user's Apply
// and Refresh, by tab number, to the settings framework.
//
// Rows are children of the tab. Emptying the tab (a rebuild) deletes its rows, deferred, so the
// QML delegates that still hold them see them go at the next turn of the event loop and a device
// answering every few seconds does not pile up rows for the program's lifetime.
//
// Threading: GUI thread only.
class HwSettingsTab : public QObject
{
    Q_OBJECT
    Q_PROPERTY(SettingsList settings READ getSettingsList NOTIFY SettingsChanged)
    Q_PROPERTY(QString name READ getName CONSTANT)
    Q_PROPERTY(bool pendingChanges READ hasPendingChanges NOTIFY PendingStateChanged)
    Q_PROPERTY(bool valueErrorState READ hasValueErrors NOTIFY ValueErrorStateChanged)

public:
    HwSettingsTab(QObject *parent, int tabNumber, const QString &name);

    int tabNumber() const { return m_tabNumber; }
    QString getName() const { return m_name; }

    // Takes a row bound to a field: wires its state into the tab's and the tab's Apply and
    // Refresh into the row.
    void addSetting(HwSetting *setting);
    HwSetting *addSection(const QString &name);
    HwSetting *addSubSection(const QString &name);
    void clear();

    Q_INVOKABLE void applySettings();
    Q_INVOKABLE void refresh();

signals:
    void SettingsChanged(SettingsList settings);
    void Apply(int tabRef);
    void Refresh(int tabRef);
    void PendingStateChanged();
    void ChangesApplied();
    void PendingStateReset();
    void ValueErrorStateChanged();

public slots:
    SettingsList getSettingsList() const { return m_settings; }
    bool hasPendingChanges() const;
    bool hasValueErrors() const;

private slots:
    void handleFieldStateChange(HwSetting::FieldState state);

private:
    int32_t m_tabNumber;
    QString m_name;
    SettingsList m_settings;
};
