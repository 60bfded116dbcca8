#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "Location.h"
#include "QmlSharedPointer.h"
#include "RobotExceptions.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

// A location's type as it gains and loses its geo coordinate and map, the binding of its map,
// its JSON form and its preview.
class tst_Location : public QObject
{
    Q_OBJECT

private slots:
    void typeAndSignals();
    void mapBinding();
    void json_data();
    void json();
    void jsonWrite();
    void preview();
};

namespace {

orvane::shared_qptr<LocalMap> newMap(const QImage &image = QImage())
{
    auto map = orvane::make_shared_qptr<LocalMap>(nullptr);
    map->setMap(image);
    return map;
}

} // namespace

void tst_Location::typeAndSignals()
{
    Location location;
    QCOMPARE(location.locationType(), Location::LocationType::Unknown);
    QCOMPARE(location.name(), QStringLiteral("Location"));
    QStringList order;
    connect(&location, &Location::geoCoordinateChanged, this, [&] { order << "geo"; });
    connect(&location, &Location::previewImageChanged, this, [&] { order << "preview"; });
    connect(&location, &Location::locationTypeChanged, this, [&] { order << "type"; });
    connect(&location, &Location::localMapIdChanged, this, [&] { order << "id"; });
    connect(&location, &Location::localMapChanged, this, [&] { order << "map"; });
    connect(&location, &IRobotResourceOwner::fullyResolvedChanged, this,
            [&] { order << "resolved"; });

    location.setGeoCoordinate(QGeoCoordinate(51.4, 5.5));
    QCOMPARE(order, QStringList({ "geo", "preview", "type" }));
    QCOMPARE(location.locationType(), Location::LocationType::Outdoor);
    order.clear();
    location.setGeoCoordinate(QGeoCoordinate(51.5, 5.5));
    location.setGeoCoordinate(QGeoCoordinate(51.5, 5.5));
    QCOMPARE(order, QStringList({ "geo", "preview" }));

    order.clear();
    const QUuid id = QUuid::createUuid();
    location.setLocalMapId(id);
    QCOMPARE(order, QStringList({ "id", "map", "preview", "resolved", "type" }));
    QCOMPARE(location.locationType(), Location::LocationType::Twilight);
    QVERIFY(!location.fullyResolved());
    QCOMPARE(location.unresolvedResources(),
             QList<RobotResourceId>{ RobotResourceId(RobotResourceType::Map, id) });
    QCOMPARE(location.resources(),
             QList<RobotResourceId>(
                 { location.resourceId(), RobotResourceId(RobotResourceType::Map, id) }));

    order.clear();
    location.setGeoCoordinate(QGeoCoordinate());
    QCOMPARE(location.locationType(), Location::LocationType::Indoor);
    QCOMPARE(order, QStringList({ "geo", "preview", "type" }));
    // A null handle clears the identifier too.
    order.clear();
    location.setLocalMapHandle(nullptr);
    QCOMPARE(location.locationType(), Location::LocationType::Unknown);
    QCOMPARE(order, QStringList({ "id", "map", "preview", "resolved", "type" }));
}

void tst_Location::mapBinding()
{
    Location location;
    const QUuid id = QUuid::createUuid();
    location.setLocalMapId(id);
    const auto map = newMap();
    location.resolveResource(RobotResourceId(RobotResourceType::Path, id), map);
    location.resolveResource(RobotResourceId(RobotResourceType::Map, QUuid::createUuid()), map);
    QVERIFY(!location.isLocalMapResolved());
    QCOMPARE(location.mapConverter(), nullptr);

    QSignalSpy resolvedSpy(&location, &IRobotResourceOwner::fullyResolvedChanged);
    location.resolveResource(RobotResourceId(RobotResourceType::Map, id), map);
    QVERIFY(location.isLocalMapResolved());
    QCOMPARE(resolvedSpy.count(), 1);
    QVERIFY(location.fullyResolved());
    QCOMPARE(location.localMapId(), map->uuid());
    QVERIFY(location.mapConverter());
    QCOMPARE(location.mapConverter()->parent(), &location);
    QCOMPARE(location.mapConverter()->map(), map);
    std::unique_ptr<QmlSharedPointer> handle(location.localMapHandle());
    QCOMPARE(handle->getObject(), map.get());

    // The bound map's resolution changes reach the location's listeners.
    emit map->fullyResolvedChanged();
    QCOMPARE(resolvedSpy.count(), 2);
    // Its own identifier keeps it bound; another one releases it and its signals.
    location.setLocalMapId(map->uuid());
    QVERIFY(location.isLocalMapResolved());
    QPointer<LocalRelativeCoordinateConverter> converter = location.mapConverter();
    location.setLocalMapId(QUuid::createUuid());
    QVERIFY(!location.isLocalMapResolved());
    QCOMPARE(location.mapConverter(), nullptr);
    QTRY_VERIFY(converter.isNull());
    const int before = resolvedSpy.count();
    emit map->fullyResolvedChanged();
    QCOMPARE(resolvedSpy.count(), before);

    // replaceResourceId renames the reference and unbinds.
    location.setLocalMap(map);
    const QUuid renamed = QUuid::createUuid();
    location.replaceResourceId(RobotResourceId(RobotResourceType::Map, map->uuid()),
                               RobotResourceId(RobotResourceType::Map, renamed));
    QCOMPARE(location.localMapId(), renamed);
    QVERIFY(!location.isLocalMapResolved());
}

void tst_Location::json_data()
{
    QTest::addColumn<QByteArray>("extra");
    QTest::addColumn<QGeoCoordinate>("geo");
    QTest::addColumn<int>("mapIdIndex"); // -1: unchanged, else index into the ids below
    QTest::addColumn<QString>("error");

    QTest::newRow("both") << QByteArray(
        R"("world_location":{"center":{"latitude":51.4,"longitude":5.5,"altitude":12.0}},"local_maps":["{11111111-2222-3333-4444-555555555555}"])")
                          << QGeoCoordinate(51.4, 5.5, 12) << 0 << QString();
    QTest::newRow("no center") << QByteArray(R"("world_location":{})") << QGeoCoordinate(0, 0, 0)
                               << -1 << QString();
    QTest::newRow("partial center")
        << QByteArray(R"("world_location":{"center":{"latitude":"x","longitude":7}})")
        << QGeoCoordinate(0, 7, 0) << -1 << QString();
    QTest::newRow("world not an object")
        << QByteArray(R"("world_location":[1,2])") << QGeoCoordinate() << -1 << QString();
    QTest::newRow("two maps") << QByteArray(
        R"("local_maps":["{11111111-2222-3333-4444-555555555555}","{66666666-2222-3333-4444-555555555555}"])")
                              << QGeoCoordinate() << 0 << QString();
    QTest::newRow("no maps") << QByteArray(R"("local_maps":[])") << QGeoCoordinate() << -1
                             << QString();
    QTest::newRow("bad map id") << QByteArray(
        R"("world_location":{"center":{"latitude":1}},"local_maps":["nope"])")
                                << QGeoCoordinate(1, 0, 0) << -1
                                << QStringLiteral("Could not parse JSON value as type \"UUID\"");
}

void tst_Location::json()
{
    QFETCH(QByteArray, extra);
    QFETCH(QGeoCoordinate, geo);
    QFETCH(int, mapIdIndex);
    QFETCH(QString, error);

    const QByteArray text
        = R"({"id":"{0e1d2c3b-4a59-6877-8695-a4b3c2d1e0f0}","group_id":"","name":"Hall","creation_date":"2024-05-01T09:30:00.000Z",)"
        + extra + "}";
    const QJsonObject json = QJsonDocument::fromJson(text).object();
    QVERIFY(!json.isEmpty());
    Location location;
    const QUuid before = location.localMapId();
    try {
        location.fromJson(JsonContext(), json);
        QVERIFY(error.isEmpty());
    } catch (const JsonException &e) {
        QCOMPARE(QString::fromUtf8(e.what()), error);
    }
    // The common fields and the coordinate take effect before a bad map id throws.
    QCOMPARE(location.name(), QStringLiteral("Hall"));
    QCOMPARE(location.geoCoordinate(), geo);
    const QUuid expectedId
        = mapIdIndex < 0 ? before : QUuid("{11111111-2222-3333-4444-555555555555}");
    QCOMPARE(location.localMapId(), expectedId);
}

void tst_Location::jsonWrite()
{
    Location location;
    QJsonObject json;
    location.toJson(JsonContext(), json);
    QCOMPARE(json.keys(), QStringList({ "creation_date", "group_id", "id", "name" }));

    const QUuid mapId("{11111111-2222-3333-4444-555555555555}");
    location.setGeoCoordinate(QGeoCoordinate(51.4, 5.5));
    location.setLocalMapId(mapId);
    location.toJson(JsonContext(), json);
    QCOMPARE(QJsonDocument(json.value("world_location").toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"center":{"altitude":0,"latitude":51.4,"longitude":5.5}})"));
    QCOMPARE(json.value("local_maps").toArray(), QJsonArray{ mapId.toString() });

    Location copy;
    copy.fromJson(JsonContext(), json);
    QCOMPARE(copy.geoCoordinate(), QGeoCoordinate(51.4, 5.5, 0));
    QCOMPARE(copy.geoCoordinate().type(), QGeoCoordinate::Coordinate3D);
    QCOMPARE(copy.localMapId(), mapId);
    QCOMPARE(copy.uuid(), location.uuid());
}

void tst_Location::preview()
{
    Location location;
    const QImage unknown = location.previewImage();
    QCOMPARE(unknown.size(), QSize(512, 512));
    QCOMPARE(unknown.format(), QImage::Format_ARGB32);
    QCOMPARE(unknown.pixelColor(0, 0), QColor(255, 255, 255, 0));
    // Red text across the middle row band, nothing in the corners.
    bool red = false;
    for (int x = 0; x < 512 && !red; ++x)
        for (int y = 236; y < 276 && !red; ++y)
            red = unknown.pixelColor(x, y).red() > 200 && unknown.pixelColor(x, y).alpha() > 200
                && unknown.pixelColor(x, y).green() < 60;
    QVERIFY(red);

    // Indoor with a bound map: the map's own image at its own size.
    QImage floor(40, 20, QImage::Format_ARGB32);
    floor.fill(QColor(0, 0, 255, 255));
    const auto map = newMap(floor);
    location.setLocalMap(map);
    QCOMPARE(location.previewImage(), floor);

    // Twilight: the map drawn centred and scaled to fit, under the text.
    location.setGeoCoordinate(QGeoCoordinate(51.4, 5.5));
    const QImage twilight = location.previewImage();
    QCOMPARE(twilight.size(), QSize(512, 512));
    QCOMPARE(twilight.pixelColor(5, 200), QColor(0, 0, 255, 255));
    QCOMPARE(twilight.pixelColor(5, 5).alpha(), 0);
}

QTEST_MAIN(tst_Location)
#include "tst_location.moc"
