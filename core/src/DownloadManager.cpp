#include "DownloadManager.h"

#include "SafeFileWrite.h"

#include <QDomDocument>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPromise>
#include <QSaveFile>

#include <climits>
#include <utility>

namespace {

Q_LOGGING_CATEGORY(lcDownloads, "App.DownloadManager")

// The storage error document is short; looking at more than the start of the body would only
// risk taking ordinary data for an error.
constexpr qint64 ChunkSize = 4096;

const char DefaultStorageBase[] = "https://storage.orvane.example/nimbrel/";

// The code of an Azure storage error document ("<Error><Code>...</Code>...</Error>"), or a null
// string when head is not one.
QString storageErrorCode(const QByteArray &head)
{
    QDomDocument document;
    if (!document.setContent(head, true))
        return {};
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("Error"))
        return {};
    const QDomNodeList codes = root.elementsByTagName(QStringLiteral("Code"));
    if (codes.isEmpty())
        return {};
    const QString code = codes.item(0).toElement().text();
    return code.isNull() ? QString(QLatin1String("")) : code;
}

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

QFuture<DownloadResult> finishedFuture(const DownloadResult &result)
{
    QPromise<DownloadResult> promise;
    QFuture<DownloadResult> future = promise.future();
    promise.start();
    promise.addResult(result);
    promise.finish();
    return future;
}

} // namespace

struct DownloadManager::Download
{
    QNetworkReply *reply = nullptr;
    QIODevice *device = nullptr;
    QPromise<DownloadResult> promise;
    QString name;
    bool closeDevice = false;
    bool removeOnFailure = false;
    bool checkStorageError = false;

    // The start of the body, held back until it has been checked for a storage error document.
    QByteArray head;
    bool headChecked = false;
    // The device no longer holds what it held before: data were written or old content dropped.
    bool deviceChanged = false;
    int progressMinimum = 0;
    int progressMaximum = -1;
};

DownloadManager::DownloadManager(QObject *parent)
    : QObject(parent)
    , m_network(new QNetworkAccessManager(this))
{ }

DownloadManager::~DownloadManager()
{
    // Aborting makes each reply report its cancellation, which settles its future.
    std::vector<QNetworkReply *> running;
    running.reserve(m_downloads.size());
    for (const auto &entry : m_downloads)
        running.push_back(entry.first);
    for (QNetworkReply *reply : running) {
        if (m_downloads.count(reply))
            reply->abort();
        settle(reply, { reply->errorString(), {}, false });
    }
}

DownloadManager *DownloadManager::instance()
{
    // Deliberately never destroyed: futures and replies may still refer to it during shutdown.
    static DownloadManager *const manager = new DownloadManager();
    return manager;
}

QUrl DownloadManager::storageBaseUrl()
{
    QUrl base(QString::fromLatin1(DefaultStorageBase));
    // The optional application configuration will supply its base here, below the variable.
    const QString configured = qEnvironmentVariable("NIMBREL_STORAGE_BASE_URL");
    if (!configured.isEmpty()) {
        const QUrl url(configured, QUrl::StrictMode);
        if (url.isValid() && !url.isRelative() && !url.host().isEmpty())
            base = url;
        else
            qCWarning(lcDownloads) << "Ignoring invalid NIMBREL_STORAGE_BASE_URL" << configured;
    }
    QString path = base.path();
    if (!path.endsWith(QLatin1Char('/')))
        base.setPath(path + QLatin1Char('/'));
    return base;
}

QUrl DownloadManager::storageUrl(const QString &relativePath)
{
    QUrl url = storageBaseUrl();
    qsizetype start = 0;
    while (start < relativePath.size() && relativePath.at(start) == QLatin1Char('/'))
        ++start;
    // Set as a decoded path so that blob names with "?" or "#" stay names, not query or fragment.
    url.setPath(url.path(QUrl::FullyDecoded) + relativePath.mid(start), QUrl::DecodedMode);
    return url;
}

DownloadManager::ProgressSteps DownloadManager::progressSteps(qint64 bytesReceived,
                                                              qint64 bytesTotal)
{
    const qint64 received = qMax<qint64>(0, bytesReceived);
    if (bytesTotal < 0)
        return { 0, 0, int(qMin<qint64>(received, INT_MAX)) };
    int shift = 0;
    while ((bytesTotal >> shift) > INT_MAX)
        ++shift;
    return { 0, int(bytesTotal >> shift), int(qMin(received, bytesTotal) >> shift) };
}

QFuture<DownloadResult> DownloadManager::downloadToDevice(const QUrl &url, const QString &name,
                                                          QIODevice *device, bool closeDevice,
                                                          bool removeOnFailure,
                                                          bool checkStorageError)
{
    if (!device || !device->isWritable())
        return finishedFuture({ tr("Could not open output file"), {}, false });

    auto download = std::make_unique<Download>();
    download->device = device;
    download->name = name;
    download->closeDevice = closeDevice;
    download->removeOnFailure = removeOnFailure;
    download->checkStorageError = checkStorageError;
    download->promise.start();
    QFuture<DownloadResult> future = download->promise.future();

    QNetworkReply *reply = m_network->get(QNetworkRequest(url));
    download->reply = reply;
    m_downloads.emplace(reply, std::move(download));

    connect(reply, &QNetworkReply::finished, this, &DownloadManager::onRequestFinished);
    connect(reply, &QNetworkReply::downloadProgress, this, &DownloadManager::onRequestProgress);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownloadManager::onRequestError);
    connect(reply, &QNetworkReply::readyRead, this, &DownloadManager::onRequestReadyRead);
    return future;
}

QFuture<DownloadResult> DownloadManager::downloadToFile(const QUrl &url, const QString &filePath)
{
    // The body goes into a temporary file beside the target, so a failed or partial download
    // never replaces (or empties) the file that is there.
    auto *file = new QSaveFile(filePath);
    if (!file->open(QIODevice::WriteOnly)) {
        delete file;
        return finishedFuture({ tr("Could not open output file"), {}, false });
    }
    return downloadToDevice(url, filePath, file, true, false, true);
}

DownloadManager::Download *DownloadManager::downloadFor(QObject *reply) const
{
    const auto it = m_downloads.find(static_cast<QNetworkReply *>(reply));
    return it == m_downloads.end() ? nullptr : it->second.get();
}

void DownloadManager::onRequestReadyRead()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    Download *download = downloadFor(reply);
    if (!download)
        return;
    if (transfer(*download) != StepResult::Ok)
        settle(reply, { tr("Could not write to file"), {}, false });
}

void DownloadManager::onRequestProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    Download *download = downloadFor(sender());
    if (!download)
        return;
    const ProgressSteps steps = progressSteps(bytesReceived, bytesTotal);
    if (steps.minimum != download->progressMinimum || steps.maximum != download->progressMaximum) {
        download->progressMinimum = steps.minimum;
        download->progressMaximum = steps.maximum;
        download->promise.setProgressRange(steps.minimum, steps.maximum);
    }
    download->promise.setProgressValue(steps.value);
}

void DownloadManager::onRequestError(QNetworkReply::NetworkError code)
{
    Q_UNUSED(code);
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    Download *download = downloadFor(reply);
    if (!download)
        return;
    if (storageErrorInUnreadBody(*download)) {
        settle(reply, { tr("Could not write to file"), {}, false });
        return;
    }
    settle(reply, { reply->errorString(), {}, false });
}

void DownloadManager::onRequestFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    Download *download = downloadFor(reply);
    if (!download)
        return;
    if (reply->error() != QNetworkReply::NoError) {
        settle(reply, { reply->errorString(), {}, false });
        return;
    }
    if (transfer(*download) != StepResult::Ok) {
        settle(reply, { tr("Could not write to file"), {}, false });
        return;
    }
    if (httpStatus(reply) >= 400) {
        // Qt reports such statuses as errors; never take an error page for the file.
        const QString reason
            = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        settle(reply,
               { reason.isEmpty() ? QStringLiteral("HTTP %1").arg(httpStatus(reply)) : reason,
                 {},
                 false });
        return;
    }
    const QVariant contentType = reply->header(QNetworkRequest::ContentTypeHeader);
    settle(reply,
           { download->name,
             contentType.isValid() && !contentType.isNull() ? contentType.toString() : QString(),
             true });
}

DownloadManager::StepResult DownloadManager::transfer(Download &download)
{
    QNetworkReply *reply = download.reply;
    const bool errorPage = httpStatus(reply) >= 400;

    if (!download.headChecked) {
        download.head += reply->read(ChunkSize - download.head.size());
        if (download.head.size() < ChunkSize && !reply->isFinished())
            return StepResult::Ok; // wait until the start of the body is complete
        if (checkHead(download))
            return StepResult::StorageError;
        if (download.checkStorageError) {
            // A file opened for reading and writing still holds its old content: drop it
            // before the first data so a shorter body does not leave old bytes at the end.
            auto *file = qobject_cast<QFile *>(download.device);
            if (file && !errorPage && download.device->bytesAvailable() > 0) {
                const QIODevice::OpenMode mode = file->openMode();
                file->close();
                download.deviceChanged = true;
                if (!file->open(mode | QIODevice::Truncate))
                    return StepResult::WriteFailed;
            }
        }
        const QByteArray head = std::exchange(download.head, QByteArray());
        if (!errorPage && !storeChunk(download, head))
            return StepResult::WriteFailed;
    }

    char buffer[ChunkSize];
    for (;;) {
        const qint64 count = reply->read(buffer, ChunkSize);
        if (count <= 0)
            return StepResult::Ok;
        if (!errorPage && !storeChunk(download, QByteArray::fromRawData(buffer, count)))
            return StepResult::WriteFailed;
    }
}

bool DownloadManager::storeChunk(Download &download, const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return true;
    // Even a write that fails may have changed part of the device.
    download.deviceChanged = true;
    QString error;
    if (!platform::writeAll(*download.device, chunk, &error)) {
        qCWarning(lcDownloads).noquote()
            << QStringLiteral("Could not write %1: %2").arg(download.name, error);
        return false;
    }
    return true;
}

bool DownloadManager::checkHead(Download &download)
{
    download.headChecked = true;
    if (!download.checkStorageError)
        return false;
    const QString code = storageErrorCode(download.head);
    if (code.isNull())
        return false;
    qCDebug(lcDownloads).noquote() << "Error occured while downloading from Azure:" << code;
    return true;
}

bool DownloadManager::storageErrorInUnreadBody(Download &download)
{
    // An error can arrive before the start of the body was complete enough to be checked.
    if (download.headChecked)
        return false;
    download.head += download.reply->read(ChunkSize - download.head.size());
    return checkHead(download);
}

void DownloadManager::settle(QNetworkReply *reply, const DownloadResult &result)
{
    const auto it = m_downloads.find(reply);
    if (it == m_downloads.end())
        return;
    const std::unique_ptr<Download> download = std::move(it->second);
    m_downloads.erase(it);

    // Whatever the reply still does belongs to a download that is over.
    disconnect(reply, nullptr, this, nullptr);
    // A reply that reported an error ends by itself; one we gave up on is stopped here.
    if (!reply->isFinished() && reply->error() == QNetworkReply::NoError)
        reply->abort();
    reply->deleteLater();

    DownloadResult outcome = result;
    QIODevice *device = download->device;
    auto *saveFile = qobject_cast<QSaveFile *>(device);
    if (outcome.success) {
        bool stored = true;
        QString error;
        if (saveFile) {
            stored = platform::commitSaveFile(*saveFile, &error);
        } else if (auto *file = qobject_cast<QFileDevice *>(device)) {
            stored = file->flush();
            error = file->errorString();
        }
        if (!stored) {
            qCWarning(lcDownloads).noquote()
                << QStringLiteral("Could not write %1: %2").arg(download->name, error);
            outcome = { tr("Could not write to file"), {}, false };
        }
    } else if (saveFile) {
        // Throws the temporary file away; the target keeps its previous content.
        platform::discardSaveFile(*saveFile);
    }

    if (download->closeDevice) {
        // QSaveFile must not be closed through QIODevice; commit() has closed it.
        if (!saveFile)
            device->close();
        device->deleteLater();
    }
    if (!outcome.success && download->removeOnFailure && download->deviceChanged && !saveFile
        && !download->name.isEmpty()) {
        QFile::remove(download->name);
    }

    download->promise.addResult(outcome);
    download->promise.finish();
}
