#pragma once

#include "RobotMessageReader.h"

#include <QJsonObject>
#include <QString>
#include <QUuid>

// The requests of the robot's services and how each becomes the arguments of its call. Uuids go
// out with braces; resources travel as JSON text inside JSON.
namespace RobotMessages {

struct GetResourceRequest
{
    QUuid uuid;
};
struct DeleteResourceRequest
{
    QUuid uuid;
};
struct StartJobRequest
{
    QUuid uuid;
};
struct ListResourcesRequest
{
    QUuid group; // null: every group
};
struct SetResourceRequest
{
    QJsonObject json;
};
struct UpdateResourceRequest
{
    QJsonObject json;
};
struct RecordPathRequest
{
    bool override = false;
};
struct SavePathRequest
{
    QString name;
};

} // namespace RobotMessages

QJsonObject toServiceArgs(const RobotMessages::GetResourceRequest &request);
QJsonObject toServiceArgs(const RobotMessages::DeleteResourceRequest &request);
QJsonObject toServiceArgs(const RobotMessages::StartJobRequest &request);
QJsonObject toServiceArgs(const RobotMessages::ListResourcesRequest &request);
QJsonObject toServiceArgs(const RobotMessages::SetResourceRequest &request);
QJsonObject toServiceArgs(const RobotMessages::UpdateResourceRequest &request);
QJsonObject toServiceArgs(const RobotMessages::RecordPathRequest &request);
QJsonObject toServiceArgs(const RobotMessages::SavePathRequest &request);
