#include "RobotMapResourceInterface.h"

#include "RobotResourceInterface.h"
#include "RobotResponses.h"
#include "RosBridgeClient.h"

RobotMapResourceInterface::RobotMapResourceInterface(const QString &prefix, RosBridgeClient *client,
                                                     QObject *parent)
    : IRobotMapResourceInterface(parent)
    , m_inner(new RobotResourceInterface(prefix, RobotResourceType::Map, client, this))
    , m_client(client)
    , m_activeIdService(prefix + QStringLiteral("/get_active_id"))
{ }

QFuture<QJsonObject> RobotMapResourceInterface::getResourceCpp(const QUuid &uuid)
{
    return m_inner->getResourceCpp(uuid);
}

QFuture<QUuid> RobotMapResourceInterface::setResourceCpp(const QJsonObject &resource)
{
    return m_inner->setResourceCpp(resource);
}

QFuture<void> RobotMapResourceInterface::removeResourceCpp(const QUuid &uuid)
{
    return m_inner->removeResourceCpp(uuid);
}

QFuture<QUuid> RobotMapResourceInterface::updateResourceCpp(const QJsonObject &resource)
{
    return m_inner->updateResourceCpp(resource);
}

QFuture<QList<RobotResourceInfo>> RobotMapResourceInterface::listResourcesCpp(const QUuid &group)
{
    return m_inner->listResourcesCpp(group);
}

QFuture<QUuid> RobotMapResourceInterface::getActiveIdCpp()
{
    // The typed call of a top-level status has already failed an unsuccessful reply.
    return m_client
        ->callService<RobotMessages::getActiveMapIdResponse>(m_activeIdService, QJsonObject(),
                                                             RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync,
              [](const RobotMessages::getActiveMapIdResponse &reply) { return reply.uuid; });
}
