// Cost of one log call on the calling thread, and how many lines per second the log thread
// writes, against writing the same lines with stdio on one thread (the baseline).
#include "LoggingHandler.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

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

    constexpr int lines = 200000;
    const QString text = QStringLiteral("Device 0123456789ABCDEF: heartbeat on link %1, state %2");

    QThread logThread;
    LoggingHandler *handler = createLoggingHandler(&logThread);
    logThread.start();
    setProcessLoggingHandler(handler);
    qInstallMessageHandler(messageHandler);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i)
        qDebug("%s", qPrintable(text.arg(1).arg(i)));
    const qint64 callerNs = timer.nsecsElapsed();
    stopApplicationLog(&logThread); // returns once every queued line is written
    const qint64 totalNs = timer.nsecsElapsed();
    qInstallMessageHandler(nullptr);

    // Baseline: the same lines formatted and written with stdio and a flush per line.
    FILE *plain = std::fopen(qPrintable(data.filePath(QStringLiteral("plain.log"))), "w");
    timer.restart();
    for (int i = 0; i < lines; ++i) {
        const QByteArray line = LoggingHandler::formatLine(timer.elapsed(), QStringLiteral("[DBG]"),
                                                           text.arg(1).arg(i))
                                    .toLocal8Bit();
        std::fwrite(line.constData(), 1, size_t(line.size()), plain);
        std::fflush(plain);
    }
    const qint64 plainNs = timer.nsecsElapsed();
    std::fclose(plain);

    const double logLinesPerSec = lines / (totalNs / 1e9);
    const double plainLinesPerSec = lines / (plainNs / 1e9);
    std::fprintf(report, "log call on the caller's thread: %.0f ns per call (%d calls)\n",
                 double(callerNs) / lines, lines);
    std::fprintf(report, "log thread: %.0f lines/s (file + console, flushed per line)\n",
                 logLinesPerSec);
    std::fprintf(report, "baseline, stdio on one thread: %.0f lines/s (file only)\n",
                 plainLinesPerSec);
    std::fprintf(report, "ratio log thread / baseline: %.2f\n", logLinesPerSec / plainLinesPerSec);
    std::fclose(report);
    return 0;
}
