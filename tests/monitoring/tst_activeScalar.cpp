// Live plot buffers: the bucketing against a reference model written independently in Python
// (bucketing_reference.py) on random streams, the written examples, and the bound on raw samples.
#include "ActiveScalar.h"
#include "TestSupport.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <deque>

using namespace monitoring;

namespace {

QByteArray hexDouble(double d)
{
    // Python's float.hex reads C's %a.
    char text[64];
    std::snprintf(text, sizeof text, "%a", d);
    return QByteArray(text);
}

} // namespace

class tst_ActiveScalar : public QObject
{
    Q_OBJECT

private slots:
    void againstReferenceModel_data();
    void againstReferenceModel();
    void bucketExamples();
    void spanRotation();
    void rawSamplesAreBounded();
    void rawStoreAgainstDeque_data();
    void rawStoreAgainstDeque();
    void blocksOfAGoneStoreAreReused();
    void zeroBucketsCountAsOne();
    void windowExtremes();
};

void tst_ActiveScalar::againstReferenceModel_data()
{
    QTest::addColumn<int>("buckets");
    QTest::addColumn<QList<double>>("ranges");
    QTest::addColumn<int>("samples");
    QTest::addColumn<double>("meanStepMs");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("1 kHz, 40 buckets") << 40 << QList<double>{ 0.1, 0.5, 1.0 } << 3000 << 1.0 << 1u;
    QTest::newRow("jittered, 4 buckets") << 4 << QList<double>{ 0.05, 0.2 } << 2000 << 2.0 << 2u;
    QTest::newRow("many buckets") << 4000 << QList<double>{ 0.25, 1.0 } << 8000 << 0.3 << 3u;
    QTest::newRow("zero buckets") << 0 << QList<double>{ 0.1 } << 500 << 1.0 << 4u;
}

void tst_ActiveScalar::againstReferenceModel()
{
    QFETCH(int, buckets);
    QFETCH(QList<double>, ranges);
    QFETCH(int, samples);
    QFETCH(double, meanStepMs);
    QFETCH(quint32, seed);

    QRandomGenerator rng(seed);
    QByteArray input = QByteArray::number(buckets);
    for (double r : ranges)
        input += ' ' + hexDouble(r);
    input += '\n';
    ActiveScalar scalar(nullptr, 0, 100, buckets, ranges);
    quint64 t = 1000000;
    for (int i = 0; i < samples; ++i) {
        // Rising times with jitter, some repeats and a few steps back; values with runs, spikes,
        // infinities and NaN.
        const double r = rng.generateDouble();
        if (r < 0.03)
            t -= quint64(rng.bounded(2000000));
        else if (r > 0.05)
            t += quint64(meanStepMs * 1e6 * (0.2 + 1.6 * rng.generateDouble()));
        double v = std::sin(i * 0.01) * 10 + rng.generateDouble();
        const double k = rng.generateDouble();
        if (k < 0.01)
            v = std::nan("");
        else if (k < 0.015)
            v = std::numeric_limits<double>::infinity();
        else if (k < 0.03)
            v = -1e6;
        input += QByteArray::number(t) + ' ' + hexDouble(v) + '\n';
        scalar.addData({ t, v });
    }
    const auto run = nimbrel::test::runProcess(
        nimbrel::test::python(),
        { nimbrel::test::sourceDir() + "/tests/monitoring/bucketing_reference.py" }, input);
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    QCOMPARE(lines.size(), ranges.size());
    for (int w = 0; w < ranges.size(); ++w) {
        const QList<QByteArray> f = lines[w].split(' ');
        const PlotWindow &win = scalar.window(w);
        auto num = [&](int i) { return std::strtod(f[i].constData(), nullptr); };
        QCOMPARE(int(win.mark), f[0].toInt());
        QCOMPARE(win.currentMin, num(1));
        QCOMPARE(win.currentMax, num(2));
        QCOMPARE(win.previousMin, num(3));
        QCOMPARE(win.previousMax, num(4));
        QCOMPARE(int(win.points.size()), f[5].toInt());
        QVERIFY(win.mark > 0); // the stream reached past the first span
        for (size_t i = 0; i < win.points.size(); ++i) {
            const double x = num(6 + int(2 * i));
            const double y = num(7 + int(2 * i));
            QCOMPARE(win.points[i].x, x);
            if (std::isnan(y))
                QVERIFY(std::isnan(win.points[i].y));
            else
                QCOMPARE(win.points[i].y, y);
        }
    }
}

void tst_ActiveScalar::bucketExamples()
{
    ActiveScalar s(nullptr, 0, 1000, 4000, { 10.0 });
    QCOMPARE(s.window(0).bucketLength, 0.0025);
    s.addData({ 1000000000, 5 });
    s.addData({ 1000500000, 1 });
    const auto &p = s.window(0).points;
    QCOMPARE(p.size(), 2u);
    QCOMPARE(p[0].y, 5.0);
    QCOMPARE(p[1].y, 1.0);
    QCOMPARE(p[1].x, 1.0005);
    s.addData({ 1001000000, 9 });
    QCOMPARE(p[0].y, 1.0);
    QCOMPARE(p[0].x, 1.0005);
    QCOMPARE(p[1].y, 9.0);
    // A time equal to the last one is dropped.
    s.addData({ 1001000000, 100 });
    QCOMPARE(p[1].y, 9.0);
    // 2.5 ms after the bucket start still belongs to the bucket; just beyond it does not.
    s.addData({ 1002500000, 3 });
    QCOMPARE(p.size(), 2u);
    s.addData({ 1002500001, 3 });
    QCOMPARE(p.size(), 4u);
}

void tst_ActiveScalar::spanRotation()
{
    ActiveScalar s(nullptr, 0, 10, 20, { 1.0 });
    QSignalSpy changes(&s, &ActiveScalar::minMaxChanged);
    quint64 t = 100000000;
    for (int i = 0; i <= 10; ++i, t += 100000000)
        s.addData({ t, double(i) });
    // The list spans 1 s now: the first span is complete.
    QCOMPARE(int(s.window(0).mark), 22);
    QCOMPARE(s.window(0).previousMax, 10.0);
    QCOMPARE(s.windowMax(0), 10.0);
    QCOMPARE(s.windowMin(0), 0.0);
    QVERIFY(changes.size() > 0);
    for (int i = 11; i <= 21; ++i, t += 100000000)
        s.addData({ t, double(i) });
    // The second span reached 1 s: the first span's points are gone.
    QCOMPARE(s.window(0).points.size(), 22u);
    QCOMPARE(s.window(0).points.front().x, 1.2);
    QCOMPARE(s.windowMin(0), 11.0);
}

void tst_ActiveScalar::rawSamplesAreBounded()
{
    // 1 kHz for 30 s with a 10 s largest range: only what two largest ranges can show stays.
    ActiveScalar s(nullptr, 0, 1000, 4000, { 1.0, 10.0 });
    for (quint64 i = 1; i <= 30000; ++i)
        s.addData({ i * 1000000, double(i % 17) });
    const ScalarBuffer &b = s.samples();
    QVERIFY2(b.rawCount() <= 20001 && b.rawCount() >= 19999,
             QByteArray::number(qulonglong(b.rawCount())));
    QCOMPARE(b.rawAt(b.rawCount() - 1).time, quint64(30000) * 1000000);
    QVERIFY(b.rawAt(0).time >= quint64(10000) * 1000000);
    QCOMPARE(s.lastSampleTime(), 30.0);
    // Each window's points stay within two window lengths of buckets.
    QVERIFY(s.window(1).points.size() <= 2 * 2 * 4000 + 2);
    QVERIFY(s.window(0).points.size() <= 2 * 2 * 4000 + 2);
}

void tst_ActiveScalar::rawStoreAgainstDeque_data()
{
    // Each step appends `push` samples 1 ns apart, then lets go of those older than `keep` ns
    // behind the newest; the block size makes the interesting counts.
    constexpr int B = int(RawSampleStore::BlockSamples);
    QTest::addColumn<int>("push");
    QTest::addColumn<int>("keep");
    QTest::addColumn<int>("steps");
    QTest::newRow("one block, kept whole") << B << 10 * B << 1;
    QTest::newRow("block edge, one at a time") << 1 << B << 5 * B;
    QTest::newRow("just over a block") << 1 << B + 1 << 3 * B;
    QTest::newRow("everything let go each step") << B + 3 << 0 << 7;
    QTest::newRow("whole blocks let go") << 2 * B << B << 6;
    QTest::newRow("odd sizes") << 997 << 3 * B / 2 << 40;
}

void tst_ActiveScalar::rawStoreAgainstDeque()
{
    QFETCH(int, push);
    QFETCH(int, keep);
    QFETCH(int, steps);
    RawSampleStore store;
    std::deque<RawSample> model;
    uint64_t t = 0;
    size_t mostBlocks = 0;
    for (int step = 0; step < steps; ++step) {
        for (int i = 0; i < push; ++i) {
            ++t;
            store.push_back({ t, double(t) * 0.5 });
            model.push_back({ t, double(t) * 0.5 });
        }
        const uint64_t from = t - std::min<uint64_t>(t, uint64_t(keep));
        store.dropBefore(from);
        while (!model.empty() && model.front().time < from)
            model.pop_front();
        QCOMPARE(store.size(), model.size());
        QCOMPARE(store.empty(), model.empty());
        // Every sample now and then and at the end; the ends of the store at every step.
        const bool whole = step % 61 == 0 || step == steps - 1;
        for (size_t i = 0; i < model.size();
             i = whole || i + 1 == model.size() ? i + 1 : model.size() - 1) {
            if (store[i].time != model[i].time || store[i].value != model[i].value)
                QFAIL(qPrintable(QString("step %1, sample %2: %3 instead of %4")
                                     .arg(step)
                                     .arg(i)
                                     .arg(store[i].time)
                                     .arg(model[i].time)));
        }
        mostBlocks = std::max(mostBlocks, store.blockCount());
    }
    // The store holds no more blocks than its samples need, plus the one being filled.
    const size_t bound = size_t(push + keep) / RawSampleStore::BlockSamples + 2;
    QVERIFY2(mostBlocks <= bound, qPrintable(QString("%1 blocks").arg(mostBlocks)));
}

void tst_ActiveScalar::blocksOfAGoneStoreAreReused()
{
    // A signal plotted again grows into the blocks of the one taken out, on the same thread; the
    // blocks kept idle are bounded.
    constexpr uint64_t B = RawSampleStore::BlockSamples;
    QSet<const RawSample *> goneBlocks;
    {
        RawSampleStore gone;
        for (uint64_t t = 1; t <= 3 * B; ++t)
            gone.push_back({ t, -1 });
        for (uint64_t i = 0; i < 3 * B; i += B)
            goneBlocks.insert(&gone[i]);
    }
    const size_t idle = RawSampleStore::idleBlocks();
    QVERIFY(idle >= 3);
    {
        RawSampleStore next;
        for (uint64_t t = 1; t <= B + 1; ++t)
            next.push_back({ t, double(t) });
        QCOMPARE(RawSampleStore::idleBlocks(), idle - 2);
        QVERIFY(goneBlocks.contains(&next[0]));
        QVERIFY(goneBlocks.contains(&next[B]));
        for (uint64_t t = 1; t <= B + 1; ++t)
            QCOMPARE(next[t - 1].value, double(t));
    }
    {
        RawSampleStore big;
        for (uint64_t t = 1; t <= (RawSampleStore::MaxIdleBlocks + 4) * B; ++t)
            big.push_back({ t, 0 });
    }
    QCOMPARE(RawSampleStore::idleBlocks(), RawSampleStore::MaxIdleBlocks);
}

void tst_ActiveScalar::zeroBucketsCountAsOne()
{
    ActiveScalar s(nullptr, 0, 10, 0, { 2.0 });
    QCOMPARE(s.window(0).bucketLength, 2.0);
    s.addData({ 1000000000, 1 });
    s.addData({ 2000000000, 3 });
    QCOMPARE(s.window(0).points.size(), 2u);
}

void tst_ActiveScalar::windowExtremes()
{
    ActiveScalar s(nullptr, 0, 10, 10, { 1.0 });
    QCOMPARE(s.windowMax(0), 0.0);
    QCOMPARE(s.windowMin(0), 0.0);
    s.addData({ 1, std::nan("") });
    s.addData({ 2, std::numeric_limits<double>::infinity() });
    QCOMPARE(s.windowMax(0), 0.0);
    s.addData({ 3, -4 });
    QCOMPARE(s.windowMax(0), -4.0);
    QCOMPARE(s.windowMin(0), -4.0);
    QSignalSpy enabled(&s, &ActiveScalar::enabledChanged);
    s.setEnabled(true);
    s.setEnabled(true);
    QCOMPARE(enabled.size(), 1);
}

QTEST_GUILESS_MAIN(tst_ActiveScalar)
#include "tst_activeScalar.moc"
