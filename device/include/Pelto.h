#pragma once

#include "ControlChannel.h"
#include "ErrorChannel.h"
#include "ExternalMode.h"
#include "FileControlChannel.h"
#include "Nimbrel.h"
#include "OrvDevice.h"
#include "PeltoMonitor.h"
#include "SoftwareUpdate.h"
#include "WifiDatalink.h"

#include <QDateTime>
#include <QPointer>
#include <QUrl>

#include <array>

class QTimer;

// The maker's controller with its services. It creates the control channel and the external-mode
// bridge at once and the device-message channel when the device reports it open; while connected
// it polls the device's state every second, corrects the device clock and turns boot flags and
// device messages into notifications. The update, file-control and message services exist while
// the device reports them open.
//
// Services are deleted (deferred) on disconnection without an opened/closed signal, so holders
// keep them in QPointers.
class Pelto : public OrvDevice
{
    Q_OBJECT
    Q_PROPERTY(QString versionApp READ getVersionApp WRITE writeVersionApp NOTIFY VersionAppChanged)
    Q_PROPERTY(QString nameApp READ getNameApp WRITE writeNameApp NOTIFY NameAppChanged)
    Q_PROPERTY(QString versionESP READ getVersionESP WRITE writeVersionESP NOTIFY VersionESPChanged)
    Q_PROPERTY(bool isInFirmware READ isInFirmware NOTIFY RunModeChanged)
    Q_PROPERTY(bool isInRollback READ isInRollback NOTIFY RunModeChanged)
    Q_PROPERTY(bool hasRolledBack READ hasRolledBack NOTIFY RunModeChanged)
    Q_PROPERTY(bool isInCrashLoop READ isInCrashLoop NOTIFY RunModeChanged)
    Q_PROPERTY(bool isInFallback READ isInFallback NOTIFY RunModeChanged)
    Q_PROPERTY(bool ipAvailableProp READ isIpAvailable WRITE writeIpAvailable NOTIFY IpChanged)
    Q_PROPERTY(QString ipAddress READ getIpAddress NOTIFY IpChanged)
    Q_PROPERTY(ControlChannel::AppStatus appStatus READ getAppRunningState WRITE writeAppStatus
                   NOTIFY AppStatusChanged)
    Q_PROPERTY(bool appRunning READ isAppRunning NOTIFY AppStatusChanged)
    Q_PROPERTY(bool appStateSafeForDownload READ isAppStateSafeForDownload NOTIFY AppStatusChanged)
    Q_PROPERTY(bool monitoringServiceRunning READ isMonitoringServiceRunning NOTIFY
                   monitoringServiceRunningChanged)
    Q_PROPERTY(PeltoMonitor *externalMonitor READ externalMonitor NOTIFY MonitoringOpenedClosed)
    Q_PROPERTY(int rssi READ getRssi WRITE writeRssi NOTIFY RssiChanged)
    Q_PROPERTY(float updatePercentage READ getUpdatePercentage WRITE updateUpdateProgress NOTIFY
                   UpdateProgressChanged)
    Q_PROPERTY(bool peltoMscState READ getPeltoMscState NOTIFY MscStatusChanged)

public:
    static constexpr int defaultPollIntervalMs = 1000;
    static constexpr int externalModePort = 17725;
    // A device clock further off than this is set from the PC's clock.
    static constexpr qint64 clockToleranceSeconds = 5;
    // How long the destructor may wait for its disconnect request to reach the transport.
    static constexpr int disconnectFlushMs = 200;

    explicit Pelto(OrvDevice *source);
    ~Pelto() override;

    // Injected before the device connects (tests use short polls and local ports).
    void setPollInterval(int milliseconds) { m_pollIntervalMs = milliseconds; }
    void setWifiLinkSettings(const WifiDatalinkSettings &settings)
    {
        m_wifiLinkSettings = settings;
    }
    void setExternalModePort(int port);

    QString getVersionApp() const { return m_versionApp; }
    QString getNameApp() const { return m_nameApp; }
    QString getVersionESP() const { return m_versionESP; }
    bool isInFirmware() const { return m_bootFlags[2]; }
    bool isInRollback() const { return m_bootFlags[3]; }
    bool hasRolledBack() const { return m_bootFlags[4]; }
    bool isInFallback() const { return m_bootFlags[5]; }
    bool isInCrashLoop() const { return m_bootFlags[7]; }
    bool isIpAvailable() const { return m_ipAvailable; }
    QString getIpAddress() const { return m_ipAddress; }
    bool isAppRunning() const { return m_appStatus == ControlChannel::Running; }
    bool isAppStateSafeForDownload() const;
    bool isMonitoringServiceRunning() const { return m_monitoringServiceRunning; }
    // Null until the monitoring service opened, and again after it closed or the link went.
    PeltoMonitor *externalMonitor() const { return m_externalMonitor; }
    // Installed once by the monitoring library; without one, no monitor is made.
    static void setMonitorFactory(PeltoMonitorFactory factory);
    int getRssi() const { return m_rssi; }
    float getUpdatePercentage() const { return m_updatePercentage; }
    QDateTime deviceTime() const { return m_deviceTime; }
    QByteArray buildId() const { return m_buildId; }
    ErrorChannel *errorChannel() const { return m_errorChannel; }
    FileControlChannel *fileControlChannel() const { return m_fileControl; }
    SoftwareUpdate *updateService() const { return m_updateService; }
    ExternalMode *externalMode() const { return m_externalMode; }
    // A firmware file waiting for the update service to open; empty when none.
    QString pendingFirmwareUrl() const { return m_pendingFirmwareUrl; }

    // Asks the device for every version it reports, at once.
    void queryVersions();

signals:
    void UpdateProgressChanged(float progress);
    void UpdateServiceOpenedClosed(SoftwareUpdate *service);
    void ErrorChannelOpenedClosed(ErrorChannel *channel);
    void FileControlOpenedClosed(FileControlChannel *channel);
    void monitoringServiceRunningChanged();
    void FirmwareWirelessReceived(bool verified, QString version);
    void messageReceived(ErrorChannel::LogLevel level, QString msg);
    void VersionAppChanged(QString version);
    void NameAppChanged(QString applicationName);
    void VersionESPChanged(QString version);
    void RunModeChanged();
    void AppStatusChanged(ControlChannel::AppStatus status);
    void MscStatusChanged(bool mounted);
    void IpChanged();
    void IsConnectedSignal(Pelto *self, bool isConnected);
    void RssiChanged(int rssi);
    void BuildIDChanged(QByteArray buildID);
    void MonitoringOpenedClosed(PeltoMonitor *monitor);

public slots:
    const ControlChannel *getControlChannel() const { return m_controlChannel; }
    bool getPeltoMscState() const { return m_mscMounted; }
    ControlChannel::AppStatus getAppRunningState() const { return m_appStatus; }
    void openCloseUpdateService(bool open);
    void openCloseMonitoring(bool open);
    void openCloseErrorChannel(bool open);
    void openCloseFileControl(bool open);
    void startMonitoring();
    void setPeltoMscState(bool state);
    void toggleAppState();
    void restartToSerialDownloaderMode();
    void deletePelto();
    void setActiveDatalinkUsb();
    void setActiveDatalinkWifi();
    void setActiveDatalinkBt();
    void setActiveDatalinkNone();
    // False when the link could not be adopted (the device already has a Wi-Fi link).
    bool wifiConnect(QString hostAddress);
    // Uploads a firmware file (.fwb, .feb) through the update service: at once when the service is
    // open, else once the device reports it open.
    void tempUploadFirmware(QUrl firmwareFile);
    void setVersionFW(bool verified, QString versionNumber, int timeoutBootTime, int remainingTime);
    void setVersionApp(bool verified, QString version);
    void setNameApp(QString appName);
    void setVersionESP(bool verified, QString versionNumber);

    void pollPeltoState();
    void mscStatusReceived(ControlChannel::ResponseCode response, ControlChannel::MSCStatus status);
    void appStateReceived(ControlChannel::ResponseCode response, ControlChannel::AppStatus status);
    void extModStateReceived(ControlChannel::ResponseCode response, bool isOpen);
    void extModServerStatusChanged(int port, bool started, bool client_connected);
    void currentBuildIDReceived(ControlChannel::ResponseCode response, QByteArray buildID);
    void setImageDetails(ControlChannel::ResponseCode response,
                         ControlChannel::ImageDetails details);
    void dateTimeReceived(ControlChannel::ResponseCode response, ControlChannel::TimeDate dateTime);
    void setCurrentIP(ControlChannel::ResponseCode response, ControlChannel::WifiIP ip);
    void apInfoReceived(ControlChannel::ResponseCode response, ControlChannel::WifiAPInfo info);
    void wifiSettingsReceived(ControlChannel::ResponseCode response,
                              ControlChannel::WifiSettings settings);
    void handleUpdateServiceOpenedClosed(ControlChannel::ResponseCode response, bool isOpen);
    void handleMonitoringServiceOpenedClosed(ControlChannel::ResponseCode response, bool isOpen);
    void handleErrorChannelServiceOpenedClosed(ControlChannel::ResponseCode response, bool isOpen);
    void handleFileControlOpenedClosed(ControlChannel::ResponseCode response, bool isOpen);

private slots:
    void deviceIsConnected(bool isConnected);
    void appMessageReceived(ErrorChannel::LogLevel level, QString msg);
    void kernelMessageReceived(ErrorChannel::LogLevel level, QString msg);
    void pushMessageToNotifications(nimbrel::ErrorLevel level, QString msg);
    void updateUpdateProgress(float value);
    // Lets the device's watchdog wait longer around an upload's start and end. Not connected to
    // the update service: uploads run under the link's own (injectable) watchdog time.
    void updateUpdateState(SoftwareUpdate::UpdateState value);

private:
    void writeVersionApp(const QString &version);
    void writeNameApp(const QString &name);
    void writeVersionESP(const QString &version);
    void writeIpAvailable(bool available);
    void writeAppStatus(ControlChannel::AppStatus status) { m_appStatus = status; }
    void writeRssi(int rssi);
    void disposeOfServices();

    ControlChannel::AppStatus m_appStatus = ControlChannel::Unknown;
    bool m_mscMounted = false;
    QTimer *m_pollTimer = nullptr;
    QDateTime m_deviceTime;
    std::array<uint8_t, 16> m_lastAddress{};
    QString m_versionApp = QStringLiteral("Undefined");
    QString m_nameApp;
    QString m_versionESP = QStringLiteral("Undefined");
    std::array<bool, 8> m_bootFlags{};
    bool m_wirelessVerified = false;
    int m_rssi = 0;
    bool m_monitoringServiceRunning = false;
    PeltoMonitor *m_externalMonitor = nullptr;
    QString m_ipAddress;
    float m_updatePercentage = 0;
    bool m_ipAvailable = false;
    QByteArray m_buildId;
    QPointer<ControlChannel> m_controlChannel;
    QPointer<ExternalMode> m_externalMode;
    QPointer<ErrorChannel> m_errorChannel;
    QPointer<FileControlChannel> m_fileControl;
    QPointer<SoftwareUpdate> m_updateService;
    int m_pollIntervalMs = defaultPollIntervalMs;
    WifiDatalinkSettings m_wifiLinkSettings;
    QString m_pendingFirmwareUrl;
};
