// The Qt Quick Test runner of the application's own screens: the program's resources and QML
// modules, the types of "com.orvane", and the back ends the screens reach as root-context
// properties. The notification hub is the real one; the device factory is the real one with a
// link maker that records the addresses it is asked for and dials nothing but loopback.
#include "DeveloperModule.h"
#include "ErrorHandler.h"
#include "HardwareUpdate.h"
#include "HwSettingsFeed.h"
#include "MainApplication.h"
#include "NetworkDeviceManager.h"
#include "NotificationMessage.h"
#include "NotificationMsgProgressButton.h"
#include "OrvFactory.h"
#include "Pelto.h"
#include "VersionControl.h"
// >>> toolchain list
#include "MatlabHelper.h"
#include "ToolchainHandlerGUI.h"
// <<< toolchain list

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSignalSpy>
#include <QQmlContext>
#include <QQmlEngine>
#include <QUrl>
#include <QtPlugin>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest/quicktest.h>

#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(orvane_BrandingPlugin)
Q_IMPORT_QML_PLUGIN(orvane_ControlsPlugin)
Q_IMPORT_QML_PLUGIN(orvane_UtilPlugin)
Q_IMPORT_QML_PLUGIN(orvane_RobotCommunicationPlugin)
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

public:
    // What the update list hears from the Device Updates page.
    Q_INVOKABLE void setVisibility(bool) { }

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


// >>> device updates
// Real firmware update lists with real Pelto objects (identified, without a link) and the real
// version catalogue, read from a cached catalogue file that `openssl enc` encrypted and
// `openssl dgst` sealed: what the rows offer comes from code that shares nothing with the
// catalogue reader.
class TestUpdates : public QObject
{
    Q_OBJECT

public:
    // The catalogue as the cached copy of the last start; the download of a fresh one fails
    // (nothing listens on the storage port), so this copy is what the rows read.
    Q_INVOKABLE bool loadCatalogue(const QString &json)
    {
        VersionControl *catalogue = VersionControl::instance();
        const QString target = catalogue->catalogueFilePath();
        const QString plain = target + QStringLiteral(".json");
        QFile file(plain);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        file.write(json.toUtf8());
        file.close();
        QProcess openssl;
        openssl.start(QStringLiteral("sh"),
                      { "-c",
                        "openssl enc -aes-256-cbc -K \"$1\" -iv \"$2\" -in \"$3\" -out \"$4\""
                        " && openssl dgst -sha256 -binary \"$4\" >> \"$4\"",
                        "sh", QString::fromLatin1(VersionControl::catalogueKey().toHex()),
                        QString::fromLatin1(VersionControl::catalogueIv().toHex()), plain, target });
        if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0)
            return false;
        QFile::remove(plain);
        qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:9/");
        QSignalSpy loaded(catalogue, &VersionControl::VersionControlUpdated);
        if (catalogue->checkForUpdates() != 0 || !loaded.wait(20000))
            return false;
        return !catalogue->getLatestDeviceVersion(QStringLiteral("Pelto")).isEmpty();
    }

    Q_INVOKABLE QObject *makeList()
    {
        m_lists.push_back(std::make_unique<HardwareUpdate>());
        QQmlEngine::setObjectOwnership(m_lists.back().get(), QQmlEngine::CppOwnership);
        return m_lists.back().get();
    }

    // A device of the family (1 Pelto, 2 Halvex) and board variant connects to the list.
    Q_INVOKABLE QObject *connectDevice(QObject *list, const QString &serial, int family,
                                       int extendedType)
    {
        OrvDevice generic(static_cast<QObject *>(nullptr));
        QMetaObject::invokeMethod(&generic, "setDeviceInfo", Qt::DirectConnection,
                                  Q_ARG(QString, serial), Q_ARG(dlComm::Type, dlComm::Type(family)),
                                  Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                                  Q_ARG(int32_t, extendedType));
        std::unique_ptr<OrvDevice> device;
        if (family == 1) {
            device = std::make_unique<Pelto>(&generic);
        } else {
            device = std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr));
            QMetaObject::invokeMethod(
                device.get(), "setDeviceInfo", Qt::DirectConnection, Q_ARG(QString, serial),
                Q_ARG(dlComm::Type, dlComm::Type(family)),
                Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                Q_ARG(int32_t, extendedType));
        }
        QQmlEngine::setObjectOwnership(device.get(), QQmlEngine::CppOwnership);
        qobject_cast<HardwareUpdate *>(list)->orvDeviceConnected(device.get(), true);
        m_devices.push_back(std::move(device));
        return m_devices.back().get();
    }

    // The versions a Pelto reports: its operating system and its wireless module's firmware.
    Q_INVOKABLE void reportFirmware(QObject *device, bool osVerified, const QString &os,
                                    int bootTimeout, int remaining, const QString &wireless)
    {
        auto *pelto = qobject_cast<Pelto *>(device);
        emit pelto->FirmwareStateReceived(osVerified, os, bootTimeout, remaining);
        emit pelto->FirmwareWirelessReceived(true, wireless);
    }

    // The application a Pelto runs, as its control channel reports it.
    Q_INVOKABLE void reportApplication(QObject *device, const QString &version,
                                       const QString &buildId)
    {
        auto *pelto = qobject_cast<Pelto *>(device);
        emit pelto->VersionAppChanged(version);
        emit pelto->BuildIDChanged(buildId.toUtf8());
    }

    // Rows and devices go while the screens' engine and window still exist.
    Q_INVOKABLE void clear()
    {
        m_lists.clear();
        m_devices.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private:
    std::vector<std::unique_ptr<HardwareUpdate>> m_lists;
    std::vector<std::unique_ptr<OrvDevice>> m_devices;
};
// <<< device updates

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

        // Hardware Setup: the real settings framework, fed by the test.
        m_hardwareSettings = std::make_unique<HardwareSettings>(nullptr);
        m_hwSettingsFeed = std::make_unique<HwSettingsFeed>(m_hardwareSettings.get());
        // >>> toolchain list
        // Downloads the list starts go to a closed port on loopback.
        if (!qEnvironmentVariableIsSet("NIMBREL_STORAGE_BASE_URL"))
            qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:1/");
        // Two of them carry a toolchain already.
        const QString versions = QDir(qEnvironmentVariable("XDG_DATA_HOME"))
                                     .filePath("Orvane/NimbrelStudio/MatlabHelper/"
                                               "MatlabToolchainVersion");
        QDir().mkpath(versions);
        for (const auto &[name, version] :
             { std::pair{ "R2020b_9_9.json", "1.2.0" }, std::pair{ "R2021a_9_10.json", "1.10.0" } }) {
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
        context->setContextProperty(QStringLiteral("testUpdates"), &m_testUpdates);

        // Hardware Setup
        context->setContextProperty(QStringLiteral("HardwareSettings"),
                                    m_hardwareSettings->settingsGui());
        context->setContextProperty(QStringLiteral("hwSettingsFeed"), m_hwSettingsFeed.get());
        // >>> toolchain list
        context->setContextProperty(QStringLiteral("toolchainInstall"), m_toolchains.get());
        // <<< toolchain list
    }

    void cleanupTestCase()
    {
        for (const char *scheme : { "http", "https", "file", "mailto" })
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        m_factory.reset();
        m_testUpdates.clear();
        m_hwSettingsFeed.reset();
        m_hardwareSettings.reset();
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
    TestUpdates m_testUpdates;
    std::unique_ptr<OrvFactory> m_factory;
    // Hardware Setup
    std::unique_ptr<HardwareSettings> m_hardwareSettings;
    std::unique_ptr<HwSettingsFeed> m_hwSettingsFeed;
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
    // The "Robot discovery" page starts discovering as soon as it exists: never on the machine's
    // own network, so it gets no local address at all.
    NetworkDeviceManager::setDefaultSettingsFactory([] {
        orvane::infra::DeviceDiscoverySettings settings;
        settings.localAddresses = [] { return std::vector<orvane::infra::LocalAddress>{}; };
        return settings;
    });
    Setup setup;
    return quick_test_main_with_setup(argc, argv, "nimbrelApp", nullptr, &setup);
}

#include "qmlAppTestMain.moc"
