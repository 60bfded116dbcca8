#pragma once

#include <QByteArray>
#include <QObject>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

// Reads, writes and deletes files named by URL for QML.
class FileIo : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit FileIo(QObject *parent = nullptr);

    // Replaces the file whole or leaves it as it was; true when the new content is in place.
    Q_INVOKABLE bool writeToFile(const QUrl &fileUrl, const QByteArray &data);
    Q_INVOKABLE QByteArray readFromFile(const QUrl &fileUrl);
    Q_INVOKABLE void deleteFile(const QUrl &fileUrl);
    Q_INVOKABLE QUrl tempFileUrl();
};
