// Cost of one log call on the calling thread, and how many lines per second the log thread
// writes, against writing the same lines with stdio on one thread (the baselines: flushing every
// line, and flushing once at the end).
//
// Two figures for the log thread: from the first call until every line is written (bounded by
// the callers' own cost of raising the messages), and the log thread alone writing a backlog that
// was queued before it started. The machine is shared: every figure is the best of a few rounds,
// taken in turns.
#include "LoggingHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int lines = 200000;

QString lineText(int i)
{
    return QStringLiteral("Device 0123456789ABCDEF: heartbeat on link %1, state %2").arg(1).arg(i);
}

// Lines per second of formatting the lines and writing them with stdio to one file.
double stdioLinesPerSecond(const QString &path, bool flushEveryLine)
{
    FILE *plain = std::fopen(qPrintable(path), "w");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i) {
        const QByteArray line
            = LoggingHandler::formatLine(timer.elapsed(), QStringLiteral("[DBG]"), lineText(i))
                  .toLocal8Bit();
        std::fwrite(line.constData(), 1, size_t(line.size()), plain);
        if (flushEveryLine)
            std::fflush(plain);
    }
    std::fflush(plain);
    const qint64 ns = timer.nsecsElapsed();
    std::fclose(plain);
    return lines / (ns / 1e9);
}

struct LoggedRun
{
    double callerNsPerCall = 0;
    double linesPerSecond = 0;
};

// From the first call until the last line is written.
LoggedRun logThroughMessageHandler()
{
    QThread logThread;
    LoggingHandler *handler = createLoggingHandler(&logThread);
    logThread.start();
    setProcessLoggingHandler(handler);
    qInstallMessageHandler(messageHandler);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i)
        qDebug("%s", qPrintable(lineText(i)));
    const qint64 callerNs = timer.nsecsElapsed();
    stopApplicationLog(&logThread); // returns once every queued line is written
    const qint64 totalNs = timer.nsecsElapsed();
    qInstallMessageHandler(nullptr);
    setProcessLoggingHandler(nullptr);
    delete handler;
    return { double(callerNs) / lines, lines / (totalNs / 1e9) };
}

// The log thread alone: the lines are queued while it is not running yet, then it writes them. A
// blocking call queued behind them returns once it has.
double logBacklog()
{
    QThread logThread;
    LoggingHandler *handler = createLoggingHandler(&logThread);
    for (int i = 0; i < lines; ++i)
        handler->post(QStringLiteral("[DBG]"), lineText(i));
    QElapsedTimer timer;
    timer.start();
    logThread.start();
    QMetaObject::invokeMethod(
        handler, [] {}, Qt::BlockingQueuedConnection);
    const qint64 ns = timer.nsecsElapsed();
    logThread.quit();
    logThread.wait();
    delete handler;
    return lines / (ns / 1e9);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toLocal8Bit());
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));

    // The console copy of every line would flood the terminal: send it to /dev/null and report
    // through a duplicate of the original standard output.
    std::fflush(stdout);
    const int reportFd = dup(STDOUT_FILENO);
    const int devNull = open("/dev/null", O_WRONLY);
    dup2(devNull, STDOUT_FILENO);
    dup2(devNull, STDERR_FILENO);
    FILE *report = fdopen(reportFd, "w");

    constexpr int rounds = 3;
    LoggedRun logged{ 1e300, 0 };
    double backlog = 0;
    double flushed = 0;
    double buffered = 0;
    for (int round = 0; round < rounds; ++round) {
        const LoggedRun run = logThroughMessageHandler();
        logged.callerNsPerCall = qMin(logged.callerNsPerCall, run.callerNsPerCall);
        logged.linesPerSecond = qMax(logged.linesPerSecond, run.linesPerSecond);
        backlog = qMax(backlog, logBacklog());
        flushed = qMax(flushed,
                       stdioLinesPerSecond(data.filePath(QStringLiteral("flushed.log")), true));
        buffered = qMax(buffered,
                        stdioLinesPerSecond(data.filePath(QStringLiteral("buffered.log")), false));
    }

    std::fprintf(report, "%d lines, best of %d rounds\n", lines, rounds);
    std::fprintf(report, "log call on the caller's thread: %.0f ns per call\n",
                 logged.callerNsPerCall);
    std::fprintf(report, "log thread, first call to last line written: %.0f lines/s\n",
                 logged.linesPerSecond);
    std::fprintf(report, "log thread alone, writing a queued backlog: %.0f lines/s\n", backlog);
    std::fprintf(report, "  (both to file + console, flushed once per batch)\n");
    std::fprintf(report,
                 "baseline, stdio on one thread, flushed per line: %.0f lines/s (file only)\n",
                 flushed);
    std::fprintf(report,
                 "baseline, stdio on one thread, flushed at the end: %.0f lines/s (file only)\n",
                 buffered);
    std::fprintf(report, "ratio log thread / baseline: %.2f\n", logged.linesPerSecond / flushed);
    std::fprintf(report, "ratio log thread / baseline flushed at the end: %.2f\n",
                 logged.linesPerSecond / buffered);
    std::fprintf(report, "ratio log thread alone / baseline flushed at the end: %.2f\n",
                 backlog / buffered);
    std::fclose(report);
    return 0;
}
