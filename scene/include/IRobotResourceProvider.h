#pragma once

#include <QObject>
#include <QUuid>

// What a store of resources reports about its content.
class IRobotResourceProvider : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

signals:
    void resourceAdded(QUuid id);
    void resourceRemoved(QUuid id);
    void resourceChanged(QUuid id);
};
