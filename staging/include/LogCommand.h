#pragma once

#include <QObject>

class OrvDeviceLogEntry;

// One step the log download queue runs: it starts with execute() and ends when it emits
// complete(). A command may emit complete() more than once (its entry reports more than one end)
// and from within execute(); the queue takes the first and ignores the rest.
class LogCommand : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

public slots:
    virtual void execute() = 0;
    virtual OrvDeviceLogEntry *entry() = 0;

signals:
    void complete();
};
