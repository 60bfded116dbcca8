#include "FileDialogHandler.h"

#include <QLoggingCategory>
#include <QMetaEnum>

Q_LOGGING_CATEGORY(lcFileDialog, "App.FileDialogHandler")

FileDialogHandler::FileDialogHandler(QObject *parent)
    : QObject(parent)
{
}

void FileDialogHandler::fileDialogUrlReceived(const QUrl &url)
{
    const QString path = url.toLocalFile();
    const QString extension = path.mid(path.lastIndexOf(QLatin1Char('.')) + 1).toLower();
    const QMetaEnum types = QMetaEnum::fromType<DataTypes>();
    for (int value = none; value < last; ++value) {
        if (extension != QLatin1String(types.valueToKey(value)))
            continue;
        switch (DataTypes(value)) {
        case apb:
            emit ApbFileReceived(path);
            return;
        case elf:
            emit ElfFileReceived(path);
            return;
        case napbf:
            emit NapbfFileReceived(path);
            return;
        case feb:
            emit FebFileReceived(path);
            return;
        case fwb:
            emit FwbFileReceived(path);
            return;
        case none:
        case last:
            break;
        }
        break;
    }
    qCDebug(lcFileDialog) << "Unrecognised file imported";
}
