#include "TestSupport.h"
#include "UnixSocketTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

using namespace nimbrel::test;

namespace {
const QString installInfo
    = QStringLiteral("There is no handler installed. Installing this application as the handler");

QString app()
{
    return qEnvironmentVariable("NIMBREL_APP");
}

QDir logDir()
{
    return QDir(qEnvironmentVariable("XDG_DATA_HOME")
                + QStringLiteral("/Orvane/NimbrelStudio Lab/ApplicationLogs"));
}

QStringList logFiles()
{
    return logDir().entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString allLogs()
{
    QString text;
    for (const QString &f : logFiles())
        text += readAll(logDir().filePath(f));
    return text;
}

// A stand-in for the scheme helper that records its arguments and then does not finish until the
// test releases it (or a minute has passed), however slowly the program starts.
QString writeRecorder()
{
    const QString path = testRoot() + QStringLiteral("/recorder.sh");
    for (const char *suffix : {".args", ".done", ".release"})
        QFile::remove(path + QLatin1String(suffix));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("#!/bin/sh\n"
               "printf '%s\\n' \"$@\" >> \"$0.args\"\n"
               "i=0\n"
               "while [ ! -e \"$0.release\" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done\n"
               "echo done >> \"$0.done\"\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// A running first instance, stopped at the end of the test.
struct Instance
{
    QProcess process;
    explicit Instance(const QStringList &arguments = {}) { process.start(app(), arguments); }
    Instance(const QString &program, const QStringList &arguments)
    {
        process.start(program, arguments);
    }
    ~Instance()
    {
        process.terminate();
        if (!process.waitForFinished(scaled(5000)))
            process.kill();
        process.waitForFinished();
    }
};
} // namespace

// The real program and the real scheme helper, each run as a process.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (const QString &f : logFiles())
            logDir().remove(f);
        qunsetenv("NIMBREL_SCHEME_HELPER");
    }

    void firstStartRegistersTheSchemeWithoutWaiting()
    {
        const QString recorder = writeRecorder();
        qputenv("NIMBREL_SCHEME_HELPER", recorder.toLocal8Bit());
        Instance first;
        QVERIFY(waitFor([] { return allLogs().contains(QStringLiteral("Initializing application")); },
                        20000));
        // The program is up while the helper still sleeps.
        QVERIFY(!QFile::exists(recorder + QStringLiteral(".done")));
        QVERIFY(waitFor([&] { return QFile::exists(recorder + QStringLiteral(".args")); }, 5000));
        const QStringList args = readAll(recorder + QStringLiteral(".args"))
                                     .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(args, (QStringList{QStringLiteral("--command"), QStringLiteral("installscheme"),
                                    QStringLiteral("--scheme"), QStringLiteral("nimbrel"),
                                    QStringLiteral("--application"),
                                    QFileInfo(app()).absoluteFilePath()}));
        first.process.terminate();
        first.process.waitForFinished(scaled(5000));
        QCOMPARE(QString::fromLocal8Bit(first.process.readAllStandardError()).count(installInfo), 1);
        QFile release(recorder + QStringLiteral(".release"));
        QVERIFY(release.open(QIODevice::WriteOnly));
        QVERIFY(waitFor([&] { return QFile::exists(recorder + QStringLiteral(".done")); }, 10000));
    }

    void registeredSchemeIsNotRegisteredAgain()
    {
        const ProcessResult dravix = runProcess(
            qEnvironmentVariable("NIMBREL_DRAVIX"),
            {QStringLiteral("--command"), QStringLiteral("installscheme"), QStringLiteral("--scheme"),
             QStringLiteral("nimbrel"), QStringLiteral("--application"),
             QFileInfo(app()).absoluteFilePath()});
        QCOMPARE(dravix.exitCode, 0);
        const QString recorder = writeRecorder();
        qputenv("NIMBREL_SCHEME_HELPER", recorder.toLocal8Bit());
        Instance first;
        QVERIFY(waitFor([] { return allLogs().contains(QStringLiteral("Initializing application")); },
                        20000));
        first.process.terminate();
        first.process.waitForFinished(scaled(5000));
        QVERIFY(!QFile::exists(recorder + QStringLiteral(".args")));
        const QString err = QString::fromLocal8Bit(first.process.readAllStandardError());
        QVERIFY(!err.contains(installInfo));
        QVERIFY(!err.contains(QStringLiteral("Another program is installed as the handler")));
    }

    void secondStartHandsItsUriOver()
    {
        Instance first;
        QVERIFY(waitFor([] { return allLogs().contains(QStringLiteral("Initializing application")); },
                        20000));
        const QString uri = QStringLiteral("nimbrel:install_tc?version=1.2.0&progress=50&flags=1");
        const ProcessResult second = runProcess(app(), {QStringLiteral("--uri"), uri});
        QCOMPARE(second.exitCode, 0);
        QVERIFY(waitFor([] { return allLogs().contains(QStringLiteral("uri received by distributor")); },
                        5000));
        QCOMPARE(logFiles().size(), 1); // the second start wrote no log of its own
        const QString log = allLogs();
        QVERIFY(log.contains(QStringLiteral("[DBG] Handled Uri call ") + uri));
        QVERIFY(log.contains(QStringLiteral("uri Succesfully passed to mainApplication")));
    }

    void unknownOptionEndsWithTheParsersMessage()
    {
        const ProcessResult result = runProcess(app(), {QStringLiteral("--bogus")});
        QCOMPARE(result.exitStatus, QProcess::NormalExit);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.err.contains("Unknown option 'bogus'."), result.err.constData());
        QVERIFY(logFiles().isEmpty());
    }

    void uriWithoutRunningInstanceIsRoutedOnce_data()
    {
        QTest::addColumn<bool>("killedBefore");
        QTest::newRow("nothing ran before") << false;
        QTest::newRow("socket left by kill -9") << true;
    }

    void uriWithoutRunningInstanceIsRoutedOnce()
    {
        QFETCH(bool, killedBefore);
        if (killedBefore) {
            Instance crashed;
            QVERIFY(waitFor([] { return !logFiles().isEmpty(); }, 20000));
            ::kill(pid_t(crashed.process.processId()), SIGKILL);
            crashed.process.waitForFinished(scaled(5000));
            for (const QString &f : logFiles())
                logDir().remove(f);
        }
        Instance first({QStringLiteral("--uri"),
                        QStringLiteral("nimbrel:upload_app?file=/bins/a.elf")});
        QVERIFY(waitFor([] { return allLogs().contains(QStringLiteral("uri received by distributor")); },
                        20000));
        QVERIFY(first.process.state() == QProcess::Running);
        // A later link handed over is routed after anything the replay could still cause: once
        // it shows, the stored link must have been routed exactly once.
        const QString later = QStringLiteral("nimbrel:upload_app?file=/bins/later.elf");
        const ProcessResult second = runProcess(app(), {QStringLiteral("--uri"), later});
        QCOMPARE(second.exitCode, 0);
        QVERIFY(waitFor([&] { return allLogs().contains(later); }, 10000));
        const QString log = allLogs();
        QCOMPARE(log.count(QStringLiteral("uri received by distributor")), 2);
        QVERIFY(log.indexOf(QStringLiteral("Initializing application"))
                < log.indexOf(QStringLiteral("uri received by distributor")));
    }

    // Eight starts of the program at the same moment, each with a link: one stays and listens,
    // the seven others hand their links over to it and end with status 0, and all eight links
    // are routed there. All eight share one CPU, as on a single-core machine, so their start-ups
    // interleave and they reach the election together. A terminated instance's socket and lock
    // stay behind for the next round.
    void simultaneousStartsLeaveOneInstance()
    {
        qputenv("NIMBREL_SCHEME_HELPER", "/bin/true");
        constexpr int rounds = 5;
        constexpr int starts = 8;
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        for (int round = 0; round < rounds; ++round) {
            for (const QString &f : logFiles())
                logDir().remove(f);
            std::vector<std::unique_ptr<Instance>> instances;
            QStringList links;
            for (int i = 0; i < starts; ++i) {
                links << QStringLiteral("nimbrel:upload_app?file=/round%1/start%2.elf")
                             .arg(round)
                             .arg(i);
                instances.push_back(std::make_unique<Instance>(
                    QStringLiteral("taskset"),
                    QStringList{QStringLiteral("-c"), QStringLiteral("0"), app(),
                                QStringLiteral("--uri"), links.last()}));
            }
            auto running = [&] {
                return std::count_if(instances.begin(), instances.end(), [](const auto &p) {
                    return p->process.state() != QProcess::NotRunning;
                });
            };
            auto allRouted = [&] {
                const QString log = allLogs();
                return std::all_of(links.begin(), links.end(),
                                   [&](const QString &link) { return log.contains(link); });
            };
            const bool settled = waitFor([&] { return running() <= 1 && allRouted(); }, 60000);
            QVERIFY2(settled, qPrintable(QStringLiteral("round %1: %2 running, %3 logs")
                                             .arg(round)
                                             .arg(running())
                                             .arg(logFiles().size())));
            QCOMPARE(running(), 1);
            QCOMPARE(listeningSocketsBelow(runtime), 1);
            QCOMPARE(logFiles().size(), 1);
            QCOMPARE(allLogs().count(QStringLiteral("uri received by distributor")), starts);
            for (const auto &p : instances) {
                if (p->process.state() == QProcess::NotRunning) {
                    QCOMPARE(p->process.exitStatus(), QProcess::NormalExit);
                    QCOMPARE(p->process.exitCode(), 0);
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
