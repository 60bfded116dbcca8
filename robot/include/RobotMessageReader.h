#pragma once

#include <QJsonObject>
#include <QJsonValue>

// The customisation points of the typed service calls and topic callbacks: each robot message
// type provides a specialisation of readRobotMessage (throws the JSON exceptions on a malformed
// value) and each request type an overload of toServiceArgs.
template<class T> T readRobotMessage(const QJsonValue &value);

inline QJsonObject toServiceArgs(const QJsonObject &args)
{
    return args;
}
