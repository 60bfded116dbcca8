#include "VersionControl.h"

#include "Aes256Cbc.h"
#include "ApplicationFolders.h"
#include "ErrorHandler.h"
#include "ScrambledKey.h"
#include "Sha256Check.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

#include <array>
#include <optional>

Q_LOGGING_CATEGORY(lcVersionControl, "Staging.VersionControl")

namespace {

const QString CatalogueFileName = QStringLiteral("versionInfo.data");
// The download's name while it is unchecked: never read as the catalogue.
const QString DownloadFileName = QStringLiteral("versionInfo.data.download");

constexpr std::array<std::int32_t, 6> DefaultSeeds
    = { 0x3a61c0d5, 0x12f7b9e4, 0x7c0d2a91, 0x5be8413f, 0x29d6c37a, 0x0e9f5b12 };

QString text(const QJsonObject &object, const QString &key)
{
    return object.value(key).toString();
}

QMap<QString, CatalogueFile> files(const QJsonObject &versions)
{
    QMap<QString, CatalogueFile> result;
    for (auto it = versions.begin(); it != versions.end(); ++it) {
        const QJsonObject entry = it.value().toObject();
        result.insert(
            it.key(),
            { text(entry, QStringLiteral("file")), text(entry, QStringLiteral("sha256")) });
    }
    return result;
}

// A stored catalogue file as far as it could be read: whether its digest held, and the document
// its payload decrypted to (empty unless that is a JSON object).
struct CatalogueRead
{
    bool verified = false;
    QJsonObject document;
    bool isObject = false;
};

CatalogueRead readCatalogueFile(const QString &path)
{
    CatalogueRead read;
    const ChecksumTrailerSplit split = stripChecksumTrailer(path);
    if (!split.isValid() || verifySha256(split.trailer, split.payload) != 0
        || split.payload.isEmpty())
        return read;
    read.verified = true;
    const QByteArray plain = decryptAes256Cbc(split.payload, VersionControl::catalogueKey(),
                                              VersionControl::catalogueIv());
    const QJsonDocument document = QJsonDocument::fromJson(plain);
    if (!document.isEmpty() && document.isObject()) {
        read.document = document.object();
        read.isObject = true;
    }
    return read;
}

bool isReadableCatalogue(const CatalogueRead &read)
{
    return read.isObject && read.document.value(QStringLiteral("Version")).toInt(0) == 1;
}

} // namespace

VersionControl::VersionControl(QObject *parent)
    : QObject(parent)
{
    if (const std::optional<QDir> folder
        = ApplicationFolders::instance().subFolder(ApplicationFolders::AppData, "Version")) {
        m_dataFolder = *folder;
        m_dataFolderReady = true;
    }
    // Connected once for the watcher's lifetime, so each download is answered exactly once.
    connect(&m_watcher, &QFutureWatcherBase::resultReadyAt, this,
            &VersionControl::handleDownloadError);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &VersionControl::handleDownloadsReady);
}

VersionControl *VersionControl::instance()
{
    static VersionControl *catalogue = new VersionControl();
    return catalogue;
}

QByteArray VersionControl::catalogueKey()
{
    return scrambledKeyBlock(32, "NIMBREL_CATALOGUE_SEEDS", 0, DefaultSeeds);
}

QByteArray VersionControl::catalogueIv()
{
    return scrambledKeyBlock(16, "NIMBREL_CATALOGUE_SEEDS", 3, DefaultSeeds);
}

QString VersionControl::catalogueFilePath() const
{
    return m_dataFolder.filePath(CatalogueFileName);
}

QString VersionControl::downloadFilePath() const
{
    return m_dataFolder.filePath(DownloadFileName);
}

int VersionControl::setApplicationVersion(int major, int minor, int patch)
{
    if (!m_dataFolderReady || !m_dataFolder.exists())
        return -1;
    m_applicationVersion = SemanticVersion(major, minor, patch);
    return checkForUpdates();
}

int VersionControl::checkForUpdates()
{
    if (m_pendingDownloads > 0)
        return -1;
    m_pendingDownloads = 1;
    m_answered = false;
    m_downloadSucceeded = false;
    const QUrl url = DownloadManager::storageUrl(QStringLiteral("nimbrel/") + CatalogueFileName);
    m_watcher.setFuture(DownloadManager::instance()->downloadToFile(url, downloadFilePath()));
    return 0;
}

void VersionControl::handleDownloadError(int index)
{
    const DownloadResult result = m_watcher.resultAt(index);
    if (result.success || m_answered)
        return;
    qCDebug(lcVersionControl) << result.text;
    m_downloadError = result.text;
    downloadAnswered(false);
}

void VersionControl::handleDownloadsReady()
{
    if (m_answered || m_pendingDownloads == 0)
        return;
    downloadAnswered(true);
}

void VersionControl::downloadAnswered(bool succeeded)
{
    m_answered = true;
    m_downloadSucceeded = succeeded;
    if (--m_pendingDownloads > 0)
        return;
    const bool adopted = succeeded && adoptDownload();
    loadCatalogue();
    if (!adopted)
        notifyNotReached(succeeded ? QStringLiteral("the downloaded file was damaged")
                                   : m_downloadError);
}

void VersionControl::notifyNotReached(const QString &reason)
{
    // One notification per check; a check that fails the same way again refreshes it.
    const QString what = reason.isEmpty()
        ? QStringLiteral("The version catalogue could not be downloaded.")
        : QStringLiteral("The version catalogue could not be downloaded: %1.").arg(reason);
    const QString consequence = m_catalogueAvailable
        ? QStringLiteral(" The copy downloaded earlier is used.")
        : QStringLiteral(" Firmware updates cannot be checked until it can be reached.");
    ErrorHandler::instance()->pushNotification(
        nimbrel::Warning, AbstractNotification::NimbrelLab,
        QStringLiteral("Version catalogue not reached"), what + consequence,
        QStringLiteral("Version catalogue"), QDateTime::currentDateTimeUtc());
}

bool VersionControl::adoptDownload()
{
    // A file whose digest holds can still be no catalogue (another key, a cut or plain payload,
    // another format): only one this program can load may take the cached copy's place, or an
    // offline start would find nothing.
    const QString downloaded = downloadFilePath();
    const CatalogueRead read = readCatalogueFile(downloaded);
    if (!isReadableCatalogue(read)) {
        qCDebug(lcVersionControl)
            << (read.verified ? "Downloaded catalogue is not readable; keeping the cached one"
                              : "Downloaded catalogue failed its digest; keeping the cached one");
        QFile::remove(downloaded);
        return false;
    }
    // rename() does not replace: the old file goes first. Between the two steps a crash leaves the
    // verified download, which the next download replaces.
    const QString cached = catalogueFilePath();
    QFile::remove(cached);
    if (!QFile::rename(downloaded, cached)) {
        qCWarning(lcVersionControl) << "Could not replace" << cached;
        return false;
    }
    return true;
}

int VersionControl::loadCatalogue()
{
    const CatalogueRead read = readCatalogueFile(catalogueFilePath());
    if (!read.verified) {
        qCDebug(lcVersionControl) << "Could not load block info";
        emit VersionControlUpdated();
        return -1;
    }
    if (!read.isObject) {
        emit VersionControlUpdated();
        return -1;
    }
    int result = -1;
    if (isReadableCatalogue(read)) {
        parse(read.document);
        result = 0;
    }

    const SemanticVersion published(getLatestComponentVersion(QStringLiteral("NimbrelStudio")));
    if (m_applicationVersion.isOlderThan(published)) {
        m_nimbrelUpdateAvailable = true;
        emit nimbrelUpdateAvailable();
    }
    emit VersionControlUpdated();
    return result;
}

void VersionControl::parse(const QJsonObject &document)
{
    m_devices.clear();
    m_components.clear();
    m_blocks.clear();

    const QJsonObject devices = document.value(QStringLiteral("Devices")).toObject();
    for (auto it = devices.begin(); it != devices.end(); ++it) {
        const QJsonObject member = it.value().toObject();
        CatalogueDevice device{ it.key(), text(member, QStringLiteral("LatestVersion")), {} };
        const QJsonObject versions = member.value(QStringLiteral("Versions")).toObject();
        for (auto v = versions.begin(); v != versions.end(); ++v) {
            QMap<QString, QString> parts;
            const QJsonObject components = v.value().toObject();
            for (auto c = components.begin(); c != components.end(); ++c)
                parts.insert(c.key(), c.value().toString());
            device.versions.insert(v.key(), parts);
        }
        m_devices.insert(device.name, device);
    }

    const QJsonObject components = document.value(QStringLiteral("Components")).toObject();
    for (auto it = components.begin(); it != components.end(); ++it) {
        const QJsonObject member = it.value().toObject();
        m_components.insert(it.key(),
                            { it.key(), text(member, QStringLiteral("LatestVersion")),
                              files(member.value(QStringLiteral("Versions")).toObject()) });
    }

    const QJsonObject blocks = document.value(QStringLiteral("Blocks")).toObject();
    for (auto it = blocks.begin(); it != blocks.end(); ++it) {
        const QJsonObject member = it.value().toObject();
        m_blocks.insert(it.key(),
                        { it.key(), text(member, QStringLiteral("LatestVersion")),
                          text(member, QStringLiteral("Category")),
                          text(member, QStringLiteral("Functionality")),
                          text(member, QStringLiteral("Description")),
                          text(member, QStringLiteral("BlockIcon")),
                          files(member.value(QStringLiteral("Versions")).toObject()) });
    }
    if (!m_catalogueAvailable) {
        m_catalogueAvailable = true;
        emit catalogueAvailableChanged();
    }
}

CatalogueFile VersionControl::getComponentFile(const QString &component,
                                               const QString &version) const
{
    return m_components.value(component).versions.value(version);
}

QString VersionControl::getLatestComponentVersion(const QString &component) const
{
    return m_components.value(component).latestVersion;
}

QMap<QString, QString> VersionControl::getDeviceComponentVersions(const QString &device,
                                                                  const QString &version) const
{
    return m_devices.value(device).versions.value(version);
}

QString VersionControl::getLatestDeviceVersion(const QString &device) const
{
    return m_devices.value(device).latestVersion;
}

QString VersionControl::findDeviceVersion(const QString &device,
                                          const QMap<QString, QString> &componentVersions) const
{
    const auto family = m_devices.constFind(device);
    if (family == m_devices.constEnd())
        return QString();
    for (auto it = family->versions.constBegin(); it != family->versions.constEnd(); ++it) {
        bool matches = true;
        for (auto c = it->constBegin(); c != it->constEnd() && matches; ++c)
            matches = componentVersions.value(c.key()) == c.value();
        if (matches)
            return it.key();
    }
    return QString();
}
