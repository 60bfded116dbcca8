#include "AppFile.h"

#include "AppBinTools.h"
#include "AppFileHeader.h"
#include "ErrorHandler.h"
#include "SafeFileWrite.h"
#include "Trash.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>

namespace {
Q_LOGGING_CATEGORY(lcAppFile, "Staging.AppFile")

const char *const boardTypeNames[] = {
    "Unknown",           "Pelto_Generic",    "Pelto_Development_Board",
    "Pelto_Exploration", "Pelto_Industrial", "Torvik",
    "Pelto_Rugged",      "Sorvyn",
};
constexpr int boardTypeCount = int(sizeof(boardTypeNames) / sizeof(boardTypeNames[0]));
constexpr int maxNameSuffix = 9999;
const QString origin = QStringLiteral("Binary list");
const QString importFailedTitle = QStringLiteral("Importing binary failed");
const QString importFailedMessage
    = QStringLiteral("Could not add the binary into the binary list.");
const QString flashFailedTitle = QStringLiteral("Binary flashing failed");

QString textOf(const std::uint8_t *field, std::size_t size)
{
    return QString::fromUtf8(appheader::fieldText(field, size));
}

std::string utf8(const QString &text)
{
    return text.toUtf8().toStdString();
}

// Two names of the same folder: a symlinked home or a trailing "/" must not count as elsewhere.
bool sameFolder(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    const QString cb = QFileInfo(b).canonicalFilePath();
    if (!ca.isEmpty() && !cb.isEmpty())
        return ca == cb;
    return QDir::cleanPath(QFileInfo(a).absoluteFilePath())
        == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

bool readWhole(const QString &path, QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return file.error() == QFileDevice::NoError;
}

} // namespace

AppFile::AppFile(QObject *parent, const QFile &file, const QString &versionText,
                 const QString &buildId, const QString &boardTypeName, quint32 flags,
                 const QString &libraryFolder, const qint32 &deviceNumber,
                 const qint32 &deviceBoardType, const QByteArray &deviceBuildId, bool selected,
                 platform::Trash *trash)
    : QObject(parent)
    , m_selected(selected)
    , m_file(new QFile(file.fileName(), this))
    , m_versionText(versionText)
    , m_flags(flags)
    , m_flagNibble(flags & 0xF)
    , m_deviceNumber(deviceNumber)
    , m_deviceBoardType(deviceBoardType)
    , m_deviceBuildId(deviceBuildId)
    , m_libraryFolder(libraryFolder)
    , m_trash(trash ? trash : platform::Trash::system())
{
    for (int i = 0; i < boardTypeCount; ++i) {
        if (boardTypeName == QLatin1String(boardTypeNames[i]))
            m_boardType = i;
    }
    const QFileInfo info(file.fileName());
    m_creationTime = info.birthTime().isValid() ? info.birthTime() : info.lastModified();
    m_filePath = file.fileName();
    m_folderPath = info.absolutePath();
    m_baseName = info.completeBaseName();
    m_size = info.size();
    m_buildId = buildId.toLocal8Bit();

    if (isElfFile(m_filePath)) {
        if (!importElf(libraryFolder, versionText)) {
            notify(importFailedTitle, importFailedMessage);
            return;
        }
    } else if (loadHeader()) {
        if (copyIntoFolder(libraryFolder) == -1) {
            notify(importFailedTitle, importFailedMessage);
            m_valid = false;
            return;
        }
        if (m_applicationName.isEmpty()) {
            const qsizetype bracket = m_baseName.lastIndexOf(QLatin1Char('['));
            m_applicationName = bracket < 0 ? m_baseName : m_baseName.left(bracket);
        }
        if (m_headerVersion < appheader::currentVersion && !rewriteAppHeader(m_headerSize)) {
            notify(importFailedTitle, importFailedMessage);
            m_valid = false;
            return;
        }
    } else {
        return;
    }
    std::array<std::uint8_t, 32> raw{};
    if (m_buildId.size() == 32) {
        std::copy(m_buildId.cbegin(), m_buildId.cend(), raw.begin());
        if (appheader::isBlankBuildId(raw))
            m_buildId.clear();
    }
}

AppFile::~AppFile() = default;

bool AppFile::isElfFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        && file.read(4)
        == QByteArray("\x7F"
                      "ELF");
}

QString AppFile::fileNameSafe(const QString &versionText)
{
    QString safe = versionText;
    for (QChar &c : safe) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20)
            c = QLatin1Char('_');
    }
    return safe;
}

int AppFile::uniqueTargetPath(QString &path, const QString &versionText,
                              const QString &folder) const
{
    const QString stem = QDir(folder).filePath(m_baseName + QLatin1Char('[')
                                               + fileNameSafe(versionText) + QLatin1Char(']'));
    for (int n = 0; n <= maxNameSuffix; ++n) {
        const QString candidate
            = stem + (n > 0 ? QStringLiteral("-%1").arg(n) : QString()) + QStringLiteral(".napbf");
        if (!QFileInfo::exists(candidate)) {
            path = candidate;
            return n;
        }
    }
    return -1;
}

bool AppFile::importElf(const QString &libraryFolder, const QString &versionText)
{
    QString target;
    const int n = uniqueTargetPath(target, versionText, libraryFolder);
    if (n < 0)
        return false;

    static const QRegularExpression threePart(QStringLiteral("(\\d+\\.\\d+\\.\\d+)(.*)"));
    static const QRegularExpression twoPart(QStringLiteral("(\\d+\\.\\d+)(.*)"));
    QRegularExpressionMatch match = threePart.match(versionText);
    if (!match.hasMatch())
        match = twoPart.match(versionText);
    m_versionNumber = match.hasMatch() ? match.captured(1) : QString();
    m_creationTime = QDateTime::currentDateTime();
    m_applicationName = m_baseName + (n > 0 ? QStringLiteral("-%1").arg(n) : QString());

    QByteArray elf;
    if (!readWhole(m_filePath, elf))
        return false;
    const std::vector<std::uint8_t> header = appheader::serializeAppHeader(buildHeader());
    QByteArray content(reinterpret_cast<const char *>(header.data()), qsizetype(header.size()));
    content += elf;
    QString error;
    if (!platform::writeFileAtomically(target, content, &error)) {
        qCWarning(lcAppFile) << "Cannot write" << target << error;
        return false;
    }
    switchToFile(target);
    m_valid = true;
    return true;
}

bool AppFile::loadHeader()
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray probe = file.read(qint64(appheader::probeSize));
    const auto extent
        = appheader::headerExtent(reinterpret_cast<const std::uint8_t *>(probe.constData()),
                                  std::size_t(probe.size()), std::uint64_t(file.size()));
    if (!extent || !file.seek(0))
        return false;
    const QByteArray bytes = file.read(qint64(extent->headerSize) + 4);
    const auto header = appheader::decode(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                          std::size_t(bytes.size()), *extent);
    if (!header)
        return false;

    m_headerVersion = header->headerVersion;
    m_headerSize = qint32(extent->headerSize);
    m_versionNumber = textOf(header->versionNumber.data(), header->versionNumber.size());
    m_flags = header->flags;
    m_firmwareNumber = header->firmwareNumber;
    m_flagNibble = header->flagNibble;
    m_creationTime
        = QDateTime::fromString(textOf(header->creationTime.data(), header->creationTime.size()),
                                Qt::TextDate)
              .toLocalTime();
    m_buildId = QByteArray(reinterpret_cast<const char *>(header->buildId.data()),
                           qsizetype(header->buildId.size()));
    m_boardType = header->boardType;
    emit DeviceTypeChanged(getDeviceType());
    for (int i = 0; i < 4; ++i)
        m_tags[i] = textOf(header->tags[std::size_t(i)].data(), 32);
    m_versionText = QString::fromStdString(header->versionText);
    m_applicationName = QString::fromStdString(header->applicationName);
    m_size = file.size();
    m_valid = true;
    return true;
}

int AppFile::copyIntoFolder(const QString &libraryFolder)
{
    if (sameFolder(libraryFolder, m_folderPath))
        return -2;
    const QString bracket = QLatin1Char('[') + fileNameSafe(m_versionText) + QLatin1Char(']');
    const QString name = m_baseName.contains(bracket) ? m_baseName : m_baseName + bracket;
    const QString target = QDir(libraryFolder).filePath(name + QStringLiteral(".napbf"));
    if (!QFile::copy(m_filePath, target))
        return -1;
    switchToFile(target);
    return 0;
}

void AppFile::switchToFile(const QString &path)
{
    m_file->deleteLater();
    const QFileInfo info(path);
    m_file = new QFile(info.absoluteFilePath(), this);
    m_filePath = info.absoluteFilePath();
    m_folderPath = info.absolutePath();
    m_baseName = info.completeBaseName();
    m_size = info.size();
}

AppFileHeader AppFile::buildHeader() const
{
    AppFileHeader h;
    std::copy(appheader::magicText.begin(), appheader::magicText.end(), h.magic.begin());
    h.headerVersion = appheader::currentVersion;
    h.headerSize = qint32(appheader::currentSize);
    appheader::putIfFits(h.versionNumber, utf8(m_versionNumber));
    h.firmwareNumber = m_firmwareNumber;
    h.flags = m_flags;
    h.flagNibble = m_flagNibble;
    appheader::putIfFits(h.creationTime, utf8(m_creationTime.toUTC().toString(Qt::TextDate)));
    appheader::putIfFits(h.buildId, m_buildId.toStdString());
    h.boardType = m_boardType;
    for (int i = 0; i < 4; ++i)
        appheader::putIfFits(h.tags[std::size_t(i)], utf8(m_tags[i]));
    h.versionText = utf8(m_versionText);
    h.applicationName = utf8(m_applicationName);
    return h;
}

bool AppFile::rewriteAppHeader(qint64 oldHeaderSize)
{
    QByteArray content;
    if (!readWhole(m_filePath, content) || oldHeaderSize < 0 || oldHeaderSize > content.size())
        return false;
    const std::vector<std::uint8_t> header = appheader::serializeAppHeader(buildHeader());
    content.replace(
        0, oldHeaderSize,
        QByteArray(reinterpret_cast<const char *>(header.data()), qsizetype(header.size())));
    QString error;
    if (!platform::writeFileAtomically(m_filePath, content, &error)) {
        qCWarning(lcAppFile) << "Cannot rewrite the header of" << m_filePath << error;
        return false;
    }
    m_size = content.size();
    m_headerSize = qint32(appheader::currentSize);
    m_headerVersion = appheader::currentVersion;
    return true;
}

void AppFile::setTag(int index, const QString &newTag)
{
    m_tags[index] = newTag;
    if (m_valid && !rewriteAppHeader(m_headerSize))
        notify(QStringLiteral("Saving binary tag failed"),
               QStringLiteral("The tag could not be written into the binary file; the file was "
                              "left as it was."));
    switch (index) {
    case 0:
        emit tag1Changed(newTag);
        break;
    case 1:
        emit tag2Changed(newTag);
        break;
    case 2:
        emit tag3Changed(newTag);
        break;
    default:
        emit tag4Changed(newTag);
        break;
    }
}

void AppFile::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    emit selectedChanged(selected);
}

bool AppFile::getCanBeFlashed() const
{
    const bool boardFits = m_boardType == Unknown || m_boardType == Pelto_Generic
        || m_deviceBoardType == 0 || m_boardType == m_deviceBoardType;
    const bool firmwareFits = m_deviceNumber != -1 && m_firmwareNumber >= m_deviceNumber;
    return boardFits && firmwareFits;
}

void AppFile::connectedDeviceUpdated()
{
    emit CanBeFlashedChanged(getCanBeFlashed());
    const bool onPelto
        = !m_deviceBuildId.isEmpty() && !m_buildId.isEmpty() && m_buildId.contains(m_deviceBuildId);
    if (onPelto != m_onPelto) {
        m_onPelto = onPelto;
        emit IsOnPeltoChanged(onPelto);
    }
}

void AppFile::flashAppFile()
{
    if (!m_valid)
        return;
    if (m_deviceNumber == -1 || m_firmwareNumber < m_deviceNumber) {
        notify(flashFailedTitle,
               QStringLiteral("The binary coult not be flashed on the connected device due to a "
                              "incorrect firmware. Update the device and try again."));
        return;
    }
    if (m_boardType != Unknown && m_boardType != Pelto_Generic && m_deviceBoardType != 0
        && m_boardType != m_deviceBoardType) {
        notify(flashFailedTitle,
               QStringLiteral("The binary coult not be flashed on the connected device due to an "
                              "incompatibility problem. The current binary is compiled for a ")
                   + boardTypeName(m_boardType, true) + QStringLiteral(" where a ")
                   + boardTypeName(m_deviceBoardType, true)
                   + QStringLiteral(" is connected. Connect the correct device and try again."));
        return;
    }
    if (QFileInfo(m_filePath).size() != m_size) {
        notify(flashFailedTitle,
               QStringLiteral("The binary coult not be flashed due to a corruption a the file."));
        emit RequestDelete(this);
        return;
    }
    QSharedPointer<QBuffer> image;
    {
        AppBinTools tools(this);
        image = tools.elfToFlashImage(m_filePath, m_versionNumber, m_flags, m_headerSize);
    }
    if (!image) {
        notify(flashFailedTitle,
               QStringLiteral("The binary could not be flashed because the application in the "
                              "file cannot be read."));
        return;
    }
    m_uploading = true;
    emit FlashAppBinSignal(this, image);
}

void AppFile::uploadProgressUpdated(float progress)
{
    if (!m_uploading) {
        m_uploadProgress = 0.0f;
        return;
    }
    m_uploadProgress = progress;
    emit UploadProgressChanged(progress);
    if (progress >= 1.0f) {
        m_uploading = false;
        emit uploadFinished();
    }
}

void AppFile::uploadStateUpdated(SoftwareUpdate::UpdateState state)
{
    float progress = 0.0f;
    switch (state) {
    case SoftwareUpdate::UpdateFinished:
        progress = 1.0f;
        break;
    case SoftwareUpdate::TimedOut:
    case SoftwareUpdate::UpdateError:
        break;
    default:
        return;
    }
    m_uploadProgress = progress;
    m_uploading = false;
    emit UploadProgressChanged(progress);
}

void AppFile::deleteAppFile()
{
    QString error;
    if (!m_trash->moveToTrash(m_filePath, &error)) {
        qCWarning(lcAppFile) << "Cannot move" << m_filePath << "to the trash:" << error;
        notify(QStringLiteral("Deleting binary failed"),
               QStringLiteral("The binary could not be moved to the trash and stays in the "
                              "binary list."));
        return;
    }
    emit RequestDelete(this);
}

void AppFile::deleteWithoutNotify()
{
    QString error;
    if (!m_trash->moveToTrash(m_filePath, &error))
        qCWarning(lcAppFile) << "Cannot move" << m_filePath << "to the trash:" << error;
}

void AppFile::deleteAppFromList()
{
    emit RequestDelete(this);
}

void AppFile::setFileName(const QString &newFileName)
{
    const qsizetype slash = m_filePath.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = m_filePath.lastIndexOf(QLatin1Char('.'));
    const qsizetype end = dot > slash ? dot : m_filePath.size();
    const QString newPath = m_filePath.left(slash + 1) + newFileName + m_filePath.mid(end);
    // A name with a separator would move the file out of its folder (or the library).
    const bool plainName = !newFileName.contains(QLatin1Char('/')) && !newFileName.isEmpty()
        && newFileName != QLatin1String("..") && newFileName != QLatin1String(".");
    if (!plainName || !m_file->rename(newPath)) {
        notify(QStringLiteral("Binary renaming failed"),
               QStringLiteral("Renaming binary file failed. Try again with a different name."));
        return;
    }
    m_filePath = newPath;
    m_baseName = QFileInfo(newPath).completeBaseName();
    emit FileNameChanged(m_baseName);
}

QString AppFile::getFileSize() const
{
    constexpr double kib = 1024.0;
    constexpr double mib = 1048576.0;
    constexpr double gib = 1073741824.0;
    if (m_size < 1048576)
        return QString::number(double(m_size) / kib, 'f', 0) + QStringLiteral("KB");
    if (m_size < 1073741824)
        return QString::number(double(m_size) / mib, 'f', 0) + QStringLiteral("MB");
    return QString::number(double(m_size) / gib, 'f', 0) + QStringLiteral("GB");
}

QString AppFile::getFileCreateDateString() const
{
    return m_creationTime.toString(QStringLiteral("dd-MM-yyyy"));
}

QString AppFile::getFileCreateTimeString() const
{
    return m_creationTime.toString(QStringLiteral("hh:mm"));
}

QString AppFile::boardTypeName(qint32 value, bool blanks)
{
    QString name = QLatin1String(value >= 0 && value < boardTypeCount ? boardTypeNames[value]
                                                                      : boardTypeNames[0]);
    if (blanks)
        name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return name;
}

void AppFile::notify(const QString &title, const QString &message) const
{
    ErrorHandler::instance()->pushNotification(nimbrel::Warning, AbstractNotification::NimbrelLab,
                                               title, message, origin,
                                               QDateTime::currentDateTimeUtc());
}
