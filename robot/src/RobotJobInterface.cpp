#include "RobotJobInterface.h"

#include "QmlFuture.h"
#include "RobotExceptions.h"
#include "RobotRequests.h"
#include "RobotResourceInterface.h"
#include "RobotResponses.h"
#include "RosBridgeClient.h"

#include <QJSEngine>

using namespace RobotMessages;

namespace {

void requireSuccess(const StartJobResponse &reply)
{
    if (!reply.result.success)
        throw ServiceCallFailedException(reply.result.message);
}

} // namespace

RobotJobInterface::RobotJobInterface(const QString &prefix, RosBridgeClient *client,
                                     QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_startService(prefix + QStringLiteral("/start"))
    , m_stopService(prefix + QStringLiteral("/stop"))
{ }

QFuture<void> RobotJobInterface::startJobCpp(const QUuid &uuid)
{
    return m_client
        ->callService<StartJobResponse>(m_startService, StartJobRequest{ uuid },
                                        RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const StartJobResponse &reply) { requireSuccess(reply); });
}

QJSValue RobotJobInterface::startJob(QUuid uuid)
{
    return makeQmlPromise(qjsEngine(this), startJobCpp(uuid));
}

QFuture<void> RobotJobInterface::stopJobCpp()
{
    return m_client
        ->callService<StartJobResponse>(m_stopService, QJsonObject(),
                                        RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const StartJobResponse &reply) { requireSuccess(reply); });
}

QJSValue RobotJobInterface::stopJob()
{
    return makeQmlPromise(qjsEngine(this), stopJobCpp());
}
