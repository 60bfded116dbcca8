#include "UsbWriteRules.h"

#include <QStringList>
#include <QTest>

// The writer's rules without libusb: each case is a frame, the way its transfers end, and what
// the writer must do after each of them (the expected chunks are written out by hand).

using Action = UsbWriteRules::Action;

namespace {

QString describe(Action action, const UsbWriteRules &rules)
{
    switch (action) {
    case Action::Submit:
        return QStringLiteral("%1+%2").arg(rules.chunk().offset).arg(rules.chunk().length);
    case Action::Done:
        return QStringLiteral("done");
    case Action::Cancelled:
        return QStringLiteral("cancelled");
    case Action::Failed:
        return QStringLiteral("failed");
    }
    return QStringLiteral("?");
}

// "completed", "timeout:<actual>", "error:<actual>", "cancelled", "stall", "nodevice",
// "overflow", "resubmitfail".
Action apply(UsbWriteRules &rules, const QString &step)
{
    const QStringList parts = step.split(u':');
    const std::size_t actual = parts.size() > 1 ? parts[1].toULongLong() : 0;
    const QString &what = parts[0];
    if (what == u"completed")
        return rules.onTransferEnded(UsbTransferResult::Completed, rules.chunk().length);
    if (what == u"timeout")
        return rules.onTransferEnded(UsbTransferResult::TimedOut, actual);
    if (what == u"error")
        return rules.onTransferEnded(UsbTransferResult::Error, actual);
    if (what == u"cancelled")
        return rules.onTransferEnded(UsbTransferResult::Cancelled, 0);
    if (what == u"stall")
        return rules.onTransferEnded(UsbTransferResult::Stall, 0);
    if (what == u"nodevice")
        return rules.onTransferEnded(UsbTransferResult::NoDevice, 0);
    if (what == u"overflow")
        return rules.onTransferEnded(UsbTransferResult::Overflow, 0);
    if (what == u"resubmitfail")
        return rules.onResubmitFailed();
    qFatal("unknown step %s", qPrintable(step));
}

QList<int> repeat(int value, int count)
{
    return QList<int>(count, value);
}

} // namespace

class TestUsbWriteRules : public QObject
{
    Q_OBJECT

private slots:
    void cutsFramesIntoPacketSizedChunks_data();
    void cutsFramesIntoPacketSizedChunks();
    void reactsToHowEachTransferEnded_data();
    void reactsToHowEachTransferEnded();
    void sizesFromTheEndpointDescriptor_data();
    void sizesFromTheEndpointDescriptor();
    void remembersTheFrameOnlyWhileItIsWritten();
};

void TestUsbWriteRules::cutsFramesIntoPacketSizedChunks_data()
{
    QTest::addColumn<int>("wMaxPacketSize");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<QList<int>>("chunks");

    QTest::newRow("64: 6") << 64 << 6 << QList<int>{ 6 };
    QTest::newRow("64: 64, no zero-length packet") << 64 << 64 << QList<int>{ 64 };
    QTest::newRow("64: 512") << 64 << 512 << repeat(64, 8);
    QTest::newRow("64: 1024 in sixteen") << 64 << 1024 << repeat(64, 16);
    QTest::newRow("512: 6") << 512 << 6 << QList<int>{ 6 };
    QTest::newRow("512: 64") << 512 << 64 << QList<int>{ 64 };
    QTest::newRow("512: 512, no zero-length packet") << 512 << 512 << QList<int>{ 512 };
    QTest::newRow("512: 1024 in two") << 512 << 1024 << QList<int>{ 512, 512 };
    QTest::newRow("64: 65") << 64 << 65 << QList<int>{ 64, 1 };
    QTest::newRow("512: 1023") << 512 << 1023 << QList<int>{ 512, 511 };
    QTest::newRow("1024: 1024") << 1024 << 1024 << QList<int>{ 1024 };
    // Bits 11 and 12 (extra transactions) are not part of the packet size.
    QTest::newRow("0x1840 is 64") << 0x1840 << 100 << QList<int>{ 64, 36 };
}

void TestUsbWriteRules::cutsFramesIntoPacketSizedChunks()
{
    QFETCH(int, wMaxPacketSize);
    QFETCH(int, frameLength);
    QFETCH(QList<int>, chunks);

    UsbWriteRules rules{ std::uint16_t(wMaxPacketSize) };
    QList<int> seen;
    std::size_t expectedOffset = 0;
    Action action = rules.begin(std::size_t(frameLength), true, 1);
    while (action == Action::Submit) {
        QCOMPARE(rules.chunk().offset, expectedOffset);
        QVERIFY(rules.chunk().length > 0);
        seen.append(int(rules.chunk().length));
        expectedOffset += rules.chunk().length;
        QVERIFY2(seen.size() <= 64, "the frame never ends");
        action = rules.onTransferEnded(UsbTransferResult::Completed, rules.chunk().length);
    }
    QCOMPARE(action, Action::Done);
    QCOMPARE(seen, chunks);
}

void TestUsbWriteRules::reactsToHowEachTransferEnded_data()
{
    QTest::addColumn<int>("wMaxPacketSize");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<bool>("reliable");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("trace"); // after begin, then after each step

    QTest::newRow("reliable, timed out three times, then taken")
        << 64 << 6 << true << QStringList{ "timeout:0", "timeout:0", "timeout:0", "completed" }
        << QStringList{ "0+6", "0+6", "0+6", "0+6", "done" };
    QTest::newRow("reliable, error, resubmitted")
        << 64 << 6 << true << QStringList{ "error:0", "completed" }
        << QStringList{ "0+6", "0+6", "done" };
    QTest::newRow("reliable, timed out after taking the whole chunk: not sent twice")
        << 64 << 128 << true << QStringList{ "timeout:64", "completed" }
        << QStringList{ "0+64", "64+64", "done" };
    QTest::newRow("reliable, last chunk timed out after being taken: frame done")
        << 64 << 64 << true << QStringList{ "timeout:64" } << QStringList{ "0+64", "done" };
    QTest::newRow("reliable, part of a chunk went: only the rest again")
        << 64 << 100 << true << QStringList{ "timeout:20", "completed", "completed" }
        << QStringList{ "0+64", "20+64", "84+16", "done" };
    QTest::newRow("reliable, actual length beyond the chunk counts as the chunk")
        << 64 << 128 << true << QStringList{ "timeout:999", "completed" }
        << QStringList{ "0+64", "64+64", "done" };
    QTest::newRow("unreliable, timed out: dropped")
        << 64 << 6 << false << QStringList{ "timeout:0" } << QStringList{ "0+6", "done" };
    QTest::newRow("unreliable, timed out mid-frame: the rest dropped")
        << 64 << 200 << false << QStringList{ "completed", "timeout:0" }
        << QStringList{ "0+64", "64+64", "done" };
    QTest::newRow("unreliable, error: dropped")
        << 512 << 1024 << false << QStringList{ "error:0" } << QStringList{ "0+512", "done" };
    QTest::newRow("reliable, cancelled")
        << 64 << 128 << true << QStringList{ "completed", "cancelled" }
        << QStringList{ "0+64", "64+64", "cancelled" };
    QTest::newRow("unreliable, cancelled")
        << 64 << 6 << false << QStringList{ "cancelled" } << QStringList{ "0+6", "cancelled" };
    QTest::newRow("stall fails") << 64 << 6 << true << QStringList{ "stall" }
                                 << QStringList{ "0+6", "failed" };
    QTest::newRow("unreliable stall fails too")
        << 64 << 6 << false << QStringList{ "stall" } << QStringList{ "0+6", "failed" };
    QTest::newRow("no device fails") << 64 << 128 << false << QStringList{ "completed", "nodevice" }
                                     << QStringList{ "0+64", "64+64", "failed" };
    QTest::newRow("overflow fails")
        << 512 << 6 << true << QStringList{ "overflow" } << QStringList{ "0+6", "failed" };
    QTest::newRow("failed resubmission fails")
        << 64 << 128 << true << QStringList{ "completed", "resubmitfail" }
        << QStringList{ "0+64", "64+64", "failed" };
    QTest::newRow("empty frame: nothing, not even a zero-length packet")
        << 64 << 0 << true << QStringList{} << QStringList{ "done" };
    QTest::newRow("packet size 0 cannot carry a frame")
        << 0 << 6 << true << QStringList{} << QStringList{ "failed" };
}

void TestUsbWriteRules::reactsToHowEachTransferEnded()
{
    QFETCH(int, wMaxPacketSize);
    QFETCH(int, frameLength);
    QFETCH(bool, reliable);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, trace);

    UsbWriteRules rules{ std::uint16_t(wMaxPacketSize) };
    QStringList seen;
    Action action = rules.begin(std::size_t(frameLength), reliable, 3);
    seen << describe(action, rules);
    for (const QString &step : steps) {
        QVERIFY2(action == Action::Submit, "a step after the frame ended");
        action = apply(rules, step);
        seen << describe(action, rules);
    }
    QCOMPARE(seen, trace);
    QVERIFY(action != Action::Submit);
    QVERIFY(!rules.inProgress()); // every end frees the transfer for the next frame
}

void TestUsbWriteRules::sizesFromTheEndpointDescriptor_data()
{
    QTest::addColumn<int>("wMaxPacketSize");
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("readBuffer");

    QTest::newRow("0") << 0 << 0 << 512;
    QTest::newRow("8") << 8 << 8 << 512;
    QTest::newRow("64") << 64 << 64 << 512;
    QTest::newRow("512") << 512 << 512 << 512;
    QTest::newRow("1024") << 1024 << 1024 << 1024;
    QTest::newRow("0x1400: 1024 with transaction bits") << 0x1400 << 1024 << 1024;
    QTest::newRow("0x07FF") << 0x07FF << 2047 << 2047;
    QTest::newRow("0xF840: 64 with reserved bits") << 0xF840 << 64 << 512;
}

void TestUsbWriteRules::sizesFromTheEndpointDescriptor()
{
    QFETCH(int, wMaxPacketSize);
    QFETCH(int, packetSize);
    QFETCH(int, readBuffer);

    QCOMPARE(int(UsbWriteRules::packetSize(std::uint16_t(wMaxPacketSize))), packetSize);
    QCOMPARE(int(UsbWriteRules::readBufferSize(std::uint16_t(wMaxPacketSize))), readBuffer);
}

void TestUsbWriteRules::remembersTheFrameOnlyWhileItIsWritten()
{
    UsbWriteRules rules(64);
    QCOMPARE(rules.begin(100, true, 9), Action::Submit);
    QVERIFY(rules.inProgress());
    QVERIFY(rules.isReliable());
    QCOMPARE(rules.channel(), 9);
    // An overdue reliable frame fails the link; an overdue unreliable one only makes room.
    QCOMPARE(UsbWriteRules::overdueAction(rules.isReliable()),
             UsbWriteRules::OverdueAction::FailLink);
    QCOMPARE(rules.onTransferEnded(UsbTransferResult::Completed, 64), Action::Submit);
    QCOMPARE(rules.onTransferEnded(UsbTransferResult::Completed, 36), Action::Done);
    QVERIFY(!rules.inProgress());
    QVERIFY(!rules.isReliable());
    QCOMPARE(rules.channel(), 0);

    QCOMPARE(rules.begin(10, false, 3), Action::Submit);
    QCOMPARE(UsbWriteRules::overdueAction(rules.isReliable()),
             UsbWriteRules::OverdueAction::CancelAndReuse);
    // A late report for a frame that has ended changes nothing.
    QCOMPARE(rules.onTransferEnded(UsbTransferResult::TimedOut, 0), Action::Done);
    QCOMPARE(rules.onTransferEnded(UsbTransferResult::Stall, 0), Action::Done);
    QVERIFY(!rules.inProgress());
}

QTEST_APPLESS_MAIN(TestUsbWriteRules)
#include "tst_usbWriteRules.moc"
