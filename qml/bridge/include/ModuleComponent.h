#pragma once

#include <QString>

class QObject;
class QQmlComponent;
class QQmlEngine;

// A component of the QML type `typeName` from the module `moduleUri`, which this Qt cannot make
// by name. The names are checked before they become QML text: a module URI is dotted
// identifiers, a type name an identifier with a capital first letter. Null for a name that is
// not one; otherwise the component (check its status) with the given parent.
QQmlComponent *createModuleComponent(QQmlEngine *engine, const QString &moduleUri,
                                     const QString &typeName, QObject *parent = nullptr);
bool isModuleUri(const QString &moduleUri);
bool isTypeName(const QString &typeName);
