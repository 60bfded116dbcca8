#pragma once

#include "RobotMessageReader.h"

#include <QJSValue>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <deque>
#include <functional>
#include <memory>

// One subscriber of a rosbridge topic. All subscriptions of a topic share one record with the
// rosbridge client; the topic is unsubscribed on the robot when the last of them is destroyed.
// Every subscription receives all messages of the client and keeps those of its topic.
//
// Ownership: the parent given to RosBridgeClient::subscribe (or the caller). Threading: the
// client's thread.
class RobotSubscription : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString topic READ topic CONSTANT)
    QML_ELEMENT
    QML_UNCREATABLE("RobotSubscription is not creatable from QML")

public:
    struct Data
    {
        QString topic;
    };
    using Callback = std::function<void(const QJsonObject &)>;

    RobotSubscription(std::shared_ptr<Data> data, QObject *parent);

    QString topic() const { return m_data->topic; }

    void onMessage(Callback callback);
    // The message is read as T first; a message that does not read is logged and skipped.
    template<class T> void onMessage(std::function<void(const T &)> handler)
    {
        onMessage(Callback([handler](const QJsonObject &message) {
            handler(readRobotMessage<T>(QJsonValue(message)));
        }));
    }
    Q_INVOKABLE void onMessage(QJSValue callback);

signals:
    void messageReceived(QJsonObject message);

public slots:
    void processMessage(QString topic, QJsonObject message);

private:
    std::shared_ptr<Data> m_data;
    // A deque: a callback may add callbacks while it runs, which must not move the running one.
    std::deque<Callback> m_callbacks;
};
