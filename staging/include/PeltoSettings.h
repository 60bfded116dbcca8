#pragma once

#include "ControlChannel.h"
#include "DeviceSettings.h"

#include <QList>
#include <QPointer>
#include <QTimer>

class HwSetting;
class Pelto;

// The Pelto's Wi-Fi settings: the settings record (404 bytes, codes 98/99), the state record
// (3 bytes, codes 96/97) and the transmit power (104/105, kept, never shown or changed), read
// through the control channel and shown as one tab, "Pelto", of typed rows bound to the records.
// The host interprets only the fields below; every other byte goes back as the device sent it.
//
// A query asks for all three and the tab is built when all three have answered. A query while
// the last one is still unanswered does nothing, unless the answers are overdue
// (queryTimeoutMs) or the user asked for a refresh: one lost reply must not leave the back end
// deaf for as long as the device stays selected.
//
// Threading: GUI thread only; requests reach the control channel queued.
class PeltoSettings : public DeviceSettings
{
    Q_OBJECT

public:
    // Offsets in the settings record.
    static constexpr int NameOffset = 0;
    static constexpr int StationSsidOffset = 32;
    static constexpr int StationPasswordOffset = 64;
    static constexpr int AccessPointSsidOffset = 128;
    static constexpr int AccessPointPasswordOffset = 160;
    static constexpr int HiddenSsidOffset = 239;
    static constexpr int StaticIpOffset = 308;
    static constexpr int StaticSubnetMaskOffset = 324;
    static constexpr int StaticGatewayOffset = 340;
    static constexpr int SsidWidth = 32;
    static constexpr int PasswordWidth = 64;
    // Bytes of the state record.
    static constexpr int WifiEnabledByte = 0;
    static constexpr int AccessPointEnabledByte = 1;
    static constexpr int StationEnabledByte = 2;
    static constexpr int DefaultQueryTimeoutMs = 5000;

    PeltoSettings(QObject *parent, const OrvDevice *device, HwSettingsGUI *gui);

    int wifiTab() const { return m_wifiTab; }
    const ControlChannel::WifiSettings &settingsRecord() const { return m_settings; }
    const ControlChannel::WifiState &stateRecord() const { return m_state; }
    int transmitPower() const { return m_txPowerDbm; }
    void setQueryTimeoutMs(int ms) { m_queryTimer.setInterval(ms); }

    static bool validateStaticIpGroup(QObject *owner, HwSetting *row, std::string *errorText);

signals:
    void QueryWifiSettings();
    void QueryWifiState();
    void QueryWifiTxPower();
    void SetWifiSettings(ControlChannel::WifiSettings settings);
    void SetWifiState(ControlChannel::WifiState state);
    void SetWifiTxPower(int powerDbm);

public slots:
    void applySettings(int tabRef) override;
    void refresh(int tabRef) override;
    void querySettings(int tabRef) override;

    void wifiSettingsReceived(ControlChannel::ResponseCode response,
                              ControlChannel::WifiSettings settings);
    void wifiStateReceived(ControlChannel::ResponseCode response, ControlChannel::WifiState state);
    void wifiTxPowerReceived(ControlChannel::ResponseCode response, int32_t powerDbm);

private:
    bool allAnswered() const { return m_settingsAnswered && m_stateAnswered && m_powerAnswered; }
    void answered();
    void buildWifiSettingsTab();
    void sendQuery();
    static bool anyChanged(const QList<QPointer<HwSetting>> &rows);

    Pelto *m_pelto;
    QPointer<const ControlChannel> m_controlChannel;
    int32_t m_wifiTab = -1;
    bool m_settingsAnswered = true;
    bool m_stateAnswered = true;
    bool m_powerAnswered = true;
    // Aligned for the address fields the rows bind (they are still accessed with memcpy).
    alignas(8) ControlChannel::WifiSettings m_settings{};
    ControlChannel::WifiState m_state{};
    int32_t m_txPowerDbm = 0;
    QList<QPointer<HwSetting>> m_stateRows;
    QList<QPointer<HwSetting>> m_recordRows;
    QList<QPointer<HwSetting>> m_staticRows;
    QTimer m_queryTimer;
};
