#include "DeviceUpdateEntry.h"

#include "Aes256Cbc.h"
#include "ErrorHandler.h"
#include "FirmwareFileManager.h"
#include "NotificationMsgProgress.h"
#include "ScrambledKey.h"
#include "Sha256Check.h"
#include "VersionControl.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QLoggingCategory>
#include <QMetaObject>

Q_LOGGING_CATEGORY(lcDeviceUpdateEntry, "Staging.DeviceUpdateEntry")

namespace {

constexpr std::array<std::int32_t, 6> DefaultFirmwareSeeds
    = { 0x6d2b90e1, 0x1a4f7c33, 0x04e1d8b7, 0x73c5a219, 0x2f08e6d4, 0x58b3147c };

const QString Origin = QStringLiteral("Device updater");

QString progressTextFor(DeviceUpdateEntry::UpdateState state)
{
    switch (state) {
    case DeviceUpdateEntry::NoUpdateAvailable:
        return QStringLiteral("Device up-to-date");
    case DeviceUpdateEntry::UpdateAvailable:
        return QStringLiteral("New update available");
    case DeviceUpdateEntry::RestartAfterUpload:
    case DeviceUpdateEntry::Restarting:
        return QStringLiteral("Restarting");
    case DeviceUpdateEntry::DownloadingFirmware:
        return QStringLiteral("Downloading firmware data");
    case DeviceUpdateEntry::UploadingFirmware:
        return QStringLiteral("Uploading firmware");
    case DeviceUpdateEntry::VerifyingUpdate:
        return QStringLiteral("Verifying firmware");
    case DeviceUpdateEntry::ErrorWhileUpdating:
        return QStringLiteral("Update failed");
    }
    return QString();
}

} // namespace

DeviceUpdateEntry::DeviceUpdateEntry(QObject *parent, const OrvDevice *device,
                                     bool updateInProgress, bool visible)
    : QObject(parent)
    , m_inProgress(updateInProgress)
    , m_visible(visible)
    , m_updateState(updateInProgress ? RestartAfterUpload : NoUpdateAvailable)
{
    qRegisterMetaType<DeviceUpdateEntry::UpdateState>();
    if (device) {
        m_deviceType = device->getDeviceType();
        m_extendedDeviceType = device->getExtendedDeviceType();
        m_serialNumber = device->getSerialNumber();
    }
    m_deviceTypeString = familyName(m_deviceType, m_extendedDeviceType);
    if (m_deviceType == OrvDevice::Pelto || m_deviceType == OrvDevice::Halvex)
        m_latestFwVersion = VersionControl::instance()->getLatestDeviceVersion(m_deviceTypeString);
}

DeviceUpdateEntry::~DeviceUpdateEntry()
{
    if (m_updateAvailable) {
        m_updateAvailable = false;
        emit UpdatedAvailableChanged(false);
        emit setGlobalUpdatesCounter(-1);
    }
    closeProgressNotification(true);
}

QString DeviceUpdateEntry::familyName(OrvDevice::DeviceType type, int extendedType)
{
    if (type == OrvDevice::Halvex)
        return QStringLiteral("Halvex");
    if (type != OrvDevice::Pelto)
        return QString();
    if ((extendedType >= 0 && extendedType <= 10) || extendedType == 15)
        return QStringLiteral("Pelto");
    if (extendedType == 13 || (extendedType >= 18 && extendedType <= 21) || extendedType == 23)
        return QStringLiteral("Torvik");
    if (extendedType == 16)
        return QStringLiteral("Sorvyn");
    if (extendedType == 22)
        return QStringLiteral("Quintar");
    return QString();
}

QByteArray DeviceUpdateEntry::firmwareKey()
{
    return scrambledKeyBlock(32, "NIMBREL_FIRMWARE_SEEDS", 0, DefaultFirmwareSeeds);
}

QByteArray DeviceUpdateEntry::firmwareIv()
{
    return scrambledKeyBlock(16, "NIMBREL_FIRMWARE_SEEDS", 3, DefaultFirmwareSeeds);
}

void DeviceUpdateEntry::setUpdateAvailable(bool available)
{
    if (m_updateAvailable == available)
        return;
    m_updateAvailable = available;
    emit UpdatedAvailableChanged(available);
    emit setGlobalUpdatesCounter(available ? 1 : -1);
}

void DeviceUpdateEntry::setProgressText(const QString &text)
{
    m_progressText = text;
    emit ProgressTextChanged(text);
}

void DeviceUpdateEntry::setUpdateProgress(float updatePercentage)
{
    m_updateProgress = updatePercentage;
    emit UpdateProgressChanged(updatePercentage);
}

void DeviceUpdateEntry::setUpdateState(UpdateState state, bool keepNotification)
{
    if (state == m_updateState)
        return;
    m_updateState = state;
    emit UpdateStateChanged();
    setProgressText(progressTextFor(state));
    switch (state) {
    case NoUpdateAvailable:
        setUpdateAvailable(false);
        emit SetUpdateStateSignal(false, m_serialNumber);
        m_inProgress = false;
        setUpdateProgress(-1);
        break;
    case UpdateAvailable:
        setUpdateAvailable(true);
        m_inProgress = false;
        setUpdateProgress(-1);
        break;
    case ErrorWhileUpdating:
        emit SetUpdateStateSignal(false, m_serialNumber);
        setUpdateProgress(-1);
        break;
    case Restarting:
        if (m_uploadStarted)
            emit SetUpdateStateSignal(true, m_serialNumber);
        m_uploadStarted = false;
        break;
    default:
        break;
    }
    if (!keepNotification)
        closeProgressNotification(true);
}

void DeviceUpdateEntry::closeProgressNotification(bool taken)
{
    if (m_notificationKey == 0)
        return;
    ErrorHandler *hub = ErrorHandler::instance();
    AbstractNotification *notification = taken ? hub->takeNotification(m_notificationKey)
                                               : hub->getNotification(m_notificationKey);
    m_notificationKey = 0;
    if (notification) {
        disconnect(notification, &QObject::destroyed, nullptr, nullptr);
        disconnect(this, nullptr, notification, nullptr);
        emit notification->RequestDelete(notification);
    }
}

void DeviceUpdateEntry::showProgressNotification(bool show)
{
    closeProgressNotification(true);
    if (!show || !(m_uploadStarted || m_inProgress))
        return;
    auto *notification = new NotificationMsgProgress(
        this, nimbrel::Error, AbstractNotification::NimbrelLab, m_progressText, QString(), Origin,
        QDateTime::currentDateTimeUtc());
    connect(this, &DeviceUpdateEntry::UpdateProgressChanged, notification,
            &NotificationMsgProgress::updateProgress);
    connect(this, &DeviceUpdateEntry::ProgressTextChanged, notification,
            &AbstractNotification::changeTitleTextSlot);
    notification->enableProgress(true);
    const int key = ErrorHandler::instance()->addNotification(notification);
    m_notificationKey = key > 0 ? key : 0;
}

void DeviceUpdateEntry::reportUpdateFailure(const QString &message)
{
    closeProgressNotification(false);
    ErrorHandler::instance()->pushNotification(nimbrel::Error, AbstractNotification::NimbrelLab,
                                               QStringLiteral("Firmware update failed"), message,
                                               Origin, QDateTime::currentDateTimeUtc());
}

void DeviceUpdateEntry::requestFirmwareDownload(const QString &firmware, const QString &version)
{
    setUpdateState(DownloadingFirmware, true);
    m_requestedFirmware.append({ firmware, version });
    FirmwareFileManager *cache = FirmwareFileManager::instance();
    connect(cache, &FirmwareFileManager::FirmwareAvailable, this,
            &DeviceUpdateEntry::firmwareDownloadReady,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    connect(cache, qOverload<QString, QString, QString>(&FirmwareFileManager::FirmwareNotAvailable),
            this, &DeviceUpdateEntry::firmwareDownloadReady,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
    const QString path = cache->requestFirmware(firmware, version);
    if (!path.isEmpty()) {
        QMetaObject::invokeMethod(this, "firmwareDownloadReady", Qt::QueuedConnection,
                                  Q_ARG(QString, firmware), Q_ARG(QString, version),
                                  Q_ARG(QString, path));
    }
}

void DeviceUpdateEntry::firmwareDownloadReady(QString firmware, QString version, QString filePath)
{
    // Answers to other rows' requests (or repeats of one already taken) are not ours.
    if (!m_requestedFirmware.removeOne({ firmware, version }))
        return;
    if (m_requestedFirmware.isEmpty())
        disconnect(FirmwareFileManager::instance(), nullptr, this, nullptr);
    firmwareFileReady(firmware, version, filePath);
}

void DeviceUpdateEntry::uploadFirmwareFile(const QString &firmware, const QString &version,
                                           const QString &filePath,
                                           SoftwareUpdate::UpdateCommand cmd)
{
    const QString expected = VersionControl::instance()->getComponentFile(firmware, version).sha256;
    QFile file(filePath);
    QByteArray data;
    bool sound = file.open(QIODevice::ReadOnly);
    if (sound) {
        data = file.readAll();
        sound = verifySha256String(expected, data) == 0;
    }
    // A file that does not decrypt (wrong key, bad padding) gives no image at all; announcing an
    // empty image could make the device erase its flash for nothing.
    const QByteArray image
        = sound ? decryptAes256Cbc(data, firmwareKey(), firmwareIv()) : QByteArray();
    if (image.isEmpty()) {
        setUpdateState(ErrorWhileUpdating, false);
        reportUpdateFailure(QStringLiteral("Could not load firmware"));
        return;
    }
    auto buffer = std::make_shared<QBuffer>();
    buffer->open(QIODevice::ReadWrite);
    buffer->write(image);
    buffer->seek(0);
    m_uploadStarted = true;
    setUpdateState(UploadingFirmware, true);
    emit UploadFw(buffer, cmd);
}

void DeviceUpdateEntry::updateCurrentVersion(const QMap<QString, QString> &versions)
{
    const QString found
        = VersionControl::instance()->findDeviceVersion(m_deviceTypeString, versions);
    m_currentFwVersion = found.isNull() ? QStringLiteral("Unknown version") : found;
    emit CurrentFirmwareChanged(m_currentFwVersion);
    qCDebug(lcDeviceUpdateEntry) << "Current version (Pelto + ESP):" << m_currentFwVersion;
    qCDebug(lcDeviceUpdateEntry) << "Latest version (Pelto + ESP):" << m_latestFwVersion;
}

void DeviceUpdateEntry::deviceDisconnected()
{
    if (m_updateState != Restarting)
        emit RequestDelete(this);
}
