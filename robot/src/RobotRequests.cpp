#include "RobotRequests.h"

#include <QJsonDocument>

using namespace RobotMessages;

namespace {

QJsonObject uuidArgs(const QUuid &uuid)
{
    return { { QStringLiteral("uuid"), uuid.toString(QUuid::WithBraces) } };
}

QJsonObject jsonArgs(const QJsonObject &json)
{
    return { { QStringLiteral("json"),
               QString::fromUtf8(QJsonDocument(json).toJson(QJsonDocument::Compact)) } };
}

} // namespace

QJsonObject toServiceArgs(const GetResourceRequest &request)
{
    return uuidArgs(request.uuid);
}

QJsonObject toServiceArgs(const DeleteResourceRequest &request)
{
    return uuidArgs(request.uuid);
}

QJsonObject toServiceArgs(const StartJobRequest &request)
{
    return uuidArgs(request.uuid);
}

QJsonObject toServiceArgs(const ListResourcesRequest &request)
{
    if (request.group.isNull())
        return {};
    return { { QStringLiteral("group"), request.group.toString(QUuid::WithBraces) } };
}

QJsonObject toServiceArgs(const SetResourceRequest &request)
{
    return jsonArgs(request.json);
}

QJsonObject toServiceArgs(const UpdateResourceRequest &request)
{
    return jsonArgs(request.json);
}

QJsonObject toServiceArgs(const RecordPathRequest &request)
{
    return { { QStringLiteral("override"), request.override } };
}

QJsonObject toServiceArgs(const SavePathRequest &request)
{
    return { { QStringLiteral("name"), request.name } };
}
