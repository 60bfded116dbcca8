#include "JsonReaders.h"

#include "RobotExceptions.h"

#include <cmath>
#include <limits>

namespace {

void requireType(const QJsonValue &value, QJsonValue::Type expected)
{
    if (value.isUndefined())
        throw JsonUndefinedException();
    if (value.type() != expected)
        throw JsonInvalidTypeException(value.type(), expected);
}

template<class Int> Int readIntegral(const QJsonValue &value, const QString &typeName)
{
    requireType(value, QJsonValue::Double);
    const double number = value.toDouble();
    // The bounds as doubles: the upper one of a 64-bit integer rounds up to 2^63, which must
    // already be refused.
    const double lower = static_cast<double>(std::numeric_limits<Int>::min());
    const double upper = -lower;
    if (!std::isfinite(number) || std::trunc(number) != number || number < lower || number >= upper)
        throw JsonInvalidTypeException(typeName);
    return static_cast<Int>(number);
}

} // namespace

QString readJsonString(const QJsonValue &value)
{
    requireType(value, QJsonValue::String);
    return value.toString();
}

bool readJsonBool(const QJsonValue &value)
{
    requireType(value, QJsonValue::Bool);
    return value.toBool();
}

double readJsonDouble(const QJsonValue &value)
{
    requireType(value, QJsonValue::Double);
    return value.toDouble();
}

int readJsonInt(const QJsonValue &value)
{
    return readIntegral<int>(value, QStringLiteral("int"));
}

qint64 readJsonInt64(const QJsonValue &value)
{
    return readIntegral<qint64>(value, QStringLiteral("int64"));
}

QJsonArray readJsonArray(const QJsonValue &value)
{
    requireType(value, QJsonValue::Array);
    return value.toArray();
}

QJsonObject readJsonObject(const QJsonValue &value)
{
    requireType(value, QJsonValue::Object);
    return value.toObject();
}

QUuid readJsonUuid(const QJsonValue &value)
{
    const QString text = readJsonString(value);
    if (text.isEmpty() || text == QLatin1String("00000000-0000-0000-0000-000000000000")
        || text == QLatin1String("{00000000-0000-0000-0000-000000000000}"))
        return QUuid();
    const QUuid uuid = QUuid::fromString(text);
    if (uuid.isNull())
        throw JsonInvalidTypeException(QStringLiteral("UUID"));
    return uuid;
}
