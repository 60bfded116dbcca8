#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// The status shared by every layer of the robot stack (socket, rosbridge client, connection,
// manager), offered to QML as a singleton so that screens can name the values and print them.
class RobotConnectionStatus : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    enum Status { Connecting = 0, Connected = 1, Closing = 2, Closed = 3, Error = 4, Unknown = 5 };
    Q_ENUM(Status)

    explicit RobotConnectionStatus(QObject *parent = nullptr);

    Q_INVOKABLE static QString toString(RobotConnectionStatus::Status status);
};
