#pragma once

#include <QFuture>
#include <QMetaType>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>
#include <unordered_map>

class QIODevice;
class QNetworkAccessManager;

// The outcome of one download. Every download's future carries exactly one of these.
struct DownloadResult
{
    // On success the name given with the download (for downloadToFile: the local file path);
    // on failure the error text.
    QString text;
    // On success the reply's Content-Type header when it had one; empty otherwise.
    QString contentType;
    // Whether the whole body was stored.
    bool success = false;
};

Q_DECLARE_METATYPE(DownloadResult)

// HTTPS downloads from the maker's file storage (or any URL), streamed into a file or device while
// they arrive. Runs on the GUI thread; callers watch the returned future (QFutureWatcher) rather
// than any signal of the manager.
//
// Every future gets exactly one result and is finished exactly once: the first failure is final,
// and whatever the reply does afterwards adds nothing. The reply of a failed download is aborted.
//
// Progress: QFuture progress is int-based, so byte counts are mapped by progressSteps() (see
// there). Progress values never go backwards.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    // The progress range and value reported to a future for a byte count.
    struct ProgressSteps
    {
        int minimum = 0;
        int maximum = 0;
        int value = 0;
    };

    explicit DownloadManager(QObject *parent = nullptr);
    // Downloads still running are aborted; each of their futures gets its failure result.
    ~DownloadManager() override;

    // The process-wide manager, created on first use without parent and never destroyed.
    // GUI thread only.
    static DownloadManager *instance();

    // The storage base address: NIMBREL_STORAGE_BASE_URL when set to a valid absolute URL,
    // otherwise the compiled-in default. Always ends in "/".
    static QUrl storageBaseUrl();
    // The base address joined with a path below it ("firmware/x.fwb"). Leading slashes of
    // relativePath are dropped; "?" and "#" are taken as part of the path.
    static QUrl storageUrl(const QString &relativePath);

    // Maps byte counts to the int-based progress of a future. A known total up to INT_MAX is
    // used as it stands; a larger one is scaled down by a power of two that is fixed by the total,
    // so values stay monotonic. An unknown total (negative) gives the range 0..0 ("busy") with
    // the received byte count, saturated at INT_MAX, as the value.
    static ProgressSteps progressSteps(qint64 bytesReceived, qint64 bytesTotal);

    // Streams the body of url into device. name is the success text and, with removeOnFailure,
    // the file removed when a failed download had already changed it. A QSaveFile device is
    // committed on success (only when every write and the final flush succeeded) and discarded
    // on failure, so its target is only replaced by a complete body. With closeDevice the device is
    // closed and scheduled for deletion at the end. With checkStorageError a storage error document
    // at the start of the body fails the download, and an existing plain QFile opened for reading
    // and writing is truncated before the first byte of data is written.
    QFuture<DownloadResult> downloadToDevice(const QUrl &url, const QString &name,
                                             QIODevice *device, bool closeDevice,
                                             bool removeOnFailure, bool checkStorageError);

    // Downloads url into filePath. The body goes into a temporary file beside filePath that
    // replaces it only when the whole body was stored; on failure filePath keeps its previous
    // content (or stays absent) and the temporary file is removed. A folder that does not exist
    // or cannot be written gives "Could not open output file" at once.
    QFuture<DownloadResult> downloadToFile(const QUrl &url, const QString &filePath);

private slots:
    void onRequestFinished();
    void onRequestProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onRequestError(QNetworkReply::NetworkError code);
    void onRequestReadyRead();

private:
    struct Download;

    enum class StepResult { Ok, WriteFailed, StorageError };

    Download *downloadFor(QObject *reply) const;
    StepResult transfer(Download &download);
    bool storeChunk(Download &download, const QByteArray &chunk);
    bool checkHead(Download &download);
    bool storageErrorInUnreadBody(Download &download);
    void settle(QNetworkReply *reply, const DownloadResult &result);

    QNetworkAccessManager *m_network = nullptr;
    std::unordered_map<QNetworkReply *, std::unique_ptr<Download>> m_downloads;
};
