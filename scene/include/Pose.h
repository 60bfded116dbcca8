#pragma once

#include "Coordinate.h"

#include <QList>
#include <QQuaternion>

// A position with an orientation.
class Pose
{
    Q_GADGET
    Q_PROPERTY(Coordinate position MEMBER position)
    Q_PROPERTY(QQuaternion orientation MEMBER orientation)

public:
    Pose() = default;
    Pose(const Coordinate &position, const QQuaternion &orientation)
        : position(position)
        , orientation(orientation)
    { }
    virtual ~Pose() = default;
    Pose(const Pose &) = default;
    Pose &operator=(const Pose &) = default;

    // Linear between the positions, spherical between the orientations.
    virtual Pose interpolate(const Pose &other, double t) const;

    friend bool operator==(const Pose &a, const Pose &b)
    {
        return a.position == b.position && a.orientation == b.orientation;
    }

    Coordinate position;
    QQuaternion orientation;
};

Q_DECLARE_METATYPE(Pose)
