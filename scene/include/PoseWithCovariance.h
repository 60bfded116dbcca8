#pragma once

#include "Pose.h"

// A pose with the covariance values in the order the robot's message carries them.
class PoseWithCovariance : public Pose
{
    Q_GADGET
    Q_PROPERTY(QList<double> covariance MEMBER covariance)

public:
    PoseWithCovariance() = default;
    PoseWithCovariance(const Pose &pose, const QList<double> &covariance)
        : Pose(pose)
        , covariance(covariance)
    { }

    friend bool operator==(const PoseWithCovariance &a, const PoseWithCovariance &b)
    {
        return static_cast<const Pose &>(a) == static_cast<const Pose &>(b)
            && a.covariance == b.covariance;
    }

    QList<double> covariance;
};

Q_DECLARE_METATYPE(PoseWithCovariance)
