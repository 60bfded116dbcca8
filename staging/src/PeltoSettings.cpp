#include "PeltoSettings.h"

#include "ErrorHandler.h"
#include "HwSettingsGUI.h"
#include "Pelto.h"

#include <QDateTime>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPeltoSettings, "Staging.PeltoSettings")

namespace {

const char *const StaticIpGroupError = "Static IP addres, subnetmask and gateway need to be set to "
                                       "configure a static IP address.";

} // namespace

PeltoSettings::PeltoSettings(QObject *parent, const OrvDevice *device, HwSettingsGUI *gui)
    : DeviceSettings(parent, device, gui)
    , m_pelto(const_cast<Pelto *>(qobject_cast<const Pelto *>(device)))
    , m_controlChannel(m_pelto ? m_pelto->getControlChannel() : nullptr)
{
    m_queryTimer.setSingleShot(true);
    m_queryTimer.setInterval(DefaultQueryTimeoutMs);
    const ControlChannel *control = m_controlChannel;
    if (!control)
        return;
    connect(this, &PeltoSettings::QueryWifiSettings, control, &ControlChannel::getWifiSettings,
            Qt::QueuedConnection);
    connect(this, &PeltoSettings::QueryWifiState, control, &ControlChannel::getWifiState,
            Qt::QueuedConnection);
    connect(this, &PeltoSettings::QueryWifiTxPower, control, &ControlChannel::getWifiTxPower,
            Qt::QueuedConnection);
    connect(control, &ControlChannel::GetWifiSettingsReceived, this,
            &PeltoSettings::wifiSettingsReceived);
    connect(control, &ControlChannel::GetWifiStateReceived, this,
            &PeltoSettings::wifiStateReceived);
    connect(control, &ControlChannel::GetWifiTxPowerReceived, this,
            &PeltoSettings::wifiTxPowerReceived);
    connect(this, &PeltoSettings::SetWifiSettings, control, &ControlChannel::setWifiSettings,
            Qt::QueuedConnection);
    connect(this, &PeltoSettings::SetWifiState, control, &ControlChannel::setWifiState,
            Qt::QueuedConnection);
    connect(this, &PeltoSettings::SetWifiTxPower, control, &ControlChannel::setWifiTxPower,
            Qt::QueuedConnection);
}

void PeltoSettings::querySettings(int tabRef)
{
    if (tabRef != m_wifiTab && tabRef != -1)
        return;
    // An unanswered query blocks the next one only while its answers can still be expected.
    if (!allAnswered() && m_queryTimer.isActive())
        return;
    sendQuery();
}

void PeltoSettings::refresh(int tabRef)
{
    if (tabRef != m_wifiTab && tabRef != -1)
        return;
    // The user asked: whatever was lost before, ask again.
    sendQuery();
}

void PeltoSettings::sendQuery()
{
    m_settingsAnswered = m_stateAnswered = m_powerAnswered = false;
    m_queryTimer.start();
    emit QueryWifiSettings();
    emit QueryWifiState();
    emit QueryWifiTxPower();
}

void PeltoSettings::answered()
{
    if (!allAnswered())
        return;
    m_queryTimer.stop();
    buildWifiSettingsTab();
}

static void reportRetrieveFailure()
{
    ErrorHandler::instance()->pushNotification(
        nimbrel::Warning, AbstractNotification::NimbrelLab, QStringLiteral("Retrieve data failed"),
        QStringLiteral("Could not retrieve current settings from Pelto"),
        QStringLiteral("Hardware settings"), QDateTime::currentDateTimeUtc());
}

void PeltoSettings::wifiSettingsReceived(ControlChannel::ResponseCode response,
                                         ControlChannel::WifiSettings settings)
{
    m_settingsAnswered = true;
    if (response == ControlChannel::Answer)
        m_settings = settings;
    else
        reportRetrieveFailure();
    answered();
}

void PeltoSettings::wifiStateReceived(ControlChannel::ResponseCode response,
                                      ControlChannel::WifiState state)
{
    m_stateAnswered = true;
    if (response == ControlChannel::Answer)
        m_state = state;
    else
        reportRetrieveFailure();
    answered();
}

void PeltoSettings::wifiTxPowerReceived(ControlChannel::ResponseCode response, int32_t powerDbm)
{
    m_powerAnswered = true;
    if (response == ControlChannel::Answer)
        m_txPowerDbm = powerDbm;
    else
        reportRetrieveFailure();
    answered();
}

bool PeltoSettings::anyChanged(const QList<QPointer<HwSetting>> &rows)
{
    for (const QPointer<HwSetting> &row : rows)
        if (row && row->hasPending())
            return true;
    return false;
}

void PeltoSettings::applySettings(int tabRef)
{
    if (tabRef != m_wifiTab || m_wifiTab < 0)
        return;
    if (anyChanged(m_recordRows) || anyChanged(m_staticRows)) {
        qCInfo(lcPeltoSettings) << "applying wifi settings updates";
        emit SetWifiSettings(m_settings);
    }
    if (anyChanged(m_stateRows)) {
        qCInfo(lcPeltoSettings) << "applying wifi state updates";
        emit SetWifiState(m_state);
    }
    emit QueryWifiSettings();
}

bool PeltoSettings::validateStaticIpGroup(QObject *owner, HwSetting *row, std::string *errorText)
{
    auto *self = qobject_cast<PeltoSettings *>(owner);
    if (!self || !row || !row->getStringValue().isEmpty())
        return true;
    bool allEmpty = true;
    for (const QPointer<HwSetting> &r : self->m_staticRows)
        if (r && !r->getStringValue().isEmpty())
            allEmpty = false;
    if (allEmpty)
        return true;
    for (const QPointer<HwSetting> &r : self->m_staticRows) {
        if (r && (r->getStringValue().isEmpty() || r->hasError())) {
            if (errorText)
                *errorText = StaticIpGroupError;
            return false;
        }
    }
    return true;
}

void PeltoSettings::buildWifiSettingsTab()
{
    if (!m_gui)
        return;
    m_stateRows.clear();
    m_recordRows.clear();
    m_staticRows.clear();
    m_wifiTab = m_gui->addTab("Pelto");
    const int t = m_wifiTab;
    auto *record = m_settings.bytes.data();
    auto text = [record](int offset) { return reinterpret_cast<char *>(record + offset); };
    auto address = [record](int offset) { return reinterpret_cast<uint32_t *>(record + offset); };
    auto *state = m_state.bytes.data();

    m_gui->addSection(t, "General settings");
    m_recordRows << m_gui->addString(t, "Name", text(NameOffset), SsidWidth, false, nullptr, this);
    m_gui->addSection(t, "Wifi settings");
    m_stateRows << m_gui->addBool(t, "Wi-Fi enabled", state + WifiEnabledByte, nullptr, this);
    m_gui->addSubSection(t, "Connect to access point mode (2.4 Ghz)");
    m_stateRows << m_gui->addBool(t, "Enabled", state + StationEnabledByte, nullptr, this);
    m_recordRows << m_gui->addString(t, "SSID", text(StationSsidOffset), SsidWidth, false, nullptr,
                                     this);
    m_recordRows << m_gui->addString(t, "Password", text(StationPasswordOffset), PasswordWidth,
                                     true, nullptr, this);
    m_staticRows << m_gui->addIpAddress(t, "Static IP", address(StaticIpOffset),
                                        &PeltoSettings::validateStaticIpGroup, this);
    m_staticRows << m_gui->addIpAddress(t, "Static subnet mask", address(StaticSubnetMaskOffset),
                                        &PeltoSettings::validateStaticIpGroup, this);
    m_staticRows << m_gui->addIpAddress(t, "Gateway", address(StaticGatewayOffset),
                                        &PeltoSettings::validateStaticIpGroup, this);
    m_gui->addSubSection(t, "Access point mode");
    m_stateRows << m_gui->addBool(t, "Enabled", state + AccessPointEnabledByte, nullptr, this);
    m_recordRows << m_gui->addString(t, "SSID", text(AccessPointSsidOffset), SsidWidth, false,
                                     nullptr, this);
    m_recordRows << m_gui->addString(t, "Password", text(AccessPointPasswordOffset), PasswordWidth,
                                     true, nullptr, this);
    m_recordRows << m_gui->addBool(t, "Hidden SSID", record + HiddenSsidOffset, nullptr, this);

    QList<HwSetting *> group;
    for (const QPointer<HwSetting> &row : m_staticRows)
        group << row.data();
    for (HwSetting *row : group)
        row->setSiblings(group);
    if (HwSettingsTab *tab = m_gui->tab(t))
        emit tab->SettingsChanged(tab->getSettingsList());
}
