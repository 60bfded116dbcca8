#pragma once

#include "RobotResourceId.h"
#include "RobotResourceType.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

// The identifier as a QML value type, written robotResourceId in QML.
struct RobotResourceIdRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotResourceId)
    QML_VALUE_TYPE(robotResourceId)
};

// Only the enumeration: QML writes RobotResourceType.Map and never makes an instance.
struct RobotResourceTypeRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotResourceType)
    QML_NAMED_ELEMENT(RobotResourceType)
    QML_UNCREATABLE("")
};
