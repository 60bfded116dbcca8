#pragma once

#include "QmlSharedPointer.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <memory>

class QJSEngine;
class QQmlEngine;

// A robot connection that only counts its disconnects.
class FakeRobotConnection : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    Q_INVOKABLE void disconnect();

signals:
    void closed();
};

// Stands in for the robot manager of orvane.RobotCommunication in the controls' tests: one
// active connection that a test opens, reached through a fresh handle at every read.
class FakeRobotManager : public QObject
{
    Q_OBJECT
    QML_NAMED_ELEMENT(RobotManager)
    QML_SINGLETON
    Q_PROPERTY(
        QmlSharedPointer *activeConnection READ activeConnection NOTIFY activeConnectionChanged)
    Q_PROPERTY(int disconnects READ disconnects NOTIFY activeConnectionChanged)

public:
    explicit FakeRobotManager(QObject *parent = nullptr);
    static FakeRobotManager *create(QQmlEngine *engine, QJSEngine *scriptEngine);

    QmlSharedPointer *activeConnection() const;
    int disconnects() const { return m_disconnects; }

    // Test control: opens an active connection.
    Q_INVOKABLE void openConnection();

signals:
    void activeConnectionChanged();

private:
    std::shared_ptr<QObject> m_active;
    int m_disconnects = 0;
};
