// Takes up one file as the library would and reports what happened, so tests can run it under a
// file-size limit (the limit applies to this child only).
//
// usage: appFileProbe open <file> <library folder>
//        appFileProbe tag <file> <library folder> <text>    (sets tag 2)
// Prints "valid 0|1" and one "notification <title>" line per notification, then exits 0.
#include "AppFile.h"
#include "ErrorHandler.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4)
        return 2;
    const qint32 deviceNumber = -1;
    const qint32 deviceBoardType = 0;
    const QByteArray deviceBuildId;
    QFile file(args.at(2));
    AppFile appFile(nullptr, file, QString(), QString(), QString(), 0, args.at(3), deviceNumber,
                    deviceBoardType, deviceBuildId, false);
    if (args.at(1) == QLatin1String("tag") && args.size() > 4)
        appFile.setTag2(args.at(4));
    QTextStream out(stdout);
    out << "valid " << (appFile.isValid() ? 1 : 0) << '\n';
    for (const AbstractNotification *n : ErrorHandler::instance()->getNotificationList())
        out << "notification " << n->getTitle() << '\n';
    return 0;
}
