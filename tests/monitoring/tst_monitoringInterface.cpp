// The model download, parameter writes and streaming against the simulated Pelto's monitored
// model (tools/pelto-sim, records packed with Python's struct), joined in-process.
#include "ActiveScalar.h"
#include "IModelNode.h"
#include "SimModelPeer.h"
#include "SimulinkParameter.h"
#include "SimulinkSignal.h"
#include "StructNode.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace monitoring;
using namespace SimulinkDataTypes;

namespace {

template<typename W> W *wrapper(const Interface &iface, const QString &path)
{
    for (SimulinkVariable *v : iface.simulinkVariables()) {
        if (v->getPath() == path)
            return qobject_cast<W *>(v);
    }
    return nullptr;
}

} // namespace

class tst_MonitoringInterface : public QObject
{
    Q_OBJECT

private slots:
    void downloadBuildsTheModel();
    void parameterRoundTrip();
    void vectorElementStreams();
    void controlFaults_data();
    void controlFaults();
    void streamFaults_data();
    void streamFaults();
    void clearModelLetsGoOfEverything();
    void invalidParentReference();
};

void tst_MonitoringInterface::downloadBuildsTheModel()
{
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    QVERIFY(peer.started);
    QSignalSpy built(&iface, &Interface::simulinkVariablesChanged);
    iface.startModelDownload();
    QVERIFY(peer.pump() >= 28);
    QCOMPARE(iface.state(), 15);
    QCOMPARE(built.size(), 1);

    const QStringList expected = {
        "root/Ctrl/Gain/1",
        "root/Ctrl/Mux/1",
        "root/Ctrl/Mat/1",
        "root/Ctrl/Fix/1",
        "root/Ctrl/Fix/2",
        "root/Ctrl/Fix/3",
        "root/Ctrl/Fix/4",
        "root/Ctrl/Fix64/1",
        "root/Ctrl/Fix64/2",
        "root/Ctrl/Enum/1",
        "root/Ctrl/Enum/2",
        "root/Ctrl/Enum/3",
        "root/Ctrl/Cplx/1",
        "root/Ctrl/Bus/1/a",
        "root/Ctrl/Bus/1/inner/x",
        "root/Ctrl/Bus/1/inner/y",
        "root/Ctrl/Bus/1/c",
        "root/Ctrl/a//b/1",
        "root/Ctrl/Flags/1",
        "root/Ctrl/RefModel/Inner/Sum/1",
        "root/Ctrl/Ints/1",
        "root/Ctrl/Ints/2",
        "root/Ctrl/Ints/3",
        "root/Ctrl/Ints/4",
        "root/Ctrl/Gain/Gain",
        "root/Ctrl/Table/Table",
        "root/Ctrl/Fix/Offset",
        "root/K",
        "root/Kc",
        "root/Ctrl/Integrator/x",
        "root/In1/1",
        "root/InBus/2/x",
        "root/InBus/2/y",
        "root/Out1/1",
        "root/nimbrelHighlightedItems/Probe/1",
    };
    QStringList paths;
    for (SimulinkVariable *v : iface.simulinkVariables())
        paths << v->getPath();
    for (const QString &p : expected)
        QVERIFY2(paths.contains(p), qPrintable(p + " missing from " + paths.join(", ")));
    QCOMPARE(paths.size(), expected.size());

    auto *port2 = wrapper<SimulinkSignal>(iface, "root/Ctrl/Fix/2");
    QCOMPARE(port2->getName(), QString("Port 2"));
    QVERIFY(port2->hasGeneratedName());
    QCOMPARE(wrapper<SimulinkSignal>(iface, "root/Ctrl/a//b/1")->getName(), QString("slashed"));
    QCOMPARE(wrapper<SimulinkSignal>(iface, "root/Ctrl/Mat/1")->getRows(), 2);
    QCOMPARE(wrapper<SimulinkSignal>(iface, "root/Ctrl/Mat/1")->getColumns(), 3);
    QCOMPARE(int(wrapper<SimulinkSignal>(iface, "root/InBus/2/x")->getVariableType()),
             int(StructElement));
    QCOMPARE(iface.nodeAt(61)->nodeType(), 10);
    QCOMPARE(iface.nodeAt(12)->nodeType(), 9);
    QCOMPARE(wrapper<SimulinkSignal>(iface, "root/Ctrl/Bus/1/c")->valueSize(), 4u);

    // Parameter values from the raw data, through each codec.
    QCOMPARE(wrapper<SimulinkParameter>(iface, "root/Ctrl/Gain/Gain")->currentValue(), 2.5);
    QCOMPARE(wrapper<SimulinkParameter>(iface, "root/Ctrl/Table/Table")->currentValue(), 1.0);
    QCOMPARE(wrapper<SimulinkParameter>(iface, "root/Ctrl/Fix/Offset")->currentValue(), 0.5);
    QCOMPARE(wrapper<SimulinkParameter>(iface, "root/K")->currentValue(), 10.0);
    QCOMPARE(wrapper<SimulinkParameter>(iface, "root/Kc")->currentValue(), std::sqrt(5.0));
}

void tst_MonitoringInterface::parameterRoundTrip()
{
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    iface.startModelDownload();
    peer.pump();
    QCOMPARE(iface.state(), 15);
    auto *gain = wrapper<SimulinkParameter>(iface, "root/Ctrl/Gain/Gain");
    QVERIFY(gain);
    QSignalSpy data(gain, &SimulinkParameter::currentDataChanged);
    gain->setValue("0", 7.25);
    QVERIFY(!gain->isSynced());
    // 13 answered, then 14 confirms the element and the raw data of kind 2 is asked for again.
    QCOMPARE(peer.outgoing.size(), 1);
    peer.command(peer.outgoing.takeFirst());
    QCOMPARE(peer.outgoing.size(), 1);
    QCOMPARE(peer.outgoing[0], QByteArray("req 0b0006000002"));
    peer.pump();
    QVERIFY(gain->isSynced());
    QCOMPARE(gain->currentValue(), 7.25);
    const QList<QByteArray> raw = peer.command("raw 30");
    QCOMPARE(raw.value(0).toHex(), QByteArray("0000000000001d40")); // struct.pack('<d', 7.25)
    QVERIFY(data.size() >= 2);

    // The complex model parameter gets both parts.
    auto *kc = wrapper<SimulinkParameter>(iface, "root/Kc");
    kc->setValue("0", 3.0, 4.0);
    peer.pump();
    QCOMPARE(kc->currentValue(), 5.0);
    QCOMPARE(peer.command("raw 41").value(0).toHex(),
             QByteArray("00000000000008400000000000001040"));
}

void tst_MonitoringInterface::vectorElementStreams()
{
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    iface.startModelDownload();
    peer.pump();
    auto *vec = wrapper<SimulinkSignal>(iface, "root/Ctrl/Mux/1");
    QVERIFY(vec);
    const auto offset = vec->elementOffset({ 0, 2 });
    QCOMPARE(offset, std::optional<uint16_t>(16));
    ActiveScalar buffer(nullptr, 16, vec->getODR(), 4000, { 1.0 });
    vec->addScalar(*offset, -1, &buffer);
    peer.pump();
    QCOMPARE(iface.streamingActivationCount(), 1u);
    peer.command("tick 10000000");
    // 500 samples per second for 10 ms, on the sim's clock that starts at 1 s.
    QCOMPARE(buffer.samples().rawCount(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        QCOMPARE(buffer.samples().rawAt(k).time, 1000000000ull + k * 2000000ull);
        QCOMPARE(buffer.samples().rawAt(k).value, std::sin(double(k) * 0.1));
    }
    vec->removeScalar(0);
    peer.pump();
    QCOMPARE(iface.streamingActivationCount(), 0u);
    peer.command("tick 10000000");
    QCOMPARE(buffer.samples().rawCount(), 5u);
}

void tst_MonitoringInterface::controlFaults_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("log");
    QTest::newRow("rejected status")
        << QByteArray("reject") << 0
        << "Communication error Monitor Control cmd:\\s+1\\s+error\\s+1";
    QTest::newRow("payload not a multiple")
        << QByteArray("bad_multiple") << 0
        << "Communication error Monitor Control cmd:\\s+5\\s+error\\s+0";
    QTest::newRow("length below 5")
        << QByteArray("short_length") << 0 << "frame length 3 shorter than its header";
    // A reply that never comes leaves the download waiting in its state: nothing gives it up or
    // asks again until the download is started anew.
    QTest::newRow("length beyond what was sent") << QByteArray("long_length") << 1 << QString();
    QTest::newRow("wrong table") << QByteArray("wrong_table") << 2 << "Unexpected strings received";
    QTest::newRow("missing reply") << QByteArray("missing_reply") << 14 << QString();
    QTest::newRow("two frames in one packet")
        << QByteArray("two_frames") << 15 << "Unexpected strings received";
}

void tst_MonitoringInterface::controlFaults()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, state);
    QFETCH(QString, log);
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    peer.command("fault " + fault);
    QSignalSpy initialized(&iface, &Interface::initializedChanged);
    if (!log.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(log));
    iface.startModelDownload();
    peer.pump();
    if (state == 0)
        QTRY_COMPARE_WITH_TIMEOUT(initialized.size(), 1, nimbrel::test::scaled(5000));
    else if (state != 15)
        QVERIFY(!initialized.wait(nimbrel::test::scaled(1000)));
    QCOMPARE(iface.state(), state);
    QCOMPARE(iface.rootNode() != nullptr, state == 15);
    // The download starts again and completes once the fault is gone.
    peer.command("fault " + fault + " off");
    iface.startModelDownload();
    peer.pump();
    QCOMPARE(iface.state(), 15);
}

void tst_MonitoringInterface::streamFaults_data()
{
    QTest::addColumn<QByteArray>("fault");
    QTest::addColumn<int>("samples"); // -1: not counted
    // 200 ms at 1 kHz: 200 records of 14 bytes in packets of 71, 71 and 58.
    QTest::newRow("packet shorter than 12 bytes") << QByteArray("short_packet") << 200;
    QTest::newRow("time going backwards") << QByteArray("time_backwards") << 0;
    QTest::newRow("dropped packet") << QByteArray("drop") << 129;
    // The late packet's times lie behind what the plot already holds.
    QTest::newRow("reordered packets") << QByteArray("reorder") << 129;
    // A record whose value size nobody knows makes the rest of its packet unreadable: its bytes
    // are read as further records. Only survival is asked for here.
    QTest::newRow("record for an unsubscribed node") << QByteArray("unsubscribed_record") << -1;
}

void tst_MonitoringInterface::streamFaults()
{
    QFETCH(QByteArray, fault);
    QFETCH(int, samples);
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    iface.startModelDownload();
    peer.pump();
    auto *speed = wrapper<SimulinkSignal>(iface, "root/Ctrl/Gain/1");
    ActiveScalar buffer(nullptr, 0, speed->getODR(), 4000, { 1.0 });
    speed->addScalar(0, -1, &buffer);
    peer.pump();
    peer.command("tick 20000000");
    QCOMPARE(buffer.samples().rawCount(), 20u);
    peer.command("fault " + fault);
    const QList<QByteArray> packets = peer.command("tick 200000000");
    QVERIFY(packets.size() >= 2);
    const int got = int(buffer.samples().rawCount()) - 20;
    if (samples < 0)
        return;
    QCOMPARE(got, samples);
    for (size_t k = 1; k < buffer.samples().rawCount(); ++k)
        QVERIFY(buffer.samples().rawAt(k).time > buffer.samples().rawAt(k - 1).time);
    // The stream goes on once the fault is gone.
    peer.command("fault " + fault + " off");
    const size_t before = buffer.samples().rawCount();
    peer.command("tick 10000000");
    QCOMPARE(buffer.samples().rawCount(), before + 10);
}

void tst_MonitoringInterface::clearModelLetsGoOfEverything()
{
    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface);
    iface.startModelDownload();
    peer.pump();
    auto *speed = wrapper<SimulinkSignal>(iface, "root/Ctrl/Gain/1");
    ActiveScalar buffer(nullptr, 0, speed->getODR(), 4000, { 1.0 });
    speed->addScalar(0, -1, &buffer);
    // The start is out; the model goes before its acknowledgement arrives.
    const QList<QByteArray> requests = peer.outgoing;
    peer.outgoing.clear();
    QPointer<SimulinkSignal> held(speed);
    iface.clearModel();
    QCOMPARE(iface.streamingActivationCount(), 0u);
    QCOMPARE(iface.dataChannel()->stream()->subscriptionCount(), 0u);
    QVERIFY(held); // deferred
    QCOMPARE(held->getName(), QString("speed"));
    // The late acknowledgement and late samples find nothing of the old tree.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("Received unexpected references handled callback"));
    for (const QByteArray &r : requests)
        peer.command(r);
    peer.command("tick 5000000");
    QCOMPARE(buffer.samples().rawCount(), 0u);
    QTRY_VERIFY(!held);
}

void tst_MonitoringInterface::invalidParentReference()
{
    QFile original(nimbrel::test::sourceDir() + "/tools/pelto-sim/models/monitored_model.json");
    QVERIFY(original.open(QIODevice::ReadOnly));
    QJsonObject model = QJsonDocument::fromJson(original.readAll()).object();
    QJsonArray refs = model["modelRefs"].toArray();
    QJsonObject ref = refs[1].toObject();
    ref["parentText"] = "zz"; // no hexadecimal number
    refs[1] = ref;
    model["modelRefs"] = refs;
    const QString path = nimbrel::test::testRoot() + "/bad_parent.json";
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(QJsonDocument(model).toJson());
    out.close();

    Interface iface(nullptr, nullptr);
    SimModelPeer peer(&iface, path);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Invalid parent model reference zz"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("Invalid model reference\\s+1\\s+for signal"));
    iface.startModelDownload();
    peer.pump();
    QCOMPARE(iface.state(), 15);
    QVERIFY(!wrapper<SimulinkSignal>(iface, "root/Ctrl/RefModel/Inner/Sum/1"));
    QVERIFY(wrapper<SimulinkSignal>(iface, "root/Ctrl/Gain/1"));
}

QTEST_GUILESS_MAIN(tst_MonitoringInterface)
#include "tst_monitoringInterface.moc"
