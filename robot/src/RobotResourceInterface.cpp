#include "RobotResourceInterface.h"

#include "RobotExceptions.h"
#include "RobotRequests.h"
#include "RobotResponses.h"
#include "RosBridgeClient.h"

using namespace RobotMessages;

// The continuations of this library run where the call completes (the client's thread, which is
// the interfaces' thread too) and use nothing of the interface. They are not bound to the
// interface as context object: Qt 6.4 asserts, and in a release build dereferences null, when a
// context-bound continuation runs after its context was destroyed, which is what happens to a call
// still pending when its interface goes before the connection ends the call.
namespace {

void requireSuccess(const GenericResponse &status)
{
    if (!status.success)
        throw ServiceCallFailedException(status.message);
}

} // namespace

RobotResourceInterface::RobotResourceInterface(const QString &prefix,
                                               RobotResourceType::ResourceType type,
                                               RosBridgeClient *client, QObject *parent)
    : RobotResourceInterface(prefix, type, client, parent, QStringLiteral("get"),
                             QStringLiteral("set"), QStringLiteral("update"),
                             QStringLiteral("delete"), QStringLiteral("list"))
{ }

RobotResourceInterface::RobotResourceInterface(const QString &prefix,
                                               RobotResourceType::ResourceType type,
                                               RosBridgeClient *client, QObject *parent,
                                               const QString &get, const QString &set,
                                               const QString &update, const QString &remove,
                                               const QString &list)
    : IRobotResourceInterface(parent)
    , m_client(client)
    , m_type(type)
    , m_getService(prefix + QLatin1Char('/') + get)
    , m_setService(prefix + QLatin1Char('/') + set)
    , m_updateService(prefix + QLatin1Char('/') + update)
    , m_deleteService(prefix + QLatin1Char('/') + remove)
    , m_listService(prefix + QLatin1Char('/') + list)
{ }

QFuture<QJsonObject> RobotResourceInterface::getResourceCpp(const QUuid &uuid)
{
    return m_client
        ->callService<GetResourceResponse>(m_getService, GetResourceRequest{ uuid }, callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const GetResourceResponse &reply) {
            requireSuccess(reply.result);
            return reply.json;
        });
}

QFuture<QUuid> RobotResourceInterface::setResourceCpp(const QJsonObject &resource)
{
    return m_client
        ->callService<SetResourceResponse>(m_setService, SetResourceRequest{ resource },
                                           callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const SetResourceResponse &reply) {
            requireSuccess(reply.result);
            return reply.uuid;
        });
}

QFuture<void> RobotResourceInterface::removeResourceCpp(const QUuid &uuid)
{
    return m_client
        ->callService<DeleteResourceResponse>(m_deleteService, DeleteResourceRequest{ uuid },
                                              callTimeoutMs)
        .then(QtFuture::Launch::Sync,
              [](const DeleteResourceResponse &reply) { requireSuccess(reply.result); });
}

QFuture<QUuid> RobotResourceInterface::updateResourceCpp(const QJsonObject &resource)
{
    return m_client
        ->callService<UpdateResourceResponse>(m_updateService, UpdateResourceRequest{ resource },
                                              callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const UpdateResourceResponse &reply) {
            requireSuccess(reply.result);
            return reply.uuid;
        });
}

QFuture<QList<RobotResourceInfo>> RobotResourceInterface::listResourcesCpp(const QUuid &group)
{
    const RobotResourceType::ResourceType type = m_type;
    return m_client
        ->callService<ListResourcesResponse>(m_listService, ListResourcesRequest{ group },
                                             callTimeoutMs)
        .then(QtFuture::Launch::Sync, [type](const ListResourcesResponse &reply) {
            requireSuccess(reply.result);
            QList<RobotResourceInfo> infos;
            infos.reserve(reply.resources.size());
            for (const ListResourcesEntry &entry : reply.resources) {
                RobotResourceInfo info;
                info.uuid = entry.uuid;
                info.group = entry.group;
                info.name = entry.name;
                info.type = type;
                info.lastModified = entry.created_date;
                infos.append(info);
            }
            return infos;
        });
}
