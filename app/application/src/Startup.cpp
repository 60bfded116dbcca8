#include "Startup.h"

#include "LoggingHandler.h"
#include "MainApplication.h"
#include "TerminationSignals.h"
#include "UriHandler.h"
#include "UriSchemeChecks.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>
#include <QProcess>
#include <QThread>

#include <memory>

Q_LOGGING_CATEGORY(lcStartup, "App.Startup")

namespace {

const QString scheme = QStringLiteral("nimbrel");

// Lives until the event loop has ended: a second start may connect to it at any time.
UriHandler *g_uriHandler = nullptr;

void checkUrlScheme(const QString &applicationPath)
{
    if (!isUriSchemeInstalled(scheme)) {
        qCInfo(lcStartup) << "There is no handler installed. Installing this application as the "
                             "handler";
        registerUrlSchemeHandler(scheme, applicationPath);
    } else if (!isUriSchemeOurs(scheme, applicationPath)) {
        qCInfo(lcStartup) << "Another program is installed as the handler";
        registerUrlSchemeHandler(scheme, applicationPath);
    }
}

} // namespace

bool registerUrlSchemeHandler(const QString &scheme, const QString &applicationFilePath)
{
    const QStringList arguments{QStringLiteral("--command"), QStringLiteral("installscheme"),
                                QStringLiteral("--scheme"),  scheme,
                                QStringLiteral("--application"), applicationFilePath};
    if (!QProcess::startDetached(schemeHelperPath(), arguments)) {
        qCWarning(lcStartup) << "Could not register the nimbrel URI handler";
        return false;
    }
    return true;
}

int runNimbrelLab(int argc, char *argv[])
{
    qCDebug(lcStartup) << "Initializing application";
    qputenv("QT_QPA_UPDATE_IDLE_TIME", "0");
    qputenv("QSG_USE_SIMPLE_ANIMATION_DRIVER", "1");

    QApplication application(argc, argv);

    // A session's log-out or a terminal's Ctrl-C ends the program the same way as closing its
    // window: the back end says goodbye to its devices and the log is written to the end.
    platform::TerminationSignals terminationSignals;
    QObject::connect(&terminationSignals, &platform::TerminationSignals::terminationRequested,
                     &application, [](int signalNumber) {
                         qCInfo(lcStartup) << "Ending on signal" << signalNumber;
                         QApplication::quit();
                     });

    checkUrlScheme(QApplication::applicationFilePath());

    g_uriHandler = new UriHandler(scheme);

    auto parser = std::make_shared<QCommandLineParser>();
    const QCommandLineOption uriOption(QStringLiteral("uri"), QStringLiteral("URI to parse"),
                                       QStringLiteral("uri"));
    parser->addOption(uriOption);
    parser->process(application);

    if (parser->isSet(uriOption)) {
        const QString text = parser->value(uriOption);
        if (!g_uriHandler->isFirstInstance())
            return g_uriHandler->handleUri(text) ? 0 : 1;
        qCDebug(lcStartup) << "uri stored";
        // Replayed once the back end exists; an invalid link is still replayed, and the router
        // rejects it.
        g_uriHandler->storeUrl(QUrl(text, QUrl::TolerantMode));
    }

    QApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QApplication::setOrganizationName(QStringLiteral("Orvane"));
    QApplication::setOrganizationDomain(QStringLiteral("orvane.example"));

    // The log folder derives from the identity above, so the log starts only now.
    QThread logThread;
    logThread.setObjectName(QStringLiteral("ApplicationLog"));
    LoggingHandler *logHandler = createLoggingHandler(&logThread);
    logThread.start();
    setProcessLoggingHandler(logHandler);
    qInstallMessageHandler(messageHandler);

    int status = 0;
    {
        main_Application mainApplication(nullptr, &application);
        if (!mainApplication.isMainWindowLoaded()) {
            // Without a window this instance would hold the single-instance socket and swallow
            // every later link; better to end and let the next start try again.
            qCCritical(lcStartup) << "The main window could not be loaded";
            status = 1;
        } else {
            QObject::connect(g_uriHandler, &UriHandler::appCalled, &mainApplication,
                             &main_Application::uriReceived);
            if (g_uriHandler->hasStoredUrl())
                emit g_uriHandler->appCalled(g_uriHandler->storedUrl());
            status = QApplication::exec();
        }
        // The back end is destroyed here, while the log still runs, so what it logs on the way
        // out reaches the file.
    }
    // The socket and the election lock are given up now, so the next start need not find them
    // left behind as by a crash.
    delete g_uriHandler;
    g_uriHandler = nullptr;
    stopApplicationLog(&logThread);
    return status;
}
