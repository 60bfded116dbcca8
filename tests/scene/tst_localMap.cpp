#include "LocalMap.h"
#include "LocalTangentPlaneCoordinateConverter.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

using namespace nimbrel::test;

// The distance field against scipy's chessboard distance transform, the queries on hand-made
// maps, the frame transforms, and the queries on maps the design did not ask about (no image,
// nothing mapped, NaN input, dimensions given after the image, a converter deleted elsewhere).
class tst_LocalMap : public QObject
{
    Q_OBJECT

private slots:
    void fieldAgainstScipy_data();
    void fieldAgainstScipy();
    void alphaThreshold();
    void queries_data();
    void queries();
    void emptyMaps_data();
    void emptyMaps();
    void nanPosition();
    void dimensionsAfterImage();
    void transforms();
    void converterOwnership();
};

namespace {

const float inf = std::numeric_limits<float>::infinity();

QImage mask(int w, int h, const QList<QPoint> &mapped)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    for (const QPoint &p : mapped)
        image.setPixelColor(p, QColor(0, 0, 0, 255));
    return image;
}

LocalMap *makeMap(const QImage &image, const QSizeF &dimensions, QObject *parent)
{
    return new LocalMap(QStringLiteral("m"), image, dimensions, Coordinate(), nullptr, Pose(),
                        QUuid::createUuid(), QUuid::createUuid(), QDateTime::currentDateTime(),
                        parent);
}

} // namespace

void tst_LocalMap::fieldAgainstScipy_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<double>("density");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("1x1 empty") << 1 << 1 << 0.0 << 1u;
    QTest::newRow("7x5 sparse") << 7 << 5 << 0.05 << 2u;
    QTest::newRow("64x48 one in a thousand") << 64 << 48 << 0.001 << 3u;
    QTest::newRow("64x48 half") << 64 << 48 << 0.5 << 4u;
    QTest::newRow("200x3 strip") << 200 << 3 << 0.01 << 5u;
    QTest::newRow("1x100 column") << 1 << 100 << 0.03 << 6u;
    QTest::newRow("257x129 sparse") << 257 << 129 << 0.0005 << 7u;
    QTest::newRow("30x30 nothing") << 30 << 30 << 0.0 << 8u;
}

void tst_LocalMap::fieldAgainstScipy()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(double, density);
    QFETCH(quint32, seed);

    QRandomGenerator random(seed);
    QImage image(width, height, QImage::Format_ARGB32);
    QByteArray bytes(width * height, '\0');
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool mapped = random.generateDouble() < density;
            // Mapped pixels with alpha 129..255, the others 0..128: the threshold is the test.
            const int alpha = mapped ? 129 + random.bounded(127) : random.bounded(129);
            image.setPixelColor(x, y, QColor(10, 20, 30, alpha));
            bytes[y * width + x] = mapped ? 1 : 0;
        }
    }
    DistanceField field;
    field.build(image);
    QCOMPARE(field.gridSize(), QSize(width, height));

    const ProcessResult oracle
        = runPython(QStringLiteral(R"(
import sys, numpy as np
from scipy.ndimage import distance_transform_cdt
w, h = int(sys.argv[1]), int(sys.argv[2])
mapped = np.frombuffer(sys.stdin.buffer.read(), dtype=np.uint8).reshape(h, w)
d = distance_transform_cdt(mapped == 0, metric='chessboard').astype(np.float32)
d[d < 0] = np.inf
sys.stdout.buffer.write(d.astype('<f4').tobytes())
)"),
                    { QString::number(width), QString::number(height) }, bytes);
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    QCOMPARE(oracle.out.size(), qsizetype(width * height * 4));
    std::vector<float> expected(width * height);
    std::memcpy(expected.data(), oracle.out.constData(), oracle.out.size());
    for (int i = 0; i < width * height; ++i)
        QVERIFY2(field.values()[i] == expected[i],
                 qPrintable(QStringLiteral("pixel %1,%2: %3 != %4")
                                .arg(i % width)
                                .arg(i / width)
                                .arg(field.values()[i])
                                .arg(expected[i])));
}

void tst_LocalMap::alphaThreshold()
{
    QImage image(2, 1, QImage::Format_ARGB32);
    image.setPixelColor(0, 0, QColor(0, 0, 0, 128));
    image.setPixelColor(1, 0, QColor(0, 0, 0, 129));
    DistanceField field;
    field.build(image);
    QCOMPARE(field.value(0, 0), 1.0f);
    QCOMPARE(field.value(1, 0), 0.0f);
    // Premultiplied and indexed images read the same alpha.
    field.build(image.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    QCOMPARE(field.value(0, 0), 1.0f);
    field.build(image.convertToFormat(QImage::Format_RGBA64));
    QCOMPARE(field.value(0, 0), 1.0f);
    QCOMPARE(field.value(1, 0), 0.0f);
    // No alpha channel: everything is mapped.
    QImage opaque(3, 2, QImage::Format_RGB32);
    opaque.fill(Qt::white);
    field.build(opaque);
    QCOMPARE(field.values(), std::vector<float>(6, 0.0f));
}

void tst_LocalMap::queries_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<QSizeF>("dimensions");
    QTest::addColumn<Coordinate>("position");
    QTest::addColumn<float>("distance");
    QTest::addColumn<Coordinate>("closest");
    QTest::addColumn<bool>("inside");

    // 100 x 100 pixels over 10 x 10 m: cells of 0.1 m, rows counted from the top.
    const QImage topLeft = mask(100, 100, { { 0, 0 } });
    QTest::newRow("top-left pixel") << topLeft << QSizeF(10, 10) << Coordinate(0.05, 9.95, 7)
                                    << 0.0f << Coordinate(0.05, 9.95, 7) << true;
    QTest::newRow("bottom-left is not mapped")
        << topLeft << QSizeF(10, 10) << Coordinate(0.05, 0.05, 0) << float(9.9)
        << Coordinate(0.05, 9.95, 0) << false;
    const QImage bottomLeft = mask(100, 100, { { 0, 99 } });
    QTest::newRow("bottom-left pixel") << bottomLeft << QSizeF(10, 10) << Coordinate(0.05, 0.05, 0)
                                       << 0.0f << Coordinate(0.05, 0.05, 0) << true;
    QTest::newRow("bottom edge is outside")
        << bottomLeft << QSizeF(10, 10) << Coordinate(0.05, 0, 0) << 0.05f
        << Coordinate(0.05, 0.05, 0) << false;
    // Left of the image: clamped into the first column for the descent, measured from the point.
    QTest::newRow("left of the image") << bottomLeft << QSizeF(10, 10) << Coordinate(-3, 0.05, 0)
                                       << 3.05f << Coordinate(0.05, 0.05, 0) << false;
    // Wide cells: 4 x 1 pixels over 8 x 1 m, mapped at the right end.
    const QImage strip = mask(4, 1, { { 3, 0 } });
    QTest::newRow("strip") << strip << QSizeF(8, 1) << Coordinate(0.5, 0.5, 0) << 6.5f
                           << Coordinate(7, 0.5, 0) << false;
    QTest::newRow("inside off-centre")
        << strip << QSizeF(8, 1) << Coordinate(6.5, 0.25, 0) << float(std::hypot(0.5, 0.25))
        << Coordinate(7, 0.5, 0) << true;
    // Like the bottom edge, the right edge (px = W) belongs to no pixel.
    QTest::newRow("right edge is outside")
        << strip << QSizeF(8, 1) << Coordinate(8, 0.5, 0) << 1.0f << Coordinate(7, 0.5, 0) << false;
    QTest::newRow("just left of the right edge")
        << strip << QSizeF(8, 1) << Coordinate(7.75, 0.5, 0) << 0.75f << Coordinate(7, 0.5, 0)
        << true;
}

void tst_LocalMap::queries()
{
    QFETCH(QImage, image);
    QFETCH(QSizeF, dimensions);
    QFETCH(Coordinate, position);
    QFETCH(float, distance);
    QFETCH(Coordinate, closest);
    QFETCH(bool, inside);

    QObject owner;
    LocalMap *map = makeMap(image, dimensions, &owner);
    QVERIFY(qAbs(map->getDistanceToMap(position) - distance) < 1e-4);
    const Coordinate found = map->getClosestPointOnMap(position);
    QVERIFY2(found.distanceToPoint(closest) < 1e-5, qPrintable(QDebug::toString(found)));
    QCOMPARE(map->isInsideMap(position), inside);
}

void tst_LocalMap::emptyMaps_data()
{
    QTest::addColumn<QImage>("image");
    QTest::newRow("no image") << QImage();
    QTest::newRow("zero-sized") << QImage(0, 5, QImage::Format_ARGB32);
    QTest::newRow("nothing mapped") << mask(20, 10, {});
}

// With nothing to descend to, there is no closest point and no finite distance.
void tst_LocalMap::emptyMaps()
{
    QFETCH(QImage, image);
    QObject owner;
    LocalMap *map = makeMap(image, QSizeF(4, 2), &owner);
    const Coordinate p(1.5, 0.5, 2);
    QCOMPARE(map->getDistanceToMap(p), inf);
    QCOMPARE(map->getClosestPointOnMap(p), p);
    QVERIFY(!map->isInsideMap(p));

    LocalMap fromQml;
    QCOMPARE(fromQml.getDistanceToMap(p), inf);
    QVERIFY(!fromQml.isInsideMap(p));
}

void tst_LocalMap::nanPosition()
{
    QObject owner;
    LocalMap *map = makeMap(mask(10, 10, { { 5, 5 } }), QSizeF(1, 1), &owner);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Coordinate &p : { Coordinate(nan, 0.5, 0), Coordinate(0.5, nan, 0) }) {
        QVERIFY(std::isnan(map->getDistanceToMap(p)));
        QVERIFY(!map->isInsideMap(p));
        const Coordinate c = map->getClosestPointOnMap(p);
        QVERIFY(std::isnan(c.x) || std::isnan(c.y));
    }
    // Infinite positions are clamped to the border like any point off the grid.
    const double infinity = std::numeric_limits<double>::infinity();
    QVERIFY(map->getClosestPointOnMap(Coordinate(infinity, -infinity, 0))
                .distanceToPoint(Coordinate(0.55, 0.45, 0))
            < 1e-6);
}

// QML gives no order for property assignments: the dimensions may come after the image.
void tst_LocalMap::dimensionsAfterImage()
{
    LocalMap map;
    QSignalSpy dimensionsSpy(&map, &LocalMap::dimensionsChanged);
    map.setMap(mask(100, 100, { { 0, 99 } }));
    map.setDimensions(QSizeF(10, 10));
    QCOMPARE(map.cellSize(), QSizeF(0.1, 0.1));
    QVERIFY(map.isInsideMap(Coordinate(0.05, 0.05, 0)));
    QVERIFY(qAbs(map.getDistanceToMap(Coordinate(0.05, 1.05, 0)) - 1.0f) < 1e-5);
    map.setDimensions(QSizeF(10, 10));
    QCOMPARE(dimensionsSpy.count(), 1);
    // A change of the dimensions keeps the field (it counts pixels) and rescales it.
    map.setDimensions(QSizeF(20, 20));
    QVERIFY(qAbs(map.getDistanceToMap(Coordinate(0.1, 2.1, 0)) - 2.0f) < 1e-5);
}

void tst_LocalMap::transforms()
{
    LocalMap map;
    map.setGlobalPose(Pose(Coordinate(10, 20, 0), QQuaternion::fromAxisAndAngle(0, 0, 1, 90)));
    const Coordinate global = map.localToGlobal(Coordinate(1, 0, 0));
    QVERIFY(global.distanceToPoint(Coordinate(10, 21, 0)) < 1e-6);
    for (const Coordinate &c : { Coordinate(1, 2, 3), Coordinate(-5, 0.25, 9) }) {
        QVERIFY(map.globalToLocal(map.localToGlobal(c)).distanceToPoint(c) < 1e-6);
    }
    // Not normalised: a quaternion of length 2 scales by 4; the zero quaternion gives the origin.
    map.setGlobalPose(Pose(Coordinate(), QQuaternion(2, 0, 0, 0)));
    QCOMPARE(map.localToGlobal(Coordinate(1, 2, 3)), Coordinate(4, 8, 12));
    map.setGlobalPose(Pose(Coordinate(1, 1, 1), QQuaternion(0, 0, 0, 0)));
    QCOMPARE(map.localToGlobal(Coordinate(1, 2, 3)), Coordinate(1, 1, 1));
}

void tst_LocalMap::converterOwnership()
{
    LocalMap map;
    auto *adopted = new LocalTangentPlaneCoordinateConverter(QGeoCoordinate(51.4, 5.5, 12));
    map.setGlobalCoordinateInfo(adopted);
    QCOMPARE(adopted->parent(), &map);

    QObject elsewhere;
    auto *kept = new LocalTangentPlaneCoordinateConverter(QGeoCoordinate(1, 2), &elsewhere);
    map.setGlobalCoordinateInfo(kept);
    QCOMPARE(kept->parent(), &elsewhere);
    QCOMPARE(adopted->parent(), &map);
    // The converter's owner may delete it (QML's collector does): the map must not keep it.
    delete kept;
    QCOMPARE(map.globalCoordinateInfo(), nullptr);
    QCOMPARE(map.resources(), QList<RobotResourceId>{ map.resourceId() });
    QVERIFY(map.fullyResolved());
}

QTEST_GUILESS_MAIN(tst_LocalMap)
#include "tst_localMap.moc"
