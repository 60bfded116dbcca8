// The USB link when the device does not take its data, fails its reads or goes away, and when
// the link is closed with frames still waiting: against the real libusb Linux back end on a
// umockdev bus whose simulated Pelto is pelto-sim.
#include "UsbLinkRig.h"

#include <QTest>

#include <cerrno>

using namespace nimbrel::test;

namespace {

// Destruction must never wait out the 5000 ms a stuck write may wait; this bound tells the two
// apart on a loaded machine too.
int quickDestructionMs()
{
    return qMin(scaled(1500), 4000);
}

QList<QByteArray> urbData(const QList<UsbUrbRecord> &urbs)
{
    QList<QByteArray> data;
    for (const UsbUrbRecord &urb : urbs)
        data.append(urb.data);
    return data;
}

} // namespace

class TestUsbDataLinkFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void reliableChunkTimedOutThreeTimesArrivesIntact();
    void unreliableTimedOutFrameIsDroppedAndTheNextGoesOut();
    void overdueReliableFrameFailsTheNextWrite_data();
    void overdueReliableFrameFailsTheNextWrite();
    void overdueUnreliableFrameIsCancelledBeforeTheTransferIsReused();

    void failedReads_data();
    void failedReads();
    void unplugInvalidatesAndReleasesAWaitingWriter();
    void destroyingALinkWithAStuckWriteDoesNotWaitForIt();
    void lastFramesOfAClosingLinkStillGoOut();
};

void TestUsbDataLinkFaults::initTestCase()
{
    if (!UsbTestbed::underUmockdev())
        QFAIL("run under umockdev-wrapper (the test is declared with UMOCKDEV)");
}

void TestUsbDataLinkFaults::reliableChunkTimedOutThreeTimesArrivesIntact()
{
    // At the link's real timings: 5 ms per chunk, 5000 ms for a frame.
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(64)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(UsbLinkTimings{}), qPrintable(rig.why));

    rig.testbed.holdNextOut(rig.deviceId, 3);
    const QByteArray payload = usbPattern(94, 5);
    const QByteArray frame = usbFrame(5, payload); // 100 bytes: chunks of 64 and 36
    rig.link->sendPacket(5, true, frame);

    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5).size(), 1, scaled(5000));
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QCOMPARE(out.size(), 5);
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(out[i].held && out[i].discarded, "the premise: the first chunk timed out");
        QCOMPARE(out[i].status, -ENOENT);
        QCOMPARE(out[i].data, frame.left(64));
    }
    QCOMPARE(urbData(out.mid(3)), (QList<QByteArray>{ frame.left(64), frame.mid(64) }));
    QCOMPARE(rig.simPayloads(5), QList<QByteArray>{ payload });
    QCOMPARE(rig.recorder->payloadsOn(5).first(), payload);
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Invalid));
}

void TestUsbDataLinkFaults::unreliableTimedOutFrameIsDroppedAndTheNextGoesOut()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));

    rig.testbed.holdNextOut(rig.deviceId, 1);
    const QByteArray dropped = usbPattern(20, 1);
    const QByteArray next = usbPattern(30, 2);
    rig.link->sendPacket(5, false, usbFrame(5, dropped));
    rig.link->sendPacket(5, true, usbFrame(5, next));

    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5).size(), 1, scaled(5000));
    QCOMPARE(rig.recorder->payloadsOn(5).first(), next);
    QCOMPARE(rig.simPayloads(5), QList<QByteArray>{ next });
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QCOMPARE(out.size(), 2);
    QVERIFY2(out[0].held && out[0].discarded, "the premise: the unreliable frame timed out");
    QCOMPARE(out[1].data, usbFrame(5, next));
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Invalid));
}

void TestUsbDataLinkFaults::overdueReliableFrameFailsTheNextWrite_data()
{
    QTest::addColumn<int>("deadlineMs");

    QTest::newRow("injected 300 ms") << 300;
    QTest::newRow("real 5000 ms") << UsbLinkTimings{}.reliableDeadlineMs;
}

void TestUsbDataLinkFaults::overdueReliableFrameFailsTheNextWrite()
{
    QFETCH(int, deadlineMs);

    UsbLinkTimings timings = UsbLinkRig::fastTimings();
    timings.reliableDeadlineMs = deadlineMs;
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(timings), qPrintable(rig.why));
    rig.testbed.setHoldOut(rig.deviceId, true);

    // Written here rather than through the queue, to see usbWrite's results.
    const QByteArray stuck = usbFrame(5, usbPattern(40, 1));
    const QByteArray next = usbFrame(5, usbPattern(40, 2));
    QCOMPARE(rig.link->usbWrite(stuck, true, 5, deadlineMs), int(USBDataLink::WriteStarted));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(rig.link->usbWrite(next, true, 5, deadlineMs), int(USBDataLink::PreviousOverdue));
    QVERIFY2(timer.elapsed() >= deadlineMs - 10, qPrintable(QString::number(timer.elapsed())));

    QCOMPARE(rig.link->getState(), AbstractDataLink::Invalid);
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Invalid), scaled(2000));
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QVERIFY2(out.size() >= 2, "the premise: the stuck chunk was retried");
    for (const UsbUrbRecord &urb : out)
        QCOMPARE(urb.data, stuck);
    QVERIFY(rig.simPayloads(5).isEmpty());
    QVERIFY(rig.destroyLink() < quickDestructionMs());
}

void TestUsbDataLinkFaults::overdueUnreliableFrameIsCancelledBeforeTheTransferIsReused()
{
    // A chunk time-out longer than the deadline keeps the unreliable frame in flight until the
    // next write gives up waiting and cancels it.
    UsbLinkTimings timings = UsbLinkRig::fastTimings();
    timings.chunkTimeoutMs = 3000;
    timings.reliableDeadlineMs = 200;
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(timings), qPrintable(rig.why));
    rig.testbed.holdNextOut(rig.deviceId, 1);

    const QByteArray cancelled = usbPattern(20, 1);
    const QByteArray next = usbPattern(30, 2);
    QCOMPARE(rig.link->usbWrite(usbFrame(5, cancelled), false, 5, 200),
             int(USBDataLink::WriteStarted));
    QCOMPARE(rig.link->usbWrite(usbFrame(5, next), true, 5, 200), int(USBDataLink::WriteStarted));

    QTRY_COMPARE_WITH_TIMEOUT(rig.simPayloads(5), QList<QByteArray>{ next }, scaled(5000));
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QCOMPARE(out.size(), 2);
    QVERIFY2(out[0].held && out[0].discarded, "the premise: the first frame was cancelled");
    QVERIFY(out[0].reaped);
    QCOMPARE(out[1].data, usbFrame(5, next));
    QCOMPARE(rig.link->getState(), AbstractDataLink::Connected);
}

void TestUsbDataLinkFaults::failedReads_data()
{
    QTest::addColumn<int>("errnoValue");
    QTest::addColumn<bool>("linkFails");

    QTest::newRow("stall (EPIPE)") << EPIPE << true;
    QTest::newRow("no device (ENODEV)") << ENODEV << true;
    QTest::newRow("protocol error (EPROTO): read again") << EPROTO << false;
}

void TestUsbDataLinkFaults::failedReads()
{
    QFETCH(int, errnoValue);
    QFETCH(bool, linkFails);

    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));
    const int readsBefore = int(rig.urbsOn(0x81).size());
    rig.testbed.failNextIn(rig.deviceId, errnoValue);

    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (const UsbUrbRecord &urb : rig.urbsOn(0x81))
                if (urb.status == -errnoValue && urb.reaped)
                    return true;
            return false;
        }(),
        scaled(5000));
    if (linkFails) {
        QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Invalid), scaled(2000));
        QCOMPARE(rig.link->getState(), AbstractDataLink::Invalid);
        return;
    }
    // Still reading: a frame the device sends afterwards arrives.
    const QByteArray payload = usbPattern(50, 9);
    rig.sim->command(QStringLiteral("send_raw"),
                     { { QStringLiteral("channel"), 5 },
                       { QStringLiteral("payload_hex"), QString::fromLatin1(payload.toHex()) },
                       { QStringLiteral("link"), QStringLiteral("usb") } });
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->payloadsOn(5).contains(payload), scaled(5000));
    QVERIFY(rig.urbsOn(0x81).size() > readsBefore + 1);
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Invalid));
}

void TestUsbDataLinkFaults::unplugInvalidatesAndReleasesAWaitingWriter()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(UsbLinkTimings{}), qPrintable(rig.why));
    rig.testbed.setHoldOut(rig.deviceId, true);

    // The first frame is stuck in the device and the writer waits for it with the second.
    rig.link->sendPacket(5, true, usbFrame(5, usbPattern(40, 1)));
    rig.link->sendPacket(5, true, usbFrame(5, usbPattern(40, 2)));
    QTRY_VERIFY_WITH_TIMEOUT(rig.link->queuedFrames() == 0 && !rig.urbsOn(0x01).isEmpty(),
                             scaled(2000));

    QVERIFY(rig.testbed.removeDevice(rig.deviceId));
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Invalid), scaled(2000));

    const qint64 destructionMs = rig.destroyLink();
    QVERIFY2(destructionMs < quickDestructionMs(), qPrintable(QString::number(destructionMs)));
    QCOMPARE(rig.recorder->deleteUsbCount, 1);
    QVERIFY(rig.recorder->deleted.handle);
    QVERIFY(rig.recorder->deleted.device);
    QCOMPARE(rig.recorder->deleted.interfaceNumber, 0);
    // Both transfers came back, so both are handed over to be freed.
    QVERIFY(rig.recorder->deleted.transferIn);
    QVERIFY(rig.recorder->deleted.transferOut);
}

void TestUsbDataLinkFaults::destroyingALinkWithAStuckWriteDoesNotWaitForIt()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(UsbLinkTimings{}), qPrintable(rig.why));
    rig.testbed.setHoldOut(rig.deviceId, true);

    rig.link->sendPacket(5, true, usbFrame(5, usbPattern(40, 1)));
    rig.link->sendPacket(5, true, usbFrame(5, usbPattern(40, 2)));
    QTRY_VERIFY_WITH_TIMEOUT(rig.link->queuedFrames() == 0 && !rig.urbsOn(0x01).isEmpty(),
                             scaled(2000));

    const qint64 destructionMs = rig.destroyLink();
    QVERIFY2(destructionMs < quickDestructionMs(), qPrintable(QString::number(destructionMs)));
    QCOMPARE(rig.recorder->deleteUsbCount, 1);
    QVERIFY(rig.recorder->deleted.transferIn);
    QVERIFY(rig.recorder->deleted.transferOut);
    QTRY_COMPARE_WITH_TIMEOUT(rig.testbed.openHandles(rig.deviceId), 0, scaled(2000));
    QCOMPARE(rig.testbed.claimedInterfaces(rig.deviceId), QList<int>{});
    // Everything the link submitted came back before its transfers were handed over.
    for (const UsbUrbRecord &urb : rig.testbed.urbs(rig.deviceId))
        QVERIFY(urb.reaped);
}

void TestUsbDataLinkFaults::lastFramesOfAClosingLinkStillGoOut()
{
    // The first chunk is held once, for a chunk time-out of 50 ms, so the later frames are still
    // waiting when the link is closed, the way a closing device's last messages are. The flush
    // time is stretched so a loaded machine cannot miss it; the stuck-write case above keeps the
    // real 200 ms.
    UsbLinkTimings timings;
    timings.chunkTimeoutMs = 50;
    timings.flushMs = 1000;
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(64)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(timings), qPrintable(rig.why));

    rig.testbed.holdNextOut(rig.deviceId, 1);
    const QList<QByteArray> payloads{ usbPattern(100, 1), usbPattern(10, 2), usbPattern(20, 3) };
    for (const QByteArray &payload : payloads)
        rig.link->sendPacket(5, true, usbFrame(5, payload));
    QVERIFY2(rig.link->queuedFrames() >= 1, "the premise: frames are still waiting");

    const qint64 destructionMs = rig.destroyLink();
    QVERIFY2(destructionMs < timings.flushMs + quickDestructionMs(),
             qPrintable(QString::number(destructionMs)));
    QTRY_COMPARE_WITH_TIMEOUT(rig.simPayloads(5), payloads, scaled(5000));
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QVERIFY2(!out.isEmpty() && out.first().discarded, "the premise: the first chunk was held");
    QCOMPARE(rig.recorder->deleteUsbCount, 1);
}

QTEST_GUILESS_MAIN(TestUsbDataLinkFaults)
#include "tst_usbDataLinkFaults.moc"
