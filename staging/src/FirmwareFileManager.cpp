#include "FirmwareFileManager.h"

#include "ApplicationFolders.h"
#include "Sha256Check.h"
#include "VersionControl.h"

#include <QFile>
#include <QLoggingCategory>
#include <QMetaObject>

#include <optional>

Q_LOGGING_CATEGORY(lcFirmwareFileManager, "Staging.FirmwareFileManager")

FirmwareFileManager::FirmwareFileManager(VersionControl *catalogue, QObject *parent)
    : QObject(parent)
    , m_catalogue(catalogue)
{
    if (const std::optional<QDir> folder
        = ApplicationFolders::instance().subFolder(ApplicationFolders::AppData, "UpdateData")) {
        m_cacheFolder = *folder;
        m_cacheReady = true;
    }
}

FirmwareFileManager::~FirmwareFileManager()
{
    qDeleteAll(m_downloads);
}

FirmwareFileManager *FirmwareFileManager::instance()
{
    static FirmwareFileManager *cache = new FirmwareFileManager(VersionControl::instance());
    return cache;
}

void FirmwareFileManager::answerNotAvailable(const QString &firmware, const QString &version)
{
    // Queued: the caller connects before asking and handles the answer after the call returned.
    QMetaObject::invokeMethod(
        this,
        [this, firmware, version] { emit FirmwareNotAvailable(firmware, version, QString()); },
        Qt::QueuedConnection);
}

QString FirmwareFileManager::requestFirmware(const QString &firmware, const QString &version)
{
    const CatalogueFile entry = m_catalogue->getComponentFile(firmware, version);
    const QString fileName = entry.file.section(QLatin1Char('/'), -1);
    // Without a file name the download would fetch the storage folder itself.
    if (fileName.isEmpty() || !m_cacheReady) {
        answerNotAvailable(firmware, version);
        return QString();
    }

    const QString target = m_cacheFolder.absoluteFilePath(fileName);
    if (QFile::exists(target)) {
        QFile cached(target);
        if (cached.open(QIODevice::ReadOnly)
            && verifySha256String(entry.sha256, cached.readAll()) == 0)
            return target;
        cached.close();
        qCDebug(lcFirmwareFileManager) << "Cached firmware does not match its digest:" << target;
        QFile::remove(target);
    }

    if (m_downloads.contains(firmware))
        return QString();

    const QUrl url = DownloadManager::storageUrl(QStringLiteral("nimbrel/") + entry.file);
    auto *watcher = new QFutureWatcher<DownloadResult>();
    m_downloads.insert(firmware, watcher);
    connect(watcher, &QFutureWatcherBase::resultReadyAt, this,
            [this, watcher, firmware, version](int index) {
                if (watcher->resultAt(index).success)
                    return;
                qCDebug(lcFirmwareFileManager) << "Error while trying to download a file";
                m_downloads.remove(firmware);
                watcher->deleteLater();
                emit FirmwareNotAvailable(firmware, version, QString());
            });
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher, firmware, version, target] {
                if (m_downloads.value(firmware) != watcher)
                    return;
                m_downloads.remove(firmware);
                watcher->deleteLater();
                emit FirmwareAvailable(firmware, version, target);
            });
    watcher->setFuture(DownloadManager::instance()->downloadToFile(url, target));
    return QString();
}
