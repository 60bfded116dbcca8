#include "JsonReaders.h"
#include "RobotRequests.h"
#include "RobotResponses.h"
#include "RobotTestSupport.h"
#include "RobotTopicMessages.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace nimbrel::test;
using namespace RobotMessages;

namespace {

const QUuid kUuid = QUuid::fromString(QStringLiteral("{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"));
const QString kUuidText = QStringLiteral("{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}");

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QJsonValue parse(const QString &text)
{
    return QJsonDocument::fromJson(("[" + text + "]").toUtf8()).array().at(0);
}

QString uuidText(const QUuid &uuid)
{
    return uuid.isNull() ? QStringLiteral("null") : uuid.toString(QUuid::WithoutBraces);
}

QString status(const GenericResponse &s)
{
    return QStringLiteral("%1/%2").arg(s.success ? "true" : "false", s.message);
}

QString vector(const QVector3D &v)
{
    return QStringLiteral("%1,%2,%3").arg(v.x()).arg(v.y()).arg(v.z());
}

QString pose(const Pose &p)
{
    const QQuaternion &q = p.orientation;
    return QStringLiteral("p=%1,%2,%3 q=%4,%5,%6,%7")
        .arg(p.position.x)
        .arg(p.position.y)
        .arg(p.position.z)
        .arg(q.scalar())
        .arg(q.x())
        .arg(q.y())
        .arg(q.z());
}

// Each reply type read and rendered as a short text the tables compare.
using Render = std::function<QString(const QJsonValue &)>;
const QHash<QString, Render> &replyRenderers()
{
    static const QHash<QString, Render> renderers{
        { "generic",
          [](const QJsonValue &v) { return status(readRobotMessage<GenericResponse>(v)); } },
        { "activeMap",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<getActiveMapIdResponse>(v);
              return status(r) + " " + uuidText(r.uuid);
          } },
        { "savePath",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<SavePathResponse>(v);
              return status(r) + " " + uuidText(r.uuid);
          } },
        { "startJob",
          [](const QJsonValue &v) {
              return status(readRobotMessage<StartJobResponse>(v).result);
          } },
        { "delete",
          [](const QJsonValue &v) {
              return status(readRobotMessage<DeleteResourceResponse>(v).result);
          } },
        { "set",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<SetResourceResponse>(v);
              return status(r.result) + " " + uuidText(r.uuid);
          } },
        { "update",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<UpdateResourceResponse>(v);
              return status(r.result) + " " + uuidText(r.uuid);
          } },
        { "get",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<GetResourceResponse>(v);
              return status(r.result) + " " + compact(r.json);
          } },
        { "list",
          [](const QJsonValue &v) {
              const auto r = readRobotMessage<ListResourcesResponse>(v);
              QStringList entries;
              for (const ListResourcesEntry &e : r.resources)
                  entries << QStringLiteral("%1|%2|%3|%4")
                                 .arg(e.name, uuidText(e.uuid), uuidText(e.group),
                                      e.created_date.isValid()
                                          ? e.created_date.toUTC().toString(Qt::ISODateWithMs)
                                          : QStringLiteral("invalid"));
              return status(r.result) + " [" + entries.join(';') + "]";
          } },
        { "path",
          [](const QJsonValue &v) {
              QStringList poses;
              for (const Pose &p : readRobotMessage<NavPath>(v).poses)
                  poses << pose(p);
              return poses.join(';');
          } },
        { "odometry",
          [](const QJsonValue &v) {
              const auto o = readRobotMessage<Odometry>(v);
              return QStringLiteral("%1 c=%2 lin=%3 ang=%4 tc=%5")
                  .arg(pose(o.pose))
                  .arg(o.pose.covariance.size())
                  .arg(vector(o.twist.linearVelocity), vector(o.twist.angularVelocity))
                  .arg(o.twist.covariance.size());
          } },
        { "coordinates",
          [](const QJsonValue &v) {
              const auto c = readRobotMessage<OldCoordinateSystemInfo>(v);
              return QStringLiteral("%1 %2 %3,%4,%5 zone=%6 north=%7 off=%8,%9,%10")
                  .arg(c.type)
                  .arg(c.map_name)
                  .arg(c.latitude)
                  .arg(c.longitude)
                  .arg(c.altitude)
                  .arg(int(c.zone))
                  .arg(c.north)
                  .arg(c.x_offset)
                  .arg(c.y_offset)
                  .arg(c.z_offset);
          } },
        { "status",
          [](const QJsonValue &v) {
              const auto s = readRobotMessage<SystemStatus>(v);
              return QStringLiteral("%1 %2 %3")
                  .arg(s.is_operational)
                  .arg(s.behavior_status)
                  .arg(s.position_accuracy_status);
          } },
    };
    return renderers;
}

QString readAs(const QString &kind, const QJsonValue &value)
{
    try {
        return replyRenderers().value(kind)(value);
    } catch (const std::exception &e) {
        return QStringLiteral("error: ") + QString::fromUtf8(e.what());
    }
}

} // namespace

class TestRobotMessages : public QObject
{
    Q_OBJECT

private slots:
    void requestArgs_data();
    void requestArgs();
    void replies_data();
    void replies();
    void topicMessages_data();
    void topicMessages();
    void typedCallsOverTheWire_data();
    void typedCallsOverTheWire();
    void typedSubscriptionSkipsMalformedMessages();
};

void TestRobotMessages::requestArgs_data()
{
    QTest::addColumn<QJsonObject>("args");
    QTest::addColumn<QString>("expected");
    const QUuid upper = QUuid::fromString(QStringLiteral("0B1C2D3E-4F50-6172-8394-A5B6C7D8E9F0"));
    QTest::newRow("get") << toServiceArgs(GetResourceRequest{ upper })
                         << R"({"uuid":"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"})";
    QTest::newRow("delete") << toServiceArgs(DeleteResourceRequest{ kUuid })
                            << R"({"uuid":"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"})";
    QTest::newRow("start job") << toServiceArgs(StartJobRequest{ kUuid })
                               << R"({"uuid":"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"})";
    QTest::newRow("list all") << toServiceArgs(ListResourcesRequest{ QUuid() }) << "{}";
    QTest::newRow("list group") << toServiceArgs(ListResourcesRequest{ kUuid })
                                << R"({"group":"{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"})";
    const QJsonObject resource{ { "name", "Hall ü" }, { "size", 2 } };
    QTest::newRow("set") << toServiceArgs(SetResourceRequest{ resource })
                         << R"({"json":"{\"name\":\"Hall ü\",\"size\":2}"})";
    QTest::newRow("update") << toServiceArgs(UpdateResourceRequest{ resource })
                            << R"({"json":"{\"name\":\"Hall ü\",\"size\":2}"})";
    QTest::newRow("record") << toServiceArgs(RecordPathRequest{ true }) << R"({"override":true})";
    QTest::newRow("record anew") << toServiceArgs(RecordPathRequest{ false })
                                 << R"({"override":false})";
    QTest::newRow("save path") << toServiceArgs(SavePathRequest{ "Route 1" })
                               << R"({"name":"Route 1"})";
    QTest::newRow("plain") << toServiceArgs(QJsonObject()) << "{}";
}

void TestRobotMessages::requestArgs()
{
    QFETCH(QJsonObject, args);
    QFETCH(QString, expected);
    QCOMPARE(compact(args), expected);
}

void TestRobotMessages::replies_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    const QString id = kUuidText;
    const QString plain = "0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0";
    const QString missing = "error: Missing expected json value";

    QTest::newRow("generic ok") << "generic"
                                << R"({"success":true,"message":"done"})"
                                << "true/done";
    QTest::newRow("generic failed") << "generic"
                                    << R"({"success":false,"message":"busy"})"
                                    << "error: busy";
    QTest::newRow("generic failed silently") << "generic"
                                             << R"({"success":false,"message":""})"
                                             << "error: Service call failed";
    QTest::newRow("generic message number")
        << "generic"
        << R"({"success":true,"message":3})"
        << R"(error: Invalid type "number" for json value. Expected "string")";
    QTest::newRow("generic success null")
        << "generic"
        << R"({"success":null,"message":""})"
        << R"(error: Invalid type "null" for json value. Expected "boolean")";
    QTest::newRow("active map") << "activeMap"
                                << R"({"success":true,"message":"","uuid":")" + id + R"("})"
                                << "true/ " + plain;
    QTest::newRow("active map none") << "activeMap"
                                     << R"({"success":true,"message":"","uuid":""})"
                                     << "true/ null";
    QTest::newRow("active map nil braces")
        << "activeMap"
        << R"({"success":true,"message":"","uuid":"{00000000-0000-0000-0000-000000000000}"})"
        << "true/ null";
    QTest::newRow("active map unparsable") << "activeMap"
                                           << R"({"success":true,"message":"","uuid":"abc"})"
                                           << R"(error: Could not parse JSON value as type "UUID")";
    QTest::newRow("active map uuid null")
        << "activeMap"
        << R"({"success":true,"message":"","uuid":null})"
        << R"(error: Invalid type "null" for json value. Expected "string")";
    // The uuid is read before the status test.
    QTest::newRow("active map failed no uuid")
        << "activeMap"
        << R"({"success":false,"message":"no map"})" << missing;
    QTest::newRow("save path") << "savePath"
                               << R"({"uuid":")" + plain.toUpper()
            + R"(","success":true,"message":""})"
                               << "true/ " + plain;
    QTest::newRow("save path failed no uuid") << "savePath"
                                              << R"({"success":false,"message":"full"})" << missing;
    QTest::newRow("save path failed") << "savePath"
                                      << R"({"uuid":"","success":false,"message":"full"})"
                                      << "error: full";
    // Nested status: returned as read, whatever it says.
    QTest::newRow("start job refused") << "startJob"
                                       << R"({"result":{"success":false,"message":"estop"}})"
                                       << "false/estop";
    QTest::newRow("start job flat") << "startJob"
                                    << R"({"success":true,"message":""})" << missing;
    QTest::newRow("delete") << "delete"
                            << R"({"result":{"success":true,"message":"gone"}})"
                            << "true/gone";
    QTest::newRow("set") << "set"
                         << R"({"result":{"success":true,"message":""},"uuid":")" + id + R"("})"
                         << "true/ " + plain;
    QTest::newRow("set result missing") << "set"
                                        << R"({"uuid":")" + id + R"("})" << missing;
    QTest::newRow("update") << "update"
                            << R"({"result":{"success":false,"message":"old"},"uuid":""})"
                            << "false/old null";
    QTest::newRow("get")
        << "get"
        << R"({"json":"{\"name\":\"Hall\"}","result":{"success":true,"message":""}})"
        << R"(true/ {"name":"Hall"})";
    QTest::newRow("get json number") << "get"
                                     << R"({"json":5,"result":{"success":true,"message":""}})"
                                     << "true/ {}";
    QTest::newRow("get json array text")
        << "get"
        << R"({"json":"[1]","result":{"success":true,"message":""}})"
        << "true/ {}";
    QTest::newRow("get json garbage")
        << "get"
        << R"({"json":"{nope","result":{"success":true,"message":""}})"
        << "true/ {}";
    QTest::newRow("get no result") << "get"
                                   << R"({"json":"{}"})" << missing;
    QTest::newRow("list")
        << "list"
        << R"({"result":{"success":true,"message":""},"json":"[{\"group_id\":null,\"name\":\"A\",\"id\":\")"
            + id + R"(\",\"creation_date\":\"2024-05-01T10:20:30.456Z\"},{\"group_id\":\")" + plain
            + R"(\",\"name\":\"B\",\"id\":\")" + plain + R"(\",\"creation_date\":\"yesterday\"}]"})"
        << "true/ [A|" + plain + "|null|2024-05-01T10:20:30.456Z;B|" + plain + "|" + plain
            + "|invalid]";
    QTest::newRow("list empty") << "list"
                                << R"({"result":{"success":true,"message":""},"json":"[]"})"
                                << "true/ []";
    QTest::newRow("list not JSON") << "list"
                                   << R"({"result":{"success":true,"message":""},"json":"x"})"
                                   << "true/ []";
    QTest::newRow("list entry without group")
        << "list"
        << R"({"result":{"success":true,"message":""},"json":"[{\"name\":\"A\",\"id\":\"\",\"creation_date\":\"\"}]"})"
        << missing;
}

void TestRobotMessages::replies()
{
    QFETCH(QString, kind);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    const QJsonValue json = parse(value);
    QVERIFY2(json.isObject(), qPrintable(value));
    QCOMPARE(readAs(kind, json), expected);
}

void TestRobotMessages::topicMessages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    const QString q = R"("orientation":{"x":0,"y":0,"z":0.5,"w":0.75})";
    const QString cov = R"("covariance":[1,2,3])";

    QTest::newRow("path") << "path"
                          << R"({"poses":[{"pose":{)" + q
            + R"(,"position":{"x":1.5,"y":-2,"z":3}}},{"pose":{)" + q
            + R"(,"position":{"x":4,"y":5,"z":6}}}]})"
                          << "p=1.5,-2,3 q=0.75,0,0,0.5;p=4,5,6 q=0.75,0,0,0.5";
    QTest::newRow("path without poses") << "path"
                                        << R"({"header":{}})"
                                        << "";
    QTest::newRow("path pose without position") << "path"
                                                << R"({"poses":[{"pose":{)" + q + R"(}}]})"
                                                << "error: Missing expected json value";
    QTest::newRow("odometry") << "odometry"
                              << R"({"pose":{)" + cov + R"(,"pose":{)" + q
            + R"(,"position":{"x":1,"y":2,"z":3}}},"twist":{"covariance":[],"twist":{"linear":{"x":0.5,"y":0,"z":0},"angular":{"x":0,"y":0,"z":0.25}}}})"
                              << "p=1,2,3 q=0.75,0,0,0.5 c=3 lin=0.5,0,0 ang=0,0,0.25 tc=0";
    QTest::newRow("odometry quaternion array")
        << "odometry"
        << R"({"pose":{)" + cov
            + R"(,"pose":{"orientation":[0,0,0,1],"position":{"x":1,"y":2,"z":3}}}})"
        << R"(error: Could not parse JSON value as type "quaternion")";
    QTest::newRow("odometry quaternion without x and z") << "odometry"
                                                         << R"({"pose":{)" + cov
            + R"(,"pose":{"orientation":{"y":0,"w":1},"position":{"x":1,"y":2,"z":3}}}})"
                                                         << "error: Missing expected json value";
    QTest::newRow("odometry covariance text")
        << "odometry"
        << R"({"pose":{"covariance":[1,"2"]}})"
        << R"(error: Invalid type "string" for json value. Expected "number")";
    QTest::newRow("odometry linear text")
        << "odometry"
        << R"({"pose":{)" + cov + R"(,"pose":{)" + q
            + R"(,"position":{"x":1,"y":2,"z":3}}},"twist":{"covariance":[],"twist":{"linear":"fast","angular":{"x":0,"y":0,"z":0}}}})"
        << R"(error: Could not parse JSON value as type "position")";
    const QString coordinateTail
        = R"("map_name":"yard","latitude":51.4,"longitude":5.5,"altitude":12,"zone":%1,"north":true,"x_offset":1,"y_offset":2,"z_offset":3})";
    QTest::newRow("coordinates") << "coordinates"
                                 << R"({"type":2,)" + coordinateTail.arg("32")
                                 << "2 yard 51.4,5.5,12 zone=32 north=1 off=1,2,3";
    QTest::newRow("coordinates type kept") << "coordinates"
                                           << R"({"type":9,)" + coordinateTail.arg("-5")
                                           << "9 yard 51.4,5.5,12 zone=-5 north=1 off=1,2,3";
    QTest::newRow("coordinates type fraction") << "coordinates"
                                               << R"({"type":1.5,)" + coordinateTail.arg("1")
                                               << "0 yard 51.4,5.5,12 zone=1 north=1 off=1,2,3";
    QTest::newRow("coordinates type text")
        << "coordinates"
        << R"({"type":"utm",)" + coordinateTail.arg("1")
        << R"(error: Invalid type "string" for json value. Expected "number")";
    QTest::newRow("coordinates zone 200")
        << "coordinates"
        << R"({"type":2,)" + coordinateTail.arg("200")
        << R"(error: Invalid type "number" for json value. Expected "number")";
    QTest::newRow("coordinates zone text")
        << "coordinates"
        << R"({"type":2,)" + coordinateTail.arg("\"32\"") << "error: Invalid type for json value.";
    QTest::newRow("coordinates zone missing")
        << "coordinates"
        << R"({"type":2,"map_name":"","latitude":0,"longitude":0,"altitude":0})"
        << "error: Missing expected json value";
    const QString statusText
        = R"({"is_operational":true,"behavior_status":"idle","position_accuracy_status":"%1"})";
    QTest::newRow("status orientation_ok")
        << "status" << statusText.arg("orientation_ok") << "1 idle 3";
    QTest::newRow("status Orientation_ok")
        << "status" << statusText.arg("Orientation_ok") << "1 idle 3";
    QTest::newRow("status ORIENTATION_OK")
        << "status" << statusText.arg("ORIENTATION_OK") << "1 idle -1";
    QTest::newRow("status unknown") << "status" << statusText.arg("unknown") << "1 idle 0";
    QTest::newRow("status empty") << "status" << statusText.arg("") << "1 idle -1";
    QTest::newRow("status operational text")
        << "status"
        << R"({"is_operational":"yes","behavior_status":"idle","position_accuracy_status":"x"})"
        << R"(error: Invalid type "string" for json value. Expected "boolean")";
}

void TestRobotMessages::topicMessages()
{
    QFETCH(QString, kind);
    QFETCH(QString, value);
    QFETCH(QString, expected);
    const QJsonValue json = parse(value);
    QVERIFY2(json.isObject(), qPrintable(value));
    QCOMPARE(readAs(kind, json), expected);
}

void TestRobotMessages::typedCallsOverTheWire_data()
{
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("listed") << true << R"([{"result":{"success":true,"message":""},"json":"[]"}])"
                            << "ok";
    QTest::newRow("single object")
        << true << R"({"result":{"success":true,"message":""},"json":"[]"})"
        << "ok";
    QTest::newRow("result false") << false
                                  << R"([{"result":{"success":true,"message":""},"json":"[]"}])"
                                  << "Service call failed";
    QTest::newRow("no values") << true << "[]"
                               << "Service call received more than one response";
    QTest::newRow("malformed") << true << R"([{"json":"[]"}])"
                               << "Missing expected json value";
}

void TestRobotMessages::typedCallsOverTheWire()
{
    QFETCH(bool, result);
    QFETCH(QString, values);
    QFETCH(QString, outcome);
    RosbridgeFake fake;
    QVERIFY(fake.listen());
    RosBridgeClient client;
    QCOMPARE(outcomeOf(client.connect("127.0.0.1", fake.port())), QStringLiteral("ok"));
    fake.answer("/resources/list", result, parse(values));
    auto future = client.callService<ListResourcesResponse>(
        "/resources/list", ListResourcesRequest{ kUuid }, scaled(5000));
    QCOMPARE(outcomeOf(future), outcome);
    QCOMPARE(fake.lastCall("/resources/list").value("args").toObject(),
             QJsonObject({ { "group", kUuidText } }));
}

void TestRobotMessages::typedSubscriptionSkipsMalformedMessages()
{
    RosbridgeFake fake;
    QVERIFY(fake.listen());
    RosBridgeClient client;
    QCOMPARE(outcomeOf(client.connect("127.0.0.1", fake.port())), QStringLiteral("ok"));
    QObject owner;
    RobotSubscription *subscription
        = client.subscribe("/status", "autopilot_msgs/msg/SystemStatus", &owner);
    QList<int> accuracies;
    subscription->onMessage<SystemStatus>(std::function<void(const SystemStatus &)>(
        [&](const SystemStatus &s) { accuracies.append(s.position_accuracy_status); }));
    QSignalSpy received(subscription, &RobotSubscription::messageReceived);
    QTest::ignoreMessage(QtWarningMsg,
                         "Exception in callback for topic \"/status\" : Missing "
                         "expected json value");
    fake.publish("/status", { { "is_operational", true } });
    fake.publish("/status",
                 { { "is_operational", true },
                   { "behavior_status", "driving" },
                   { "position_accuracy_status", "position_ok" } });
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 2, scaled(5000));
    QCOMPARE(accuracies, QList<int>({ 2 }));
}

QTEST_GUILESS_MAIN(TestRobotMessages)
#include "tst_robotMessages.moc"
