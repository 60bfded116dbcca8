// The USB link against the real libusb Linux back end, on a umockdev bus whose simulated Pelto is
// pelto-sim: claiming, the endpoints it takes, the URBs it writes and the frames it reads.
#include "UsbLinkRig.h"

#include "ChannelZeroMessages.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace nimbrel::test;

Q_DECLARE_METATYPE(nimbrel::test::UsbDeviceSpec)

namespace {

QList<int> urbLengths(const QList<UsbUrbRecord> &urbs)
{
    QList<int> lengths;
    for (const UsbUrbRecord &urb : urbs)
        lengths.append(urb.length);
    return lengths;
}

QByteArray joined(const QList<UsbUrbRecord> &urbs)
{
    QByteArray data;
    for (const UsbUrbRecord &urb : urbs)
        data += urb.data;
    return data;
}

UsbDeviceSpec withEndpoints(QList<UsbEndpointSpec> endpoints)
{
    UsbDeviceSpec spec = UsbDeviceSpec::pelto(512);
    spec.interfaces[0].endpoints = std::move(endpoints);
    return spec;
}

} // namespace

class TestUsbDataLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void writesEachFrameInPacketSizedUrbs_data();
    void writesEachFrameInPacketSizedUrbs();
    void deliversWholeFramesFromThePacketSizeOfTheDescriptor_data();
    void deliversWholeFramesFromThePacketSizeOfTheDescriptor();
    void channelZeroRequestIsAnsweredThroughTheLink();

    void claimsTheVendorInterfaceAndItsOwnEndpoints();
    void withoutVendorInterfaceTheClaimFails();
    void takesTheEndpointsOfTheDataLinkInterface_data();
    void takesTheEndpointsOfTheDataLinkInterface();
    void refusesUnusableEndpoints_data();
    void refusesUnusableEndpoints();
    void failedReadSubmissionNeverReportsConnected();
};

void TestUsbDataLink::initTestCase()
{
    if (!UsbTestbed::underUmockdev())
        QFAIL("run under umockdev-wrapper (the test is declared with UMOCKDEV)");
}

void TestUsbDataLink::writesEachFrameInPacketSizedUrbs_data()
{
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("frameLength");
    QTest::addColumn<QList<int>>("urbLengths");

    QTest::newRow("64: 6") << 64 << 6 << QList<int>{ 6 };
    QTest::newRow("64: 64") << 64 << 64 << QList<int>{ 64 };
    QTest::newRow("64: 512") << 64 << 512 << QList<int>(8, 64);
    QTest::newRow("64: 1024") << 64 << 1024 << QList<int>(16, 64);
    QTest::newRow("512: 6") << 512 << 6 << QList<int>{ 6 };
    QTest::newRow("512: 64") << 512 << 64 << QList<int>{ 64 };
    QTest::newRow("512: 512") << 512 << 512 << QList<int>{ 512 };
    QTest::newRow("512: 1024") << 512 << 1024 << QList<int>{ 512, 512 };
}

void TestUsbDataLink::writesEachFrameInPacketSizedUrbs()
{
    QFETCH(int, packetSize);
    QFETCH(int, frameLength);
    QFETCH(QList<int>, urbLengths);

    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(quint16(packetSize))), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));

    // Channel 5 is echoed by the device, so the frame also comes back whole.
    const QByteArray payload = usbPattern(frameLength - 6, frameLength);
    const QByteArray frame = usbFrame(5, payload);
    rig.link->sendPacket(5, true, frame);

    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5).size(), 1, scaled(5000));
    const QList<UsbUrbRecord> out = rig.urbsOn(0x01);
    QCOMPARE(::urbLengths(out), urbLengths);
    for (const UsbUrbRecord &urb : out) {
        QCOMPARE(urb.type, quint8(3)); // bulk
        QVERIFY2(!urb.zeroPacket(), "no zero-length packet after a full last packet");
        QCOMPARE(urb.status, 0);
    }
    QCOMPARE(joined(out), frame);
    QCOMPARE(rig.simPayloads(5), QList<QByteArray>{ payload });
    QCOMPARE(rig.recorder->payloadsOn(5).first(), payload);
}

void TestUsbDataLink::deliversWholeFramesFromThePacketSizeOfTheDescriptor_data()
{
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("readLength");

    QTest::newRow("64") << 64 << 64;
    QTest::newRow("512") << 512 << 512;
    // Larger than the 512 bytes a fixed read buffer would hold.
    QTest::newRow("1024") << 1024 << 1024;
}

void TestUsbDataLink::deliversWholeFramesFromThePacketSizeOfTheDescriptor()
{
    QFETCH(int, packetSize);
    QFETCH(int, readLength);

    UsbLinkRig rig;
    UsbDeviceSpec spec = UsbDeviceSpec::pelto(quint16(packetSize));
    spec.speedMbps = packetSize > 512 ? 5000 : 480;
    QVERIFY2(rig.plug(spec), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));

    const QByteArray payload = usbPattern(1018, 3);
    const QJsonObject reply = rig.sim->command(
        QStringLiteral("send_raw"),
        { { QStringLiteral("channel"), 5 },
          { QStringLiteral("payload_hex"), QString::fromLatin1(payload.toHex()) },
          { QStringLiteral("link"), QStringLiteral("usb") } });
    QVERIFY2(reply.value(QStringLiteral("ok")).toBool(),
             qPrintable(reply.value(QStringLiteral("error")).toString()));

    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5).size(), 1, scaled(5000));
    QCOMPARE(rig.recorder->payloadsOn(5).first(), payload);
    const QList<UsbUrbRecord> in = rig.urbsOn(0x81);
    QVERIFY(!in.isEmpty());
    for (const UsbUrbRecord &urb : in)
        QCOMPARE(urb.length, readLength);
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Invalid));
}

void TestUsbDataLink::channelZeroRequestIsAnsweredThroughTheLink()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(64)), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));

    // A device-info request: a 68-byte channel-0 message of type 0.
    QByteArray request = devmsg::message(0, 1, 68);
    devmsg::seal(request);
    rig.link->sendPacket(0, true, usbFrame(0, request));

    // The device answers with its heartbeat, whose serial starts at byte 20.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&rig] {
            for (const QByteArray &p : rig.recorder->payloadsOn(0))
                if (p.size() >= 56 && p.mid(20, 12) == "PLT-USB-0001")
                    return true;
            return false;
        }(),
        scaled(5000));
    const QJsonArray seen = rig.sim->frames(0);
    QVERIFY(!seen.isEmpty());
    const QJsonObject first = seen.first().toObject();
    QCOMPARE(first.value(QStringLiteral("link")).toString(), QStringLiteral("usb"));
    QVERIFY(first.value(QStringLiteral("ch0")).toObject().value(QStringLiteral("crc_ok")).toBool());
}

void TestUsbDataLink::claimsTheVendorInterfaceAndItsOwnEndpoints()
{
    // Position 0 holds another vendor interface (protocol 1) with endpoints 0x82/0x02 of 64
    // bytes; only the one at position 2 is the data link.
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::peltoWithVendorInterfaceAt(2, 512)), qPrintable(rig.why));
    QVERIFY(rig.makeLink());

    QCOMPARE(rig.link->getDatalinkInterfaceNumber(), 2);
    QCOMPARE(rig.link->claimDatalinkInterface(), false);
    QCOMPARE(rig.testbed.claimedInterfaces(rig.deviceId), QList<int>{ 2 });
    QCOMPARE(rig.testbed.configuration(rig.deviceId), 1);

    rig.link->startReadTransfer();
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Connected), scaled(5000));
    QCOMPARE(rig.link->inEndpoint(), quint8(0x81));
    QCOMPARE(rig.link->outEndpoint(), quint8(0x01));
    QCOMPARE(rig.link->maxPacketSize(), quint16(512));

    const QByteArray frame = usbFrame(5, usbPattern(100, 1));
    rig.link->sendPacket(5, true, frame);
    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5).size(), 1, scaled(5000));
    QCOMPARE(urbLengths(rig.urbsOn(0x01)), QList<int>{ 106 });
    QVERIFY(rig.urbsOn(0x82).isEmpty());
    QVERIFY(rig.urbsOn(0x02).isEmpty());

    rig.destroyLink();
    QCOMPARE(rig.recorder->deleteUsbCount, 1);
    QCOMPARE(rig.recorder->deleted.interfaceNumber, 2);
    QCOMPARE(rig.testbed.claimedInterfaces(rig.deviceId), QList<int>{});
}

void TestUsbDataLink::withoutVendorInterfaceTheClaimFails()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::peltoWithoutVendorInterface(), false), qPrintable(rig.why));
    QVERIFY(rig.makeLink());

    QTest::ignoreMessage(QtWarningMsg, "unable to find Datalink interface number");
    QCOMPARE(rig.link->claimDatalinkInterface(), true);
    QCOMPARE(rig.link->getDatalinkInterfaceNumber(), -1);
    QCOMPARE(rig.testbed.claimedInterfaces(rig.deviceId), QList<int>{});

    // What the factory does with a link it could not claim.
    rig.destroyLink();
    QCOMPARE(rig.recorder->deleteUsbCount, 1);
    QCOMPARE(rig.recorder->deleted.interfaceNumber, -1);
    QVERIFY(rig.recorder->deleted.handle);
    QVERIFY(rig.testbed.urbs(rig.deviceId).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(rig.testbed.openHandles(rig.deviceId), 0, scaled(2000));
}

void TestUsbDataLink::takesTheEndpointsOfTheDataLinkInterface_data()
{
    QTest::addColumn<UsbDeviceSpec>("spec");
    QTest::addColumn<int>("interfaceNumber");

    QTest::newRow("IN listed first") << UsbDeviceSpec::pelto(512) << 0;
    // The direction comes from the address, not from the order.
    QTest::newRow("OUT listed first")
        << withEndpoints({ { 0x01, 0x02, 512, 0 }, { 0x81, 0x02, 512, 0 } }) << 0;
    // Position 0: class and subclass of the data link, protocol 1, endpoints 0x82/0x02 of 64.
    QTest::newRow("another vendor interface ahead")
        << UsbDeviceSpec::peltoWithVendorInterfaceAt(1, 512) << 1;
    UsbDeviceSpec both = UsbDeviceSpec::peltoWithVendorInterfaceAt(1, 512);
    both.interfaces[1].endpoints = { { 0x01, 0x02, 512, 0 }, { 0x81, 0x02, 512, 0 } };
    QTest::newRow("another vendor interface ahead, OUT listed first") << both << 1;
}

// Accepted layouts: the link claims the data-link interface, reads from its IN endpoint and writes
// to its OUT endpoint, and a frame goes out and comes back.
void TestUsbDataLink::takesTheEndpointsOfTheDataLinkInterface()
{
    QFETCH(UsbDeviceSpec, spec);
    QFETCH(int, interfaceNumber);

    UsbLinkRig rig;
    QVERIFY2(rig.plug(spec), qPrintable(rig.why));
    QVERIFY2(rig.connectLink(), qPrintable(rig.why));
    QCOMPARE(rig.link->getDatalinkInterfaceNumber(), interfaceNumber);
    QCOMPARE(rig.testbed.claimedInterfaces(rig.deviceId), QList<int>{ interfaceNumber });
    QCOMPARE(rig.link->inEndpoint(), quint8(0x81));
    QCOMPARE(rig.link->outEndpoint(), quint8(0x01));
    QCOMPARE(rig.link->maxPacketSize(), quint16(512));

    const QByteArray payload = usbPattern(600, 7);
    rig.link->sendPacket(5, true, usbFrame(5, payload));
    QTRY_COMPARE_WITH_TIMEOUT(rig.simPayloads(5), QList<QByteArray>{ payload }, scaled(5000));
    QCOMPARE(urbLengths(rig.urbsOn(0x01)), (QList<int>{ 512, 94 }));

    // The simulator echoes channel 5: the frame comes back through the IN endpoint.
    QTRY_COMPARE_WITH_TIMEOUT(rig.recorder->payloadsOn(5), QList<QByteArray>{ payload },
                              scaled(5000));
    QVERIFY(!rig.urbsOn(0x81).isEmpty());
    QVERIFY(rig.urbsOn(0x82).isEmpty());
    QVERIFY(rig.urbsOn(0x02).isEmpty());
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Invalid));
}

void TestUsbDataLink::refusesUnusableEndpoints_data()
{
    QTest::addColumn<UsbDeviceSpec>("spec");

    QTest::newRow("one endpoint") << UsbDeviceSpec::peltoWithOneEndpoint(512);
    QTest::newRow("packet size 0") << UsbDeviceSpec::pelto(0);
    QTest::newRow("OUT packet size 0")
        << withEndpoints({ { 0x81, 0x02, 512, 0 }, { 0x01, 0x02, 0, 0 } });
    QTest::newRow("interrupt endpoint")
        << withEndpoints({ { 0x81, 0x03, 64, 1 }, { 0x01, 0x02, 64, 0 } });
    QTest::newRow("both IN") << withEndpoints({ { 0x81, 0x02, 512, 0 }, { 0x82, 0x02, 512, 0 } });
    QTest::newRow("both OUT") << withEndpoints({ { 0x01, 0x02, 512, 0 }, { 0x02, 0x02, 512, 0 } });
}

void TestUsbDataLink::refusesUnusableEndpoints()
{
    QFETCH(UsbDeviceSpec, spec);

    UsbLinkRig rig;
    QVERIFY2(rig.plug(spec), qPrintable(rig.why));
    QVERIFY(rig.makeLink());
    QCOMPARE(rig.link->claimDatalinkInterface(), false);

    QTest::ignoreMessage(QtWarningMsg, "failed to initialize usb");
    rig.link->startReadTransfer();
    QCOMPARE(rig.link->getState(), AbstractDataLink::Invalid);
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Invalid), scaled(2000));
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Connected));

    // Nothing is read from or written to an interface the link cannot use.
    // (The link was Invalid before the frame came, so the writer drops it once it has taken it.)
    rig.link->sendPacket(5, true, usbFrame(5, "x"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.link->queuedFrames(), std::size_t(0), scaled(2000));
    QCOMPARE(rig.testbed.urbs(rig.deviceId).size(), 0);
}

void TestUsbDataLink::failedReadSubmissionNeverReportsConnected()
{
    UsbLinkRig rig;
    QVERIFY2(rig.plug(UsbDeviceSpec::pelto(512), false), qPrintable(rig.why));
    QVERIFY(rig.makeLink());
    QCOMPARE(rig.link->claimDatalinkInterface(), false);
    QVERIFY(rig.testbed.removeDevice(rig.deviceId));

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^error submitting read transfer: ")));
    rig.link->startReadTransfer();
    QCOMPARE(rig.link->getState(), AbstractDataLink::Invalid);
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder->sawState(AbstractDataLink::Invalid), scaled(2000));
    QVERIFY(!rig.recorder->sawState(AbstractDataLink::Connected));
    QCOMPARE(rig.recorder->states.count(AbstractDataLink::Invalid), 1);
}

QTEST_GUILESS_MAIN(TestUsbDataLink)
#include "tst_usbDataLink.moc"
