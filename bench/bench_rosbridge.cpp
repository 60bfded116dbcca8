// Decoding and dispatch of rosbridge publish frames (an Odometry message, about 1.5 KB per frame)
// with 4 and 20 subscriptions of the topic, frames/s on one core.
//   stream: a ws server in Node sends the same frames to our client and, in the same run, to npm's
//           roslib in Node; each side measures from the first message to the end marker.
//   direct: the frames handed straight to the client's frame handler, without a socket.
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
                 {g_nodeDir + QStringLiteral("/rosbridge-fake.mjs"), QStringLiteral("--stream"),
                  QString::number(kFrames), QString::number(subscribeOps)});
    if (!server.waitForReadyRead(10000))
        return 0;
    return quint16(server.readLine().trimmed().toUInt());
}

double roslibRate(int subscriptions)
{
    QProcess server;
    const quint16 port = startServer(server, subscriptions + 1);
    QProcess client;
    client.start(QStringLiteral("node"), {g_nodeDir + QStringLiteral("/roslib-stream.mjs"),
                                          QStringLiteral("ws://127.0.0.1:%1").arg(port),
                                          QString::number(subscriptions)});
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
            counter.sink += message.value("pose")
                                    .toObject()
                                    .value("pose")
                                    .toObject()
                                    .value("position")
                                    .toObject()
                                    .value("x")
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
               {QStringLiteral("--input-type=module"), QStringLiteral("-e"),
                QStringLiteral("const m = await import('%1/odometry.mjs');"
                                         "console.log(JSON.stringify({op:'publish',topic:'/odom',"
                                         "msg:m.odometryMessage(%2)}));process.exit(0);")
                                  .arg(g_nodeDir)
                                  .arg(i)});
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
    // Our own logging stays out of the measurement, as roslib logs nothing per message.
    qputenv("QT_LOGGING_RULES", "RobotCommunication.*.debug=false");
    QLoggingCategory::setFilterRules(QStringLiteral("RobotCommunication.*.debug=false"));

    const QString frame = odometryFrame(7);
    if (frame.isEmpty()) {
        std::fprintf(stderr, "node or the peers in %s are missing\n", qPrintable(g_nodeDir));
        return 1;
    }
    std::printf("rosbridge publish frames: %d frames of %lld bytes (Odometry)\n", kFrames,
                qlonglong(frame.toUtf8().size()));
    for (int subscriptions : {4, 20}) {
        const double ours = ourStreamRate(subscriptions);
        const double roslib = roslibRate(subscriptions);
        const double direct = directRate(subscriptions, frame);
        std::printf("  %2d subscriptions: stream ours %.0f frames/s, roslib %.0f frames/s "
                    "(ratio %.2f); direct ours %.0f frames/s\n",
                    subscriptions, ours, roslib, ours / roslib, direct);
    }
    return 0;
}
