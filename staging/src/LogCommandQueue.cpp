#include "LogCommandQueue.h"

#include "LogDownloadAndParseCommand.h"
#include "LogDownloadCommand.h"
#include "OrvDeviceLogEntry.h"

#include <QDir>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLogCommandQueue, "Staging.LogCommandQueue")

LogCommandQueue::LogCommandQueue(QObject *parent)
    : QObject(parent)
{ }

LogCommandQueue::~LogCommandQueue()
{
    qDeleteAll(m_pending);
    delete m_running;
}

bool LogCommandQueue::isScheduled(OrvDeviceLogEntry *entry) const
{
    for (LogCommand *command : m_pending) {
        if (command->entry() == entry)
            return true;
    }
    return false;
}

void LogCommandQueue::scheduleDownload(OrvDeviceLogEntry *entry)
{
    if (isScheduled(entry))
        return;
    m_pending.append(new LogDownloadCommand(entry));
    processNext();
}

void LogCommandQueue::scheduleDownloadAndParse(OrvDeviceLogEntry *entry, const QUrl &folder)
{
    if (isScheduled(entry) || !entry)
        return;
    const QString output
        = folder.toLocalFile() + u'/' + entry->getLocalFileName() + QStringLiteral(".mat");
    m_pending.append(new LogDownloadAndParseCommand(entry, QUrl::fromLocalFile(output)));
    processNext();
}

void LogCommandQueue::scheduleCommand(LogCommand *command)
{
    if (!command)
        return;
    m_pending.append(command);
    processNext();
}

bool LogCommandQueue::unschedule(OrvDeviceLogEntry *entry)
{
    for (LogCommand *command : std::as_const(m_pending)) {
        if (command->entry() == entry)
            return unschedule(command);
    }
    return false;
}

bool LogCommandQueue::unschedule(LogCommand *command)
{
    qCDebug(lcLogCommandQueue) << "unschedule()" << m_pending.size();
    if (!m_pending.removeOne(command))
        return false;
    command->deleteLater();
    return true;
}

void LogCommandQueue::clearSchedule()
{
    for (LogCommand *command : std::as_const(m_pending))
        command->deleteLater();
    m_pending.clear();
}

void LogCommandQueue::commandComplete()
{
    if (m_running)
        finishCommand(m_running);
}

void LogCommandQueue::processNext()
{
    if (m_running)
        return;
    if (m_pending.isEmpty()) {
        emit queueComplete();
        return;
    }
    LogCommand *command = m_pending.takeFirst();
    m_running = command;
    connect(command, &LogCommand::complete, this, [this, command] { finishCommand(command); });
    command->execute();
}

void LogCommandQueue::finishCommand(LogCommand *command)
{
    if (command != m_running)
        return;
    disconnect(command, &LogCommand::complete, this, nullptr);
    m_running = nullptr;
    command->deleteLater();
    // From the event loop: a command that completes inside execute() would otherwise start the
    // next one before its own execute() has returned, and a chain of such commands would recurse.
    QMetaObject::invokeMethod(this, &LogCommandQueue::processNext, Qt::QueuedConnection);
}
