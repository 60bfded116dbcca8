#include "Coordinate.h"

#include <cmath>

namespace {
constexpr double unitTolerance = 1e-12;
}

double Coordinate::distanceToPoint(const Coordinate &point) const
{
    return std::hypot(x - point.x, y - point.y, z - point.z);
}

double Coordinate::length() const
{
    return std::hypot(x, y, z);
}

double Coordinate::lengthSquared() const
{
    return x * x + y * y + z * z;
}

void Coordinate::normalize()
{
    const double l = length();
    if (std::abs(l - 1) <= unitTolerance || std::abs(l) <= unitTolerance)
        return;
    x /= l;
    y /= l;
    z /= l;
}

Coordinate Coordinate::normalized() const
{
    const double l = length();
    if (std::abs(l - 1) <= unitTolerance)
        return *this;
    if (std::abs(l) <= unitTolerance)
        return Coordinate();
    return Coordinate(x / l, y / l, z / l);
}

Coordinate Coordinate::add(const Coordinate &other) const
{
    return Coordinate(x + other.x, y + other.y, z + other.z);
}

Coordinate Coordinate::minus(const Coordinate &other) const
{
    return Coordinate(x - other.x, y - other.y, z - other.z);
}

Coordinate Coordinate::times(double factor) const
{
    return Coordinate(x * factor, y * factor, z * factor);
}

QDebug operator<<(QDebug debug, Coordinate coordinate)
{
    QDebugStateSaver saver(debug);
    debug.nospace() << "Coordinate(" << coordinate.x << ", " << coordinate.y << ", " << coordinate.z
                    << ")";
    return debug;
}

QDataStream &operator<<(QDataStream &stream, const Coordinate &coordinate)
{
    return stream << coordinate.x << coordinate.y << coordinate.z;
}

QDataStream &operator>>(QDataStream &stream, Coordinate &coordinate)
{
    return stream >> coordinate.x >> coordinate.y >> coordinate.z;
}
