#pragma once

#include "IRobotResourceInterface.h"
#include "RobotResourceType.h"

#include <QString>

class RosBridgeClient;

// The resource services of one kind over rosbridge: <prefix>/get, /set, /update, /delete, /list.
// Each operation is one typed call with a 10000 ms time-out; a reply whose nested status reports
// no success fails with the service's message.
//
// Ownership: the client is the robot connection's, not owned. Threading: the client's thread.
class RobotResourceInterface : public IRobotResourceInterface
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("RobotResourceInterface must be accessed through RobotConnection")

public:
    static constexpr int callTimeoutMs = 10000;

    RobotResourceInterface(const QString &prefix, RobotResourceType::ResourceType type,
                           RosBridgeClient *client, QObject *parent);
    RobotResourceInterface(const QString &prefix, RobotResourceType::ResourceType type,
                           RosBridgeClient *client, QObject *parent, const QString &get,
                           const QString &set, const QString &update, const QString &remove,
                           const QString &list);

    QFuture<QJsonObject> getResourceCpp(const QUuid &uuid) override;
    QFuture<QUuid> setResourceCpp(const QJsonObject &resource) override;
    QFuture<void> removeResourceCpp(const QUuid &uuid) override;
    QFuture<QUuid> updateResourceCpp(const QJsonObject &resource) override;
    QFuture<QList<RobotResourceInfo>> listResourcesCpp(const QUuid &group) override;

private:
    RosBridgeClient *m_client;
    RobotResourceType::ResourceType m_type;
    QString m_getService;
    QString m_setService;
    QString m_updateService;
    QString m_deleteService;
    QString m_listService;
};
