#include "RobotResponses.h"

#include "JsonReaders.h"
#include "RobotExceptions.h"
#include "RobotMessageFields.h"

#include <QJsonArray>
#include <QJsonDocument>

using namespace RobotMessages;

namespace {

void requireSuccess(const GenericResponse &status)
{
    if (!status.success)
        throw ServiceCallFailedException(status.message);
}

// The "json" texts are tolerant: anything but a string reads as "", and text that does not parse
// gives an empty document.
QJsonDocument embeddedDocument(const QJsonValue &value)
{
    return QJsonDocument::fromJson(value.toString().toUtf8());
}

} // namespace

namespace RobotMessages {

GenericResponse readStatus(const QJsonValue &value)
{
    GenericResponse status;
    status.success = readJsonBool(member(value, QLatin1String("success")));
    status.message = readJsonString(member(value, QLatin1String("message")));
    return status;
}

ListResourcesEntry readListResourcesEntry(const QJsonValue &value)
{
    ListResourcesEntry entry;
    const QJsonValue group = member(value, QLatin1String("group_id"));
    entry.group = group.isNull() ? QUuid() : readJsonUuid(group);
    entry.name = readJsonString(member(value, QLatin1String("name")));
    entry.uuid = readJsonUuid(member(value, QLatin1String("id")));
    entry.created_date = readDate(member(value, QLatin1String("creation_date")));
    return entry;
}

} // namespace RobotMessages

template<> GenericResponse readRobotMessage(const QJsonValue &value)
{
    const GenericResponse status = readStatus(value);
    requireSuccess(status);
    return status;
}

template<> getActiveMapIdResponse readRobotMessage(const QJsonValue &value)
{
    getActiveMapIdResponse response;
    static_cast<GenericResponse &>(response) = readStatus(value);
    response.uuid = readJsonUuid(member(value, QLatin1String("uuid")));
    requireSuccess(response);
    return response;
}

template<> SavePathResponse readRobotMessage(const QJsonValue &value)
{
    SavePathResponse response;
    response.uuid = readJsonUuid(member(value, QLatin1String("uuid")));
    static_cast<GenericResponse &>(response) = readStatus(value);
    requireSuccess(response);
    return response;
}

template<> StartJobResponse readRobotMessage(const QJsonValue &value)
{
    return StartJobResponse{ readStatus(member(value, QLatin1String("result"))) };
}

template<> DeleteResourceResponse readRobotMessage(const QJsonValue &value)
{
    return DeleteResourceResponse{ readStatus(member(value, QLatin1String("result"))) };
}

template<> SetResourceResponse readRobotMessage(const QJsonValue &value)
{
    SetResourceResponse response;
    response.result = readStatus(member(value, QLatin1String("result")));
    response.uuid = readJsonUuid(member(value, QLatin1String("uuid")));
    return response;
}

template<> UpdateResourceResponse readRobotMessage(const QJsonValue &value)
{
    UpdateResourceResponse response;
    response.result = readStatus(member(value, QLatin1String("result")));
    response.uuid = readJsonUuid(member(value, QLatin1String("uuid")));
    return response;
}

template<> GetResourceResponse readRobotMessage(const QJsonValue &value)
{
    GetResourceResponse response;
    response.json = embeddedDocument(member(value, QLatin1String("json"))).object();
    response.result = readStatus(member(value, QLatin1String("result")));
    return response;
}

template<> ListResourcesResponse readRobotMessage(const QJsonValue &value)
{
    ListResourcesResponse response;
    response.result = readStatus(member(value, QLatin1String("result")));
    const QJsonArray entries = embeddedDocument(member(value, QLatin1String("json"))).array();
    for (const QJsonValue entry : entries)
        response.resources.append(readListResourcesEntry(entry));
    return response;
}
