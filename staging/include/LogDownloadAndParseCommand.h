#pragma once

#include "LogDownloadCommand.h"

#include <QUrl>

// Downloads a log when it is not local yet, then converts it to the MAT file outputLocation.
// The conversion runs in the background: the command ends when the download does.
class LogDownloadAndParseCommand : public LogDownloadCommand
{
    Q_OBJECT

public:
    LogDownloadAndParseCommand(OrvDeviceLogEntry *entry, const QUrl &outputLocation);

    void execute() override;
    QUrl outputLocation() const { return m_outputLocation; }

public slots:
    void onHasLocalFileChanged(bool has_local_file) override;

private:
    QUrl m_outputLocation;
};
