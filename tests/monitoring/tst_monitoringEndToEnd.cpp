// The monitor of a Pelto against the simulated Pelto over Wi-Fi: the device's monitoring service
// opens, the model downloads over channel 2, samples arrive as datagrams on channel 3, and the
// slots plotted for one build come back with the next connection to the same build only.
#include "../device/PeltoSimProcess.h"
#include "../device/WifiPeltoHost.h"
#include "ActiveScalar.h"
#include "ExternalMonitor.h"
#include "Interface.h"
#include "Pelto.h"
#include "SimulinkParameter.h"
#include "SimulinkSignal.h"
#include "TestSupport.h"
#include "WifiDatalink.h"
#include "plotContainer.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <cmath>
#include <memory>

using namespace nimbrel::test;
using namespace SimulinkDataTypes;

namespace {

const QByteArray BuildA = "5ea1ed0b1d00000000000000000000aa";
const QByteArray BuildB = "5ea1ed0b1d00000000000000000000bb";
const char *const Group = "Monitoring_Signal_Selections";

struct Host : WifiPeltoHost
{
    using WifiPeltoHost::WifiPeltoHost;

    ExternalMonitor *openMonitoring()
    {
        QSignalSpy opened(pelto.get(), &Pelto::MonitoringOpenedClosed);
        pelto->startMonitoring();
        if (!opened.wait(scaled(10000)))
            return nullptr;
        return qobject_cast<ExternalMonitor *>(opened.last().at(0).value<PeltoMonitor *>());
    }
};

QStringList modelArguments(const QByteArray &build, const QStringList &more = {})
{
    return QStringList{ QStringLiteral("--monitor-model"),
                        sourceDir()
                            + QStringLiteral("/tools/pelto-sim/models/monitored_model.json"),
                        QStringLiteral("--state"),
                        QStringLiteral("build_id=") + QString::fromLatin1(build) }
    + more;
}

// Channel-2 commands the simulator received, in order.
QList<int> controlCommands(PeltoSimProcess &sim)
{
    QList<int> commands;
    for (const QJsonValue &frame : sim.frames(2)) {
        const QByteArray payload = QByteArray::fromHex(
            frame.toObject().value(QStringLiteral("payload")).toString().toLatin1());
        commands << (payload.size() >= 2 ? int(int16_t(uchar(payload[0]) | uchar(payload[1]) << 8))
                                         : -1);
    }
    return commands;
}

template<typename W> W *variable(ExternalMonitor *monitor, const QString &path)
{
    for (SimulinkVariable *v : monitor->simulinkVariables()) {
        if (v->getPath() == path)
            return qobject_cast<W *>(v);
    }
    return nullptr;
}

bool simSwitch(PeltoSimProcess &sim, const QString &name, bool on)
{
    return sim
        .command(QStringLiteral("set_fault"),
                 { { QStringLiteral("name"), name }, { QStringLiteral("on"), on } })
        .value(QStringLiteral("ok"))
        .toBool();
}

// The samples of the sine at 500 per second: sample n of the stream lies n * 2 ms behind the
// first and holds sin(0.1 n), exactly. Datagrams that overtake the start's acknowledgement are not
// read, so the plot may begin at some n0 > 0; n0 is found from the first value.
void checkSineSamples(const ActiveScalar &buffer, size_t atLeast)
{
    const monitoring::ScalarBuffer &s = buffer.samples();
    QVERIFY(s.rawCount() >= atLeast);
    const quint64 first = s.rawAt(0).time;
    QVERIFY(first >= 1000000000ull);
    QCOMPARE(first % 2000000ull, 0ull);
    int n0 = 0;
    while (n0 < 5000 && std::sin(double(n0) * 0.1) != s.rawAt(0).value)
        ++n0;
    QVERIFY2(n0 < 5000, "the first value is no sample of the sine");
    for (size_t k = 0; k < s.rawCount(); ++k) {
        QCOMPARE(s.rawAt(k).time, first + k * 2000000ull);
        QCOMPARE(s.rawAt(k).value, std::sin(double(n0 + int(k)) * 0.1));
    }
}

} // namespace

class tst_MonitoringEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { ExternalMonitor::install(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void overWifi();
    void controlFaults_data();
    void controlFaults();
    void streamFaults();
};

void tst_MonitoringEndToEnd::overWifi()
{
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start(modelArguments(BuildA)));
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QPointer<ExternalMonitor> monitor = host.openMonitoring();
        QVERIFY(monitor);
        QVERIFY(waitFor([&] { return monitor->currentBuildID() == QByteArray::fromHex(BuildA); },
                        5000));
        QCOMPARE(host.pelto->externalMonitor(), monitor.data());
        QVERIFY(host.pelto->isMonitoringServiceRunning());
        QVERIFY(
            waitFor([&] { return monitor->interface()->state() == 15 && monitor->isInitialized(); },
                    20000));
        QStringList paths;
        for (SimulinkVariable *v : monitor->simulinkVariables())
            paths << v->getPath();
        QCOMPARE(paths.size(), 35);
        for (const char *p :
             { "root/Ctrl/Fix64/2", "root/Ctrl/Enum/3", "root/Ctrl/Cplx/1",
               "root/Ctrl/Bus/1/inner/y", "root/Ctrl/a//b/1", "root/Ctrl/RefModel/Inner/Sum/1",
               "root/Kc", "root/Ctrl/Integrator/x", "root/InBus/2/y", "root/Out1/1" })
            QVERIFY2(paths.contains(QLatin1String(p)), p);

        // 13 is answered, the device's 14 names the element, and the raw values are asked for
        // again.
        auto *gain = variable<SimulinkParameter>(monitor, QStringLiteral("root/Ctrl/Gain/Gain"));
        QVERIFY(gain);
        const qsizetype before = controlCommands(sim).size();
        gain->setValue("0", 7.25);
        QVERIFY(waitFor([&] { return controlCommands(sim).size() >= before + 2; }, 5000));
        QCOMPARE(controlCommands(sim).mid(before), (QList<int>{ 13, 11 }));
        QVERIFY(waitFor([&] { return gain->isSynced() && gain->currentValue() == 7.25; }, 5000));
        const QByteArray refresh = QByteArray::fromHex(
            sim.frames(2).last().toObject().value(QStringLiteral("payload")).toString().toLatin1());
        QCOMPARE(refresh.toHex(), QByteArray("0b0006000002"));

        // Element 3 of the sine vector, plotted in slot 0 of the first container.
        plotContainer *container = monitor->plotContainers().value(0);
        QVERIFY(container);
        auto *vec = monitor->signalFromPath(QStringLiteral("root/Ctrl/Mux/1"));
        QVERIFY(vec);
        container->addSignal(vec, QPoint(0, 2), 0);
        QVERIFY(container->slotBuffer(0));
        QCOMPARE(container->slotBuffer(0)->getElementOffset(), 16);
        QVERIFY(
            waitFor([&] { return container->slotBuffer(0)->samples().rawCount() >= 100; }, 10000));
        checkSineSamples(*container->slotBuffer(0), 100);
        if (QTest::currentTestFailed())
            return;

        // What the plot page keeps of its slots for the next connection.
        QSettings settings;
        settings.beginGroup(Group);
        QCOMPARE(settings.value("lastMonitoredBuildID").toByteArray(), QByteArray::fromHex(BuildA));
        settings.setValue("SigPath0-0", QStringLiteral("root/Ctrl/Mux/1"));
        settings.setValue("ElementIndex0-0", QPoint(0, 2));
        settings.endGroup();
        settings.sync();

        QSignalSpy closed(host.pelto.get(), &Pelto::MonitoringOpenedClosed);
        host.pelto->openCloseMonitoring(false);
        QVERIFY(closed.wait(scaled(10000)));
        QCOMPARE(closed.last().at(0).value<PeltoMonitor *>(), nullptr);
        QVERIFY(waitFor([&] { return monitor.isNull(); }, 5000));
        QVERIFY(waitFor(
            [&] {
                return sim.command(QStringLiteral("status"))
                    .value(QStringLiteral("monitor"))
                    .toObject()
                    .value(QStringLiteral("streams"))
                    .toArray()
                    .isEmpty();
            },
            5000));
    }
    for (const QByteArray &build : { BuildA, BuildB }) {
        PeltoSimProcess sim;
        QVERIFY(sim.start(modelArguments(build)));
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QPointer<ExternalMonitor> monitor = host.openMonitoring();
        QVERIFY(monitor);
        QVERIFY(
            waitFor([&] { return monitor->currentBuildID() == QByteArray::fromHex(build); }, 5000));
        QVERIFY(waitFor([&] { return monitor->isInitialized(); }, 20000));
        plotContainer *container = monitor->plotContainers().value(0);
        QVERIFY(container);
        QSettings settings;
        settings.beginGroup(Group);
        if (build == BuildA) {
            QVERIFY(container->slotSignal(0));
            QCOMPARE(container->slotSignal(0)->getPath(), QStringLiteral("root/Ctrl/Mux/1"));
            QVERIFY(waitFor([&] { return container->slotBuffer(0)->samples().rawCount() >= 50; },
                            10000));
            checkSineSamples(*container->slotBuffer(0), 50);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(settings.value("SigPath0-0").toString(), QStringLiteral("root/Ctrl/Mux/1"));
        } else {
            QVERIFY(!container->slotSignal(0));
            QCOMPARE(settings.childKeys(), QStringList{ "lastMonitoredBuildID" });
            QCOMPARE(settings.value("lastMonitoredBuildID").toByteArray(),
                     QByteArray::fromHex(build));
            QCOMPARE(monitor->interface()->streamingActivationCount(), 0u);
        }
    }
}

void tst_MonitoringEndToEnd::controlFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("log");
    QTest::addColumn<int>("state");
    QTest::newRow("rejected status")
        << "mon_reject"
        << "Communication error Monitor Control cmd:\\s+1\\s+error\\s+1" << 0;
    QTest::newRow("length below 5") << "mon_short_length"
                                    << "frame length 3 shorter than its header" << 0;
    // The download waits for the reply that never comes until the service opens again.
    QTest::newRow("missing reply") << "mon_missing_reply" << QString() << 14;
    QTest::newRow("two frames in one packet") << "mon_two_frames"
                                              << "Unexpected strings received" << 15;
}

// Each switch is survived with its log line; once it is off, opening the service again downloads
// the whole model.
void tst_MonitoringEndToEnd::controlFaults()
{
    QFETCH(QString, fault);
    QFETCH(QString, log);
    QFETCH(int, state);
    PeltoSimProcess sim;
    QVERIFY(sim.start(modelArguments(BuildA, { QStringLiteral("--fault"), fault })));
    Host host(sim);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    if (!log.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
    QPointer<ExternalMonitor> monitor = host.openMonitoring();
    QVERIFY(monitor);
    QSignalSpy initialized(monitor->interface(), &monitoring::Interface::initializedChanged);
    if (state == 0)
        QVERIFY(initialized.wait(scaled(10000)));
    else
        QVERIFY(waitFor([&] { return monitor->interface()->state() == state; }, 10000));
    QCOMPARE(monitor->interface()->state(), state);
    if (state != 0 && state != 15)
        QVERIFY(!initialized.wait(scaled(1000)));

    QVERIFY(simSwitch(sim, fault, false));
    QCOMPARE(host.openMonitoring(), monitor.data());
    QVERIFY(waitFor([&] { return monitor->interface()->state() == 15; }, 10000));
}

// Dropped and time-reversed sample datagrams on the real link: the plot keeps rising times and
// the stream goes on once the switch is off.
void tst_MonitoringEndToEnd::streamFaults()
{
    PeltoSimProcess sim;
    QVERIFY(sim.start(modelArguments(BuildA)));
    Host host(sim);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QPointer<ExternalMonitor> monitor = host.openMonitoring();
    QVERIFY(monitor);
    QVERIFY(waitFor([&] { return monitor->isInitialized(); }, 20000));
    plotContainer *container = monitor->plotContainers().value(0);
    container->addSignal(monitor->signalFromPath(QStringLiteral("root/Ctrl/Gain/1")), QPoint(0, 0),
                         0);
    ActiveScalar *buffer = container->slotBuffer(0);
    QVERIFY(buffer);
    QVERIFY(waitFor([&] { return buffer->samples().rawCount() >= 50; }, 10000));
    for (const QString &fault : { QStringLiteral("mon_drop"), QStringLiteral("mon_time_backwards"),
                                  QStringLiteral("mon_short_packet") }) {
        const quint64 samplesBefore = sim.command(QStringLiteral("status"))
                                          .value(QStringLiteral("monitor"))
                                          .toObject()
                                          .value(QStringLiteral("samples"))
                                          .toInteger();
        QVERIFY(simSwitch(sim, fault, true));
        // The premise: the device went on sampling while the switch was on.
        QVERIFY(waitFor(
            [&] {
                return sim.command(QStringLiteral("status"))
                           .value(QStringLiteral("monitor"))
                           .toObject()
                           .value(QStringLiteral("samples"))
                           .toInteger()
                    >= qint64(samplesBefore) + 200;
            },
            10000));
        QVERIFY(simSwitch(sim, fault, false));
        const size_t after = buffer->samples().rawCount();
        QVERIFY2(waitFor([&] { return buffer->samples().rawCount() >= after + 50; }, 10000),
                 qPrintable(fault));
        const monitoring::ScalarBuffer &s = buffer->samples();
        for (size_t k = 1; k < s.rawCount(); ++k)
            QVERIFY2(s.rawAt(k).time > s.rawAt(k - 1).time, qPrintable(fault));
    }
}

QTEST_MAIN(tst_MonitoringEndToEnd)
#include "tst_monitoringEndToEnd.moc"
