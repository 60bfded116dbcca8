#include "LoggingHandler.h"
#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QThread>

#include <memory>

using namespace nimbrel::test;

namespace {
const QRegularExpression linePattern(
    QStringLiteral(R"(^\[[0-9]+\.[0-9]{3} *\]\[(DBG|INF|WRN|CRT|FTL)\] )"));

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
} // namespace

class TestLoggingHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
    }

    void timeColumn_data()
    {
        QTest::addColumn<qint64>("ms");
        for (qint64 ms : {0LL, 1LL, 999LL, 1000LL, 12345LL, 999999LL, 1000000LL, 9999999LL,
                          10000000LL, 123456789LL})
            QTest::addRow("%lld", ms) << ms;
    }

    // The shell's printf is the independent reference for "%-8.3f".
    void timeColumn()
    {
        QFETCH(qint64, ms);
        const QString seconds = QStringLiteral("%1.%2").arg(ms / 1000).arg(ms % 1000, 3, 10,
                                                                           QLatin1Char('0'));
        const ProcessResult printf = runProcess(QStringLiteral("/usr/bin/printf"),
                                                {QStringLiteral("[%-8.3f]"), seconds});
        QVERIFY(printf.finished);
        const QString line = LoggingHandler::formatLine(ms, QStringLiteral("[INF]"),
                                                        QStringLiteral("hello"));
        QCOMPARE(line, QString::fromLatin1(printf.out) + QStringLiteral("[INF] hello\n"));
        QVERIFY(linePattern.match(line).hasMatch());
    }

    void tags_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("tag");
        QTest::newRow("debug") << int(QtDebugMsg) << "[DBG]";
        QTest::newRow("info") << int(QtInfoMsg) << "[INF]";
        QTest::newRow("warning") << int(QtWarningMsg) << "[WRN]";
        QTest::newRow("critical") << int(QtCriticalMsg) << "[CRT]";
        QTest::newRow("fatal") << int(QtFatalMsg) << "[FTL]";
        QTest::newRow("unknown") << 42 << "[DBG]";
    }

    void tags()
    {
        QFETCH(int, type);
        QFETCH(QString, tag);
        QCOMPARE(LoggingHandler::logLevelTag(QtMsgType(type)), tag);
    }

    void messageTextIsKeptExactly()
    {
        const QString message = QStringLiteral("ümlaut \"quoted\" %1 \\ tab\tend");
        QCOMPARE(LoggingHandler::formatLine(5, QStringLiteral("[WRN]"), message),
                 QStringLiteral("[0.005   ][WRN] ") + message + QLatin1Char('\n'));
    }

    // A second start within the same second must not empty the first start's log.
    void sameSecondStartsKeepBothLogs()
    {
        LoggingHandler first;
        LoggingHandler second;
        QVERIFY(first.openLogFile());
        first.log_message(QStringLiteral("[INF]"), QStringLiteral("first start"));
        QVERIFY(second.openLogFile());
        second.log_message(QStringLiteral("[INF]"), QStringLiteral("second start"));

        QVERIFY(first.logFilePath() != second.logFilePath());
        const QString expectedDir = QDir(qEnvironmentVariable("XDG_DATA_HOME"))
                                        .filePath(QStringLiteral("Orvane/NimbrelStudio Lab/ApplicationLogs"));
        QCOMPARE(QFileInfo(first.logFilePath()).absolutePath(), expectedDir);
        const QRegularExpression name(QStringLiteral(R"(^[0-9]{8}-[0-9]{6}(-[0-9]+)?\.log$)"));
        QVERIFY2(name.match(QFileInfo(first.logFilePath()).fileName()).hasMatch(),
                 qPrintable(first.logFilePath()));
        QVERIFY2(name.match(QFileInfo(second.logFilePath()).fileName()).hasMatch(),
                 qPrintable(second.logFilePath()));
        if (first.startTime().toSecsSinceEpoch() == second.startTime().toSecsSinceEpoch())
            QVERIFY(second.logFilePath().endsWith(QStringLiteral("-2.log")));

        const QStringList firstLines = readLines(first.logFilePath());
        QCOMPARE(firstLines.size(), 1);
        QVERIFY(firstLines[0].endsWith(QStringLiteral("[INF] first start")));
        QCOMPARE(readLines(second.logFilePath()).size(), 1);
    }

    // Lines from many threads all arrive, whole, each thread's in its own order; lines posted
    // before the log is stopped are written, later ones are not lost into a dead queue.
    void manyThreadsThenStop()
    {
        QThread logThread;
        LoggingHandler *handler = createLoggingHandler(&logThread);
        QVERIFY(!handler->logFilePath().isEmpty());
        logThread.start();
        setProcessLoggingHandler(handler);
        qInstallMessageHandler(messageHandler);

        constexpr int threads = 4;
        constexpr int perThread = 500;
        std::vector<std::unique_ptr<QThread>> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back(QThread::create([t] {
                for (int i = 0; i < perThread; ++i)
                    qDebug("writer %d line %d", t, i);
            }));
            writers.back()->start();
        }
        for (auto &w : writers)
            QVERIFY(w->wait(scaled(20000)));
        qWarning("last line before stop");
        stopApplicationLog(&logThread);
        qWarning("after stop");
        qInstallMessageHandler(nullptr);

        const QStringList lines = readLines(handler->logFilePath());
        QCOMPARE(lines.size(), threads * perThread + 1);
        std::vector<int> next(threads, 0);
        const QRegularExpression writerLine(QStringLiteral(R"(\[DBG\] writer (\d) line (\d+)$)"));
        for (const QString &line : lines) {
            QVERIFY2(linePattern.match(line).hasMatch(), qPrintable(line));
            const auto m = writerLine.match(line);
            if (!m.hasMatch())
                continue;
            const int t = m.captured(1).toInt();
            QCOMPARE(m.captured(2).toInt(), next[t]++);
        }
        QVERIFY(lines.last().endsWith(QStringLiteral("[WRN] last line before stop")));
        setProcessLoggingHandler(nullptr);
        delete handler;
    }

    // A log that cannot be written must not make the handler log about itself for ever: the
    // device's own warning is reported once on standard error and goes no further.
    void warningWhileWritingDoesNotLoop()
    {
        QThread logThread;
        auto *handler = new LoggingHandler();
        QBuffer readOnly;
        readOnly.open(QIODevice::ReadOnly);
        handler->setLogDevice(&readOnly);
        handler->moveToThread(&logThread);
        logThread.start();
        setProcessLoggingHandler(handler);

        int handled = 0;
        static int *counter = nullptr;
        counter = &handled;
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &ctx, const QString &msg) {
            ++*counter;
            messageHandler(type, ctx, msg);
        });
        qWarning("one line");
        QTest::qWait(200);
        stopApplicationLog(&logThread);
        qInstallMessageHandler(nullptr);
        // The line itself, and the device's complaint about the one write.
        QCOMPARE(handled, 2);
        setProcessLoggingHandler(nullptr);
        delete handler;
    }
};

QTEST_GUILESS_MAIN(TestLoggingHandler)
#include "tst_loggingHandler.moc"
