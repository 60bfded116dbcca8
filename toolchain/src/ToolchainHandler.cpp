#include "ToolchainHandler.h"

#include "Aes256Cbc.h"
#include "ApplicationFolders.h"
#include "SafeFileWrite.h"
#include "ScrambledKey.h"
#include "SemanticVersion.h"
#include "Sha256Check.h"
#include "VersionControl.h"
#include "ZipArchive.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fstream>

Q_LOGGING_CATEGORY(lcToolchainHandler, "Toolchain.ToolchainHandler")

namespace {

enum JobKind : int { InstallJob = 0, UninstallJob = 1 };

constexpr std::uint64_t ChunkSize = 524288;

// The words the published packages are encrypted with: key words, then IV words.
constexpr std::array<std::int32_t, 6> DefaultSeeds
    = { 0x2b7e1516, 0x28aed2a6, -0x5409e9f1, 0x3243f6a8, 0x0d3c2c1a, 0x01020304 };

const QString StartingMatlab = QStringLiteral("Starting MATLAB.");
const QString Downloading = QStringLiteral("Downloading latest toolchain version.");

// A zip entry name that stays inside the folder it is unpacked into: relative, with no ".."
// component and no backslash (which another system would take as a separator).
bool isSafeEntryName(const std::string &name)
{
    if (name.empty() || name.front() == '/' || name.find('\\') != std::string::npos
        || name.find('\0') != std::string::npos)
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.compare(start, end - start, "..") == 0 && end - start == 2)
            return false;
        start = end + 1;
    }
    return true;
}

} // namespace

ToolchainHandler::ToolchainHandler(QObject *parent, std::unique_ptr<MatlabHelper> matlab)
    : QObject(parent)
    , m_matlab(matlab ? std::move(matlab) : std::make_unique<MatlabHelper>())
{
    const std::optional<QDir> folder = ApplicationFolders::instance().subFolder(
        ApplicationFolders::ProgramData, "MatlabHelper/ToolchainInstall");
    if (folder)
        m_packagePath = QFileInfo(folder->absolutePath()).canonicalFilePath();
    if (m_packagePath.isEmpty())
        qCWarning(lcToolchainHandler) << "No toolchain install folder: the toolchain cannot be "
                                         "downloaded";
    connect(VersionControl::instance(), &VersionControl::VersionControlUpdated, this,
            &ToolchainHandler::queryToolchainVersion, Qt::QueuedConnection);
    connect(&m_watcher, &QFutureWatcher<DownloadResult>::finished, this,
            &ToolchainHandler::handleDownloadsReady);
    connect(&m_watcher, &QFutureWatcher<DownloadResult>::resultReadyAt, this,
            &ToolchainHandler::handleDownloadError);
}

ToolchainHandler::~ToolchainHandler()
{
    {
        std::lock_guard lock(m_relayMutex);
        m_shuttingDown = true;
    }
    m_relayCondition.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

QByteArray ToolchainHandler::packageKey()
{
    return scrambledKeyBlock(32, "NIMBREL_TOOLCHAIN_SEEDS", 0, DefaultSeeds);
}

QByteArray ToolchainHandler::packageIv()
{
    return scrambledKeyBlock(16, "NIMBREL_TOOLCHAIN_SEEDS", 3, DefaultSeeds);
}

std::string ToolchainHandler::latestVersion() const
{
    std::lock_guard lock(m_mutex);
    return m_latestVersion;
}

void ToolchainHandler::queryToolchainVersion()
{
    const std::string latest = VersionControl::instance()
                                   ->getLatestComponentVersion(QLatin1String(Component))
                                   .toStdString();
    bool availabilityChanged = false;
    {
        std::lock_guard lock(m_mutex);
        availabilityChanged = m_latestVersion.empty() != latest.empty();
        m_latestVersion = latest;
    }
    if (availabilityChanged)
        emit VersionInfoAvailable();
}

bool ToolchainHandler::isLatestToolchainPresent()
{
    QByteArray present;
    if (packageFolderIsSafe()) {
        QFile file(m_packagePath + QLatin1Char('/') + QLatin1String(VersionFileName));
        if (file.open(QIODevice::ReadOnly))
            present = file.readAll();
    }
    if (latestVersion().empty())
        queryToolchainVersion();
    const std::string latest = latestVersion();
    return !latest.empty() && !present.isEmpty()
        && !SemanticVersion(QString::fromUtf8(present))
                .isOlderThan(SemanticVersion(QString::fromStdString(latest)));
}

void ToolchainHandler::installToolchain(const std::string &version)
{
    const QString key = QString::fromStdString(version);
    if (isLatestToolchainPresent()) {
        m_matlab->install(version, m_packagePath, latestVersion());
        emit InstallProgressUpdated(key, StartingMatlab, 0, false);
    } else {
        queueJob(version, InstallJob);
        downloadLatestToolchain();
        emit InstallProgressUpdated(key, Downloading, 0, false);
    }
}

void ToolchainHandler::uninstallToolchain(const std::string &version)
{
    const QString key = QString::fromStdString(version);
    if (isLatestToolchainPresent()) {
        m_matlab->uninstall(version, m_packagePath);
        emit InstallProgressUpdated(key, StartingMatlab, 0, false);
    } else {
        queueJob(version, UninstallJob);
        downloadLatestToolchain();
        emit InstallProgressUpdated(key, Downloading, 0, false);
    }
}

void ToolchainHandler::updateAllMatlabs()
{
    const std::map<std::string, std::string> releases = m_matlab->installations();
    if (isLatestToolchainPresent()) {
        const std::string latest = latestVersion();
        for (const auto &[key, launcher] : releases) {
            m_matlab->install(key, m_packagePath, latest);
            emit InstallProgressUpdated(QString::fromStdString(key), StartingMatlab, 0, false);
        }
        return;
    }
    for (const auto &[key, launcher] : releases) {
        queueJob(key, InstallJob);
        emit InstallProgressUpdated(QString::fromStdString(key), Downloading, 0, false);
    }
    downloadLatestToolchain();
}

void ToolchainHandler::handleInstallProgress(const std::string &version, const std::string &message,
                                             int progress, int flags, bool isUninstall)
{
    m_matlab->onProgress(version, progress, flags, isUninstall);
    emit InstallProgressUpdated(QString::fromStdString(version), QString::fromStdString(message),
                                progress, flags > 0);
    emit InstalledToolchainsChanged();
}

std::map<std::string, std::string> ToolchainHandler::installedMatlabs() const
{
    return m_matlab->installations();
}

std::map<std::string, std::string> ToolchainHandler::installedToolchains() const
{
    return m_matlab->installedToolchains();
}

void ToolchainHandler::queueJob(const std::string &version, int kind)
{
    std::lock_guard lock(m_mutex);
    m_jobs[version] = kind;
}

bool ToolchainHandler::packageFolderIsSafe() const
{
    if (m_packagePath.isEmpty())
        return false;
    const QFileInfo info(m_packagePath);
    // Replaced by a link or a file since it was set up: not ours any more.
    return info.isDir() && !info.isSymLink() && info.canonicalFilePath() == m_packagePath;
}

bool ToolchainHandler::emptyPackageFolder()
{
    if (!packageFolderIsSafe())
        return false;
    QDir folder(m_packagePath);
    bool removed = true;
    const QFileInfoList entries = folder.entryInfoList(QDir::AllEntries | QDir::Hidden
                                                       | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            removed = QDir(entry.absoluteFilePath()).removeRecursively() && removed;
        else
            removed = folder.remove(entry.fileName()) && removed;
    }
    return removed;
}

void ToolchainHandler::downloadLatestToolchain()
{
    if (m_downloading)
        return;
    if (!emptyPackageFolder()) {
        qCWarning(lcToolchainHandler) << "The toolchain install folder is missing or cannot be "
                                         "emptied; nothing is downloaded";
        emit DownloadFailed();
        return;
    }
    m_downloading = true;
    // The previous worker has ended: it clears downloading last.
    if (m_worker.joinable())
        m_worker.join();
    VersionControl *catalogue = VersionControl::instance();
    const QString latest = catalogue->getLatestComponentVersion(QLatin1String(Component));
    const CatalogueFile entry = catalogue->getComponentFile(QLatin1String(Component), latest);
    m_downloadDigest = entry.sha256;
    m_downloadVersion = latest.toUtf8();
    const QUrl url = DownloadManager::storageUrl(entry.file);
    m_watcher.setFuture(DownloadManager::instance()->downloadToFile(
        url, m_packagePath + QLatin1Char('/') + QLatin1String(PackageFileName)));
}

void ToolchainHandler::handleDownloadError(int index)
{
    const DownloadResult result = m_watcher.resultAt(index);
    if (result.success)
        return;
    qCDebug(lcToolchainHandler) << "Download new toolchain failed" << result.text;
    m_downloading = false;
    emit DownloadFailed();
}

void ToolchainHandler::handleDownloadsReady()
{
    const QFuture<DownloadResult> future = m_watcher.future();
    if (future.resultCount() == 0 || !future.resultAt(0).success) {
        m_downloading = false;
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_worker = std::thread(&ToolchainHandler::installDownloadedToolchain, this, m_downloadDigest,
                           m_downloadVersion);
}

void ToolchainHandler::installDownloadedToolchain(const QString &digest, const QByteArray &version)
{
    const QByteArray data = decryptPackage(digest);
    if (data.isEmpty()) {
        qCDebug(lcToolchainHandler) << "Could not decrypt toolchain installation file.";
        m_downloading = false;
        emit DownloadFailed();
        return;
    }
    QString error;
    if (unzipInstaller(data) < 0
        || !platform::writeFileAtomically(
            m_packagePath + QLatin1Char('/') + QLatin1String(VersionFileName), version, &error)) {
        if (!error.isEmpty())
            qCWarning(lcToolchainHandler) << "Could not write the toolchain version:" << error;
        m_downloading = false;
        emit DownloadFailed();
        return;
    }
    emit DownloadCompleted();
    runQueuedJobs(version);
    m_downloading = false;
}

QByteArray ToolchainHandler::decryptPackage(const QString &digest)
{
    if (!packageFolderIsSafe())
        return {};
    const QString path = m_packagePath + QLatin1Char('/') + QLatin1String(PackageFileName);
    QFile file(path);
    if (!file.exists())
        return {};
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.readAll();
    file.close();
    QByteArray result;
    if (!data.isEmpty() && verifySha256String(digest, data) == 0)
        result = decryptAes256Cbc(data, packageKey(), packageIv());
    QFile::remove(path);
    return result;
}

int ToolchainHandler::unzipInstaller(const QByteArray &data)
{
    const std::unique_ptr<ZipArchive> archive = ZipArchive::fromBuffer(
        data.constData(), std::uint64_t(data.size()), ZipArchive::ReadOnly);
    if (!archive) {
        qCDebug(lcToolchainHandler) << "Could not unzip the toolchain installer";
        return -1;
    }
    const std::vector<ZipEntry> entries = archive->getEntries(ZipArchive::Current);
    // Every name is checked before anything is written, so a refused archive leaves no files.
    for (const ZipEntry &entry : entries) {
        if (!isSafeEntryName(entry.name)) {
            qCWarning(lcToolchainHandler).noquote()
                << "Refused toolchain package entry" << QString::fromStdString(entry.name);
            return -1;
        }
    }
    if (!packageFolderIsSafe())
        return -1;
    const QDir folder(m_packagePath);
    for (const ZipEntry &entry : entries) {
        const QString name = QString::fromStdString(entry.name);
        if (entry.isDirectory()) {
            if (!folder.mkpath(name))
                return -1;
            continue;
        }
        const QString target = folder.filePath(name);
        if (!folder.mkpath(QFileInfo(name).path())) {
            qCWarning(lcToolchainHandler).noquote() << "Could not create the folder of" << name;
            return -1;
        }
        std::ofstream output(target.toStdString(), std::ios::binary | std::ios::trunc);
        const int read = archive->readEntry(entry, output, ZipArchive::Current, ChunkSize);
        output.close();
        if (read < 0 || output.fail()) {
            qCWarning(lcToolchainHandler).noquote()
                << "Could not unpack toolchain package entry" << name << read;
            return -1;
        }
    }
    return 0;
}

void ToolchainHandler::runQueuedJobs(const QByteArray &version)
{
    std::map<std::string, int> jobs;
    {
        std::lock_guard lock(m_mutex);
        jobs.swap(m_jobs);
    }
    for (const auto &[key, kind] : jobs) {
        if (kind == UninstallJob)
            m_matlab->uninstall(key, m_packagePath);
        else
            m_matlab->install(key, m_packagePath, version.toStdString());
    }
    for (const auto &[key, kind] : jobs) {
        if (!relayFromThread(QString::fromStdString(key), StartingMatlab))
            return;
    }
}

bool ToolchainHandler::relayFromThread(const QString &version, const QString &message)
{
    auto handled = std::make_shared<bool>(false);
    std::unique_lock lock(m_relayMutex);
    if (m_shuttingDown)
        return false;
    QMetaObject::invokeMethod(
        this,
        [this, handled, version, message] {
            emit InstallProgressUpdatedFromThread(version, message, 0, false);
            {
                std::lock_guard relayLock(m_relayMutex);
                *handled = true;
            }
            m_relayCondition.notify_all();
        },
        Qt::QueuedConnection);
    m_relayCondition.wait(lock, [&] { return *handled || m_shuttingDown; });
    return *handled;
}
