// The Qt Quick Test runner of the application's own screens: the program's resources and QML
// modules, the types of "com.orvane", and the back ends the screens reach as root-context
// properties. The notification hub is the real one; the device factory is the real one with a
// link maker that records the addresses it is asked for and dials nothing but loopback.
#include "DeveloperModule.h"
#include "ErrorHandler.h"
#include "MainApplication.h"
#include "NotificationMessage.h"
#include "NotificationMsgProgressButton.h"
#include "OrvFactory.h"
// >>> toolchain list
#include "MatlabHelper.h"
#include "ToolchainHandlerGUI.h"
// <<< toolchain list

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QQmlContext>
#include <QQmlEngine>
#include <QUrl>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
// >>> toolchain list
Q_IMPORT_QML_PLUGIN(MatLab_GUIPlugin)

namespace {
// Three MATLAB releases for the Global Settings page; nothing is ever started.
class ScreenReleases : public MatlabInstallationSource
{
public:
    std::map<std::string, std::string> findInstallations() const override
    {
        return { { "9.09", "/m/R2020b" }, { "9.10", "/m/R2021a" }, { "9.12", "/m/R2022a" } };
    }
};
} // namespace
// <<< toolchain list

// What the screens asked of the outside world: addresses the factory was asked to dial and URLs
// handed to the desktop.
class TestRecorder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList linkRequests READ linkRequests NOTIFY changed)
    Q_PROPERTY(QStringList openedUrls READ openedUrls NOTIFY changed)

public:
    QStringList linkRequests() const { return m_linkRequests; }
    QStringList openedUrls() const { return m_openedUrls; }
    void addLinkRequest(const QString &address)
    {
        m_linkRequests << address;
        emit changed();
    }
    Q_INVOKABLE void clear()
    {
        m_linkRequests.clear();
        m_openedUrls.clear();
        emit changed();
    }

public slots:
    void openUrl(const QUrl &url)
    {
        m_openedUrls << url.toString();
        emit changed();
    }

signals:
    void changed();

private:
    QStringList m_linkRequests;
    QStringList m_openedUrls;
};

// Stands in for a back end that has a selected row (the log library, the update list) until the
// test gives it one.
class TestSelection : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QObject *selectedDevice MEMBER m_selectedDevice NOTIFY changed)
    Q_PROPERTY(int availableUpdates MEMBER m_availableUpdates NOTIFY changed)

signals:
    void changed();

private:
    QObject *m_selectedDevice = nullptr;
    int m_availableUpdates = 0;
};

// Puts notifications into the real hub the way the back ends do.
class TestNotifications : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE int push(int level, int source, const QString &title, const QString &message,
                         const QString &origin)
    {
        return ErrorHandler::instance()->pushNotification(
            nimbrel::ErrorLevel(level), AbstractNotification::ErrorSource(source), title, message,
            origin, QDateTime::currentDateTimeUtc());
    }
    Q_INVOKABLE int pushModal(int level, const QString &title, const QString &message)
    {
        auto *note = new NotificationMessage(nullptr, nimbrel::ErrorLevel(level),
                                             AbstractNotification::NimbrelLab, title, message,
                                             QStringLiteral("Test"),
                                             QDateTime::currentDateTimeUtc());
        note->setModal(true);
        return ErrorHandler::instance()->addNotification(note);
    }
    // A notification with a button and a progress bar; returns it so the test can drive it.
    Q_INVOKABLE QObject *pushProgressButton(const QString &title, const QString &buttonName)
    {
        auto *note = new NotificationMsgProgressButton(
            nullptr, nimbrel::Info, AbstractNotification::NimbrelLab, title, QStringLiteral("..."),
            buttonName, QStringLiteral("Test"), QDateTime::currentDateTimeUtc());
        ErrorHandler::instance()->addNotification(note);
        return note;
    }
};

class Setup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        for (const char *scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &m_recorder, "openUrl");
        main_Application::registerQmlTypes();
        OrvFactorySettings settings;
        settings.useUsb = false;
        settings.reconnectDelayMs = 60000;
        // A closed loopback port: an attempt to a loopback address stays running (refused,
        // retried) and nothing outside the machine is ever dialled.
        settings.wifi.streamPort = 9;
        settings.wifi.deviceUdpPort = 9;
        settings.wifi.localUdpPort = 0;
        settings.wifi.reconnectDelayMs = 60000;
        settings.createWifiLink = [this](QObject *owner, const QHostAddress &address)
            -> WifiDatalink * {
            m_recorder.addLinkRequest(address.toString());
            if (!address.isLoopback())
                return nullptr;
            OrvFactorySettings s;
            s.wifi.streamPort = 9;
            s.wifi.deviceUdpPort = 9;
            s.wifi.localUdpPort = 0;
            s.wifi.reconnectDelayMs = 60000;
            return new WifiDatalink(owner, address, false, false, s.wifi);
        };
        m_factory = std::make_unique<OrvFactory>(nullptr, settings);
        // >>> toolchain list
        // Downloads the list starts go to a closed port on loopback.
        if (!qEnvironmentVariableIsSet("NIMBREL_STORAGE_BASE_URL"))
            qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:1/");
        // Two of them carry a toolchain already.
        const QString versions = QDir(qEnvironmentVariable("XDG_DATA_HOME"))
                                     .filePath("Orvane/NimbrelStudio/MatlabHelper/"
                                               "MatlabToolchainVersion");
        QDir().mkpath(versions);
        for (const auto &[name, version] : { std::pair{ "R2020b_9_9.json", "1.2.0" },
                                             std::pair{ "R2021a_9_10.json", "1.10.0" } }) {
            QFile file(versions + QLatin1Char('/') + QLatin1String(name));
            if (file.open(QIODevice::WriteOnly))
                file.write(QByteArray("{\"ToolchainVersion\": \"") + version + "\"}");
        }
        m_toolchains = std::make_unique<ToolchainHandlerGUI>(
            nullptr,
            std::make_unique<MatlabHelper>(
                std::make_unique<ScreenReleases>(),
                [](const QString &, const QStringList &, const QString &) { return true; }));
        // <<< toolchain list
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        QQmlContext *context = engine->rootContext();
        const QString screens = qEnvironmentVariable("NIMBREL_BINARY_DIR") + "/screens";
        QDir().mkpath(screens);
        context->setContextProperty(QStringLiteral("screensFolder"), screens);
        context->setContextProperty(QStringLiteral("testRecorder"), &m_recorder);
        context->setContextProperty(QStringLiteral("testNotifications"), &m_notifications);
        context->setContextProperty(QStringLiteral("developerModule"), &m_developerModule);
        context->setContextProperty(QStringLiteral("orvFactory"), m_factory.get());
        context->setContextProperty(QStringLiteral("Notifications"), ErrorHandler::instance());
        context->setContextProperty(QStringLiteral("RELEASE_MODE"),
                                    qEnvironmentVariableIntValue("NIMBREL_RELEASE_MODE"));
        context->setContextProperty(QStringLiteral("APPLICATION_VERSION"),
                                    QStringLiteral("1.10.0"));
        context->setContextProperty(QStringLiteral("HardwareUpdate"), &m_updates);
        context->setContextProperty(QStringLiteral("LogDownloader"), &m_logs);
        context->setContextProperty(QStringLiteral("versionControl"),
                                    QVariant::fromValue<QObject *>(nullptr));
        // >>> toolchain list
        context->setContextProperty(QStringLiteral("toolchainInstall"), m_toolchains.get());
        // <<< toolchain list
    }

    void cleanupTestCase()
    {
        for (const char *scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        m_factory.reset();
        // >>> toolchain list
        m_toolchains.reset();
        // <<< toolchain list
    }

private:
    TestRecorder m_recorder;
    TestNotifications m_notifications;
    DeveloperModule m_developerModule;
    TestSelection m_updates;
    TestSelection m_logs;
    std::unique_ptr<OrvFactory> m_factory;
    // >>> toolchain list
    std::unique_ptr<ToolchainHandlerGUI> m_toolchains;
    // <<< toolchain list
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    // The identity the program sets at start-up: the screens' settings live under it.
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "nimbrelApp", nullptr, &setup);
}

#include "qmlAppTestMain.moc"
