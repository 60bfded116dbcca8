#pragma once

#include "DownloadManager.h"
#include "MatlabHelper.h"

#include <QByteArray>
#include <QDir>
#include <QFutureWatcher>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// The toolchain engine: installs, updates and removes the MATLAB toolchain in the releases that
// MatlabHelper found. The toolchain is one encrypted zip package described by the catalogue
// component "NimbrelMatlabToolchain". When the unpacked copy in the package folder
// ("MatlabHelper/ToolchainInstall" of the program data) is older than the catalogue's latest
// version, requests wait as jobs while the package is downloaded, checked against its SHA-256
// digest, decrypted and unpacked on a worker thread, which then starts MATLAB for the jobs.
//
// Safety of the package folder: nothing is removed or unpacked unless the folder is, at that
// moment, the program-data folder it was set up as; zip entries must stay inside it.
//
// Threading: requests, catalogue and download slots run on the GUI thread; one worker thread per
// downloaded package decrypts, unpacks and runs the jobs. A job is taken out of the queue when it
// runs. The worker's "Starting MATLAB." reports are re-emitted on the GUI thread as
// InstallProgressUpdatedFromThread while the worker waits for them; at destruction the worker stops
// waiting and is joined, so neither side can block the other.
class ToolchainHandler : public QObject
{
    Q_OBJECT

public:
    static constexpr const char *Component = "NimbrelMatlabToolchain";
    static constexpr const char *PackageFileName = "NimbrelMatlabToolchain.data";
    static constexpr const char *VersionFileName = "version";

    explicit ToolchainHandler(QObject *parent = nullptr,
                              std::unique_ptr<MatlabHelper> matlab = nullptr);
    ~ToolchainHandler() override;

    void installToolchain(const std::string &version);
    void uninstallToolchain(const std::string &version);
    void updateAllMatlabs();
    void handleInstallProgress(const std::string &version, const std::string &message, int progress,
                               int flags, bool isUninstall);

    std::map<std::string, std::string> installedMatlabs() const;
    std::map<std::string, std::string> installedToolchains() const;

    // The package key material, built from constant blocks and NIMBREL_TOOLCHAIN_SEEDS
    // ("a,b,c,d,e,f": three words for the key, three for the IV) or the compiled-in words.
    static QByteArray packageKey();
    static QByteArray packageIv();

    // The package folder's absolute path; empty when it could not be set up.
    QString packageFolderPath() const { return m_packagePath; }
    bool isDownloading() const { return m_downloading; }

signals:
    void VersionInfoAvailable();
    void InstalledToolchainsChanged();
    void DownloadCompleted();
    void DownloadFailed();
    void InstallProgressUpdated(QString version, QString msg, int32_t progress, bool isError);
    void InstallProgressUpdatedFromThread(QString version, QString msg, int32_t progress,
                                          bool isError);

private slots:
    void handleDownloadsReady();
    void handleDownloadError(int index);
    void queryToolchainVersion();

private:
    bool isLatestToolchainPresent();
    void queueJob(const std::string &version, int kind);
    void downloadLatestToolchain();
    void installDownloadedToolchain(const QString &digest, const QByteArray &version);
    QByteArray decryptPackage(const QString &digest);
    int unzipInstaller(const QByteArray &data);
    void runQueuedJobs(const QByteArray &version);
    bool packageFolderIsSafe() const;
    bool emptyPackageFolder();
    bool relayFromThread(const QString &version, const QString &message);
    std::string latestVersion() const;

    std::unique_ptr<MatlabHelper> m_matlab;
    // Canonical path of the package folder as set up; empty when it could not be.
    QString m_packagePath;

    mutable std::mutex m_mutex; // latest version and jobs
    std::string m_latestVersion;
    std::map<std::string, int> m_jobs;

    QFutureWatcher<DownloadResult> m_watcher;
    // The catalogue entry of the running download, taken on the GUI thread.
    QString m_downloadDigest;
    QByteArray m_downloadVersion;
    std::thread m_worker;
    std::atomic<bool> m_downloading{ false };

    std::mutex m_relayMutex;
    std::condition_variable m_relayCondition;
    bool m_shuttingDown = false;
};
