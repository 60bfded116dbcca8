#include "LogConversionThread.h"

#include <QCoreApplication>
#include <QThread>

namespace {

QThread *s_thread = nullptr;

void stopSharedThread()
{
    // Workers still queued are cancelled by their parsers' destructors before this runs; the
    // thread's deferred deletions run as it finishes.
    s_thread->quit();
    s_thread->wait();
    delete s_thread;
    s_thread = nullptr;
}

} // namespace

QThread *LogConversionThread::shared()
{
    if (!s_thread) {
        s_thread = new QThread;
        s_thread->setObjectName(QStringLiteral("LogConversion"));
        s_thread->start(QThread::LowPriority);
        qAddPostRoutine(stopSharedThread);
    }
    return s_thread;
}
