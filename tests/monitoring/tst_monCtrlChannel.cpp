// The monitoring control channel against hand-written frames, and its record layouts against
// records packed by Python's struct (pack_records.py).
#include "ControlChannelRecorder.h"
#include "ControlFrameReader.h"
#include "MonCtrlChannel.h"
#include "TestSupport.h"

#include "../device/ServiceTestRig.h"

#include <QSignalSpy>
#include <QTest>

using namespace monitoring;

namespace {

QByteArray records(int count, int size)
{
    QByteArray b;
    for (int i = 0; i < count * size; ++i)
        b.append(char(i * 7 + 1));
    return b;
}

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

} // namespace

class tst_MonCtrlChannel : public QObject
{
    Q_OBJECT

private slots:
    void replies_data();
    void replies();
    void recordLayouts();
    void requests_data();
    void requests();
    void framesAreCutIntoDevicePackets();
    void travelsThroughTheLinkManager();
};

void tst_MonCtrlChannel::replies_data()
{
    QTest::addColumn<QList<QByteArray>>("packets");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("warning"); // a regular expression; empty when none is expected

    using L = QList<QByteArray>;
    using S = QStringList;
    const QByteArray sig2 = controlFrame(5, 0, records(2, 24));
    const QByteArray type1 = controlFrame(18, 0, records(1, 16));

    QTest::newRow("signals, two records") << L{ sig2 } << S{ "signals 2" } << QString();
    QTest::newRow("signals, 50 bytes")
        << L{ controlFrame(5, 0, records(1, 50)) } << S{ "error 5 0" } << QString();
    QTest::newRow("signals, empty") << L{ controlFrame(5, 0, {}) } << S{ "signals 0" } << QString();
    QTest::newRow("signals, status 1")
        << L{ controlFrame(5, 1, records(1, 24)) } << S{ "error 5 1" } << QString();
    QTest::newRow("block params") << L{ controlFrame(6, 0, records(2, 20)) } << S{ "blockParams 2" }
                                  << QString();
    QTest::newRow("model params") << L{ controlFrame(7, 0, records(1, 20)) } << S{ "modelParams 1" }
                                  << QString();
    QTest::newRow("params, 24 bytes")
        << L{ controlFrame(7, 0, records(1, 24)) } << S{ "error 7 0" } << QString();
    QTest::newRow("states") << L{ controlFrame(8, 0, records(2, 26)) } << S{ "states 2" }
                            << QString();
    QTest::newRow("states, 27 bytes")
        << L{ controlFrame(8, 0, records(1, 27)) } << S{ "error 8 0" } << QString();
    QTest::newRow("inputs") << L{ controlFrame(9, 0, records(1, 24)) } << S{ "inputs 1" }
                            << QString();
    QTest::newRow("outputs") << L{ controlFrame(10, 0, records(3, 24)) } << S{ "outputs 3" }
                             << QString();
    QTest::newRow("active signals")
        << L{ controlFrame(17, 0, records(2, 16)) } << S{ "active 2" } << QString();
    QTest::newRow("data types") << L{ type1 } << S{ "types 1" } << QString();
    QTest::newRow("struct elements")
        << L{ controlFrame(19, 0, records(2, 16)) } << S{ "elements 2" } << QString();
    QTest::newRow("fixed point") << L{ controlFrame(20, 0, records(1, 24)) } << S{ "fxp 1" }
                                 << QString();
    QTest::newRow("fixed point, 25 bytes")
        << L{ controlFrame(20, 0, records(1, 25)) } << S{ "error 20 0" } << QString();

    QTest::newRow("set signal, 0xF9")
        << L{ controlFrame(15, 0xF9, records(2, 4)) } << S{ "handled 0 2" } << QString();
    QTest::newRow("set parameter")
        << L{ controlFrame(13, 0, records(1, 4)) } << S{ "handled 1 1" } << QString();
    QTest::newRow("streaming handled, 0xF9")
        << L{ controlFrame(16, 0xF9, records(1, 4)) } << S{ "handled 2 1" } << QString();
    QTest::newRow("set signal, status 1")
        << L{ controlFrame(15, 1, records(1, 4)) } << S{ "error 15 1" } << QString();
    QTest::newRow("set signal, 6 bytes")
        << L{ controlFrame(15, 0, records(1, 6)) } << S{ "error 15 0" } << QString();
    QTest::newRow("update parameters")
        << L{ controlFrame(14, 0, records(2, 4)) } << S{ "update 2" } << QString();
    QTest::newRow("update parameters, 0xF9")
        << L{ controlFrame(14, 0xF9, records(2, 4)) } << S{ "error 14 -7" } << QString();

    QTest::newRow("strings") << L{ controlFrame(12, 0, hex("03616263000064 65")) }
                             << S{ "strings 3 [abc|]" } << QString();
    QTest::newRow("strings, empty payload")
        << L{ controlFrame(12, 0, {}) } << S{ "strings 0 []" } << QString();
    QTest::newRow("strings, no NUL")
        << L{ controlFrame(12, 0, hex("04414243")) } << S{ "strings 4 []" } << QString();
    QTest::newRow("strings, status 2")
        << L{ controlFrame(12, 2, hex("0400")) } << S{ "error 12 2" } << QString();
    QTest::newRow("raw data, kind only")
        << L{ controlFrame(11, 0, hex("02")) } << S{ "raw 2 " } << QString();
    QTest::newRow("raw data") << L{ controlFrame(11, 0, hex("030102")) } << S{ "raw 3 0102" }
                              << QString();
    QTest::newRow("raw data, empty") << L{ controlFrame(11, 0, {}) } << S{ "error 11 0" }
                                     << QStringLiteral("^Invalid raw data packet$");

    QTest::newRow("info") << L{ controlFrame(1, 0, hex("0200000007000000")) } << S{ "info 2" }
                          << QString();
    QTest::newRow("info, version 3")
        << L{ controlFrame(1, 0, hex("0300000000000000")) } << S{ "error 1 0" }
        << QStringLiteral("^Unsupported monitoring version\\s+3$");
    QTest::newRow("info, 6 bytes")
        << L{ controlFrame(1, 0, hex("020000000000")) } << S{ "error 1 0" } << QString();
    QTest::newRow("info, status 3")
        << L{ controlFrame(1, 3, hex("0200000000000000")) } << S{ "error 1 3" } << QString();

    for (int cmd : { 0, 2, 3, 4, -1 })
        QTest::addRow("command %d", cmd) << L{ controlFrame(cmd, 0, {}) }
                                         << S{ QStringLiteral("error %1 0").arg(cmd) } << QString();
    QTest::newRow("command 21") << L{ controlFrame(21, 4, records(1, 4)) } << S{ "error 21 4" }
                                << QString();

    QTest::newRow("reassembled from three packets")
        << L{ sig2.left(5), sig2.mid(5, 1), sig2.mid(6) } << S{ "signals 2" } << QString();
    QTest::newRow("first packet shorter than a header")
        << L{ sig2.left(4), controlFrame(18, 0, records(1, 16)) } << S{ "types 1" }
        << QStringLiteral("^eMonitor: Incomplete packet received$");
    QTest::newRow("length beyond what was sent")
        << L{ controlFrame(5, 0, records(1, 24), 5 + 24 + 10) } << S{} << QString();

    // Bytes behind a frame belong to the next frame, on a reliable byte stream.
    QTest::newRow("two frames in one packet")
        << L{ sig2 + type1 } << S{ "signals 2", "types 1" } << QString();
    QTest::newRow("a frame and the start of the next")
        << L{ sig2 + type1.left(3), type1.mid(3) } << S{ "signals 2", "types 1" } << QString();
    QTest::newRow("a frame and an unsupported one")
        << L{ sig2 + controlFrame(30, 0, {}) } << S{ "signals 2", "error 30 0" } << QString();

    // A length field below the header size names no frame: refused, and the next packet is new.
    QTest::newRow("length 3") << L{ controlFrame(5, 0, records(1, 24), 3), type1 }
                              << S{ "error 5 0", "types 1" } << QStringLiteral("frame length 3");
    QTest::newRow("length 0") << L{ controlFrame(18, 0, {}, 0), type1 }
                              << S{ "error 18 0", "types 1" } << QStringLiteral("frame length 0");
}

void tst_MonCtrlChannel::replies()
{
    QFETCH(QList<QByteArray>, packets);
    QFETCH(QStringList, expected);
    QFETCH(QString, warning);

    MonCtrlChannel channel(nullptr, nullptr);
    ControlChannelRecorder recorder(&channel);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    for (const QByteArray &p : packets)
        channel.dataReady(p);
    QCOMPARE(recorder.events, expected);
}

void tst_MonCtrlChannel::recordLayouts()
{
    const auto run = nimbrel::test::runProcess(
        nimbrel::test::python(),
        { nimbrel::test::sourceDir() + "/tests/monitoring/pack_records.py" });
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    QHash<QByteArray, QByteArray> packed;
    for (const QByteArray &line : run.out.trimmed().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        QCOMPARE(f.size(), 3);
        packed.insert(f[0], QByteArray::fromHex(f[2]));
        QVERIFY2(packed[f[0]].size() == f[1].toInt(), line.constData());
    }
    QCOMPARE(packed.size(), 10);
    QCOMPARE(packed["monitor_info_t"].size(), int(sizeof(protocol::monitor_info_t)));
    QCOMPARE(packed["signal_t"].size(), int(sizeof(protocol::signal_t)));
    QCOMPARE(packed["param_t"].size(), int(sizeof(protocol::param_t)));
    QCOMPARE(packed["state_t"].size(), int(sizeof(protocol::state_t)));
    QCOMPARE(packed["datatype_t"].size(), int(sizeof(protocol::datatype_t)));
    QCOMPARE(packed["struct_element_t"].size(), int(sizeof(protocol::struct_element_t)));
    QCOMPARE(packed["fxp_info_t"].size(), int(sizeof(protocol::fxp_info_t)));
    QCOMPARE(packed["reference_set_t"].size(), int(sizeof(protocol::reference_set_t)));
    QCOMPARE(packed["signal_set_t"].size(), int(sizeof(protocol::signal_set_t)));
    QCOMPARE(packed["param_set_t"].size(), int(sizeof(protocol::param_set_t)));

    MonCtrlChannel channel(nullptr, nullptr);
    ControlChannelRecorder r(&channel);
    // Each record arrives as the second of two, so a wrong size would also shift its fields.
    auto twice = [&](int cmd, const char *name, int status = 0) {
        channel.dataReady(controlFrame(cmd, status, packed[name] + packed[name]));
    };
    channel.dataReady(controlFrame(1, 0, packed["monitor_info_t"]));
    QCOMPARE(r.info.version, 2u);
    QCOMPARE(r.info.reserved, 0xA1B2C3D4u);

    twice(5, "signal_t");
    QCOMPARE(r.signalRecords.size(), 2u);
    const auto &s = r.signalRecords[1];
    QCOMPARE(s.nodeIndex, 0x0102);
    QCOMPARE(s.modelRefIndex, 0x0304);
    QCOMPARE(s.blockPathIndex, 0x0506);
    QCOMPARE(s.nameIndex, 0x0708);
    QCOMPARE(s.portNumber, 0x09);
    QCOMPARE(s.defaultOdr, 0x0C0D);
    QCOMPARE(s.dataTypeIndex, 0x0E0F);
    QCOMPARE(s.fixedPointIndex, 0x1011);
    QCOMPARE(s.dimensionLayout, 3);
    QCOMPARE(s.numDimensions, 2);
    QCOMPARE(s.dimensions[0], 0x1415);
    QCOMPARE(s.dimensions[1], 0x1617);

    twice(6, "param_t");
    const auto &p = r.paramRecords.at(1);
    QCOMPARE(p.nodeIndex, 0x2122);
    QCOMPARE(p.modelRefIndex, 0x2324);
    QCOMPARE(p.blockPathIndex, 0x2526);
    QCOMPARE(p.nameIndex, 0x2728);
    QCOMPARE(p.flags, 2);
    QCOMPARE(p.dataTypeIndex, 0x2A2B);
    QCOMPARE(p.fixedPointIndex, 0x2C2D);
    QCOMPARE(p.dimensionLayout, 4);
    QCOMPARE(p.numDimensions, 1);
    QCOMPARE(p.dimensions[0], 0x3031);
    QCOMPARE(p.dimensions[1], 0x3233);

    twice(8, "state_t");
    const auto &st = r.stateRecords.at(1);
    QCOMPARE(st.nodeIndex, 0x4142);
    QCOMPARE(st.modelRefIndex, 0x4344);
    QCOMPARE(st.blockPathIndex, 0x4546);
    QCOMPARE(st.nameIndex, 0x4748);
    QCOMPARE(st.dataTypeIndex, 0x4A4B);
    QCOMPARE(st.fixedPointIndex, 0x4C4D);
    QCOMPARE(st.dimensionLayout, 2);
    QCOMPARE(st.numDimensions, 2);
    QCOMPARE(st.dimensions[0], 0x5051);
    QCOMPARE(st.dimensions[1], 0x5253);
    QCOMPARE(st.defaultOdr, 0x5859);

    twice(18, "datatype_t");
    const auto &t = r.typeRecords.at(1);
    QCOMPARE(t.nameIndex, 0x6162);
    QCOMPARE(t.numElements, 0x6364);
    QCOMPARE(t.firstElement, 0x6566);
    QCOMPARE(t.dataSize, 8);
    QCOMPARE(t.typeId, 254);
    QCOMPARE(t.flags, 1);
    QCOMPARE(t.enumStorageId, 7);

    twice(19, "struct_element_t");
    const auto &e = r.elementRecords.at(1);
    QCOMPARE(e.nameIndex, 0x7172);
    QCOMPARE(e.offset, 0x7374);
    QCOMPARE(e.dataTypeIndex, 0x7576);
    QCOMPARE(e.fixedPointIndex, 0x7778);
    QCOMPARE(e.dimensionLayout, 3);
    QCOMPARE(e.numDimensions, 2);
    QCOMPARE(e.dimensions[0], 0x7B7C);
    QCOMPARE(e.dimensions[1], 0x7D7E);

    twice(20, "fxp_info_t");
    const auto &x = r.fxpRecords.at(1);
    QCOMPARE(x.scalingType, 0);
    QCOMPARE(x.wordLength, 12);
    QCOMPARE(x.exponent, -4);
    QCOMPARE(x.isSigned, 1);
    QCOMPARE(x.slopeAdjustment, 1.25);
    QCOMPARE(x.bias, -0.5);

    twice(14, "reference_set_t");
    QCOMPARE(r.references.size(), 2);
    QCOMPARE(r.references[1].dataOffset, 0x8182);
    QCOMPARE(r.references[1].reference, 0x8384);

    twice(17, "signal_set_t");
    const auto &a = r.activeRecords.at(1);
    QCOMPARE(a.nodeIndex, 0x9192);
    QCOMPARE(a.modelRefIndex, 0x9394);
    QCOMPARE(a.odr, -1);
    QCOMPARE(a.valueSize, 8);
    QCOMPARE(a.dataOffset, 0x9798);
    QCOMPARE(a.variableType, 6);

    // Outgoing records: the bytes on the wire are Python's.
    QSignalSpy writes(&channel, &AbstractService::write);
    protocol::param_set_t ps{};
    ps.nodeIndex = 0xA1A2;
    ps.modelRefIndex = 0xA3A4;
    ps.dataTypeIndex = 0xA5A6;
    ps.elementIndex = 0xA7A8;
    ps.dimensionLayout = 4;
    ps.paramKind = 2;
    for (int i = 0; i < 16; ++i)
        ps.value[i] = uint8_t(0xB0 + i);
    channel.setParameter(ps);
    protocol::signal_set_t ss{};
    ss.nodeIndex = 0x9192;
    ss.modelRefIndex = 0x9394;
    ss.odr = protocol::StopStreamingOdr;
    ss.valueSize = 8;
    ss.dataOffset = 0x9798;
    ss.variableType = 6;
    channel.setSignal(ss);
    QCOMPARE(writes.size(), 2);
    QCOMPARE(writes[0][2].toByteArray(), controlFrame(13, 0, packed["param_set_t"]));
    QCOMPARE(writes[1][2].toByteArray(), controlFrame(15, 0, packed["signal_set_t"]));
}

void tst_MonCtrlChannel::requests_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<QByteArray>("frame");
    const char *frames[] = {
        "0100050000", "0500050000",    "0600050000",    "0700050000", "0800050000",
        "0900050000", "0a00050000",    "1100050000",    "1200050000", "1300050000",
        "1400050000", "0b00060000 03", "0c00060000 0e",
    };
    for (int i = 0; i < 13; ++i)
        QTest::addRow("%s", frames[i]) << i << hex(frames[i]);
}

void tst_MonCtrlChannel::requests()
{
    QFETCH(int, request);
    QFETCH(QByteArray, frame);
    MonCtrlChannel channel(nullptr, nullptr);
    QSignalSpy writes(&channel, &AbstractService::write);
    const std::function<void()> calls[] = {
        [&] { channel.requestInfo(); },           [&] { channel.requestSignals(); },
        [&] { channel.requestBlockParams(); },    [&] { channel.requestModelParams(); },
        [&] { channel.requestBlockStates(); },    [&] { channel.requestInputs(); },
        [&] { channel.requestOutputs(); },        [&] { channel.requestActiveSignals(); },
        [&] { channel.requestDataTypes(); },      [&] { channel.requestStructElements(); },
        [&] { channel.requestFixedPointInfo(); }, [&] { channel.requestRawData(3); },
        [&] { channel.requestStrings(14); },
    };
    calls[request]();
    QCOMPARE(writes.size(), 1);
    QCOMPARE(writes[0][0].value<DatalinkChannelId>(), DatalinkChannelId(2));
    QCOMPARE(writes[0][1].toBool(), true);
    QCOMPARE(writes[0][2].toByteArray(), frame);
}

void tst_MonCtrlChannel::framesAreCutIntoDevicePackets()
{
    std::vector<uint8_t> payload(2032);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = uint8_t(i * 13);
    const auto pieces = buildControlFrame(19, payload.data(), payload.size());
    QCOMPARE(pieces.size(), 3u);
    QCOMPARE(pieces[0].size(), 1018u);
    QCOMPARE(pieces[1].size(), 1018u);
    QCOMPARE(pieces[2].size(), 1u);
    std::vector<uint8_t> joined;
    for (const auto &p : pieces)
        joined.insert(joined.end(), p.begin(), p.end());
    const QByteArray expected
        = controlFrame(19, 0, QByteArray(reinterpret_cast<const char *>(payload.data()), 2032));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(joined.data()), qsizetype(joined.size())),
             expected);

    // The same pieces reassemble on the receiving side into one frame.
    MonCtrlChannel channel(nullptr, nullptr);
    ControlChannelRecorder r(&channel);
    for (const auto &p : pieces)
        channel.dataReady(
            QByteArray(reinterpret_cast<const char *>(p.data()), qsizetype(p.size())));
    QCOMPARE(r.events, QStringList{ "elements 127" });
}

void tst_MonCtrlChannel::travelsThroughTheLinkManager()
{
    ServiceRig rig;
    MonCtrlChannel channel(nullptr, &rig.manager);
    ControlChannelRecorder r(&channel);
    protocol::param_set_t ps{};
    ps.nodeIndex = 7;
    channel.setParameter(ps);
    bool reliable = false;
    const QList<QByteArray> sent = rig.link->payloads(2, &reliable);
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].size(), 31);
    QVERIFY(reliable);

    // Only channel 2 reaches the channel.
    rig.link->inject(3, controlFrame(18, 0, records(1, 16)));
    rig.link->inject(2, controlFrame(18, 0, records(2, 16)));
    QCOMPARE(r.events, QStringList{ "types 2" });
}

QTEST_GUILESS_MAIN(tst_MonCtrlChannel)
#include "tst_monCtrlChannel.moc"
