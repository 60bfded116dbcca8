#pragma once

#include "DownloadManager.h"
#include "SemanticVersion.h"

#include <QByteArray>
#include <QDir>
#include <QFutureWatcher>
#include <QMap>
#include <QObject>
#include <QString>

struct CatalogueFile
{
    QString file;
    QString sha256;
};

struct CatalogueDevice
{
    QString name;
    QString latestVersion;
    // device version -> (component name -> component version text)
    QMap<QString, QMap<QString, QString>> versions;
};

struct CatalogueComponent
{
    QString name;
    QString latestVersion;
    QMap<QString, CatalogueFile> versions;
};

struct CatalogueBlock
{
    QString name;
    QString latestVersion;
    QString category;
    QString functionality;
    QString description;
    QString blockIcon;
    QMap<QString, CatalogueFile> versions;
};

// The catalogue of released versions, kept as "versionInfo.data" in the folder "Version" of the
// application data folder. A download lands beside the cached catalogue and replaces it only once
// its digest checked out and it decrypted to a catalogue of the format read here, and loading reads
// the file without touching it, so a failed, corrupt or unreadable download never costs the copy
// an offline start depends on.
class VersionControl : public QObject
{
    Q_OBJECT
    Q_PROPERTY(
        bool nimbrelUpdateAvailable READ getNimbrelUpdateStatus NOTIFY nimbrelUpdateAvailable)
    // Whether a catalogue was ever loaded (downloaded now or cached from before): without one no
    // device can be called up-to-date.
    Q_PROPERTY(bool catalogueAvailable READ isCatalogueAvailable NOTIFY catalogueAvailableChanged)

public:
    // The process-wide catalogue uses instance(); tests may make their own.
    explicit VersionControl(QObject *parent = nullptr);

    static VersionControl *instance();

    // Key material of the catalogue file, built at run time from constant blocks and the seed words
    // in NIMBREL_CATALOGUE_SEEDS ("a,b,c,d,e,f": three words for the key, three for the IV;
    // decimal or 0x-hex 32-bit values). Without a valid setting the compiled-in words are used.
    static QByteArray catalogueKey();
    static QByteArray catalogueIv();

    int setApplicationVersion(int major, int minor, int patch);
    int checkForUpdates();

    CatalogueFile getComponentFile(const QString &component, const QString &version) const;
    QString getLatestComponentVersion(const QString &component) const;
    QMap<QString, QString> getDeviceComponentVersions(const QString &device,
                                                      const QString &version) const;
    QString getLatestDeviceVersion(const QString &device) const;
    QString findDeviceVersion(const QString &device,
                              const QMap<QString, QString> &componentVersions) const;

    // The cached catalogue file and the file a download goes to before it is checked.
    QString catalogueFilePath() const;
    QString downloadFilePath() const;

    bool isCatalogueAvailable() const { return m_catalogueAvailable; }

public slots:
    void handleDownloadsReady();
    void handleDownloadError(int index);
    bool getNimbrelUpdateStatus() const { return m_nimbrelUpdateAvailable; }

signals:
    void VersionControlUpdated();
    bool nimbrelUpdateAvailable();
    void catalogueAvailableChanged();

private:
    void downloadAnswered(bool succeeded);
    bool adoptDownload();
    int loadCatalogue();
    void parse(const QJsonObject &document);
    void notifyNotReached(const QString &reason);

    QDir m_dataFolder;
    bool m_dataFolderReady = false;
    QFutureWatcher<DownloadResult> m_watcher;
    int m_pendingDownloads = 0;
    bool m_answered = false;
    bool m_downloadSucceeded = false;
    SemanticVersion m_applicationVersion;
    QMap<QString, CatalogueDevice> m_devices;
    QMap<QString, CatalogueComponent> m_components;
    QMap<QString, CatalogueBlock> m_blocks;
    bool m_nimbrelUpdateAvailable = false;
    bool m_catalogueAvailable = false;
    QString m_downloadError; // why the last download failed
};
