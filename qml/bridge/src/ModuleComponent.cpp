#include "ModuleComponent.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QRegularExpression>
#include <QUrl>

bool isModuleUri(const QString &moduleUri)
{
    static const QRegularExpression uri(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*(\\.[A-Za-z_][A-Za-z0-9_]*)*$"));
    return uri.match(moduleUri).hasMatch();
}

bool isTypeName(const QString &typeName)
{
    static const QRegularExpression type(QStringLiteral("^[A-Z][A-Za-z0-9_]*$"));
    return type.match(typeName).hasMatch();
}

QQmlComponent *createModuleComponent(QQmlEngine *engine, const QString &moduleUri,
                                     const QString &typeName, QObject *parent)
{
    if (!engine || !isModuleUri(moduleUri) || !isTypeName(typeName))
        return nullptr;
    auto *component = new QQmlComponent(engine, parent);
    component->setData(QStringLiteral("import %1\n%2 {}\n").arg(moduleUri, typeName).toUtf8(),
                       QUrl());
    return component;
}
