#include "AppBinaryManager.h"
#include "FileDialogHandler.h"
#include "HardwareSettings.h"
#include "HardwareUpdate.h"
#include "LogDownloader.h"
#include "LogParser.h"
#include "MainApplication.h"
#include "OrvFactory.h"
#include "Pelto.h"
#include "TestSupport.h"
#include "ToolchainHandlerGUI.h"
#include "UriDistributor.h"
#include "VersionInfo.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QQmlComponent>
#include <QQmlContext>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

#ifndef EXPECTED_FILE_VERSION
#error "the test is built once with and once without the version resource"
#endif

namespace {
QUrl writeQml(const QString &name, const QByteArray &text)
{
    const QString path = testRoot() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write(text);
    return QUrl::fromLocalFile(path);
}

// Everything the main window can see while it is being created.
const QByteArray probeQml = R"(
import QtQml
import com.orvane 1.0
QtObject {
    property string notifications: typeof Notifications
    property int count: Notifications ? Notifications.notificationCount : -1
    property var releaseMode: typeof RELEASE_MODE === "undefined" ? -1 : RELEASE_MODE
    property var version: typeof APPLICATION_VERSION === "undefined" ? null : APPLICATION_VERSION
    property int error: Nimbrel.Error
    property int release: Nimbrel.Release
    property int rootOutput: SimulinkDataTypes.RootOutput
    property int progressKind: AbstractNotification.Progress_1
    property int running: ControlChannel.Running
    property int wifi: AbstractDataLink.WiFi
    property int pelto: OrvDevice.Pelto
    property int torvik: OrvDevice.Torvik
    property int echo: OrvDevice.EchoTestExtension
    property string factory: typeof orvFactory
    property bool nothingSelected: orvFactory ? orvFactory.selectedDevice === null : false
    property bool attempting: orvFactory ? orvFactory.connectionAttempt : true
    property bool autoConnect: orvFactory ? orvFactory.autoConnectState : false
    property int devices: orvFactory ? orvFactory._deviceList.length : -1
    property bool updatesPublished: typeof HardwareUpdate === "object" && HardwareUpdate !== null
    property int updateRows: updatesPublished ? HardwareUpdate.deviceList.length : -1
    property int availableUpdates: updatesPublished ? HardwareUpdate.availableUpdates : -1
    property int updateFailed: DeviceUpdateEntry.ErrorWhileUpdating
}
)";

// A Pelto as the device factory builds it once the device has told its identity; no link.
std::unique_ptr<Pelto> makePelto(const QString &serial, int extendedType)
{
    OrvDevice generic(static_cast<QObject *>(nullptr));
    QMetaObject::invokeMethod(&generic, "setDeviceInfo", Qt::DirectConnection,
                              Q_ARG(QString, serial), Q_ARG(dlComm::Type, dlComm::Type(1)),
                              Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                              Q_ARG(int32_t, extendedType));
    return std::make_unique<Pelto>(&generic);
}

// Records, in order, which service heard about a device; each names itself once per event.
class HeardLog : public QObject
{
public:
    QStringList heard;
    void note(const QString &who)
    {
        if (heard.isEmpty() || heard.last() != who)
            heard << who;
    }

protected:
    // The settings screen's back end shows that it followed the device by making the device's
    // settings object as its child.
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::ChildAdded)
            note(QStringLiteral("settings"));
        return false;
    }
};
} // namespace

class TestMainApplication : public QObject
{
    Q_OBJECT

private slots:
    void contextIsReadyBeforeTheMainWindowLoads()
    {
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        QVERIFY(app.isMainWindowLoaded());
        QObject *root = app.engine().rootObjects().first();
        QCOMPARE(root->property("notifications").toString(), QStringLiteral("object"));
        QCOMPARE(root->property("count").toInt(), 0);
        QCOMPARE(root->property("releaseMode").toInt(), 3);
        QCOMPARE(root->property("version").toString(), QStringLiteral(EXPECTED_FILE_VERSION));
        QCOMPARE(root->property("error").toInt(), 2);
        QCOMPARE(root->property("release").toInt(), 3);
        QCOMPARE(root->property("rootOutput").toInt(), 6);
        QCOMPARE(root->property("progressKind").toInt(), 5);
        QCOMPARE(root->property("running").toInt(), 3);
        QCOMPARE(root->property("wifi").toInt(), 2);
        QCOMPARE(root->property("pelto").toInt(), 1);
        QCOMPARE(root->property("torvik").toInt(), 13);
        QCOMPARE(root->property("echo").toInt(), 256);
        QCOMPARE(root->property("factory").toString(), QStringLiteral("object"));
        QVERIFY(root->property("nothingSelected").toBool());
        QVERIFY(!root->property("attempting").toBool());
        QVERIFY(root->property("autoConnect").toBool());
        QCOMPARE(root->property("devices").toInt(), 0);
        QVERIFY(root->property("updatesPublished").toBool());
        QCOMPARE(root->property("updateRows").toInt(), 0);
        QCOMPARE(root->property("availableUpdates").toInt(), 0);
        QCOMPARE(root->property("updateFailed").toInt(), 6);
    }

    // The update list sits between the log library and the toolchain list, hears of devices
    // from the factory and follows the active one; a change of the active device reaches the
    // log library, the update list, the settings and the binary library in that order.
    void updateListFollowsTheFactory()
    {
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        QStringList order;
        for (QObject *child : app.children()) {
            for (const char *name : { "LogDownloader", "HardwareUpdate", "ToolchainHandlerGUI",
                                      "HardwareSettings" }) {
                if (child->inherits(name))
                    order << QString::fromLatin1(name);
            }
        }
        QCOMPARE(order, QStringList({ "LogDownloader", "HardwareUpdate", "ToolchainHandlerGUI",
                                      "HardwareSettings" }));
        auto *updates = qobject_cast<HardwareUpdate *>(
            app.engine().rootContext()->contextProperty(QStringLiteral("HardwareUpdate"))
                .value<QObject *>());
        QVERIFY(updates);
        QCOMPARE(updates->parent(), &app);
        auto *factory = app.findChild<OrvFactory *>(QString(), Qt::FindDirectChildrenOnly);
        auto *logs = app.findChild<LogDownloader *>(QString(), Qt::FindDirectChildrenOnly);
        auto *settings = app.findChild<HardwareSettings *>(QString(), Qt::FindDirectChildrenOnly);
        auto *binaries = app.findChild<AppBinaryManager *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(factory && logs && settings && binaries);

        HeardLog log;
        connect(logs, &LogDownloader::SelectedLogDeviceChanged, &log,
                [&] { log.note(QStringLiteral("logs")); });
        connect(updates, &HardwareUpdate::SelectedDeviceChanged, &log,
                [&] { log.note(QStringLiteral("updates")); });
        connect(binaries, &AppBinaryManager::DeviceSelected, &log,
                [&] { log.note(QStringLiteral("binaries")); });
        settings->installEventFilter(&log);

        const std::unique_ptr<Pelto> pelto = makePelto(QStringLiteral("SN-UPD-1"), 0);
        const OrvDevice *device = pelto.get();
        QVERIFY(QMetaObject::invokeMethod(factory, "orvDeviceConnected", Qt::DirectConnection,
                                          Q_ARG(const OrvDevice *, device), Q_ARG(bool, true)));
        QCOMPARE(updates->getDeviceList().size(), 1);
        DeviceUpdateEntry *row = updates->getDeviceList().first();
        QCOMPARE(row->serialNumber(), QStringLiteral("SN-UPD-1"));
        QObject *root = app.engine().rootObjects().first();
        QCOMPARE(root->property("updateRows").toInt(), 1);
        // The home tile's counter reads the list's offers.
        updates->addAvailableUpdates(1);
        QCOMPARE(root->property("availableUpdates").toInt(), 1);
        updates->addAvailableUpdates(-1);

        QVERIFY(QMetaObject::invokeMethod(factory, "ActiveDeviceChanged", Qt::DirectConnection,
                                          Q_ARG(const OrvDevice *, device)));
        QCOMPARE(updates->getSelectedDevice(), row);
        QCOMPARE(log.heard, QStringList({ "logs", "updates", "settings", "binaries" }));
        settings->removeEventFilter(&log);

        // A device that leaves takes its row along, and the selection with it.
        QVERIFY(QMetaObject::invokeMethod(factory, "orvDeviceConnected", Qt::DirectConnection,
                                          Q_ARG(const OrvDevice *, device), Q_ARG(bool, false)));
        QVERIFY(updates->getDeviceList().isEmpty());
        QCOMPARE(updates->getSelectedDevice(), nullptr);
        QCOMPARE(root->property("updateRows").toInt(), 0);
        QVERIFY(QMetaObject::invokeMethod(factory, "ActiveDeviceChanged", Qt::DirectConnection,
                                          Q_ARG(const OrvDevice *, nullptr)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void versionRecord()
    {
        const VersionInfo &info = versionInfo();
        QCOMPARE(QString::fromUtf8(info.fileVersion), QStringLiteral(EXPECTED_FILE_VERSION));
        QCOMPARE(&versionInfo(), &info);
        const bool present = !QByteArray(EXPECTED_FILE_VERSION).isEmpty();
        QCOMPARE(info.major, present ? 1 : 0);
        QCOMPARE(info.minor, present ? 10 : 0);
        QCOMPARE(info.patch, 0);
    }

    void uncreatableTypes_data()
    {
        QTest::addColumn<QString>("type");
        QTest::addColumn<QString>("reason");
        QTest::newRow("namespace") << "SimulinkDataTypes" << "Error: Namespace";
        QTest::newRow("hub") << "ErrorHandler" << "";
        QTest::newRow("notification") << "AbstractNotification" << "";
        QTest::newRow("pelto") << "Pelto" << "This is an internal object";
        QTest::newRow("device") << "OrvDevice" << "";
        QTest::newRow("control channel") << "ControlChannel" << "";
        QTest::newRow("link manager") << "DatalinkManager" << "";
        QTest::newRow("link") << "AbstractDataLink" << "";
        QTest::newRow("log producer") << "OrvDeviceLogProducer" << "type is private";
        QTest::newRow("log entry") << "OrvDeviceLogEntry" << "type is private";
        QTest::newRow("update row") << "DeviceUpdateEntry" << "";
    }

    // The log lists reach QML under their list-type names and as meta-types by name.
    void logListTypes()
    {
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        for (const char *name : { "OrvDeviceLogProducerList", "OrvDeviceLogProducerListTemplate",
                                  "QtObjectList", "OrvDeviceLogEntryList" }) {
            QQmlComponent component(&app.engine());
            component.setData(QByteArray("import com.orvane 1.0\n") + name + " {}\n", QUrl());
            std::unique_ptr<QObject> object(component.create());
            QVERIFY2(object, qPrintable(component.errorString()));
            QVERIFY(qobject_cast<QAbstractListModel *>(object.get()));
        }
        QVERIFY(QMetaType::fromName("OrvDeviceLogProducerList*").isValid());
        QVERIFY(QMetaType::fromName("OrvDeviceLogEntryList*").isValid());
    }

    // The device helper type is known to the meta-type system by name and can be made from it.
    void deviceHelpersMetaType()
    {
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        const QMetaType type = QMetaType::fromName("OrvDeviceHelpers");
        QVERIFY(type.isValid());
        void *made = type.create();
        QVERIFY(made);
        // The value made by name is the helper object itself, not something of the same size.
        QCOMPARE(static_cast<QObject *>(made)->metaObject()->className(), "OrvDeviceHelpers");
        type.destroy(made);
    }

    void uncreatableTypes()
    {
        QFETCH(QString, type);
        QFETCH(QString, reason);
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        QQmlComponent component(&app.engine());
        component.setData(("import com.orvane 1.0\n" + type + " {}\n").toUtf8(), QUrl());
        QVERIFY(component.isError());
        const QString text = component.errors().first().description();
        QVERIFY2(reason.isEmpty() || text.contains(reason), qPrintable(text));
    }

    // The children exist in their fixed order, a URI reaches the router at once and a firmware
    // file reaches the device factory.
    void childrenAndRouting()
    {
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        QList<QObject *> services;
        for (QObject *child : app.children()) {
            if (qobject_cast<UriDistributor *>(child) || qobject_cast<FileDialogHandler *>(child)
                || qobject_cast<AppBinaryManager *>(child) || qobject_cast<LogParser *>(child)
                || child->inherits("OrvFactory"))
                services.append(child);
        }
        QCOMPARE(services.size(), 5);
        QVERIFY(services[0]->inherits("OrvFactory"));
        QCOMPARE(app.engine().rootContext()->contextProperty(QStringLiteral("orvFactory"))
                     .value<QObject *>(),
                 services[0]);
        QVERIFY(qobject_cast<UriDistributor *>(services[1]));
        // The program-wide log converter, whose progress the device panel shows.
        auto *parser = qobject_cast<LogParser *>(services[2]);
        QVERIFY(parser);
        QCOMPARE(app.engine().rootContext()->contextProperty(QStringLiteral("logParser"))
                     .value<QObject *>(),
                 parser);
        QCOMPARE(parser->progress(), 0.0f);
        services.removeAt(2);
        auto *library = qobject_cast<AppBinaryManager *>(services[2]);
        QVERIFY(library);
        QCOMPARE(app.engine().rootContext()->contextProperty(QStringLiteral("binManager"))
                     .value<QObject *>(),
                 library);
        QVERIFY(qobject_cast<FileDialogHandler *>(services[3]));
        // Binaries reach the library by file and by link; each road ends in a list update.
        QSignalSpy listed(library, &AppBinaryManager::AppBinaryListChanged);

        QSignalSpy firmware(services[0], SIGNAL(TempUploadFirmware(QString)));
        auto *files = qobject_cast<FileDialogHandler *>(services[3]);
        files->fileDialogUrlReceived(QUrl::fromLocalFile(QStringLiteral("/data/pelto-1.5.0.fwb")));
        files->fileDialogUrlReceived(QUrl::fromLocalFile(QStringLiteral("/data/esp-2.2.0.feb")));
        files->fileDialogUrlReceived(QUrl::fromLocalFile(QStringLiteral("/data/app.elf")));
        files->fileDialogUrlReceived(QUrl::fromLocalFile(QStringLiteral("/data/app.napbf")));
        QCOMPARE(firmware.size(), 2);
        QCOMPARE(listed.size(), 2);
        QCOMPARE(firmware[0].first().toString(), QStringLiteral("/data/pelto-1.5.0.fwb"));
        QCOMPARE(firmware[1].first().toString(), QStringLiteral("/data/esp-2.2.0.feb"));

        QSignalSpy routed(services[1], SIGNAL(AppBinManagerUriReceived(QString, QString, QString,
                                                                       QString, int32_t)));
        app.uriReceived(QUrl(QStringLiteral("nimbrel:upload_app?file=/x.elf")));
        QCOMPARE(routed.size(), 1);
        QCOMPARE(listed.size(), 3);
    }

    // Progress links of MATLAB's toolchain functions reach the release's row of the list.
    void toolchainLinks()
    {
        const QString roots = QDir(qEnvironmentVariable("NIMBREL_TEST_ROOT")).filePath("matlab");
        QVERIFY(QDir().mkpath(roots + "/R2021a/bin"));
        QFile launcher(roots + "/R2021a/bin/matlab");
        QVERIFY(launcher.open(QIODevice::WriteOnly));
        launcher.close();
        qputenv("NIMBREL_MATLAB_ROOTS", roots.toUtf8());
        main_Application app(nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        qunsetenv("NIMBREL_MATLAB_ROOTS");
        auto *list = qobject_cast<ToolchainHandlerGUI *>(
            app.engine().rootContext()->contextProperty(QStringLiteral("toolchainInstall"))
                .value<QObject *>());
        QVERIFY(list);
        QCOMPARE(list->parent(), &app);
        QCOMPARE(list->installedMatlabs().size(), 1);
        InstalledMatlabEntry *row = list->installedMatlabs().first();
        app.uriReceived(QUrl(QStringLiteral(
            "nimbrel:install_tc?version=9.10&progress=40&flags=0&msg=Copying%20files")));
        // Queued: nothing has arrived yet.
        QCOMPARE(row->readableMsg(), QString());
        QTRY_COMPARE(row->readableMsg(), QStringLiteral("Copying files"));
        app.uriReceived(
            QUrl(QStringLiteral("nimbrel:uninstall_tc?version=9.10&progress=100&flags=1")));
        QTRY_VERIFY(row->errorHappened());
        QCOMPARE(row->readableMsg(), QString());
    }

    // The device factory looks for USB devices from the start; the program still shuts down at
    // once, whether discovery is waiting for its first pass or has walked the bus already.
    void shutsDownAtOnceWithTheDeviceFactory_data()
    {
        QTest::addColumn<int>("passes");
        QTest::newRow("before the first pass") << 0;
        QTest::newRow("after two passes") << 2;
    }
    void shutsDownAtOnceWithTheDeviceFactory()
    {
        QFETCH(int, passes);
        auto app = std::make_unique<main_Application>(
            nullptr, qApp, writeQml(QStringLiteral("probe.qml"), probeQml));
        auto *factory = app->findChild<OrvFactory *>(QString(), Qt::FindDirectChildrenOnly);
        QVERIFY(factory);
        QVERIFY2(factory->isUsbAvailable(), "libusb could not be initialised");
        QVERIFY(waitFor([&] { return factory->usbDiscoveryPasses() >= passes; }, 3000 + passes * 1000));
        QCOMPARE(factory->usbDeviceCount(), 0);
        QVERIFY(!factory->isUsbEventThreadRunning());
        QPointer<OrvFactory> watched(factory);
        QElapsedTimer clock;
        clock.start();
        app.reset();
        QVERIFY(!watched);
        QVERIFY2(clock.elapsed() < scaled(1000), qPrintable(QString::number(clock.elapsed())));
    }

    void brokenMainWindowIsReported()
    {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(".*broken.qml.*")));
        main_Application app(nullptr, qApp,
                             writeQml(QStringLiteral("broken.qml"), "import QtQml\nNoSuchType {}\n"));
        QVERIFY(!app.isMainWindowLoaded());
    }
};

QTEST_MAIN(TestMainApplication)
#include "tst_mainApplication.moc"
