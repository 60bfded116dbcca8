#include "IRobotConnection.h"

#include "QmlFuture.h"

#include <QJSEngine>

QJSValue IRobotConnection::connect(QUrl url)
{
    return makeQmlPromise(qjsEngine(this), connectCpp(url));
}
