#include "Pose.h"

Pose Pose::interpolate(const Pose &other, double t) const
{
    return Pose(position.times(1 - t).add(other.position.times(t)),
                QQuaternion::slerp(orientation, other.orientation, static_cast<float>(t)));
}
