#include "JsonReaders.h"
#include "RobotTestSupport.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"
#include "WebSocketClient.h"

#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

using namespace nimbrel::test;

// A typed reply for the tests of the typed call: its single value as a string.
template<> QString readRobotMessage<QString>(const QJsonValue &value)
{
    return readJsonString(value);
}

namespace {

QJsonValue parseValue(const QString &text)
{
    if (text.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    return QJsonDocument::fromJson(("[" + text + "]").toUtf8()).array().at(0);
}

QString compact(const QJsonArray &array)
{
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

// A fake on loopback and a client connected to it.
struct Rig
{
    RosbridgeFake fake;
    WebSocketClient *socket;
    RosBridgeClient client;

    explicit Rig(const WebSocketClientSettings &settings = {})
        : socket(new WebSocketClient(settings))
        , client(socket, nullptr)
    {
        socket->setParent(&client);
    }

    bool open()
    {
        if (!fake.listen())
            return false;
        QFuture<bool> connected = client.connect(QStringLiteral("127.0.0.1"), fake.port());
        return outcomeOf(connected) == QLatin1String("ok") && connected.result()
            && waitFor([this] { return fake.clientCount() == 1; });
    }
};

} // namespace

class TestRosBridgeClient : public QObject
{
    Q_OBJECT

private slots:
    void requestFrames();
    void responses_data();
    void responses();
    void typedCall_data();
    void typedCall();
    void strayResponses();
    void callsEndOnceWithoutResponse();
    void subscriptionsShareTopics();
    void malformedFrames_data();
    void malformedFrames();
    void callbacksFromQml();
    void callsFromAnotherThreadFail();
    void oversizedMessageEndsConnection();
};

void TestRosBridgeClient::requestFrames()
{
    Rig rig;
    QVERIFY(rig.open());
    QFuture<RosBridgeClient::ServiceCallResponse> call = rig.client.callService(
        QStringLiteral("/resources/get"),
        QJsonObject{ { "uuid", "{x}" }, { "b", true }, { "a", 1.5 } }, 10000);
    std::unique_ptr<RobotSubscription> typed(rig.client.subscribe(
        QStringLiteral("/odom"), QStringLiteral("nav_msgs/msg/Odometry"), nullptr));
    std::unique_ptr<RobotSubscription> untyped(
        rig.client.subscribe(QStringLiteral("/status"), QString(), nullptr));
    untyped.reset();
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.frames().size(), qsizetype(4), scaled(5000));

    const QStringList frames = rig.fake.frames();
    const QRegularExpression call_(QString::fromLatin1(
        R"re(^\{"args":\{"a":1\.5,"b":true,"uuid":"\{x\}"\},"id":"(\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\})","op":"call_service","service":"/resources/get"\}$)re"));
    QVERIFY2(call_.match(frames.at(0)).hasMatch(), qPrintable(frames.at(0)));
    QCOMPARE(
        frames.at(1),
        QStringLiteral(R"({"op":"subscribe","topic":"/odom","type":"nav_msgs/msg/Odometry"})"));
    QCOMPARE(frames.at(2), QStringLiteral(R"({"op":"subscribe","topic":"/status"})"));
    QCOMPARE(frames.at(3), QStringLiteral(R"({"op":"unsubscribe","topic":"/status"})"));
}

void TestRosBridgeClient::responses_data()
{
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("values"); // JSON text; empty: key missing
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<bool>("expectedResult");
    QTest::addColumn<QString>("expectedValues");

    QTest::newRow("one object") << true << R"({"success":true})"
                                << "ok" << true << R"([{"success":true}])";
    QTest::newRow("missing") << true << ""
                             << "ok" << true << "[]";
    QTest::newRow("array") << true << R"([1,"two",{}])"
                           << "ok" << true << R"([1,"two",{}])";
    QTest::newRow("false with object") << false << R"({"a":1})"
                                       << "ok" << false << R"([{"a":1}])";
    QTest::newRow("false with text") << false << R"("no such service")"
                                     << "Service call failed: no such service" << false << "";
    QTest::newRow("true with text")
        << true << R"("odd")"
        << R"(Invalid type "string" for json value "values". Expected "array")" << false << "";
    QTest::newRow("number") << true << "3"
                            << R"(Invalid type "number" for json value "values". Expected "array")"
                            << false << "";
    QTest::newRow("null") << false << "null"
                          << R"(Invalid type "null" for json value "values". Expected "array")"
                          << false << "";
}

void TestRosBridgeClient::responses()
{
    QFETCH(bool, result);
    QFETCH(QString, values);
    QFETCH(QString, outcome);
    QFETCH(bool, expectedResult);
    QFETCH(QString, expectedValues);

    Rig rig;
    QVERIFY(rig.open());
    rig.fake.answer(QStringLiteral("/svc"), result, parseValue(values));
    auto future = rig.client.callService(QStringLiteral("/svc"), {}, scaled(5000));
    QCOMPARE(outcomeOf(future), outcome);
    if (outcome == QLatin1String("ok")) {
        QCOMPARE(future.result().result, expectedResult);
        QCOMPARE(compact(future.result().values), expectedValues);
    }
}

void TestRosBridgeClient::typedCall_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("values");
    QTest::addColumn<QString>("outcome");

    QTest::newRow("one value") << true << true << R"(["text"])"
                               << "ok";
    QTest::newRow("single object") << true << true << R"({"a":1})"
                                   << R"(Invalid type "object" for json value. Expected "string")";
    QTest::newRow("no value") << true << true << "[]"
                              << "Service call received more than one response";
    QTest::newRow("missing values") << true << true << ""
                                    << "Service call received more than one response";
    QTest::newRow("two values") << true << true << R"(["a","b"])"
                                << "Service call received more than one response";
    QTest::newRow("result false") << true << false << R"(["a"])"
                                  << "Service call failed";
    QTest::newRow("failure text passes") << true << false << R"("denied")"
                                         << "Service call failed: denied";
    QTest::newRow("not connected") << false << true << R"(["a"])"
                                   << "Robot is not connected";
}

void TestRosBridgeClient::typedCall()
{
    QFETCH(bool, connected);
    QFETCH(bool, result);
    QFETCH(QString, values);
    QFETCH(QString, outcome);

    Rig rig;
    if (connected)
        QVERIFY(rig.open());
    rig.fake.answer(QStringLiteral("/typed"), result, parseValue(values));
    QFuture<QString> future
        = rig.client.callService<QString>(QStringLiteral("/typed"), QJsonObject(), scaled(5000));
    QCOMPARE(outcomeOf(future), outcome);
    if (outcome == QLatin1String("ok"))
        QCOMPARE(future.result(), QStringLiteral("text"));
    if (!connected)
        QVERIFY(rig.fake.frames().isEmpty());
}

void TestRosBridgeClient::strayResponses()
{
    Rig rig;
    QVERIFY(rig.open());
    // The robot answers the first call twice, then once more for an id nobody asked, then with an
    // id that is not a UUID (which leaves the call to its time-out).
    rig.fake.script(QStringLiteral("/dup"), [](const QJsonObject &request) {
        return RosbridgeFake::Reply{ { RosbridgeFake::response(request, true, QJsonArray{ 1 }),
                                       RosbridgeFake::response(request, true, QJsonArray{ 2 }),
                                       RosbridgeFake::response(
                                           request, true, QJsonArray{ 3 },
                                           { { "id", QUuid::createUuid().toString() } }) },
                                     0 };
    });
    rig.fake.script(QStringLiteral("/badid"), [](const QJsonObject &request) {
        return RosbridgeFake::Reply{
            { RosbridgeFake::response(request, true, QJsonArray{}, { { "id", "abc" } }),
              RosbridgeFake::response(request, true, QJsonArray{}, { { "id", 7 } }) },
            0
        };
    });

    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Received service response for unknown service call"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Received service response for unknown service call"));
    auto first = rig.client.callService(QStringLiteral("/dup"), {}, scaled(5000));
    QCOMPARE(outcomeOf(first), QStringLiteral("ok"));
    QCOMPARE(compact(first.result().values), QStringLiteral("[1]"));

    QTest::ignoreMessage(QtWarningMsg,
                         "Failed to parse service response: Could not parse JSON "
                         "value as type \"UUID\"");
    QTest::ignoreMessage(
        QtWarningMsg,
        "Failed to parse service response: Invalid type \"number\" for json value. Expected "
        "\"string\"");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Service call .* timed out$"));
    auto second = rig.client.callService(QStringLiteral("/badid"), {}, 300);
    QCOMPARE(outcomeOf(second), QStringLiteral("Service call timed out"));
    // Once settled, the first call kept its first answer.
    QCOMPARE(compact(first.result().values), QStringLiteral("[1]"));
}

void TestRosBridgeClient::callsEndOnceWithoutResponse()
{
    Rig rig;
    QVERIFY(rig.open());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Service call .* timed out$"));
    auto timedOut = rig.client.callService(QStringLiteral("/silent"), {}, 200);
    QCOMPARE(outcomeOf(timedOut), QStringLiteral("Service call timed out"));

    // A late answer after the time-out is an answer for nobody.
    rig.fake.answer(QStringLiteral("/late"), true, QJsonArray{}, 400);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Service call .* timed out$"));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Received service response for unknown service call"));
    auto late = rig.client.callService(QStringLiteral("/late"), {}, 100);
    QCOMPARE(outcomeOf(late), QStringLiteral("Service call timed out"));
    QSignalSpy frames(&rig.fake, &RosbridgeFake::frameReceived);
    QTest::qWait(600); // the late answer arrives and is dropped with its warning

    // The server goes while two calls wait: both fail at once, and their timers never fire.
    auto a = rig.client.callService(QStringLiteral("/silent"), {}, 400);
    auto b = rig.client.callService(QStringLiteral("/silent"), {}, 400);
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.requests("call_service").size(), qsizetype(4), scaled(5000));
    rig.fake.closeAll();
    QCOMPARE(outcomeOf(a), QStringLiteral("Robot is not connected"));
    QCOMPARE(outcomeOf(b), QStringLiteral("Robot is not connected"));
    QTest::qWait(600); // past both time-outs: an unexpected "timed out" warning would fail here
    QCOMPARE(rig.client.connectionStatus(), RobotConnectionStatus::Closed);

    // Not connected: fails at once, sends nothing.
    const qsizetype sent = rig.fake.frames().size();
    QCOMPARE(outcomeOf(rig.client.callService(QStringLiteral("/x"), {}, 10000), 0),
             QStringLiteral("Robot is not connected"));
    QCOMPARE(rig.fake.frames().size(), sent);

    // Destroying the client cancels what still waits, without an exception.
    auto rig2 = std::make_unique<Rig>();
    QVERIFY(rig2->open());
    auto orphan = rig2->client.callService(QStringLiteral("/silent"), {}, 10000);
    rig2.reset();
    QVERIFY(orphan.isFinished());
    QCOMPARE(outcomeOf(orphan), QStringLiteral("canceled"));
}

void TestRosBridgeClient::subscriptionsShareTopics()
{
    Rig rig;
    QVERIFY(rig.open());
    QObject owner;
    RobotSubscription *first = rig.client.subscribe("/odom", "nav_msgs/msg/Odometry", &owner);
    RobotSubscription *second = rig.client.subscribe("/odom", "nav_msgs/msg/Odometry", &owner);
    RobotSubscription *other = rig.client.subscribe("/status", "", &owner);
    QCOMPARE(first->topic(), QStringLiteral("/odom"));
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount("/status"), 1, scaled(5000));
    QCOMPARE(rig.fake.subscribeCount("/odom"), 1);

    QList<int> seen;
    first->onMessage([&seen](const QJsonObject &m) { seen.append(m.value("n").toInt()); });
    // A throwing callback and an empty one are logged; the next callback still runs.
    first->onMessage([](const QJsonObject &) { throw std::runtime_error("bad reader"); });
    first->onMessage(RobotSubscription::Callback());
    first->onMessage([&seen](const QJsonObject &m) { seen.append(100 + m.value("n").toInt()); });
    QSignalSpy secondSpy(second, &RobotSubscription::messageReceived);
    QSignalSpy otherSpy(other, &RobotSubscription::messageReceived);

    QTest::ignoreMessage(QtWarningMsg, "Exception in callback for topic \"/odom\" : bad reader");
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^Exception in callback for topic "
                                            "\"/odom\" : .*function"));
    rig.fake.publish("/odom", { { "n", 1 } });
    QTRY_COMPARE_WITH_TIMEOUT(secondSpy.count(), 1, scaled(5000));
    QCOMPARE(seen, QList<int>({ 1, 101 }));
    QCOMPARE(otherSpy.count(), 0);

    delete second;
    QTest::qWait(50);
    QCOMPARE(rig.fake.unsubscribeCount("/odom"), 0);
    delete first;
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.unsubscribeCount("/odom"), 1, scaled(5000));

    // After a reconnection nothing is re-subscribed by itself; subscribing again sends anew, and
    // the older subscription of the topic hears its messages again.
    rig.fake.closeAll();
    QTRY_COMPARE_WITH_TIMEOUT(rig.client.connectionStatus(), RobotConnectionStatus::Closed,
                              scaled(5000));
    QVERIFY(outcomeOf(rig.client.connect("127.0.0.1", rig.fake.port())) == "ok");
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.clientCount(), 1, scaled(5000));
    QCOMPARE(rig.fake.subscribeCount("/status"), 1);
    RobotSubscription *again = rig.client.subscribe("/status", "", &owner);
    QTRY_COMPARE_WITH_TIMEOUT(rig.fake.subscribeCount("/status"), 2, scaled(5000));
    QSignalSpy againSpy(again, &RobotSubscription::messageReceived);
    rig.fake.publish("/status", { { "ok", true } });
    QTRY_COMPARE_WITH_TIMEOUT(otherSpy.count(), 1, scaled(5000));
    QCOMPARE(againSpy.count(), 1);
}

void TestRosBridgeClient::malformedFrames_data()
{
    QTest::addColumn<QString>("frame");
    QTest::addColumn<QString>("warning");
    const QString notObject = "Failed to parse received message: Received message is not a valid "
                              "JSON object";
    QTest::newRow("not JSON") << "hello" << notObject;
    QTest::newRow("array") << R"([{"op":"publish"}])" << notObject;
    QTest::newRow("no op") << R"({"topic":"/a"})"
                           << "Failed to parse received message: Missing expected json value";
    QTest::newRow("op number")
        << R"({"op":3})"
        << R"(Failed to parse received message: Invalid type "number" for json value. Expected "string")";
    QTest::newRow("unknown op") << R"({"op":"status","level":"error"})"
                                << R"(Received unknown message type "status")";
    QTest::newRow("msg missing")
        << R"({"op":"publish","topic":"/a"})"
        << R"(Failed to parse topic message: Invalid type "undefined" for json value "msg". Expected "object")";
    QTest::newRow("msg array")
        << R"({"op":"publish","topic":"/a","msg":[]})"
        << R"(Failed to parse topic message: Invalid type "array" for json value "msg". Expected "object")";
    QTest::newRow("topic missing") << R"({"op":"publish","msg":{}})"
                                   << "Failed to parse topic message: Missing expected json value";
    QTest::newRow("binary") << ""
                            << "";
}

void TestRosBridgeClient::malformedFrames()
{
    QFETCH(QString, frame);
    QFETCH(QString, warning);
    Rig rig;
    QVERIFY(rig.open());
    QObject owner;
    RobotSubscription *subscription = rig.client.subscribe("/a", "", &owner);
    QSignalSpy received(subscription, &RobotSubscription::messageReceived);
    if (frame.isEmpty()) {
        rig.fake.sendBinary(QByteArray(R"({"op":"publish","topic":"/a","msg":{}})"));
    } else {
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        rig.fake.sendText(frame);
    }
    // The connection carries on: the next good frame arrives, and only it.
    rig.fake.publish("/a", { { "good", true } });
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, scaled(5000));
    QCOMPARE(received.at(0).at(0).toJsonObject().value("good").toBool(), true);
    QVERIFY(rig.client.connectionStatus() == RobotConnectionStatus::Connected);
}

void TestRosBridgeClient::callbacksFromQml()
{
    Rig rig;
    QVERIFY(rig.open());
    QJSEngine engine;
    RobotSubscription *subscription = rig.client.subscribe("/pose", "", nullptr);
    QJSEngine::setObjectOwnership(subscription, QJSEngine::JavaScriptOwnership);
    engine.globalObject().setProperty("sub", engine.newQObject(subscription));
    const QJSValue refused = engine.evaluate("try { sub.onMessage(5); 'no error' } "
                                             "catch (e) { e.name + ': ' + e.message }");
    QCOMPARE(refused.toString(), QStringLiteral("TypeError: Callback is not callable"));
    engine.evaluate("var got = []; sub.onMessage(function (m) { got.push(m.pose.x); "
                    "throw new Error('ignored'); });");
    rig.fake.publish("/pose", { { "pose", QJsonObject{ { "x", 2.5 } } } });
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("got.length").toInt(), 1, scaled(5000));
    QCOMPARE(engine.evaluate("got[0]").toNumber(), 2.5);
}

void TestRosBridgeClient::callsFromAnotherThreadFail()
{
    Rig rig;
    QVERIFY(rig.open());
    QFuture<RosBridgeClient::ServiceCallResponse> future;
    RobotSubscription *subscription = reinterpret_cast<RobotSubscription *>(1);
    QThread *thread = QThread::create([&] {
        future = rig.client.callService("/svc", {}, 10000);
        subscription = rig.client.subscribe("/t", "", nullptr);
        rig.client.unsubscribe("/t");
    });
    QTest::ignoreMessage(
        QtWarningMsg,
        "Service calls must be made from the same thread as the RosBridgeClient object");
    QTest::ignoreMessage(QtWarningMsg, "Cannot subscribe to a topic from a different thread");
    QTest::ignoreMessage(QtWarningMsg, "Cannot unsubscribe from a topic from a different thread");
    thread->start();
    QVERIFY(thread->wait(scaled(10000)));
    delete thread;
    QCOMPARE(outcomeOf(future),
             QStringLiteral(
                 "Service calls must be made from the same thread as the RosBridgeClient object"));
    QCOMPARE(subscription, nullptr);
    QTest::qWait(100);
    QVERIFY(rig.fake.frames().isEmpty());
}

void TestRosBridgeClient::oversizedMessageEndsConnection()
{
    WebSocketClientSettings settings;
    settings.maxIncomingMessageSize = 64 * 1024;
    Rig rig(settings);
    QVERIFY(rig.open());
    QObject owner;
    RobotSubscription *subscription = rig.client.subscribe("/map", "", &owner);
    QSignalSpy received(subscription, &RobotSubscription::messageReceived);
    auto pending = rig.client.callService("/silent", {}, 10000);
    rig.fake.publish("/map", { { "data", QString(32 * 1024, 'a') } });
    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, scaled(5000));
    rig.fake.publish("/map", { { "data", QString(128 * 1024, 'a') } });
    QCOMPARE(outcomeOf(pending), QStringLiteral("Robot is not connected"));
    QCOMPARE(received.count(), 1);
}

QTEST_GUILESS_MAIN(TestRosBridgeClient)
#include "tst_rosBridgeClient.moc"
