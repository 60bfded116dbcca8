#pragma once

#include "QObjectPointers.h"
#include "RobotResourceId.h"

#include <QObject>

// An object that refers to robot resources by id. Binding is driven from outside: a caller asks
// for unresolvedResources(), obtains each object and hands it to resolveResource().
class IRobotResourceOwner : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool fullyResolved READ fullyResolved NOTIFY fullyResolvedChanged)

public:
    using QObject::QObject;

    // True when every referenced resource is bound to an object, recursively.
    virtual bool fullyResolved() const = 0;
    Q_INVOKABLE virtual QList<RobotResourceId> resources() const = 0;
    Q_INVOKABLE virtual QList<RobotResourceId> unresolvedResources() const = 0;
    // A reference equal to oldId takes the UUID of newId; its kind stays.
    virtual void replaceResourceId(const RobotResourceId &oldId, const RobotResourceId &newId);

public slots:
    // Binds resource to the reference equal to resourceId; any other call is ignored.
    virtual void resolveResource(RobotResourceId resourceId, orvane::shared_qptr<QObject> resource);

signals:
    void fullyResolvedChanged();
};

Q_DECLARE_METATYPE(orvane::shared_qptr<QObject>)
