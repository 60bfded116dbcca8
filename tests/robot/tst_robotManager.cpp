#include "RobotConnection.h"
#include "RobotManager.h"
#include "RobotTestSupport.h"
#include "RosBridgeClient.h"
#include "RosbridgeFake.h"
#include "WebSocketClient.h"

#include <QAbstractItemModelTester>
#include <QJSEngine>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

class TestRobotManager : public QObject
{
    Q_OBJECT

private slots:
    // Connections are deleted later by their last owner; let that happen within the test.
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void connectionUrls_data();
    void connectionUrls();
    void connectionInterfaces();
    void rowsFollowConnections();
    void promisesInQml();
};

void TestRobotManager::connectionUrls_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("opened");
    QTest::newRow("no port") << "ws://127.0.0.1"
                             << "ws://127.0.0.1:9090";
    QTest::newRow("other scheme, port, path") << "wss://127.0.0.2:1234/robot?x=1"
                                              << "ws://127.0.0.2:1234";
    QTest::newRow("encoded host") << "ws://%6c%6fcalhost:4321"
                                  << "ws://localhost:4321";
}

void TestRobotManager::connectionUrls()
{
    QFETCH(QString, url);
    QFETCH(QString, opened);
    RobotConnection connection;
    QFuture<bool> attempt = connection.connectCpp(QUrl(url));
    QCOMPARE(connection.client()->socketClient()->url().toString(), opened);
    connection.disconnect();
    QVERIFY(waitFor([&] { return attempt.isFinished(); }));
}

void TestRobotManager::connectionInterfaces()
{
    RobotConnection connection;
    QCOMPARE(connection.name(), QStringLiteral("Sorvyn"));
    QCOMPARE(connection.location(), QStringLiteral("robot/1"));
    QCOMPARE(connection.status(), RobotConnectionStatus::Closed);
    QCOMPARE(connection.resourceInterface(RobotResourceType::Map),
             connection.mapResourceInterface());
    QCOMPARE(connection.resourceInterface(RobotResourceType::Schedule),
             connection.scheduleResourceInterface());
    QCOMPARE(connection.resourceInterface(RobotResourceType::Location), nullptr);
    QCOMPARE(connection.resourceInterface(RobotResourceType::Unknown), nullptr);
    // Every interface is a distinct child.
    QSet<QObject *> interfaces{ connection.pathResourceInterface(),
                                connection.jobResourceInterface(),
                                connection.areaResourceInterface(),
                                connection.artifactResourceInterface(),
                                connection.scheduleResourceInterface(),
                                connection.mapResourceInterface(),
                                connection.jobInterface(),
                                connection.pathRecordingInterface(),
                                connection.telemetryInterface() };
    QCOMPARE(interfaces.size(), 9);
    for (QObject *i : interfaces)
        QCOMPARE(i->parent(), &connection);
}

namespace {

// Every product robot reports the serial "1"; these report their own, so that rows can be told
// apart by serial.
class SerialConnection : public RobotConnection
{
public:
    explicit SerialConnection(QString serial)
        : m_serial(std::move(serial))
    { }
    QString serial() const override { return m_serial; }

private:
    QString m_serial;
};

} // namespace

void TestRobotManager::rowsFollowConnections()
{
    RosbridgeFake fake;
    QVERIFY(fake.listen());
    int made = 0;
    RobotManager manager(
        [&made](QJSEngine *) -> std::shared_ptr<IRobotConnection> {
            return std::shared_ptr<IRobotConnection>(
                new SerialConnection(QString(QChar(u'A' + made++))), orvane::QObjectDeleter());
        },
        nullptr);
    QAbstractItemModelTester tester(&manager);
    QSignalSpy sizes(&manager, &RobotManager::sizeChanged);
    QSignalSpy removed(&manager, &RobotManager::connectionRemoved);
    QSignalSpy actives(&manager, &RobotManager::activeConnectionChanged);
    QStringList order;
    connect(&manager, &RobotManager::activeConnectionChanged, this, [&] { order << "active"; });
    connect(&manager, &RobotManager::rowsAboutToBeRemoved, this, [&] { order << "rows"; });

    // A failed attempt leaves the model as it was.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 refusedPort = closed.serverPort();
    closed.close();
    QCOMPARE(
        outcomeOf(manager.connectCpp(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(refusedPort)))),
        QStringLiteral("Robot connection failed"));
    QCOMPARE(manager.size(), 0);

    QList<std::shared_ptr<IRobotConnection>> connections; // B, C, D
    for (int i = 0; i < 3; ++i) {
        auto future = manager.connectCpp(QUrl(fake.url()));
        QCOMPARE(outcomeOf(future), QStringLiteral("ok"));
        connections << future.result();
    }
    QCOMPARE(manager.size(), 3);
    QCOMPARE(actives.count(), 1); // the first became active; the others did not move it
    QCOMPARE(manager.indexOf(QStringLiteral("D")), 2);
    QCOMPARE(manager.data(manager.index(2), Qt::DisplayRole).toString(), QStringLiteral("Sorvyn"));
    QCOMPARE(manager.data(manager.index(2), Qt::ToolTipRole).toString(), QStringLiteral("D"));
    QCOMPARE(manager.data(manager.index(1), IRobotManager::SerialRole).toString(),
             QStringLiteral("C"));
    QVERIFY(!manager.data(manager.index(3), Qt::DisplayRole).isValid());
    manager.makeActiveConnection(QStringLiteral("nobody"));
    QCOMPARE(manager.activeConnection(), nullptr);
    manager.makeActiveConnection(QStringLiteral("D"));
    QCOMPARE(actives.count(), 3);

    // The first row goes with the third active: the same connection stays active, now at row 1.
    connections[0]->disconnect();
    QTRY_COMPARE_WITH_TIMEOUT(manager.size(), 2, scaled(5000));
    QCOMPARE(removed.at(0).at(0).toString(), QStringLiteral("B"));
    QCOMPARE(actives.count(), 3);
    std::unique_ptr<QmlSharedPointer> active(manager.activeConnection());
    QCOMPARE(active->as<IRobotConnection>(), connections[2]);
    active.reset();

    // The active row goes: the active connection is cleared first, then the rows change.
    order.clear();
    connections[2]->disconnect();
    QTRY_COMPARE_WITH_TIMEOUT(manager.size(), 1, scaled(5000));
    QCOMPARE(order, QStringList({ "active", "rows" }));
    QCOMPARE(manager.activeConnection(), nullptr);
    QCOMPARE(manager.connectionAt(0), connections[1]);
    // A closed connection still answers and does not come back to the list.
    QCOMPARE(connections[2]->status(), RobotConnectionStatus::Closed);
    QCOMPARE(sizes.count(), 3 + 2);
}

void TestRobotManager::promisesInQml()
{
    RosbridgeFake fake;
    QVERIFY(fake.listen());
    QJSEngine engine;
    auto manager = std::make_unique<RobotManager>();
    QJSEngine::setObjectOwnership(manager.get(), QJSEngine::CppOwnership);
    engine.globalObject().setProperty("manager", engine.newQObject(manager.get()));
    engine.evaluate("var out = {};"
                    "manager.connect('"
                    + fake.url()
                    + "').then(h => {"
                      "  out.ok = h.getObject().name + ' ' + h.getObject().status;"
                      "  out.size = manager.size;"
                      "}, e => out.ok = e.message);"
                      "manager.connectToHost('bad host').then(h => out.bad = 'resolved',"
                      "  e => out.bad = e.message);");
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.ok").toString(), QStringLiteral("Sorvyn 1"),
                              scaled(5000));
    QCOMPARE(engine.evaluate("out.size").toInt(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(engine.evaluate("out.bad").toString(),
                              QStringLiteral("Robot connection failed"), scaled(10000));
    // The device list popup's road: disconnect the active connection through its handle.
    engine.evaluate("manager.activeConnection.getObject().disconnect()");
    QTRY_COMPARE_WITH_TIMEOUT(manager->size(), 0, scaled(5000));
    QVERIFY(engine.evaluate("manager.activeConnection === null").toBool());
}

QTEST_GUILESS_MAIN(TestRobotManager)
#include "tst_robotManager.moc"
