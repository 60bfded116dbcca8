#include "RobotMessageFields.h"

#include "JsonReaders.h"
#include "RobotExceptions.h"

#include <QJsonArray>
#include <QJsonObject>

namespace RobotMessages {

QJsonValue member(const QJsonValue &value, QLatin1String key)
{
    if (!value.isObject())
        return QJsonValue(QJsonValue::Undefined);
    return value.toObject().value(key);
}

float readFloat(const QJsonValue &value)
{
    return float(readJsonDouble(value));
}

QDateTime readDate(const QJsonValue &value)
{
    return QDateTime::fromString(readJsonString(value), Qt::ISODateWithMs);
}

QQuaternion readQuaternion(const QJsonValue &value)
{
    if (value.isUndefined())
        throw JsonUndefinedException();
    if (!value.isObject())
        throw JsonInvalidTypeException(QStringLiteral("quaternion"));
    const float z = readFloat(member(value, QLatin1String("z")));
    const float y = readFloat(member(value, QLatin1String("y")));
    const float x = readFloat(member(value, QLatin1String("x")));
    const float w = readFloat(member(value, QLatin1String("w")));
    return QQuaternion(w, x, y, z);
}

QVector3D readVector(const QJsonValue &value)
{
    if (value.isUndefined())
        throw JsonUndefinedException();
    if (!value.isObject())
        throw JsonInvalidTypeException(QStringLiteral("position"));
    const float z = readFloat(member(value, QLatin1String("z")));
    const float y = readFloat(member(value, QLatin1String("y")));
    const float x = readFloat(member(value, QLatin1String("x")));
    return QVector3D(x, y, z);
}

QList<double> readCovariance(const QJsonValue &value)
{
    const QJsonArray array = readJsonArray(value);
    QList<double> covariance;
    covariance.reserve(array.size());
    for (const QJsonValue element : array) {
        if (!element.isDouble())
            throw JsonInvalidTypeException(element.type(), QJsonValue::Double);
        covariance.append(element.toDouble());
    }
    return covariance;
}

Pose readPose(const QJsonValue &value)
{
    const QQuaternion orientation = readQuaternion(member(value, QLatin1String("orientation")));
    const QJsonValue position = member(value, QLatin1String("position"));
    const double z = readJsonDouble(member(position, QLatin1String("z")));
    const double y = readJsonDouble(member(position, QLatin1String("y")));
    const double x = readJsonDouble(member(position, QLatin1String("x")));
    return Pose(Coordinate(x, y, z), orientation);
}

} // namespace RobotMessages
