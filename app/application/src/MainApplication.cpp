#include "MainApplication.h"

#include "AppBinaryManager.h"
#include "ApplicationFolders.h"
#include "ControlChannel.h"
#include "DatalinkManager.h"
#include "DeveloperModule.h"
#include "ErrorChannel.h"
#include "ErrorHandler.h"
#include "ExtendedDeviceType.h"
#include "ExternalMonitor.h"
#include "FileDialogHandler.h"
#include "HardwareSettings.h"
#include "HardwareUpdate.h"
#include "HwSettingsGUI.h"
#include "LogCommandQueue.h"
#include "LogDownloader.h"
#include "LogParser.h"
#include "ModuleComponents.h"
#include "Nimbrel.h"
#include "OrvDeviceLogEntry.h"
#include "OrvFactory.h"
#include "Pelto.h"
#include "SimulinkDataTypes.h"
#include "ToolchainHandlerGUI.h"
#include "UriDistributor.h"
#include "VersionControl.h"
#include "VersionInfo.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QQmlContext>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>

#include <cstdio>
#include <utility>

Q_LOGGING_CATEGORY(lcMainApplication, "App.MainApplication")

#ifndef NIMBREL_RELEASE_MODE
#define NIMBREL_RELEASE_MODE 3
#endif

namespace {
constexpr auto releaseMode = nimbrel::ReleaseMode(NIMBREL_RELEASE_MODE);
static_assert(releaseMode >= nimbrel::Develop && releaseMode <= nimbrel::Release);
} // namespace

main_Application::main_Application(QObject *parent, QApplication *application, const QUrl &mainQml)
    : main_Application(parent, application, mainQml, OrvFactorySettings{})
{ }

main_Application::main_Application(QObject *parent, QApplication *application, const QUrl &mainQml,
                                   const OrvFactorySettings &deviceSettings)
    : QObject(parent)
    , m_application(application)
    , m_networkFactory(std::make_unique<QMLNetworkAccesManagerFactory>())
    , m_engine(this)
{
    qCDebug(lcMainApplication) << "Initializing application";
    // The catalogue learns the program's version before anything else exists; this also starts
    // its first download, without which the update list never knows the latest firmware.
    const VersionInfo &version = versionInfo();
    VersionControl::instance()->setApplicationVersion(version.major, version.minor, version.patch);

    // Children in their fixed order; the order of the connections made here is the order in
    // which receivers hear about a device.
    // Every Pelto makes its model monitor when its monitoring service opens.
    ExternalMonitor::install();
    m_orvFactory = new OrvFactory(this, deviceSettings);
    m_uriDistributor = new UriDistributor(this);
    // The program-wide log converter, with a thread of its own; each log entry makes another
    // for the conversions it starts.
    m_logParser = new LogParser(this);
    m_appBinaryManager = new AppBinaryManager(this);
    m_fileDialogHandler = new FileDialogHandler(this);
    // Without a home-side folder there is no library: the list stays empty.
    const std::optional<QDir> logRoot
        = ApplicationFolders::instance().subFolder(ApplicationFolders::Home, "LogData");
    m_logDownloader
        = new LogDownloader(logRoot.value_or(QDir(QStringLiteral("/nonexistent"))), this);
    connect(m_orvFactory, &OrvFactory::orvDeviceConnected, m_logDownloader,
            &LogDownloader::orvDeviceConnected);
    connect(m_orvFactory, &OrvFactory::ActiveDeviceChanged, m_logDownloader,
            &LogDownloader::setSelectedDevice);
    // The firmware update list keeps a row per connected device and follows the selected one.
    m_hardwareUpdate = new HardwareUpdate(this);
    connect(m_orvFactory, &OrvFactory::orvDeviceConnected, m_hardwareUpdate,
            &HardwareUpdate::orvDeviceConnected);
    connect(m_orvFactory, &OrvFactory::ActiveDeviceChanged, m_hardwareUpdate,
            &HardwareUpdate::setSelectedDevice);
    m_toolchainInstall = new ToolchainHandlerGUI(this);
    // Progress of MATLAB's toolchain functions comes back as "nimbrel:" links.
    connect(m_uriDistributor, &UriDistributor::InstallToolchainUriReceived, m_toolchainInstall,
            &ToolchainHandlerGUI::installToolchainUriReceived, Qt::QueuedConnection);
    // The Hardware Setup screen's settings follow the selected device.
    m_hardwareSettings = new HardwareSettings(this);
    connect(m_orvFactory, &OrvFactory::ActiveDeviceChanged, m_hardwareSettings,
            &HardwareSettings::setOrvDevice);
    // Last of the four: the library checks a binary against the device the others already follow.
    connect(m_orvFactory, &OrvFactory::ActiveDeviceChanged, m_appBinaryManager,
            &AppBinaryManager::setDevice);
    connect(m_uriDistributor, &UriDistributor::AppBinManagerUriReceived, m_appBinaryManager,
            qOverload<const QString &, const QString &, const QString &, const QString &, uint>(
                &AppBinaryManager::pushElfBinaryFromUri));
    connect(m_fileDialogHandler, &FileDialogHandler::ApbFileReceived, m_appBinaryManager,
            &AppBinaryManager::uploadApbBinary);
    connect(m_fileDialogHandler, &FileDialogHandler::ElfFileReceived, m_appBinaryManager,
            &AppBinaryManager::pushElfBinaryFromFile);
    connect(m_fileDialogHandler, &FileDialogHandler::NapbfFileReceived, m_appBinaryManager,
            &AppBinaryManager::pushElfBinaryFromFile);
    // A firmware file the user opens goes to every Pelto the factory knows.
    connect(m_fileDialogHandler, &FileDialogHandler::FebFileReceived, m_orvFactory,
            &OrvFactory::TempUploadFirmware);
    connect(m_fileDialogHandler, &FileDialogHandler::FwbFileReceived, m_orvFactory,
            &OrvFactory::TempUploadFirmware);

    // The developer tools exist only in develop and manufacturing builds.
    if (releaseMode != nimbrel::Release) {
        m_developerModule = new DeveloperModule(this);
        connect(m_orvFactory, &OrvFactory::ActiveDeviceChanged, m_developerModule,
                &DeveloperModule::setDevice);
        connect(m_developerModule, &DeveloperModule::FileDialogUrlReceived, m_fileDialogHandler,
                &FileDialogHandler::fileDialogUrlReceived);
    }

    registerQmlTypes();
    // Bindings in the main window see these at their first evaluation.
    setContextProperties();

    m_engine.setNetworkAccessManagerFactory(m_networkFactory.get());
    m_engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    m_engine.load(mainQml);

    // The start-up benchmark measures the time to this line.
    if (qEnvironmentVariableIsSet("NIMBREL_REPORT_FIRST_FRAME")) {
        const QList<QObject *> roots = m_engine.rootObjects();
        if (auto *window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow *>(roots.first()))
            connect(
                window, &QQuickWindow::frameSwapped, this,
                [reported = false]() mutable {
                    if (std::exchange(reported, true))
                        return;
                    std::fputs("first-frame\n", stdout);
                    std::fflush(stdout);
                },
                Qt::DirectConnection);
    }
}

main_Application::~main_Application()
{
    // Qt 6.4 tears an ApplicationWindow down before its items: an item that still holds the
    // keyboard focus then clears it through the window's delivery agent, which is gone already.
    for (QObject *root : m_engine.rootObjects()) {
        if (auto *window = qobject_cast<QQuickWindow *>(root)) {
            while (QQuickItem *focus = window->activeFocusItem()) {
                if (focus == window->contentItem())
                    break;
                focus->setFocus(false);
                if (window->activeFocusItem() == focus)
                    break;
            }
        }
    }
    // The pages go next, while their window and the back ends they show still exist. Left to
    // the engine, the delegates of their lists (the Data Grabber's device lists and tabs, the
    // file dialog's rows) end up as children of the application object with a pointer to the
    // window that is gone, and the program crashes at exit when QApplication deletes them.
    for (QObject *root : m_engine.rootObjects()) {
        if (auto *pages = root->findChild<QQuickItem *>(QStringLiteral("viewStack"))) {
            const QList<QQuickItem *> shown = pages->childItems();
            qDeleteAll(shown);
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool main_Application::isMainWindowLoaded() const
{
    return !m_engine.rootObjects().isEmpty();
}

void main_Application::registerQmlTypes()
{
    qRegisterMetaType<ErrorChannel::LogLevel>();
    qRegisterMetaType<orvdevice::ExtendedDeviceType>();
    qRegisterMetaType<OrvDeviceHelpers>();

    const char *uri = "com.orvane";
    qmlRegisterUncreatableType<Pelto>(uri, 1, 0, "Pelto", tr("This is an internal object"));
    registerOrvDeviceQmlType(uri, 1, 0);
    qmlRegisterUncreatableType<ControlChannel>(uri, 1, 0, "ControlChannel", QString());
    qmlRegisterUncreatableType<DatalinkManager>(uri, 1, 0, "DatalinkManager", QString());
    qmlRegisterUncreatableType<AbstractDataLink>(uri, 1, 0, "AbstractDataLink", QString());
    registerNotificationQmlTypes();
    qmlRegisterUncreatableType<DeviceUpdateEntry>(uri, 1, 0, "DeviceUpdateEntry", QString());
    qmlRegisterType<LogCommandQueue>(uri, 1, 0, "LogCommandQueue");
    qmlRegisterUncreatableType<OrvDeviceLogProducer>(uri, 1, 0, "OrvDeviceLogProducer",
                                                     QStringLiteral("type is private"));
    qmlRegisterUncreatableType<OrvDeviceLogEntry>(uri, 1, 0, "OrvDeviceLogEntry",
                                                  QStringLiteral("type is private"));
    // The log lists' models: one list-model class under each name QML screens use.
    qmlRegisterType<OrvDeviceLogProducerList>(uri, 1, 0, "OrvDeviceLogProducerList");
    qmlRegisterType<OrvDeviceLogProducerList>(uri, 1, 0, "OrvDeviceLogProducerListTemplate");
    qmlRegisterType<qolm::QOlm<QObject>>(uri, 1, 0, "QtObjectList");
    qmlRegisterType<OrvDeviceLogEntryList>(uri, 1, 0, "OrvDeviceLogEntryList");
    qRegisterMetaType<OrvDeviceLogProducerList *>("OrvDeviceLogProducerList*");
    qRegisterMetaType<OrvDeviceLogEntryList *>("OrvDeviceLogEntryList*");
    qmlRegisterUncreatableMetaObject(SimulinkDataTypes::staticMetaObject, "com.orvane", 1, 0,
                                     "SimulinkDataTypes", QStringLiteral("Error: Namespace"));
    // The page loader makes pages by module and type name. Imported through orvane.Util, Qt 6.4
    // would make every static QML plugin at start-up (and the branding plugin registers its 39
    // fonts when made); through "com.orvane", which has no plugin, each plugin is made at the
    // first import of its own module.
    qmlRegisterSingletonType<ModuleComponents>(uri, 1, 0, "ModuleComponents",
                                               [](QQmlEngine *, QJSEngine *) -> QObject * {
                                                   return new ModuleComponents;
                                               });
}

void main_Application::setContextProperties()
{
    QQmlContext *context = m_engine.rootContext();
    context->setContextProperty(QStringLiteral("orvFactory"), m_orvFactory);
    context->setContextProperty(QStringLiteral("logParser"), m_logParser);
    context->setContextProperty(QStringLiteral("binManager"), m_appBinaryManager);
    context->setContextProperty(QStringLiteral("LogDownloader"), m_logDownloader);
    context->setContextProperty(QStringLiteral("HardwareSettings"),
                                m_hardwareSettings->settingsGui());
    context->setContextProperty(QStringLiteral("Notifications"), ErrorHandler::instance());
    context->setContextProperty(QStringLiteral("toolchainInstall"), m_toolchainInstall);
    context->setContextProperty(QStringLiteral("versionControl"), VersionControl::instance());
    context->setContextProperty(QStringLiteral("HardwareUpdate"), m_hardwareUpdate);
    context->setContextProperty(QStringLiteral("RELEASE_MODE"), int(releaseMode));
    if (m_developerModule)
        context->setContextProperty(QStringLiteral("developerModule"), m_developerModule);
    context->setContextProperty(QStringLiteral("APPLICATION_VERSION"),
                                QString::fromUtf8(versionInfo().fileVersion));
}

void main_Application::uriReceived(const QUrl &uri)
{
    qCDebug(lcMainApplication) << "uri Succesfully passed to mainApplication";
    m_uriDistributor->urlReceived(uri);
}

void main_Application::closeApp(const QString &message)
{
    QMessageBox box;
    box.setText(QStringLiteral("Nimbrel Lab"));
    box.setInformativeText(message);
    box.setStandardButtons(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}
