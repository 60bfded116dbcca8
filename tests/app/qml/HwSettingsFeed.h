#pragma once

// The Wi-Fi settings back end of the Hardware Setup screen, fed by the test instead of a device:
// the real settings framework (HardwareSettings' HwSettingsGUI) and a real PeltoSettings without a
// device. The test hands it the device's answers as hex records and reads back what the back end
// would have sent (writes and queries), so the screen is checked against the code the program
// runs.
#include "ControlChannel.h"
#include "HardwareSettings.h"
#include "HwSettingsGUI.h"
#include "PeltoSettings.h"

#include <QObject>
#include <QPointer>
#include <QVariantList>

class HwSettingsFeed : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int settingsWrites MEMBER m_settingsWrites NOTIFY changed)
    Q_PROPERTY(int stateWrites MEMBER m_stateWrites NOTIFY changed)
    Q_PROPERTY(int settingsQueries MEMBER m_settingsQueries NOTIFY changed)
    Q_PROPERTY(int stateQueries MEMBER m_stateQueries NOTIFY changed)
    Q_PROPERTY(QString lastSettingsHex MEMBER m_lastSettingsHex NOTIFY changed)
    Q_PROPERTY(QString lastStateHex MEMBER m_lastStateHex NOTIFY changed)
    Q_PROPERTY(QVariantList visibility MEMBER m_visibility NOTIFY changed)

public:
    explicit HwSettingsFeed(HardwareSettings *hardware)
        : m_hardware(hardware)
    {
        connect(hardware->settingsGui(), &HwSettingsGUI::SetVisibleState, this, [this](bool v) {
            m_visibility << v;
            emit changed();
        });
    }

    HwSettingsGUI *gui() const { return m_hardware->settingsGui(); }

    // A fresh back end, as when a Pelto becomes the active device.
    Q_INVOKABLE void attach()
    {
        detach();
        auto *settings = new PeltoSettings(m_hardware, nullptr, gui());
        m_settings = settings;
        connect(gui(), &HwSettingsGUI::Apply, settings, &DeviceSettings::applySettings,
                Qt::QueuedConnection);
        connect(gui(), &HwSettingsGUI::Refresh, settings, &DeviceSettings::refresh,
                Qt::QueuedConnection);
        connect(settings, &PeltoSettings::SetWifiSettings, this,
                [this](const ControlChannel::WifiSettings &record) {
                    ++m_settingsWrites;
                    m_lastSettingsHex = hex(record.bytes.data(), record.bytes.size());
                    emit changed();
                });
        connect(settings, &PeltoSettings::SetWifiState, this,
                [this](const ControlChannel::WifiState &record) {
                    ++m_stateWrites;
                    m_lastStateHex = hex(record.bytes.data(), record.bytes.size());
                    emit changed();
                });
        connect(settings, &PeltoSettings::QueryWifiSettings, this, [this] {
            ++m_settingsQueries;
            emit changed();
        });
        connect(settings, &PeltoSettings::QueryWifiState, this, [this] {
            ++m_stateQueries;
            emit changed();
        });
    }

    // The device goes: the back end and, with it, its tabs.
    Q_INVOKABLE void detach()
    {
        if (m_settings) {
            disconnect(m_settings, &DeviceSettings::DeleteAllTabs, gui(), nullptr);
            gui()->deleteAllTabs();
            delete m_settings.data();
        }
    }

    // The device's answers to one query: the settings record, the state record and the power.
    Q_INVOKABLE bool answer(const QString &settingsHex, const QString &stateHex, int response = 2)
    {
        const QByteArray settings = QByteArray::fromHex(settingsHex.toLatin1());
        const QByteArray state = QByteArray::fromHex(stateHex.toLatin1());
        if (!m_settings || settings.size() != ControlChannel::WifiSettings::Size
            || state.size() != ControlChannel::WifiState::Size)
            return false;
        ControlChannel::WifiSettings s;
        std::copy(settings.begin(), settings.end(), s.bytes.begin());
        ControlChannel::WifiState st;
        std::copy(state.begin(), state.end(), st.bytes.begin());
        const auto code = ControlChannel::ResponseCode(response);
        m_settings->wifiSettingsReceived(code, s);
        m_settings->wifiStateReceived(code, st);
        m_settings->wifiTxPowerReceived(code, 8);
        return true;
    }

    Q_INVOKABLE void clearCounts()
    {
        m_settingsWrites = m_stateWrites = m_settingsQueries = m_stateQueries = 0;
        m_lastSettingsHex.clear();
        m_lastStateHex.clear();
        m_visibility.clear();
        emit changed();
    }

signals:
    void changed();

private:
    static QString hex(const uint8_t *data, size_t size)
    {
        return QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).toHex());
    }

    HardwareSettings *m_hardware;
    QPointer<PeltoSettings> m_settings;
    int m_settingsWrites = 0;
    int m_stateWrites = 0;
    int m_settingsQueries = 0;
    int m_stateQueries = 0;
    QString m_lastSettingsHex;
    QString m_lastStateHex;
    QVariantList m_visibility;
};
