#pragma once

#include <QMetaType>
#include <QObject>

// The kinds of robot resources. The key names are part of the text form of resource ids, so
// they never change.
class RobotResourceType
{
    Q_GADGET

public:
    enum ResourceType : qint32 {
        Unknown = -1,
        Path = 0,
        Job = 1,
        Area = 2,
        Artifact = 3,
        Schedule = 4,
        Map = 5,
        Location = 6,
    };
    Q_ENUM(ResourceType)
};
