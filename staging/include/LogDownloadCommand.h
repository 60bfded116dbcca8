#pragma once

#include "LogCommand.h"

#include <QPointer>

// Downloads one log: asks the entry's device list for the file and ends when the entry reports a
// finished download with its local file, or a download progress set back to 0 (a failed or
// abandoned download, a refreshed listing, a removal). An entry that goes away ends it too.
class LogDownloadCommand : public LogCommand
{
    Q_OBJECT

public:
    explicit LogDownloadCommand(OrvDeviceLogEntry *entry);
    ~LogDownloadCommand() override;

    void execute() override;
    OrvDeviceLogEntry *entry() override;

public slots:
    virtual void onHasLocalFileChanged(bool has_local_file);
    void onProgressChanged(double progress);

protected:
    void completeIfDone();

    // Below 0 until the entry's first progress report: a local-file report that comes first
    // says nothing about this download.
    double m_progress = -1;
    bool m_hasLocalFile = false;
    QPointer<OrvDeviceLogEntry> m_entry;
};
