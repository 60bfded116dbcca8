#pragma once

#include <QFuture>
#include <QJSValue>
#include <QObject>
#include <QString>
#include <QUuid>
#include <QtQml/qqmlregistration.h>

class RosBridgeClient;

// Starts a job by its uuid and stops the running one: <prefix>/start and <prefix>/stop. A reply
// whose nested status reports no success fails with the service's message.
class RobotJobInterface : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("RobotJobInterface must be accessed through RobotConnection")

public:
    RobotJobInterface(const QString &prefix, RosBridgeClient *client, QObject *parent);

    virtual QFuture<void> startJobCpp(const QUuid &uuid);
    Q_INVOKABLE virtual QJSValue startJob(QUuid uuid);
    virtual QFuture<void> stopJobCpp();
    Q_INVOKABLE virtual QJSValue stopJob();

private:
    RosBridgeClient *m_client;
    QString m_startService;
    QString m_stopService;
};
