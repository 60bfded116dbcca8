#pragma once

#include <QDateTime>
#include <QFile>
#include <QObject>
#include <QString>
#include <QUrl>

class LogParser;

namespace platform {
class Trash;
}

// One log of a device: a file in the device's "/log" folder, a downloaded copy in the local
// library, or both. The device log list makes the entries and forwards their requests (download,
// removal on the device) to the device; the log screen shows them.
//
// Threading: GUI thread only. A conversion runs on the shared conversion thread (see
// LogConversionThread) and reports back through queued signals.
class OrvDeviceLogEntry : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int logCounter READ logCounter CONSTANT)
    Q_PROPERTY(QString fileName READ getLocalFileName NOTIFY FileNameChanged)
    Q_PROPERTY(QString modelName READ getModelName NOTIFY FileNameChanged)
    Q_PROPERTY(bool hasOnOrvDeviceLink READ isOnDevice NOTIFY IsOnOrvDeviceChanged)
    Q_PROPERTY(bool hasLocalFile READ hasLocalFile NOTIFY HasLocalFileChanged)
    Q_PROPERTY(bool isLocalFileValid READ isLocalFileValid NOTIFY validLocalFileChanged)
    Q_PROPERTY(QString fileSize READ getFileSize NOTIFY fileSizeChanged)
    Q_PROPERTY(int fileSizeBytes READ getFileSizeBytes NOTIFY fileSizeChanged)
    Q_PROPERTY(QDateTime createDate READ createDate CONSTANT)
    Q_PROPERTY(QString serialNumber READ serialNumber CONSTANT)
    Q_PROPERTY(bool selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(bool queuedForDownload READ getQueuedForDownload NOTIFY queuedForDownloadChanged)
    Q_PROPERTY(float downloadProgress READ getDownloadProgress NOTIFY DownloadProgressChanged)
    Q_PROPERTY(float parseProgress READ getParseProgress NOTIFY parseProgressChanged)
    Q_PROPERTY(QString tag1 READ tag1 WRITE setTag1 NOTIFY Tag1Changed)
    Q_PROPERTY(QString tag2 READ tag2 WRITE setTag2 NOTIFY Tag2Changed)
    Q_PROPERTY(QString tag3 READ tag3 WRITE setTag3 NOTIFY Tag3Changed)
    Q_PROPERTY(QString tag4 READ tag4 WRITE setTag4 NOTIFY Tag4Changed)

public:
    // A device's directory entry: what a listing of its "/log" folder gives.
    struct DeviceFile
    {
        QString name;
        qint64 size = 0;
    };

    // trash: where removeLocalFile moves the file (the system's when null).
    OrvDeviceLogEntry(QObject *parent, const QString &serialNumber, const QString &localFilePath,
                      platform::Trash *trash = nullptr);
    OrvDeviceLogEntry(QObject *parent, const QString &serialNumber, const DeviceFile &deviceFile,
                      platform::Trash *trash = nullptr);
    ~OrvDeviceLogEntry() override;

    bool accepted() const { return m_accepted; }
    int logCounter() const { return m_logCounter; }
    QString deviceFileName() const { return m_deviceFileName; }
    bool isOnDevice() const { return m_onDevice; }
    bool hasLocalFile() const;
    bool isLocalFileValid() const { return m_localFileValid; }
    QUrl localFileUrl() const { return m_localFileUrl; }
    qint64 size() const { return m_size; }
    QDateTime createDate() const { return m_createDate; }
    QString serialNumber() const { return m_serialNumber; }
    bool selected() const { return m_selected; }
    void setSelected(bool selected);
    bool removalRequested() const { return m_removalRequested; }
    LogParser *parser() const { return m_parser; }
    // A conversion was started and has not ended yet.
    bool isConverting() const { return m_converting; }
    QString tag1() const { return m_tags[0]; }
    QString tag2() const { return m_tags[1]; }
    QString tag3() const { return m_tags[2]; }
    QString tag4() const { return m_tags[3]; }

    // Used by the download commands: the flag is theirs to set.
    void setQueued(bool queued);

    bool attachLocalFile(const QString &path);
    void updateFromDevice(const DeviceFile *deviceFile);

    // The value of one metadata key of a log file; empty when absent, for a legacy file, or when
    // the file cannot be read.
    static QString readLogMetadataValue(const QString &path, const QString &key);

public slots:
    QString getLocalFileName() const;
    QString getModelName() const;
    QString getFileSize() const;
    int getFileSizeBytes() const { return int(m_size); }
    bool getQueuedForDownload() const { return m_queued; }
    float getDownloadProgress() const { return m_downloadProgress; }
    float getParseProgress() const { return m_parseProgress; }

    void downloadLog();
    // False, with a notification, when the file could not be moved to the trash: it stays.
    bool removeLocalFile();
    void removeFileOnDevice();
    // Renames the local copy in its own folder; a name holding a path is refused.
    bool renameFile(const QString &newName);
    void parseLog(const QString &outputFilePath);
    void setParseProgress(float progress);
    void setDownloadProgress(float progress);
    void setTag1(const QString &tag);
    void setTag2(const QString &tag);
    void setTag3(const QString &tag);
    void setTag4(const QString &tag);

signals:
    void RequestRemove(OrvDeviceLogEntry *self);
    void DownloadFromOrvDevice(const QString &filePath);
    void RemoveOnOrvDevice(const QString &filePath);
    void RenameOnOrvDevice(const QString &filePath, const QString &newFileName);
    void FileNameChanged(const QString &fileName);
    void IsOnOrvDeviceChanged(bool onDevice);
    void HasLocalFileChanged(bool hasLocalFile);
    void validLocalFileChanged(bool valid);
    void queuedForDownloadChanged(bool queued);
    void DownloadProgressChanged(float progress);
    void parseProgressChanged(float progress);
    void Tag1Changed(const QString &tag);
    void Tag2Changed(const QString &tag);
    void Tag3Changed(const QString &tag);
    void Tag4Changed(const QString &tag);
    void selectedChanged(bool selected);
    void fileSizeChanged();

private:
    void readLocalFile();
    void takeNameFields(const QString &name);
    void requestRemove();
    void conversionFinished(bool ok);

    platform::Trash *m_trash;
    bool m_accepted = false;
    QString m_serialNumber;
    int m_logCounter = 0;
    QString m_deviceFileName;
    bool m_onDevice = false;
    QFile m_localFile;
    QString m_localFileName;
    QUrl m_localFileUrl;
    bool m_localFileValid = true;
    qint64 m_size = 0;
    QDateTime m_createDate;
    bool m_queued = false;
    float m_downloadProgress = 0;
    float m_parseProgress = 0;
    LogParser *m_parser = nullptr;
    // The MAT file the running conversion writes.
    QString m_outputPath;
    bool m_converting = false;
    bool m_selected = false;
    bool m_removalRequested = false;
    QString m_tags[4];
};
