// Channel-3 sample packets and the subscription protocol of streamable nodes: requests sent,
// acknowledgements, record kinds and the samples each handle receives.
#include "CodecTables.h"
#include "DataChannel.h"
#include "RecordingOwner.h"
#include "StreamableNode.h"
#include "StructElementNode.h"

#include <QTest>
#include <QtEndian>

using namespace monitoring;

namespace {

// A sample packet: i16 command, u16 length, i64 base time, then the records as given.
QByteArray packet(qint64 baseTime, const QByteArray &records, int command = 1,
                  int lengthOverride = -1)
{
    QByteArray p(12, '\0');
    qToLittleEndian<qint16>(qint16(command), p.data());
    qToLittleEndian<quint16>(quint16(lengthOverride >= 0 ? lengthOverride : 12 + records.size()),
                             p.data() + 2);
    qToLittleEndian<qint64>(baseTime, p.data() + 4);
    return p + records;
}

// node index, time offset, [data offset], value bytes
QByteArray record(quint16 node, qint32 timeOffset, int dataOffset, const QByteArray &value)
{
    QByteArray r(6, '\0');
    qToLittleEndian<quint16>(node, r.data());
    qToLittleEndian<qint32>(timeOffset, r.data() + 2);
    if (dataOffset >= 0) {
        QByteArray o(2, '\0');
        qToLittleEndian<quint16>(quint16(dataOffset), o.data());
        r += o;
    }
    return r + value;
}

QByteArray dbl(double v)
{
    QByteArray b(8, '\0');
    qToLittleEndian<double>(v, b.data());
    return b;
}

struct Rig
{
    RecordingOwner owner;
    std::shared_ptr<IDataType> f64 = makeDataType(codecTables(0, 8), 0, 0);
    QStringList samples; // "handle:value@time"
    QStringList acks; // "handle:offset:rate"

    void watch(StreamableNode &n)
    {
        n.setValueCallback([this](int h, double v, uint64_t t) {
            samples << QStringLiteral("%1:%2@%3").arg(h).arg(v).arg(t);
        });
        n.setAcknowledgeCallback([this](int h, uint16_t o, int r) {
            acks << QStringLiteral("%1:%2:%3").arg(h).arg(o).arg(r);
        });
    }
    void feed(const QByteArray &datagram)
    {
        owner.stream.receive(reinterpret_cast<const uint8_t *>(datagram.constData()),
                             size_t(datagram.size()), [](auto, auto, auto) {});
    }
};

} // namespace

class tst_SampleStream : public QObject
{
    Q_OBJECT

private slots:
    void twoHandlesShareOneRequest();
    void samplesReachTheHandlesOfTheirElement();
    void recordKinds();
    void unsubscribeStopsAfterAcknowledgement();
    void unsubscribeOfPendingStartStopsOnItsAcknowledgement();
    void subscribeBehindPendingStopStartsAgain();
    void acknowledgementWithoutRequest();
    void packets_data();
    void packets();
    void dataChannelTakesChannelThree();
};

void tst_SampleStream::twoHandlesShareOneRequest()
{
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 7, 2, rig.f64, Dimensions({ 1 }, 0), 100, "s",
                          "0");
    rig.watch(n);
    n.subscribe(1, 0, -1);
    n.subscribe(2, 0, 50);
    QCOMPARE(rig.owner.requests(), QStringList{ "100@0" });
    const auto &req = rig.owner.signalSets[0];
    QCOMPARE(int(req.nodeIndex), 7);
    QCOMPARE(int(req.modelRefIndex), 2);
    QCOMPARE(int(req.valueSize), 8);
    QCOMPARE(int(req.variableType), 1);
    QCOMPARE(rig.owner.activations, (QList<QPair<int, int>>{ { 7, 0 } }));
    n.onStreamAcknowledged(0);
    QCOMPARE(rig.acks, (QStringList{ "1:0:100", "2:0:50" }));
    rig.feed(packet(1000000000, record(7, -500, -1, dbl(2.5))));
    QCOMPARE(rig.samples.size(), 2);
    QVERIFY(rig.samples.contains("1:2.5@999999500"));
    QVERIFY(rig.samples.contains("2:2.5@999999500"));
}

void tst_SampleStream::samplesReachTheHandlesOfTheirElement()
{
    // Handles on three of the four elements of a vector, two of them on the same element, in an
    // order unlike that of their elements.
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 4, 0, rig.f64, Dimensions({ 4 }, 1), 10, "v",
                          "0");
    rig.watch(n);
    const QList<QPair<int, int>> handles{ { 5, 24 }, { 1, 8 }, { 3, 0 }, { 2, 8 } };
    for (const auto &[handle, offset] : handles) {
        n.subscribe(handle, uint16_t(offset), 10);
        n.onStreamAcknowledged(uint16_t(offset));
    }
    auto feed = [&](bool last) {
        rig.samples.clear();
        rig.feed(packet(0,
                        record(4, 1, 0, dbl(10)) + record(4, 2, 8, dbl(11))
                            + (last ? record(4, 4, 24, dbl(13)) : QByteArray())));
        rig.samples.sort();
        return rig.samples;
    };
    QCOMPARE(feed(true), (QStringList{ "1:11@2", "2:11@2", "3:10@1", "5:13@4" }));
    n.unsubscribe(5);
    n.onStreamAcknowledged(24);
    QCOMPARE(feed(false), (QStringList{ "1:11@2", "2:11@2", "3:10@1" }));
    n.subscribe(6, 24, 10);
    n.onStreamAcknowledged(24);
    QCOMPARE(feed(true), (QStringList{ "1:11@2", "2:11@2", "3:10@1", "6:13@4" }));
}

void tst_SampleStream::recordKinds()
{
    Rig rig;
    BasicStreamableNode scalar(3, 1, &rig.owner, nullptr, 1, 0, rig.f64, Dimensions({ 1 }, 0), 10,
                               "a", "0");
    BasicStreamableNode vec(3, 1, &rig.owner, nullptr, 2, 0, rig.f64, Dimensions({ 4 }, 1), 10, "b",
                            "0");
    StructNode bus(9, &rig.owner, nullptr, 3, 0, 0, Dimensions({ 1 }, 0), 10, "bus", "0");
    StructElementNode elem(&rig.owner, &bus, 3, 0, rig.f64, Dimensions({ 1 }, 0), 10, "e", "e", 4);
    for (StreamableNode *n : std::initializer_list<StreamableNode *>{ &scalar, &vec, &elem })
        rig.watch(*n);
    scalar.subscribe(1, 0, 10);
    vec.subscribe(1, 16, 10); // the third double
    elem.subscribe(1, 0, 10);
    QCOMPARE(rig.owner.requests(), (QStringList{ "10@0", "10@16", "10@4" }));
    QCOMPARE(int(rig.owner.stream.recordKind(1)), 1);
    QCOMPARE(int(rig.owner.stream.recordKind(2)), 2);
    QCOMPARE(int(rig.owner.stream.recordKind(3)), 2);
    scalar.onStreamAcknowledged(0);
    vec.onStreamAcknowledged(16);
    elem.onStreamAcknowledged(4);
    QCOMPARE(rig.acks, (QStringList{ "1:0:10", "1:16:10", "1:0:10" }));
    rig.feed(
        packet(100, record(1, 1, -1, dbl(1)) + record(2, 2, 16, dbl(2)) + record(3, 3, 4, dbl(3))));
    QCOMPARE(rig.samples, (QStringList{ "1:1@101", "1:2@102", "1:3@103" }));
}

void tst_SampleStream::unsubscribeStopsAfterAcknowledgement()
{
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    n.subscribe(1, 0, 10);
    n.onStreamAcknowledged(0);
    n.unsubscribe(1);
    QCOMPARE(rig.owner.requests(), (QStringList{ "10@0", "-1@0" }));
    // Samples still arriving before the stop is acknowledged are read and reach the handle until
    // the device confirms.
    rig.feed(packet(0, record(5, 1, -1, dbl(1)) + record(5, 2, -1, dbl(2))));
    QCOMPARE(rig.samples.size(), 2);
    n.onStreamAcknowledged(0);
    QCOMPARE(rig.acks, (QStringList{ "1:0:10", "1:0:-1" }));
    QCOMPARE(rig.owner.stream.subscriptionCount(), 0u);
    QCOMPARE(int(rig.owner.stream.recordKind(5)), 0);
    QVERIFY(rig.owner.activations.isEmpty());
    QVERIFY(!n.isActive(1));
}

void tst_SampleStream::unsubscribeOfPendingStartStopsOnItsAcknowledgement()
{
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    n.subscribe(1, 0, 10);
    n.unsubscribe(1);
    QCOMPARE(rig.owner.requests(), QStringList{ "10@0" });
    n.onStreamAcknowledged(0);
    // The device streams now; the stop goes out at once so nobody is left with a stream.
    QCOMPARE(rig.owner.requests(), (QStringList{ "10@0", "-1@0" }));
    n.onStreamAcknowledged(0);
    QVERIFY(!n.isActive(1));
    QCOMPARE(n.pendingCount(), 0u);
    QCOMPARE(rig.owner.stream.subscriptionCount(), 0u);
    QVERIFY(rig.owner.activations.isEmpty());
}

void tst_SampleStream::subscribeBehindPendingStopStartsAgain()
{
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    n.subscribe(1, 0, 10);
    n.onStreamAcknowledged(0);
    n.unsubscribe(1);
    n.subscribe(2, 0, 20);
    QCOMPARE(rig.owner.requests(), (QStringList{ "10@0", "-1@0" }));
    n.onStreamAcknowledged(0); // the stop
    QCOMPARE(rig.owner.requests(), (QStringList{ "10@0", "-1@0", "20@0" }));
    QVERIFY(!n.isActive(2));
    QCOMPARE(rig.owner.stream.subscriptionCount(), 1u);
    n.onStreamAcknowledged(0); // the new start
    QVERIFY(n.isActive(2));
    rig.feed(packet(0, record(5, 9, -1, dbl(4))));
    QCOMPARE(rig.samples, QStringList{ "2:4@9" });
    QCOMPARE(rig.acks, (QStringList{ "1:0:10", "1:0:-1", "2:0:20" }));
}

void tst_SampleStream::acknowledgementWithoutRequest()
{
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    QTest::ignoreMessage(QtWarningMsg,
                         "Received acknowledge for non pending streaming activation.");
    n.onStreamAcknowledged(0);
    QVERIFY(rig.acks.isEmpty());
}

void tst_SampleStream::packets_data()
{
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QStringList>("expected");
    using L = QList<QByteArray>;
    const QByteArray one = packet(1000, record(5, 1, -1, dbl(1.5)));
    QTest::newRow("one sample") << L{ one } << QStringList{ "1:1.5@1001" };
    QTest::newRow("time offset below base")
        << L{ packet(1000000000, record(5, -500, -1, dbl(2))) } << QStringList{ "1:2@999999500" };
    QTest::newRow("command 0") << L{ packet(0, record(5, 1, -1, dbl(1)), 0) } << QStringList{};
    QTest::newRow("header only") << L{ packet(5, {}) } << QStringList{};
    QTest::newRow("command 2") << L{ packet(0, record(5, 1, -1, dbl(1)), 2) } << QStringList{};
    // Nothing sizes the value of a record without subscription, so nothing behind it can be
    // trusted: its value bytes here read like a record of node 5 at time 7 and must stay unread.
    QTest::newRow("unsubscribed node stops the packet") << L{ packet(
        0,
        record(5, 1, -1, dbl(1)) + record(6, 2, -1, QByteArray::fromHex("0500070000000000"))
            + QByteArray(8, '\0')) } << QStringList{ "1:1@1" };
    QTest::newRow("ends inside a value")
        << L{ packet(0, record(5, 1, -1, dbl(1)) + record(5, 2, -1, dbl(2)).left(10)) }
        << QStringList{ "1:1@1" };
    // Datagrams stand alone; several packets in one are all read.
    QTest::newRow("two packets in one datagram")
        << L{ one + packet(2000, record(5, 2, -1, dbl(3))) }
        << QStringList{ "1:1.5@1001", "1:3@2002" };
    // A length that cannot hold the 12-byte header is refused before any field past it is read.
    QTest::newRow("length 8") << L{ packet(0, {}, 1, 8).left(8), one }
                              << QStringList{ "1:1.5@1001" };
    QTest::newRow("shorter than four bytes")
        << L{ one.left(3), one } << QStringList{ "1:1.5@1001" };
    // A packet cut short is lost; the next datagram starts afresh.
    QTest::newRow("length beyond the datagram")
        << L{ one.left(20), one } << QStringList{ "1:1.5@1001" };
    QTest::newRow("reordered") << L{ packet(2000, record(5, 0, -1, dbl(2))),
                                     packet(1000, record(5, 0, -1, dbl(1))) }
                               << QStringList{ "1:2@2000", "1:1@1000" };
}

void tst_SampleStream::packets()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QStringList, expected);
    Rig rig;
    BasicStreamableNode n(3, 1, &rig.owner, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    n.subscribe(1, 0, 10);
    n.onStreamAcknowledged(0);
    for (const QByteArray &d : datagrams)
        rig.feed(d);
    QCOMPARE(rig.samples, expected);
}

void tst_SampleStream::dataChannelTakesChannelThree()
{
    Rig rig;
    DataChannel channel(nullptr, nullptr);
    BasicStreamableNode n(3, 1, nullptr, nullptr, 5, 0, rig.f64, Dimensions({ 1 }, 0), 10, "s",
                          "0");
    rig.watch(n);
    channel.addSubscription(5, 0, 8, false, &n);
    // Without an owner the node only records its own state; activate it by hand.
    channel.dataReady(packet(0, record(5, 1, -1, dbl(1))));
    QVERIFY(rig.samples.isEmpty()); // no active handle yet
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("eMonitor: unsupported command received"));
    channel.dataReady(packet(0, {}, 7));
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression("eMonitor: Uncomplete package received."));
    channel.dataReady(packet(0, {}, 1, 6).left(6));
    QCOMPARE(channel.stream()->subscriptionCount(), 1u);
    channel.clearSubscriptions();
    QCOMPARE(channel.stream()->subscriptionCount(), 0u);
    QCOMPARE(int(channel.stream()->recordKind(5)), 0);
}

QTEST_GUILESS_MAIN(tst_SampleStream)
#include "tst_sampleStream.moc"
