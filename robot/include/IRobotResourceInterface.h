#pragma once

#include "RobotResourceInfo.h"

#include <QFuture>
#include <QJSValue>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

// The resource service of one resource kind on a robot: get, set, update, remove and list. Every
// operation exists as a virtual returning a future and as a QML invokable returning its promise.
class IRobotResourceInterface : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("IRobotResourceInterface must be accessed through IRobotConnection")

public:
    using QObject::QObject;

    virtual QFuture<QJsonObject> getResourceCpp(const QUuid &uuid) = 0;
    virtual QFuture<QUuid> setResourceCpp(const QJsonObject &resource) = 0;
    virtual QFuture<void> removeResourceCpp(const QUuid &uuid) = 0;
    virtual QFuture<QUuid> updateResourceCpp(const QJsonObject &resource) = 0;
    virtual QFuture<QList<RobotResourceInfo>> listResourcesCpp(const QUuid &group) = 0;

    Q_INVOKABLE QJSValue getResource(QUuid uuid);
    Q_INVOKABLE QJSValue setResource(QJsonObject resource);
    Q_INVOKABLE QJSValue removeResource(QUuid uuid);
    Q_INVOKABLE QJSValue updateResource(QJsonObject resource);
    Q_INVOKABLE QJSValue listResources(QUuid group = QUuid());
};
