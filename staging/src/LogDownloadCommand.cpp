#include "LogDownloadCommand.h"

#include "OrvDeviceLogEntry.h"

LogDownloadCommand::LogDownloadCommand(OrvDeviceLogEntry *entry)
    : m_entry(entry)
{
    if (!entry)
        return;
    connect(entry, &OrvDeviceLogEntry::HasLocalFileChanged, this,
            &LogDownloadCommand::onHasLocalFileChanged);
    connect(entry, &OrvDeviceLogEntry::DownloadProgressChanged, this,
            [this](float progress) { onProgressChanged(progress); });
    // Otherwise a running command whose entry vanished would hold the queue for ever.
    connect(entry, &QObject::destroyed, this, &LogCommand::complete);
    entry->setQueued(true);
}

LogDownloadCommand::~LogDownloadCommand()
{
    if (m_entry)
        m_entry->setQueued(false);
}

void LogDownloadCommand::execute()
{
    if (!m_entry)
        return;
    m_entry->setQueued(false);
    emit m_entry->DownloadFromOrvDevice(m_entry->deviceFileName());
}

OrvDeviceLogEntry *LogDownloadCommand::entry()
{
    return m_entry;
}

void LogDownloadCommand::onProgressChanged(double progress)
{
    m_progress = progress;
    if ((progress >= 1 && m_hasLocalFile) || progress == 0)
        emit complete();
}

void LogDownloadCommand::onHasLocalFileChanged(bool has_local_file)
{
    m_hasLocalFile = has_local_file;
    completeIfDone();
}

void LogDownloadCommand::completeIfDone()
{
    if ((m_progress >= 1 && m_hasLocalFile) || m_progress == 0)
        emit complete();
}
