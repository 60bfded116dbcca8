#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QUuid>

// Readers of single JSON values from rosbridge messages and stored resources. Each checks that
// the value is present (JsonUndefinedException) and of its JSON type (JsonInvalidTypeException
// with the actual and the expected type), then converts it.

QString readJsonString(const QJsonValue &value);
bool readJsonBool(const QJsonValue &value);
double readJsonDouble(const QJsonValue &value);
// A JSON number read as an integer: a number that is not integral or does not fit is reported
// as an unparsable value of type "int" rather than silently truncated.
int readJsonInt(const QJsonValue &value);
qint64 readJsonInt64(const QJsonValue &value);
QJsonArray readJsonArray(const QJsonValue &value);
QJsonObject readJsonObject(const QJsonValue &value);
// The empty string and the nil UUID (with or without braces) give the null UUID; any other
// text must parse as a UUID.
QUuid readJsonUuid(const QJsonValue &value);
