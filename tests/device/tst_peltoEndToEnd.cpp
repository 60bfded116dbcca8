#include "ErrorHandler.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "WifiPeltoHost.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <memory>

using namespace nimbrel::test;

namespace {

// The end-to-end host with a reconnection delay, so a refused link retries at a human pace.
struct Host : WifiPeltoHost
{
    explicit Host(const PeltoSimProcess &sim, const DatalinkTimings &timings = {},
                  int reconnectDelayMs = 500, const QHostAddress &device = QHostAddress::LocalHost,
                  quint16 localUdpPort = 0)
        : WifiPeltoHost(sim, timings, reconnectDelayMs, device, localUdpPort)
    { }
};

// A datagram port that is free on every address right now.
quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress);
    return probe.localPort();
}

// Control codes without the clock correction, which arrives whenever the date reply is handled.
QList<int> withoutClockCorrection(QList<int> codes)
{
    codes.removeAll(7);
    return codes;
}

// Bytes echoed by the device over the bridge, read until `expected` bytes arrived.
QByteArray exchange(QTcpSocket &client, const QByteArray &data)
{
    client.write(data);
    QByteArray received;
    waitFor(
        [&] {
            received += client.readAll();
            return received.size() >= data.size();
        },
        10000);
    return received;
}

} // namespace

class TestPeltoEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        ErrorHandler::instance()->clearNotifications();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void connectsQueriesAndPolls()
    {
        PeltoSimProcess sim;
        // The clock is well off: a 6 s offset read across a second boundary with the reply's
        // latency can count as 5 and go uncorrected (the 5/6 s edge is tested in tst_pelto).
        QVERIFY(sim.start(
            { QStringLiteral("--serial"), QStringLiteral("E2E-0042"), QStringLiteral("--ext-type"),
              QStringLiteral("13"), QStringLiteral("--state"), QStringLiteral("clock_offset=30"),
              QStringLiteral("--state"), QStringLiteral("ext_mode_open=true"),
              QStringLiteral("--state"), QStringLiteral("ip=10.20.30.40"),
              QStringLiteral("--state"), QStringLiteral("rssi=-61"), QStringLiteral("--state"),
              QStringLiteral("msc_status=AlreadyMounted") }));
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));

        // Identified, with Wi-Fi accepted as the active link.
        Pelto &pelto = *host.pelto;
        QCOMPARE(pelto.getSerialNumber(), QStringLiteral("E2E-0042"));
        QCOMPARE(pelto.getExtendedDeviceType(), orvdevice::Torvik);
        QCOMPARE(extendedDeviceTypeName(pelto.getExtendedDeviceType()), QStringLiteral("Torvik"));
        QCOMPARE(pelto.getActiveDatalink(), AbstractDataLink::WiFi);

        // The hello stops at the device's first datagram; heartbeats flow both ways.
        QVERIFY(waitFor(
            [&] {
                return sim.counters()[QStringLiteral("channel0")][QStringLiteral("hello")].toInt()
                    > 0;
            },
            5000));
        QVERIFY(waitFor([&] { return host.link && !host.link->isHelloRunning(); }, 5000));
        // The connect sequence and at least two rounds of the one-second poll reach the device.
        const QList<int> connect{ 11, 32, 34, 33, 38, 132, 131, 37, 130, 64, 129, 6, 99, 131 };
        QVERIFY(waitFor(
            [&] { return withoutClockCorrection(sim.controlCodes()).size() >= connect.size() + 8; },
            15000));
        QVERIFY(waitFor(
            [&] {
                const QJsonObject c = sim.counters();
                return c[QStringLiteral("channel0")][QStringLiteral("heartbeat")].toInt() >= 2
                    && c[QStringLiteral("heartbeats_sent")].toInt() >= 2;
            },
            10000));
        QVERIFY(host.connected());
        const QJsonObject counters = sim.counters();
        QVERIFY(counters[QStringLiteral("channel0")][QStringLiteral("hello")].toInt() >= 1);
        QVERIFY(counters[QStringLiteral("channel0")][QStringLiteral("heartbeat")].toInt() >= 2);
        QVERIFY(counters[QStringLiteral("heartbeats_sent")].toInt() >= 2);
        QCOMPARE(counters[QStringLiteral("channel0")][QStringLiteral("invalid")].toInt(), 0);

        // The connect sequence, then the one-second poll.
        const QList<int> codes = sim.controlCodes();
        QCOMPARE(codes.count(7), 1);
        const QList<int> sequence = withoutClockCorrection(codes);
        QCOMPARE(sequence.mid(0, connect.size()), connect);
        const QList<int> poll = sequence.mid(connect.size());
        QVERIFY2(poll.size() >= 8, qPrintable(QString::number(poll.size())));
        for (qsizetype i = 0; i + 4 <= poll.size(); i += 4)
            QCOMPARE(poll.mid(i, 4), (QList<int>{ 64, 129, 100, 106 }));

        // What the device reported, in the Pelto's properties.
        QCOMPARE(pelto.getAppRunningState(), ControlChannel::Running);
        QVERIFY(pelto.isAppRunning());
        QVERIFY(pelto.getPeltoMscState());
        QCOMPARE(pelto.getIpAddress(), QStringLiteral("10.20.30.40"));
        QCOMPARE(pelto.getRssi(), -61);
        QCOMPARE(pelto.getFirmwareVersion(), QStringLiteral("1.4.2"));
        QVERIFY(pelto.isFirmwareVerified());
        QCOMPARE(pelto.getVersionApp(), QStringLiteral("1.0.0-sim.1+g0badcafe"));
        QCOMPARE(pelto.getVersionESP(), QStringLiteral("2.1.0"));
        QCOMPARE(pelto.getNameApp(), QStringLiteral("PeltoSimApp"));
        QCOMPARE(pelto.getName(), QStringLiteral("Pelto Sim"));
        QCOMPARE(pelto.buildId().toHex(), QByteArray("5ea1ed0b1d0000000000000000000001"));
        QVERIFY(pelto.isInFirmware());
        // The device clock was corrected once and is now in time.
        const QJsonObject state
            = sim.command(QStringLiteral("get_state"))[QStringLiteral("state")].toObject();
        QVERIFY(qAbs(state[QStringLiteral("clock_offset")].toDouble()) <= 2);

        // A fragmented application message becomes one notification.
        QVERIFY(pelto.errorChannel());
        const QJsonObject sent = sim.command(
            QStringLiteral("send_fragments"),
            { { QStringLiteral("parts"),
                QJsonArray{ QStringLiteral("[motor] Motor "), QStringLiteral("fault on axis 2") } },
              { QStringLiteral("level"), 4 } });
        QVERIFY(sent[QStringLiteral("ok")].toBool());
        QVERIFY(waitFor([] { return ErrorHandler::instance()->getNotificationCount() > 0; }, 5000));
        const auto listed = ErrorHandler::instance()->getNotificationList();
        QCOMPARE(listed.size(), 1);
        QCOMPARE(listed[0]->getTitle(), QStringLiteral("Error received from Pelto"));
        QCOMPARE(listed[0]->getMessage(), QStringLiteral("Motor fault on axis 2"));
        QCOMPARE(listed[0]->getOrigin(), QStringLiteral("E2E-0042"));

        // A tool on the bridge port talks to the device's channel 5, and can come back.
        for (int round = 0; round < 2; ++round) {
            QTcpSocket client;
            client.connectToHost(QHostAddress::LocalHost, host.bridgePort);
            QVERIFY(client.waitForConnected(scaled(5000)));
            QByteArray data(2500 + round, Qt::Uninitialized);
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(data.data()),
                                                  data.size() / 4);
            QCOMPARE(exchange(client, data), data);
            client.disconnectFromHost();
            // The bridge lets the client go before the next one comes.
            QVERIFY(waitFor([&] { return !pelto.externalMode()->isClientConnected(); }, 5000));
        }
        for (const QJsonValue &frame : sim.frames(5))
            QVERIFY(frame.toObject()[QStringLiteral("len")].toInt() <= 1018);
        QVERIFY(sim.frames(5).size() >= 6);
    }

    // A set-interface reply the host did not ask for is ignored: the device keeps the link it
    // uses, and heartbeats and polls go on.
    void unsolicitedSetInterfaceReplyIsIgnored_data()
    {
        QTest::addColumn<QString>("link");
        QTest::newRow("USB accepted, no USB link held") << QStringLiteral("USB");
        QTest::newRow("None accepted") << QStringLiteral("None");
    }

    void unsolicitedSetInterfaceReplyIsIgnored()
    {
        QFETCH(QString, link);
        PeltoSimProcess sim;
        QVERIFY(sim.start());
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        DatalinkManager *manager = host.manager();
        QSignalSpy replies(manager->commChannel(), &DatalinkCommChannel::SetActiveDatalinkReceived);
        QSignalSpy connectedChanges(host.pelto.get(), &OrvDevice::IsConnectedChanged);

        QTest::ignoreMessage(
            QtWarningMsg,
            QRegularExpression(QStringLiteral("Ignoring set-interface reply for %1").arg(link)));
        const QJsonObject sent = sim.command(
            QStringLiteral("send_set_interface_reply"),
            { { QStringLiteral("link"), link }, { QStringLiteral("accepted"), true } });
        QVERIFY2(sent[QStringLiteral("ok")].toBool(), QJsonDocument(sent).toJson().constData());
        QVERIFY(replies.wait(scaled(5000)));
        QCOMPARE(replies.first().at(0).value<AbstractDataLink::LinkType>(),
                 link == QLatin1String("USB") ? AbstractDataLink::USB : AbstractDataLink::None);

        // Three more polls and heartbeats reach the device, and it never read as disconnected.
        const qsizetype codes = sim.controlCodes().size();
        const int heartbeats
            = sim.counters()[QStringLiteral("channel0")][QStringLiteral("heartbeat")].toInt();
        QVERIFY(waitFor([&] { return sim.controlCodes().size() >= codes + 12; }, 15000));
        QVERIFY(waitFor(
            [&] {
                return sim.counters()[QStringLiteral("channel0")][QStringLiteral("heartbeat")]
                           .toInt()
                    >= heartbeats + 3;
            },
            15000));
        QCOMPARE(manager->getActiveLinkType(), AbstractDataLink::WiFi);
        QVERIFY(host.connected());
        QCOMPARE(connectedChanges.size(), 0);
    }

    // Destroying the Pelto tells the device first: the disconnect request (control code 13) is
    // on the wire before the link closes, and waiting for that stays short.
    void disconnectRequestLeavesBeforeTheLinkCloses()
    {
        PeltoSimProcess sim;
        const QString frameLog = testRoot() + QStringLiteral("/frames.jsonl");
        QVERIFY(sim.start({ QStringLiteral("--frame-log"), frameLog }));
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QVERIFY(waitFor([&] { return sim.controlCodes().size() > 14; }, 10000));
        QVERIFY(!sim.controlCodes().contains(13));

        QElapsedTimer destruction;
        destruction.start();
        host.pelto.reset();
        QVERIFY2(destruction.elapsed() < scaled(1000),
                 qPrintable(QString::number(destruction.elapsed())));
        QVERIFY(waitFor(
            [&] {
                return sim.command(QStringLiteral("status"))[QStringLiteral("links")]
                    .toArray()
                    .isEmpty();
            },
            10000));

        // The frame log, line by line: the last control request the device received is 13.
        QFile log(frameLog);
        QVERIFY(log.open(QIODevice::ReadOnly));
        QList<int> codes;
        for (const QByteArray &line : log.readAll().split('\n')) {
            const QJsonObject frame = QJsonDocument::fromJson(line).object();
            if (frame[QStringLiteral("dir")].toString() == QLatin1String("rx")
                && frame[QStringLiteral("channel")].toInt(-1) == 1)
                codes << frame[QStringLiteral("code")].toInt(-1);
        }
        QVERIFY(codes.size() > 14);
        QCOMPARE(codes.count(13), 1);
        QCOMPARE(codes.last(), 13);
    }

    // How a person runs the simulator next to the program (tools/pelto-sim/README.md): the
    // device on another loopback address, and both ends on the same datagram port number. The
    // program keeps that port instead of falling back to another one, and datagrams flow both
    // ways.
    void sharesTheDatagramPortNumberWithTheDevice()
    {
        const quint16 port = freeUdpPort();
        QVERIFY(port);
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--address"), QStringLiteral("127.0.0.2"),
                            QStringLiteral("--udp-port"), QString::number(port) }));
        QCOMPARE(sim.udpPort, port);
        Host host(sim, {}, 500, QHostAddress(QStringLiteral("127.0.0.2")), port);
        QVERIFY(host.link);
        QCOMPARE(host.link->localUdpPort(), port);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        // The device hears the hello from the host's port, and the hello stops at the first
        // datagram the device sends back to it.
        QVERIFY(waitFor(
            [&] {
                return sim.counters()[QStringLiteral("channel0")][QStringLiteral("hello")].toInt()
                    > 0;
            },
            10000));
        QVERIFY(waitFor([&] { return host.link && !host.link->isHelloRunning(); }, 10000));
        const QJsonObject status = sim.command(QStringLiteral("status"));
        QCOMPARE(status[QStringLiteral("udp_peer")].toString(),
                 QStringLiteral("127.0.0.1:%1").arg(port));
        QVERIFY(sim.counters()[QStringLiteral("udp")][QStringLiteral("sent")].toInt() > 0);
    }

    void silentDeviceEndsInHeartbeatTimeout()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--heartbeat-ms"), QStringLiteral("200") }));
        // The device's heartbeats come ten times per watchdog time.
        const int watchdogMs = 2000;
        DatalinkTimings timings;
        timings.heartbeatIntervalMs = 200;
        timings.watchdogTimeoutMs = scaled(watchdogMs);
        Host host(sim, timings);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QSignalSpy deleteRequests(host.pelto.get(), &OrvDevice::RequestDeleteSelf);
        QSignalSpy connectedChanges(host.pelto.get(), &OrvDevice::IsConnectedChanged);
        QTest::qWait(2 * timings.watchdogTimeoutMs);
        // Heartbeats kept it alive for twice the watchdog time.
        QVERIFY(host.connected());
        QCOMPARE(connectedChanges.size(), 0);
        QTest::ignoreMessage(QtWarningMsg, "Heartbeat Timeout");
        QVERIFY(sim.command(QStringLiteral("set_fault"),
                            { { QStringLiteral("name"),
                                QStringLiteral("stop_heartbeats") } })[QStringLiteral("ok")]
                    .toBool());
        QVERIFY(waitFor([&] { return !host.connected(); }, 3 * watchdogMs));
        QVERIFY(waitFor([&] { return deleteRequests.size() > 0; }, 2000));
    }

    void closedDatagramPortKeepsTheStream()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start());
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QVERIFY(sim.command(QStringLiteral("set_fault"),
                            { { QStringLiteral("name"),
                                QStringLiteral("close_udp") } })[QStringLiteral("ok")]
                    .toBool());
        const qsizetype before = sim.controlCodes().size();
        // Two more rounds of the poll go over the stream.
        QVERIFY(waitFor([&] { return sim.controlCodes().size() >= before + 8; }, 15000));
        QVERIFY(host.connected());
        QCOMPARE(host.link->getState(), AbstractDataLink::Connected);
    }

    // Device datagrams padded with PKCS#7 reach the bridge client one after the other.
    void paddedDatagramsAreAllDelivered()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start({ QStringLiteral("--state"), QStringLiteral("ext_mode_open=true"),
                            QStringLiteral("--fault"), QStringLiteral("pkcs7_datagrams") }));
        Host host(sim);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        // The device knows the host's datagram port once a hello came through.
        QVERIFY(waitFor(
            [&] {
                return sim.counters()[QStringLiteral("channel0")][QStringLiteral("hello")].toInt()
                    > 0;
            },
            5000));
        // The bridge opens once the device has answered that external mode is on.
        QTcpSocket client;
        QVERIFY(waitFor(
            [&] {
                client.abort();
                client.connectToHost(QHostAddress::LocalHost, host.bridgePort);
                return client.waitForConnected(200);
            },
            5000));
        QVERIFY(waitFor([&] { return host.pelto->externalMode()->isClientConnected(); }, 5000));
        QByteArray expected;
        for (const QByteArray &payload :
             { QByteArray("first"), QByteArray(16, 'b'), QByteArray("third datagram") }) {
            const QJsonObject sent = sim.command(
                QStringLiteral("send_raw"),
                { { QStringLiteral("channel"), 5 },
                  { QStringLiteral("payload_hex"), QString::fromLatin1(payload.toHex()) },
                  { QStringLiteral("link"), QStringLiteral("udp") } });
            QVERIFY2(sent[QStringLiteral("ok")].toBool(), QJsonDocument(sent).toJson().constData());
            expected += payload;
        }
        QByteArray received;
        QVERIFY(waitFor(
            [&] {
                received += client.readAll();
                return received.size() >= expected.size();
            },
            5000));
        QCOMPARE(received, expected);
    }

    // The device stops listening: the link retries, then gives up and the device goes.
    void refusedListenerEndsTheLink()
    {
        PeltoSimProcess sim;
        QVERIFY(sim.start());
        Host host(sim, {}, 50);
        QVERIFY(waitFor([&] { return host.connected(); }, 15000));
        QSignalSpy deleteRequests(host.pelto.get(), &OrvDevice::RequestDeleteSelf);
        QVERIFY(sim.command(QStringLiteral("set_fault"),
                            { { QStringLiteral("name"),
                                QStringLiteral("refuse_link") } })[QStringLiteral("ok")]
                    .toBool());
        QVERIFY(waitFor([&] { return deleteRequests.size() > 0; }, 15000));
        QVERIFY(!host.connected());
    }
};

QTEST_GUILESS_MAIN(TestPeltoEndToEnd)
#include "tst_peltoEndToEnd.moc"
