#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringEncoder>

#include <atomic>
#include <cstdio>

class QIODevice;
class QThread;

// Writes the application log. Every Qt message of the process is queued to the log thread, which
// formats one line per message, writes it to the console (or the debugger) and appends it to this
// start's log file under AppData/ApplicationLogs. The lines the log thread takes in one go are
// flushed together, once, after the last of them.
//
// Threads: the handler lives on the log thread. `post` may be called from any thread:
// `m_pendingMutex` guards the pending lines and the flag that one drain is already on its way, so a
// burst of messages costs one wake-up of the log thread instead of one per line. `m_writeMutex`
// guards the file, the console and the text collected for them, so that a fatal line, written by
// the thread that raised it, cannot interleave with a line the log thread is writing.
// `m_batchMutex` is held while a taken batch is written, so the fatal line also waits for the
// lines ahead of it.
class LoggingHandler : public QObject
{
    Q_OBJECT

public:
    explicit LoggingHandler(QObject *parent = nullptr);

    static QString logLevelTag(QtMsgType type);
    // "[" + seconds with three decimals, left-justified to 8 + "]" + tag + " " + message + "\n".
    static QString formatLine(qint64 elapsedMs, const QString &tag, const QString &message);

    // Opens a new file named after the start time in AppData/ApplicationLogs. A second start in
    // the same second gets "-2", "-3"... appended instead of emptying the first start's log.
    bool openLogFile();
    // Uses `device` (already open, owned by the caller) as the log file instead.
    void setLogDevice(QIODevice *device);
    QString logFilePath() const;
    QDateTime startTime() const { return m_startTime; }

    Q_INVOKABLE void log_message(const QString &type, const QString &msg);

    // Queues one line for the log thread; thread-safe.
    void post(const QString &type, const QString &msg);
    // Writes every queued line on the calling thread.
    void drain();
    // Writes the queued lines and then `msg`, on the calling thread, before it returns.
    void writeFatal(const QString &type, const QString &msg);

private:
    // These run with m_writeMutex held. appendLine adds a line to the batch's text; flushLines
    // writes what is collected to the console and the file and flushes both.
    void checkDebugger();
    void appendLine(const QString &type, const QString &msg);
    void writeConsole(qsizetype upTo);
    void writeOut(bool flush);
    void flushLines();

    // Held while a batch of taken lines is written, so a fatal line waits for the batch ahead;
    // guards m_batch, the lines being written.
    QMutex m_batchMutex;
    QList<std::pair<QString, QString>> m_batch;
    QMutex m_pendingMutex;
    QList<std::pair<QString, QString>> m_pending;
    bool m_drainPosted = false;

    QIODevice *m_log = nullptr;
    QDateTime m_startTime;
    QElapsedTimer m_clock;
    QMutex m_writeMutex;
    qint64 m_debuggerCheckedAt = -1;
    bool m_debuggerAttached = false;
    QStringEncoder m_encoder;
    // The text of the batch being written; the console has been given it up to m_consoleFrom.
    QByteArray m_text;
    qsizetype m_consoleFrom = 0;
    std::FILE *m_consoleStream = nullptr;

    friend void messageHandler(QtMsgType, const QMessageLogContext &, const QString &);
};

// Creates the handler on the calling thread, opens its log file there and moves it to `thread`.
LoggingHandler *createLoggingHandler(QThread *thread);

// The process's Qt message handler: posts each message to the handler set with
// `setProcessLoggingHandler`. Before a handler is set, and after `stopApplicationLog`, messages are
// written straight to standard error.
void messageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message);
void setProcessLoggingHandler(LoggingHandler *handler);
LoggingHandler *processLoggingHandler();

// Ends the log thread: the lines queued so far are written, then the thread is joined. Messages
// raised afterwards go to standard error, since nothing would write them any more.
void stopApplicationLog(QThread *thread);
