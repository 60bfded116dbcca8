#include "RobotConnectionStatus.h"

RobotConnectionStatus::RobotConnectionStatus(QObject *parent)
    : QObject(parent)
{ }

QString RobotConnectionStatus::toString(RobotConnectionStatus::Status status)
{
    switch (status) {
    case Connecting:
        return tr("Connecting");
    case Connected:
        return tr("Connected");
    case Closing:
        return tr("Disconnecting");
    case Closed:
        return tr("Disconnected");
    case Error:
        return tr("Error");
    default:
        return tr("Unknown");
    }
}
