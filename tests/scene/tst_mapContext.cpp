#include "LocalMap.h"
#include "LocalRelativeCoordinateConverter.h"
#include "Location.h"
#include "MapContext.h"
#include "QmlSharedPointer.h"
#include "SceneFunctions.h"
#include "TestSupport.h"

#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

using namespace nimbrel::test;

// The web-Mercator frame against PROJ's EPSG:3857 (through pyproj), the tile width, zoom levels
// past 2^30, the scene round trip, the signals of the frame, indoor locations, and the Scene
// factories.
class tst_MapContext : public QObject
{
    Q_OBJECT

private slots:
    void webMercatorAgainstProj_data();
    void webMercatorAgainstProj();
    void knownValues();
    void zoomLevels_data();
    void zoomLevels();
    void sceneRoundTrip();
    void frameSignals();
    void indoor();
    void sceneFunctions();
};

void tst_MapContext::webMercatorAgainstProj_data()
{
    QTest::addColumn<int>("zoom");
    QTest::addColumn<double>("latitude");
    QTest::addColumn<double>("longitude");
    QTest::newRow("zoom 10, 48 9") << 10 << 48.0 << 9.0;
    QTest::newRow("zoom 0, origin") << 0 << 0.0 << 0.0;
    QTest::newRow("zoom 18, south-west") << 18 << -33.9 << -70.6;
    QTest::newRow("zoom 5, far north") << 5 << 84.0 << 179.9;
    QTest::newRow("zoom 30") << 30 << 51.4 << 5.5;
}

void tst_MapContext::webMercatorAgainstProj()
{
    QFETCH(int, zoom);
    QFETCH(double, latitude);
    QFETCH(double, longitude);

    // EPSG:3857 metres to pixels: the world spans 2πR metres and 256 · 2^zoom pixels, y down.
    const ProcessResult oracle
        = runPython(QStringLiteral(R"(
import sys, math
from pyproj import Transformer
zoom, lat, lon = int(sys.argv[1]), float(sys.argv[2]), float(sys.argv[3])
X, Y = Transformer.from_crs('EPSG:4326', 'EPSG:3857', always_xy=True).transform(lon, lat)
half = math.pi * 6378137
n = 256 * 2 ** zoom
print(repr((X + half) / (2 * half) * n), repr((half - Y) / (2 * half) * n))
)"),
                    { QString::number(zoom), QString::number(latitude, 'g', 17),
                      QString::number(longitude, 'g', 17) });
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    const QStringList values = QString::fromUtf8(oracle.out).simplified().split(' ');
    QCOMPARE(values.size(), 2);

    MapContext context;
    context.setZoomLevel(zoom);
    const Coordinate m = context.toWebMercatorCoordinate(QGeoCoordinate(latitude, longitude, 0));
    const double tolerance = 1e-9 * std::ldexp(256.0, zoom);
    QVERIFY2(qAbs(m.x - values.at(0).toDouble()) < tolerance,
             qPrintable(QString::number(m.x, 'f', 9)));
    QVERIFY2(qAbs(m.y - values.at(1).toDouble()) < tolerance,
             qPrintable(QString::number(m.y, 'f', 9)));
    const QGeoCoordinate back = context.fromWebMercatorCoordinate(m);
    QVERIFY(qAbs(back.latitude() - latitude) < 1e-9);
    QVERIFY(qAbs(back.longitude() - longitude) < 1e-9);
}

void tst_MapContext::knownValues()
{
    MapContext context;
    // The defaults: zoom 1, tile size 100, no location.
    QCOMPARE(context.toWebMercatorCoordinate(QGeoCoordinate(0, 0, 0)), Coordinate(256, 256, 0));
    QCOMPARE(context.toSceneCoordinate(QGeoCoordinate(0, 0, 0)), QVector3D(100, 0, 100));
    context.setZoomLevel(10);
    const Coordinate m = context.toWebMercatorCoordinate(QGeoCoordinate(48, 9));
    QVERIFY(qAbs(m.x - 137625.6) < 1e-6);
    QVERIFY(qAbs(m.y - 91125.03338) < 1e-5);
    QVERIFY(std::isnan(m.z));
    context.setZoomLevel(0);
    QCOMPARE(context.tileWidthAtLatitude(0), 40075016.68557849);
    QVERIFY(qAbs(context.tileWidthAtLatitude(90)) < 1e-8);
    const double at45 = context.tileWidthAtLatitude(45);
    context.setZoomLevel(1);
    QCOMPARE(context.tileWidthAtLatitude(45), at45 / 2);
    // A height in pixels uses the horizontal scale at its latitude.
    QVERIFY(
        qAbs(context.toWebMercatorCoordinate(QGeoCoordinate(0, 0, 40075016.68557849 / 2)).z - 256)
        < 1e-9);
}

void tst_MapContext::zoomLevels_data()
{
    QTest::addColumn<int>("zoom");
    QTest::newRow("31") << 31;
    QTest::newRow("32") << 32;
    QTest::newRow("40") << 40;
    QTest::newRow("-1") << -1;
    QTest::newRow("-5") << -5;
}

// QML can write any int: the tile count is 2^zoom in floating point for each of them.
void tst_MapContext::zoomLevels()
{
    QFETCH(int, zoom);
    MapContext context;
    context.setZoomLevel(zoom);
    const double expectedWidth = 40075016.68557849 / std::pow(2.0, zoom);
    QVERIFY2(qAbs(context.tileWidthAtLatitude(0) / expectedWidth - 1) < 1e-15,
             qPrintable(QString::number(context.tileWidthAtLatitude(0))));
    const Coordinate m = context.toWebMercatorCoordinate(QGeoCoordinate(0, 90, 0));
    QCOMPARE(m.x, 0.75 * 256 * std::pow(2.0, zoom));
    const QGeoCoordinate back = context.fromWebMercatorCoordinate(m);
    QVERIFY(qAbs(back.longitude() - 90) < 1e-9);
}

void tst_MapContext::sceneRoundTrip()
{
    MapContext context;
    context.setZoomLevel(19);
    context.setTileSize(50);
    auto location = orvane::make_shared_qptr<Location>(nullptr);
    location->setGeoCoordinate(QGeoCoordinate(51.4, 5.5, 12));
    context.setLocation(location);
    QCOMPARE(context.toSceneCoordinate(QGeoCoordinate(51.4, 5.5, 12)), QVector3D(0, 0, 0));
    for (const QGeoCoordinate &c :
         { QGeoCoordinate(51.4005, 5.4995, 20), QGeoCoordinate(51.39, 5.51, 0) }) {
        const QVector3D scene = context.toSceneCoordinate(c);
        // Scene x runs east, z south.
        QCOMPARE(scene.x() > 0, c.longitude() > 5.5);
        QCOMPARE(scene.z() > 0, c.latitude() < 51.4);
        const QGeoCoordinate back = context.fromSceneCoordinate(scene);
        QVERIFY(c.distanceTo(back) < 0.01);
        QVERIFY(qAbs(back.altitude() - c.altitude()) < 0.01);
    }
    // A reference without altitude gives NaN heights.
    location->setGeoCoordinate(QGeoCoordinate(51.4, 5.5));
    QVERIFY(std::isnan(context.worldReferenceMercator().z));
    QVERIFY(std::isnan(context.toSceneCoordinate(QGeoCoordinate(51.4, 5.5, 3)).y()));
}

void tst_MapContext::frameSignals()
{
    MapContext context;
    QStringList order;
    connect(&context, &MapContext::contextChanged, this, [&] { order << "context"; });
    connect(&context, &MapContext::zoomLevelChanged, this, [&] { order << "zoom"; });
    connect(&context, &MapContext::tileSizeChanged, this, [&] { order << "tile"; });
    connect(&context, &MapContext::locationChanged, this, [&] { order << "location"; });
    connect(&context, &MapContext::worldReferenceMercatorChanged, this, [&] { order << "world"; });
    connect(&context, &MapContext::locationTypeChanged, this, [&] { order << "type"; });

    context.setZoomLevel(1);
    context.setTileSize(100);
    QVERIFY(order.isEmpty());
    context.setZoomLevel(3);
    // contextChanged is tied to the other signals in the constructor, so listeners connected
    // later hear it first.
    QCOMPARE(order, QStringList({ "context", "zoom", "world" }));
    order.clear();
    context.setTileSize(std::nanf(""));
    context.setTileSize(std::nanf(""));
    QCOMPARE(order, QStringList({ "context", "tile", "context", "tile" }));
    order.clear();

    auto location = orvane::make_shared_qptr<Location>(nullptr);
    QmlSharedPointer handle(location);
    context.setLocationHandle(&handle);
    QCOMPARE(order, QStringList({ "context", "location", "world", "type" }));
    QCOMPARE(context.locationType(), Location::LocationType::Unknown);
    order.clear();
    location->setGeoCoordinate(QGeoCoordinate(10, 20, 30));
    QCOMPARE(order, QStringList({ "world", "type" }));
    QCOMPARE(context.locationType(), Location::LocationType::Outdoor);
    QVERIFY(context.worldReferenceMercator().x > 0);
    QVERIFY(!context.detectChanges());

    // Another location: the old one no longer reaches the context.
    order.clear();
    context.setLocation(orvane::make_shared_qptr<Location>(nullptr));
    order.clear();
    location->setGeoCoordinate(QGeoCoordinate(11, 20, 30));
    QVERIFY(order.isEmpty());
    context.setLocationHandle(nullptr);
    QCOMPARE(context.locationHandle(), nullptr);
    QCOMPARE(context.worldReferenceMercator(), Coordinate());
}

void tst_MapContext::indoor()
{
    MapContext context;
    auto location = orvane::make_shared_qptr<Location>(nullptr);
    const QUuid mapId = QUuid::createUuid();
    location->setLocalMapId(mapId);
    context.setLocation(location);
    // Not yet bound: there is no frame to convert through.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no bound map"));
    QVERIFY(std::isnan(context.toSceneCoordinate(QGeoCoordinate(1, 2, 3)).x()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("no bound map"));
    QVERIFY(!context.fromSceneCoordinate(QVector3D(1, 2, 3)).isValid());

    // Bound to a map without global frame: the converter's axis exchange, both ways.
    auto map = orvane::make_shared_qptr<LocalMap>(nullptr);
    location->resolveResource(RobotResourceId(RobotResourceType::Map, mapId), map);
    QVERIFY(location->isLocalMapResolved());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertFromGeo\\)"));
    QCOMPARE(context.toSceneCoordinate(QGeoCoordinate(10, 20, 5)), QVector3D(200, -100, -50));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("\\(convertToGeo\\)"));
    QCOMPARE(context.fromSceneCoordinate(QVector3D(200, -100, -50)), QGeoCoordinate(10, 20, 5));
}

void tst_MapContext::sceneFunctions()
{
    SceneFunctions scene;
    QCOMPARE(scene.coordinate(1, 2, 3), Coordinate(1, 2, 3));
    const Pose pose = scene.createPoseFromCoordinate(Coordinate(1, 2, 3));
    QCOMPARE(pose.orientation, QQuaternion(0, 0, 0, 0));
    const PoseWithTwist twist
        = scene.createPoseWithTwistFromCoordinate(Coordinate(1, 2, 3), QQuaternion(1, 0, 0, 0));
    QCOMPARE(twist.orientation, QQuaternion());
    QCOMPARE(twist.linear_velocity, QVector3D());

    std::unique_ptr<QmlSharedPointer> first(scene.createEmptyLocalMap(QSizeF(4, 2), Coordinate()));
    std::unique_ptr<QmlSharedPointer> second(scene.createEmptyLocalMap(
        QSizeF(4, 2), Coordinate(), QStringLiteral("/nonexistent.png"), QStringLiteral("Hall")));
    const auto a = first->as<LocalMap>();
    const auto b = second->as<LocalMap>();
    QVERIFY(a && b);
    QVERIFY(a->uuid() != b->uuid() && a->group() != b->group());
    QVERIFY(b->map().isNull());
    QCOMPARE(b->name(), QStringLiteral("Hall"));

    std::unique_ptr<LocalRelativeCoordinateConverter> bound(
        scene.localRelativeCoordinateConverter(first.get()));
    QCOMPARE(bound->map(), a);
    std::unique_ptr<LocalRelativeCoordinateConverter> unbound(
        scene.localRelativeCoordinateConverter(nullptr));
    QCOMPARE(unbound->mapId(), QUuid());
    QCOMPARE(unbound->unresolvedResources(),
             QList<RobotResourceId>{ RobotResourceId(RobotResourceType::Map, QUuid()) });
}

QTEST_GUILESS_MAIN(tst_MapContext)
#include "tst_mapContext.moc"
