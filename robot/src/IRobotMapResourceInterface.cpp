#include "IRobotMapResourceInterface.h"

#include "QmlFuture.h"

#include <QJSEngine>

QJSValue IRobotMapResourceInterface::getActiveId()
{
    return makeQmlPromise(qjsEngine(this), getActiveIdCpp());
}
