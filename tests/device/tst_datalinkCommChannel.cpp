#include "ChannelZeroMessages.h"
#include "DatalinkCommChannel.h"
#include "DeviceFrame.h"
#include "ErrorHandler.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;

static const QByteArray kIdentity = "ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";

// crcmod's CRC-32/MPEG-2 over bytes 4.. of every hex message given as an argument.
static QList<quint32> crcmodOverBody(const QList<QByteArray> &messages)
{
    static const char *code = R"(
import sys, crcmod.predefined
crc = crcmod.predefined.mkCrcFun('crc-32-mpeg')
for arg in sys.argv[1:]:
    print('%08x' % crc(bytes.fromhex(arg)[4:]))
)";
    QStringList args;
    for (const QByteArray &m : messages)
        args.append(QString::fromLatin1(m.toHex()));
    const ProcessResult r = runPython(QString::fromLatin1(code), args);
    QList<quint32> crcs;
    if (r.exitCode != 0) {
        qWarning() << "python:" << r.err;
        return crcs;
    }
    for (const QByteArray &line : r.out.split('\n'))
        if (!line.trimmed().isEmpty())
            crcs.append(line.trimmed().toUInt(nullptr, 16));
    return crcs;
}

static quint32 storedCrc(const QByteArray &m, int offset = 0)
{
    return qFromLittleEndian<quint32>(m.constData() + offset);
}

// Expected bytes of a host message with the CRC field left zero.
static QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

static QByteArray expectedHeartbeat()
{
    return hex("00000000 0000 3800 00 00 0100") + hex("0000 0000 00 01 0000") + kIdentity
        + QByteArray(1, '\0') + hex("ffffffff");
}

enum Action {
    DeviceInfoUsb,
    SetInterfaceDirectUsb,
    SetInterfaceOnActiveWifi,
    SetInterfaceNone,
    KeyRequest,
    HeartbeatNow
};

struct Sent
{
    bool direct;
    bool reliable;
    QByteArray message;
    AbstractDataLink::LinkType link;
};

class TestDatalinkCommChannel : public QObject
{
    Q_OBJECT

private slots:
    void fixtureCrcAgreesWithCrcmod();
    void hostMessages_data();
    void hostMessages();
    void helloIsTheFixedFrame();
    void heartbeatParsing_data();
    void heartbeatParsing();
    void repliesAndDamagedMessages_data();
    void repliesAndDamagedMessages();
    void versionFromFirstValidMessageOnly();
    void unsupportedVersionStarvesWatchdog();
    void onlyValidHeartbeatsRestartWatchdog_data();
    void onlyValidHeartbeatsRestartWatchdog();
    void heartbeatTimerAndWatchdogLifecycle();
};

// The device-side fixtures seal their messages with their own CRC; it must be the real
// CRC-32/MPEG-2, or every test that feeds them would check the program against a wrong oracle.
void TestDatalinkCommChannel::fixtureCrcAgreesWithCrcmod()
{
    QCOMPARE(devmsg::crc32Mpeg2("123456789"), 0x0376E6E7u); // the catalogued check value
    QList<QByteArray> messages{ devmsg::heartbeat(1, "PX123456", 1, true, 2, 13),
                                devmsg::heartbeat(0, "OLD1", 1, false, 1, 0, 52),
                                devmsg::setInterfaceReply(1, 2, true),
                                devmsg::keyReply(1, QByteArray(32, 'K'), QByteArray(16, 'V')),
                                devmsg::hello(1) };
    for (int size : { 5, 6, 7, 13, 64, 255, 1018 }) {
        QByteArray noise(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            noise[i] = char((i * 151 + size * 7 + 3) & 0xFF);
        messages.append(noise);
    }
    const QList<quint32> crcs = crcmodOverBody(messages);
    QCOMPARE(crcs.size(), messages.size());
    for (qsizetype i = 0; i < messages.size(); ++i)
        QCOMPARE(devmsg::crc32Mpeg2(messages[i].mid(4)), crcs[i]);
    // The sealed fixtures carry it in their CRC field.
    for (qsizetype i = 0; i < 5; ++i)
        QCOMPARE(storedCrc(messages[i]), crcs[i]);
}

void TestDatalinkCommChannel::hostMessages_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("direct");
    QTest::addColumn<int>("link");

    const QByteArray hb = expectedHeartbeat();
    QTest::newRow("heartbeat, 56 bytes, version 1") << int(HeartbeatNow) << hb << false << 0;
    QTest::newRow("device-info request, 68 bytes, version 0, directly on USB")
        << int(DeviceInfoUsb) << hex("00000000 0000 4400 00 00 0000") + hb << true
        << int(AbstractDataLink::USB);
    QTest::newRow("set interface USB without active link, directly on USB")
        << int(SetInterfaceDirectUsb)
        << hex("00000000 0100 3000 00 00 0000") + kIdentity + hex("00 0100 0000") << true
        << int(AbstractDataLink::USB);
    QTest::newRow("set interface WiFi on the active link")
        << int(SetInterfaceOnActiveWifi)
        << hex("00000000 0100 3000 00 00 0000") + kIdentity + hex("00 0200 0000") << false << 0;
    QTest::newRow("set interface None on the active link")
        << int(SetInterfaceNone)
        << hex("00000000 0100 3000 00 00 0000") + kIdentity + hex("00 0000 0000") << false << 0;
    QTest::newRow("UDP key request, 12 bytes, directly on Wi-Fi")
        << int(KeyRequest) << hex("00000000 0300 0c00 00 00 0000") << true
        << int(AbstractDataLink::WiFi);
}

void TestDatalinkCommChannel::hostMessages()
{
    QFETCH(int, action);
    QFETCH(QByteArray, expected);
    QFETCH(bool, direct);
    QFETCH(int, link);

    DatalinkCommChannel comm(kIdentity);
    QList<Sent> sent;
    connect(&comm, &DatalinkCommChannel::Write, this,
            [&](DatalinkChannelId channel, bool reliable, const QByteArray &m) {
                QCOMPARE(channel, DatalinkChannelId(0));
                sent.append({ false, reliable, m, AbstractDataLink::None });
            });
    connect(&comm, &DatalinkCommChannel::WriteDirect, this,
            [&](DatalinkChannelId channel, bool reliable, const QByteArray &m,
                AbstractDataLink::LinkType l) {
                QCOMPARE(channel, DatalinkChannelId(0));
                sent.append({ true, reliable, m, l });
            });

    switch (Action(action)) {
    case HeartbeatNow:
        comm.generateHeartbeat();
        break;
    case DeviceInfoUsb:
        comm.requestDeviceInfo(AbstractDataLink::USB);
        break;
    case SetInterfaceDirectUsb:
        comm.setInterface(AbstractDataLink::USB, true);
        break;
    case SetInterfaceOnActiveWifi:
        comm.setInterface(AbstractDataLink::WiFi);
        break;
    case SetInterfaceNone:
        comm.setInterface(AbstractDataLink::None, false);
        break;
    case KeyRequest:
        comm.getAesKey();
        break;
    }

    QCOMPARE(sent.size(), 1);
    const Sent &s = sent.first();
    QCOMPARE(s.direct, direct);
    QCOMPARE(int(s.link), link);
    QVERIFY(s.reliable);
    QCOMPARE(s.message.size(), expected.size());
    // CRC fields are compared with crcmod below.
    QByteArray withoutCrcs = s.message;
    withoutCrcs.replace(0, 4, QByteArray(4, '\0'));
    if (withoutCrcs.size() == 68)
        withoutCrcs.replace(12, 4, QByteArray(4, '\0'));
    QCOMPARE(withoutCrcs.toHex(' '), expected.toHex(' '));

    // Every CRC, the nested heartbeat's included, against crcmod.
    QList<QByteArray> checked{ s.message };
    if (s.message.size() == 68)
        checked.append(s.message.mid(12));
    const QList<quint32> crcs = crcmodOverBody(checked);
    QCOMPARE(crcs.size(), checked.size());
    QCOMPARE(storedCrc(s.message), crcs.at(0));
    if (checked.size() == 2)
        QCOMPARE(storedCrc(s.message, 12), crcs.at(1));
}

void TestDatalinkCommChannel::helloIsTheFixedFrame()
{
    QByteArray hello("prefix");
    buildHelloMessage(hello);
    QVERIFY(hello.startsWith("prefix"));
    hello.remove(0, 6);
    QCOMPARE(deviceframe::buildFrame(0, hello).toHex(' '),
             QByteArray("cd ab 00 00 12 00 31 9d be b9 02 00 0c 00 00 00 01 00"));
    QCOMPARE(crcmodOverBody({ hello }), QList<quint32>{ 0xb9be9d31u });
}

void TestDatalinkCommChannel::heartbeatParsing_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<int>("family");
    QTest::addColumn<bool>("active");
    QTest::addColumn<int>("interface");
    QTest::addColumn<int>("ext");
    QTest::addColumn<bool>("unsafeSerial");

    using namespace devmsg;
    QTest::newRow("version 1") << heartbeat(1, "PX123456", 1, true, 2, 13) << true
                               << QString("PX123456") << 1 << true << 2 << 13 << false;
    QTest::newRow("version 1, negative extended type")
        << heartbeat(1, "S1", 2, false, 1, -1) << true << QString("S1") << 2 << false << 1 << -1
        << false;
    QTest::newRow("version 0, 52 bytes") << heartbeat(0, "OLD1", 1, false, 1, 0, 52) << true
                                         << QString("OLD1") << 1 << false << 1 << -1 << false;
    QTest::newRow("version 0 ignores bytes 52..55")
        << heartbeat(0, "OLD2", 1, true, 0, 21) << true << QString("OLD2") << 1 << true << 0 << -1
        << false;
    QTest::newRow("serial without zero byte ends at its field")
        << heartbeat(1, QByteArray(32, 'Q'), 1, true, 1, 5) << true << QString(32, 'Q') << 1 << true
        << 1 << 5 << false;
    QTest::newRow("empty serial of an unprogrammed board")
        << heartbeat(1, "", 1, true, 1, 0) << true << QString("") << 1 << true << 1 << 0 << false;
    QTest::newRow("dots inside a serial are fine")
        << heartbeat(1, "v1.2-A", 1, true, 1, 0) << true << QString("v1.2-A") << 1 << true << 1 << 0
        << false;
    QTest::newRow("version 1 shorter than 56 bytes")
        << heartbeat(1, "X", 1, true, 1, 0, 52) << false << QString("") << 0 << false << 0 << 0
        << false;
    QTest::newRow("version 0 shorter than 52 bytes")
        << heartbeat(0, "X", 1, true, 1, 0, 40) << false << QString("") << 0 << false << 0 << 0
        << false;
    QTest::newRow("header only") << heartbeat(1, "", 0, false, 0, 0, 12) << false << QString("")
                                 << 0 << false << 0 << 0 << false;
    const QList<QByteArray> unsafe{ "../../etc",
                                    "..",
                                    ".",
                                    "a/b",
                                    "a\\b",
                                    QByteArray("a\x01z"),
                                    QByteArray("caf\xc3\xa9"),
                                    QByteArray("tab\there") };
    for (const QByteArray &s : unsafe)
        QTest::addRow("unsafe serial %s", s.toHex().constData())
            << heartbeat(1, s, 1, true, 1, 0) << false << QString("") << 0 << false << 0 << 0
            << true;
}

void TestDatalinkCommChannel::heartbeatParsing()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, accepted);

    DatalinkCommChannel comm(kIdentity);
    QSignalSpy heartbeats(&comm, &DatalinkCommChannel::HeartbeatReceived);
    QFETCH(bool, unsafeSerial);
    ErrorHandler::instance()->clearNotifications();
    if (unsafeSerial) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("unusable serial number"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("serial number"));
    }
    comm.dataReady(0, packet);
    comm.dataReady(0, packet);
    QCOMPARE(heartbeats.size(), accepted ? 2 : 0);
    // A device the program will not show is a failure the person must see: one notification,
    // however many heartbeats come.
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), unsafeSerial ? 1 : 0);
    if (unsafeSerial)
        QCOMPARE(told.first()->getTitle(), QStringLiteral("Device not shown"));
    ErrorHandler::instance()->clearNotifications();
    if (!accepted)
        return;

    QFETCH(QString, serial);
    QFETCH(int, family);
    QFETCH(bool, active);
    QFETCH(int, interface);
    QFETCH(int, ext);
    const QList<QVariant> args = heartbeats.first();
    QCOMPARE(args.at(0).toString(), serial);
    QCOMPARE(int(args.at(1).value<dlComm::Type>()), family);
    QCOMPARE(args.at(2).toBool(), active);
    QCOMPARE(int(args.at(3).value<AbstractDataLink::LinkType>()), interface);
    QCOMPARE(args.at(4).toInt(), ext);
}

void TestDatalinkCommChannel::repliesAndDamagedMessages_data()
{
    QTest::addColumn<uint16_t>("channel");
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("expect"); // "", "set:<link>:<accepted>", "keys"
    QTest::addColumn<bool>("valid"); // passes the size and CRC checks, so fixes the version

    using namespace devmsg;
    const QByteArray key = QByteArray(32, 'K');
    const QByteArray iv = QByteArray(16, 'V');
    const uint16_t ch0 = 0;
    QTest::newRow("set interface accepted")
        << ch0 << setInterfaceReply(1, 2, true) << QString("set:2:1") << true;
    QTest::newRow("set interface refused")
        << ch0 << setInterfaceReply(1, 1, false) << QString("set:1:0") << true;
    QTest::newRow("set interface reply of 47 bytes")
        << ch0 << setInterfaceReply(0, 1, true, 47) << QString("set:1:1") << true;
    QTest::newRow("set interface reply of 46 bytes")
        << ch0 << setInterfaceReply(0, 1, true, 46) << QString("") << true;
    QTest::newRow("key reply") << ch0 << keyReply(1, key, iv) << QString("keys") << true;
    QTest::newRow("key reply of 59 bytes")
        << ch0 << keyReply(1, key, iv, 59) << QString("") << true;
    QTest::newRow("type 2 from the device is ignored") << ch0 << hello(1) << QString("") << true;
    QTest::newRow("other channel")
        << uint16_t(1) << setInterfaceReply(1, 2, true) << QString("") << false;
    QByteArray badCrc = setInterfaceReply(1, 2, true);
    badCrc[46] = 0;
    QTest::newRow("wrong CRC") << ch0 << badCrc << QString("") << false;
    QByteArray badLength = setInterfaceReply(1, 2, true);
    badLength.append('\0');
    QTest::newRow("length field differs from size") << ch0 << badLength << QString("") << false;
    QTest::newRow("11 bytes") << ch0 << setInterfaceReply(1, 2, true).left(11) << QString("")
                              << false;
    QTest::newRow("empty") << ch0 << QByteArray() << QString("") << false;
}

void TestDatalinkCommChannel::repliesAndDamagedMessages()
{
    QFETCH(uint16_t, channel);
    QFETCH(QByteArray, packet);
    QFETCH(QString, expect);

    DatalinkCommChannel comm(kIdentity);
    QSignalSpy versions(&comm, &DatalinkCommChannel::DatalinkVersionReceived);
    QSignalSpy sets(&comm, &DatalinkCommChannel::SetActiveDatalinkReceived);
    QSignalSpy keys(&comm, &DatalinkCommChannel::UdpAESKeysReceived);
    QSignalSpy heartbeats(&comm, &DatalinkCommChannel::HeartbeatReceived);
    comm.dataReady(channel, packet);

    QCOMPARE(heartbeats.size(), 0);
    QFETCH(bool, valid);
    // Damaged or foreign messages do not fix the datalink version either.
    QCOMPARE(versions.size(), valid ? 1 : 0);
    QCOMPARE(comm.datalinkVersion() != -1, valid);
    if (expect.startsWith("set:")) {
        QCOMPARE(sets.size(), 1);
        QCOMPARE(QString("set:%1:%2")
                     .arg(int(sets.first().at(0).value<AbstractDataLink::LinkType>()))
                     .arg(int(sets.first().at(1).toBool())),
                 expect);
    } else {
        QCOMPARE(sets.size(), 0);
    }
    if (expect == "keys") {
        QCOMPARE(keys.size(), 1);
        QCOMPARE(keys.first().at(0).toByteArray(), QByteArray(32, 'K'));
        QCOMPARE(keys.first().at(1).toByteArray(), QByteArray(16, 'V'));
    } else {
        QCOMPARE(keys.size(), 0);
    }
}

void TestDatalinkCommChannel::versionFromFirstValidMessageOnly()
{
    DatalinkCommChannel comm(kIdentity);
    QSignalSpy versions(&comm, &DatalinkCommChannel::DatalinkVersionReceived);
    QSignalSpy heartbeats(&comm, &DatalinkCommChannel::HeartbeatReceived);

    QByteArray damaged = devmsg::heartbeat(5, "X", 1, true, 1, 9);
    damaged[30] = 'Y';
    comm.dataReady(0, damaged);
    QCOMPARE(comm.datalinkVersion(), -1);

    // A set-interface reply fixes version 0; a later version-1 heartbeat is still read as
    // version 0 (no extended type).
    comm.dataReady(0, devmsg::setInterfaceReply(0, 1, false));
    comm.dataReady(0, devmsg::heartbeat(1, "X", 1, true, 1, 9));
    QCOMPARE(versions.size(), 1);
    QCOMPARE(versions.first().at(0).toInt(), 0);
    QCOMPARE(comm.datalinkVersion(), 0);
    QCOMPARE(heartbeats.size(), 1);
    QCOMPARE(heartbeats.first().at(4).toInt(), -1);
}

void TestDatalinkCommChannel::unsupportedVersionStarvesWatchdog()
{
    DatalinkCommChannel comm(kIdentity);
    comm.setTimings({ scaled(1000), scaled(300), 3000 });
    QSignalSpy unsupported(&comm, &DatalinkCommChannel::unsupportedDeviceConnected);
    QSignalSpy heartbeats(&comm, &DatalinkCommChannel::HeartbeatReceived);
    QSignalSpy timeouts(&comm, &DatalinkCommChannel::HeartbeatWatchdogTimeout);
    comm.startHeartbeat();
    for (int i = 0; i < 3; ++i)
        comm.dataReady(0, devmsg::heartbeat(2, "X", 1, true, 1, 0));
    QCOMPARE(comm.datalinkVersion(), 2);
    QCOMPARE(heartbeats.size(), 0);
    QCOMPARE(unsupported.size(), 3);
    QCOMPARE(unsupported.first().at(0).toString(), QString("Invalid datalink version."));
    QVERIFY(waitFor([&] { return timeouts.size() == 1; }, 2000));
}

void TestDatalinkCommChannel::onlyValidHeartbeatsRestartWatchdog_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<bool>("restarts");

    const QByteArray good = devmsg::heartbeat(1, "W1", 1, true, 1, 0);
    QByteArray badCrc = good;
    badCrc[40] = 'Z';
    QByteArray badLength = good;
    devmsg::putU16(badLength, 6, 55);
    devmsg::seal(badLength);
    QTest::newRow("valid heartbeat") << good << true;
    QTest::newRow("wrong CRC") << badCrc << false;
    QTest::newRow("wrong length field") << badLength << false;
    QTest::newRow("short heartbeat") << devmsg::heartbeat(1, "W1", 1, true, 1, 0, 50) << false;
}

// The watchdog runs W and a message arrives after W/2. A restarted watchdog fires no earlier
// than W after the message; an untouched one fires W after the start. A loaded machine only makes
// timers late, so a restarted watchdog cannot pass for an untouched one, and an untouched one
// would have to be late by nearly half the watchdog time to pass for a restarted one.
void TestDatalinkCommChannel::onlyValidHeartbeatsRestartWatchdog()
{
    QFETCH(QByteArray, packet);
    QFETCH(bool, restarts);

    const int watchdog = scaled(2000);
    DatalinkCommChannel comm(kIdentity);
    comm.setTimings({ scaled(60000), watchdog, 3000 });
    QSignalSpy timeouts(&comm, &DatalinkCommChannel::HeartbeatWatchdogTimeout);
    QElapsedTimer clock;
    clock.start();
    comm.startHeartbeat();
    QTest::qWait(watchdog / 2);
    QVERIFY(timeouts.isEmpty()); // the message must meet a running watchdog
    const qint64 fedAt = clock.elapsed();
    comm.dataReady(0, packet);
    QVERIFY(timeouts.wait(3 * watchdog));
    const qint64 firedAt = clock.elapsed();
    // A coarse timer may fire up to 5 % early.
    const qint64 earliestAfterRestart = fedAt + watchdog * 95 / 100;
    QVERIFY2(restarts == (firedAt >= earliestAfterRestart),
             qPrintable(QStringLiteral("fed at %1 ms, fired at %2 ms").arg(fedAt).arg(firedAt)));
    QCOMPARE(timeouts.size(), 1);
}

void TestDatalinkCommChannel::heartbeatTimerAndWatchdogLifecycle()
{
    const int watchdog = scaled(200);
    DatalinkCommChannel comm(kIdentity);
    comm.setTimings({ 20, watchdog, 3000 });
    QSignalSpy writes(&comm, &DatalinkCommChannel::Write);
    QSignalSpy timeouts(&comm, &DatalinkCommChannel::HeartbeatWatchdogTimeout);
    QVERIFY(!comm.isHeartbeatRunning());
    QVERIFY(!comm.isWatchdogRunning());

    comm.startHeartbeat();
    QCOMPARE(writes.size(), 1); // the first heartbeat goes out at once
    QCOMPARE(writes.first().at(2).toByteArray(), comm.heartbeatMessage());
    QVERIFY(waitFor([&] { return writes.size() >= 4; }, 2000));
    for (const QList<QVariant> &w : std::as_const(writes))
        QCOMPARE(w.at(2).toByteArray(), comm.heartbeatMessage());

    // Stopping ends the watchdog only; heartbeats continue for whatever link is active. (The
    // watchdog may already have fired while the heartbeats were counted on a slow machine.)
    comm.stopHeartbeat();
    QVERIFY(!comm.isWatchdogRunning());
    const qsizetype firedBeforeStop = timeouts.size();
    const qsizetype before = writes.size();
    QVERIFY(waitFor([&] { return writes.size() > before + 2; }, 2000));
    QTest::qWait(3 * watchdog); // nothing may fire: three watchdog times
    QCOMPARE(timeouts.size(), firedBeforeStop);

    // A restart replaces the watchdog; exactly one time-out follows.
    comm.startHeartbeat();
    comm.startHeartbeat();
    QVERIFY(timeouts.wait(3 * watchdog));
    QTest::qWait(3 * watchdog);
    QCOMPARE(timeouts.size(), firedBeforeStop + 1);
}

QTEST_GUILESS_MAIN(TestDatalinkCommChannel)
#include "tst_datalinkCommChannel.moc"
