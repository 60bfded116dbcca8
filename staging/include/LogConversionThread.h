#pragma once

class QThread;

// The one thread every log entry's conversions run on, one at a time: a batch export of many
// logs queues its conversions there instead of starting a thread (each holding a log in memory)
// per log. Started on first use; stopped and joined when the application object goes away.
class LogConversionThread
{
public:
    // GUI thread only; needs a QCoreApplication.
    static QThread *shared();
};
