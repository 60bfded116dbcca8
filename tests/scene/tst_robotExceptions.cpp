#include "JsonReaders.h"
#include "RobotExceptions.h"

#include <QFuture>
#include <QJsonDocument>
#include <QPromise>
#include <QTest>

#include <functional>
#include <memory>

// The readers and the exception family: what each reader gives or throws (with the exact text
// QML will see), and that every exception survives a trip through a QFuture with its own type.
class tst_RobotExceptions : public QObject
{
    Q_OBJECT

private slots:
    void readers_data();
    void readers();
    void uuid_data();
    void uuid();
    void messages_data();
    void messages();
    void throughFuture_data();
    void throughFuture();
};

using Reader = std::function<QVariant(const QJsonValue &)>;
Q_DECLARE_METATYPE(Reader)

namespace {

// A value looked up as the robot stack does: by key in an object parsed from text, so a missing
// key gives the undefined value.
QJsonValue lookUp(const char *objectText)
{
    return QJsonDocument::fromJson(objectText).object().value(QStringLiteral("v"));
}

const Reader stringReader = [](const QJsonValue &v) { return QVariant(readJsonString(v)); };
const Reader boolReader = [](const QJsonValue &v) { return QVariant(readJsonBool(v)); };
const Reader doubleReader = [](const QJsonValue &v) { return QVariant(readJsonDouble(v)); };
const Reader intReader = [](const QJsonValue &v) { return QVariant(readJsonInt(v)); };
const Reader int64Reader = [](const QJsonValue &v) { return QVariant(readJsonInt64(v)); };
const Reader arrayReader = [](const QJsonValue &v) { return QVariant(readJsonArray(v).size()); };
const Reader objectReader = [](const QJsonValue &v) { return QVariant(readJsonObject(v).size()); };

} // namespace

void tst_RobotExceptions::readers_data()
{
    QTest::addColumn<Reader>("reader");
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QString>("error");

    const QString missing = QStringLiteral("Missing expected json value");
    QTest::newRow("string good") << stringReader << QByteArray(R"({"v":"ä b"})")
                                 << QVariant(QStringLiteral("ä b")) << QString();
    QTest::newRow("string missing")
        << stringReader << QByteArray(R"({"w":"x"})") << QVariant() << missing;
    QTest::newRow("string from number")
        << stringReader << QByteArray(R"({"v":3})") << QVariant()
        << QStringLiteral("Invalid type \"number\" for json value. Expected \"string\"");
    QTest::newRow("bool good") << boolReader << QByteArray(R"({"v":false})") << QVariant(false)
                               << QString();
    QTest::newRow("bool from null")
        << boolReader << QByteArray(R"({"v":null})") << QVariant()
        << QStringLiteral("Invalid type \"null\" for json value. Expected \"boolean\"");
    QTest::newRow("bool from string")
        << boolReader << QByteArray(R"({"v":"true"})") << QVariant()
        << QStringLiteral("Invalid type \"string\" for json value. Expected \"boolean\"");
    QTest::newRow("bool missing") << boolReader << QByteArray("{}") << QVariant() << missing;
    QTest::newRow("double good") << doubleReader << QByteArray(R"({"v":-2.5e3})")
                                 << QVariant(-2500.0) << QString();
    QTest::newRow("double from array")
        << doubleReader << QByteArray(R"({"v":[1]})") << QVariant()
        << QStringLiteral("Invalid type \"array\" for json value. Expected \"number\"");
    QTest::newRow("int good") << intReader << QByteArray(R"({"v":-7})") << QVariant(-7)
                              << QString();
    QTest::newRow("int fraction") << intReader << QByteArray(R"({"v":1.5})") << QVariant()
                                  << QStringLiteral("Could not parse JSON value as type \"int\"");
    QTest::newRow("int too big") << intReader << QByteArray(R"({"v":2147483648})") << QVariant()
                                 << QStringLiteral("Could not parse JSON value as type \"int\"");
    QTest::newRow("int smallest") << intReader << QByteArray(R"({"v":-2147483648})")
                                  << QVariant(-2147483647 - 1) << QString();
    QTest::newRow("int64 2^63") << int64Reader << QByteArray(R"({"v":9223372036854775808})")
                                << QVariant()
                                << QStringLiteral("Could not parse JSON value as type \"int64\"");
    QTest::newRow("int64 2^53") << int64Reader << QByteArray(R"({"v":9007199254740992})")
                                << QVariant(qint64(9007199254740992)) << QString();
    QTest::newRow("array good") << arrayReader << QByteArray(R"({"v":[1,2,3]})") << QVariant(3)
                                << QString();
    QTest::newRow("array from object")
        << arrayReader << QByteArray(R"({"v":{}})") << QVariant()
        << QStringLiteral("Invalid type \"object\" for json value. Expected \"array\"");
    QTest::newRow("object good") << objectReader << QByteArray(R"({"v":{"a":1}})") << QVariant(1)
                                 << QString();
    QTest::newRow("object from bool")
        << objectReader << QByteArray(R"({"v":true})") << QVariant()
        << QStringLiteral("Invalid type \"boolean\" for json value. Expected \"object\"");
    QTest::newRow("object missing") << objectReader << QByteArray("{}") << QVariant() << missing;
}

void tst_RobotExceptions::readers()
{
    QFETCH(Reader, reader);
    QFETCH(QByteArray, object);
    QFETCH(QVariant, expected);
    QFETCH(QString, error);

    const QJsonValue value = lookUp(object.constData());
    if (error.isEmpty()) {
        QCOMPARE(reader(value), expected);
        return;
    }
    try {
        reader(value);
        QFAIL("no exception");
    } catch (const JsonException &e) {
        QCOMPARE(QString::fromUtf8(e.what()), error);
        // A missing value and a wrong type are told apart by class, not only by text.
        const bool undefined = dynamic_cast<const JsonUndefinedException *>(&e) != nullptr;
        QCOMPARE(undefined, error == QLatin1String("Missing expected json value"));
        QCOMPARE(dynamic_cast<const JsonInvalidTypeException *>(&e) != nullptr, !undefined);
    }
}

void tst_RobotExceptions::uuid_data()
{
    QTest::addColumn<QByteArray>("object");
    QTest::addColumn<QUuid>("expected");
    QTest::addColumn<QString>("error");

    const QUuid id("{6f1c2a9e-0b4d-4c8e-9a51-3d7e2f804b16}");
    QTest::newRow("braced") << QByteArray(R"({"v":"{6f1c2a9e-0b4d-4c8e-9a51-3d7e2f804b16}"})") << id
                            << QString();
    QTest::newRow("bare upper") << QByteArray(R"({"v":"6F1C2A9E-0B4D-4C8E-9A51-3D7E2F804B16"})")
                                << id << QString();
    QTest::newRow("empty") << QByteArray(R"({"v":""})") << QUuid() << QString();
    QTest::newRow("nil bare") << QByteArray(R"({"v":"00000000-0000-0000-0000-000000000000"})")
                              << QUuid() << QString();
    QTest::newRow("nil braced") << QByteArray(R"({"v":"{00000000-0000-0000-0000-000000000000}"})")
                                << QUuid() << QString();
    QTest::newRow("not a uuid") << QByteArray(R"({"v":"robot-1"})") << QUuid()
                                << QStringLiteral("Could not parse JSON value as type \"UUID\"");
    QTest::newRow("number") << QByteArray(R"({"v":12})") << QUuid()
                            << QStringLiteral(
                                   "Invalid type \"number\" for json value. Expected \"string\"");
    QTest::newRow("missing") << QByteArray("{}") << QUuid()
                             << QStringLiteral("Missing expected json value");
}

void tst_RobotExceptions::uuid()
{
    QFETCH(QByteArray, object);
    QFETCH(QUuid, expected);
    QFETCH(QString, error);
    try {
        const QUuid read = readJsonUuid(lookUp(object.constData()));
        QVERIFY2(error.isEmpty(), "no exception");
        QCOMPARE(read, expected);
    } catch (const JsonException &e) {
        QCOMPARE(QString::fromUtf8(e.what()), error);
    }
}

void tst_RobotExceptions::messages_data()
{
    QTest::addColumn<std::shared_ptr<QException>>("exception");
    QTest::addColumn<QString>("message");

    using P = std::shared_ptr<QException>;
    QTest::newRow("json") << P(new JsonException(QStringLiteral("Received message is not a valid "
                                                                "JSON object")))
                          << QStringLiteral("Received message is not a valid JSON object");
    QTest::newRow("invalid type bare")
        << P(new JsonInvalidTypeException()) << QStringLiteral("Invalid type for json value.");
    QTest::newRow("invalid type named")
        << P(new JsonInvalidTypeException(QStringLiteral("op"), QJsonValue::Undefined,
                                          QJsonValue::String))
        << QStringLiteral("Invalid type \"undefined\" for json value \"op\". Expected "
                          "\"string\"");
    QTest::newRow("not connected")
        << P(new RobotNotConnectedException()) << QStringLiteral("Robot is not connected");
    QTest::newRow("failed empty message")
        << P(new ServiceCallFailedException(QString())) << QStringLiteral("Service call failed");
    QTest::newRow("failed values") << P(new ServiceCallFailedException(QJsonArray{ 1, "x" }))
                                   << QStringLiteral("Service call failed");
    QTest::newRow("failed message")
        << P(new ServiceCallFailedException(QStringLiteral("Kein Pfad: ü")))
        << QStringLiteral("Kein Pfad: ü");
    QTest::newRow("timeout") << P(new ServiceCallTimeoutException())
                             << QStringLiteral("Service call timed out");
    QTest::newRow("more than one, none")
        << P(new ServiceCallMoreThanOneResponseException(QJsonArray()))
        << QStringLiteral("Service call received more than one response");
    QTest::newRow("connection failed")
        << P(new RobotConnectionFailedException()) << QStringLiteral("Robot connection failed");
}

void tst_RobotExceptions::messages()
{
    QFETCH(std::shared_ptr<QException>, exception);
    QFETCH(QString, message);
    QCOMPARE(QString::fromUtf8(exception->what()), message);
}

void tst_RobotExceptions::throughFuture_data()
{
    messages_data();
}

// A future keeps a clone and raises it again: the class and the message must both survive, or a
// caller's catch of the specific class would miss it.
void tst_RobotExceptions::throughFuture()
{
    QFETCH(std::shared_ptr<QException>, exception);
    QFETCH(QString, message);

    QPromise<int> promise;
    QFuture<int> future = promise.future();
    promise.start();
    promise.setException(*exception);
    promise.finish();
    try {
        future.waitForFinished();
        QFAIL("no exception");
    } catch (const QException &e) {
        QCOMPARE(typeid(e), typeid(*exception));
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
}

QTEST_GUILESS_MAIN(tst_RobotExceptions)
#include "tst_robotExceptions.moc"
