#pragma once

#include "AppFile.h"
#include "ErrorHandler.h"
#include "Trash.h"

#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <memory>

// What the library would hold about the attached Pelto; the AppFile reads it by reference.
struct DeviceState
{
    qint32 number = -1;
    qint32 boardType = 0;
    QByteArray buildId;
};

// Stands in for the desktop trash: records what it was given and removes it, or refuses.
class FakeTrash : public platform::Trash
{
public:
    explicit FakeTrash(bool works)
        : m_works(works)
    { }
    bool moveToTrash(const QString &path, QString *error) override
    {
        moved << path;
        if (!m_works) {
            *error = QStringLiteral("refused by the test");
            return false;
        }
        return QFile::remove(path);
    }
    QStringList moved;

private:
    bool m_works;
};

namespace rig {

using namespace nimbrel::test;

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline QByteArray sha256(const QString &path)
{
    return QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256).toHex();
}

// The two-segment ELF, written by the struct-only ELF writer.
inline QString makeModelElf(const QString &dir, const QString &name = QStringLiteral("model"))
{
    const QString path = QDir(dir).filePath(name + QStringLiteral(".elf"));
    QByteArray ramp;
    for (int i = 0; i < 256; ++i)
        ramp.append(char(i));
    const QString description = QStringLiteral(R"({"class":32,"endian":"<","segments":[)"
                                               R"({"vaddr":536870912,"hex":"%1"},)"
                                               R"({"vaddr":536871168,"hex":"%2","memsz":64}]})")
                                    .arg(QString::fromLatin1(ramp.toHex()),
                                         QString::fromLatin1(QByteArray(16, char(0xAA)).toHex()));
    const auto r = runProcess(python(), { fixturePath("make_elf.py"), path, description });
    return r.exitCode == 0 ? path : QString();
}

// An app-binary file written by the struct-only header writer.
inline bool writeNapbf(const QString &out, const QString &elf, const QJsonObject &fields)
{
    const auto r
        = runProcess(python(),
                     { fixturePath("napbf_header.py"), QStringLiteral("write"), out, elf,
                       QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact)) });
    return r.exitCode == 0;
}

// The header fields as the struct-only reader sees them (elf_hex: everything after the header).
inline QJsonObject readHeader(const QString &path)
{
    const auto r
        = runProcess(python(), { fixturePath("napbf_header.py"), QStringLiteral("read"), path });
    return QJsonDocument::fromJson(r.out).object();
}

inline std::unique_ptr<AppFile> takeUp(const QString &path, const QString &versionText,
                                       const QString &library, const DeviceState &device,
                                       platform::Trash *trash = nullptr,
                                       const QString &boardTypeName = QString(),
                                       const QString &buildId = QString(), quint32 flags = 0)
{
    return std::make_unique<AppFile>(nullptr, QFile(path), versionText, buildId, boardTypeName,
                                     flags, library, device.number, device.boardType,
                                     device.buildId, false, trash);
}

inline QStringList notifications()
{
    QStringList list;
    for (const AbstractNotification *n : ErrorHandler::instance()->getNotificationList())
        list << n->getTitle() + QStringLiteral(": ") + n->getMessage();
    return list;
}

inline QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace rig
