#include "AppBinTools.h"

#include "ElfReader.h"
#include "FlashImage.h"

#include <QFile>
#include <QLoggingCategory>

namespace {
Q_LOGGING_CATEGORY(lcAppBinTools, "Staging.AppBinTools")

// A file this large is no application ELF; reading it whole would only exhaust memory.
constexpr qint64 maxFileSize = 1024ll * 1024 * 1024;
} // namespace

AppBinTools::AppBinTools(QObject *parent)
    : QObject(parent)
{ }

AppBinTools::~AppBinTools() = default;

int AppBinTools::loadAppBinary(ElfReader &elf, const QString &path, qint64 start)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileSize) {
        qCWarning(lcAppBinTools) << "Cannot read" << path << file.errorString();
        return -1;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || start < 0)
        return -1;
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    const auto position
        = flashimage::findElfInArchive(data, std::size_t(bytes.size()), std::size_t(start));
    if (!position) {
        qCWarning(lcAppBinTools) << "No ELF at offset" << start << "of" << path;
        return -1;
    }
    if (!elf.load(data + *position, std::size_t(bytes.size()) - *position)) {
        qCWarning(lcAppBinTools) << "The ELF in" << path << "cannot be read";
        return -1;
    }
    return 0;
}

QSharedPointer<QBuffer> AppBinTools::elfToFlashImage(const QString &path,
                                                     const QString &versionNumber, quint32 flags,
                                                     int headerSize)
{
    m_elf = std::make_unique<ElfReader>();
    m_segmentCount = 0;
    m_appInfoOffset = 0;
    if (loadAppBinary(*m_elf, path, headerSize) != 0)
        return {};
    qCDebug(lcAppBinTools).nospace() << "Number of segments: " << m_elf->segments().size();
    const QByteArray name = versionNumber.toUtf8();
    const auto image = flashimage::buildFlashImage(
        *m_elf, std::string_view(name.constData(), std::size_t(name.size())), flags);
    if (!image) {
        qCWarning(lcAppBinTools) << "No sound flash image can be made of" << path;
        return {};
    }
    m_segmentCount = quint32(m_elf->segments().size());
    m_appInfoOffset = quint32(image->at(24)) | quint32(image->at(25)) << 8
        | quint32(image->at(26)) << 16 | quint32(image->at(27)) << 24;

    QSharedPointer<QBuffer> buffer(new QBuffer);
    buffer->open(QIODevice::ReadWrite);
    buffer->write(reinterpret_cast<const char *>(image->data()), qint64(image->size()));
    return buffer;
}
