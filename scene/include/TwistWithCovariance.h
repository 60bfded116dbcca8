#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QVector3D>

// The odometry's twist with its covariance; QML sees the velocities in camel case here.
class TwistWithCovariance
{
    Q_GADGET
    Q_PROPERTY(QVector3D linearVelocity MEMBER linearVelocity)
    Q_PROPERTY(QVector3D angularVelocity MEMBER angularVelocity)
    Q_PROPERTY(QList<double> covariance MEMBER covariance)

public:
    friend bool operator==(const TwistWithCovariance &a, const TwistWithCovariance &b)
    {
        return a.linearVelocity == b.linearVelocity && a.angularVelocity == b.angularVelocity
            && a.covariance == b.covariance;
    }

    QVector3D linearVelocity;
    QVector3D angularVelocity;
    QList<double> covariance;
};

Q_DECLARE_METATYPE(TwistWithCovariance)
