#include "RobotTopicMessages.h"

#include "JsonReaders.h"
#include "RobotExceptions.h"
#include "RobotMessageFields.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cmath>

using namespace RobotMessages;

template<> NavPath readRobotMessage(const QJsonValue &value)
{
    NavPath path;
    const QJsonArray poses = member(value, QLatin1String("poses")).toArray();
    for (const QJsonValue stamped : poses)
        path.poses.append(readPose(stamped.toObject().value(QLatin1String("pose")).toObject()));
    return path;
}

template<> Odometry readRobotMessage(const QJsonValue &value)
{
    Odometry odometry;
    const QJsonValue pose = member(value, QLatin1String("pose"));
    odometry.pose.covariance = readCovariance(member(pose, QLatin1String("covariance")));
    static_cast<Pose &>(odometry.pose) = readPose(member(pose, QLatin1String("pose")));
    const QJsonValue twist = member(value, QLatin1String("twist"));
    odometry.twist.covariance = readCovariance(member(twist, QLatin1String("covariance")));
    const QJsonValue velocities = member(twist, QLatin1String("twist"));
    odometry.twist.angularVelocity = readVector(member(velocities, QLatin1String("angular")));
    odometry.twist.linearVelocity = readVector(member(velocities, QLatin1String("linear")));
    return odometry;
}

namespace {

signed char readZone(const QJsonValue &value)
{
    if (value.isUndefined())
        throw JsonUndefinedException();
    if (!value.isDouble())
        throw JsonInvalidTypeException();
    const double number = value.toDouble();
    if (number == std::trunc(number) && (number < -128 || number > 127))
        throw JsonInvalidTypeException(QJsonValue::Double, QJsonValue::Double);
    return static_cast<signed char>(value.toInteger());
}

} // namespace

template<> OldCoordinateSystemInfo readRobotMessage(const QJsonValue &value)
{
    OldCoordinateSystemInfo info;
    const QJsonValue type = member(value, QLatin1String("type"));
    readJsonDouble(type); // a number, or the failure of one
    info.type = int(type.toInteger());
    info.map_name = readJsonString(member(value, QLatin1String("map_name")));
    info.latitude = readJsonDouble(member(value, QLatin1String("latitude")));
    info.longitude = readJsonDouble(member(value, QLatin1String("longitude")));
    info.altitude = readJsonDouble(member(value, QLatin1String("altitude")));
    info.zone = readZone(member(value, QLatin1String("zone")));
    info.north = readJsonBool(member(value, QLatin1String("north")));
    info.x_offset = readJsonDouble(member(value, QLatin1String("x_offset")));
    info.y_offset = readJsonDouble(member(value, QLatin1String("y_offset")));
    info.z_offset = readJsonDouble(member(value, QLatin1String("z_offset")));
    return info;
}

template<> SystemStatus readRobotMessage(const QJsonValue &value)
{
    SystemStatus status;
    status.is_operational = readJsonBool(member(value, QLatin1String("is_operational")));
    status.behavior_status = readJsonString(member(value, QLatin1String("behavior_status")));
    status.position_accuracy_status = PositionAccuracy::fromText(
        readJsonString(member(value, QLatin1String("position_accuracy_status"))));
    return status;
}
