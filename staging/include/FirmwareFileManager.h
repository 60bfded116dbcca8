#pragma once

#include "DownloadManager.h"

#include <QDir>
#include <QFutureWatcher>
#include <QMap>
#include <QObject>
#include <QString>

class VersionControl;

// The firmware files named by the version catalogue, kept in the folder "UpdateData" of the
// application data folder. A cached file is answered only while its digest matches the catalogue:
// a damaged copy is removed and fetched again, so one bad file cannot block every later update.
class FirmwareFileManager : public QObject
{
    Q_OBJECT

public:
    // The process-wide cache uses instance() and the process-wide catalogue; tests may make their
    // own with their own catalogue.
    explicit FirmwareFileManager(VersionControl *catalogue, QObject *parent = nullptr);
    ~FirmwareFileManager() override;

    static FirmwareFileManager *instance();

    // The cached file's absolute path when it is there and sound; otherwise an empty string and
    // the answer follows as FirmwareAvailable or FirmwareNotAvailable (always after this returned).
    QString requestFirmware(const QString &firmware, const QString &version);

    QDir cacheFolder() const { return m_cacheFolder; }

signals:
    void FirmwareAvailable(QString firmware, QString version, QString filePath);
    void FirmwareNotAvailable(QString firmware, QString version, QString filePath);
    void FirmwareNotAvailable(QString firmware, QString version);

private:
    void answerNotAvailable(const QString &firmware, const QString &version);

    VersionControl *m_catalogue = nullptr;
    QDir m_cacheFolder;
    bool m_cacheReady = false;
    QMap<QString, QFutureWatcher<DownloadResult> *> m_downloads;
};
