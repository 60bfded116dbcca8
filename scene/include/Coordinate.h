#pragma once

#include <QDataStream>
#include <QDebug>
#include <QMetaType>
#include <QObject>

// A point or vector of three doubles. It carries no unit or frame: the frame is that of the
// place where it is used (a local map, a tangent plane, UTM, web-Mercator pixels).
class Coordinate
{
    Q_GADGET
    Q_PROPERTY(double x MEMBER x)
    Q_PROPERTY(double y MEMBER y)
    Q_PROPERTY(double z MEMBER z)

public:
    Coordinate() = default;
    Coordinate(double x, double y, double z)
        : x(x)
        , y(y)
        , z(z)
    { }

    Q_INVOKABLE double distanceToPoint(const Coordinate &point) const;
    Q_INVOKABLE double length() const;
    Q_INVOKABLE double lengthSquared() const;
    // Scales to unit length in place; a coordinate of (nearly) unit or zero length is left as is.
    Q_INVOKABLE void normalize();
    // A unit-length copy; a (nearly) zero coordinate gives exactly (0, 0, 0).
    Q_INVOKABLE Coordinate normalized() const;
    Q_INVOKABLE Coordinate add(const Coordinate &other) const;
    Q_INVOKABLE Coordinate minus(const Coordinate &other) const;
    Q_INVOKABLE Coordinate times(double factor) const;

    friend bool operator==(const Coordinate &a, const Coordinate &b)
    {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    }

    double x = 0;
    double y = 0;
    double z = 0;
};

QDebug operator<<(QDebug debug, Coordinate coordinate);
QDataStream &operator<<(QDataStream &stream, const Coordinate &coordinate);
QDataStream &operator>>(QDataStream &stream, Coordinate &coordinate);

Q_DECLARE_METATYPE(Coordinate)
