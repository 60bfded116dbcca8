#pragma once

#include <QMetaType>
#include <QObject>
#include <QVector3D>

// Linear (m/s) and angular (rad/s) velocity as the robot's odometry carries them.
class Twist
{
    Q_GADGET
    Q_PROPERTY(QVector3D linear_velocity MEMBER linear_velocity)
    Q_PROPERTY(QVector3D angular_velocity MEMBER angular_velocity)

public:
    friend bool operator==(const Twist &a, const Twist &b)
    {
        return a.linear_velocity == b.linear_velocity && a.angular_velocity == b.angular_velocity;
    }

    QVector3D linear_velocity;
    QVector3D angular_velocity;
};

Q_DECLARE_METATYPE(Twist)
