#pragma once

#include "Pose.h"

#include <QFuture>
#include <QJSValue>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class RobotSubscription;
class RosBridgeClient;

namespace RobotMessages {
struct NavPath;
}

// Has the robot record a path, shows the path recorded so far (the plan topic) and has the robot
// save the recording under a name or abort it. Holds at most one plan subscription: made by a
// start, released by the next start, save or abort, and when the interface goes.
class RobotPathRecordingInterface : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("RobotPathRecordingInterface must be accessed through RobotConnection")
    Q_PROPERTY(QList<Pose> recordingProgressPath READ recordingProgressPath NOTIFY
                   recordingProgressPathChanged)

public:
    RobotPathRecordingInterface(const QString &prefix, RosBridgeClient *client, QObject *parent);
    ~RobotPathRecordingInterface() override;

    QList<Pose> recordingProgressPath() const { return m_recordingProgressPath; }

    virtual QFuture<void> startRecordingCpp(const bool &override);
    Q_INVOKABLE virtual QJSValue startRecording(bool override = false);
    virtual QFuture<QUuid> saveRecordingCpp(const QString &name);
    Q_INVOKABLE virtual QJSValue saveRecording(QString name);
    virtual QFuture<void> abortRecordingCpp();
    Q_INVOKABLE virtual QJSValue abortRecording();

signals:
    void recordingProgressPathChanged();

private:
    void onPlan(const RobotMessages::NavPath &path);
    void releasePlan();

    RosBridgeClient *m_client;
    QList<Pose> m_recordingProgressPath;
    QPointer<RobotSubscription> m_planSubscription;
    QString m_recordService;
    QString m_saveService;
    QString m_abortService;
    QString m_planTopic;
};
