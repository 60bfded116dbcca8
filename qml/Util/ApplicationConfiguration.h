#pragma once

#include <QJsonObject>
#include <QObject>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// The optional configuration file "appconfig.json", read once when QML first uses it.
class ApplicationConfiguration : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    explicit ApplicationConfiguration(QObject *parent = nullptr);
    static ApplicationConfiguration *create(QQmlEngine *engine, QJSEngine *scriptEngine);

    // Reads the file at path (or the resource fallback): an empty configuration, with a
    // warning, when it cannot be read or holds no JSON object.
    void load(const QString &path);

    Q_INVOKABLE QVariant getConfiguration(const QString &key = QString()) const;

private:
    QJsonObject m_configuration;
};
