#pragma once

#include <QByteArray>
#include <QException>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <string>

// The failures of the robot stack. Each can travel inside a QFuture (clone/raise) and reaches
// QML as a rejected promise carrying what(). The family is small and always used together, so
// it lives in one header. Every message is built at construction: what() never allocates.

// The name of a JSON type as the messages spell it ("undefined" for anything unknown).
QString jsonTypeName(QJsonValue::Type type);

class JsonException : public QException
{
public:
    explicit JsonException(const QString &message);

    const char *what() const noexcept override;
    JsonException *clone() const override;
    void raise() const override;

protected:
    QByteArray m_message;
};

class JsonUndefinedException : public JsonException
{
public:
    JsonUndefinedException();

    JsonUndefinedException *clone() const override;
    void raise() const override;
};

class JsonInvalidTypeException : public JsonException
{
public:
    JsonInvalidTypeException();
    JsonInvalidTypeException(QJsonValue::Type actual, QJsonValue::Type expected);
    JsonInvalidTypeException(const QString &valueName, QJsonValue::Type actual,
                             QJsonValue::Type expected);
    // A string that does not parse as the named type.
    explicit JsonInvalidTypeException(const QString &typeName);

    JsonInvalidTypeException *clone() const override;
    void raise() const override;
};

class RobotNotConnectedException : public QException
{
public:
    const char *what() const noexcept override;
    RobotNotConnectedException *clone() const override;
    void raise() const override;
};

class ServiceCallFailedException : public QException
{
public:
    explicit ServiceCallFailedException(const QString &message);
    explicit ServiceCallFailedException(const QJsonArray &values);

    const char *what() const noexcept override;
    ServiceCallFailedException *clone() const override;
    void raise() const override;

    QJsonArray values() const { return m_values; }
    QString message() const { return m_message; }

private:
    QJsonArray m_values;
    QString m_message;
    std::string m_messageUtf8;
};

class ServiceCallTimeoutException : public QException
{
public:
    const char *what() const noexcept override;
    ServiceCallTimeoutException *clone() const override;
    void raise() const override;
};

class ServiceCallMoreThanOneResponseException : public QException
{
public:
    explicit ServiceCallMoreThanOneResponseException(const QJsonArray &values);

    const char *what() const noexcept override;
    ServiceCallMoreThanOneResponseException *clone() const override;
    void raise() const override;

    QJsonArray values() const { return m_values; }

private:
    QJsonArray m_values;
};

class RobotConnectionFailedException : public QException
{
public:
    const char *what() const noexcept override;
    RobotConnectionFailedException *clone() const override;
    void raise() const override;
};
