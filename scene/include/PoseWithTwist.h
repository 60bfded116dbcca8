#pragma once

#include "Pose.h"

#include <QVector3D>

class PoseWithTwist : public Pose
{
    Q_GADGET
    Q_PROPERTY(QVector3D linear_velocity MEMBER linear_velocity)
    Q_PROPERTY(QVector3D angular_velocity MEMBER angular_velocity)

public:
    PoseWithTwist() = default;
    explicit PoseWithTwist(const Pose &pose)
        : Pose(pose)
    { }

    friend bool operator==(const PoseWithTwist &a, const PoseWithTwist &b)
    {
        return static_cast<const Pose &>(a) == static_cast<const Pose &>(b)
            && a.linear_velocity == b.linear_velocity && a.angular_velocity == b.angular_velocity;
    }

    QVector3D linear_velocity;
    QVector3D angular_velocity;
};

Q_DECLARE_METATYPE(PoseWithTwist)
