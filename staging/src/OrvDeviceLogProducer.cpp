#include "OrvDeviceLogProducer.h"

#include "ErrorHandler.h"
#include "Pelto.h"
#include "Trash.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcOrvDeviceLogProducer, "Staging.OrvDeviceLogProducer")

namespace {

const QString kDeviceLogFolder = QStringLiteral("/log");
const QString kDeviceTypeFile = QStringLiteral(".deviceType.json");
const QString kDeviceTypeKey = QStringLiteral("extended_device_type");
const QString kDownloadFailed = QStringLiteral("Downloading log file failed");

void notify(const QString &text)
{
    ErrorHandler::instance()->pushNotification(
        nimbrel::Warning, AbstractNotification::NimbrelLab, kDownloadFailed, text,
        QStringLiteral("Log downloader"), QDateTime::currentDateTimeUtc());
}

QString lastPart(const QString &path)
{
    return path.section(u'/', -1);
}

} // namespace

OrvDeviceLogProducer::OrvDeviceLogProducer(QObject *parent, const QString &serialNumber,
                                           const QDir &logRoot, platform::Trash *trash)
    : QObject(parent)
    , m_serialNumber(serialNumber)
    , m_trash(trash ? trash : platform::Trash::system())
    , m_entries(new OrvDeviceLogEntryList(this, {}, QByteArrayLiteral("fileName")))
    , m_proxy(new QSortFilterProxyModel(this))
{
    m_proxy->setSourceModel(m_entries);
    m_proxy->setSortRole(m_entries->roleForName(QByteArrayLiteral("createDate")));
    m_proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_proxy->sort(0, Qt::DescendingOrder);
    // The serial number comes from the device and names a folder of the library.
    if (!FileControlChannel::isSafeName(serialNumber)) {
        qCDebug(lcOrvDeviceLogProducer) << "Serial number is not a folder name:" << serialNumber;
        return;
    }
    if (!logRoot.exists() || !logRoot.mkpath(serialNumber))
        return;
    m_deviceFolder = QDir(logRoot.filePath(serialNumber));
    initLocalLogs();
    m_valid = true;
}

OrvDeviceLogProducer::~OrvDeviceLogProducer()
{
    disconnect(m_currentDownloadConnection);
    for (const QMetaObject::Connection &connection : std::as_const(m_channelConnections))
        disconnect(connection);
    m_entries->clear();
    if (m_valid) {
        const QStringList left = m_deviceFolder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot
                                                          | QDir::Hidden | QDir::System);
        if (left == QStringList{ QStringLiteral(".deviceType.json") })
            m_deviceFolder.remove(left.first());
        QDir(m_deviceFolder.absolutePath() + QStringLiteral("/..")).rmdir(m_serialNumber);
    }
}

float OrvDeviceLogProducer::usedStorage() const
{
    if (m_totalStorage == 0)
        return std::numeric_limits<float>::quiet_NaN();
    return float(double(m_totalStorage - m_freeStorage) / double(m_totalStorage));
}

float OrvDeviceLogProducer::currentDownloadProgress() const
{
    return m_currentDownload ? m_currentDownload->getDownloadProgress() : 0.0f;
}

OrvDeviceLogEntry *OrvDeviceLogProducer::findEntryByName(const QString &name) const
{
    for (OrvDeviceLogEntry *entry : m_entries->toList()) {
        if (entry->deviceFileName() == name)
            return entry;
    }
    return nullptr;
}

OrvDeviceLogEntry *OrvDeviceLogProducer::entryForPath(const QString &path) const
{
    return findEntryByName(lastPart(path));
}

void OrvDeviceLogProducer::setDevice(Pelto *device, bool visible)
{
    if (device == m_device)
        return;
    disconnect(this, &OrvDeviceLogProducer::QueryPeltoFileControl, nullptr, nullptr);
    disconnect(this, &OrvDeviceLogProducer::QueryPeltoLogList, nullptr, nullptr);
    disconnect(this, &OrvDeviceLogProducer::QueryAvailableStorage, nullptr, nullptr);
    disconnect(this, &OrvDeviceLogProducer::QueryPeltoFileRename, nullptr, nullptr);
    if (m_device)
        disconnect(m_device, nullptr, this, nullptr);
    dropChannel();
    m_device = device;
    emit DeviceConnected(device != nullptr);
    if (device) {
        const QString typeName
            = extendedDeviceTypeName(std::int32_t(device->getExtendedDeviceType()));
        if (!m_deviceFolder.exists(kDeviceTypeFile)
            || readDeviceTypeFile(kDeviceTypeKey, QString()) != typeName)
            writeDeviceTypeFile(kDeviceTypeKey, typeName);
    }
    emit DeviceTypeChanged();
    if (device) {
        connect(this, &OrvDeviceLogProducer::QueryPeltoFileControl, device,
                &Pelto::openCloseFileControl, Qt::QueuedConnection);
        connect(device, &Pelto::FileControlOpenedClosed, this,
                &OrvDeviceLogProducer::setFileControlChannel);
        m_visible = visible;
        if (visible)
            emit QueryPeltoFileControl(true);
        return;
    }
    m_removalCounter = 0;
    for (OrvDeviceLogEntry *entry : m_entries->toList()) {
        entry->updateFromDevice(nullptr);
        if (entry->removalRequested())
            ++m_removalCounter;
    }
    m_totalStorage = 0;
    m_freeStorage = 0;
    setCurrentDownloadEntry(nullptr);
    emit SizeInfoChanged();
}

QString OrvDeviceLogProducer::deviceType() const
{
    if (m_device)
        return extendedDeviceTypeName(std::int32_t(m_device->getExtendedDeviceType()));
    return readDeviceTypeFile(kDeviceTypeKey, QStringLiteral("Unknown device"));
}

QString OrvDeviceLogProducer::readDeviceTypeFile(const QString &key,
                                                 const QString &defaultValue) const
{
    QFile file(m_deviceFolder.filePath(kDeviceTypeFile));
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll());
    if (!document.isObject() || !document.object().contains(key))
        return defaultValue;
    return document.object().value(key).toString();
}

bool OrvDeviceLogProducer::writeDeviceTypeFile(const QString &key, const QString &value)
{
    QFile file(m_deviceFolder.filePath(kDeviceTypeFile));
    QJsonObject object;
    if (file.open(QIODevice::ReadOnly)) {
        object = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    object.insert(key, value);
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return file.write(text) == text.size();
}

void OrvDeviceLogProducer::setVisible(bool visible)
{
    m_visible = visible;
    if (visible && !m_channel)
        emit QueryPeltoFileControl(true);
}

void OrvDeviceLogProducer::dropChannel()
{
    for (const QMetaObject::Connection &connection : std::as_const(m_channelConnections))
        disconnect(connection);
    m_channelConnections.clear();
    m_channel = nullptr;
    // The reply to a running download will never come: the link or the file access ended under
    // it. The entry goes back to 0 (or leaves with the device); the person is told why.
    if (!m_downloadInFlight.isEmpty())
        notify(QStringLiteral("The download of %1 was cut off: the connection to the device was "
                              "lost. Download it again once the device is connected.")
                   .arg(m_downloadInFlight));
    m_downloadInFlight.clear();
    // Replies to these will never come: a removal queue left behind would hold every later
    // removal for ever and show "deleting" meanwhile.
    if (!m_pendingRemovals.isEmpty()) {
        m_pendingRemovals.clear();
        emit deletingOnDeviceChanged();
    }
}

void OrvDeviceLogProducer::setFileControlChannel(FileControlChannel *fileControlChannel)
{
    if (fileControlChannel == m_channel)
        return;
    dropChannel();
    m_channel = fileControlChannel;
    if (!fileControlChannel)
        return;
    auto *channel = fileControlChannel;
    m_channelConnections
        << connect(this, &OrvDeviceLogProducer::QueryPeltoLogList, channel,
                   &FileControlChannel::listDir, Qt::QueuedConnection)
        << connect(this, &OrvDeviceLogProducer::QueryPeltoFileRename, channel,
                   &FileControlChannel::renameFile, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::RenameFileReceived, this,
                   &OrvDeviceLogProducer::handleOrvDeviceRenameLogCompleted, Qt::QueuedConnection)
        << connect(this, &OrvDeviceLogProducer::QueryAvailableStorage, channel,
                   &FileControlChannel::getAvailableStorage, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::ListDirReceived, this,
                   &OrvDeviceLogProducer::handleOrvDeviceLogDirListCompleted, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::DownloadFileReceived, this,
                   &OrvDeviceLogProducer::handleOrvDeviceDownloadLogCompleted, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::Progress, this,
                   &OrvDeviceLogProducer::handleDownloadProgressUpdate, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::RemoveFileReceived, this,
                   &OrvDeviceLogProducer::handleOrvDeviceRemoveLogCompleted, Qt::QueuedConnection)
        << connect(channel, &FileControlChannel::GetAvailableStorageReceived, this,
                   &OrvDeviceLogProducer::handleOrvDeviceAvailableStorageCompleted,
                   Qt::QueuedConnection)
        << connect(channel, &QObject::destroyed, this, [this] { dropChannel(); });
    initOrvDeviceLogs();
}

void OrvDeviceLogProducer::initOrvDeviceLogs()
{
    emit QueryAvailableStorage();
    emit QueryPeltoLogList(kDeviceLogFolder);
}

void OrvDeviceLogProducer::initLocalLogs()
{
    const QFileInfoList files = m_deviceFolder.entryInfoList(
        { QStringLiteral("*.zlf") }, QDir::Files | QDir::Readable | QDir::Writable);
    for (const QFileInfo &file : files)
        addOrUpdateLocalFile(file.absoluteFilePath());
    emit LogListChanged();
}

OrvDeviceLogEntry *OrvDeviceLogProducer::addOrUpdateLocalFile(const QString &path)
{
    const QFileInfo info(path);
    QString key = OrvDeviceLogEntry::readLogMetadataValue(path, QStringLiteral("fileName"))
        + QStringLiteral(".zlf");
    if (key == QLatin1String(".zlf")) {
        if (!info.fileName().endsWith(QLatin1String(".zlf")))
            return nullptr;
        key = info.fileName();
    }
    OrvDeviceLogEntry *entry = findEntryByName(key);
    QString localPath = info.absoluteFilePath();
    bool copied = false;
    if (info.absoluteDir() != QDir(m_deviceFolder.absolutePath())) {
        localPath = m_deviceFolder.absoluteFilePath(info.fileName());
        if (!QFile::copy(path, localPath))
            return nullptr;
        copied = true;
    }
    if (!entry)
        return addEntry(new OrvDeviceLogEntry(nullptr, m_serialNumber, localPath, m_trash));
    if (!entry->attachLocalFile(localPath)) {
        if (copied)
            m_trash->moveToTrash(localPath, nullptr);
        return nullptr;
    }
    return entry;
}

OrvDeviceLogEntry *OrvDeviceLogProducer::addEntry(OrvDeviceLogEntry *entry)
{
    if (!entry->accepted()) {
        delete entry;
        return nullptr;
    }
    int row = 0;
    const QList<OrvDeviceLogEntry *> &list = m_entries->toList();
    while (row < list.size() && list.at(row)->logCounter() <= entry->logCounter())
        ++row;
    m_entries->insert(row, entry);
    connect(entry, &OrvDeviceLogEntry::RequestRemove, this, &OrvDeviceLogProducer::removeLog,
            Qt::QueuedConnection);
    connect(entry, &OrvDeviceLogEntry::DownloadFromOrvDevice, this,
            &OrvDeviceLogProducer::startOrvDeviceDownloadLog);
    connect(entry, &OrvDeviceLogEntry::RemoveOnOrvDevice, this,
            &OrvDeviceLogProducer::QueryPeltoFileRemove);
    connect(entry, &OrvDeviceLogEntry::RenameOnOrvDevice, this,
            &OrvDeviceLogProducer::QueryPeltoFileRename);
    return entry;
}

void OrvDeviceLogProducer::handleOrvDeviceLogDirListCompleted(
    FileControlChannel::ResponseCode response, QList<FileControlChannel::DirEntry> dirEntries)
{
    if (response != FileControlChannel::Success) {
        notify(QStringLiteral("Downloading log file from device failed with an unknown error."));
        return;
    }
    QList<OrvDeviceLogEntry *> seen;
    for (const FileControlChannel::DirEntry &dirEntry : std::as_const(dirEntries)) {
        if (dirEntry.type != FileControlChannel::FileType
            || dirEntry.name.section(u'.', -1) != QLatin1String("zlf"))
            continue;
        // The name becomes part of a local path when the file is downloaded.
        if (!FileControlChannel::isSafeName(dirEntry.name)) {
            qCDebug(lcOrvDeviceLogProducer) << "Skipped a device log named" << dirEntry.name;
            continue;
        }
        const OrvDeviceLogEntry::DeviceFile file{ dirEntry.name, qint64(dirEntry.size) };
        OrvDeviceLogEntry *entry = findEntryByName(dirEntry.name);
        if (entry)
            entry->updateFromDevice(&file);
        else
            entry = addEntry(new OrvDeviceLogEntry(nullptr, m_serialNumber, file, m_trash));
        if (entry)
            seen << entry;
    }
    for (OrvDeviceLogEntry *entry : m_entries->toList()) {
        if (entry->isOnDevice() && !seen.contains(entry))
            entry->updateFromDevice(nullptr);
    }
    emit LogListChanged();
}

void OrvDeviceLogProducer::resetDownload(const QString &filePath)
{
    if (OrvDeviceLogEntry *entry = entryForPath(filePath))
        entry->setDownloadProgress(0);
}

void OrvDeviceLogProducer::startOrvDeviceDownloadLog(const QString &filePath)
{
    // Every way out without a download sets the progress back to 0: the download queue waits
    // for that, or for the file.
    if (!m_device || !m_channel) {
        resetDownload(filePath);
        return;
    }
    if (!m_device->isAppStateSafeForDownload()) {
        notify(QStringLiteral("Can't download log file while a model is running on the device. "
                              "Please stop the model before retrying."));
        resetDownload(filePath);
        return;
    }
    const QString name = lastPart(filePath);
    const QString localPath = m_deviceFolder.absoluteFilePath(name);
    if (!FileControlChannel::isSafeName(name) || QFileInfo::exists(localPath)
        || !m_downloadInFlight.isEmpty()) {
        resetDownload(filePath);
        return;
    }
    m_downloadInFlight = name;
    QPointer<FileControlChannel> channel = m_channel;
    const QString devicePath = kDeviceLogFolder + u'/' + name;
    // Queued like the other requests; the channel's refusal is the reply it will never send.
    QMetaObject::invokeMethod(
        this,
        [this, channel, devicePath, localPath, name] {
            if (channel && channel == m_channel
                && channel->downloadFile(devicePath, localPath) == 0)
                return;
            if (m_downloadInFlight == name)
                m_downloadInFlight.clear();
            resetDownload(name);
        },
        Qt::QueuedConnection);
}

void OrvDeviceLogProducer::handleDownloadProgressUpdate(float progress, const QString &fileName)
{
    OrvDeviceLogEntry *entry = entryForPath(fileName);
    if (!entry)
        return;
    entry->setDownloadProgress(progress);
    setCurrentDownloadEntry(entry);
}

void OrvDeviceLogProducer::setCurrentDownloadEntry(OrvDeviceLogEntry *entry)
{
    if (entry == m_currentDownload)
        return;
    disconnect(m_currentDownloadConnection);
    m_currentDownload = entry;
    if (entry)
        m_currentDownloadConnection
            = connect(entry, &OrvDeviceLogEntry::DownloadProgressChanged, this,
                      &OrvDeviceLogProducer::CurrentDownloadProgressChanged);
    emit CurrentDownloadProgressChanged();
}

void OrvDeviceLogProducer::handleOrvDeviceDownloadLogCompleted(
    FileControlChannel::ResponseCode response, const QString &outputFilePath)
{
    const QString name = m_downloadInFlight;
    m_downloadInFlight.clear();
    if (response == FileControlChannel::Success && addOrUpdateLocalFile(outputFilePath)) {
        setCurrentDownloadEntry(nullptr);
        return;
    }
    if (response != FileControlChannel::Success)
        qCDebug(lcOrvDeviceLogProducer) << "Could not download log file from device";
    notify(QStringLiteral("There is something wrong with the log file. You can find the file at ")
           + outputFilePath + QStringLiteral(", but you cannot export it to Matlab."));
    // An error before the first chunk leaves no current entry: the request's own entry is reset.
    if (m_currentDownload)
        m_currentDownload->setDownloadProgress(0);
    if (!name.isEmpty())
        resetDownload(name);
    setCurrentDownloadEntry(nullptr);
}

void OrvDeviceLogProducer::QueryPeltoFileRemove(const QString &filePath)
{
    if (!m_channel)
        return;
    m_pendingRemovals << filePath;
    if (m_pendingRemovals.size() == 1) {
        emit deletingOnDeviceChanged();
        m_channel->removeFile(filePath);
    }
}

void OrvDeviceLogProducer::handleOrvDeviceRemoveLogCompleted(
    FileControlChannel::ResponseCode response, const QString &removedLogPath)
{
    if (m_pendingRemovals.isEmpty())
        return;
    if (response == FileControlChannel::Success) {
        if (OrvDeviceLogEntry *entry = entryForPath(removedLogPath))
            entry->updateFromDevice(nullptr);
        m_pendingRemovals.removeFirst();
        if (!m_pendingRemovals.isEmpty()) {
            if (m_channel)
                m_channel->removeFile(m_pendingRemovals.first());
            return;
        }
    } else {
        qCDebug(lcOrvDeviceLogProducer) << "Could not remove log file on device";
        m_pendingRemovals.clear();
    }
    emit deletingOnDeviceChanged();
}

void OrvDeviceLogProducer::handleOrvDeviceRenameLogCompleted(
    FileControlChannel::ResponseCode response, const QString &renamedLogPath)
{
    if (response != FileControlChannel::Success)
        qCDebug(lcOrvDeviceLogProducer) << "Could not rename log file on device";
    else if (entryForPath(renamedLogPath))
        qCDebug(lcOrvDeviceLogProducer) << "File on device renamed";
}

void OrvDeviceLogProducer::handleOrvDeviceAvailableStorageCompleted(
    FileControlChannel::ResponseCode response, uint64_t totalSize, uint64_t freeSize,
    filectrlpayload::AvailableStorage::FSStatus status)
{
    if (response != FileControlChannel::Success || int(status) != 2) {
        qCDebug(lcOrvDeviceLogProducer) << "Could not initialise device storage info";
        return;
    }
    m_totalStorage = totalSize;
    m_freeStorage = freeSize;
    emit SizeInfoChanged();
}

void OrvDeviceLogProducer::removeAllLocalLogs()
{
    for (OrvDeviceLogEntry *entry : m_entries->toList())
        entry->removeLocalFile();
}

void OrvDeviceLogProducer::removeAllPeltoLogs()
{
    for (OrvDeviceLogEntry *entry : m_entries->toList()) {
        if (entry->isOnDevice())
            entry->removeFileOnDevice();
    }
}

void OrvDeviceLogProducer::removeSelectedPeltoLogs(const QModelIndexList &selection)
{
    QList<QPointer<OrvDeviceLogEntry>> chosen;
    for (const QModelIndex &index : selection)
        chosen << qobject_cast<OrvDeviceLogEntry *>(index.data(Qt::UserRole).value<QObject *>());
    for (const QPointer<OrvDeviceLogEntry> &entry : std::as_const(chosen)) {
        if (entry && entry->isOnDevice())
            entry->removeFileOnDevice();
    }
}

void OrvDeviceLogProducer::removeLog(OrvDeviceLogEntry *self)
{
    if (m_entries->indexOf(self) < 0)
        return;
    if (self == m_currentDownload)
        setCurrentDownloadEntry(nullptr);
    m_entries->remove(self);
    if (m_removalCounter > 0 && --m_removalCounter > 0)
        return;
    emit LogListChanged();
    if (!m_device && m_entries->count() == 0)
        emit RequestRemove(this);
}

void OrvDeviceLogProducer::setSortColumn(const QByteArray &column_name, Qt::SortOrder order)
{
    const int role = m_entries->roleForName(column_name);
    m_proxy->setSortRole(role < 0 ? 0 : role);
    m_proxy->sort(0, order);
}

void OrvDeviceLogProducer::setFilterQuery(const QString &filter_query)
{
    m_proxy->setFilterRegularExpression(
        QRegularExpression(QRegularExpression::wildcardToRegularExpression(
                               filter_query, QRegularExpression::UnanchoredWildcardConversion),
                           QRegularExpression::CaseInsensitiveOption));
}

QItemSelection OrvDeviceLogProducer::getAllLogsSelection()
{
    return getRangeLogsSelection(0, m_proxy->rowCount() - 1);
}

QItemSelection OrvDeviceLogProducer::getRangeLogsSelection(int A, int B)
{
    const int first = std::max(0, std::min(A, B));
    const int last = std::min(m_proxy->rowCount() - 1, std::max(A, B));
    if (last < first)
        return {};
    return QItemSelection(m_proxy->index(first, 0), m_proxy->index(last, 0));
}
