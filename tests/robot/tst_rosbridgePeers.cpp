#include "RobotTestSupport.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;

namespace {

QString nodeDir()
{
    return qEnvironmentVariable("NIMBREL_ROBOT_NODE_DIR");
}

QString node()
{
    return qEnvironmentVariable("NIMBREL_NODE", QStringLiteral("node"));
}

// What roslib reports after the shared scenario.
const char expectedRoslib[]
    = R"({"connected":true,"echo":{"text":"hi"},"failure":"denied","messages":[{"n":1},{"n":2}]})";

// The in-process fake scripted with the shared scenario.
void playScenario(RosbridgeFake &fake)
{
    fake.script(QStringLiteral("/nimbrel/echo"), [](const QJsonObject &request) {
        return RosbridgeFake::Reply{
            { RosbridgeFake::response(request, true, request.value(QLatin1String("args"))) }, 0
        };
    });
    fake.answer(QStringLiteral("/nimbrel/fail"), false, QStringLiteral("denied"));
    QObject::connect(&fake, &RosbridgeFake::frameReceived, &fake, [&fake](const QString &frame) {
        const QJsonObject request = QJsonDocument::fromJson(frame.toUtf8()).object();
        if (request.value(QLatin1String("op")).toString() == QLatin1String("subscribe")
            && request.value(QLatin1String("topic")).toString() == QLatin1String("/odom")) {
            fake.publish(QStringLiteral("/odom"), { { "n", 1 } });
            fake.publish(QStringLiteral("/odom"), { { "n", 2 } });
        }
    });
}

QByteArray runRoslib(const QString &url, int *exitCode)
{
    QProcess client;
    client.start(node(), { nodeDir() + QStringLiteral("/roslib-client.mjs"), url });
    if (!client.waitForFinished(scaled(30000)))
        client.kill();
    *exitCode = client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
    return client.readAllStandardOutput().trimmed() + client.readAllStandardError();
}

// Starts the ws fake and returns its port (0 on failure).
quint16 startNodeFake(QProcess &process)
{
    process.start(node(), { nodeDir() + QStringLiteral("/rosbridge-fake.mjs") });
    if (!process.waitForStarted(scaled(10000)))
        return 0;
    if (!waitFor([&] { return process.canReadLine(); }, 10000))
        return 0;
    return quint16(process.readLine().trimmed().toUInt());
}

} // namespace

class TestRosbridgePeers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roslibAgainstOurFake();
    void roslibAgainstWsFake();
    void ourClientAgainstWsFake();
};

void TestRosbridgePeers::initTestCase()
{
    QVERIFY2(QFile::exists(nodeDir() + QStringLiteral("/node_modules/roslib/package.json")),
             "npm ci has not installed roslib into the build folder");
}

void TestRosbridgePeers::roslibAgainstOurFake()
{
    RosbridgeFake fake;
    QVERIFY(fake.listen());
    playScenario(fake);
    // roslib blocks in QProcess::waitForFinished otherwise; run it while our loop serves the fake.
    QProcess client;
    client.start(node(), { nodeDir() + QStringLiteral("/roslib-client.mjs"), fake.url() });
    QVERIFY(waitFor([&] { return client.state() == QProcess::NotRunning; }, 30000));
    const QByteArray output = client.readAllStandardOutput().trimmed();
    QVERIFY2(client.exitCode() == 0, output + client.readAllStandardError());
    QCOMPARE(output, QByteArray(expectedRoslib));
    QCOMPARE(fake.requests(QStringLiteral("call_service")).size(), qsizetype(2));
    QCOMPARE(fake.subscribeCount(QStringLiteral("/odom")), 1);
    QTRY_COMPARE_WITH_TIMEOUT(fake.unsubscribeCount(QStringLiteral("/odom")), 1, scaled(5000));
}

void TestRosbridgePeers::roslibAgainstWsFake()
{
    QProcess server;
    const quint16 port = startNodeFake(server);
    QVERIFY(port);
    int exitCode = -1;
    const QByteArray output = runRoslib(QStringLiteral("ws://127.0.0.1:%1").arg(port), &exitCode);
    server.kill();
    server.waitForFinished();
    QVERIFY2(exitCode == 0, output);
    QCOMPARE(output, QByteArray(expectedRoslib));
}

void TestRosbridgePeers::ourClientAgainstWsFake()
{
    QProcess server;
    const quint16 port = startNodeFake(server);
    QVERIFY(port);
    RosBridgeClient client;
    QFuture<bool> connected = client.connect(QStringLiteral("127.0.0.1"), port);
    QCOMPARE(outcomeOf(connected), QStringLiteral("ok"));
    QVERIFY(connected.result());

    auto echo = client.callService(QStringLiteral("/nimbrel/echo"), { { "text", "hi" } }, 10000);
    QCOMPARE(outcomeOf(echo), QStringLiteral("ok"));
    QCOMPARE(echo.result().values, QJsonArray({ QJsonObject{ { "text", "hi" } } }));
    QCOMPARE(outcomeOf(client.callService(QStringLiteral("/nimbrel/fail"), {}, 10000)),
             QStringLiteral("Service call failed: denied"));

    QObject owner;
    RobotSubscription *odom = client.subscribe(QStringLiteral("/odom"),
                                               QStringLiteral("nav_msgs/msg/Odometry"), &owner);
    QSignalSpy messages(odom, &RobotSubscription::messageReceived);
    QTRY_COMPARE_WITH_TIMEOUT(messages.count(), 2, scaled(10000));
    QCOMPARE(messages.at(1).at(0).toJsonObject(), QJsonObject({ { "n", 2 } }));
    delete odom;

    // The ws fake prints every frame it receives: our unsubscribe reached it whole.
    QByteArray seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += server.readAllStandardOutput())
                                 .contains(R"({"op":"unsubscribe","topic":"/odom"})"),
                             scaled(5000));
    server.kill();
    server.waitForFinished();
}

QTEST_GUILESS_MAIN(TestRosbridgePeers)
#include "tst_rosbridgePeers.moc"
