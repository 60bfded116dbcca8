#include "RobotPathRecordingInterface.h"

#include "QmlFuture.h"
#include "RobotRequests.h"
#include "RobotResourceInterface.h"
#include "RobotResponses.h"
#include "RobotTopicMessages.h"
#include "RosBridgeClient.h"

#include <QJSEngine>

using namespace RobotMessages;

RobotPathRecordingInterface::RobotPathRecordingInterface(const QString &prefix,
                                                         RosBridgeClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
    , m_recordService(prefix + QStringLiteral("/interface/record_path"))
    , m_saveService(prefix + QStringLiteral("/interface/save_path"))
    , m_abortService(prefix + QStringLiteral("/interface/abort_record_path"))
    , m_planTopic(prefix + QStringLiteral("/plan"))
{ }

RobotPathRecordingInterface::~RobotPathRecordingInterface()
{
    releasePlan();
}

void RobotPathRecordingInterface::releasePlan()
{
    if (m_planSubscription)
        m_planSubscription->deleteLater();
}

// The typed calls of these replies (top-level status) already fail an unsuccessful one.
QFuture<void> RobotPathRecordingInterface::startRecordingCpp(const bool &override)
{
    return m_client
        ->callService<GenericResponse>(m_recordService, RecordPathRequest{ override },
                                       RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const GenericResponse &) {});
}

QFuture<QUuid> RobotPathRecordingInterface::saveRecordingCpp(const QString &name)
{
    return m_client
        ->callService<SavePathResponse>(m_saveService, SavePathRequest{ name },
                                        RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const SavePathResponse &reply) { return reply.uuid; });
}

QFuture<void> RobotPathRecordingInterface::abortRecordingCpp()
{
    return m_client
        ->callService<GenericResponse>(m_abortService, QJsonObject(),
                                       RobotResourceInterface::callTimeoutMs)
        .then(QtFuture::Launch::Sync, [](const GenericResponse &) {});
}

QJSValue RobotPathRecordingInterface::startRecording(bool override)
{
    m_recordingProgressPath.clear();
    releasePlan();
    m_planSubscription
        = m_client->subscribe(m_planTopic, QStringLiteral("nav_msgs/msg/Path"), nullptr);
    if (m_planSubscription) {
        QPointer<RobotPathRecordingInterface> self(this);
        m_planSubscription->onMessage<NavPath>([self](const NavPath &path) {
            if (self)
                self->onPlan(path);
        });
    }
    return makeQmlPromise(qjsEngine(this), startRecordingCpp(override));
}

QJSValue RobotPathRecordingInterface::saveRecording(QString name)
{
    releasePlan();
    return makeQmlPromise(qjsEngine(this), saveRecordingCpp(name));
}

QJSValue RobotPathRecordingInterface::abortRecording()
{
    releasePlan();
    return makeQmlPromise(qjsEngine(this), abortRecordingCpp());
}

void RobotPathRecordingInterface::onPlan(const NavPath &path)
{
    m_recordingProgressPath = path.poses;
    emit recordingProgressPathChanged();
}
