#pragma once

#include "Pose.h"

#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QQuaternion>
#include <QString>
#include <QVector3D>

// The readers of the field kinds of robot messages beyond those of JsonReaders.h. Each throws the
// JSON exceptions: JsonUndefinedException for a missing value, JsonInvalidTypeException otherwise.
namespace RobotMessages {

// The member `key` of `value`; undefined when `value` is no object.
QJsonValue member(const QJsonValue &value, QLatin1String key);

float readFloat(const QJsonValue &value);
// A text that does not parse gives an invalid date, not a failure.
QDateTime readDate(const QJsonValue &value);
// Members read in the order z, y, x, w; anything but an object fails as type "quaternion".
QQuaternion readQuaternion(const QJsonValue &value);
// Members read in the order z, y, x; anything but an object fails as type "position".
QVector3D readVector(const QJsonValue &value);
QList<double> readCovariance(const QJsonValue &value);
// "orientation", then "position" with "z", "y", "x".
Pose readPose(const QJsonValue &value);

} // namespace RobotMessages
