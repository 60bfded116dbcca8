#pragma once

#include "IRobotResourceInterface.h"

// The map resources of a robot, and the id of its active map.
class IRobotMapResourceInterface : public IRobotResourceInterface
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("IRobotMapResourceInterface must be accessed through IRobotConnection")

public:
    using IRobotResourceInterface::IRobotResourceInterface;

    virtual QFuture<QUuid> getActiveIdCpp() = 0;
    Q_INVOKABLE QJSValue getActiveId();
};
