#pragma once

#include "RobotMessageReader.h"

#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QUuid>

// The replies of the robot's services. The status record {"success", "message"} stands at the top
// level of GenericResponse, getActiveMapIdResponse and SavePathResponse, whose typed calls fail
// when it reports no success; the others carry it under "result" and are returned as read.
namespace RobotMessages {

struct GenericResponse
{
    Q_GADGET
    Q_PROPERTY(bool success MEMBER success)
    Q_PROPERTY(QString message MEMBER message)
public:
    bool success = false;
    QString message;

    friend bool operator==(const GenericResponse &, const GenericResponse &) = default;
};

struct getActiveMapIdResponse : GenericResponse
{
    Q_GADGET
    Q_PROPERTY(QUuid uuid MEMBER uuid)
public:
    QUuid uuid;
};

struct SavePathResponse : GenericResponse
{
    Q_GADGET
    Q_PROPERTY(QUuid uuid MEMBER uuid)
public:
    QUuid uuid;
};

struct StartJobResponse
{
    Q_GADGET
    Q_PROPERTY(RobotMessages::GenericResponse result MEMBER result)
public:
    GenericResponse result;
};

struct DeleteResourceResponse
{
    Q_GADGET
    Q_PROPERTY(RobotMessages::GenericResponse result MEMBER result)
public:
    GenericResponse result;
};

struct SetResourceResponse
{
    Q_GADGET
    Q_PROPERTY(QUuid uuid MEMBER uuid)
public:
    GenericResponse result;
    QUuid uuid;
};

struct UpdateResourceResponse
{
    Q_GADGET
    Q_PROPERTY(QUuid uuid MEMBER uuid)
    Q_PROPERTY(RobotMessages::GenericResponse result MEMBER result)
public:
    QUuid uuid;
    GenericResponse result;
};

struct GetResourceResponse
{
    Q_GADGET
    Q_PROPERTY(QJsonObject json MEMBER json)
    Q_PROPERTY(RobotMessages::GenericResponse result MEMBER result)
public:
    QJsonObject json;
    GenericResponse result;
};

struct ListResourcesEntry
{
    Q_GADGET
    Q_PROPERTY(QString name MEMBER name)
    Q_PROPERTY(QUuid uuid MEMBER uuid)
    Q_PROPERTY(QUuid group MEMBER group)
    Q_PROPERTY(QDateTime created_date MEMBER created_date)
public:
    QString name;
    QUuid uuid;
    QUuid group;
    QDateTime created_date;

    friend bool operator==(const ListResourcesEntry &, const ListResourcesEntry &) = default;
};

struct ListResourcesResponse
{
    Q_GADGET
    Q_PROPERTY(QList<RobotMessages::ListResourcesEntry> resources MEMBER resources)
    Q_PROPERTY(RobotMessages::GenericResponse result MEMBER result)
public:
    QList<ListResourcesEntry> resources;
    GenericResponse result;
};

// The status record alone, without the success test of the top-level replies.
GenericResponse readStatus(const QJsonValue &value);
ListResourcesEntry readListResourcesEntry(const QJsonValue &value);

} // namespace RobotMessages

template<> RobotMessages::GenericResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::getActiveMapIdResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::SavePathResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::StartJobResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::DeleteResourceResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::SetResourceResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::UpdateResourceResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::GetResourceResponse readRobotMessage(const QJsonValue &value);
template<> RobotMessages::ListResourcesResponse readRobotMessage(const QJsonValue &value);

Q_DECLARE_METATYPE(RobotMessages::GenericResponse)
Q_DECLARE_METATYPE(RobotMessages::ListResourcesEntry)
