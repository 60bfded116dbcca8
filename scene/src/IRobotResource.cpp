#include "IRobotResource.h"

#include "JsonReaders.h"
#include "RobotExceptions.h"

IRobotResource::IRobotResource(RobotResourceType::ResourceType type, const QString &name,
                               const QUuid &uuid, const QUuid &group,
                               const QDateTime &creationDate, QObject *parent)
    : IRobotResourceOwner(parent)
    , m_uuid(uuid)
    , m_group(group)
    , m_creationDate(creationDate)
    , m_name(name)
    , m_resourceType(type)
{ }

void IRobotResource::setName(const QString &name)
{
    if (m_name == name)
        return;
    m_name = name;
    emit nameChanged();
}

RobotResourceId IRobotResource::resourceId() const
{
    return RobotResourceId(m_resourceType, m_uuid);
}

bool IRobotResource::resolved() const
{
    return true;
}

void IRobotResource::fromJson(JsonContext, const QJsonObject &json)
{
    const QUuid uuid = readJsonUuid(json.value(QLatin1String("id")));
    const QJsonValue groupValue = json.value(QLatin1String("group_id"));
    const QUuid group = groupValue.isNull() ? QUuid::createUuid() : readJsonUuid(groupValue);
    QDateTime creationDate = QDateTime::fromString(
            readJsonString(json.value(QLatin1String("creation_date"))), Qt::ISODateWithMs);
    // A date without a zone is taken as UTC as it reads, not converted from local time.
    if (creationDate.timeSpec() == Qt::LocalTime)
        creationDate.setTimeSpec(Qt::UTC);
    const QString name = readJsonString(json.value(QLatin1String("name")));

    if (m_uuid != uuid) {
        m_uuid = uuid;
        emit uuidChanged();
    }
    if (m_group != group) {
        m_group = group;
        emit groupChanged();
    }
    if (m_creationDate != creationDate) {
        m_creationDate = creationDate;
        emit creationDateChanged();
    }
    setName(name);
}

void IRobotResource::toJson(JsonContext, QJsonObject &json) const
{
    json.insert(QLatin1String("id"), m_uuid.toString(QUuid::WithBraces));
    json.insert(QLatin1String("group_id"), m_group.toString(QUuid::WithBraces));
    json.insert(QLatin1String("name"), m_name);
    json.insert(QLatin1String("creation_date"),
                m_creationDate.toUTC().toString(Qt::ISODateWithMs));
}

bool IRobotResource::fullyResolved() const
{
    return resolved();
}

QList<RobotResourceId> IRobotResource::resources() const
{
    return {resourceId()};
}

QList<RobotResourceId> IRobotResource::unresolvedResources() const
{
    if (resolved())
        return {};
    return {resourceId()};
}
