#pragma once

#include <QList>
#include <QObject>
#include <QString>

// A named list of 16-bit values; nothing fills it yet.
class SimulinkBuffer : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    QString name() const { return text; }
    const QList<quint16> &values() const { return list; }

private:
    QString text;
    QList<quint16> list;
};
