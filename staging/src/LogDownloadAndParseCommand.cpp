#include "LogDownloadAndParseCommand.h"

#include "OrvDeviceLogEntry.h"

LogDownloadAndParseCommand::LogDownloadAndParseCommand(OrvDeviceLogEntry *entry,
                                                       const QUrl &outputLocation)
    : LogDownloadCommand(entry)
    , m_outputLocation(outputLocation)
{ }

void LogDownloadAndParseCommand::execute()
{
    if (!m_entry)
        return;
    m_entry->setQueued(false);
    if (m_entry->hasLocalFile()) {
        // Keep the entry: completing may let the queue delete this command.
        OrvDeviceLogEntry *entry = m_entry;
        const QString output = m_outputLocation.toString();
        emit complete();
        entry->parseLog(output);
        return;
    }
    emit m_entry->DownloadFromOrvDevice(m_entry->deviceFileName());
}

void LogDownloadAndParseCommand::onHasLocalFileChanged(bool has_local_file)
{
    m_hasLocalFile = has_local_file;
    completeIfDone();
    if (has_local_file && m_entry)
        m_entry->parseLog(m_outputLocation.toString());
}
