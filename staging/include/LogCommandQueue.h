#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class LogCommand;
class OrvDeviceLogEntry;

// Runs log commands (downloads, downloads with conversion) one at a time, oldest first. The log
// screen makes one.
//
// A command ends with its first complete(); later ones, and those of commands that are not
// running, are ignored. The next command starts in a later turn of the event loop, so commands
// that complete inside execute() never nest.
//
// Ownership: commands have no parent; the queue deletes them (later) when they complete, are
// unscheduled or cleared, and with itself. GUI thread only.
class LogCommandQueue : public QObject
{
    Q_OBJECT

public:
    explicit LogCommandQueue(QObject *parent = nullptr);
    ~LogCommandQueue() override;

    Q_INVOKABLE void scheduleDownload(OrvDeviceLogEntry *entry);
    // The MAT file goes into folder, named after the log with ".mat" appended.
    Q_INVOKABLE void scheduleDownloadAndParse(OrvDeviceLogEntry *entry, const QUrl &folder);
    Q_INVOKABLE void scheduleCommand(LogCommand *command);
    Q_INVOKABLE bool unschedule(OrvDeviceLogEntry *entry);
    Q_INVOKABLE bool unschedule(LogCommand *command);
    Q_INVOKABLE void clearSchedule();

    bool isScheduled(OrvDeviceLogEntry *entry) const;
    int pendingCount() const { return int(m_pending.size()); }
    LogCommand *runningCommand() const { return m_running; }

public slots:
    // Ends the running command, as its complete() does.
    void commandComplete();

signals:
    void queueComplete();

private:
    void processNext();
    void finishCommand(LogCommand *command);

    QList<LogCommand *> m_pending;
    LogCommand *m_running = nullptr;
};
