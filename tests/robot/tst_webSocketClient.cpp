#include "TcpRelay.h"
#include "TestSupport.h"
#include "WebSocketClient.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cmath>
#include <memory>

using namespace nimbrel::test;

namespace {

// A Qt WebSocket server on loopback that keeps its clients and echoes every text frame.
struct EchoServer
{
    QWebSocketServer server{ QStringLiteral("echo"), QWebSocketServer::NonSecureMode };
    QList<QWebSocket *> clients;

    EchoServer()
    {
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QWebSocketServer::newConnection, &server, [this] {
            while (QWebSocket *socket = server.nextPendingConnection()) {
                socket->setParent(&server);
                clients.append(socket);
                QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                                 [socket](const QString &text) {
                                     socket->sendTextMessage(QStringLiteral("echo:") + text);
                                 });
                QObject::connect(
                    socket, &QWebSocket::binaryMessageReceived, socket,
                    [socket](const QByteArray &data) { socket->sendBinaryMessage(data + data); });
            }
        });
    }
    quint16 port() const { return server.serverPort(); }
};

bool settled(const QFuture<bool> &future, int timeoutMs = 10000)
{
    return waitFor([&] { return future.isFinished(); }, timeoutMs);
}

WebSocketClientSettings fastKeepAlive()
{
    WebSocketClientSettings settings;
    settings.pingIntervalMs = 50;
    settings.pongTimeoutMs = scaled(400);
    return settings;
}

} // namespace

class TestWebSocketClient : public QObject
{
    Q_OBJECT

private slots:
    void statusTexts_data();
    void statusTexts();
    void connectsAndCarriesFrames();
    void failedAttemptsSettleFalse_data();
    void failedAttemptsSettleFalse();
    void repeatedConnects();
    void silentPeerIsDropped();
    void answeringPeerStaysAndReconnectStartsFresh();
    void oversizedMessageDropsConnection();
};

void TestWebSocketClient::statusTexts_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("text");
    QTest::newRow("connecting") << 0 << "Connecting";
    QTest::newRow("connected") << 1 << "Connected";
    QTest::newRow("closing") << 2 << "Disconnecting";
    QTest::newRow("closed") << 3 << "Disconnected";
    QTest::newRow("error") << 4 << "Error";
    QTest::newRow("unknown") << 5 << "Unknown";
    QTest::newRow("out of range") << 7 << "Unknown";
    QTest::newRow("negative") << -1 << "Unknown";
}

void TestWebSocketClient::statusTexts()
{
    QFETCH(int, status);
    QFETCH(QString, text);
    QCOMPARE(RobotConnectionStatus::toString(RobotConnectionStatus::Status(status)), text);
}

void TestWebSocketClient::connectsAndCarriesFrames()
{
    EchoServer server;
    WebSocketClient client(fastKeepAlive());
    QCOMPARE(client.status(), RobotConnectionStatus::Closed);
    QVERIFY(std::isinf(client.connectionLatency()));
    QSignalSpy statuses(&client, &WebSocketClient::statusChanged);
    QSignalSpy texts(&client, &WebSocketClient::messageReceived);
    QSignalSpy binaries(&client, &WebSocketClient::dataReceived);
    QSignalSpy latencies(&client, &WebSocketClient::connectionLatencyChanged);

    QFuture<bool> future = client.connect(QStringLiteral("127.0.0.1"), server.port());
    QCOMPARE(client.url(), QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.port())));
    QVERIFY(settled(future));
    QVERIFY(!future.isCanceled());
    QCOMPARE(future.result(), true);
    QCOMPARE(future.progressValue(), 100);
    QCOMPARE(future.progressText(), QStringLiteral("Connected"));
    QCOMPARE(client.status(), RobotConnectionStatus::Connected);
    QVERIFY(client.isConnected());
    QVERIFY(statuses.count() >= 2); // Connecting, then Connected

    client.sendTextMessage(QStringLiteral("{\"op\":\"x\"}"));
    client.sendBinaryMessage(QByteArray("\x00\x01", 2));
    QTRY_COMPARE_WITH_TIMEOUT(texts.count(), 1, scaled(5000));
    QCOMPARE(texts.at(0).at(0).toString(), QStringLiteral("echo:{\"op\":\"x\"}"));
    QTRY_COMPARE_WITH_TIMEOUT(binaries.count(), 1, scaled(5000));
    QCOMPARE(binaries.at(0).at(0).toByteArray(), QByteArray("\x00\x01\x00\x01", 4));

    // Qt's server answers the pings: the latency becomes finite.
    QTRY_VERIFY_WITH_TIMEOUT(std::isfinite(client.connectionLatency()), scaled(5000));
    QVERIFY(client.connectionLatency() >= 0.0f && client.connectionLatency() < 5.0f);

    // The server goes: the status follows the socket and the latency is unknown again.
    const int latencySignals = int(latencies.count());
    server.clients.first()->close();
    QTRY_COMPARE_WITH_TIMEOUT(client.status(), RobotConnectionStatus::Closed, scaled(5000));
    QVERIFY(!client.isConnected());
    QVERIFY(std::isinf(client.connectionLatency()));
    QCOMPARE(latencies.count(), latencySignals + 1);
    // Closing an already closed client changes nothing and signals nothing.
    client.disconnect();
    QCOMPARE(latencies.count(), latencySignals + 1);
}

void TestWebSocketClient::failedAttemptsSettleFalse_data()
{
    QTest::addColumn<QString>("peer");
    // Nobody listens: the socket reports the refusal and returns to unconnected.
    QTest::newRow("refused") << "refused";
    // Not a host name: opening reports an error and the socket never changes state.
    QTest::newRow("invalid host") << "bad host";
    // The peer accepts TCP but never answers the handshake; we give up during the attempt, so the
    // socket passes through closing before it is unconnected.
    QTest::newRow("disconnect during attempt") << "silent";
    // The peer accepts TCP and hangs up before the handshake.
    QTest::newRow("closed before handshake") << "hang-up";
}

void TestWebSocketClient::failedAttemptsSettleFalse()
{
    QFETCH(QString, peer);
    TcpRelay silent;
    QTcpServer hangUp;
    quint16 port = silent.port();
    QString host = QStringLiteral("127.0.0.1");
    if (peer == QLatin1String("refused")) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    } else if (peer == QLatin1String("bad host")) {
        host = peer;
    } else if (peer == QLatin1String("hang-up")) {
        QVERIFY(hangUp.listen(QHostAddress::LocalHost, 0));
        port = hangUp.serverPort();
        QObject::connect(&hangUp, &QTcpServer::newConnection, &hangUp, [&hangUp] {
            while (QTcpSocket *socket = hangUp.nextPendingConnection())
                socket->abort();
        });
    }

    WebSocketClient client;
    QFuture<bool> future = client.connect(host, port);
    if (peer == QLatin1String("silent")) {
        QTRY_COMPARE_WITH_TIMEOUT(silent.connections(), 1, scaled(5000));
        QVERIFY(!future.isFinished());
        client.disconnect();
    }
    QVERIFY(settled(future));
    QVERIFY(!future.isCanceled());
    QCOMPARE(future.result(), false);
    QCOMPARE(future.progressText(), QStringLiteral("Disconnected"));
    QVERIFY(!client.isConnected());
    QTRY_COMPARE_WITH_TIMEOUT(client.status(), RobotConnectionStatus::Closed, scaled(5000));
}

void TestWebSocketClient::repeatedConnects()
{
    EchoServer server;
    TcpRelay silent;
    WebSocketClient client;

    // The same URL while its attempt runs: the same attempt.
    QFuture<bool> first = client.connect(QStringLiteral("127.0.0.1"), silent.port());
    QFuture<bool> again = client.connect(QStringLiteral("127.0.0.1"), silent.port());
    QTRY_COMPARE_WITH_TIMEOUT(silent.connections(), 1, scaled(5000));
    QVERIFY(!again.isFinished());
    QCOMPARE(silent.connections(), 1);

    // Another URL cancels it (canceled, not failed) and starts over.
    QFuture<bool> second = client.connect(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(first.isCanceled());
    QVERIFY(again.isCanceled());
    QVERIFY(settled(second));
    QVERIFY(!second.isCanceled());
    QCOMPARE(second.result(), true);

    // While connected, even the same URL closes the connection and opens a new one.
    QSignalSpy statuses(&client, &WebSocketClient::statusChanged);
    QFuture<bool> third = client.connect(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(settled(third));
    QCOMPARE(third.result(), true);
    QVERIFY(statuses.count() >= 2);
    QTRY_COMPARE_WITH_TIMEOUT(server.clients.size(), qsizetype(2), scaled(5000));
    QCOMPARE(client.status(), RobotConnectionStatus::Connected);

    // Destroying the client cancels an attempt still running.
    auto doomed = std::make_unique<WebSocketClient>();
    QFuture<bool> pending = doomed->connect(QStringLiteral("127.0.0.1"), silent.port());
    QTRY_COMPARE_WITH_TIMEOUT(silent.connections(), 2, scaled(5000));
    doomed.reset();
    QVERIFY(pending.isFinished());
    QVERIFY(pending.isCanceled());
}

void TestWebSocketClient::silentPeerIsDropped()
{
    // The relay passes Qt's handshake response and nothing after it: the pings reach the server,
    // no pong ever comes back. The silence counts from the opening of the connection, so the
    // keep-alive drops such a peer after the time-out.
    EchoServer server;
    TcpRelay peer(server.port(), true);
    const WebSocketClientSettings settings = fastKeepAlive();
    WebSocketClient client(settings);
    QFuture<bool> future = client.connect(QStringLiteral("127.0.0.1"), peer.port());
    QVERIFY(settled(future));
    QCOMPARE(future.result(), true);
    QElapsedTimer sinceOpening;
    sinceOpening.start();
    QTRY_VERIFY_WITH_TIMEOUT(peer.droppedBytes() > 0, scaled(5000)); // pongs are swallowed
    QTRY_VERIFY_WITH_TIMEOUT(client.status() != RobotConnectionStatus::Connected,
                             settings.pongTimeoutMs + scaled(5000));
    QVERIFY(sinceOpening.elapsed() >= settings.pongTimeoutMs);
    QVERIFY(std::isinf(client.connectionLatency()));
}

void TestWebSocketClient::answeringPeerStaysAndReconnectStartsFresh()
{
    EchoServer server;
    const WebSocketClientSettings settings = fastKeepAlive();
    WebSocketClient client(settings);
    QFuture<bool> future = client.connect(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(settled(future));
    QSignalSpy statuses(&client, &WebSocketClient::statusChanged);
    // Three time-outs long: pongs keep it alive.
    QTest::qWait(3 * settings.pongTimeoutMs);
    QCOMPARE(statuses.count(), 0);
    QVERIFY(client.isConnected());

    // A connection after a long silence: its first ticks measure from its own opening.
    client.disconnect();
    QTRY_COMPARE_WITH_TIMEOUT(client.status(), RobotConnectionStatus::Closed, scaled(5000));
    QTest::qWait(2 * settings.pongTimeoutMs);
    future = client.connect(QStringLiteral("127.0.0.1"), server.port());
    QVERIFY(settled(future));
    QCOMPARE(future.result(), true);
    statuses.clear();
    QTest::qWait(settings.pongTimeoutMs / 2);
    QCOMPARE(statuses.count(), 0);
    QVERIFY(client.isConnected());
}

void TestWebSocketClient::oversizedMessageDropsConnection()
{
    EchoServer server;
    WebSocketClientSettings settings;
    settings.maxIncomingMessageSize = 1024;
    WebSocketClient client(settings);
    QSignalSpy texts(&client, &WebSocketClient::messageReceived);
    QVERIFY(settled(client.connect(QStringLiteral("127.0.0.1"), server.port())));
    QTRY_COMPARE_WITH_TIMEOUT(server.clients.size(), qsizetype(1), scaled(5000));
    server.clients.first()->sendTextMessage(QString(512, QLatin1Char('a')));
    QTRY_COMPARE_WITH_TIMEOUT(texts.count(), 1, scaled(5000));
    server.clients.first()->sendTextMessage(QString(4096, QLatin1Char('b')));
    QTRY_COMPARE_WITH_TIMEOUT(client.status(), RobotConnectionStatus::Closed, scaled(5000));
    QCOMPARE(texts.count(), 1);
}

QTEST_GUILESS_MAIN(TestWebSocketClient)
#include "tst_webSocketClient.moc"
