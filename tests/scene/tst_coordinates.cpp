#include "Coordinate.h"
#include "Pose.h"
#include "PoseWithCovariance.h"
#include "PoseWithTwist.h"
#include "Twist.h"
#include "TwistWithCovariance.h"

#include <QBuffer>
#include <QMetaProperty>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

// The value types: arithmetic with hand-worked values, the normalisation thresholds, exact
// equality (NaN, signed zero), the streams, and the property names QML sees.
class tst_Coordinates : public QObject
{
    Q_OBJECT

private slots:
    void arithmetic();
    void normalization_data();
    void normalization();
    void equality();
    void streams();
    void propertyNames_data();
    void propertyNames();
    void defaultsAndVariants();
    void interpolate();
};

static bool sameBits(const Coordinate &a, const Coordinate &b)
{
    return std::memcmp(&a.x, &b.x, sizeof(double)) == 0
        && std::memcmp(&a.y, &b.y, sizeof(double)) == 0
        && std::memcmp(&a.z, &b.z, sizeof(double)) == 0;
}

void tst_Coordinates::arithmetic()
{
    const Coordinate c(3, 4, 12);
    QCOMPARE(c.lengthSquared(), 169.0);
    QCOMPARE(c.length(), 13.0);
    QCOMPARE(Coordinate(1, 1, 1).distanceToPoint(Coordinate(4, 5, 13)), 13.0);
    QCOMPARE(Coordinate(1, 2, 3).minus(Coordinate(1, 1, 1)), Coordinate(0, 1, 2));
    QCOMPARE(Coordinate(1, 2, 3).add(Coordinate(0.5, -2, 1)), Coordinate(1.5, 0, 4));
    QCOMPARE(Coordinate(1, -2, 0.25).times(-1), Coordinate(-1, 2, -0.25));
    // The receiver stays as it was.
    QCOMPARE(c, Coordinate(3, 4, 12));
}

void tst_Coordinates::normalization_data()
{
    QTest::addColumn<Coordinate>("input");
    QTest::addColumn<Coordinate>("normalizedInPlace");
    QTest::addColumn<Coordinate>("normalizedCopy");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    // A length within 1e-12 of one keeps its bits: 1 + 5e-13 is not a unit vector after division.
    const Coordinate almostUnit(1 + 5e-13, 0, 0);
    QTest::newRow("zero") << Coordinate() << Coordinate() << Coordinate();
    QTest::newRow("tiny") << Coordinate(1e-13, 0, 0) << Coordinate(1e-13, 0, 0) << Coordinate();
    QTest::newRow("threshold") << Coordinate(1e-12, 0, 0) << Coordinate(1e-12, 0, 0)
                               << Coordinate();
    QTest::newRow("almost unit") << almostUnit << almostUnit << almostUnit;
    QTest::newRow("3-4") << Coordinate(0, 3, 4) << Coordinate(0, 0.6, 0.8)
                         << Coordinate(0, 0.6, 0.8);
    QTest::newRow("negative") << Coordinate(-2, 0, 0) << Coordinate(-1, 0, 0)
                              << Coordinate(-1, 0, 0);
    QTest::newRow("nan") << Coordinate(nan, 1, 0) << Coordinate(nan, nan, nan)
                         << Coordinate(nan, nan, nan);
}

void tst_Coordinates::normalization()
{
    QFETCH(Coordinate, input);
    QFETCH(Coordinate, normalizedInPlace);
    QFETCH(Coordinate, normalizedCopy);

    Coordinate inPlace = input;
    inPlace.normalize();
    QVERIFY2(sameBits(inPlace, normalizedInPlace), qPrintable(QDebug::toString(inPlace)));
    const Coordinate copy = input.normalized();
    QVERIFY2(sameBits(copy, normalizedCopy), qPrintable(QDebug::toString(copy)));
    QVERIFY(sameBits(input.normalized(), copy));
}

void tst_Coordinates::equality()
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Coordinate withNan(nan, 0, 0);
    QVERIFY(!(withNan == withNan));
    QVERIFY(Coordinate(0, 0, 0) == Coordinate(-0.0, 0, 0));
    // Equality is registered with the meta type, so variants compare the same way.
    QVERIFY(QVariant::fromValue(Coordinate(1, 2, 3)) == QVariant::fromValue(Coordinate(1, 2, 3)));
    QVERIFY(QVariant::fromValue(Coordinate(1, 2, 3)) != QVariant::fromValue(Coordinate(1, 2, 4)));
    PoseWithCovariance a;
    a.covariance = { 1, 2 };
    PoseWithCovariance b = a;
    QVERIFY(QVariant::fromValue(a) == QVariant::fromValue(b));
    b.covariance = { 1, 2, 0 };
    QVERIFY(!(a == b));
    TwistWithCovariance t1, t2;
    t2.angularVelocity = QVector3D(0, 0, 1);
    QVERIFY(!(t1 == t2));
}

void tst_Coordinates::streams()
{
    QCOMPARE(QDebug::toString(Coordinate(1, 2.5, -3)), QStringLiteral("Coordinate(1, 2.5, -3)"));

    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        out.setFloatingPointPrecision(QDataStream::DoublePrecision);
        out << Coordinate(1, 2.5, -3);
    }
    QCOMPARE(bytes.size(), 24);
    // Big-endian IEEE doubles, x first: an oracle independent of the reader below.
    QCOMPARE(bytes.toHex(), QByteArray("3ff00000000000004004000000000000c008000000000000"));
    QDataStream in(bytes);
    in.setFloatingPointPrecision(QDataStream::DoublePrecision);
    Coordinate back;
    in >> back;
    QCOMPARE(back, Coordinate(1, 2.5, -3));
    // The meta type knows the stream operators too.
    QByteArray viaMetaType;
    {
        QDataStream out(&viaMetaType, QIODevice::WriteOnly);
        out << QVariant::fromValue(Coordinate(1, 2.5, -3));
    }
    QDataStream in2(viaMetaType);
    QVariant read;
    in2 >> read;
    QCOMPARE(read.value<Coordinate>(), Coordinate(1, 2.5, -3));
}

void tst_Coordinates::propertyNames_data()
{
    QTest::addColumn<const QMetaObject *>("metaObject");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("Coordinate") << &Coordinate::staticMetaObject << QStringList{ "x", "y", "z" };
    QTest::newRow("Pose") << &Pose::staticMetaObject << QStringList{ "position", "orientation" };
    QTest::newRow("PoseWithCovariance") << &PoseWithCovariance::staticMetaObject
                                        << QStringList{ "position", "orientation", "covariance" };
    QTest::newRow("Twist") << &Twist::staticMetaObject
                           << QStringList{ "linear_velocity", "angular_velocity" };
    QTest::newRow("TwistWithCovariance")
        << &TwistWithCovariance::staticMetaObject
        << QStringList{ "linearVelocity", "angularVelocity", "covariance" };
    QTest::newRow("PoseWithTwist")
        << &PoseWithTwist::staticMetaObject
        << QStringList{ "position", "orientation", "linear_velocity", "angular_velocity" };
}

void tst_Coordinates::propertyNames()
{
    QFETCH(const QMetaObject *, metaObject);
    QFETCH(QStringList, names);
    QStringList found;
    for (int i = 0; i < metaObject->propertyCount(); ++i) {
        const QMetaProperty p = metaObject->property(i);
        QVERIFY(p.isWritable());
        found << QString::fromLatin1(p.name());
    }
    QCOMPARE(found, names);
}

void tst_Coordinates::defaultsAndVariants()
{
    const Pose pose;
    QCOMPARE(pose.position, Coordinate(0, 0, 0));
    QCOMPARE(pose.orientation.scalar(), 1.0f);
    QCOMPARE(pose.orientation.vector(), QVector3D(0, 0, 0));
    QCOMPARE(Twist().linear_velocity, QVector3D());
    QVERIFY(PoseWithTwist().angular_velocity.isNull());

    // A gadget property written through the meta object, as QML writes it.
    Coordinate c(1, 2, 3);
    const QMetaProperty y
        = Coordinate::staticMetaObject.property(Coordinate::staticMetaObject.indexOfProperty("y"));
    QVERIFY(y.writeOnGadget(&c, 7.5));
    QCOMPARE(c, Coordinate(1, 7.5, 3));
    QCOMPARE(y.readOnGadget(&c).toDouble(), 7.5);

    const QList<Pose> poses{ Pose(Coordinate(1, 0, 0), QQuaternion()), Pose() };
    const QVariant list = QVariant::fromValue(poses);
    QVERIFY(list.canConvert<QVariantList>());
    QCOMPARE(list.value<QVariantList>().size(), 2);
    QCOMPARE(list.value<QVariantList>().first().value<Pose>().position, Coordinate(1, 0, 0));
}

void tst_Coordinates::interpolate()
{
    const Pose a(Coordinate(0, 0, 0), QQuaternion());
    const Pose b(Coordinate(2, 4, -2), QQuaternion::fromAxisAndAngle(0, 0, 1, 90));
    const Pose mid = a.interpolate(b, 0.5);
    QCOMPARE(mid.position, Coordinate(1, 2, -1));
    // Half of a 90-degree turn about z, not a zero quaternion.
    const QQuaternion expected = QQuaternion::fromAxisAndAngle(0, 0, 1, 45);
    QVERIFY(qFuzzyCompare(mid.orientation, expected));
}

QTEST_GUILESS_MAIN(tst_Coordinates)
#include "tst_coordinates.moc"
