#pragma once

#include "Pose.h"
#include "PoseWithCovariance.h"
#include "PositionAccuracy.h"
#include "RobotMessageReader.h"
#include "TwistWithCovariance.h"

#include <QList>
#include <QMetaType>
#include <QString>

// The messages of the robot's topics, read from rosbridge "publish" messages.
namespace RobotMessages {

// "nav_msgs/msg/Path"
struct NavPath
{
    Q_GADGET
    Q_PROPERTY(QList<Pose> poses MEMBER poses)
public:
    QList<Pose> poses;
};

// "nav_msgs/msg/Odometry"
struct Odometry
{
    Q_GADGET
    Q_PROPERTY(PoseWithCovariance pose MEMBER pose)
    Q_PROPERTY(TwistWithCovariance twist MEMBER twist)
public:
    PoseWithCovariance pose;
    TwistWithCovariance twist;
};

// "autonomy_msgs/msg/CoordinateSystemInfo"
struct OldCoordinateSystemInfo
{
    Q_GADGET
    Q_PROPERTY(int type MEMBER type)
    Q_PROPERTY(QString map_name MEMBER map_name)
    Q_PROPERTY(double latitude MEMBER latitude)
    Q_PROPERTY(double longitude MEMBER longitude)
    Q_PROPERTY(double altitude MEMBER altitude)
    Q_PROPERTY(signed char zone MEMBER zone)
    Q_PROPERTY(bool north MEMBER north)
    Q_PROPERTY(double x_offset MEMBER x_offset)
    Q_PROPERTY(double y_offset MEMBER y_offset)
    Q_PROPERTY(double z_offset MEMBER z_offset)
public:
    enum Type { LocalRelative = 0, LocalTangentPlane = 1, Utm = 2, Unknown = 3 };
    Q_ENUM(Type)

    // Stored as the robot sent it, also outside the enum's range.
    int type = Unknown;
    QString map_name;
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    signed char zone = 0;
    bool north = true;
    double x_offset = 0;
    double y_offset = 0;
    double z_offset = 0;
};

// "autopilot_msgs/msg/SystemStatus"
struct SystemStatus
{
    Q_GADGET
    Q_PROPERTY(bool is_operational MEMBER is_operational)
    Q_PROPERTY(QString behavior_status MEMBER behavior_status)
    Q_PROPERTY(int position_accuracy_status MEMBER position_accuracy_status)
public:
    bool is_operational = false;
    QString behavior_status;
    // A PositionAccuracy::PositionAccuracyEnum, or -1 for a text that names none.
    int position_accuracy_status = PositionAccuracy::Unknown;
};

} // namespace RobotMessages

template<> RobotMessages::NavPath readRobotMessage(const QJsonValue &value);
template<> RobotMessages::Odometry readRobotMessage(const QJsonValue &value);
template<> RobotMessages::OldCoordinateSystemInfo readRobotMessage(const QJsonValue &value);
template<> RobotMessages::SystemStatus readRobotMessage(const QJsonValue &value);

Q_DECLARE_METATYPE(RobotMessages::NavPath)
Q_DECLARE_METATYPE(RobotMessages::Odometry)
Q_DECLARE_METATYPE(RobotMessages::OldCoordinateSystemInfo)
Q_DECLARE_METATYPE(RobotMessages::SystemStatus)
