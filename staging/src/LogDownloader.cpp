#include "LogDownloader.h"

#include "DesktopShell.h"
#include "Pelto.h"

#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLogDownloader, "Staging.LogDownloader")

LogDownloader::LogDownloader(const QDir &logRoot, QObject *parent, platform::DesktopShell *shell,
                             platform::Trash *trash)
    : QObject(parent)
    , m_producers(new OrvDeviceLogProducerList)
    , m_logRoot(logRoot)
    , m_shell(shell ? shell : platform::DesktopShell::system())
    , m_trash(trash)
{
    if (!m_logRoot.exists())
        return;
    m_watcher = new QFileSystemWatcher({ m_logRoot.absolutePath() }, this);
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this,
            &LogDownloader::handleFolderChanged);
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, &LogDownloader::handleFolderChanged);
    scanFolder();
}

LogDownloader::~LogDownloader()
{
    const QList<OrvDeviceLogProducer *> producers = m_producers->toList();
    m_producers->clear();
    qDeleteAll(producers);
    delete m_producers;
}

void LogDownloader::scanFolder()
{
    const QStringList folders
        = m_logRoot.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    for (const QString &folder : folders) {
        if (!findOrCreateProducer(folder)) {
            qCDebug(lcLogDownloader)
                << "Could not add log folder due to not validness or no available logs files";
            return;
        }
    }
    emit LogDeviceListChanged();
}

void LogDownloader::handleFolderChanged()
{
    scanFolder();
    qCDebug(lcLogDownloader) << "folder changed DataGrabber";
}

OrvDeviceLogProducer *LogDownloader::producerFor(const QString &serialNumber) const
{
    for (OrvDeviceLogProducer *producer : m_producers->toList()) {
        if (producer->serialNumber() == serialNumber)
            return producer;
    }
    return nullptr;
}

OrvDeviceLogProducer *LogDownloader::findOrCreateProducer(const QString &serialNumber)
{
    if (OrvDeviceLogProducer *producer = producerFor(serialNumber))
        return producer;
    auto *producer = new OrvDeviceLogProducer(this, serialNumber, m_logRoot, m_trash);
    if (!producer->isValid()) {
        delete producer;
        return nullptr;
    }
    m_producers->append(producer);
    connect(producer, &OrvDeviceLogProducer::RequestRemove, this, &LogDownloader::removeDevice,
            Qt::QueuedConnection);
    return producer;
}

void LogDownloader::orvDeviceConnected(const OrvDevice *device, bool isConnected)
{
    if (!device)
        return;
    auto *pelto = qobject_cast<Pelto *>(const_cast<OrvDevice *>(device));
    if (isConnected) {
        OrvDeviceLogProducer *producer = findOrCreateProducer(device->getSerialNumber());
        if (!producer) {
            qCDebug(lcLogDownloader) << "Could not create new OrvDevice log folder";
            return;
        }
        producer->setDevice(pelto, m_visible);
        emit LogDeviceListChanged();
        return;
    }
    if (OrvDeviceLogProducer *producer = producerFor(device->getSerialNumber()))
        producer->setDevice(nullptr, m_visible);
}

void LogDownloader::addLogFile(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return;
    file.close();
    const QString serial
        = OrvDeviceLogEntry::readLogMetadataValue(filePath, QStringLiteral("serial"));
    if (OrvDeviceLogProducer *producer = findOrCreateProducer(serial))
        producer->addOrUpdateLocalFile(filePath);
}

void LogDownloader::setSelectedProducer(OrvDeviceLogProducer *producer)
{
    if (producer == m_selected)
        return;
    m_selected = producer;
    emit SelectedLogDeviceChanged();
}

void LogDownloader::setSelectedDevice(const OrvDevice *device)
{
    if (!device) {
        // The device panel stops showing a download of a device that is no longer selected.
        if (m_selected)
            m_selected->setCurrentDownloadEntry(nullptr);
        m_selected = nullptr;
        emit SelectedLogDeviceChanged();
        refresh();
        return;
    }
    OrvDeviceLogProducer *producer = producerFor(device->getSerialNumber());
    if (!producer)
        return;
    m_selected = producer;
    if (auto *pelto = qobject_cast<const Pelto *>(device); pelto && !m_mscWatched.contains(pelto)) {
        m_mscWatched << pelto;
        connect(pelto, &Pelto::MscStatusChanged, this, [this](bool mounted) {
            if (!mounted)
                refresh();
        });
        connect(pelto, &QObject::destroyed, this, [this, pelto] { m_mscWatched.removeAll(pelto); });
    }
    emit SelectedLogDeviceChanged();
}

void LogDownloader::setVisibility(bool isVisible)
{
    m_visible = isVisible;
    for (OrvDeviceLogProducer *producer : m_producers->toList())
        producer->setVisible(isVisible);
}

void LogDownloader::refresh()
{
    for (OrvDeviceLogProducer *producer : m_producers->toList()) {
        producer->initOrvDeviceLogs();
        producer->initLocalLogs();
    }
}

void LogDownloader::setFilterQuery(const QString &filter_query)
{
    for (OrvDeviceLogProducer *producer : m_producers->toList())
        producer->setFilterQuery(filter_query);
}

void LogDownloader::removeDevice(OrvDeviceLogProducer *self)
{
    if (m_producers->indexOf(self) < 0)
        return;
    if (self == m_selected) {
        m_selected = nullptr;
        emit SelectedLogDeviceChanged();
    }
    m_producers->remove(self);
    self->deleteLater();
    if (m_removalCounter > 0 && --m_removalCounter > 0)
        return;
    emit LogDeviceListChanged();
}

int LogDownloader::openExplorerWindowLogs()
{
    return m_shell->openFolder(m_logRoot.absolutePath()) ? 1 : 0;
}
