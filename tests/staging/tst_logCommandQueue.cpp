// The log download queue: one command at a time, oldest first; each command ends once; the next
// starts from the event loop; download commands end on what their entry reports.

#include "LogCommandQueue.h"
#include "LogDownloadAndParseCommand.h"
#include "LogDownloadCommand.h"
#include "OrvDeviceLogEntry.h"
#include "TestSupport.h"

#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

// A command the test drives: it records when it runs and how deep inside other commands'
// execute() that happens.
class ScriptedCommand : public LogCommand
{
    Q_OBJECT

public:
    ScriptedCommand(QStringList *log, int *depth, int *maxDepth, const QString &name,
                    int completesInExecute)
        : m_log(log)
        , m_depth(depth)
        , m_maxDepth(maxDepth)
        , m_name(name)
        , m_completes(completesInExecute)
    { }
    void execute() override
    {
        ++*m_depth;
        *m_maxDepth = std::max(*m_maxDepth, *m_depth);
        *m_log << m_name;
        for (int i = 0; i < m_completes; ++i)
            emit complete();
        --*m_depth;
    }
    OrvDeviceLogEntry *entry() override { return nullptr; }
    void finish() { emit complete(); }

private:
    QStringList *m_log;
    int *m_depth;
    int *m_maxDepth;
    QString m_name;
    int m_completes;
};

OrvDeviceLogEntry *deviceEntry(QObject *parent, const QString &name)
{
    return new OrvDeviceLogEntry(parent, QStringLiteral("PT-1"),
                                 OrvDeviceLogEntry::DeviceFile{ name, 4096 });
}

} // namespace

class TestLogCommandQueue : public QObject
{
    Q_OBJECT

private slots:
    void commandsCompletingAtOnceDoNotNest_data();
    void commandsCompletingAtOnceDoNotNest();
    void secondCompleteEndsNothingElse();
    void downloadEndsOnEntryReports_data();
    void downloadEndsOnEntryReports();
    void schedulingAnEntryTwice();
    void unscheduleAndClear();
    void downloadAndParseOfLocalLog();
};

void TestLogCommandQueue::commandsCompletingAtOnceDoNotNest_data()
{
    QTest::addColumn<int>("count");
    QTest::newRow("3") << 3;
    QTest::newRow("100") << 100;
}

void TestLogCommandQueue::commandsCompletingAtOnceDoNotNest()
{
    QFETCH(int, count);
    LogCommandQueue queue;
    QSignalSpy done(&queue, &LogCommandQueue::queueComplete);
    QStringList log;
    int depth = 0;
    int maxDepth = 0;
    QStringList expected;
    // Queue the commands behind one that holds the queue, then release it.
    auto *first = new ScriptedCommand(&log, &depth, &maxDepth, QStringLiteral("first"), 0);
    queue.scheduleCommand(first);
    for (int i = 0; i < count; ++i) {
        queue.scheduleCommand(new ScriptedCommand(&log, &depth, &maxDepth, QString::number(i), 1));
        expected << QString::number(i);
    }
    QCOMPARE(queue.pendingCount(), count);
    first->finish();

    QVERIFY(nimbrel::test::waitFor([&] { return done.size() > 0; }, 20000));
    QCOMPARE(log, QStringList{ QStringLiteral("first") } + expected);
    QCOMPARE(maxDepth, 1);
    QCOMPARE(done.size(), 1);
    QCOMPARE(queue.runningCommand(), nullptr);
}

void TestLogCommandQueue::secondCompleteEndsNothingElse()
{
    LogCommandQueue queue;
    QStringList log;
    int depth = 0;
    int maxDepth = 0;
    // The first command reports its end twice; a pending command reports one too early.
    auto *a = new ScriptedCommand(&log, &depth, &maxDepth, QStringLiteral("a"), 2);
    auto *b = new ScriptedCommand(&log, &depth, &maxDepth, QStringLiteral("b"), 0);
    QPointer<ScriptedCommand> c
        = new ScriptedCommand(&log, &depth, &maxDepth, QStringLiteral("c"), 0);
    QPointer<ScriptedCommand> guardB = b;
    QSignalSpy done(&queue, &LogCommandQueue::queueComplete);
    queue.scheduleCommand(new ScriptedCommand(&log, &depth, &maxDepth, QStringLiteral("hold"), 0));
    auto *hold = static_cast<ScriptedCommand *>(queue.runningCommand());
    queue.scheduleCommand(a);
    queue.scheduleCommand(b);
    queue.scheduleCommand(c);
    c->finish(); // pending: ignored
    hold->finish();
    hold->finish(); // already ended: ignored

    QVERIFY(nimbrel::test::waitFor([&] { return log.contains(QStringLiteral("b")); }));
    QTest::qWait(nimbrel::test::scaled(50)); // let any wrongly queued start happen
    QCOMPARE(log, (QStringList{ "hold", "a", "b" }));
    QVERIFY(guardB);
    QCOMPARE(queue.runningCommand(), b);
    QCOMPARE(queue.pendingCount(), 1);
    QCOMPARE(done.size(), 0);
    b->finish();
    QVERIFY(nimbrel::test::waitFor([&] { return log.size() == 4; }));
    c->finish();
    QVERIFY(nimbrel::test::waitFor([&] { return done.size() == 1; }));
    QVERIFY(nimbrel::test::waitFor([&] { return !c; })); // deleted after it ended
}

void TestLogCommandQueue::downloadEndsOnEntryReports_data()
{
    // Steps the entry reports while its download runs: "p<value>" a progress, "L<0|1>" whether
    // it has a local file now.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("endsAfter"); // step index after which the command has ended, -1 never
    QTest::newRow("finished, then local") << QStringList{ "p0.5", "p1", "L1" } << 2;
    QTest::newRow("local, then finished") << QStringList{ "p0.5", "L1", "p1" } << 2;
    QTest::newRow("failed: progress back to 0") << QStringList{ "p0.3", "p0" } << 1;
    QTest::newRow("local report before any progress") << QStringList{ "L0", "p0.5" } << -1;
    QTest::newRow("finished without a local file") << QStringList{ "p1", "L0" } << -1;
}

void TestLogCommandQueue::downloadEndsOnEntryReports()
{
    QFETCH(QStringList, steps);
    QFETCH(int, endsAfter);
    QObject owner;
    OrvDeviceLogEntry *entry
        = deviceEntry(&owner, QStringLiteral("log[1]_M_2024-01-01_00-00-00.zlf"));
    OrvDeviceLogEntry *next
        = deviceEntry(&owner, QStringLiteral("log[2]_M_2024-01-01_00-00-01.zlf"));
    QSignalSpy requests(entry, &OrvDeviceLogEntry::DownloadFromOrvDevice);
    QSignalSpy nextRequests(next, &OrvDeviceLogEntry::DownloadFromOrvDevice);
    LogCommandQueue queue;
    queue.scheduleDownload(entry);
    queue.scheduleDownload(next);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).at(0).toString(), entry->deviceFileName());
    QVERIFY(!entry->getQueuedForDownload());
    QVERIFY(next->getQueuedForDownload());

    for (int i = 0; i < steps.size(); ++i) {
        const QString step = steps.at(i);
        if (step.startsWith(u'p'))
            entry->setDownloadProgress(step.mid(1).toFloat());
        else
            emit entry->HasLocalFileChanged(step.mid(1) == QLatin1String("1"));
        if (i == endsAfter)
            QVERIFY(nimbrel::test::waitFor([&] { return nextRequests.size() == 1; }));
    }
    if (endsAfter < 0) {
        QTest::qWait(nimbrel::test::scaled(50));
        QCOMPARE(nextRequests.size(), 0);
        QVERIFY(next->getQueuedForDownload());
    }
}

void TestLogCommandQueue::schedulingAnEntryTwice()
{
    QObject owner;
    OrvDeviceLogEntry *a = deviceEntry(&owner, QStringLiteral("log[1]_M_2024-01-01_00-00-00.zlf"));
    OrvDeviceLogEntry *b = deviceEntry(&owner, QStringLiteral("log[2]_M_2024-01-01_00-00-01.zlf"));
    QSignalSpy requestsA(a, &OrvDeviceLogEntry::DownloadFromOrvDevice);
    LogCommandQueue queue;
    queue.scheduleDownload(b);
    queue.scheduleDownload(a);
    queue.scheduleDownload(a); // pending already: nothing
    QCOMPARE(queue.pendingCount(), 1);
    b->setDownloadProgress(0);
    QVERIFY(nimbrel::test::waitFor([&] { return requestsA.size() == 1; }));
    queue.scheduleDownload(a); // running: a second command
    QCOMPARE(queue.pendingCount(), 1);
    QVERIFY(a->getQueuedForDownload());
    a->setDownloadProgress(0);
    QVERIFY(nimbrel::test::waitFor([&] { return requestsA.size() == 2; }));
}

void TestLogCommandQueue::unscheduleAndClear()
{
    QObject owner;
    OrvDeviceLogEntry *a = deviceEntry(&owner, QStringLiteral("log[1]_M_2024-01-01_00-00-00.zlf"));
    OrvDeviceLogEntry *b = deviceEntry(&owner, QStringLiteral("log[2]_M_2024-01-01_00-00-01.zlf"));
    OrvDeviceLogEntry *c = deviceEntry(&owner, QStringLiteral("log[3]_M_2024-01-01_00-00-02.zlf"));
    LogCommandQueue queue;
    QSignalSpy done(&queue, &LogCommandQueue::queueComplete);
    queue.scheduleDownload(a);
    queue.scheduleDownload(b);
    queue.scheduleDownload(c);
    LogCommand *running = queue.runningCommand();
    QVERIFY(!queue.unschedule(running));
    QVERIFY(!queue.unschedule(a));
    QCOMPARE(queue.runningCommand(), running);
    QVERIFY(queue.unschedule(b));
    QVERIFY(nimbrel::test::waitFor([&] { return !b->getQueuedForDownload(); }));
    QCOMPARE(queue.pendingCount(), 1);

    queue.clearSchedule();
    QCOMPARE(queue.pendingCount(), 0);
    QCOMPARE(done.size(), 0);
    QVERIFY(nimbrel::test::waitFor([&] { return !c->getQueuedForDownload(); }));
    a->setDownloadProgress(0); // the running command ends normally
    QVERIFY(nimbrel::test::waitFor([&] { return done.size() == 1; }));
}

void TestLogCommandQueue::downloadAndParseOfLocalLog()
{
    const QDir root(nimbrel::test::testRoot());
    const QString path = root.filePath(QStringLiteral("log[4]_Rig_2026-12-10_12-30-05.zlf"));
    const auto made = nimbrel::test::runProcess(
        nimbrel::test::python(),
        { nimbrel::test::fixturePath(QStringLiteral("zlf_generator.py")), QStringLiteral("--log"),
          path, QStringLiteral("serial=PT-1"), QStringLiteral("logCount=4"),
          QStringLiteral("Date=2026-12-10"), QStringLiteral("Time=12:30:05"),
          QStringLiteral("fileName=log[4]_Rig_2026-12-10_12-30-05") });
    QCOMPARE(made.exitCode, 0);
    QObject owner;
    auto *local = new OrvDeviceLogEntry(&owner, QStringLiteral("PT-1"), path);
    OrvDeviceLogEntry *remote
        = deviceEntry(&owner, QStringLiteral("log[5]_M_2024-01-01_00-00-00.zlf"));
    QSignalSpy remoteRequests(remote, &OrvDeviceLogEntry::DownloadFromOrvDevice);
    QSignalSpy localRequests(local, &OrvDeviceLogEntry::DownloadFromOrvDevice);
    root.mkpath(QStringLiteral("out"));
    LogCommandQueue queue;
    queue.scheduleDownloadAndParse(local,
                                   QUrl::fromLocalFile(root.filePath(QStringLiteral("out"))));
    queue.scheduleDownload(remote);

    // The local log ends its command at once and the next download starts while it converts.
    QVERIFY(nimbrel::test::waitFor([&] { return remoteRequests.size() == 1; }));
    QCOMPARE(localRequests.size(), 0);
    const QString mat = root.filePath(QStringLiteral("out/log[4]_Rig_2026-12-10_12-30-05.zlf.mat"));
    QVERIFY(nimbrel::test::waitFor([&] { return !local->isConverting(); }, 20000));
    QVERIFY(QFile::exists(mat));
}

QTEST_GUILESS_MAIN(TestLogCommandQueue)
#include "tst_logCommandQueue.moc"
