#pragma once

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QStringList>

// Fake MATLAB installations under a temporary root: one folder per release with the recording
// launcher tests/fixtures/fake_matlab.sh as bin/matlab and the release's version key beside it.
// Starts are recorded in records(), one file per start.
class FakeMatlab
{
public:
    explicit FakeMatlab(const QString &name = QStringLiteral("matlab"))
        : m_root(QDir(nimbrel::test::testRoot()).filePath(name))
    {
        QDir().mkpath(recordFolder());
    }

    QString root() const { return m_root; }
    QString recordFolder() const { return m_root + QStringLiteral("/records"); }

    // Adds <root>/<installFolder>/<release>; key is what the fake reports back.
    bool addRelease(const QString &installFolder, const QString &release, const QString &key)
    {
        const QString folder
            = m_root + QLatin1Char('/') + installFolder + QLatin1Char('/') + release;
        if (!QDir().mkpath(folder + QStringLiteral("/bin")))
            return false;
        const QString launcher = folder + QStringLiteral("/bin/matlab");
        QFile::remove(launcher);
        QFile keyFile(folder + QStringLiteral("/key"));
        return QFile::copy(nimbrel::test::fixturePath(QStringLiteral("fake_matlab.sh")), launcher)
            && QFile::setPermissions(launcher, QFile::permissions(launcher) | QFile::ExeOwner)
            && keyFile.open(QIODevice::WriteOnly) && keyFile.write(key.toUtf8()) == key.size();
    }

    QString installFolder(const QString &name) const { return m_root + QLatin1Char('/') + name; }

    // Each start: its release and the fields it recorded ("cwd=...", "argc=...", "arg=...", and
    // "bad arguments" for a start of the wrong shape).
    QList<QPair<QString, QStringList>> records() const
    {
        QList<QPair<QString, QStringList>> result;
        for (auto [release, fields] : allRecords()) {
            fields.removeIf([](const QString &field) {
                return field.startsWith(QLatin1String("launcher="))
                    || field.startsWith(QLatin1String("uri_status="));
            });
            result.append({ release, fields });
        }
        return result;
    }

    // As records(), with the launcher's own path ("launcher=...") and, for a start that handed a
    // link to the program, the program's exit status ("uri_status=...").
    QList<QPair<QString, QStringList>> allRecords() const
    {
        QList<QPair<QString, QStringList>> result;
        const QDir dir(recordFolder());
        for (const QString &name : dir.entryList({ QStringLiteral("R20*") }, QDir::Files)) {
            if (name.endsWith(QStringLiteral(".tmp")))
                continue;
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly))
                continue;
            result.append({ name.section(QLatin1Char('-'), 0, 0),
                            QString::fromUtf8(file.readAll())
                                .split(QChar(u'\0'), Qt::SkipEmptyParts) });
        }
        return result;
    }

    void setEnvironment() const { qputenv("FAKE_MATLAB_RECORD", recordFolder().toUtf8()); }

private:
    QString m_root;
};
