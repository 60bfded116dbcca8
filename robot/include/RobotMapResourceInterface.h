#pragma once

#include "IRobotMapResourceInterface.h"

#include <QString>

class RobotResourceInterface;
class RosBridgeClient;

// The map resources over rosbridge: the five resource services of kind Map, and
// <prefix>/get_active_id. Ownership: the inner resource interface is a child; the client is not
// owned.
class RobotMapResourceInterface : public IRobotMapResourceInterface
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("RobotMapResourceInterface must be accessed through RobotConnection")

public:
    RobotMapResourceInterface(const QString &prefix, RosBridgeClient *client, QObject *parent);

    QFuture<QJsonObject> getResourceCpp(const QUuid &uuid) override;
    QFuture<QUuid> setResourceCpp(const QJsonObject &resource) override;
    QFuture<void> removeResourceCpp(const QUuid &uuid) override;
    QFuture<QUuid> updateResourceCpp(const QJsonObject &resource) override;
    QFuture<QList<RobotResourceInfo>> listResourcesCpp(const QUuid &group) override;
    QFuture<QUuid> getActiveIdCpp() override;

private:
    RobotResourceInterface *m_inner;
    RosBridgeClient *m_client;
    QString m_activeIdService;
};
