// The Wi-Fi link against peers written by others: `openssl s_server` as the device's TLS stream
// and a Python datagram peer (python3-cryptography) as its encrypted UDP side. Timings are
// shortened through the link's settings; one test keeps the real hello interval. Where a test
// shows that something does not happen, it waits many of the injected intervals.
#include "DatalinkManager.h"
#include "WifiDatalink.h"

#include "TestSupport.h"
#include "WifiTestPeers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <algorithm>
#include <memory>

using namespace nimbrel::test;
using namespace wifitest;

namespace {

const QHostAddress kDevice(QHostAddress::LocalHost);
constexpr int kHelloIntervalMs = 50;
constexpr int kReconnectDelayMs = 20;

WifiDatalinkSettings testSettings(quint16 streamPort, quint16 udpPort)
{
    WifiDatalinkSettings settings;
    settings.streamPort = streamPort;
    settings.deviceUdpPort = udpPort;
    settings.localUdpPort = 0;
    settings.helloIntervalMs = kHelloIntervalMs;
    settings.reconnectDelayMs = kReconnectDelayMs;
    // No host certificate unless a test provides one.
    settings.certificateFile = testRoot() + QStringLiteral("/absent/cert.pem");
    settings.privateKeyFile = testRoot() + QStringLiteral("/absent/prvtkey.pem");
    return settings;
}

QList<AbstractDataLink::DatalinkState> states(const QSignalSpy &spy)
{
    QList<AbstractDataLink::DatalinkState> list;
    for (const QList<QVariant> &arguments : spy)
        list.append(arguments.at(1).value<AbstractDataLink::DatalinkState>());
    return list;
}

} // namespace

class tst_WifiDatalink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void tlsCarriesFramesBothWays();
    void hostCertificate_data();
    void hostCertificate();
    void selfTimeout_data();
    void selfTimeout();
    void streamErrors_data();
    void streamErrors();
    void datagramErrorKeepsStreamUp();

    void hostDatagrams_data();
    void hostDatagrams();
    void noDatagramBeforeKeys();
    void deviceDatagrams_data();
    void deviceDatagrams();
    void helloUntilDeviceAnswers_data();
    void helloUntilDeviceAnswers();
    void helloAtRealInterval();
    void busyDatagramPortFallsBack();

private:
    // A link over plain TCP to `stream` with encrypted datagrams to `udp`, keys not yet given.
    std::unique_ptr<WifiDatalink> datagramLink(const StreamPeer &stream, const UdpPeer &udp,
                                               WifiDatalinkSettings settings = {});

    QString m_dir;
    QString m_serverCertificate;
    QString m_serverKey;
    QString m_hostCertificate;
    QString m_hostKey;
    QString m_otherKey;
    QByteArray m_key;
    QByteArray m_iv;
};

void tst_WifiDatalink::initTestCase()
{
    m_dir = QDir(testRoot()).filePath(QStringLiteral("wifi"));
    QVERIFY(QDir().mkpath(m_dir));
    m_serverCertificate = m_dir + QStringLiteral("/server-cert.pem");
    m_serverKey = m_dir + QStringLiteral("/server-key.pem");
    m_hostCertificate = m_dir + QStringLiteral("/cert.pem");
    m_hostKey = m_dir + QStringLiteral("/prvtkey.pem");
    m_otherKey = m_dir + QStringLiteral("/other-key.pem");
    QVERIFY(makeCertificate(m_serverCertificate, m_serverKey, QStringLiteral("127.0.0.1")));
    QVERIFY(makeCertificate(m_hostCertificate, m_hostKey, QStringLiteral("nimbrel-host")));
    QVERIFY(makeCertificate(m_dir + QStringLiteral("/other-cert.pem"), m_otherKey,
                            QStringLiteral("other")));
    QVERIFY(QSslSocket::supportsSsl());
    m_key = randomBytes(32);
    m_iv = randomBytes(16);
}

void tst_WifiDatalink::tlsCarriesFramesBothWays()
{
    OpensslServer server;
    QVERIFY(server.start(m_serverCertificate, m_serverKey));

    // Driven by the link manager: once TLS is up it asks for the device information.
    DatalinkManager manager;
    auto *link = new WifiDatalink(nullptr, kDevice, true, true,
                                  testSettings(server.port(), freeUdpPort()));
    QSignalSpy successSpy(link, &WifiDatalink::connectionSuccesful);
    QCOMPARE(manager.addDatalink(link), 0); // cuts every earlier receiver off the link
    QSignalSpy stateSpy(link, &AbstractDataLink::datalinkStateSignal);
    link->initialise();
    QVERIFY(waitFor([&] { return link->getState() == AbstractDataLink::Connected; }, 10000));
    QCOMPARE(states(stateSpy), QList{ AbstractDataLink::Connected });
    QCOMPARE(successSpy.count(), 1);

    // Device-info request: frame header on channel 0 with length 74, then a channel-0 message of
    // type 0 and length 68.
    const QByteArray header = QByteArray::fromHex("cdab00004a00");
    QVERIFY(waitFor([&] { return server.output().contains(header); }, 5000));
    const QByteArray output = server.output();
    const qsizetype at = output.indexOf(header);
    QVERIFY(output.size() >= at + 74);
    QCOMPARE(output.mid(at + 6 + 4, 4).toHex(), QByteArray("00004400"));

    // A reliable frame of the largest size goes out whole.
    const QByteArray big = frame(5, pattern(1018, 'a'));
    link->sendPacket(5, true, big);
    QVERIFY(waitFor([&] { return server.output().contains(big); }, 5000));

    // Frames from the device, two in one write and one cut in two writes.
    QSignalSpy received(link, &AbstractDataLink::packetReceived);
    const QByteArray a = frame(1, "status");
    const QByteArray b = frame(6, pattern(300, 'm'));
    const QByteArray c = frame(9, pattern(40, 'f'));
    server.send(a + b + c.left(10));
    QVERIFY(waitFor([&] { return received.count() >= 2; })); // c's head has been read
    server.send(c.mid(10));
    QVERIFY(waitFor([&] { return received.count() >= 3; }, 5000));
    QCOMPARE(frames(received), (QByteArrayList{ a, b, c }));

    // Going away says nothing more: the owner may be half-destroyed itself.
    const qsizetype before = stateSpy.count();
    delete link;
    QCOMPARE(stateSpy.count(), before);
}

void tst_WifiDatalink::hostCertificate_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("presented");

    // The device asks for a client certificate (optional): the host offers one only as a whole
    // pair; a lone or mismatched half must not break the TLS start.
    QTest::newRow("pair") << m_hostCertificate << m_hostKey << true;
    QTest::newRow("certificate without key")
        << m_hostCertificate << QStringLiteral("missing.pem") << false;
    QTest::newRow("key without certificate") << QStringLiteral("missing.pem") << m_hostKey << false;
    QTest::newRow("key of another certificate") << m_hostCertificate << m_otherKey << false;
    QTest::newRow("neither") << QStringLiteral("missing.pem") << QStringLiteral("missing2.pem")
                             << false;
}

void tst_WifiDatalink::hostCertificate()
{
    QFETCH(QString, certificate);
    QFETCH(QString, key);
    QFETCH(bool, presented);

    OpensslServer server;
    QVERIFY(server.start(m_serverCertificate, m_serverKey,
                         { QStringLiteral("-verify"), QStringLiteral("1") }));
    WifiDatalinkSettings settings = testSettings(server.port(), freeUdpPort());
    settings.certificateFile = QDir(m_dir).filePath(certificate);
    settings.privateKeyFile = QDir(m_dir).filePath(key);
    WifiDatalink link(nullptr, kDevice, true, true, settings);
    link.initialise();
    QVERIFY(waitFor([&] { return link.getState() != AbstractDataLink::Created; }, 10000));
    QCOMPARE(link.getState(), AbstractDataLink::Connected);

    // s_server prints the client certificate's subject once the handshake is done.
    QVERIFY(waitFor([&] { return server.output().contains("CIPHER is"); }, 5000));
    QCOMPARE(server.output().contains("nimbrel-host"), presented);
}

void tst_WifiDatalink::selfTimeout_data()
{
    QTest::addColumn<bool>("armed");
    QTest::addColumn<bool>("deviceTalks");
    QTest::addColumn<bool>("invalidAfterwards");

    QTest::newRow("armed, silent device") << true << false << true;
    QTest::newRow("disarmed, silent device") << false << false << false;
    QTest::newRow("armed, device talks, then falls silent") << true << true << true;
}

void tst_WifiDatalink::selfTimeout()
{
    QFETCH(bool, armed);
    QFETCH(bool, deviceTalks);
    QFETCH(bool, invalidAfterwards);

    // Scaled, so that a slow handshake on a busy machine does not pass for a silent device.
    const int handshakeMs = scaled(800);
    const int selfTimeoutMs = scaled(500);
    OpensslServer server;
    QVERIFY(server.start(m_serverCertificate, m_serverKey));
    WifiDatalinkSettings settings = testSettings(server.port(), freeUdpPort());
    settings.handshakeTimeoutMs = handshakeMs;
    settings.selfTimeoutMs = selfTimeoutMs;
    WifiDatalink link(nullptr, kDevice, true, true, settings);
    link.setSelfTimeoutArmed(armed);
    QSignalSpy stateSpy(&link, &AbstractDataLink::datalinkStateSignal);
    QSignalSpy received(&link, &AbstractDataLink::packetReceived);
    link.initialise();
    QVERIFY(waitFor([&] { return link.getState() == AbstractDataLink::Connected; }, 10000));

    QElapsedTimer clock;
    clock.start();
    if (deviceTalks) {
        // Every stream read restarts the time-out: the device talks well past the handshake
        // allowance and several time-outs, each frame read long before the time-out runs out.
        while (clock.elapsed() < handshakeMs + 2 * selfTimeoutMs) {
            const qsizetype before = received.count();
            server.send(frame(1, "alive"));
            QVERIFY(waitFor([&] { return received.count() > before; }));
            QCOMPARE(link.getState(), AbstractDataLink::Connected);
            QTest::qWait(selfTimeoutMs / 10);
        }
        clock.restart();
    }
    if (invalidAfterwards) {
        QVERIFY(waitFor([&] { return link.getState() == AbstractDataLink::Invalid; }, 10000));
        if (deviceTalks)
            QVERIFY2(clock.elapsed() >= selfTimeoutMs / 2,
                     qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(3 * selfTimeoutMs); // the repeating timer must not report again
    } else {
        QTest::qWait(handshakeMs + 3 * selfTimeoutMs);
    }
    using S = AbstractDataLink;
    QCOMPARE(states(stateSpy),
             (invalidAfterwards ? QList{ S::Connected, S::Invalid } : QList{ S::Connected }));
}

void tst_WifiDatalink::streamErrors_data()
{
    QTest::addColumn<bool>("useSsl");
    QTest::addColumn<int>("peer"); // -1: nobody listens; else StreamPeer::Behaviour
    QTest::addColumn<int>("attempts");
    QTest::addColumn<bool>("connectedFirst");

    // Refused connections and failed handshakes are retried five times; the sixth failure ends
    // the link, and nothing is retried after that.
    QTest::newRow("refused, TLS") << true << -1 << 6 << false;
    QTest::newRow("refused, TCP") << false << -1 << 6 << false;
    QTest::newRow("handshake fails") << true << int(StreamPeer::NotTls) << 6 << false;
    // A closed stream ends the link at once.
    QTest::newRow("device closes, TCP") << false << int(StreamPeer::Close) << 1 << true;
    QTest::newRow("device closes during handshake") << true << int(StreamPeer::Close) << 1 << false;
}

void tst_WifiDatalink::streamErrors()
{
    QFETCH(bool, useSsl);
    QFETCH(int, peer);
    QFETCH(int, attempts);
    QFETCH(bool, connectedFirst);

    std::unique_ptr<StreamPeer> stream;
    quint16 port = freeTcpPort();
    if (peer >= 0) {
        stream = std::make_unique<StreamPeer>(StreamPeer::Behaviour(peer));
        port = stream->port();
    }
    WifiDatalink link(nullptr, kDevice, useSsl, true, testSettings(port, freeUdpPort()));
    QSignalSpy stateSpy(&link, &AbstractDataLink::datalinkStateSignal);
    link.initialise();
    auto *socket = link.findChild<QTcpSocket *>();
    QVERIFY(socket);
    QSignalSpy errorSpy(socket, &QAbstractSocket::errorOccurred);
    const auto tries = [&] { return stream ? stream->accepted() : int(errorSpy.count()); };

    QVERIFY(waitFor([&] { return link.getState() == AbstractDataLink::Invalid; }, 10000));
    QVERIFY(waitFor([&] { return tries() >= attempts; }));
    QTest::qWait(15 * kReconnectDelayMs); // fifteen retry delays: nothing may follow
    QCOMPARE(tries(), attempts);
    QList<AbstractDataLink::DatalinkState> expected;
    if (connectedFirst)
        expected.append(AbstractDataLink::Connected);
    expected.append(AbstractDataLink::Invalid);
    QCOMPARE(states(stateSpy), expected);
}

void tst_WifiDatalink::datagramErrorKeepsStreamUp()
{
    OpensslServer server;
    QVERIFY(server.start(m_serverCertificate, m_serverKey));
    const quint16 closedUdpPort = freeUdpPort();
    WifiDatalink link(nullptr, kDevice, true, true, testSettings(server.port(), closedUdpPort));
    QSignalSpy stateSpy(&link, &AbstractDataLink::datalinkStateSignal);
    QSignalSpy received(&link, &AbstractDataLink::packetReceived);
    link.initialise();
    auto *datagramSocket = link.findChild<QUdpSocket *>();
    QVERIFY(datagramSocket);
    QSignalSpy datagramErrors(datagramSocket, &QAbstractSocket::errorOccurred);
    QVERIFY(waitFor([&] { return link.getState() == AbstractDataLink::Connected; }, 10000));

    // Nobody listens on the device's datagram port: each hello comes back as an ICMP "port
    // unreachable", which the datagram socket reports as a refused connection.
    link.setAesKeys(m_key, m_iv);
    const auto refusals = [&] {
        return std::count_if(datagramErrors.cbegin(), datagramErrors.cend(), [](const auto &args) {
            return args.at(0).template value<QAbstractSocket::SocketError>()
                == QAbstractSocket::ConnectionRefusedError;
        });
    };
    QVERIFY(waitFor([&] { return refusals() >= 1; }));
    QCOMPARE(link.getState(), AbstractDataLink::Connected);
    QVERIFY(waitFor([&] { return refusals() >= 3; })); // and the hello carries on
    const QByteArray reliable = frame(1, "still here");
    link.sendPacket(1, true, reliable);
    QVERIFY(waitFor([&] { return server.output().contains(reliable); }, 5000));

    // Once the device listens, the datagram path works both ways again: the device hears the
    // hello, and its answer reaches the link and ends the hello.
    UdpPeer device;
    QVERIFY(device.start(m_key, m_iv, closedUdpPort));
    QVERIFY(waitFor([&] { return !device.datagrams().isEmpty(); }));
    const QByteArray answer = frame(1, "heard you");
    QVERIFY(device.command(sendCommand({ answer }, QStringLiteral("pkcs7"))));
    QVERIFY(waitFor([&] { return !received.isEmpty(); }));
    QCOMPARE(frames(received), QByteArrayList{ answer });
    QVERIFY(waitFor([&] { return !link.isHelloRunning(); }));
    QCOMPARE(states(stateSpy), QList{ AbstractDataLink::Connected });
}

std::unique_ptr<WifiDatalink> tst_WifiDatalink::datagramLink(const StreamPeer &stream,
                                                             const UdpPeer &udp,
                                                             WifiDatalinkSettings settings)
{
    settings.streamPort = stream.port();
    settings.deviceUdpPort = udp.port();
    auto link = std::make_unique<WifiDatalink>(nullptr, kDevice, false, true, settings);
    link->initialise();
    return link;
}

void tst_WifiDatalink::hostDatagrams_data()
{
    QTest::addColumn<int>("frameSize");
    QTest::addColumn<int>("datagramSize");

    QTest::newRow("empty payload") << 6 << 16;
    QTest::newRow("one block exactly: a whole padding block") << 16 << 32;
    QTest::newRow("hello-sized") << 18 << 32;
    QTest::newRow("largest frame") << 1024 << 1040;
}

void tst_WifiDatalink::hostDatagrams()
{
    QFETCH(int, frameSize);
    QFETCH(int, datagramSize);

    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    auto link = datagramLink(stream, udp, testSettings(0, 0));
    QVERIFY(waitFor([&] { return link->getState() == AbstractDataLink::Connected; }));
    link->setAesKeys(m_key, m_iv);

    // The hello: one frame on channel 0 carrying the 12-byte channel-0 hello (type 2, length
    // 12, datalink version 1), encrypted and PKCS#7-padded to 32 bytes.
    QVERIFY(waitFor([&] { return !udp.datagrams().isEmpty(); }));
    const QJsonObject hello = udp.datagrams().first();
    QCOMPARE(hello.value(QStringLiteral("len")).toInt(), 32);
    QVERIFY(hello.value(QStringLiteral("pkcs7")).toBool());
    const QByteArray helloFrame
        = QByteArray::fromHex(hello.value(QStringLiteral("frame")).toString().toLatin1());
    QCOMPARE(helloFrame.size(), 18);
    QCOMPARE(helloFrame.left(6).toHex(), QByteArray("cdab00001200"));
    QCOMPARE(helloFrame.mid(10, 4).toHex(), QByteArray("02000c00"));
    QCOMPARE(helloFrame.mid(16, 2).toHex(), QByteArray("0100"));

    const QByteArray sent = frame(3, pattern(frameSize - 6, 's'));
    link->sendPacket(3, false, sent);
    const QString hex = QString::fromLatin1(sent.toHex());
    QJsonObject match;
    QVERIFY(waitFor([&] {
        for (const QJsonObject &d : udp.datagrams()) {
            if (d.value(QStringLiteral("frame")).toString() == hex)
                match = d;
        }
        return !match.isEmpty();
    }));
    QCOMPARE(match.value(QStringLiteral("len")).toInt(), datagramSize);
    QVERIFY(match.value(QStringLiteral("pkcs7")).toBool());
}

void tst_WifiDatalink::noDatagramBeforeKeys()
{
    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    auto link = datagramLink(stream, udp, testSettings(0, 0));
    QVERIFY(waitFor([&] { return link->getState() == AbstractDataLink::Connected; }));

    // Neither an unreliable frame nor keys of the wrong size may put anything on the wire.
    link->sendPacket(3, false, frame(3, "early"));
    link->setAesKeys(m_key.left(31), m_iv);
    link->setAesKeys(m_key, m_iv.left(15));
    link->sendPacket(3, false, frame(3, "still early"));
    QTest::qWait(8 * kHelloIntervalMs);
    QVERIFY(udp.sync());
    QVERIFY(udp.datagrams().isEmpty());

    link->setAesKeys(m_key, m_iv);
    QVERIFY(waitFor([&] { return udp.datagrams().size() >= 3; }));
    for (const QJsonObject &d : udp.datagrams()) {
        QVERIFY(d.value(QStringLiteral("len")).toInt() > 0);
        QVERIFY(d.value(QStringLiteral("pkcs7")).toBool());
    }
}

void tst_WifiDatalink::deviceDatagrams_data()
{
    QTest::addColumn<QList<QJsonObject>>("commands");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray a = frame(1, "ack");
    const QByteArray b = frame(3, pattern(100, 'b'));
    const QByteArray c = frame(6, pattern(9, 'c')); // 15 bytes: one PKCS#7 byte
    const QByteArray d = frame(2, pattern(14, 'd')); // 20 bytes: twelve PKCS#7 bytes
    const QByteArray e = frame(9, pattern(10, 'e')); // 16 bytes: a whole PKCS#7 block
    const QByteArray big = frame(3, pattern(994, 'g')); // 1000 bytes: a 1008-byte datagram
    QByteArray looksPadded = frame(5, pattern(10, 'p')); // block-aligned, ends like PKCS#7
    looksPadded[14] = 2;
    looksPadded[15] = 2;
    QByteArray cut = frame(4, pattern(200, 'x'));
    cut.truncate(40);

    QTest::newRow("zero padding, two frames in one datagram")
        << QList{ sendCommand({ a, b }, QStringLiteral("zero")) } << QByteArrayList{ a, b };
    QTest::newRow("PKCS#7, several in a row") << QList{
        sendCommand({ c }, QStringLiteral("pkcs7")), sendCommand({ d }, QStringLiteral("pkcs7")),
        sendCommand({ e }, QStringLiteral("pkcs7")), sendCommand({ a, b }, QStringLiteral("pkcs7")),
        sendCommand({ c }, QStringLiteral("zero"))
    } << QByteArrayList{ c, d, e, a, b, c };
    QTest::newRow("block-aligned frame ending in padding-like bytes")
        << QList{ sendCommand({ looksPadded }, QStringLiteral("zero")),
                  sendCommand({ a }, QStringLiteral("pkcs7")) }
        << QByteArrayList{ looksPadded, a };
    QTest::newRow("1000-byte datagram dropped, 1008-byte one read")
        << QList{ rawCommand(randomBytes(1000)), sendCommand({ big }, QStringLiteral("zero")) }
        << QByteArrayList{ big };
    QTest::newRow("foreign source, wrong key, empty and garbage datagrams ignored") << QList{
        sendCommand({ a }, QStringLiteral("pkcs7"), QStringLiteral("foreign")),
        [&] {
            QJsonObject other = sendCommand({ a }, QStringLiteral("pkcs7"));
            other.insert(QStringLiteral("key"), QString::fromLatin1(randomBytes(32).toHex()));
            return other;
        }(),
        rawCommand({}), rawCommand(randomBytes(48)), sendCommand({ b }, QStringLiteral("pkcs7"))
    } << QByteArrayList{ b };
    // The cut frame's header promises more than the datagram holds: were it kept, the next
    // datagram's frame would be taken for its missing bytes.
    QTest::newRow("a cut-off frame does not swallow the next datagram")
        << QList{ sendCommand({ a, cut }, QStringLiteral("pkcs7")),
                  sendCommand({ c }, QStringLiteral("pkcs7")) }
        << QByteArrayList{ a, c };
    QTest::newRow("frames before a damaged header are kept")
        << QList{ sendCommand({ a, QByteArray(10, '\x11') }, QStringLiteral("zero")),
                  sendCommand({ e }, QStringLiteral("zero")) }
        << QByteArrayList{ a, e };
}

void tst_WifiDatalink::deviceDatagrams()
{
    QFETCH(QList<QJsonObject>, commands);
    QFETCH(QByteArrayList, expected);

    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    auto link = datagramLink(stream, udp, testSettings(0, 0));
    QSignalSpy received(link.get(), &AbstractDataLink::packetReceived);
    link->setAesKeys(m_key, m_iv);
    QVERIFY(waitFor([&] { return !udp.datagrams().isEmpty(); })); // the peer knows our endpoint

    for (const QJsonObject &command : std::as_const(commands))
        QVERIFY(udp.command(command));
    QVERIFY(deliverLastWord(udp, received));
    QCOMPARE(frames(received), expected + QByteArrayList{ lastWord() });
}

void tst_WifiDatalink::helloUntilDeviceAnswers_data()
{
    QTest::addColumn<QByteArrayList>("answer"); // the device's first datagram with frames
    QTest::addColumn<QString>("padding");
    QTest::addColumn<int>("paddingBytes"); // what the peer added

    const QString pkcs7 = QStringLiteral("pkcs7");
    QTest::newRow("PKCS#7, frame ends inside a block")
        << QByteArrayList{ frame(1, "x") } << pkcs7 << 9;
    // A frame that ends on a block boundary gets a whole block of sixteen 0x10 bytes.
    QTest::newRow("PKCS#7, frame ends on a block boundary")
        << QByteArrayList{ frame(1, pattern(10, 'w')) } << pkcs7 << 16;
    QTest::newRow("PKCS#7, two frames ending on a block boundary")
        << QByteArrayList{ frame(1, pattern(4, 'u')), frame(6, pattern(16, 'v')) } << pkcs7 << 16;
    QTest::newRow("PKCS#7, largest frame")
        << QByteArrayList{ frame(3, pattern(1018, 'l')) } << pkcs7 << 16;
    QTest::newRow("zeros, frame ends on a block boundary")
        << QByteArrayList{ frame(1, pattern(10, 'z')) } << QStringLiteral("zero") << 0;
}

void tst_WifiDatalink::helloUntilDeviceAnswers()
{
    QFETCH(QByteArrayList, answer);
    QFETCH(QString, padding);
    QFETCH(int, paddingBytes);

    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    auto link = datagramLink(stream, udp, testSettings(0, 0));
    QSignalSpy received(link.get(), &AbstractDataLink::packetReceived);
    QVERIFY(!link->isHelloRunning()); // encrypted: the hello waits for the keys
    link->setAesKeys(m_key, m_iv);
    QVERIFY(waitFor([&] { return udp.datagrams().size() >= 2; }));

    // Datagrams that carry no frame do not prove that the device heard us.
    QVERIFY(udp.command(rawCommand({})));
    QVERIFY(udp.command(rawCommand(QByteArray(32, '\0'))));
    QVERIFY(udp.command(
        sendCommand({ frame(1, "x") }, QStringLiteral("pkcs7"), QStringLiteral("foreign"))));
    qsizetype count = udp.datagrams().size();
    QVERIFY(waitFor([&] { return udp.datagrams().size() >= count + 3; }));
    QVERIFY(link->isHelloRunning());

    // The first frames from the device stop the hello, whatever padding follows them; the
    // padding is no frame, and later frames do not restart the hello.
    QVERIFY(udp.command(sendCommand(answer, padding)));
    QCOMPARE(udp.lastSent().value(QStringLiteral("padding")).toInt(), paddingBytes);
    QVERIFY(waitFor([&] { return !link->isHelloRunning(); }));
    QVERIFY(deliverLastWord(udp, received));
    QCOMPARE(frames(received), answer + QByteArrayList{ lastWord() });
    QVERIFY(udp.sync()); // every hello sent before the stop is counted
    count = udp.datagrams().size();
    QTest::qWait(10 * kHelloIntervalMs);
    QVERIFY(udp.sync());
    QCOMPARE(udp.datagrams().size(), count);

    // New keys (the device handed out others) start it again.
    link->setAesKeys(m_key, m_iv);
    QVERIFY(waitFor([&] { return udp.datagrams().size() > count; }));
}

void tst_WifiDatalink::helloAtRealInterval()
{
    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    WifiDatalinkSettings settings = testSettings(0, 0);
    settings.helloIntervalMs = WifiDatalinkSettings().helloIntervalMs;
    auto link = datagramLink(stream, udp, settings);
    link->setAesKeys(m_key, m_iv);
    QVERIFY(waitFor([&] { return udp.datagrams().size() >= 3; }, 6000));
    const QList<QJsonObject> hellos = udp.datagrams();
    const double span = hellos.at(2).value(QStringLiteral("t")).toDouble()
        - hellos.at(0).value(QStringLiteral("t")).toDouble();
    QVERIFY2(span > 1.7 && span < 2.3 * timeFactor(), qPrintable(QString::number(span)));
}

void tst_WifiDatalink::busyDatagramPortFallsBack()
{
    // Another program holds the datagram port exclusively: the link takes any free port and
    // the device learns it from the hello.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress));
    StreamPeer stream(StreamPeer::Keep);
    UdpPeer udp;
    QVERIFY(udp.start(m_key, m_iv));
    WifiDatalinkSettings settings = testSettings(stream.port(), udp.port());
    settings.localUdpPort = holder.localPort();
    WifiDatalink link(nullptr, kDevice, false, false, settings);
    QSignalSpy received(&link, &AbstractDataLink::packetReceived);
    QSignalSpy stateSpy(&link, &AbstractDataLink::datalinkStateSignal);
    link.initialise();
    QVERIFY(link.localUdpPort() != 0);
    QVERIFY(link.localUdpPort() != holder.localPort());

    // Plain datagrams: the hello starts at once and is the bare 18-byte frame.
    QVERIFY(waitFor([&] { return !udp.datagrams().isEmpty(); }));
    const QJsonObject hello = udp.datagrams().first();
    QCOMPARE(hello.value(QStringLiteral("from")).toInt(), int(link.localUdpPort()));
    QCOMPARE(hello.value(QStringLiteral("data")).toString().left(12),
             QStringLiteral("cdab00001200"));
    const QByteArray answer = frame(1, "plain");
    QVERIFY(udp.command(rawCommand(answer)));
    QVERIFY(waitFor([&] { return received.count() == 1; }));
    QCOMPARE(frames(received), QByteArrayList{ answer });
    // The failed bind was the datagram socket's business only.
    QCOMPARE(states(stateSpy), QList{ AbstractDataLink::Connected });
}

QTEST_GUILESS_MAIN(tst_WifiDatalink)
#include "tst_wifiDatalink.moc"
