// Decoding and dispatch of rosbridge publish frames (an Odometry message, about 1.5 KB per frame)
// with 4 and 20 subscriptions of the topic, frames/s on one core.
//   stream: a ws server in Node sends the same frames to our client and, in the same run, to npm's
//           roslib in Node; each side measures from the first message to the end marker.
//   direct: the frames handed straight to the client's frame handler, and to roslib's raw-message
//           handler through a transport that sends nothing, without a socket.
// Needs node and the packages that the bench_rosbridge_peers target installs with npm ci.
#include "RosBridgeClient.h"
#include "WebSocketClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QProcess>

#include <cstdio>

namespace {

constexpr int kFrames = 200000;
QString g_nodeDir;

quint16 startServer(QProcess &server, int subscribeOps)
{
    server.start(QStringLiteral("node"),
                 { g_nodeDir + QStringLiteral("/rosbridge-fake.mjs"), QStringLiteral("--stream"),
                   QString::number(kFrames), QString::number(subscribeOps) });
    if (!server.waitForReadyRead(10000))
        return 0;
    return quint16(server.readLine().trimmed().toUInt());
}

double roslibDirectRate(int subscriptions)
{
    QProcess client;
    client.start(QStringLiteral("node"),
                 { g_nodeDir + QStringLiteral("/roslib-direct.mjs"), QString::number(kFrames),
                   QString::number(subscriptions) });
    client.waitForFinished(600000);
    const QJsonObject result = QJsonDocument::fromJson(client.readAllStandardOutput()).object();
    return result.value("frames").toDouble() / result.value("seconds").toDouble();
}

double roslibRate(int subscriptions)
{
    QProcess server;
    const quint16 port = startServer(server, subscriptions + 1);
    QProcess client;
    client.start(QStringLiteral("node"),
                 { g_nodeDir + QStringLiteral("/roslib-stream.mjs"),
                   QStringLiteral("ws://127.0.0.1:%1").arg(port), QString::number(subscriptions) });
    client.waitForFinished(600000);
    server.kill();
    server.waitForFinished();
    const QJsonObject result = QJsonDocument::fromJson(client.readAllStandardOutput()).object();
    return result.value("frames").toDouble() / result.value("seconds").toDouble();
}

struct Counter
{
    int frames = 0;
    double sink = 0;
    QElapsedTimer clock;
    qint64 elapsedNs = 0;
    bool done = false;
};

void subscribeAll(RosBridgeClient &client, QObject &owner, int subscriptions, Counter &counter)
{
    for (int i = 0; i < subscriptions; ++i) {
        RobotSubscription *s = client.subscribe("/odom", "nav_msgs/msg/Odometry", &owner);
        s->onMessage([&counter, i](const QJsonObject &message) {
            if (i == 0 && counter.frames++ == 0)
                counter.clock.start();
            counter.sink += message.value(QLatin1String("pose"))
                                .toObject()
                                .value(QLatin1String("pose"))
                                .toObject()
                                .value(QLatin1String("position"))
                                .toObject()
                                .value(QLatin1String("x"))
                                .toDouble();
        });
    }
    RobotSubscription *done = client.subscribe("/done", "std_msgs/Empty", &owner);
    done->onMessage([&counter](const QJsonObject &) {
        counter.elapsedNs = counter.clock.nsecsElapsed();
        counter.done = true;
    });
}

double ourStreamRate(int subscriptions)
{
    QProcess server;
    const quint16 port = startServer(server, 2);
    RosBridgeClient client;
    QFuture<bool> connected = client.connect("127.0.0.1", port);
    while (!connected.isFinished())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    QObject owner;
    Counter counter;
    subscribeAll(client, owner, subscriptions, counter);
    while (!counter.done && client.connectionStatus() == RobotConnectionStatus::Connected)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    server.kill();
    server.waitForFinished();
    return counter.frames / (counter.elapsedNs / 1e9);
}

QString odometryFrame(int i)
{
    QProcess node;
    node.start(QStringLiteral("node"),
               { QStringLiteral("--input-type=module"), QStringLiteral("-e"),
                 QStringLiteral("const m = await import('%1/odometry.mjs');"
                                "console.log(JSON.stringify({op:'publish',topic:'/odom',"
                                "msg:m.odometryMessage(%2)}));process.exit(0);")
                     .arg(g_nodeDir)
                     .arg(i) });
    node.waitForFinished(10000);
    return QString::fromUtf8(node.readAllStandardOutput().trimmed());
}

double directRate(int subscriptions, const QString &frame)
{
    RosBridgeClient client;
    QObject owner;
    Counter counter;
    subscribeAll(client, owner, subscriptions, counter);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < kFrames; ++i)
        client.onWsMessageReceived(frame);
    return kFrames / (clock.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_nodeDir = qEnvironmentVariable("NIMBREL_ROBOT_NODE_DIR",
                                     QCoreApplication::applicationDirPath() + "/node");
    // Our own logging stays out of the measurement, as roslib logs nothing per message; the direct
    // runs subscribe without a connection, whose unsent frames would be warned about.
    QLoggingCategory::setFilterRules(
        QStringLiteral("RobotCommunication.*.debug=false\n"
                       "RobotCommunication.*.info=false\n"
                       "RobotCommunication.WebSocketClient.warning=false"));

    const QString frame = odometryFrame(7);
    if (frame.isEmpty()) {
        std::fprintf(stderr, "node or the peers in %s are missing\n", qPrintable(g_nodeDir));
        return 1;
    }
    std::printf("rosbridge publish frames: %d frames of %lld bytes (Odometry)\n", kFrames,
                qlonglong(frame.toUtf8().size()));
    for (int subscriptions : { 4, 20 }) {
        const double direct = directRate(subscriptions, frame);
        const double roslibDirect = roslibDirectRate(subscriptions);
        const double stream = ourStreamRate(subscriptions);
        const double roslibStream = roslibRate(subscriptions);
        std::printf("  %2d subscriptions: direct ours %.0f frames/s, roslib %.0f frames/s (ratio "
                    "%.2f); stream ours %.0f frames/s, roslib %.0f frames/s (ratio %.2f)\n",
                    subscriptions, direct, roslibDirect, direct / roslibDirect, stream,
                    roslibStream, stream / roslibStream);
    }
    return 0;
}
