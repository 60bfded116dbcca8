#include "PeltoUpdateEntry.h"

#include "Pelto.h"
#include "SemanticVersion.h"
#include "VersionControl.h"

PeltoUpdateEntry::PeltoUpdateEntry(QObject *parent, const OrvDevice *device, bool updateInProgress,
                                   bool visible)
    : DeviceUpdateEntry(parent, device, updateInProgress, visible)
    , m_pelto(qobject_cast<Pelto *>(const_cast<OrvDevice *>(device)))
    , m_osComponent(osComponentName(m_extendedDeviceType))
{
    readLatestVersions();
    if (m_pelto) {
        connect(m_pelto, &OrvDevice::FirmwareStateReceived, this,
                &PeltoUpdateEntry::peltoOSFwReceived);
        connect(m_pelto, &Pelto::FirmwareWirelessReceived, this,
                &PeltoUpdateEntry::peltoWirelessFwReceived);
        connect(m_pelto, &Pelto::UpdateProgressChanged, this,
                &DeviceUpdateEntry::setUpdateProgress);
        connect(m_pelto, &Pelto::VersionAppChanged, this, &PeltoUpdateEntry::peltoAppReceived);
        connect(m_pelto, &Pelto::BuildIDChanged, this, &PeltoUpdateEntry::peltoBuildIDReceived);
        connect(m_pelto, &Pelto::NameAppChanged, this, &PeltoUpdateEntry::peltoNameAppReceived);
        connect(this, &PeltoUpdateEntry::QueryPeltoSoftwareUpdate, m_pelto,
                &Pelto::openCloseUpdateService, Qt::QueuedConnection);
        connect(m_pelto, &Pelto::UpdateServiceOpenedClosed, this,
                &PeltoUpdateEntry::setSoftwareUpdateChannel);
    }
    if (m_visible)
        emit QueryPeltoSoftwareUpdate(true);
}

QString PeltoUpdateEntry::osComponentName(int extendedType)
{
    return extendedType == 13 || (extendedType >= 18 && extendedType <= 23)
        ? QStringLiteral("TorvikOS")
        : QStringLiteral("PeltoOS");
}

void PeltoUpdateEntry::readLatestVersions()
{
    const QMap<QString, QString> latest = VersionControl::instance()->getDeviceComponentVersions(
        m_deviceTypeString, m_latestFwVersion);
    m_os.latest = latest.value(m_osComponent);
    m_wireless.latest = latest.value(WirelessComponent);
}

bool PeltoUpdateEntry::isOlder(const QString &current, const QString &latest)
{
    return SemanticVersion(current).isOlderThan(SemanticVersion(latest));
}

void PeltoUpdateEntry::peltoOSFwReceived(bool verified, QString version, int timeoutBootTime,
                                         int remainingTime)
{
    m_os.current = version;
    m_os.verified = verified || version.isEmpty();
    m_os.received = true;
    if (verified) {
        setUpdateProgress(-1);
        m_os.needsUpdate = isOlder(m_os.current, m_os.latest);
    } else if (timeoutBootTime > 0) {
        setUpdateProgress(float(timeoutBootTime - remainingTime) / float(timeoutBootTime));
    } else {
        // No boot time-out to count down: the verification is as good as done.
        setUpdateProgress(1.0f);
    }
    evaluateVersions();
}

void PeltoUpdateEntry::peltoWirelessFwReceived(bool verified, QString version)
{
    m_wireless.current = version;
    m_wireless.verified = verified || version.isEmpty();
    m_wireless.received = true;
    if (verified)
        m_wireless.needsUpdate = isOlder(m_wireless.current, m_wireless.latest);
    evaluateVersions();
}

void PeltoUpdateEntry::peltoAppReceived(QString version)
{
    m_componentVersions.insert(QStringLiteral("Application"), version);
    emit componentVersionsChanged();
}

void PeltoUpdateEntry::peltoBuildIDReceived(QByteArray buildID)
{
    if (m_componentVersions.contains(QStringLiteral("Application Name")))
        return;
    // A build id is raw bytes: as UTF-8 text most ids would lose bytes and never match a binary
    // of the library again. Hex keeps every byte; the screen turns it back into bytes.
    m_componentVersions.insert(QStringLiteral("Application ID"),
                               QString::fromLatin1(buildID.toHex()));
    emit componentVersionsChanged();
}

void PeltoUpdateEntry::peltoNameAppReceived(QString applicationName)
{
    if (applicationName.isEmpty())
        return;
    m_componentVersions.insert(QStringLiteral("Application Name"), applicationName);
    emit componentVersionsChanged();
    m_componentVersions.remove(QStringLiteral("Application ID"));
}

void PeltoUpdateEntry::evaluateVersions()
{
    if (!m_os.verified || !m_wireless.verified) {
        setUpdateState(VerifyingUpdate, true);
        return;
    }
    if (!m_os.received || !m_wireless.received)
        return;
    updateCurrentVersion(
        { { m_osComponent, m_os.current }, { WirelessComponent, m_wireless.current } });
    if (!m_os.needsUpdate && !m_wireless.needsUpdate)
        setUpdateState(NoUpdateAvailable, true);
    else if (m_inProgress)
        startUpdate();
    else
        setUpdateState(UpdateAvailable, true);
    m_componentVersions.insert(m_osComponent, m_os.current);
    m_componentVersions.insert(WirelessComponent, m_wireless.current);
    emit componentVersionsChanged();
}

void PeltoUpdateEntry::startDeviceUpdate()
{
    if (!m_channel) {
        m_startPending = true;
        if (m_pelto)
            m_pelto->openCloseUpdateService(true);
        return;
    }
    const bool startable = m_updateState == UpdateAvailable || m_updateState == RestartAfterUpload
        || m_updateState == VerifyingUpdate || m_updateState == ErrorWhileUpdating;
    if (!startable || m_expectedFiles > 0)
        return;
    setUpdateState(DownloadingFirmware, true);
    m_expectedFiles += int(m_os.needsUpdate) + int(m_wireless.needsUpdate);
    if (m_os.needsUpdate)
        requestFirmwareDownload(m_osComponent, m_os.latest);
    if (m_wireless.needsUpdate)
        requestFirmwareDownload(WirelessComponent, m_wireless.latest);
}

void PeltoUpdateEntry::setSoftwareUpdateChannel(const SoftwareUpdate *softwareUpdateChannel)
{
    if (m_channel)
        disconnect(m_channel.data(), nullptr, this, nullptr);
    m_channel = softwareUpdateChannel;
    if (!m_channel)
        return;
    auto *channel = const_cast<SoftwareUpdate *>(m_channel.data());
    connect(this, &DeviceUpdateEntry::UploadFw, channel, &SoftwareUpdate::startUpdateFromMemory,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(channel, &SoftwareUpdate::UpdateStateChanged, this,
            &PeltoUpdateEntry::updateChannelStateReceived, Qt::UniqueConnection);
    if (m_startPending) {
        // Carried out now: a later opening of the channel must not start an update again.
        m_startPending = false;
        startDeviceUpdate();
    }
}

void PeltoUpdateEntry::firmwareFileReady(QString firmware, QString version, QString filePath)
{
    if (filePath.isEmpty()) {
        reportUpdateFailure(QStringLiteral("Firmware file could not be download"));
        m_expectedFiles = 0;
        m_downloaded.clear();
        setUpdateState(UpdateAvailable, false);
        return;
    }
    if (--m_expectedFiles < 0) {
        m_expectedFiles = 0;
        return;
    }
    m_downloaded.insert(firmware, { firmware, version, filePath });
    if (m_expectedFiles == 0)
        uploadPendingFirmware();
}

void PeltoUpdateEntry::uploadPendingFirmware()
{
    const bool os = m_os.needsUpdate;
    if (!os && !m_wireless.needsUpdate)
        return;
    const QString component = os ? m_osComponent : WirelessComponent;
    const auto file = m_downloaded.constFind(component);
    if (file == m_downloaded.constEnd()) {
        reportUpdateFailure(QStringLiteral("Could not upload firmware to Pelto"));
        m_downloaded.clear();
        return;
    }
    uploadFirmwareFile(file->component, file->version, file->path,
                       os ? SoftwareUpdate::Firmware : SoftwareUpdate::WirelessFirmware);
}

void PeltoUpdateEntry::updateChannelStateReceived(SoftwareUpdate::UpdateState value)
{
    if (value == SoftwareUpdate::TimedOut || value == SoftwareUpdate::UpdateError) {
        setUpdateState(ErrorWhileUpdating, false);
        reportUpdateFailure(QStringLiteral("Could not upload firmware to Pelto"));
        m_downloaded.clear();
        // The update the device came back for has failed: from here on the user decides. Left
        // set, the re-evaluation would start the same upload again, and again after each failure.
        m_inProgress = false;
        evaluateVersions();
    } else if (value == SoftwareUpdate::UpdateFinished) {
        setUpdateState(Restarting, true);
    }
}

void PeltoUpdateEntry::setVisible(bool visible)
{
    m_visible = visible;
    if (visible && !m_channel)
        emit QueryPeltoSoftwareUpdate(true);
    showProgressNotification(!visible);
}

void PeltoUpdateEntry::refresh()
{
    readLatestVersions();
    m_os.current.clear();
    m_wireless.current.clear();
    m_os.received = false;
    m_wireless.received = false;
    if (m_pelto)
        m_pelto->queryVersions();
}
