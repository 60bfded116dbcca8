#include "OccupancyGridInfo.h"

#include "CoordinateConverter.h"

OccupancyGridInfo::OccupancyGridInfo(QObject *parent)
    : QObject(parent)
    , m_uuid(QUuid::createUuid())
    , m_groupId(QUuid::createUuid())
    , m_creationDate(QDateTime::currentDateTime())
    , m_mapWorldSize(0, 0)
{ }

void OccupancyGridInfo::setUuid(const QUuid &uuid)
{
    if (uuid == m_uuid)
        return;
    m_uuid = uuid;
    emit idChanged();
}

void OccupancyGridInfo::setGroupId(const QUuid &id)
{
    if (id == m_groupId)
        return;
    m_groupId = id;
    emit groupIdChanged();
}

void OccupancyGridInfo::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    emit nameChanged();
}

void OccupancyGridInfo::setCreationDate(const QDateTime &date)
{
    if (date == m_creationDate)
        return;
    m_creationDate = date;
    emit creationDateChanged();
}

void OccupancyGridInfo::setMapWorldSize(const QSizeF &size)
{
    if (size == m_mapWorldSize)
        return;
    m_mapWorldSize = size;
    emit mapWorldSizeChanged();
}

void OccupancyGridInfo::setOrigin(const Coordinate &origin)
{
    if (origin.x == m_origin.x && origin.y == m_origin.y && origin.z == m_origin.z)
        return;
    m_origin = origin;
    emit originChanged();
}

void OccupancyGridInfo::setGlobalTransformation(const Pose &pose)
{
    if (pose == m_globalTransformation)
        return;
    m_globalTransformation = pose;
    emit globalTransformationChanged();
}

void OccupancyGridInfo::setGlobalReferenceFrame(CoordinateConverter *frame)
{
    if (frame == m_globalReferenceFrame)
        return;
    m_globalReferenceFrame = frame;
    emit globalReferenceFrameChanged();
}
