#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

// When the running program was built, for the footer's year.
class BuildInfo : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QDateTime buildDateTime READ buildDateTime CONSTANT)

public:
    explicit BuildInfo(QObject *parent = nullptr);
    static BuildInfo *create(QQmlEngine *engine, QJSEngine *scriptEngine);

    QDateTime buildDateTime() const;

    // The compiler's date and time text ("Jul  3 2025 16:42:45") as local time; invalid when
    // it does not parse.
    static QDateTime parseBuildStamp(const QString &text);
};
