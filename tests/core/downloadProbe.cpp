// Downloads one URL into one file with the application's download manager and reports the result,
// so a test can run a download in a process of its own, for example under a file-size limit.
//
//     downloadProbe CA-CERTIFICATE URL TARGET
//
// Prints "stored TEXT" or "failed TEXT" on stdout; exits 0 when the download succeeded, 1 when it
// failed, 2 on a wrong command line.
#include "DownloadManager.h"

#include <QCoreApplication>
#include <QFutureWatcher>
#include <QSslConfiguration>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 4) {
        std::fputs("usage: downloadProbe CA-CERTIFICATE URL TARGET\n", stderr);
        return 2;
    }
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    if (!ssl.addCaCertificates(arguments.at(1))) {
        std::fputs("downloadProbe: no certificate read\n", stderr);
        return 2;
    }
    QSslConfiguration::setDefaultConfiguration(ssl);

    QFutureWatcher<DownloadResult> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &app, &QCoreApplication::quit);
    watcher.setFuture(
        DownloadManager::instance()->downloadToFile(QUrl(arguments.at(2)), arguments.at(3)));
    if (!watcher.isFinished())
        app.exec();

    const DownloadResult result = watcher.future().result();
    std::printf("%s %s\n", result.success ? "stored" : "failed", qPrintable(result.text));
    return result.success ? 0 : 1;
}
