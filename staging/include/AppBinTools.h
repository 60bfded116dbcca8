#pragma once

#include <QBuffer>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <memory>

class ElfReader;

// Turns the ELF inside an app-binary file into the flash image a Pelto takes (see FlashImage.h
// for the layout). One object per flash request, made by the AppFile that asks and discarded
// right after; GUI thread.
class AppBinTools : public QObject
{
    Q_OBJECT

public:
    explicit AppBinTools(QObject *parent = nullptr);
    ~AppBinTools() override;

    // The image in a parentless QBuffer owned by the pointer, open for reading and writing and
    // positioned at its end (the upload pads it there and rewinds it itself). Null when the file
    // cannot be read, holds no ELF at headerSize (nor behind an ar archive's first member), the ELF
    // is malformed, or the image would be unsound (see flashimage::buildFlashImage).
    QSharedPointer<QBuffer> elfToFlashImage(const QString &path, const QString &versionNumber,
                                            quint32 flags, int headerSize);

    // Loads the ELF found at or behind `start` in the file into `elf`: 0, or -1.
    int loadAppBinary(ElfReader &elf, const QString &path, qint64 start);

    // n and the ".appinfo" offset of the last image.
    quint32 segmentCount() const { return m_segmentCount; }
    quint32 appInfoOffset() const { return m_appInfoOffset; }

private:
    std::unique_ptr<ElfReader> m_elf;
    quint32 m_segmentCount = 0;
    quint32 m_appInfoOffset = 0;
};
