#include "ModuleComponents.h"

#include "ModuleComponent.h"

#include <QQmlComponent>
#include <QQmlEngine>

ModuleComponents::ModuleComponents(QObject *parent)
    : QObject(parent)
{ }

QQmlComponent *ModuleComponents::fromModule(const QString &moduleUri, const QString &typeName)
{
    QQmlComponent *component = createModuleComponent(qmlEngine(this), moduleUri, typeName);
    if (component)
        QQmlEngine::setObjectOwnership(component, QQmlEngine::JavaScriptOwnership);
    return component;
}
