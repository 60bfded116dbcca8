#include "IRobotResource.h"
#include "RobotExceptions.h"
#include "RobotResourceId.h"

#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

// Resource ids (text form both ways, streams, order) and the common JSON fields of a resource
// (all-or-nothing reads, the zone rule of creation dates, signals only on change).
class tst_RobotResources : public QObject
{
    Q_OBJECT

private slots:
    void idToString_data();
    void idToString();
    void idFromString_data();
    void idFromString();
    void idStreamAndOrder();
    void fromJsonErrors_data();
    void fromJsonErrors();
    void jsonRoundTrip();
    void signalsOnlyOnChange();
    void ownerQueries();
};

namespace {

const QUuid someUuid("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}");

class PlainResource : public IRobotResource
{
public:
    PlainResource()
        : IRobotResource(RobotResourceType::Map, QStringLiteral("plain"), QUuid::createUuid(),
                         QUuid::createUuid(), QDateTime::currentDateTime(), nullptr)
    { }
};

QJsonObject object(const char *text)
{
    return QJsonDocument::fromJson(text).object();
}

} // namespace

void tst_RobotResources::idToString_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QUuid>("uuid");
    QTest::addColumn<QString>("text");

    QTest::newRow("default") << 0 << QUuid() << "Path:00000000-0000-0000-0000-000000000000";
    QTest::newRow("unknown") << -1 << QUuid() << "Unknown:00000000-0000-0000-0000-000000000000";
    QTest::newRow("no key") << 7 << someUuid << "Unknown:1b4e28ba-2fa1-11d2-883f-0016d3cca427";
    QTest::newRow("map") << 5 << someUuid << "Map:1b4e28ba-2fa1-11d2-883f-0016d3cca427";
    QTest::newRow("location") << 6 << someUuid << "Location:1b4e28ba-2fa1-11d2-883f-0016d3cca427";
}

void tst_RobotResources::idToString()
{
    QFETCH(int, type);
    QFETCH(QUuid, uuid);
    QFETCH(QString, text);
    const RobotResourceId id(static_cast<RobotResourceType::ResourceType>(type), uuid);
    QCOMPARE(id.toString(), text);
    QCOMPARE(QDebug::toString(id), text);
}

void tst_RobotResources::idFromString_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("type");
    QTest::addColumn<QUuid>("uuid");

    QTest::newRow("braced") << "Map:{1b4e28ba-2fa1-11d2-883f-0016d3cca427}" << 5 << someUuid;
    QTest::newRow("bare") << "Job:1b4e28ba-2fa1-11d2-883f-0016d3cca427" << 1 << someUuid;
    QTest::newRow("lower-case key") << "map:1b4e28ba-2fa1-11d2-883f-0016d3cca427" << -1 << someUuid;
    QTest::newRow("Unknown key") << "Unknown:1b4e28ba-2fa1-11d2-883f-0016d3cca427" << -1
                                 << someUuid;
    QTest::newRow("empty key") << ":1b4e28ba-2fa1-11d2-883f-0016d3cca427" << -1 << someUuid;
    QTest::newRow("uuid only") << "1b4e28ba-2fa1-11d2-883f-0016d3cca427" << 0 << QUuid();
    QTest::newRow("kind only") << "Map" << 0 << QUuid();
    QTest::newRow("two colons") << "Map:a:b" << 0 << QUuid();
    QTest::newRow("empty") << "" << 0 << QUuid();
    QTest::newRow("bad uuid") << "Area:not-a-uuid" << 2 << QUuid();
}

void tst_RobotResources::idFromString()
{
    QFETCH(QString, text);
    QFETCH(int, type);
    QFETCH(QUuid, uuid);
    const RobotResourceId id = RobotResourceId::fromString(text);
    QCOMPARE(int(id.type), type);
    QCOMPARE(id.uuid, uuid);
}

void tst_RobotResources::idStreamAndOrder()
{
    const QList<RobotResourceId> ids{{RobotResourceType::Map, someUuid},
                                     {RobotResourceType::Location, QUuid::createUuid()},
                                     {RobotResourceType::Unknown, QUuid()}};
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out << ids << RobotResourceId(static_cast<RobotResourceType::ResourceType>(7), someUuid);
    }
    QDataStream in(bytes);
    QList<RobotResourceId> back;
    RobotResourceId noKey;
    in >> back >> noKey;
    QCOMPARE(back, ids);
    QCOMPARE(noKey, RobotResourceId(RobotResourceType::Unknown, someUuid));
    // The stream holds the text form: a QString of UTF-16 code units after its byte length.
    QDataStream raw(bytes);
    quint32 count = 0;
    QString first;
    raw >> count >> first;
    QCOMPARE(first, QStringLiteral("Map:1b4e28ba-2fa1-11d2-883f-0016d3cca427"));

    // Kind first (as integers: Unknown sorts first), then UUID.
    const RobotResourceId unknown(RobotResourceType::Unknown, QUuid("{ffffffff-0000-0000-0000-000000000000}"));
    const RobotResourceId path(RobotResourceType::Path, QUuid());
    QVERIFY(unknown < path);
    QVERIFY(RobotResourceId(RobotResourceType::Map, QUuid("{00000000-0000-0000-0000-000000000001}"))
            < RobotResourceId(RobotResourceType::Map, someUuid));
}

void tst_RobotResources::fromJsonErrors_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("message");

    const char *missing = "Missing expected json value";
    QTest::newRow("id missing") << QByteArray(R"({"group_id":null,"creation_date":"","name":"a"})")
                                << missing;
    QTest::newRow("id not a uuid")
            << QByteArray(R"({"id":"x","group_id":null,"creation_date":"","name":"a"})")
            << "Could not parse JSON value as type \"UUID\"";
    QTest::newRow("group missing")
            << QByteArray(R"({"id":"","creation_date":"","name":"a"})") << missing;
    QTest::newRow("group a number")
            << QByteArray(R"({"id":"","group_id":1,"creation_date":"","name":"a"})")
            << "Invalid type \"number\" for json value. Expected \"string\"";
    QTest::newRow("date missing") << QByteArray(R"({"id":"","group_id":"","name":"a"})")
                                  << missing;
    QTest::newRow("date an object")
            << QByteArray(R"({"id":"","group_id":"","creation_date":{},"name":"a"})")
            << "Invalid type \"object\" for json value. Expected \"string\"";
    QTest::newRow("name missing")
            << QByteArray(R"({"id":"","group_id":"","creation_date":""})") << missing;
    QTest::newRow("name null")
            << QByteArray(R"({"id":"","group_id":"","creation_date":"","name":null})")
            << "Invalid type \"null\" for json value. Expected \"string\"";
}

// A failed read leaves every field as it was and emits nothing, whichever field is at fault.
void tst_RobotResources::fromJsonErrors()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, message);

    PlainResource resource;
    const QUuid uuid = resource.uuid();
    const QUuid group = resource.group();
    const QDateTime date = resource.creationDate();
    QSignalSpy uuidSpy(&resource, &IRobotResource::uuidChanged);
    QSignalSpy groupSpy(&resource, &IRobotResource::groupChanged);
    try {
        resource.fromJson(JsonContext(), QJsonDocument::fromJson(json).object());
        QFAIL("no exception");
    } catch (const JsonException &e) {
        QCOMPARE(QString::fromUtf8(e.what()), message);
    }
    QCOMPARE(resource.uuid(), uuid);
    QCOMPARE(resource.group(), group);
    QCOMPARE(resource.creationDate(), date);
    QCOMPARE(resource.name(), QStringLiteral("plain"));
    QCOMPARE(uuidSpy.count() + groupSpy.count(), 0);
}

void tst_RobotResources::jsonRoundTrip()
{
    PlainResource resource;
    // A date without a zone keeps its clock reading as UTC; the null group becomes a fresh one.
    resource.fromJson(JsonContext(),
                      object(R"({"id":"{1b4e28ba-2fa1-11d2-883f-0016d3cca427}","group_id":null,)"
                             R"("creation_date":"2024-05-01T09:30:00.000","name":"Halle"})"));
    QCOMPARE(resource.uuid(), someUuid);
    QVERIFY(!resource.group().isNull());
    QCOMPARE(resource.creationDate(), QDateTime(QDate(2024, 5, 1), QTime(9, 30), Qt::UTC));
    QCOMPARE(resource.resourceId().toString(), "Map:1b4e28ba-2fa1-11d2-883f-0016d3cca427");

    resource.fromJson(JsonContext(),
                      object(R"({"id":"","group_id":"","creation_date":"2024-05-01T09:30:00.000+02:00",)"
                             R"("name":"Halle","extra":1})"));
    QJsonObject written{{"keep", true}};
    resource.toJson(JsonContext(), written);
    QCOMPARE(QJsonDocument(written).toJson(QJsonDocument::Compact),
             QByteArray(R"({"creation_date":"2024-05-01T07:30:00.000Z",)"
                        R"("group_id":"{00000000-0000-0000-0000-000000000000}",)"
                        R"("id":"{00000000-0000-0000-0000-000000000000}","keep":true,"name":"Halle"})"));

    PlainResource copy;
    copy.fromJson(JsonContext(), written);
    QCOMPARE(copy.uuid(), resource.uuid());
    QCOMPARE(copy.group(), QUuid());
    QCOMPARE(copy.creationDate(), resource.creationDate());
    QCOMPARE(copy.creationDate().timeSpec(), Qt::UTC);
}

void tst_RobotResources::signalsOnlyOnChange()
{
    PlainResource resource;
    QJsonObject json;
    resource.toJson(JsonContext(), json);
    QSignalSpy uuidSpy(&resource, &IRobotResource::uuidChanged);
    QSignalSpy groupSpy(&resource, &IRobotResource::groupChanged);
    QSignalSpy dateSpy(&resource, &IRobotResource::creationDateChanged);
    QSignalSpy nameSpy(&resource, &IRobotResource::nameChanged);
    resource.fromJson(JsonContext(), json);
    resource.setName(QStringLiteral("plain"));
    QCOMPARE(uuidSpy.count() + groupSpy.count() + dateSpy.count() + nameSpy.count(), 0);

    json.insert("name", "other");
    json.insert("id", QUuid::createUuid().toString());
    resource.fromJson(JsonContext(), json);
    QCOMPARE(uuidSpy.count(), 1);
    QCOMPARE(nameSpy.count(), 1);
    QCOMPARE(groupSpy.count() + dateSpy.count(), 0);
}

void tst_RobotResources::ownerQueries()
{
    PlainResource resource;
    QVERIFY(resource.fullyResolved());
    QVERIFY(resource.unresolvedResources().isEmpty());
    QCOMPARE(resource.resources(), QList<RobotResourceId>{resource.resourceId()});
    QCOMPARE(resource.property("resourceType").toInt(), int(RobotResourceType::Map));
}

QTEST_GUILESS_MAIN(tst_RobotResources)
#include "tst_robotResources.moc"
