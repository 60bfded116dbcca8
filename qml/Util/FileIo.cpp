#include "FileIo.h"

#include "SafeFileWrite.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>

FileIo::FileIo(QObject *parent)
    : QObject(parent)
{ }

bool FileIo::writeToFile(const QUrl &fileUrl, const QByteArray &data)
{
    // A write that fails half-way must not leave a cut-off file under the name.
    QString error;
    if (!platform::writeFileAtomically(fileUrl.toLocalFile(), data, &error)) {
        qWarning() << "Couldn't open path file." << error;
        return false;
    }
    return true;
}

QByteArray FileIo::readFromFile(const QUrl &fileUrl)
{
    QFile file(fileUrl.toLocalFile());
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "Couldn't open path file.";
        return QByteArray();
    }
    return file.readAll();
}

void FileIo::deleteFile(const QUrl &fileUrl)
{
    if (!QFile::remove(fileUrl.toLocalFile()))
        qWarning() << "Couldn't delete file " << fileUrl;
}

QUrl FileIo::tempFileUrl()
{
    return QUrl::fromLocalFile(
        QDir::tempPath() + QDir::separator()
        + QStringLiteral("NimbrelBrastel_%1").arg(QRandomGenerator::global()->generate()));
}
