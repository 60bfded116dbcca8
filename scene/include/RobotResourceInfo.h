#pragma once

#include "RobotResourceType.h"

#include <QDateTime>
#include <QUuid>

// One entry of a resource listing.
class RobotResourceInfo
{
    Q_GADGET
    Q_PROPERTY(QUuid uuid MEMBER uuid)
    Q_PROPERTY(QUuid group MEMBER group)
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(RobotResourceType::ResourceType type MEMBER type)
    Q_PROPERTY(QDateTime lastModified MEMBER lastModified)

public:
    friend bool operator==(const RobotResourceInfo &a, const RobotResourceInfo &b)
    {
        return a.uuid == b.uuid && a.group == b.group && a.name == b.name && a.type == b.type
                && a.lastModified == b.lastModified;
    }

    QUuid uuid;
    QUuid group;
    QString name;
    RobotResourceType::ResourceType type = RobotResourceType::Unknown;
    QDateTime lastModified;
};

Q_DECLARE_METATYPE(RobotResourceInfo)
