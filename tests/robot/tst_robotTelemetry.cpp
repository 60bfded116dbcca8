#include "LocalMap.h"
#include "RobotPathRecordingInterface.h"
#include "RobotTelemetryInterface.h"
#include "RobotTestSupport.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"
#include "UTMCoordinateConverter.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

const QString kOdometry = QStringLiteral("/autopilot/estimated_pose");
const QString kCoordinates = QStringLiteral("/autopilot/coordinate_system");
const QString kStatus = QStringLiteral("/autopilot/interface/system_status");
const QString kPlan = QStringLiteral("/autopilot/plan");

QJsonObject odometry(double x, double covariance0)
{
    const QJsonObject orientation{ { "x", 0 }, { "y", 0 }, { "z", 0 }, { "w", 1 } };
    const QJsonObject zero{ { "x", 0 }, { "y", 0 }, { "z", 0 } };
    return { { "pose",
               QJsonObject{
                   { "covariance", QJsonArray{ covariance0, 0.5 } },
                   { "pose",
                     QJsonObject{
                         { "orientation", orientation },
                         { "position", QJsonObject{ { "x", x }, { "y", 2 }, { "z", 0 } } } } } } },
             { "twist",
               QJsonObject{
                   { "covariance", QJsonArray{} },
                   { "twist",
                     QJsonObject{ { "linear", QJsonObject{ { "x", 0.5 }, { "y", 0 }, { "z", 0 } } },
                                  { "angular", zero } } } } } };
}

QJsonObject coordinates(int type, int zone = 32)
{
    return { { "type", type },   { "map_name", "yard" }, { "latitude", 51.4 }, { "longitude", 5.5 },
             { "altitude", 12 }, { "zone", zone },       { "north", true },    { "x_offset", 1 },
             { "y_offset", 2 },  { "z_offset", 3 } };
}

QJsonObject systemStatus(bool operational, const QString &behavior, const QString &accuracy)
{
    return { { "is_operational", operational },
             { "behavior_status", behavior },
             { "position_accuracy_status", accuracy } };
}

struct Rig
{
    RosbridgeFake fake;
    RosBridgeClient client;

    bool open()
    {
        if (!fake.isListening() && !fake.listen())
            return false;
        return outcomeOf(client.connect(QStringLiteral("127.0.0.1"), fake.port())) == "ok"
            && waitFor([this] { return fake.clientCount() == 1; });
    }
};

} // namespace

class TestRobotTelemetry : public QObject
{
    Q_OBJECT

private slots:
    void followsTheConnection();
    void signalsOnlyRealChanges();
    void convertersAreOwnedUntilAdopted();
    void destroyedInterfaceReleasesSubscriptions();
    void pathRecording();
};

void TestRobotTelemetry::followsTheConnection()
{
    Rig rig;
    RobotTelemetryInterface telemetry(QStringLiteral("/autopilot"), &rig.client, nullptr);
    QVERIFY(rig.open());
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kStatus), 1, scaled(5000));
    QCOMPARE(
        rig.fake.frames().mid(0, 3),
        QStringList(
            { R"({"op":"subscribe","topic":"/autopilot/estimated_pose","type":"nav_msgs/msg/Odometry"})",
              R"({"op":"subscribe","topic":"/autopilot/coordinate_system","type":"autonomy_msgs/msg/CoordinateSystemInfo"})",
              R"({"op":"subscribe","topic":"/autopilot/interface/system_status","type":"autopilot_msgs/msg/SystemStatus"})" }));
    QCOMPARE(telemetry.pose().orientation, QQuaternion());
    QCOMPARE(telemetry.positionAccuracy(), PositionAccuracy::Unknown);

    QSignalSpy poses(&telemetry, &RobotTelemetryInterface::poseChanged);
    rig.fake.publish(kOdometry, odometry(7.5, 0.1));
    rig.fake.publish(kStatus, systemStatus(true, "driving", "position_ok"));
    QTRY_COMPARE_WITH_TIMEOUT(telemetry.positionAccuracy(), PositionAccuracy::Position_ok,
                              scaled(5000));
    QCOMPARE(telemetry.pose().position.x, 7.5);
    QCOMPARE(telemetry.twist().linearVelocity, QVector3D(0.5f, 0, 0));

    // The server goes: values stay; it comes back: subscribed anew, and the values follow again.
    rig.fake.closeAll();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.connectionStatus(), RobotConnectionStatus::Closed,
                              scaled(5000));
    QCOMPARE(telemetry.pose().position.x, 7.5);
    QCOMPARE(telemetry.behaviorStatus(), QStringLiteral("driving"));
    QVERIFY(rig.open());
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kOdometry), 2, scaled(5000));
    QCOMPARE(rig.fake.subscribeCount(kCoordinates), 2);
    QCOMPARE(rig.fake.subscribeCount(kStatus), 2);
    rig.fake.publish(kOdometry, odometry(9, 0.1));
    QTRY_COMPARE_WITH_TIMEOUT(telemetry.pose().position.x, 9.0, scaled(5000));
}

void TestRobotTelemetry::signalsOnlyRealChanges()
{
    Rig rig;
    RobotTelemetryInterface telemetry(QStringLiteral("/autopilot"), &rig.client, nullptr);
    QVERIFY(rig.open());
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kStatus), 1, scaled(5000));
    QSignalSpy poses(&telemetry, &RobotTelemetryInterface::poseChanged);
    QSignalSpy twists(&telemetry, &RobotTelemetryInterface::twistChanged);
    QSignalSpy operational(&telemetry, &RobotTelemetryInterface::operationalStatusChanged);
    QSignalSpy behaviour(&telemetry, &RobotTelemetryInterface::behaviorStatusChanged);
    QSignalSpy accuracy(&telemetry, &RobotTelemetryInterface::positionAccuracyChanged);

    rig.fake.publish(kOdometry, odometry(1, 0.1));
    rig.fake.publish(kOdometry, odometry(1, 0.1)); // the same: nothing
    rig.fake.publish(kOdometry, odometry(1, 0.2)); // a covariance element: the pose only
    rig.fake.publish(kOdometry, QJsonObject{ { "pose", 3 } }); // malformed: dropped
    rig.fake.publish(kStatus, systemStatus(false, "", "unknown")); // as at the start: nothing
    rig.fake.publish(kStatus, systemStatus(false, "idle", "unknown")); // the text only
    rig.fake.publish(kStatus, systemStatus(true, "idle", "ORIENTATION_OK")); // two of three
    QTRY_COMPARE_WITH_TIMEOUT(operational.count(), 1, scaled(5000));
    QCOMPARE(poses.count(), 2);
    QCOMPARE(twists.count(), 1);
    QCOMPARE(behaviour.count(), 1);
    QCOMPARE(accuracy.count(), 1);
    QCOMPARE(int(telemetry.positionAccuracy()), -1);
    QCOMPARE(telemetry.pose().covariance, QList<double>({ 0.2, 0.5 }));
}

void TestRobotTelemetry::convertersAreOwnedUntilAdopted()
{
    Rig rig;
    RobotTelemetryInterface telemetry(QStringLiteral("/autopilot"), &rig.client, nullptr);
    QVERIFY(rig.open());
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kCoordinates), 1, scaled(5000));
    QSignalSpy changes(&telemetry, &RobotTelemetryInterface::coordinateSystemChanged);

    rig.fake.publish(kCoordinates, coordinates(2, -5));
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, scaled(5000));
    QPointer<CoordinateConverter> first = telemetry.coordinateSystem();
    auto *utm = qobject_cast<UTMCoordinateConverter *>(first);
    QVERIFY(utm);
    QCOMPARE(utm->zone(), -5);

    // The same numbers again: a new converter, and the first one, adopted by nobody, goes.
    rig.fake.publish(kCoordinates, coordinates(2, -5));
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 2, scaled(5000));
    QPointer<CoordinateConverter> second = telemetry.coordinateSystem();
    QVERIFY(second && second != first);
    QTRY_VERIFY_WITH_TIMEOUT(first.isNull(), scaled(5000));

    // A map adopts the second: it outlives its replacement, as the map's child.
    LocalMap map;
    map.setGlobalCoordinateInfo(second);
    QCOMPARE(second->parent(), &map);
    rig.fake.publish(kCoordinates, coordinates(1));
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 3, scaled(5000));
    QVERIFY(telemetry.coordinateSystem()->inherits("LocalTangentPlaneCoordinateConverter"));

    // A thousand messages leave one converter of ours alive, not a thousand.
    int created = 0;
    int alive = 0;
    connect(&telemetry, &RobotTelemetryInterface::coordinateSystemChanged, this, [&] {
        if (CoordinateConverter *c = telemetry.coordinateSystem()) {
            ++created;
            ++alive;
            connect(c, &QObject::destroyed, this, [&alive] { --alive; });
        }
    });
    for (int i = 0; i < 1000; ++i)
        rig.fake.publish(kCoordinates, coordinates(i % 2 ? 0 : 2));
    QTRY_COMPARE_WITH_TIMEOUT(created, 1000, scaled(10000));
    QTRY_COMPARE_WITH_TIMEOUT(alive, 1, scaled(5000));
    QVERIFY(second); // still the map's

    // Unknown after unknown: no change.
    rig.fake.publish(kCoordinates, coordinates(3));
    rig.fake.publish(kCoordinates, coordinates(7));
    rig.fake.publish(kOdometry, odometry(1, 0)); // a marker that both were handled
    QTRY_COMPARE_WITH_TIMEOUT(telemetry.pose().position.x, 1.0, scaled(5000));
    QCOMPARE(changes.count(), 3 + 1000 + 1);
    QCOMPARE(telemetry.coordinateSystem(), nullptr);
}

void TestRobotTelemetry::destroyedInterfaceReleasesSubscriptions()
{
    Rig rig;
    auto telemetry = std::make_unique<RobotTelemetryInterface>(QStringLiteral("/autopilot"),
                                                               &rig.client, nullptr);
    auto recording = std::make_unique<RobotPathRecordingInterface>(QStringLiteral("/autopilot"),
                                                                   &rig.client, nullptr);
    QJSEngine engine;
    QJSEngine::setObjectOwnership(recording.get(), QJSEngine::CppOwnership);
    engine.globalObject().setProperty("recording", engine.newQObject(recording.get()));
    QVERIFY(rig.open());
    engine.evaluate("recording.startRecording()");
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kPlan), 1, scaled(5000));
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount(kStatus), 1, scaled(5000));
    telemetry.reset();
    recording.reset();
    for (const QString &topic : { kOdometry, kCoordinates, kStatus, kPlan })
        QTRY_COMPARE_WITH_TIMEOUT(rig.fake.unsubscribeCount(topic), 1, scaled(5000));
}

void TestRobotTelemetry::pathRecording()
{
    Rig rig;
    RobotPathRecordingInterface recording(QStringLiteral("/autopilot"), &rig.client, nullptr);
    QJSEngine engine;
    QJSEngine::setObjectOwnership(&recording, QJSEngine::CppOwnership);
    engine.globalObject().setProperty("recording", engine.newQObject(&recording));
    QVERIFY(rig.open());
    rig.fake.answer("/autopilot/interface/record_path", true,
                    QJsonObject{ { "success", true }, { "message", "" } });
    rig.fake.answer(
        "/autopilot/interface/save_path", true,
        QJsonObject{ { "uuid", "" }, { "success", false }, { "message", "disk full" } });
    QSignalSpy progress(&recording, &RobotPathRecordingInterface::recordingProgressPathChanged);

    engine.evaluate("var out = {}; recording.startRecording().then(() => out.start = 'ok', "
                    "e => out.start = e.message); recording.startRecording(true);");
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.start").toString(), QStringLiteral("ok"),
                              scaled(5000));
    const QList<QJsonObject> calls = rig.fake.requests("call_service");
    QCOMPARE(calls.at(0).value("args").toObject(), QJsonObject({ { "override", false } }));
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.requests("call_service").size(), qsizetype(2), scaled(5000));
    QCOMPARE(rig.fake.requests("call_service").at(1).value("args").toObject(),
             QJsonObject({ { "override", true } }));
    // Two starts: one plan subscription on the robot, none released.
    QCOMPARE(rig.fake.subscribeCount(kPlan), 1);
    QCOMPARE(rig.fake.unsubscribeCount(kPlan), 0);

    const QJsonObject orientation{ { "x", 0 }, { "y", 0 }, { "z", 0 }, { "w", 1 } };
    const auto stamped = [&](double x) {
        return QJsonObject{
            { "pose",
              QJsonObject{ { "orientation", orientation },
                           { "position", QJsonObject{ { "x", x }, { "y", 0 }, { "z", 0 } } } } }
        };
    };
    rig.fake.publish(kPlan, { { "poses", QJsonArray{ stamped(1), stamped(2) } } });
    QTRY_COMPARE_WITH_TIMEOUT(progress.count(), 1, scaled(5000));
    QCOMPARE(recording.recordingProgressPath().size(), qsizetype(2));
    QCOMPARE(recording.recordingProgressPath().at(1).position.x, 2.0);
    rig.fake.publish(kPlan, { { "header", QJsonObject() } });
    QTRY_COMPARE_WITH_TIMEOUT(progress.count(), 2, scaled(5000));
    QVERIFY(recording.recordingProgressPath().isEmpty());

    // A failed save: rejected with the robot's text; the plan no longer updates the path.
    engine.evaluate("recording.saveRecording('Route').then(() => out.save = 'ok', "
                    "e => out.save = e.message);");
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.save").toString(), QStringLiteral("disk full"),
                              scaled(5000));
    QCOMPARE(rig.fake.lastCall("/autopilot/interface/save_path").value("args").toObject(),
             QJsonObject({ { "name", "Route" } }));
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.unsubscribeCount(kPlan), 1, scaled(5000));
    rig.fake.publish(kPlan, { { "poses", QJsonArray{ stamped(5) } } });
    QTest::qWait(100);
    QCOMPARE(progress.count(), 2);
}

QTEST_GUILESS_MAIN(TestRobotTelemetry)
#include "tst_robotTelemetry.moc"
