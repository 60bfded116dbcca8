// The external monitor: the signal memory of the same build (read back with Python's
// configparser), plot containers over a model from the simulated Pelto, and the Pelto's monitor
// through the factory the monitoring library installs.
#include "ActiveScalar.h"
#include "ExternalMonitor.h"
#include "Interface.h"
#include "OrvDevice.h"
#include "Pelto.h"
#include "SimModelPeer.h"
#include "SimulinkParameter.h"
#include "plotContainer.h"

#include <QLoggingCategory>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

using namespace monitoring;

namespace {

const char *const Group = "Monitoring_Signal_Selections";

QString iniPath()
{
    return nimbrel::test::testRoot() + "/selections.ini";
}

// The group as Python's configparser reads the INI file: "key=value" lines, sorted.
QStringList readWithConfigParser()
{
    const auto run
        = nimbrel::test::runPython("import configparser,sys\n"
                                   "c=configparser.ConfigParser(interpolation=None)\n"
                                   "c.optionxform=str\n"
                                   "c.read(sys.argv[1])\n"
                                   "s=c['Monitoring_Signal_Selections'] if "
                                   "c.has_section('Monitoring_Signal_Selections') else {}\n"
                                   "print('\\n'.join(sorted(k+'='+v for k,v in s.items())))\n",
                                   { iniPath() });
    return QString::fromUtf8(run.out).split('\n', Qt::SkipEmptyParts);
}

void store(QSettings &s, const QByteArray &build, const QList<QPair<QString, QVariant>> &entries)
{
    s.beginGroup(Group);
    if (!build.isNull())
        s.setValue("lastMonitoredBuildID", build);
    for (const auto &e : entries)
        s.setValue(e.first, e.second);
    s.endGroup();
    s.sync();
}

} // namespace

class tst_ExternalMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init() { QFile::remove(iniPath()); }
    void registersItsTypes();
    void firstStartWritesTheBuild();
    void resetLineShowsTheBuildReadably_data();
    void resetLineShowsTheBuildReadably();
    void sameBuildRestoresSlots();
    void otherBuildWipesTheGroup();
    void emptyBuildIdWritesNothing();
    void resetDropsTheContainers();
    void changeVisibleType();
    void peltoMakesItsMonitor();
};

// Queued signals and QML find the monitoring types by these names once a monitor exists; Qt
// normalizes the blank in front of the parameter map's name away.
void tst_ExternalMonitor::registersItsTypes()
{
    using namespace SimulinkDataTypes;
    const QList<QPair<QByteArray, QMetaType>> names = {
        { "SimulinkSignalMap", QMetaType::fromType<QMap<quint16, SimulinkSignal *>>() },
        { "SimulinkParameterMap", QMetaType::fromType<QMap<quint16, SimulinkParameter *>>() },
        { "QVector<SimulinkDataTypes::SimulinkParameter *>",
          QMetaType::fromType<QVector<SimulinkParameter *>>() },
        { "QVector<SimulinkDataTypes::SimulinkSignalSet>",
          QMetaType::fromType<QVector<SimulinkSignalSet>>() },
        { "VariableType", QMetaType::fromType<VariableType>() },
    };
    for (const auto &n : names)
        QVERIFY2(!QMetaType::fromName(n.first).isValid(), n.first); // nothing made them known yet
    QSettings settings(iniPath(), QSettings::IniFormat);
    ExternalMonitor monitor(nullptr, nullptr, "build-7", &settings);
    for (const auto &n : names) {
        QCOMPARE(QMetaType::fromName(n.first), n.second);
        QCOMPARE(QMetaType::fromName(QMetaObject::normalizedType(n.first.constData())), n.second);
    }
    QCOMPARE(sizeof(SimulinkSignalSet), size_t(16));
}

void tst_ExternalMonitor::firstStartWritesTheBuild()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    ExternalMonitor monitor(nullptr, nullptr, "build-7", &settings);
    SimModelPeer peer(monitor.interface());
    QSignalSpy containers(&monitor, &ExternalMonitor::plotContainersChanged);
    monitor.start();
    peer.pump();
    QVERIFY(monitor.isInitialized());
    QCOMPARE(monitor.plotContainers().size(), 4);
    QCOMPARE(containers.size(), 2);
    settings.sync();
    QCOMPARE(readWithConfigParser(), QStringList{ "lastMonitoredBuildID=@ByteArray(build-7)" });
    for (plotContainer *c : monitor.plotContainers())
        QVERIFY(!c->slotBuffer(0) && !c->slotBuffer(1));
}

// A build id is raw bytes from the device: the log line shows them as hexadecimal digits, not as
// escaped bytes.
void tst_ExternalMonitor::resetLineShowsTheBuildReadably_data()
{
    QTest::addColumn<QByteArray>("build");
    QTest::addColumn<QString>("line");
    QTest::newRow("raw bytes") << QByteArray::fromHex("00017f80feff0a1b")
                               << "reset last monitored buildID 00017f80feff0a1b";
    QTest::newRow("32 bytes") << QByteArray(32, char(0xab))
                              << "reset last monitored buildID " + QString("ab").repeated(32);
    QTest::newRow("text") << QByteArray("build-7") << "reset last monitored buildID 6275696c642d37";
}

void tst_ExternalMonitor::resetLineShowsTheBuildReadably()
{
    QFETCH(QByteArray, build);
    QFETCH(QString, line);
    QSettings settings(iniPath(), QSettings::IniFormat);
    ExternalMonitor monitor(nullptr, nullptr, build, &settings);
    QLoggingCategory::setFilterRules(QStringLiteral("Monitoring.ExternalMonitor.debug=true"));
    QTest::ignoreMessage(QtDebugMsg, "clearing stored signal selection");
    QTest::ignoreMessage(QtDebugMsg, qPrintable(line));
    monitor.restoreFromSettings();
    QLoggingCategory::setFilterRules(QString());
}

void tst_ExternalMonitor::sameBuildRestoresSlots()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    store(settings, "build-7",
          { { "SigPath2-1", "root/Ctrl/Mux/1" },
            { "ElementIndex2-1", QPoint(0, 2) },
            { "SigName2-1", QString::fromUtf8("vec[1\u20223]") },
            { "SigPath0-0", "" },
            { "SigPath3-3", "root/No/Such/1" },
            { "SigPath1-0", "root/Ctrl/Gain/Gain" } }); // a parameter: not a signal
    ExternalMonitor monitor(nullptr, nullptr, "build-7", &settings);
    SimModelPeer peer(monitor.interface());
    // Started twice, as the device does when its service reopens: one restore per slot.
    QTest::failOnWarning(QRegularExpression("Tried to disable"));
    monitor.start();
    monitor.start();
    peer.outgoing.removeLast(); // the second download's info request
    peer.pump();
    peer.pump();
    const auto containers = monitor.plotContainers();
    QCOMPARE(containers.size(), 4);
    QVERIFY(containers[2]->slotSignal(1));
    QCOMPARE(containers[2]->slotSignal(1)->getPath(), QString("root/Ctrl/Mux/1"));
    QCOMPARE(containers[2]->slotBuffer(1)->getElementOffset(), 16);
    int filled = 0;
    for (plotContainer *c : containers)
        for (int s = 0; s < 4; ++s)
            filled += c->slotBuffer(s) ? 1 : 0;
    QCOMPARE(filled, 1);
    QVERIFY(monitor.interface()->streamingActivationCount() == 1);
    settings.sync();
    QVERIFY(readWithConfigParser().contains("SigPath2-1=root/Ctrl/Mux/1"));
}

void tst_ExternalMonitor::otherBuildWipesTheGroup()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    store(settings, "build-7",
          { { "SigPath2-1", "root/Ctrl/Mux/1" },
            { "ElementIndex2-1", QPoint(0, 2) },
            { "SigName2-1", "vec" } });
    ExternalMonitor monitor(nullptr, nullptr, "build-8", &settings);
    SimModelPeer peer(monitor.interface());
    monitor.start();
    peer.pump();
    QVERIFY(!monitor.plotContainers()[2]->slotBuffer(1));
    settings.sync();
    QCOMPARE(readWithConfigParser(), QStringList{ "lastMonitoredBuildID=@ByteArray(build-8)" });
}

void tst_ExternalMonitor::emptyBuildIdWritesNothing()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    store(settings, "build-7", { { "SigPath0-0", "root/Ctrl/Gain/1" } });
    ExternalMonitor monitor(nullptr, nullptr, {}, &settings);
    QSignalSpy build(&monitor, &ExternalMonitor::buildIDChanged);
    monitor.setCurrentBuildID({});
    monitor.setCurrentBuildID({});
    QCOMPARE(build.size(), 2);
    monitor.restoreFromSettings();
    settings.sync();
    QVERIFY(readWithConfigParser().isEmpty());
}

void tst_ExternalMonitor::resetDropsTheContainers()
{
    QSettings settings(iniPath(), QSettings::IniFormat);
    ExternalMonitor monitor(nullptr, nullptr, "b", &settings);
    SimModelPeer peer(monitor.interface());
    monitor.start();
    peer.pump();
    QList<QPointer<plotContainer>> old;
    for (plotContainer *c : monitor.plotContainers())
        old << c;
    auto *speed = monitor.signalFromPath(QString("root/Ctrl/Gain/1"));
    QVERIFY(speed);
    old[0]->addSignal(speed, QPoint(0, 0), 0);
    peer.pump();
    QSignalSpy changed(&monitor, &ExternalMonitor::plotContainersChanged);
    monitor.reset();
    QCOMPARE(changed.size(), 1);
    QVERIFY(monitor.plotContainers().isEmpty());
    // Each held its whole plotted history: gone, not merely unlisted.
    QTRY_VERIFY(std::all_of(old.begin(), old.end(), [](const auto &c) { return c.isNull(); }));
    // A new model brings four new containers.
    monitor.start();
    peer.pump();
    QCOMPARE(monitor.plotContainers().size(), 4);
}

void tst_ExternalMonitor::changeVisibleType()
{
    ExternalMonitor monitor(nullptr, nullptr);
    SimModelPeer peer(monitor.interface());
    monitor.start();
    peer.pump();
    auto *proxy = monitor.filteredModel();
    proxy->setFilterType(SimulinkVariableFilterProxyModel::AllSignals);
    const QList<QPair<uint, int>> cases = { { 0, 29 }, { 1, 2 }, { 2, 3 }, { 7, 29 } };
    for (const auto &c : cases) {
        monitor.changeVisibleType(c.first);
        QCOMPARE(proxy->rowCount(), c.second);
    }
}

void tst_ExternalMonitor::peltoMakesItsMonitor()
{
    ExternalMonitor::install();
    OrvDevice device(static_cast<QObject *>(nullptr));
    device.setProperty("isConnected", true);
    Pelto pelto(&device);
    QCOMPARE(pelto.externalMonitor(), nullptr);
    QSignalSpy opened(&pelto, &Pelto::MonitoringOpenedClosed);
    QSignalSpy running(&pelto, &Pelto::monitoringServiceRunningChanged);
    pelto.handleMonitoringServiceOpenedClosed(ControlChannel::Answer, true);
    auto *monitor = qobject_cast<ExternalMonitor *>(pelto.externalMonitor());
    QVERIFY(monitor);
    QCOMPARE(monitor->parent(), &pelto);
    QCOMPARE(opened.size(), 1);
    QCOMPARE(opened[0][0].value<PeltoMonitor *>(), monitor);
    QVERIFY(pelto.isMonitoringServiceRunning());
    QCOMPARE(running.size(), 1);
    emit pelto.BuildIDChanged("abc");
    QCOMPARE(monitor->currentBuildID(), QByteArray("abc"));
    QCOMPARE(pelto.property("externalMonitor").value<QObject *>(), monitor);

    // Opened again: the same monitor starts again.
    pelto.handleMonitoringServiceOpenedClosed(ControlChannel::Answer, true);
    QCOMPARE(pelto.externalMonitor(), monitor);
    QPointer<ExternalMonitor> held(monitor);
    pelto.handleMonitoringServiceOpenedClosed(ControlChannel::Answer, false);
    QCOMPARE(pelto.externalMonitor(), nullptr);
    QVERIFY(!pelto.isMonitoringServiceRunning());
    QTRY_VERIFY(!held);

    // A lost link resets and forgets it without a signal.
    pelto.handleMonitoringServiceOpenedClosed(ControlChannel::Answer, true);
    held = qobject_cast<ExternalMonitor *>(pelto.externalMonitor());
    QVERIFY(held);
    const int signalsBefore = int(opened.size());
    pelto.setProperty("isConnected", false);
    QCOMPARE(pelto.externalMonitor(), nullptr);
    QCOMPARE(int(opened.size()), signalsBefore);
    QTRY_VERIFY(!held);
    Pelto::setMonitorFactory({});
}

QTEST_MAIN(tst_ExternalMonitor)
#include "tst_externalMonitor.moc"
