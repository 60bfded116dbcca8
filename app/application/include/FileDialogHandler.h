#pragma once

#include <QObject>
#include <QUrl>

// Sorts a chosen local file by its extension and hands its path to the service for that kind.
class FileDialogHandler : public QObject
{
    Q_OBJECT

public:
    // The enumerator names are the recognised extensions.
    enum DataTypes { none = 0, apb = 1, elf = 2, napbf = 3, feb = 4, fwb = 5, last = 6 };
    Q_ENUM(DataTypes)

    explicit FileDialogHandler(QObject *parent = nullptr);

    Q_INVOKABLE void fileDialogUrlReceived(const QUrl &url);

signals:
    void ApbFileReceived(QString binPath);
    void ElfFileReceived(QString binPath);
    void NapbfFileReceived(QString binPath);
    void FebFileReceived(QString binPath);
    void FwbFileReceived(QString binPath);
};
