#pragma once

#include "RobotResourceId.h"

#include <QtQml/qqml.h>
#include <QtQml/qqmlregistration.h>

// The identifier as a QML value type, written robotResourceId in QML.
struct RobotResourceIdRegistration
{
    Q_GADGET
    QML_FOREIGN(RobotResourceId)
    QML_VALUE_TYPE(robotResourceId)
};
