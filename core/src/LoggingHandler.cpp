#include "LoggingHandler.h"

#include "ApplicationFolders.h"
#include "DebuggerOutput.h"

#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

std::atomic<LoggingHandler *> g_handler{nullptr};
std::atomic<bool> g_stopped{false};

// Set while the log thread writes a line: a message raised by the writing itself must not be
// queued again, or one failing write would feed the log for ever.
thread_local bool t_writing = false;

// A debugger can attach at any time, but reading /proc for every line would cost more than the
// line itself; once a second is soon enough.
constexpr qint64 debuggerRecheckMs = 1000;

void writeToConsole(const QByteArray &bytes, bool toStdout)
{
    std::FILE *stream = toStdout ? stdout : stderr;
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void writeUnlogged(QtMsgType type, const QString &message)
{
    const QByteArray line = (LoggingHandler::logLevelTag(type) + QLatin1Char(' ') + message
                             + QLatin1Char('\n'))
                                .toLocal8Bit();
    writeToConsole(line, false);
}

} // namespace

LoggingHandler::LoggingHandler(QObject *parent)
    : QObject(parent)
    , m_startTime(QDateTime::currentDateTime())
{
    m_clock.start();
}

QString LoggingHandler::logLevelTag(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("[DBG]");
    case QtWarningMsg:
        return QStringLiteral("[WRN]");
    case QtCriticalMsg:
        return QStringLiteral("[CRT]");
    case QtFatalMsg:
        return QStringLiteral("[FTL]");
    case QtInfoMsg:
        return QStringLiteral("[INF]");
    }
    return QStringLiteral("[DBG]");
}

QString LoggingHandler::formatLine(qint64 elapsedMs, const QString &tag, const QString &message)
{
    // Integer arithmetic keeps the three decimals exact at any uptime.
    const QString seconds = QString::number(elapsedMs / 1000) + QLatin1Char('.')
        + QStringLiteral("%1").arg(elapsedMs % 1000, 3, 10, QLatin1Char('0'));
    return QLatin1Char('[') + seconds.leftJustified(8, QLatin1Char(' ')) + QLatin1Char(']') + tag
        + QLatin1Char(' ') + message + QLatin1Char('\n');
}

bool LoggingHandler::openLogFile()
{
    const std::optional<QDir> dir
        = ApplicationFolders::instance().subFolder(ApplicationFolders::AppData, "ApplicationLogs");
    if (!dir)
        return false;
    const QString stem = m_startTime.toString(QStringLiteral("yyyyMMdd-hhmmss"));
    auto *file = new QFile(this);
    // NewOnly creates the file atomically, so two starts in the same second never share a file.
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const QString name = attempt == 1 ? stem + QStringLiteral(".log")
                                          : QStringLiteral("%1-%2.log").arg(stem).arg(attempt);
        file->setFileName(dir->absoluteFilePath(name));
        if (file->open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::NewOnly)) {
            m_log = file;
            return true;
        }
        if (!file->exists())
            break; // not a name clash: the folder cannot be written
    }
    delete file;
    return false;
}

void LoggingHandler::setLogDevice(QIODevice *device)
{
    QMutexLocker lock(&m_writeMutex);
    m_log = device;
}

QString LoggingHandler::logFilePath() const
{
    auto *file = qobject_cast<QFile *>(m_log);
    return file ? file->fileName() : QString();
}

void LoggingHandler::log_message(const QString &type, const QString &msg)
{
    t_writing = true;
    writeLine(type, msg);
    t_writing = false;
}

void LoggingHandler::post(const QString &type, const QString &msg)
{
    QMutexLocker lock(&m_pendingMutex);
    m_pending.emplaceBack(type, msg);
    if (m_drainPosted)
        return;
    m_drainPosted = true;
    lock.unlock();
    QMetaObject::invokeMethod(this, &LoggingHandler::drain, Qt::QueuedConnection);
}

void LoggingHandler::drain()
{
    QMutexLocker batch(&m_batchMutex);
    QList<std::pair<QString, QString>> lines;
    {
        QMutexLocker lock(&m_pendingMutex);
        lines.swap(m_pending);
        m_drainPosted = false;
    }
    for (const auto &[type, msg] : lines)
        log_message(type, msg);
}

void LoggingHandler::writeFatal(const QString &type, const QString &msg)
{
    // Waits for a batch the log thread has taken but not yet written, so no earlier line is lost
    // to the abort that follows.
    drain();
    QMutexLocker batch(&m_batchMutex);
    writeLine(type, msg);
}

void LoggingHandler::writeLine(const QString &type, const QString &msg)
{
    const QByteArray line = formatLine(m_clock.elapsed(), type, msg).toLocal8Bit();

    QMutexLocker lock(&m_writeMutex);
    const qint64 now = m_clock.elapsed();
    if (m_debuggerCheckedAt < 0 || now - m_debuggerCheckedAt >= debuggerRecheckMs) {
        m_debuggerAttached = platform::isDebuggerAttached();
        m_debuggerCheckedAt = now;
    }
    if (m_debuggerAttached)
        platform::writeDebuggerOutput(line);
    else
        writeToConsole(line, type == QLatin1String("[INF]"));

    if (m_log && m_log->isOpen()) {
        m_log->write(line);
        if (auto *file = qobject_cast<QFile *>(m_log))
            file->flush();
    }
}

LoggingHandler *createLoggingHandler(QThread *thread)
{
    auto *handler = new LoggingHandler();
    handler->openLogFile();
    handler->moveToThread(thread);
    return handler;
}

void setProcessLoggingHandler(LoggingHandler *handler)
{
    g_stopped = false;
    g_handler = handler;
}

LoggingHandler *processLoggingHandler()
{
    return g_handler;
}

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    LoggingHandler *handler = g_handler;
    if (!handler || g_stopped || t_writing) {
        writeUnlogged(type, message);
        return;
    }
    const QString tag = LoggingHandler::logLevelTag(type);
    if (type == QtFatalMsg) {
        // The runtime aborts as soon as this returns: write what is queued and the fatal line
        // here, synchronously.
        handler->writeFatal(tag, message);
        return;
    }
    handler->post(tag, message);
}

void stopApplicationLog(QThread *thread)
{
    if (!thread)
        return;
    // From here on messages go to standard error.
    g_stopped = true;
    thread->quit();
    thread->wait();
    // Whatever was queued but not yet written is written here, so nothing logged before the stop
    // is lost.
    if (LoggingHandler *handler = g_handler; handler && handler->thread() == thread)
        handler->drain();
}
