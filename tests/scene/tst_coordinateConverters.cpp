#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "LocalTangentPlaneCoordinateConverter.h"
#include "Location.h"
#include "MapContext.h"
#include "QmlSharedPointer.h"
#include "TestSupport.h"
#include "UTMCoordinateConverter.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace nimbrel::test;

// The UTM and tangent-plane converters against GeographicLib's own command-line tools and the
// values PROJ gives, the local-relative converter's fallbacks and its binding to maps, and the
// input the written design let through (GeographicLib's errors, null frames, a map whose global
// frame leads back to itself).
class tst_CoordinateConverters : public QObject
{
    Q_OBJECT

private slots:
    void utmAgainstGeoConvert_data();
    void utmAgainstGeoConvert();
    void utmRefusedInput_data();
    void utmRefusedInput();
    void tangentPlaneAgainstCartConvert_data();
    void tangentPlaneAgainstCartConvert();
    void tangentPlaneReference();
    void localRelativeFallbacks();
    void boundConverter();
    void nullContextAndFrame();
    void selfReferringMap();
    void referenceChanges();
    void types();
};

namespace {

const QRegularExpression anyWarning(QStringLiteral(".*"));

// One line of numbers from a tool (GeoConvert writes the zone first, e.g. "32n").
QStringList runTool(const QString &tool, const QStringList &arguments, const QString &input)
{
    const ProcessResult result = runProcess(tool, arguments, input.toUtf8() + '\n');
    if (!result.finished || result.exitCode != 0)
        return {};
    return QString::fromUtf8(result.out).simplified().split(QLatin1Char(' '));
}

orvane::shared_qptr<LocalMap> sharedMap(CoordinateConverter *global, const Pose &pose = Pose())
{
    return orvane::make_shared_qptr<LocalMap>(
        nullptr, QStringLiteral("map"), QImage(), QSizeF(10, 10), Coordinate(), global, pose,
        QUuid::createUuid(), QUuid::createUuid(), QDateTime::currentDateTime(), nullptr);
}

} // namespace

void tst_CoordinateConverters::utmAgainstGeoConvert_data()
{
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<Coordinate>("offset");
    QTest::addColumn<bool>("warns");

    QTest::newRow("48 9") << 48.0 << 9.0 << Coordinate() << false;
    QTest::newRow("south of the equator") << -10.0 << 9.0 << Coordinate() << true;
    QTest::newRow("west edge") << 47.5 << 6.1 << Coordinate(500000, 5000000, 100) << false;
    QTest::newRow("outside the zone") << 60.0 << 14.5 << Coordinate() << false;
    QTest::newRow("near the pole") << 83.5 << 9.5 << Coordinate(1, 2, 3) << false;
}

void tst_CoordinateConverters::utmAgainstGeoConvert()
{
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(Coordinate, offset);
    QFETCH(bool, warns);

    const QStringList oracle
        = runTool(QStringLiteral("GeoConvert"), { "-u", "-z", "32", "-p", "6" },
                  QStringLiteral("%1 %2").arg(latitude, 0, 'g', 17).arg(longitude, 0, 'g', 17));
    QCOMPARE(oracle.size(), 3);
    const double easting = oracle.at(1).toDouble();
    const double northing = oracle.at(2).toDouble();

    UTMCoordinateConverter converter(offset, 32, true);
    if (warns)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("^Coordinate  QGeoCoordinate\\(-10, 9, 250\\)  "
                                                "does not fall into the current UTM zone$"));
    else
        QTest::failOnWarning(anyWarning);
    const Coordinate c = converter.convertFromGeo(QGeoCoordinate(latitude, longitude, 250));
    QVERIFY2(qAbs(c.x + offset.x - easting) < 1e-6, qPrintable(QString::number(c.x, 'f', 6)));
    QVERIFY2(qAbs(c.y + offset.y - northing) < 1e-6, qPrintable(QString::number(c.y, 'f', 6)));
    QCOMPARE(c.z, 250 - offset.z);

    // The reverse of the tool's own output (in the hemisphere the tool used).
    converter.setNorth(oracle.at(0).endsWith(QLatin1Char('n')));
    const QGeoCoordinate back
        = converter.convertToGeo(Coordinate(easting - offset.x, northing - offset.y, 7 - offset.z));
    QVERIFY(qAbs(back.latitude() - latitude) < 1e-9);
    QVERIFY(qAbs(back.longitude() - longitude) < 1e-9);
    QCOMPARE(back.altitude(), 7.0);
}

void tst_CoordinateConverters::utmRefusedInput_data()
{
    QTest::addColumn<int>("zone");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::addColumn<Coordinate>("utm");

    QTest::newRow("zone 61") << 61 << 48.0 << 9.0 << Coordinate(500000, 5316300, 0);
    QTest::newRow("zone -3") << -3 << 48.0 << 9.0 << Coordinate(500000, 5316300, 0);
    QTest::newRow("far from the zone") << 32 << 48.0 << 100.0 << Coordinate(-9e6, 5316300, 0);
    QTest::newRow("latitude past 90") << 32 << 91.0 << 9.0 << Coordinate(500000, 1e9, 0);
}

// GeographicLib throws for these; the converter reports NaN or an invalid coordinate with a
// warning instead of letting the exception reach QML.
void tst_CoordinateConverters::utmRefusedInput()
{
    QFETCH(int, zone);
    QFETCH(double, latitude);
    QFETCH(double, longitude);
    QFETCH(Coordinate, utm);

    UTMCoordinateConverter converter(Coordinate(), zone, true);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot convert"));
    const Coordinate c = converter.convertFromGeo(QGeoCoordinate(latitude, longitude, 0));
    QVERIFY(std::isnan(c.x) && std::isnan(c.y) && std::isnan(c.z));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot convert"));
    QVERIFY(!converter.convertToGeo(utm).isValid());
}

void tst_CoordinateConverters::tangentPlaneAgainstCartConvert_data()
{
    QTest::addColumn<QGeoCoordinate>("point");
    QTest::newRow("north") << QGeoCoordinate(51.401, 5.5, 12);
    QTest::newRow("reference") << QGeoCoordinate(51.4, 5.5, 12);
    QTest::newRow("south-west, higher") << QGeoCoordinate(51.35, 5.41, 250.5);
    QTest::newRow("far east") << QGeoCoordinate(51.9, 7.2, -30);
}

void tst_CoordinateConverters::tangentPlaneAgainstCartConvert()
{
    QFETCH(QGeoCoordinate, point);
    const QStringList oracle
        = runTool(QStringLiteral("CartConvert"), { "-l", "51.4", "5.5", "12", "-p", "9" },
                  QStringLiteral("%1 %2 %3")
                      .arg(point.latitude(), 0, 'g', 17)
                      .arg(point.longitude(), 0, 'g', 17)
                      .arg(point.altitude(), 0, 'g', 17));
    QCOMPARE(oracle.size(), 3);

    LocalTangentPlaneCoordinateConverter converter(QGeoCoordinate(51.4, 5.5, 12));
    const Coordinate c = converter.convertFromGeo(point);
    QVERIFY2(qAbs(c.x - oracle.at(0).toDouble()) < 1e-8, qPrintable(oracle.join(' ')));
    QVERIFY(qAbs(c.y - oracle.at(1).toDouble()) < 1e-8);
    QVERIFY(qAbs(c.z - oracle.at(2).toDouble()) < 1e-8);
    const QGeoCoordinate back = converter.convertToGeo(c);
    QVERIFY(qAbs(back.latitude() - point.latitude()) < 1e-11);
    QVERIFY(qAbs(back.longitude() - point.longitude()) < 1e-11);
    QVERIFY(qAbs(back.altitude() - point.altitude()) < 1e-6);
}

void tst_CoordinateConverters::tangentPlaneReference()
{
    LocalTangentPlaneCoordinateConverter converter(QGeoCoordinate(51.4, 5.5));
    QCOMPARE(converter.reference(), QGeoCoordinate(51.4, 5.5, 0));
    QSignalSpy spy(&converter, &LocalTangentPlaneCoordinateConverter::referenceChanged);
    converter.setReference(QGeoCoordinate(51.4, 5.5, 0));
    QCOMPARE(spy.count(), 0);
    // A two-dimensional coordinate never equals the stored three-dimensional reference.
    converter.setReference(QGeoCoordinate(51.4, 5.5));
    QCOMPARE(spy.count(), 1);
    converter.setReference(QGeoCoordinate(48, 9, 100));
    QCOMPARE(spy.count(), 2);
    std::unique_ptr<CoordinateConverter> copy(converter.clone());
    QCOMPARE(copy->convertFromGeo(QGeoCoordinate(48.001, 9, 100)),
             converter.convertFromGeo(QGeoCoordinate(48.001, 9, 100)));
}

void tst_CoordinateConverters::localRelativeFallbacks()
{
    LocalRelativeCoordinateConverter converter{ QUuid() };
    MapContext context;
    QTest::ignoreMessage(QtWarningMsg,
                         "Local map definition is either missing or incomplete (convertToScene): "
                         "scene coordinate is assumed to be the same as local coordinate, in "
                         "different axis orientation");
    QCOMPARE(converter.convertToScene(Coordinate(1, 2, 3), &context), QVector3D(10, 30, -20));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertFromScene\\)"));
    QCOMPARE(converter.convertFromScene(QVector3D(10, 30, -20), &context), Coordinate(1, 2, 3));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertToGeo\\)"));
    QCOMPARE(converter.convertToGeo(Coordinate(1, 2, 3)), QGeoCoordinate(-3, 1, 2));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertFromGeo\\)"));
    QCOMPARE(converter.convertFromGeo(QGeoCoordinate(10, 20, 5)), Coordinate(20, 5, -10));

    // Bound to a map without global frame: the scene falls back silently, geo with its warning.
    LocalRelativeCoordinateConverter bound(sharedMap(nullptr));
    QTest::failOnWarning(QRegularExpression("convert(To|From)Scene"));
    QCOMPARE(bound.convertToScene(Coordinate(1, 2, 3), &context), QVector3D(10, 30, -20));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertToGeo\\)"));
    QCOMPARE(bound.convertToGeo(Coordinate(1, 2, 3)), QGeoCoordinate(-3, 1, 2));
}

void tst_CoordinateConverters::boundConverter()
{
    // A map 90 degrees turned in a tangent plane around (51.4, 5.5, 12), shifted 100 m east.
    auto *plane = new LocalTangentPlaneCoordinateConverter(QGeoCoordinate(51.4, 5.5, 12));
    const auto map
        = sharedMap(plane, Pose(Coordinate(100, 0, 0), QQuaternion::fromAxisAndAngle(0, 0, 1, 90)));
    LocalRelativeCoordinateConverter converter(map);
    QTest::failOnWarning(anyWarning);

    // Local (0, 100) is 100 m west of the shift in the plane: back at the reference.
    const QGeoCoordinate geo = converter.convertToGeo(Coordinate(0, 100, 12 - 12));
    QVERIFY(qAbs(geo.latitude() - 51.4) < 1e-8 && qAbs(geo.longitude() - 5.5) < 1e-8);
    const Coordinate local = converter.convertFromGeo(QGeoCoordinate(51.4, 5.5, 12));
    // The orientation is held in floats.
    QVERIFY2(local.distanceToPoint(Coordinate(0, 100, 0)) < 1e-4,
             qPrintable(QDebug::toString(local)));

    MapContext context;
    const QVector3D viaPlane
        = plane->convertToScene(map->localToGlobal(Coordinate(3, 4, 5)), &context);
    QCOMPARE(converter.convertToScene(Coordinate(3, 4, 5), &context), viaPlane);
    const Coordinate back
        = converter.fromCoordinateFrame(Coordinate(3, 4, 5), &converter, &context);
    QVERIFY2(back.distanceToPoint(Coordinate(3, 4, 5)) < 0.5, qPrintable(QDebug::toString(back)));

    // An indoor location makes the scene conversions take the axis exchange.
    auto location = orvane::make_shared_qptr<Location>(nullptr);
    location->setLocalMapId(QUuid::createUuid());
    context.setLocation(location);
    QCOMPARE(context.locationType(), Location::LocationType::Indoor);
    QCOMPARE(converter.convertToScene(Coordinate(1, 2, 3), &context), QVector3D(10, 30, -20));

    // A clone shares the map: unbinding the clone leaves the original bound.
    std::unique_ptr<CoordinateConverter> clone(converter.clone());
    auto *relativeClone = qobject_cast<LocalRelativeCoordinateConverter *>(clone.get());
    QVERIFY(relativeClone);
    QCOMPARE(relativeClone->map(), map);
    relativeClone->setMapId(QUuid::createUuid());
    QCOMPARE(converter.map(), map);
}

// QML can pass null for the context or the source frame.
void tst_CoordinateConverters::nullContextAndFrame()
{
    const auto map = sharedMap(new LocalTangentPlaneCoordinateConverter(QGeoCoordinate(1, 2, 3)));
    LocalTangentPlaneCoordinateConverter plane(QGeoCoordinate(1, 2, 3));
    UTMCoordinateConverter utm(Coordinate(), 32, true);
    LocalRelativeCoordinateConverter relative(map);
    for (CoordinateConverter *converter :
         std::initializer_list<CoordinateConverter *>{ &plane, &utm, &relative }) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no map context"));
        QVERIFY(std::isnan(converter->convertToScene(Coordinate(1, 2, 3), nullptr).x()));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no map context"));
        QVERIFY(std::isnan(converter->convertFromScene(QVector3D(1, 2, 3), nullptr).x));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no source frame"));
        MapContext context;
        QVERIFY(std::isnan(converter->fromCoordinateFrame(Coordinate(), nullptr, &context).y));
    }
}

// A map whose global converter is bound to the map itself.
void tst_CoordinateConverters::selfReferringMap()
{
    auto map = sharedMap(nullptr);
    auto *loop = new LocalRelativeCoordinateConverter(map);
    map->setGlobalCoordinateInfo(loop);
    QCOMPARE(loop->parent(), map.get());
    LocalRelativeCoordinateConverter converter(map);
    MapContext context;

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("leads back to itself"));
    QVERIFY(std::isnan(converter.convertToScene(Coordinate(1, 2, 3), &context).x()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("leads back to itself"));
    QVERIFY(std::isnan(converter.convertFromScene(QVector3D(1, 2, 3), &context).x));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("leads back to itself"));
    QVERIFY(converter.unresolvedResources().isEmpty());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("leads back to itself"));
    QVERIFY(converter.fullyResolved());
    // The geographic conversions refuse a local-relative global frame in any case.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertToGeo\\)"));
    QCOMPARE(converter.convertToGeo(Coordinate(1, 2, 3)), QGeoCoordinate(-3, 1, 2));

    // Break the cycle so the map can go.
    loop->setMapId(QUuid());
}

void tst_CoordinateConverters::referenceChanges()
{
    const QUuid id = QUuid::createUuid();
    LocalRelativeCoordinateConverter converter(id);
    QStringList order;
    connect(&converter, &LocalRelativeCoordinateConverter::mapChanged, this,
            [&] { order << "map"; });
    connect(&converter, &LocalRelativeCoordinateConverter::mapIdChanged, this,
            [&] { order << "id"; });
    connect(&converter, &IRobotResourceOwner::fullyResolvedChanged, this,
            [&] { order << "resolved"; });
    QVERIFY(!converter.fullyResolved());
    QCOMPARE(converter.unresolvedResources(),
             QList<RobotResourceId>{ RobotResourceId(RobotResourceType::Map, id) });
    QCOMPARE(converter.mapHandle(), nullptr);

    converter.setMap(nullptr);
    converter.setMapId(id);
    const auto map = sharedMap(nullptr);
    converter.resolveResource(RobotResourceId(RobotResourceType::Path, id), map);
    converter.resolveResource(RobotResourceId(RobotResourceType::Map, QUuid::createUuid()), map);
    converter.replaceResourceId(RobotResourceId(RobotResourceType::Job, id),
                                RobotResourceId(RobotResourceType::Map, QUuid::createUuid()));
    QVERIFY(order.isEmpty());

    // The resolver hands over the map for this id (its uuid differs: the id was a placeholder).
    converter.resolveResource(RobotResourceId(RobotResourceType::Map, id), map);
    QCOMPARE(order, QStringList({ "map", "id", "resolved" }));
    QCOMPARE(converter.map(), map);
    QCOMPARE(converter.mapId(), map->uuid());
    QVERIFY(converter.fullyResolved());
    std::unique_ptr<QmlSharedPointer> first(converter.mapHandle());
    std::unique_ptr<QmlSharedPointer> second(converter.mapHandle());
    QVERIFY(first && second && first.get() != second.get());
    QCOMPARE(first->getObject(), map.get());

    order.clear();
    converter.resolveResource(RobotResourceId(RobotResourceType::Map, map->uuid()),
                              sharedMap(nullptr));
    converter.setMap(map);
    converter.setMapId(map->uuid());
    QVERIFY(order.isEmpty());

    const QUuid other = QUuid::createUuid();
    converter.replaceResourceId(RobotResourceId(RobotResourceType::Map, map->uuid()),
                                RobotResourceId(RobotResourceType::Path, other));
    QCOMPARE(order, QStringList({ "map", "id", "resolved" }));
    QCOMPARE(converter.map(), nullptr);
    QCOMPARE(converter.mapId(), other);

    // A handle whose object is not a local map counts as no map.
    converter.setMap(map);
    order.clear();
    QmlSharedPointer notAMap(std::make_shared<QObject>());
    converter.setMapHandle(&notAMap);
    QCOMPARE(converter.mapId(), QUuid());
    QCOMPARE(order, QStringList({ "map", "id", "resolved" }));
}

void tst_CoordinateConverters::types()
{
    LocalRelativeCoordinateConverter relative{ QUuid() };
    LocalTangentPlaneCoordinateConverter plane(QGeoCoordinate(0, 0));
    UTMCoordinateConverter utm(Coordinate(), 1, true);
    QCOMPARE(relative.property("type").toInt(), 0);
    QCOMPARE(plane.property("type").toInt(), 1);
    QCOMPARE(utm.property("type").toInt(), 2);
    QVERIFY(plane.fullyResolved() && plane.resources().isEmpty());
}

QTEST_GUILESS_MAIN(tst_CoordinateConverters)
#include "tst_coordinateConverters.moc"
