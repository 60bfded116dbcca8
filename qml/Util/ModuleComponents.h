#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <QQmlComponent>

// Components by module and type name for QML (the cached loader, the page loader).
class ModuleComponents : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit ModuleComponents(QObject *parent = nullptr);

    // Null when a name is not a module URI or a type name; the engine owns the component.
    Q_INVOKABLE QQmlComponent *fromModule(const QString &moduleUri, const QString &typeName);
};
