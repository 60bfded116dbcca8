#include "OrvDeviceLogEntry.h"

#include "ErrorHandler.h"
#include "LogConversionThread.h"
#include "LogParser.h"
#include "Trash.h"
#include "logfile/LogFile.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

#include <fstream>
#include <optional>

Q_LOGGING_CATEGORY(lcOrvDeviceLogEntry, "Staging.OrvDeviceLogEntry")

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd_hh-mm-ss");

// The metadata of a log file; empty for a legacy file. Throws what the reader throws.
logfile::Metadata readMetadata(const QString &path)
{
    std::ifstream stream(QFile::encodeName(path).toStdString(), std::ios::binary);
    if (!stream)
        throw FileFormatException("Cannot open " + QFile::encodeName(path).toStdString());
    logfile::LogFile log(stream);
    return log.metadata().value_or(logfile::Metadata{});
}

std::optional<QString> lookUp(const logfile::Metadata &metadata, const char *key)
{
    const auto it = metadata.find(key);
    if (it == metadata.end())
        return std::nullopt;
    return QString::fromStdString(it->second);
}

QString required(const logfile::Metadata &metadata, const char *key)
{
    const auto value = lookUp(metadata, key);
    if (!value)
        throw std::runtime_error(std::string("Log header did not contain: ") + key);
    return *value;
}

int counterFromName(const QString &name)
{
    const qsizetype open = name.indexOf(u'[');
    const qsizetype close = name.indexOf(u']');
    if (open < 0 || close <= open)
        return 0;
    return name.mid(open + 1, close - open - 1).toInt(nullptr, 10);
}

QDateTime dateFromName(const QString &name)
{
    if (name.size() < 23)
        return {};
    return QDateTime::fromString(name.mid(name.size() - 23, 19), kDateFormat);
}

} // namespace

OrvDeviceLogEntry::OrvDeviceLogEntry(QObject *parent, const QString &serialNumber,
                                     const QString &localFilePath, platform::Trash *trash)
    : QObject(parent)
    , m_trash(trash ? trash : platform::Trash::system())
    , m_serialNumber(serialNumber)
    , m_localFile(localFilePath)
    , m_localFileUrl(QUrl::fromLocalFile(localFilePath))
    , m_size(QFileInfo(localFilePath).size())
{
    if (!m_localFile.exists() || m_size <= 0) {
        m_accepted = true;
        return;
    }
    m_localFileName = QFileInfo(localFilePath).fileName();
    readLocalFile();
}

OrvDeviceLogEntry::OrvDeviceLogEntry(QObject *parent, const QString &serialNumber,
                                     const DeviceFile &deviceFile, platform::Trash *trash)
    : QObject(parent)
    , m_trash(trash ? trash : platform::Trash::system())
    , m_serialNumber(serialNumber)
    , m_deviceFileName(deviceFile.name)
    , m_onDevice(true)
    , m_size(deviceFile.size)
{
    takeNameFields(deviceFile.name);
    m_accepted = m_size > 0;
}

OrvDeviceLogEntry::~OrvDeviceLogEntry() = default;

void OrvDeviceLogEntry::readLocalFile()
{
    try {
        const logfile::Metadata metadata = readMetadata(m_localFile.fileName());
        m_logCounter = required(metadata, "logCount").toInt(nullptr, 10);
        m_createDate
            = QDateTime::fromString(required(metadata, "Date") + required(metadata, "Time"),
                                    QStringLiteral("yyyy-MM-ddhh:mm:ss"));
        m_deviceFileName
            = lookUp(metadata, "fileName").value_or(QString()) + QStringLiteral(".zlf");
        m_accepted = lookUp(metadata, "serial").value_or(QString()) == m_serialNumber;
    } catch (const std::exception &error) {
        qCDebug(lcOrvDeviceLogEntry) << error.what();
        m_deviceFileName = m_localFileName;
        takeNameFields(m_localFileName);
        m_localFileValid = false;
        m_accepted = true;
    }
}

void OrvDeviceLogEntry::takeNameFields(const QString &name)
{
    m_logCounter = counterFromName(name);
    m_createDate = dateFromName(name);
}

QString OrvDeviceLogEntry::readLogMetadataValue(const QString &path, const QString &key)
{
    try {
        return lookUp(readMetadata(path), key.toUtf8().constData()).value_or(QString());
    } catch (const std::exception &error) {
        // Not only format errors: a read cut short is a failure of the stream, and the caller
        // takes an empty value for any file it cannot read.
        qCDebug(lcOrvDeviceLogEntry) << error.what();
        qCDebug(lcOrvDeviceLogEntry) << "Log header did not contain:" << key;
        return {};
    }
}

bool OrvDeviceLogEntry::hasLocalFile() const
{
    return !m_localFile.fileName().isEmpty() && m_localFile.exists();
}

void OrvDeviceLogEntry::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    emit selectedChanged(selected);
}

void OrvDeviceLogEntry::setQueued(bool queued)
{
    m_queued = queued;
    emit queuedForDownloadChanged(queued);
}

bool OrvDeviceLogEntry::attachLocalFile(const QString &path)
{
    if (!QFileInfo::exists(path))
        return false;
    try {
        const logfile::Metadata metadata = readMetadata(path);
        if (required(metadata, "fileName") + QStringLiteral(".zlf") != m_deviceFileName)
            return false;
        if (required(metadata, "serial") != m_serialNumber)
            return false;
    } catch (const std::exception &error) {
        qCDebug(lcOrvDeviceLogEntry)
            << "Error while checking local log file properties:" << error.what();
        m_localFileValid = false;
        emit validLocalFileChanged(false);
    }
    m_localFileUrl = QUrl::fromLocalFile(path);
    m_localFile.setFileName(path);
    m_localFileName = QFileInfo(path).fileName();
    if (m_size != QFileInfo(path).size()) {
        m_localFileValid = false;
        emit validLocalFileChanged(false);
    }
    emit HasLocalFileChanged(hasLocalFile());
    emit FileNameChanged(m_localFileName);
    return true;
}

void OrvDeviceLogEntry::updateFromDevice(const DeviceFile *deviceFile)
{
    if (deviceFile) {
        if (deviceFile->size != m_size) {
            if (hasLocalFile()) {
                m_localFileValid = false;
                emit validLocalFileChanged(false);
            }
            m_size = deviceFile->size;
            emit fileSizeChanged();
        }
    } else if (!hasLocalFile()) {
        requestRemove();
    }
    const bool listed = deviceFile != nullptr;
    if (listed != m_onDevice) {
        if (listed)
            m_deviceFileName = deviceFile->name;
        m_onDevice = listed;
        emit IsOnOrvDeviceChanged(listed);
    }
    setDownloadProgress(0);
}

QString OrvDeviceLogEntry::getLocalFileName() const
{
    return hasLocalFile() ? m_localFileName : m_deviceFileName;
}

QString OrvDeviceLogEntry::getModelName() const
{
    const QString name = hasLocalFile() ? m_localFileName : m_deviceFileName;
    return name.section(u'_', 1, -4).replace(u'_', u' ');
}

QString OrvDeviceLogEntry::getFileSize() const
{
    static const struct
    {
        qint64 unit;
        const char *name;
    } units[] = { { qint64(1) << 30, "GiB" }, { 1 << 20, "MiB" }, { 1 << 10, "KiB" }, { 1, "B" } };
    for (const auto &unit : units) {
        const qint64 quotient = m_size / unit.unit;
        if (quotient >= 1)
            return QString::number(quotient) + QLatin1String(unit.name);
    }
    return QStringLiteral("0B");
}

void OrvDeviceLogEntry::downloadLog()
{
    emit DownloadFromOrvDevice(m_deviceFileName);
}

bool OrvDeviceLogEntry::removeLocalFile()
{
    if (hasLocalFile()) {
        QString error;
        if (!m_trash->moveToTrash(m_localFile.fileName(), &error)) {
            // The file is still there: the entry keeps it rather than showing a file as gone
            // that the user can still find in the library.
            qCWarning(lcOrvDeviceLogEntry)
                << "Could not move" << m_localFile.fileName() << "to the trash:" << error;
            ErrorHandler::instance()->pushNotification(
                nimbrel::Warning, AbstractNotification::NimbrelLab, tr("Removing log file failed"),
                tr("The file %1 could not be moved to the trash: %2")
                    .arg(m_localFile.fileName(), error),
                QStringLiteral("Log downloader"), QDateTime::currentDateTimeUtc());
            return false;
        }
        m_localFileName.clear();
        m_localFile.setFileName(QString());
        m_localFileValid = true;
        emit validLocalFileChanged(true);
    }
    if (m_onDevice)
        emit HasLocalFileChanged(false);
    else
        requestRemove();
    return true;
}

void OrvDeviceLogEntry::removeFileOnDevice()
{
    if (!m_deviceFileName.isEmpty())
        emit RemoveOnOrvDevice(QStringLiteral("/log/") + m_deviceFileName);
    if (!hasLocalFile())
        requestRemove();
    if (m_onDevice) {
        m_onDevice = false;
        emit IsOnOrvDeviceChanged(false);
    }
    setDownloadProgress(0);
}

bool OrvDeviceLogEntry::renameFile(const QString &newName)
{
    // Only a name: the copy stays in its device's folder of the library.
    if (newName.isEmpty() || newName == QLatin1String(".") || newName == QLatin1String("..")
        || newName.contains(u'/') || newName.contains(u'\\') || newName.contains(QChar(0))) {
        qCDebug(lcOrvDeviceLogEntry) << "Refused to rename a log file to" << newName;
        return false;
    }
    if (m_localFile.fileName().isEmpty())
        return false;
    const QString target = QFileInfo(m_localFile.fileName()).dir().filePath(newName);
    if (!m_localFile.rename(target))
        return false;
    m_localFileName = newName;
    m_localFileUrl = QUrl::fromLocalFile(target);
    emit FileNameChanged(newName);
    return true;
}

void OrvDeviceLogEntry::parseLog(const QString &outputFilePath)
{
    // The progress stays 0 until the first report comes back from the worker: the flag closes
    // that gap, so two quick requests cannot write the same file at once.
    if (m_converting || m_parseProgress > 0) {
        qCDebug(lcOrvDeviceLogEntry) << "parsing is still in progress, wait for completion";
        return;
    }
    if (m_localFileUrl.isEmpty())
        return;
    m_parser = new LogParser(LogConversionThread::shared(), this);
    m_converting = true;
    qCDebug(lcOrvDeviceLogEntry) << m_localFileUrl << outputFilePath;
    connect(m_parser, &LogParser::progressChanged, this, &OrvDeviceLogEntry::setParseProgress);
    connect(m_parser, &LogParser::finished, this, &OrvDeviceLogEntry::conversionFinished);
    // The queue passes a URL; QML and people pass plain paths too.
    QUrl output(outputFilePath);
    if (output.scheme().isEmpty())
        output = QUrl::fromLocalFile(outputFilePath);
    m_outputPath = output.toLocalFile();
    m_parser->parseLog(m_localFileUrl, output);
}

void OrvDeviceLogEntry::conversionFinished(bool ok)
{
    // The folder is chosen in a dialog that shows nothing afterwards: say where the file went.
    // A failure is the parser's own notification.
    if (ok) {
        ErrorHandler::instance()->pushNotification(
            nimbrel::Info, AbstractNotification::NimbrelLab, tr("Log file exported"),
            tr("Written to %1").arg(QDir::toNativeSeparators(m_outputPath)),
            QStringLiteral("Log conversion"), QDateTime::currentDateTime());
    }
    // A finished parser holds nothing anyone needs; a batch export must not keep one per log.
    m_converting = false;
    if (m_parser) {
        m_parser->disconnect(this);
        m_parser->deleteLater();
        m_parser = nullptr;
    }
}

void OrvDeviceLogEntry::setParseProgress(float progress)
{
    m_parseProgress = progress == 1.0f ? 0 : progress;
    emit parseProgressChanged(progress);
}

void OrvDeviceLogEntry::setDownloadProgress(float progress)
{
    m_downloadProgress = progress;
    emit DownloadProgressChanged(progress);
}

void OrvDeviceLogEntry::requestRemove()
{
    m_removalRequested = true;
    emit RequestRemove(this);
}

void OrvDeviceLogEntry::setTag1(const QString &tag)
{
    m_tags[0] = tag;
    emit Tag1Changed(tag);
}

void OrvDeviceLogEntry::setTag2(const QString &tag)
{
    m_tags[1] = tag;
    emit Tag2Changed(tag);
}

void OrvDeviceLogEntry::setTag3(const QString &tag)
{
    m_tags[2] = tag;
    emit Tag3Changed(tag);
}

void OrvDeviceLogEntry::setTag4(const QString &tag)
{
    m_tags[3] = tag;
    emit Tag4Changed(tag);
}
