#include "Pelto.h"

#include "DatalinkManager.h"
#include "ErrorHandler.h"
#include "ExternalMode.h"

#include <QHostAddress>
#include <QLoggingCategory>
#include <QTimeZone>
#include <QTimer>

Q_LOGGING_CATEGORY(lcPelto, "Device.Pelto")

namespace {
const QString bootErrorTitle = QStringLiteral("Pelto boot error");
constexpr int deviceNameSize = 32; // the name field at the start of the Wi-Fi settings record
} // namespace

Pelto::Pelto(OrvDevice *source)
    : OrvDevice(source)
    , m_pollTimer(new QTimer(this))
{
    m_controlChannel = new ControlChannel(this, 1, true, manager());
    m_externalMode = new ExternalMode(this, 5, true, manager());
    m_externalMode->setPort(externalModePort);

    connect(this, &OrvDevice::IsConnectedChanged, this, &Pelto::deviceIsConnected);
    ControlChannel *control = m_controlChannel;
    connect(control, &ControlChannel::GetMscStateReceived, this, &Pelto::mscStatusReceived);
    connect(control, &ControlChannel::MscInsertReceived, this, &Pelto::mscStatusReceived);
    connect(control, &ControlChannel::MscEjectReceived, this, &Pelto::mscStatusReceived);
    connect(control, &ControlChannel::StartStopAppReceived, this, &Pelto::appStateReceived);
    connect(control, &ControlChannel::GetAppStatusReceived, this, &Pelto::appStateReceived);
    connect(control, &ControlChannel::GetExtModStatusReceived, this, &Pelto::extModStateReceived);
    connect(control, &ControlChannel::GetCurrentBuildIDReceived, this,
            &Pelto::currentBuildIDReceived);
    connect(control, &ControlChannel::GetFwVersionReceived, this, &Pelto::setVersionFW);
    connect(control, &ControlChannel::GetAppVersionReceived, this, &Pelto::setVersionApp);
    connect(control, &ControlChannel::GetExtendedAppVersionReceived, this, &Pelto::setVersionApp);
    connect(control, &ControlChannel::GetAppNameReceived, this, &Pelto::setNameApp);
    connect(control, &ControlChannel::GetESPVersionReceived, this, &Pelto::setVersionESP);
    connect(control, &ControlChannel::GetFwImageDetailsReceived, this, &Pelto::setImageDetails);
    connect(control, &ControlChannel::GetDateReceived, this, &Pelto::dateTimeReceived);
    connect(control, &ControlChannel::GetWifiIPReceived, this, &Pelto::setCurrentIP);
    connect(control, &ControlChannel::GetWifiAPInfoReceived, this, &Pelto::apInfoReceived);
    connect(control, &ControlChannel::GetWifiSettingsReceived, this, &Pelto::wifiSettingsReceived);
    connect(control, &ControlChannel::OpenCloseUpdateServiceReceived, this,
            &Pelto::handleUpdateServiceOpenedClosed);
    connect(control, &ControlChannel::OpenCloseMonitoringServiceReceived, this,
            &Pelto::handleMonitoringServiceOpenedClosed);
    connect(control, &ControlChannel::OpenCloseErrorChannelServiceReceived, this,
            &Pelto::handleErrorChannelServiceOpenedClosed);
    connect(control, &ControlChannel::OpenCloseFileControlServiceReceived, this,
            &Pelto::handleFileControlOpenedClosed);
    connect(m_externalMode, &ExternalMode::extModServerStatusChanged, this,
            &Pelto::extModServerStatusChanged);

    connect(m_pollTimer, &QTimer::timeout, this, &Pelto::pollPeltoState);
}

Pelto::~Pelto()
{
    emit IsConnectedSignal(this, false);
    if (m_controlChannel) {
        m_controlChannel->disconnectDevice();
        // The request waits in the link's write buffer, and the links close with this object:
        // it is pushed out now, for a bounded time so that a stalled device cannot hold up the
        // program.
        if (DatalinkManager *links = manager())
            links->flushLinks(disconnectFlushMs);
        m_controlChannel->deleteLater();
    }
    if (m_externalMode)
        m_externalMode->deleteLater();
    if (m_errorChannel)
        m_errorChannel->deleteLater();
    if (m_fileControl)
        m_fileControl->deleteLater();
    if (m_updateService)
        m_updateService->deleteLater();
}

void Pelto::setExternalModePort(int port)
{
    m_externalMode->setPort(port);
}

bool Pelto::isAppStateSafeForDownload() const
{
    return m_appStatus != ControlChannel::Running && m_appStatus != ControlChannel::Stopping;
}

void Pelto::queryVersions()
{
    m_controlChannel->getFirmwareVersion();
    m_controlChannel->getESPVersion();
    m_controlChannel->getAppVersion();
    m_controlChannel->getExtendedAppVersion();
    m_controlChannel->getAppName();
    m_controlChannel->getCurrentBuildID();
}

void Pelto::deviceIsConnected(bool isConnected)
{
    if (isConnected) {
        m_controlChannel->openCloseErrorChannelService(true);
        // These go out once control returns to the event loop, after the version requests.
        for (const char *request :
             { "getFwImageDetails", "getExtModStatus", "getMscState", "getAppStatus", "getDate",
               "getWifiSettings", "getCurrentBuildID" })
            QMetaObject::invokeMethod(m_controlChannel, request, Qt::QueuedConnection);
        queryVersions();
        m_pollTimer->start(m_pollIntervalMs);
        emit IsConnectedSignal(this, true);
        return;
    }
    m_appStatus = ControlChannel::Unknown;
    emit AppStatusChanged(m_appStatus);
    m_pollTimer->stop();
    emit IsConnectedSignal(this, false);
    disposeOfServices();
    if (m_externalMonitor) {
        m_externalMonitor->reset();
        m_externalMonitor->deleteLater();
        m_externalMonitor = nullptr;
    }
}

void Pelto::pollPeltoState()
{
    m_controlChannel->getMscState();
    m_controlChannel->getAppStatus();
    m_controlChannel->getWifiIP();
    m_controlChannel->getWifiAPInfo();
    // Versions are asked again until the device vouches for them (or reports none).
    const bool firmwareOpen = !isFirmwareVerified() && !getFirmwareVersion().isEmpty();
    const bool wirelessOpen = !m_wirelessVerified && !m_versionESP.isEmpty();
    if (firmwareOpen || wirelessOpen)
        queryVersions();
    if (m_buildId.isEmpty())
        m_controlChannel->getCurrentBuildID();
}

void Pelto::openCloseUpdateService(bool open)
{
    m_controlChannel->openCloseUpdateService(open);
}

void Pelto::openCloseMonitoring(bool open)
{
    m_controlChannel->openCloseMonitoringService(open);
}

void Pelto::openCloseErrorChannel(bool open)
{
    m_controlChannel->openCloseErrorChannelService(open);
}

void Pelto::openCloseFileControl(bool open)
{
    m_controlChannel->openCloseFileControlService(open);
}

void Pelto::startMonitoring()
{
    openCloseMonitoring(true);
}

void Pelto::setPeltoMscState(bool state)
{
    if (state)
        m_controlChannel->mscInsert();
    else
        m_controlChannel->mscEject();
}

void Pelto::toggleAppState()
{
    m_controlChannel->startStopApp(m_appStatus != ControlChannel::Running);
}

void Pelto::restartToSerialDownloaderMode()
{
    m_controlChannel->goToSerialDownloaderMode();
}

void Pelto::deletePelto()
{
    reconnectOnLoss = false;
    m_controlChannel->disconnectDevice();
}

void Pelto::setActiveDatalinkUsb()
{
    setActiveDatalink(AbstractDataLink::USB);
}

void Pelto::setActiveDatalinkWifi()
{
    setActiveDatalink(AbstractDataLink::WiFi);
}

void Pelto::setActiveDatalinkBt()
{
    setActiveDatalink(AbstractDataLink::Bluetooth);
}

void Pelto::setActiveDatalinkNone()
{
    setActiveDatalink(AbstractDataLink::None);
    deleteSelf();
}

bool Pelto::wifiConnect(QString hostAddress)
{
    auto *link = new WifiDatalink(this, QHostAddress(hostAddress), true, true, m_wifiLinkSettings);
    if (addDatalink(link) != 0) {
        qCWarning(lcPelto) << "Device" << getSerialNumber() << "already has a Wi-Fi link";
        delete link;
        return false;
    }
    link->initialise();
    return true;
}

void Pelto::setVersionFW(bool verified, QString versionNumber, int timeoutBootTime,
                         int remainingTime)
{
    setFirmware(verified, versionNumber);
    emit VersionFirmwareChanged(versionNumber);
    emit FirmwareStateReceived(verified, versionNumber, timeoutBootTime, remainingTime);
}

void Pelto::setVersionApp(bool verified, QString version)
{
    Q_UNUSED(verified);
    // The short and the extended version both arrive here; the longer text wins.
    if (version.size() >= m_versionApp.size() || m_versionApp == QLatin1String("Undefined"))
        m_versionApp = version;
    emit VersionAppChanged(m_versionApp);
}

void Pelto::setNameApp(QString appName)
{
    m_nameApp = appName;
    emit NameAppChanged(m_nameApp);
}

void Pelto::setVersionESP(bool verified, QString versionNumber)
{
    m_wirelessVerified = verified;
    m_versionESP = versionNumber;
    emit VersionESPChanged(m_versionESP);
    emit FirmwareWirelessReceived(verified, m_versionESP);
}

void Pelto::mscStatusReceived(ControlChannel::ResponseCode response,
                              ControlChannel::MSCStatus status)
{
    if (response == ControlChannel::Failure) {
        qCDebug(lcPelto) << "Error receiving msc state";
        return;
    }
    const bool mounted = status == ControlChannel::AlreadyMounted;
    if (mounted == m_mscMounted)
        return;
    m_mscMounted = mounted;
    emit MscStatusChanged(mounted);
}

void Pelto::appStateReceived(ControlChannel::ResponseCode response,
                             ControlChannel::AppStatus status)
{
    if (response == ControlChannel::Failure) {
        qCDebug(lcPelto) << "Error receiving app state";
        return;
    }
    if (status == m_appStatus)
        return;
    switch (status) {
    case ControlChannel::Stopped:
    case ControlChannel::Crashed:
    case ControlChannel::Killed:
    case ControlChannel::Stopping:
        m_controlChannel->openCloseMonitoringService(false);
        if (m_externalMonitor)
            m_externalMonitor->reset();
        break;
    default:
        break;
    }
    m_appStatus = status;
    emit AppStatusChanged(status);
}

void Pelto::extModStateReceived(ControlChannel::ResponseCode response, bool isOpen)
{
    if (response == ControlChannel::Failure) {
        qCDebug(lcPelto) << "Error receiving external mode status";
        return;
    }
    if (isOpen)
        m_externalMode->startServer();
    else
        m_externalMode->stopServer();
}

void Pelto::extModServerStatusChanged(int port, bool started, bool client_connected)
{
    qCDebug(lcPelto) << "External mode server state: port =" << port << ", started =" << started
                     << ", client_connected =" << client_connected;
}

void Pelto::currentBuildIDReceived(ControlChannel::ResponseCode response, QByteArray buildID)
{
    if (response != ControlChannel::Answer)
        return;
    m_buildId = buildID;
    emit BuildIDChanged(m_buildId);
}

void Pelto::setImageDetails(ControlChannel::ResponseCode response,
                            ControlChannel::ImageDetails details)
{
    if (response != ControlChannel::Answer)
        return;
    const uint8_t flags = details.bootFlags();
    for (int bit = 0; bit < 8; ++bit)
        m_bootFlags[size_t(bit)] = (flags >> bit) & 1;
    emit RunModeChanged();

    QString message;
    if (isInFallback())
        message = QStringLiteral(
            "Pelto has started in fallback mode. This mode is only activated when an "
            "unrecoverable crash has occurred. The fallback mode can be used to recover the "
            "latest firmware. All other functionalities are disabled.");
    else if (isInCrashLoop())
        message = QStringLiteral("Pelto has disabled the running of the model due to a crash "
                                 "loop. Try uploading a new model.");
    else if (isInRollback() || hasRolledBack())
        message = QStringLiteral(
            "The Pelto has been rolled back to the previously installed firmware due to "
            "malfunctioning firmware. Retry updating the firmware again.");
    if (!message.isEmpty())
        ErrorHandler::instance()->pushNotification(nimbrel::Error, AbstractNotification::Device,
                                                   bootErrorTitle, message, getSerialNumber(),
                                                   QDateTime::currentDateTimeUtc());
}

void Pelto::dateTimeReceived(ControlChannel::ResponseCode response,
                             ControlChannel::TimeDate dateTime)
{
    Q_UNUSED(response);
    m_deviceTime = QDateTime(QDate(dateTime.year, dateTime.month, dateTime.dayOfMonth),
                             QTime(dateTime.hour, dateTime.minute, dateTime.second),
                             QTimeZone::systemTimeZone());
    // The device keeps whole seconds; so does the comparison.
    QDateTime now = QDateTime::currentDateTime();
    now.setTime(QTime(now.time().hour(), now.time().minute(), now.time().second()));
    const qint64 offset = m_deviceTime.isValid() ? now.secsTo(m_deviceTime) : 0;
    if (qAbs(offset) <= clockToleranceSeconds)
        return;
    ControlChannel::TimeDate pcTime;
    pcTime.second = now.time().second();
    pcTime.minute = now.time().minute();
    pcTime.hour = now.time().hour();
    pcTime.dayOfMonth = now.date().day();
    pcTime.month = now.date().month();
    pcTime.year = now.date().year();
    pcTime.dayOfWeek = now.date().dayOfWeek();
    pcTime.dayOfYear = now.date().dayOfYear();
    m_controlChannel->setDate(pcTime);
    qCDebug(lcPelto) << "Time updated on device side.";
}

void Pelto::setCurrentIP(ControlChannel::ResponseCode response, ControlChannel::WifiIP ip)
{
    if (response == ControlChannel::NothingToReport)
        return;
    const std::array<uint8_t, 16> address = ip.address();
    const size_t compared = ip.compareFullAddress() ? 16 : 4;
    if (std::equal(address.begin(), address.begin() + compared, m_lastAddress.begin()))
        return;
    m_lastAddress = address;
    if (address[0] == 0 && address[1] == 0 && address[2] == 0 && address[3] == 0) {
        m_ipAvailable = false;
        m_ipAddress.clear();
    } else {
        m_ipAvailable = true;
        if (ip.isIPv6()) {
            Q_IPV6ADDR raw;
            std::copy(address.begin(), address.end(), raw.c);
            m_ipAddress = QHostAddress(raw).toString();
        } else {
            m_ipAddress = QHostAddress((quint32(address[0]) << 24) | (quint32(address[1]) << 16)
                                       | (quint32(address[2]) << 8) | quint32(address[3]))
                              .toString();
        }
    }
    emit IpChanged();
}

void Pelto::apInfoReceived(ControlChannel::ResponseCode response, ControlChannel::WifiAPInfo info)
{
    if (response != ControlChannel::Answer)
        return;
    m_rssi = info.rssi();
    emit RssiChanged(m_rssi);
}

void Pelto::wifiSettingsReceived(ControlChannel::ResponseCode response,
                                 ControlChannel::WifiSettings settings)
{
    if (response != ControlChannel::Answer)
        return;
    // The field need not hold a zero byte: never read past its 32 bytes.
    const auto *name = reinterpret_cast<const char *>(settings.bytes.data());
    setName(QString::fromUtf8(name, qstrnlen(name, deviceNameSize)));
}

void Pelto::appMessageReceived(ErrorChannel::LogLevel level, QString msg)
{
    switch (int(level)) {
    case 3:
        pushMessageToNotifications(nimbrel::Warning, msg);
        break;
    case 4:
        pushMessageToNotifications(nimbrel::Error, msg);
        break;
    case 5:
        pushMessageToNotifications(nimbrel::CriticalError, msg);
        break;
    default:
        break;
    }
}

void Pelto::kernelMessageReceived(ErrorChannel::LogLevel level, QString msg)
{
    switch (int(level)) {
    case 4:
        pushMessageToNotifications(nimbrel::Error, msg);
        break;
    case 5:
        pushMessageToNotifications(nimbrel::CriticalError, msg);
        break;
    default:
        break;
    }
}

void Pelto::pushMessageToNotifications(nimbrel::ErrorLevel level, QString msg)
{
    const QString text = ErrorChannel::notificationText(msg);
    QString title;
    switch (level) {
    case nimbrel::CriticalError:
        title = QStringLiteral("Critical error received from Pelto");
        break;
    case nimbrel::Error:
        title = QStringLiteral("Error received from Pelto");
        break;
    case nimbrel::Warning:
        title = QStringLiteral("Warning received from Pelto");
        break;
    case nimbrel::Info:
        title = QStringLiteral("Message received from Pelto");
        break;
    default:
        break;
    }
    ErrorHandler::instance()->pushNotification(level, AbstractNotification::Device, title, text,
                                               getSerialNumber(), QDateTime::currentDateTimeUtc());
}

void Pelto::writeVersionApp(const QString &version)
{
    if (version == m_versionApp)
        return;
    m_versionApp = version;
    emit VersionAppChanged(m_versionApp);
}

void Pelto::writeNameApp(const QString &name)
{
    if (name == m_nameApp)
        return;
    m_nameApp = name;
    emit NameAppChanged(m_nameApp);
}

void Pelto::writeVersionESP(const QString &version)
{
    if (version == m_versionESP)
        return;
    m_versionESP = version;
    emit VersionESPChanged(m_versionESP);
}

void Pelto::writeIpAvailable(bool available)
{
    if (available == m_ipAvailable)
        return;
    m_ipAvailable = available;
    emit IpChanged();
}

void Pelto::writeRssi(int rssi)
{
    if (rssi == m_rssi)
        return;
    m_rssi = rssi;
    emit RssiChanged(m_rssi);
}
