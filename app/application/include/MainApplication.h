#pragma once

#include "QMLNetworkAccesManagerFactory.h"

#include <QObject>
#include <QQmlApplicationEngine>
#include <QUrl>

#include <memory>

class AppBinaryManager;
class DeveloperModule;
class QApplication;
class FileDialogHandler;
class HardwareSettings;
class HardwareUpdate;
class LogDownloader;
class LogParser;
class OrvFactory;
class ToolchainHandlerGUI;
class UriDistributor;
struct OrvFactorySettings;

// The root of the back end: creates the service objects as its children, wires them, registers
// the QML types, publishes the services to QML and loads the main window. Everything here runs on
// the GUI thread; the children and the engine live exactly as long as this object.
class main_Application : public QObject
{
    Q_OBJECT

public:
    main_Application(QObject *parent, QApplication *application,
                     const QUrl &mainQml = QUrl(QStringLiteral("qrc:/Qml/Main.qml")));
    // The same program with the device factory's ports, timings and Wi-Fi link maker given from
    // outside (a person's tools and the end-to-end tests, which must never dial a real device).
    main_Application(QObject *parent, QApplication *application, const QUrl &mainQml,
                     const OrvFactorySettings &deviceSettings);
    ~main_Application() override;

    // False when the main window could not be created.
    bool isMainWindowLoaded() const;
    QQmlApplicationEngine &engine() { return m_engine; }

    // The types of "com.orvane" 1.0 the screens use; the QML tests register them the same way.
    static void registerQmlTypes();

public slots:
    void uriReceived(const QUrl &uri);
    void closeApp(const QString &message);

private:
    void setContextProperties();

    QApplication *m_application;
    // Declared before the engine, so the engine that uses it is destroyed first.
    std::unique_ptr<QMLNetworkAccesManagerFactory> m_networkFactory;
    QQmlApplicationEngine m_engine;
    OrvFactory *m_orvFactory = nullptr;
    UriDistributor *m_uriDistributor = nullptr;
    LogParser *m_logParser = nullptr;
    AppBinaryManager *m_appBinaryManager = nullptr;
    LogDownloader *m_logDownloader = nullptr;
    FileDialogHandler *m_fileDialogHandler = nullptr;
    HardwareSettings *m_hardwareSettings = nullptr;
    HardwareUpdate *m_hardwareUpdate = nullptr;
    ToolchainHandlerGUI *m_toolchainInstall = nullptr;
    DeveloperModule *m_developerModule = nullptr;
};
