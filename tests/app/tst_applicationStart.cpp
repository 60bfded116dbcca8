#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <csignal>

using namespace nimbrel::test;

namespace {
const QRegularExpression linePattern(
    QStringLiteral(R"(^\[[0-9]+\.[0-9]{3} *\]\[(DBG|INF|WRN|CRT|FTL)\] )"));

QDir logDir()
{
    return QDir(qEnvironmentVariable("XDG_DATA_HOME")
                + QStringLiteral("/Orvane/NimbrelStudio Lab/ApplicationLogs"));
}

QStringList logFiles()
{
    return logDir().entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
} // namespace

// Runs the real programs: NimbrelLab itself, and a probe that raises a fatal message.
class TestApplicationStart : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const QString &name : logFiles())
            QVERIFY(logDir().remove(name));
    }

    // Two starts of the program at once keep two logs, each with well-formed lines; the info line
    // also reaches standard output.
    void twoStartsKeepTheirLogs()
    {
        const QString program = qEnvironmentVariable("NIMBREL_APP");
        QVERIFY(QFileInfo::exists(program));
        QProcess first;
        QProcess second;
        first.start(program, {});
        second.start(program, {});
        QVERIFY(first.waitForStarted(scaled(10000)));
        QVERIFY(second.waitForStarted(scaled(10000)));

        auto bothLogged = [] {
            const QStringList files = logFiles();
            if (files.size() != 2)
                return false;
            for (const QString &f : files) {
                if (readLines(logDir().filePath(f)).isEmpty())
                    return false;
            }
            return true;
        };
        const bool logged = waitFor(bothLogged, 20000);
        first.terminate();
        second.terminate();
        first.waitForFinished(scaled(10000));
        second.waitForFinished(scaled(10000));
        QVERIFY2(logged, qPrintable(logFiles().join(QLatin1Char(' '))));

        const QRegularExpression name(QStringLiteral(R"(^[0-9]{8}-[0-9]{6}(-2)?\.log$)"));
        for (const QString &f : logFiles()) {
            QVERIFY2(name.match(f).hasMatch(), qPrintable(f));
            const QStringList lines = readLines(logDir().filePath(f));
            for (const QString &line : lines)
                QVERIFY2(linePattern.match(line).hasMatch(), qPrintable(line));
            QVERIFY(lines.first().contains(QStringLiteral("[DBG] Initializing application")));
        }
        // Lines other than info lines go to standard error only.
        QVERIFY(first.readAllStandardError().contains("[DBG] Initializing application"));
        QVERIFY(!first.readAllStandardOutput().contains("[DBG]"));
    }

    // A session's log-out (SIGTERM), a terminal's Ctrl-C (SIGINT) or hang-up (SIGHUP) end the
    // program through its normal shutdown: it exits 0 and its log says why, instead of dying with
    // the signal and losing what the back end does on the way out.
    void terminationSignalsEndTheProgramNormally_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void terminationSignalsEndTheProgramNormally()
    {
        QFETCH(int, signalNumber);
        const QString program = qEnvironmentVariable("NIMBREL_APP");
        QProcess app;
        // Qt Quick's picture cache keeps the home screen's textures until the process ends, and
        // LeakSanitizer, which cannot walk Qt's frames, reports them under no name a suppression
        // could match: the leak check would decide the exit status. Our own objects stay
        // leak-checked in the unit tests.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS"))
                               + QStringLiteral(":detect_leaks=0"));
        app.setProcessEnvironment(environment);
        app.start(program, {});
        QVERIFY(app.waitForStarted(scaled(10000)));
        // The signals are taken over before the log starts, so a first line means they are ours.
        auto logged = [] {
            const QStringList files = logFiles();
            return files.size() == 1 && !readLines(logDir().filePath(files.first())).isEmpty();
        };
        QVERIFY(waitFor(logged, 20000));
        QCOMPARE(app.state(), QProcess::Running);

        QCOMPARE(::kill(static_cast<pid_t>(app.processId()), signalNumber), 0);
        QVERIFY(app.waitForFinished(scaled(15000)));
        QCOMPARE(app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.exitCode(), 0);
        const QStringList lines = readLines(logDir().filePath(logFiles().first()));
        const QString expected = QStringLiteral("Ending on signal %1").arg(signalNumber);
        QVERIFY2(std::any_of(lines.cbegin(), lines.cend(),
                             [&](const QString &l) { return l.contains(expected); }),
                 qPrintable(lines.join(QLatin1Char('\n'))));
    }

    // A fatal message aborts the process; its line is in the file all the same.
    void fatalLineIsWrittenBeforeAbort()
    {
        const QString probe = qEnvironmentVariable("NIMBREL_LOG_PROBE");
        const ProcessResult result = runProcess(probe, {});
        QVERIFY(result.finished);
        QCOMPARE(result.exitStatus, QProcess::CrashExit);
        // Info lines go to standard output, the rest to standard error.
        QVERIFY(result.out.contains("[INF] log file "));
        QVERIFY(result.err.contains("[FTL] fatal line from the probe"));
        QVERIFY(!result.out.contains("[FTL]"));
        const QStringList files = logFiles();
        QCOMPARE(files.size(), 1);
        const QStringList lines = readLines(logDir().filePath(files.first()));
        QVERIFY(!lines.isEmpty());
        QVERIFY2(lines.last().endsWith(QStringLiteral("[FTL] fatal line from the probe")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
    }

    // Under a debugger every line goes to the debugger's channel (standard error here) and none to
    // standard output; the file still gets them all.
    void debuggerReceivesEveryLine()
    {
        const ProcessResult result = runProcess(
            QStringLiteral("gdb"),
            {QStringLiteral("-q"), QStringLiteral("-batch"), QStringLiteral("-ex"),
             QStringLiteral("run"), QStringLiteral("--args"), qEnvironmentVariable("NIMBREL_LOG_PROBE")},
            {}, 60000);
        QVERIFY2(result.finished, result.err.constData());
        QVERIFY2(result.err.contains("[INF] log file "), result.err.constData());
        QVERIFY(result.err.contains("[FTL] fatal line from the probe"));
        QVERIFY(!result.out.contains("[INF]"));
        QVERIFY(!result.out.contains("[FTL]"));
        const QStringList files = logFiles();
        QCOMPARE(files.size(), 1);
        const QStringList lines = readLines(logDir().filePath(files.first()));
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines.first().contains(QStringLiteral("[INF] log file ")));
    }
};

QTEST_GUILESS_MAIN(TestApplicationStart)
#include "tst_applicationStart.moc"
