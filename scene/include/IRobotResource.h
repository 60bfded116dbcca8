#pragma once

#include "IRobotResourceOwner.h"
#include "JsonContext.h"

#include <QDateTime>
#include <QJsonObject>

// A resource held in memory: identity, name, group, creation date and the JSON form of these.
class IRobotResource : public IRobotResourceOwner
{
    Q_OBJECT
    Q_PROPERTY(QUuid uuid READ uuid NOTIFY uuidChanged)
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    // Constant for QML although fromJson may change them; the signals below are not tied to the
    // properties.
    Q_PROPERTY(QUuid group READ group CONSTANT)
    Q_PROPERTY(QDateTime creation_date READ creationDate CONSTANT)
    Q_PROPERTY(RobotResourceType::ResourceType resourceType READ resourceType CONSTANT)
    Q_PROPERTY(bool resolved READ resolved NOTIFY resolvedChanged)

public:
    QUuid uuid() const { return m_uuid; }
    QString name() const { return m_name; }
    void setName(const QString &name);
    QUuid group() const { return m_group; }
    QDateTime creationDate() const { return m_creationDate; }
    RobotResourceType::ResourceType resourceType() const { return m_resourceType; }

    virtual RobotResourceId resourceId() const;
    virtual bool resolved() const;
    // Reads "id", "group_id", "creation_date" and "name"; throws the JSON exceptions and leaves
    // the object untouched on malformed input.
    virtual void fromJson(JsonContext context, const QJsonObject &json);
    virtual void toJson(JsonContext context, QJsonObject &json) const;

    bool fullyResolved() const override;
    QList<RobotResourceId> resources() const override;
    QList<RobotResourceId> unresolvedResources() const override;

signals:
    void uuidChanged();
    void nameChanged();
    void groupChanged();
    void creationDateChanged();
    void resolvedChanged();

protected:
    IRobotResource(RobotResourceType::ResourceType type, const QString &name, const QUuid &uuid,
                   const QUuid &group, const QDateTime &creationDate, QObject *parent);

private:
    QUuid m_uuid;
    QUuid m_group;
    QDateTime m_creationDate;
    QString m_name;
    const RobotResourceType::ResourceType m_resourceType;
};
