#include "RobotExceptions.h"

#include <QObject>

QString jsonTypeName(QJsonValue::Type type)
{
    switch (type) {
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Bool:
        return QStringLiteral("boolean");
    case QJsonValue::Double:
        return QStringLiteral("number");
    case QJsonValue::String:
        return QStringLiteral("string");
    case QJsonValue::Array:
        return QStringLiteral("array");
    case QJsonValue::Object:
        return QStringLiteral("object");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

JsonException::JsonException(const QString &message)
    : m_message(message.toUtf8())
{ }

const char *JsonException::what() const noexcept
{
    return m_message.constData();
}

JsonException *JsonException::clone() const
{
    return new JsonException(*this);
}

void JsonException::raise() const
{
    throw *this;
}

JsonUndefinedException::JsonUndefinedException()
    : JsonException(QStringLiteral("Missing expected json value"))
{ }

JsonUndefinedException *JsonUndefinedException::clone() const
{
    return new JsonUndefinedException(*this);
}

void JsonUndefinedException::raise() const
{
    throw *this;
}

JsonInvalidTypeException::JsonInvalidTypeException()
    : JsonException(QObject::tr("Invalid type for json value."))
{ }

JsonInvalidTypeException::JsonInvalidTypeException(QJsonValue::Type actual,
                                                   QJsonValue::Type expected)
    : JsonException(QObject::tr("Invalid type \"%1\" for json value. Expected \"%2\"")
                        .arg(jsonTypeName(actual), jsonTypeName(expected)))
{ }

JsonInvalidTypeException::JsonInvalidTypeException(const QString &valueName,
                                                   QJsonValue::Type actual,
                                                   QJsonValue::Type expected)
    : JsonException(QObject::tr("Invalid type \"%1\" for json value \"%2\". Expected \"%3\"")
                        .arg(jsonTypeName(actual), valueName, jsonTypeName(expected)))
{ }

JsonInvalidTypeException::JsonInvalidTypeException(const QString &typeName)
    : JsonException(QObject::tr("Could not parse JSON value as type \"%1\"").arg(typeName))
{ }

JsonInvalidTypeException *JsonInvalidTypeException::clone() const
{
    return new JsonInvalidTypeException(*this);
}

void JsonInvalidTypeException::raise() const
{
    throw *this;
}

const char *RobotNotConnectedException::what() const noexcept
{
    return "Robot is not connected";
}

RobotNotConnectedException *RobotNotConnectedException::clone() const
{
    return new RobotNotConnectedException(*this);
}

void RobotNotConnectedException::raise() const
{
    throw *this;
}

ServiceCallFailedException::ServiceCallFailedException(const QString &message)
    : m_message(message)
    , m_messageUtf8(message.toStdString())
{ }

ServiceCallFailedException::ServiceCallFailedException(const QJsonArray &values)
    : m_values(values)
{ }

const char *ServiceCallFailedException::what() const noexcept
{
    return m_messageUtf8.empty() ? "Service call failed" : m_messageUtf8.c_str();
}

ServiceCallFailedException *ServiceCallFailedException::clone() const
{
    return new ServiceCallFailedException(*this);
}

void ServiceCallFailedException::raise() const
{
    throw *this;
}

const char *ServiceCallTimeoutException::what() const noexcept
{
    return "Service call timed out";
}

ServiceCallTimeoutException *ServiceCallTimeoutException::clone() const
{
    return new ServiceCallTimeoutException(*this);
}

void ServiceCallTimeoutException::raise() const
{
    throw *this;
}

ServiceCallMoreThanOneResponseException::ServiceCallMoreThanOneResponseException(
    const QJsonArray &values)
    : m_values(values)
{ }

const char *ServiceCallMoreThanOneResponseException::what() const noexcept
{
    return "Service call received more than one response";
}

ServiceCallMoreThanOneResponseException *ServiceCallMoreThanOneResponseException::clone() const
{
    return new ServiceCallMoreThanOneResponseException(*this);
}

void ServiceCallMoreThanOneResponseException::raise() const
{
    throw *this;
}

const char *RobotConnectionFailedException::what() const noexcept
{
    return "Robot connection failed";
}

RobotConnectionFailedException *RobotConnectionFailedException::clone() const
{
    return new RobotConnectionFailedException(*this);
}

void RobotConnectionFailedException::raise() const
{
    throw *this;
}
