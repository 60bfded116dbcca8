#include "LoggingHandler.h"

#include "ApplicationFolders.h"
#include "DebuggerOutput.h"

#include <QFile>
#include <QThread>

#include <charconv>
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

// Text collected in a batch is written out (not yet flushed) at this size at the latest.
constexpr qsizetype batchChunkBytes = 64 * 1024;
// Room for this many lines is handed back to the callers after a batch.
constexpr qsizetype keptBatchCapacity = 4096;

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
    , m_encoder(QStringEncoder::System, QStringEncoder::Flag::Stateless)
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
    // Runs for every line: the time column is built in place and the line allocated once.
    // Integer arithmetic keeps the three decimals exact at any uptime.
    const qint64 ms = qMax<qint64>(elapsedMs, 0);
    char column[32];
    char *end = std::to_chars(column, column + 20, ms / 1000).ptr;
    *end++ = '.';
    const int fraction = int(ms % 1000);
    *end++ = char('0' + fraction / 100);
    *end++ = char('0' + fraction / 10 % 10);
    *end++ = char('0' + fraction % 10);
    while (end - column < 8)
        *end++ = ' ';

    QString line;
    line.reserve((end - column) + tag.size() + message.size() + 4);
    line += QLatin1Char('[');
    line += QLatin1StringView(column, end - column);
    line += QLatin1Char(']');
    line += tag;
    line += QLatin1Char(' ');
    line += message;
    line += QLatin1Char('\n');
    return line;
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
    {
        QMutexLocker lock(&m_writeMutex);
        checkDebugger();
        appendLine(type, msg);
        flushLines();
    }
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
    {
        // The emptied list of the previous batch goes back with its capacity, so callers do
        // not grow a new list from nothing for every batch.
        QMutexLocker lock(&m_pendingMutex);
        m_batch.swap(m_pending);
        m_drainPosted = false;
    }
    if (m_batch.isEmpty())
        return;
    // One flush for the whole batch: flushing every line cost two system calls per line, more
    // than formatting it.
    t_writing = true;
    {
        QMutexLocker lock(&m_writeMutex);
        checkDebugger();
        for (const auto &[type, msg] : std::as_const(m_batch))
            appendLine(type, msg);
        flushLines();
    }
    t_writing = false;
    // A burst may have made the list huge; that much is not kept for ever.
    if (m_batch.capacity() > keptBatchCapacity)
        m_batch = {};
    else
        m_batch.clear();
}

void LoggingHandler::writeFatal(const QString &type, const QString &msg)
{
    // Waits for a batch the log thread has taken but not yet written, so no earlier line is lost
    // to the abort that follows.
    drain();
    QMutexLocker batch(&m_batchMutex);
    QMutexLocker lock(&m_writeMutex);
    checkDebugger();
    appendLine(type, msg);
    flushLines();
}

void LoggingHandler::checkDebugger()
{
    const qint64 now = m_clock.elapsed();
    if (m_debuggerCheckedAt < 0 || now - m_debuggerCheckedAt >= debuggerRecheckMs) {
        m_debuggerAttached = platform::isDebuggerAttached();
        m_debuggerCheckedAt = now;
    }
}

void LoggingHandler::appendLine(const QString &type, const QString &msg)
{
    // The batch's text is collected once for the file and the console; each line is encoded
    // straight into it.
    const QString line = formatLine(m_clock.elapsed(), type, msg);
    const qsizetype start = m_text.size();
    m_text.resize(start + m_encoder.requiredSpace(line.size()));
    char *end = m_encoder.appendToBuffer(m_text.data() + start, line);
    m_text.resize(end - m_text.constData());

    if (m_debuggerAttached) {
        platform::writeDebuggerOutput(m_text.sliced(start));
        m_consoleFrom = m_text.size();
    } else {
        // Info lines go to standard output, the rest to standard error. A change of stream
        // writes out what the other one has collected, so a terminal showing both keeps the
        // lines in order.
        std::FILE *stream = type == QLatin1String("[INF]") ? stdout : stderr;
        if (stream != m_consoleStream) {
            writeConsole(start);
            m_consoleStream = stream;
        }
    }
    if (m_text.size() >= batchChunkBytes)
        writeOut(false);
}

void LoggingHandler::writeConsole(qsizetype upTo)
{
    if (m_consoleStream && upTo > m_consoleFrom) {
        std::fwrite(m_text.constData() + m_consoleFrom, 1, size_t(upTo - m_consoleFrom),
                    m_consoleStream);
        std::fflush(m_consoleStream);
    }
    m_consoleFrom = upTo;
}

void LoggingHandler::writeOut(bool flush)
{
    if (m_consoleStream && m_text.size() > m_consoleFrom) {
        std::fwrite(m_text.constData() + m_consoleFrom, 1, size_t(m_text.size() - m_consoleFrom),
                    m_consoleStream);
    }
    if (flush && m_consoleStream)
        std::fflush(m_consoleStream);
    if (m_log && m_log->isOpen() && !m_text.isEmpty())
        m_log->write(m_text);
    if (flush) {
        if (auto *file = qobject_cast<QFileDevice *>(m_log))
            file->flush();
    }
    m_text.resize(0);
    m_consoleFrom = 0;
}

void LoggingHandler::flushLines()
{
    writeOut(true);
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
