// A tiny program that starts the application log the way the program does and then raises a
// fatal message, so a test can check what reaches the file before the process aborts.
#include "LoggingHandler.h"

#include <QCoreApplication>
#include <QThread>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    QThread logThread;
    LoggingHandler *handler = createLoggingHandler(&logThread);
    logThread.start();
    setProcessLoggingHandler(handler);
    qInstallMessageHandler(messageHandler);
    qInfo("log file %s", qPrintable(handler->logFilePath()));
    qFatal("fatal line from the probe");
}
