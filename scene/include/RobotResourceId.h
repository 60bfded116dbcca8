#pragma once

#include "RobotResourceType.h"

#include <QDataStream>
#include <QDebug>
#include <QList>
#include <QUuid>

// A resource's identity: its kind and its UUID within that kind. Text form "Map:<uuid>".
class RobotResourceId
{
    Q_GADGET
    Q_PROPERTY(RobotResourceType::ResourceType type MEMBER type)
    Q_PROPERTY(QUuid uuid MEMBER uuid)

public:
    RobotResourceId() = default;
    RobotResourceId(RobotResourceType::ResourceType type, const QUuid &uuid)
        : type(type)
        , uuid(uuid)
    { }

    // "<kind key>:<uuid without braces>", "Unknown" for a kind without a key.
    Q_INVOKABLE QString toString() const;
    // Never fails: text that is not two parts gives the default id, an unknown key the kind
    // Unknown, text that is no UUID the null UUID.
    static RobotResourceId fromString(const QString &text);

    friend bool operator==(const RobotResourceId &a, const RobotResourceId &b)
    {
        return a.type == b.type && a.uuid == b.uuid;
    }
    friend bool operator<(const RobotResourceId &a, const RobotResourceId &b)
    {
        if (a.type != b.type)
            return static_cast<qint32>(a.type) < static_cast<qint32>(b.type);
        return a.uuid < b.uuid;
    }

    RobotResourceType::ResourceType type = RobotResourceType::Path;
    QUuid uuid;
};

QDataStream &operator<<(QDataStream &stream, const RobotResourceId &id);
QDataStream &operator>>(QDataStream &stream, RobotResourceId &id);
QDebug operator<<(QDebug debug, const RobotResourceId &id);

Q_DECLARE_METATYPE(RobotResourceId)
