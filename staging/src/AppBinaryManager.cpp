#include "AppBinaryManager.h"

#include "AppFile.h"
#include "ApplicationFolders.h"
#include "ErrorHandler.h"
#include "ExtendedDeviceType.h"
#include "Pelto.h"
#include "QOlm.h"
#include "Trash.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>

#include <memory>

namespace {
Q_LOGGING_CATEGORY(lcAppBinaryManager, "Staging.AppBinaryManager")

const QString origin = QStringLiteral("Binary list");

void warn(const QString &title, const QString &message)
{
    ErrorHandler::instance()->pushNotification(nimbrel::Warning, AbstractNotification::NimbrelLab,
                                               title, message, origin,
                                               QDateTime::currentDateTimeUtc());
}

// Says why a file was not taken: it is no binary at all, or an app-binary file whose header or
// ELF part cannot be read.
void warnRefusedImport(const QString &path)
{
    QFile file(path);
    const QByteArray start = file.open(QIODevice::ReadOnly) ? file.read(8) : QByteArray();
    const QString name = QFileInfo(path).fileName();
    const QString message = start.startsWith(".AppFile")
        ? QStringLiteral("Could not add %1 into the binary list: its app-binary header is "
                         "damaged or the ELF file after it is missing.")
              .arg(name)
        : QStringLiteral("Could not add %1 into the binary list: it is not an app-binary or ELF "
                         "file.")
              .arg(name);
    warn(QStringLiteral("Importing binary failed"), message);
}

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QFileInfo(path).absoluteFilePath() : c;
}

} // namespace

AppBinaryManager::AppBinaryManager(QObject *parent, platform::Trash *trash)
    : QObject(parent)
    , m_list(new qolm::QOlm<AppFile>(this, {}, QByteArrayLiteral("fileName")))
    , m_proxy(new QSortFilterProxyModel(this))
    , m_trash(trash ? trash : platform::Trash::system())
{
    const std::optional<QDir> library
        = ApplicationFolders::instance().subFolder(ApplicationFolders::Home, "AppBinaries");
    const std::optional<QDir> manager
        = ApplicationFolders::instance().subFolder(ApplicationFolders::AppData, "BinManager");
    if (library)
        m_libraryFolder = *library;
    if (manager)
        m_managerFolder = *manager;

    m_proxy->setSourceModel(m_list);
    m_proxy->setSortRole(m_list->roleForName(QByteArrayLiteral("createDate")));
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->setSortCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->sort(0, Qt::DescendingOrder);

    // Without either folder there is nowhere to keep binaries: the library stays empty and never
    // becomes ready, so nothing can be imported into the working directory by accident.
    if (!library || !manager) {
        qCWarning(lcAppBinaryManager) << "The binary library folders are not available";
        return;
    }
    if (rescanBinaryFolder() >= 0) {
        m_ready = true;
        m_watcher = new QFileSystemWatcher(this);
        watchFolder(true);
        connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
                &AppBinaryManager::handleFolderChanged);
    }
}

AppBinaryManager::~AppBinaryManager()
{
    // The offer's notification belongs to the hub and may outlive the library: it must not call
    // back into a library that is gone.
    if (m_offerKey) {
        if (AbstractNotification *offer = ErrorHandler::instance()->getNotification(m_offerKey))
            disconnect(offer, nullptr, this, nullptr);
    }
}

qint32 AppBinaryManager::boardTypeFor(qint32 extendedDeviceType)
{
    if (extendedDeviceType >= 0 && extendedDeviceType <= 9)
        return AppFile::Pelto_Exploration;
    switch (extendedDeviceType) {
    case 10:
        return AppFile::Pelto_Industrial;
    case 11:
        return AppFile::Pelto_Generic;
    case 12:
        return AppFile::Pelto_Development_Board;
    case 13:
    case 18:
    case 19:
    case 20:
    case 21:
    case 22:
    case 23:
        return AppFile::Torvik;
    case 15:
        return AppFile::Pelto_Rugged;
    case 16:
        return AppFile::Sorvyn;
    default:
        return AppFile::Unknown;
    }
}

void AppBinaryManager::setAutoUpload(bool enabled)
{
    m_autoUpload = enabled;
    emit AutoUploadStateChanged(enabled);
}

void AppBinaryManager::watchFolder(bool watch)
{
    if (!m_watcher)
        return;
    const QString path = m_libraryFolder.absolutePath();
    if (watch)
        m_watcher->addPath(path);
    else
        m_watcher->removePath(path);
}

int AppBinaryManager::addBinary(const QString &path, bool autoFlash, const QString &versionText,
                                const QString &buildId, const QString &boardTypeName, uint flags,
                                bool selected)
{
    auto *file = new AppFile(this, QFile(path), versionText, buildId, boardTypeName, flags,
                             m_libraryFolder.absolutePath(), m_deviceNumber, m_deviceBoardType,
                             m_deviceBuildId, selected, m_trash);
    if (!file->isValid()) {
        qCDebug(lcAppBinaryManager) << "File is not a valid app elf file";
        delete file;
        // Files the person hands over are refused aloud; a rescan of the folder stays quiet.
        if (m_ready)
            warnRefusedImport(path);
        return -1;
    }

    // Binaries without a build ID cannot be told apart by it, so they are never duplicates.
    if (m_ready && !file->buildId().isEmpty()) {
        for (const AppFile *listed : m_list->toList()) {
            if (listed->buildId() != file->buildId())
                continue;
            warn(QStringLiteral("Importing binary failed"),
                 QStringLiteral("Could not add the binary into the binary list. This binary is "
                                "already added to the binary list"));
            // Only the copy this import made goes; the file the user gave stays where it was.
            if (canonical(file->filePath()) != canonical(path))
                QFile::remove(file->filePath());
            delete file;
            return -1;
        }
    }

    connect(file, &AppFile::FlashAppBinSignal, this, &AppBinaryManager::flashApp);
    connect(file, &AppFile::RequestDelete, this, &AppBinaryManager::popAppBinInstance);
    connect(this, &AppBinaryManager::ConnectedDeviceUpdated, file,
            &AppFile::connectedDeviceUpdated);
    m_list->append(file);

    if (m_ready) {
        if (!m_device)
            offerConnectDevice(file);
        else if (!m_deviceVerified)
            offerWaitVerification(file);
        else if (autoFlash) {
            if (deviceAppStatus() == ControlChannel::Running)
                offerStopApp(file);
            else
                file->flashAppFile();
        }
    }
    return 0;
}

void AppBinaryManager::pushElfBinaryFromFile(const QString &binPath)
{
    addBinary(binPath, m_autoUpload, QString(), QString(), QString(), 0, false);
    emit AppBinaryListChanged();
}

void AppBinaryManager::pushElfBinaryFromUri(const QString &binPath, const QString &version,
                                            const QString &buildID, const QString &boardType,
                                            uint flags)
{
    addBinary(binPath, m_autoUpload, version, buildID, boardType, flags, false);
    emit AppBinaryListChanged();
}

void AppBinaryManager::pushElfBinaryFromUri(const QString &binPath, const QString &version,
                                            const QString &buildID, const QString &boardType)
{
    pushElfBinaryFromUri(binPath, version, buildID, boardType, 0);
}

void AppBinaryManager::importAppBinary(const QUrl &path)
{
    // The import announces its own row; the folder change it causes must not rebuild the list.
    watchFolder(false);
    addBinary(path.toLocalFile(), false, QString(), QString(), QString(), 0, true);
    watchFolder(true);
}

int AppBinaryManager::rescanBinaryFolder()
{
    m_list->clear();
    const QFileInfoList entries = m_libraryFolder.entryInfoList(m_nameFilters, QDir::Files);
    for (const QFileInfo &entry : entries) {
        if (entry.isFile() && entry.isReadable() && entry.isWritable())
            addBinary(entry.absoluteFilePath(), false, QString(), QString(), QString(), 0, false);
    }
    dropUnusedFiles();
    emit AppBinaryListChanged();
    return 0;
}

void AppBinaryManager::dropUnusedFiles()
{
    const QList<AppFile *> files = findChildren<AppFile *>(Qt::FindDirectChildrenOnly);
    for (AppFile *file : files) {
        if (file == m_offerFile || file == m_uploadingFile || file == m_queuedFile
            || m_list->toList().contains(file))
            continue;
        // Its links to the library go with it; a pending queued call to it is dropped by Qt.
        file->deleteLater();
        file->setParent(nullptr);
    }
}

void AppBinaryManager::handleFolderChanged()
{
    qCDebug(lcAppBinaryManager) << "folder changed binaries";
    m_ready = false;
    rescanBinaryFolder();
    m_ready = true;
    emit AppBinaryListChanged();
    emit ConnectedDeviceUpdated();
}

void AppBinaryManager::removeAll()
{
    watchFolder(false);
    const QList<AppFile *> files = m_list->toList();
    for (const AppFile *file : files) {
        QString error;
        if (!m_trash->moveToTrash(file->filePath(), &error))
            qCWarning(lcAppBinaryManager)
                << "Cannot move" << file->filePath() << "to the trash:" << error;
    }
    handleFolderChanged();
    watchFolder(true);
}

void AppBinaryManager::popAppBinInstance(AppFile *self)
{
    if (!self) {
        qCWarning(lcAppBinaryManager) << "Fail to remove nullptr object from QOlm<"
                                      << "AppFile"
                                      << ">";
    } else {
        const int index = int(m_list->toList().indexOf(self));
        if (index >= 0)
            m_list->remove(index, 1);
        dropUnusedFiles();
    }
    emit AppBinaryListChanged();
}

void AppBinaryManager::setSortColumn(const QByteArray &column_name, Qt::SortOrder order)
{
    const int role = m_list->roleForName(column_name);
    m_proxy->setSortRole(role < 0 ? 0 : role);
    m_proxy->sort(0, order);
}

void AppBinaryManager::setFilterQuery(const QString &filter_query)
{
    m_proxy->setFilterWildcard(filter_query);
}

QString AppBinaryManager::getBinaryNameByBuildID(const QByteArray &buildID) const
{
    for (const AppFile *file : m_list->toList()) {
        if (file->buildId() == buildID)
            return file->getApplicationName();
    }
    return QString();
}

int AppBinaryManager::openExplorerWindowBinaries()
{
    // Keeps the shell's convention the screen checks: above 32 means the folder was opened.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(m_libraryFolder.absolutePath())) ? 33 : 0;
}

void AppBinaryManager::handleDownloadError(int index)
{
    qCDebug(lcAppBinaryManager) << "Download" << index << "failed";
    ++m_downloadErrorCount;
}

void AppBinaryManager::uploadApbBinary(const QString &binPath)
{
    QFile file(binPath);
    QSharedPointer<QBuffer> image;
    if (loadApbFile(file, image) == 0)
        flashApbBinary(image);
}

void AppBinaryManager::uploadApbBinaryUrl(const QUrl &binPath)
{
    uploadApbBinary(binPath.toLocalFile());
}

int AppBinaryManager::loadApbFile(QFile &file, QSharedPointer<QBuffer> &image)
{
    image = QSharedPointer<QBuffer>::create();
    image->open(QIODevice::ReadWrite);
    if (!file.exists()) {
        qCCritical(lcAppBinaryManager) << "Error: " << file.fileName() << " > No such file";
        return -1;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcAppBinaryManager) << "Error: Could not open" << file.fileName();
        return -1;
    }
    image->write(file.readAll());
    file.close();
    return 0;
}

QString AppBinaryManager::deviceName() const
{
    return m_device ? extendedDeviceTypeName(m_device->getExtendedDeviceType()) : QString();
}

ControlChannel::AppStatus AppBinaryManager::deviceAppStatus() const
{
    return m_device ? m_device->getAppRunningState() : ControlChannel::Unknown;
}

void AppBinaryManager::setDevice(const OrvDevice *device)
{
    if (m_attached)
        disconnect(m_attached, nullptr, this, nullptr);
    if (m_queryLink)
        disconnect(m_queryLink);
    // A channel belongs to the device it came from: a new device reports its own, and until then
    // nothing may be sent into the old one.
    if (device != m_attached.data())
        forgetUpdateChannel();
    m_attached = device;

    if (!device) {
        m_device = nullptr;
        m_deviceNumber = -1;
        m_deviceVerified = false;
        m_deviceBoardType = 0;
        m_deviceBuildId.clear();
        emit UploadStateUpdated(SoftwareUpdate::UpdateError);
        emit UploadProgressUpdated(0.0f);
        cutUploadLinks();
        emit DeviceSelected(false);
    } else if (device->getDeviceType() == OrvDevice::Pelto) {
        auto *pelto = qobject_cast<Pelto *>(const_cast<OrvDevice *>(device));
        if (pelto) {
            m_device = pelto;
            m_deviceBuildId = pelto->buildId();
            m_deviceVerified = pelto->isFirmwareVerified();
            m_deviceBoardType = boardTypeFor(pelto->getExtendedDeviceType());
            m_deviceNumber = 0;
            connect(pelto, &OrvDevice::FirmwareStateReceived, this,
                    qOverload<bool, const QString &, int, int>(
                        &AppBinaryManager::peltoFirmwareVersionUpdated),
                    Qt::QueuedConnection);
            connect(pelto, &Pelto::BuildIDChanged, this, &AppBinaryManager::buildIDUpdated,
                    Qt::QueuedConnection);
            m_queryLink = connect(this, &AppBinaryManager::QueryPeltoSoftwareUpdate, pelto,
                                  &Pelto::openCloseUpdateService, Qt::QueuedConnection);
            connect(pelto, &Pelto::UpdateServiceOpenedClosed, this,
                    &AppBinaryManager::setSoftwareUpdateChannel);
            if (m_visible)
                emit QueryPeltoSoftwareUpdate(true);
            const QString version = pelto->getFirmwareVersion();
            if (!version.isEmpty() && version.contains(QLatin1String("Undefined")))
                pelto->queryVersions();
            else
                peltoFirmwareVersionUpdated(m_deviceVerified, version, 0, 0);
            emit DeviceSelected(true);
            if (m_offerState == 2)
                offerUpload(m_offerFile);
        }
    }
    emit ConnectedDeviceUpdated();
}

void AppBinaryManager::peltoFirmwareVersionUpdated(bool verified, const QString &version,
                                                   int timeoutBootTime, int remainingTime)
{
    // App-binary files carry firmware number 0 and must carry at least the device number to be
    // flashed; no rule for a higher requirement exists, so every attached Pelto asks for 0
    // whatever its version text says, and -1 (nothing can be flashed) stays for no Pelto.
    Q_UNUSED(version);
    m_deviceNumber = m_device ? 0 : -1;
    emit ConnectedDeviceUpdated();
    emit DeviceFirmwareVerified(verified);
    if (verified) {
        if (verified != m_deviceVerified || timeoutBootTime == 0 || remainingTime == 0) {
            emit DeviceVerifiedProgressUpdated(1.0f);
            if (m_offerState == 3)
                offerUpload(m_offerFile);
        }
    } else {
        float progress = 1.0f;
        if (timeoutBootTime != 0 && remainingTime != 0)
            progress = float(timeoutBootTime - remainingTime) / float(timeoutBootTime);
        emit DeviceVerifiedProgressUpdated(progress);
        qCDebug(lcAppBinaryManager) << "Firmware verification" << progress;
    }
    m_deviceVerified = verified;
}

void AppBinaryManager::peltoFirmwareVersionUpdated(bool verified, const QString &version,
                                                   int timeoutBootTime)
{
    peltoFirmwareVersionUpdated(verified, version, timeoutBootTime, 0);
}

void AppBinaryManager::peltoFirmwareVersionUpdated(bool verified, const QString &version)
{
    peltoFirmwareVersionUpdated(verified, version, 0, 0);
}

void AppBinaryManager::buildIDUpdated(const QByteArray &buildID)
{
    m_deviceBuildId = buildID;
    emit ConnectedDeviceUpdated();
}

void AppBinaryManager::setVisibility(bool isVisible)
{
    m_visible = isVisible;
    if (m_visible && !m_updateChannel)
        emit QueryPeltoSoftwareUpdate(true);
}

void AppBinaryManager::forgetUpdateChannel()
{
    if (m_channelFlashLink)
        disconnect(m_channelFlashLink);
    if (m_updateChannel)
        disconnect(m_updateChannel, nullptr, this, nullptr);
    m_updateChannel = nullptr;
}

void AppBinaryManager::setSoftwareUpdateChannel(const SoftwareUpdate *softwareUpdateChannel)
{
    forgetUpdateChannel();
    auto *channel = const_cast<SoftwareUpdate *>(softwareUpdateChannel);
    m_updateChannel = channel;
    if (channel) {
        // The channel holds images in its own shared pointer type; the buffer lives as long as
        // either side still holds it.
        m_channelFlashLink = connect(
            this, &AppBinaryManager::FlashAppBinSignal, channel,
            [channel](QSharedPointer<QBuffer> image) {
                if (!image)
                    return;
                QBuffer *buffer = image.data();
                channel->startSimBuild(
                    SharedBinaryPtr(buffer, [image](QBuffer *) mutable { image.reset(); }));
            },
            Qt::QueuedConnection);
        connect(channel, &SoftwareUpdate::UpdateStateChanged, this,
                &AppBinaryManager::updateChannelStateReceived);
        connect(channel, &SoftwareUpdate::UpdateProgressChanged, this,
                &AppBinaryManager::UploadProgressUpdated);
    }
    emit FlashQueuedAppFile();
    emit FlashQueuedApbFile(m_queuedImage);
    // The waiting request is on its way; the Pelto reports the same channel again for every open
    // request, and a second delivery would restart the upload in its middle.
    if (channel && m_queuedFlashLink)
        disconnect(m_queuedFlashLink);
}

void AppBinaryManager::cutUploadLinks()
{
    if (m_stateLink)
        disconnect(m_stateLink);
    if (m_progressLink)
        disconnect(m_progressLink);
    m_uploadingFile = nullptr;
}

void AppBinaryManager::cutQueuedFlash()
{
    if (m_queuedFlashLink)
        disconnect(m_queuedFlashLink);
    m_queuedFile = nullptr;
}

void AppBinaryManager::updateChannelStateReceived(SoftwareUpdate::UpdateState value)
{
    if (value == SoftwareUpdate::UpdateFinished && m_uploadingFile
        && m_uploadingFile == m_offerFile)
        m_offerUploadFinished = true;
    emit UploadStateUpdated(value);
    if (value == SoftwareUpdate::UpdateFinished) {
        emit UploadProgressUpdated(1.0f);
    }
    if (value == SoftwareUpdate::UpdateFinished || value == SoftwareUpdate::TimedOut
        || value == SoftwareUpdate::UpdateError) {
        cutUploadLinks();
        cutQueuedFlash();
        dropUnusedFiles();
    }
}

void AppBinaryManager::flashApp(AppFile *self, QSharedPointer<QBuffer> binData)
{
    cutUploadLinks();
    m_queuedImage.reset();
    if (!self)
        return;
    if (!m_device) {
        offerConnectDevice(self);
        return;
    }
    if (!m_deviceVerified) {
        offerWaitVerification(self);
        return;
    }
    if (deviceAppStatus() == ControlChannel::Running) {
        offerStopApp(self);
        return;
    }
    if (m_updateChannel) {
        m_uploadingFile = self;
        m_stateLink = connect(this, &AppBinaryManager::UploadStateUpdated, self,
                              &AppFile::uploadStateUpdated);
        m_progressLink = connect(this, &AppBinaryManager::UploadProgressUpdated, self,
                                 &AppFile::uploadProgressUpdated);
        // A waiting request is served now; a later report of the same open channel must not
        // start the upload a second time in the middle of this one.
        cutQueuedFlash();
        emit FlashAppBinSignal(binData);
        return;
    }
    emit QueryPeltoSoftwareUpdate(true);
    cutQueuedFlash();
    m_queuedFile = self;
    m_queuedFlashLink = connect(this, &AppBinaryManager::FlashQueuedAppFile, self,
                                &AppFile::flashAppFile, Qt::QueuedConnection);
}

void AppBinaryManager::flashApbBinary(QSharedPointer<QBuffer> binData)
{
    cutUploadLinks();
    if (!binData || binData->size() == 0)
        return;
    const QString title = QStringLiteral("Could not upload .apb binary file");
    if (!m_device) {
        m_offerKey = 0;
        m_offerState = 0;
        return;
    }
    if (!m_deviceVerified) {
        warn(title,
             QStringLiteral("Can't upload a model to the ") + deviceName()
                 + QStringLiteral(" while the current model is still running. Stop model before "
                                  "uploading the new model."));
        return;
    }
    if (deviceAppStatus() == ControlChannel::Running) {
        warn(title,
             QStringLiteral("The application is still running. Stop the application and retry "
                            "again"));
        return;
    }
    if (m_updateChannel) {
        cutQueuedFlash();
        emit FlashAppBinSignal(binData);
        m_queuedImage.reset();
        return;
    }
    m_queuedImage = binData;
    emit QueryPeltoSoftwareUpdate(true);
    cutQueuedFlash();
    m_queuedFlashLink = connect(this, &AppBinaryManager::FlashQueuedApbFile, this,
                                &AppBinaryManager::flashApbBinary, Qt::QueuedConnection);
}
