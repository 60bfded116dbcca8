#include "LoggingHandler.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QThread>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));

    // The log folder derives from the identity above, so the log starts only now.
    QThread logThread;
    logThread.setObjectName(QStringLiteral("ApplicationLog"));
    LoggingHandler *logHandler = createLoggingHandler(&logThread);
    logThread.start();
    setProcessLoggingHandler(logHandler);
    qInstallMessageHandler(messageHandler);

    int status = 0;
    {
        QQmlApplicationEngine engine;
        qInfo("Nimbrel Lab %s started", qPrintable(QApplication::applicationVersion()));
        engine.load(QUrl(QStringLiteral("qrc:/Qml/Main.qml")));
        if (engine.rootObjects().isEmpty()) {
            qCritical("The main window could not be loaded");
            status = 1;
        } else {
            status = QApplication::exec();
        }
        // The engine goes first, while the log still runs, so what it logs on the way out is kept.
    }
    stopApplicationLog(&logThread);
    return status;
}
