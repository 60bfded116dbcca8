#pragma once

#include "FileControlChannel.h"
#include "OrvDeviceLogEntry.h"
#include "Pelto.h"
#include "QOlm.h"

#include <QDir>
#include <QItemSelection>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>

namespace platform {
class Trash;
}

using OrvDeviceLogEntryList = qolm::QOlm<OrvDeviceLogEntry>;

// The log library of one device serial number: the ".zlf" files in its folder of "LogData"
// merged with the files in the device's "/log" folder while the device is attached, one entry per
// file name. Carries out listing, download, removal and the storage query over the device's
// file-control channel.
//
// Names that come from the device (file names, the serial number) become local paths only when
// they are plain names: anything else is skipped. Every download that ends without a file, or
// never starts, sets its entry's download progress back to 0, which is what ends the download
// queue's command.
//
// Threading: GUI thread only; replies from the channel arrive through queued connections.
class OrvDeviceLogProducer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QSortFilterProxyModel *orvDeviceLogEntryList READ entryProxy NOTIFY LogListChanged)
    Q_PROPERTY(QString serialNumber READ serialNumber CONSTANT)
    Q_PROPERTY(qulonglong totalStorageSize READ totalStorageSize NOTIFY SizeInfoChanged)
    Q_PROPERTY(float usedStorage READ usedStorage NOTIFY SizeInfoChanged)
    Q_PROPERTY(bool deviceIsConnected READ deviceIsConnected NOTIFY DeviceConnected)
    Q_PROPERTY(QString deviceType READ deviceType NOTIFY DeviceTypeChanged)
    Q_PROPERTY(float currentDownloadProgress READ currentDownloadProgress NOTIFY
                   CurrentDownloadProgressChanged)
    Q_PROPERTY(bool deletingOnDevice READ deletingOnDevice NOTIFY deletingOnDeviceChanged)

public:
    // logRoot: the "LogData" folder; the device folder is made in it. trash: for refused files
    // (the system's when null).
    OrvDeviceLogProducer(QObject *parent, const QString &serialNumber, const QDir &logRoot,
                         platform::Trash *trash = nullptr);
    ~OrvDeviceLogProducer() override;

    bool isValid() const { return m_valid; }
    QString serialNumber() const { return m_serialNumber; }
    QDir deviceFolder() const { return m_deviceFolder; }
    OrvDeviceLogEntryList *entries() const { return m_entries; }
    QSortFilterProxyModel *entryProxy() const { return m_proxy; }
    qulonglong totalStorageSize() const { return m_totalStorage / 1000; }
    float usedStorage() const;
    bool deviceIsConnected() const { return m_device != nullptr; }
    QString deviceType() const;
    float currentDownloadProgress() const;
    bool deletingOnDevice() const { return !m_pendingRemovals.isEmpty(); }
    OrvDeviceLogEntry *findEntryByName(const QString &name) const;
    // The entry whose progress currentDownloadProgress shows, or null; either way
    // CurrentDownloadProgressChanged tells that the shown progress may have changed.
    void setCurrentDownloadEntry(OrvDeviceLogEntry *entry);

    void setDevice(Pelto *device, bool visible);
    void setVisible(bool visible);
    OrvDeviceLogEntry *addOrUpdateLocalFile(const QString &path);

public slots:
    void removeAllLocalLogs();
    void removeAllPeltoLogs();
    void removeSelectedPeltoLogs(const QModelIndexList &selection);
    void initOrvDeviceLogs();
    void initLocalLogs();
    void setSortColumn(const QByteArray &column_name, Qt::SortOrder order);
    void setFilterQuery(const QString &filter_query);
    QItemSelection getAllLogsSelection();
    QItemSelection getRangeLogsSelection(int A, int B);
    void QueryPeltoFileRemove(const QString &filePath);
    void removeLog(OrvDeviceLogEntry *self);
    void setFileControlChannel(FileControlChannel *fileControlChannel);
    void startOrvDeviceDownloadLog(const QString &filePath);
    void handleDownloadProgressUpdate(float progress, const QString &fileName);
    void handleOrvDeviceLogDirListCompleted(FileControlChannel::ResponseCode response,
                                            QList<FileControlChannel::DirEntry> dirEntries);
    void handleOrvDeviceDownloadLogCompleted(FileControlChannel::ResponseCode response,
                                             const QString &outputFilePath);
    void handleOrvDeviceRemoveLogCompleted(FileControlChannel::ResponseCode response,
                                           const QString &removedLogPath);
    void handleOrvDeviceRenameLogCompleted(FileControlChannel::ResponseCode response,
                                           const QString &renamedLogPath);
    void
    handleOrvDeviceAvailableStorageCompleted(FileControlChannel::ResponseCode response,
                                             uint64_t totalSize, uint64_t freeSize,
                                             filectrlpayload::AvailableStorage::FSStatus status);

signals:
    void RequestRemove(OrvDeviceLogProducer *self);
    void LogListChanged();
    void SizeInfoChanged();
    void DeviceConnected(bool connected);
    void DeviceTypeChanged();
    void deletingOnDeviceChanged();
    void QueryPeltoFileControl(bool openService);
    void QueryPeltoLogList(const QString &filePath);
    void QueryPeltoFileRename(const QString &filePath, const QString &newFileName);
    void QueryAvailableStorage();
    void CurrentDownloadProgressChanged();

private:
    OrvDeviceLogEntry *addEntry(OrvDeviceLogEntry *entry);
    OrvDeviceLogEntry *entryForPath(const QString &path) const;
    void resetDownload(const QString &filePath);
    void dropChannel();
    QString readDeviceTypeFile(const QString &key, const QString &defaultValue) const;
    bool writeDeviceTypeFile(const QString &key, const QString &value);

    bool m_valid = false;
    QString m_serialNumber;
    QDir m_deviceFolder;
    platform::Trash *m_trash;
    OrvDeviceLogEntryList *m_entries;
    QSortFilterProxyModel *m_proxy;
    QPointer<Pelto> m_device;
    QPointer<FileControlChannel> m_channel;
    QList<QMetaObject::Connection> m_channelConnections;
    QPointer<OrvDeviceLogEntry> m_currentDownload;
    QMetaObject::Connection m_currentDownloadConnection;
    QString m_downloadInFlight; // device file name of the download the channel runs
    bool m_visible = false;
    int m_removalCounter = 0;
    quint64 m_totalStorage = 0;
    quint64 m_freeStorage = 0;
    QStringList m_pendingRemovals;
};
