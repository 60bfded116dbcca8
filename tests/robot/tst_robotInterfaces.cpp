#include "RobotJobInterface.h"
#include "RobotMapResourceInterface.h"
#include "RobotResourceInterface.h"
#include "RobotTestSupport.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <functional>
#include <memory>

using namespace nimbrel::test;

namespace {

const QString kPrefix = QStringLiteral("/autopilot/information_manager/resource/");
const QString kJobs = QStringLiteral("/autopilot/information_manager/action/job");
const QUuid kUuid = QUuid::fromString(QStringLiteral("{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}"));
const QString kBraced = QStringLiteral("{0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0}");
const QString kPlain = QStringLiteral("0b1c2d3e-4f50-6172-8394-a5b6c7d8e9f0");

QString compact(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

template<class T> QString settle(QFuture<T> future, std::function<QString(const T &)> render)
{
    const QString outcome = outcomeOf(future);
    if (outcome != QLatin1String("ok"))
        return outcome;
    return QStringLiteral("ok ") + render(future.result());
}

QString settleVoid(QFuture<void> future)
{
    return outcomeOf(future);
}

QString uuidText(const QUuid &uuid)
{
    return uuid.isNull() ? QStringLiteral("null") : uuid.toString(QUuid::WithoutBraces);
}

QString infos(const QList<RobotResourceInfo> &list)
{
    QStringList out;
    for (const RobotResourceInfo &i : list)
        out << QStringLiteral("%1|%2|%3|%4|%5")
                   .arg(i.name, uuidText(i.uuid), uuidText(i.group))
                   .arg(int(i.type))
                   .arg(i.lastModified.toUTC().toString(Qt::ISODateWithMs));
    return out.join(';');
}

// The robot's side: its interfaces over one connected client.
struct Robot
{
    RosbridgeFake fake;
    RosBridgeClient client;
    RobotResourceInterface paths{ kPrefix + "path", RobotResourceType::Path, &client, nullptr };
    RobotMapResourceInterface maps{ kPrefix + "map", &client, nullptr };
    RobotJobInterface jobs{ kJobs, &client, nullptr };

    bool open()
    {
        return fake.listen()
            && outcomeOf(client.connect(QStringLiteral("127.0.0.1"), fake.port())) == "ok";
    }
};

} // namespace

class TestRobotInterfaces : public QObject
{
    Q_OBJECT

private slots:
    void operations_data();
    void operations();
    void promisesInQml();
    void pendingCallOutlivesItsInterface();
};

void TestRobotInterfaces::operations_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("reply"); // values[0] as JSON text
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("outcome");

    const QString ok = R"("result":{"success":true,"message":""})";
    const QString refused = R"("result":{"success":false,"message":"job not found"})";
    const QString silent = R"("result":{"success":false,"message":""})";
    const QString uuidArgs = R"({"uuid":")" + kBraced + R"("})";
    const QString entries = R"("json":"[{\"group_id\":null,\"name\":\"North\",\"id\":\")" + kPlain
        + R"(\",\"creation_date\":\"2024-05-01T10:20:30.456Z\"}]")";

    QTest::newRow("get") << "get" << kPrefix + "path/get"
                         << "{" + ok + R"(,"json":"{\"name\":\"Lane\"}"})" << uuidArgs
                         << R"(ok {"name":"Lane"})";
    QTest::newRow("get unparsable") << "get" << kPrefix + "path/get"
                                    << "{" + ok + R"(,"json":"{"})" << uuidArgs << "ok {}";
    QTest::newRow("get refused") << "get" << kPrefix + "path/get"
                                 << "{" + refused + R"(,"json":"{}"})" << uuidArgs
                                 << "job not found";
    QTest::newRow("set") << "set" << kPrefix + "path/set"
                         << "{" + ok + R"(,"uuid":")" + kBraced + R"("})"
                         << R"({"json":"{\"name\":\"Lane\"}"})"
                         << "ok " + kPlain;
    QTest::newRow("set nil") << "set" << kPrefix + "path/set"
                             << "{" + ok + R"(,"uuid":"00000000-0000-0000-0000-000000000000"})"
                             << R"({"json":"{\"name\":\"Lane\"}"})"
                             << "ok null";
    QTest::newRow("update") << "update" << kPrefix + "path/update"
                            << "{" + silent + R"(,"uuid":""})"
                            << R"({"json":"{\"name\":\"Lane\"}"})"
                            << "Service call failed";
    QTest::newRow("remove") << "remove" << kPrefix + "path/delete"
                            << "{" + ok + "}" << uuidArgs << "ok";
    QTest::newRow("remove refused") << "remove" << kPrefix + "path/delete"
                                    << "{" + refused + "}" << uuidArgs << "job not found";
    QTest::newRow("list paths") << "list" << kPrefix + "path/list"
                                << "{" + ok + "," + entries + "}"
                                << "{}"
                                << "ok North|" + kPlain + "|null|0|2024-05-01T10:20:30.456Z";
    QTest::newRow("list maps in a group")
        << "listMaps" << kPrefix + "map/list"
        << "{" + ok + "," + entries + "}"
        << R"({"group":")" + kBraced + R"("})"
        << "ok North|" + kPlain + "|null|5|2024-05-01T10:20:30.456Z";
    QTest::newRow("list not an array") << "list" << kPrefix + "path/list"
                                       << "{" + ok + R"(,"json":"{}"})"
                                       << "{}"
                                       << "ok ";
    QTest::newRow("active map") << "activeId" << kPrefix + "map/get_active_id"
                                << R"({"success":true,"message":"","uuid":")" + kBraced + R"("})"
                                << "{}"
                                << "ok " + kPlain;
    QTest::newRow("active map refused")
        << "activeId" << kPrefix + "map/get_active_id"
        << R"({"success":false,"message":"no map loaded","uuid":""})"
        << "{}"
        << "no map loaded";
    QTest::newRow("start") << "start" << kJobs + "/start"
                           << "{" + ok + "}" << uuidArgs << "ok";
    QTest::newRow("start refused") << "start" << kJobs + "/start"
                                   << "{" + refused + "}" << uuidArgs << "job not found";
    QTest::newRow("stop silent failure") << "stop" << kJobs + "/stop"
                                         << "{" + silent + "}"
                                         << "{}"
                                         << "Service call failed";
}

void TestRobotInterfaces::operations()
{
    QFETCH(QString, operation);
    QFETCH(QString, service);
    QFETCH(QString, reply);
    QFETCH(QString, args);
    QFETCH(QString, outcome);

    Robot robot;
    QVERIFY(robot.open());
    const QJsonObject value = QJsonDocument::fromJson(reply.toUtf8()).object();
    QVERIFY2(!value.isEmpty(), qPrintable(reply));
    robot.fake.answer(service, true, QJsonArray{ value });

    const QJsonObject resource{ { "name", "Lane" } };
    const auto uuid = [](const QUuid &u) { return uuidText(u); };
    QString result;
    if (operation == "get")
        result = settle<QJsonObject>(robot.paths.getResourceCpp(kUuid), compact);
    else if (operation == "set")
        result = settle<QUuid>(robot.paths.setResourceCpp(resource), uuid);
    else if (operation == "update")
        result = settle<QUuid>(robot.paths.updateResourceCpp(resource), uuid);
    else if (operation == "remove")
        result = settleVoid(robot.paths.removeResourceCpp(kUuid));
    else if (operation == "list")
        result = settle<QList<RobotResourceInfo>>(robot.paths.listResourcesCpp(QUuid()), infos);
    else if (operation == "listMaps")
        result = settle<QList<RobotResourceInfo>>(robot.maps.listResourcesCpp(kUuid), infos);
    else if (operation == "activeId")
        result = settle<QUuid>(robot.maps.getActiveIdCpp(), uuid);
    else if (operation == "start")
        result = settleVoid(robot.jobs.startJobCpp(kUuid));
    else if (operation == "stop")
        result = settleVoid(robot.jobs.stopJobCpp());
    QCOMPARE(result, outcome);

    const QList<QJsonObject> calls = robot.fake.requests(QStringLiteral("call_service"));
    QCOMPARE(calls.size(), qsizetype(1));
    QCOMPARE(calls.first().value("service").toString(), service);
    QCOMPARE(compact(calls.first().value("args").toObject()), args);
}

void TestRobotInterfaces::promisesInQml()
{
    Robot robot;
    QVERIFY(robot.open());
    robot.fake.script(kPrefix + "path/delete", [](const QJsonObject &request) {
        return RosbridgeFake::Reply{
            { RosbridgeFake::response(
                request, true,
                QJsonObject{
                    { "result",
                      QJsonObject{ { "success", false }, { "message", "job not found" } } } }) },
            0
        };
    });
    robot.fake.answer(
        kPrefix + "path/list", true,
        QJsonObject{ { "result", QJsonObject{ { "success", true }, { "message", "" } } },
                     { "json", "[]" } });
    QJSEngine engine;
    engine.installExtensions(QJSEngine::ConsoleExtension);
    QJSEngine::setObjectOwnership(&robot.paths, QJSEngine::CppOwnership);
    QJSEngine::setObjectOwnership(&robot.jobs, QJSEngine::CppOwnership);
    engine.globalObject().setProperty("paths", engine.newQObject(&robot.paths));
    engine.globalObject().setProperty("jobs", engine.newQObject(&robot.jobs));
    engine.evaluate("var out = {};"
                    "paths.removeResource('"
                    + kBraced
                    + "').then(() => out.remove = 'resolved',"
                      "  e => out.remove = e.message);"
                      "paths.listResources().then(l => out.list = 'length ' + l.length,"
                      "  e => out.list = e.message);");
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.remove").toString(),
                              QStringLiteral("job not found"), scaled(5000));
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.list").toString(), QStringLiteral("length 0"),
                              scaled(5000));
    QCOMPARE(robot.fake.lastCall(kPrefix + "path/list").value("args").toObject(), QJsonObject());

    // Disconnected: rejected at once, nothing sent.
    robot.client.disconnect();
    QTRY_COMPARE_WITH_TIMEOUT(robot.client.connectionStatus(), RobotConnectionStatus::Closed,
                              scaled(5000));
    engine.evaluate("jobs.stopJob().then(() => out.stop = 'resolved', e => out.stop = e.message);");
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.stop").toString(),
                              QStringLiteral("Robot is not connected"), scaled(5000));
    QCOMPARE(robot.fake.lastCall(kJobs + "/stop"), QJsonObject());
}

void TestRobotInterfaces::pendingCallOutlivesItsInterface()
{
    Robot robot;
    QVERIFY(robot.open());
    auto maps
        = std::make_unique<RobotMapResourceInterface>(kPrefix + "map", &robot.client, nullptr);
    auto jobs = std::make_unique<RobotJobInterface>(kJobs, &robot.client, nullptr);
    QFuture<QList<RobotResourceInfo>> list = maps->listResourcesCpp(QUuid());
    QFuture<QUuid> active = maps->getActiveIdCpp();
    QFuture<void> stop = jobs->stopJobCpp();
    QTRY_COMPARE_WITH_TIMEOUT(robot.fake.requests("call_service").size(), qsizetype(3),
                              scaled(5000));
    maps.reset();
    jobs.reset();
    // The connection ends the calls after their interfaces have gone.
    robot.fake.closeAll();
    QCOMPARE(outcomeOf(list), QStringLiteral("Robot is not connected"));
    QCOMPARE(outcomeOf(active), QStringLiteral("Robot is not connected"));
    QCOMPARE(outcomeOf(stop), QStringLiteral("Robot is not connected"));
}

QTEST_GUILESS_MAIN(TestRobotInterfaces)
#include "tst_robotInterfaces.moc"
