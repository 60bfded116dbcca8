#include "IRobotResourceInterface.h"

#include "QmlFuture.h"

#include <QJSEngine>

QJSValue IRobotResourceInterface::getResource(QUuid uuid)
{
    return makeQmlPromise(qjsEngine(this), getResourceCpp(uuid));
}

QJSValue IRobotResourceInterface::setResource(QJsonObject resource)
{
    return makeQmlPromise(qjsEngine(this), setResourceCpp(resource));
}

QJSValue IRobotResourceInterface::removeResource(QUuid uuid)
{
    return makeQmlPromise(qjsEngine(this), removeResourceCpp(uuid));
}

QJSValue IRobotResourceInterface::updateResource(QJsonObject resource)
{
    return makeQmlPromise(qjsEngine(this), updateResourceCpp(resource));
}

QJSValue IRobotResourceInterface::listResources(QUuid group)
{
    return makeQmlPromise(qjsEngine(this), listResourcesCpp(group));
}
