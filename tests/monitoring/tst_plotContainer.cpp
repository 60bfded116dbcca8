// Plot containers: automatic y range, x paging and scrolling, value read-outs, slot changes and
// formatDouble against coreutils' printf '%g'.
#include "ActiveScalar.h"
#include "CodecTables.h"
#include "ExternalMonitor_signalViewBuffer.h"
#include "RecordingOwner.h"
#include "SimulinkSignal.h"
#include "StreamableNode.h"
#include "TestSupport.h"
#include "plotContainer.h"

#include <QApplication>
#include <QLineSeries>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

using namespace monitoring;
using namespace SimulinkDataTypes;

namespace {

// Exposes how many receivers a signal has.
struct ProbedContainer : plotContainer
{
    int receiversOf(const char *signal) const { return receivers(signal); }
};

struct Plot
{
    RecordingOwner owner;
    BasicStreamableNode node{ 3,
                              1,
                              &owner,
                              nullptr,
                              1,
                              0,
                              makeDataType(codecTables(0, 8), 0, 0),
                              Dimensions({ 4 }, 1),
                              1000,
                              "v",
                              "0" };
    SimulinkSignal *signal = new SimulinkSignal(nullptr, &node);
    ProbedContainer container;
    QValueAxis yAxis;
    QValueAxis xAxis;
    QLineSeries series[4];

    Plot()
    {
        container.setGuiPointers(nullptr, &yAxis, &xAxis);
        container.setSeries(&series[0], &series[1], &series[2], &series[3]);
        container.setVisible(true);
    }
    ~Plot() { delete signal; }

    // Element (0, col) into `slot`, acknowledged by the device.
    ActiveScalar *plot(int slot, int col = 0)
    {
        container.addSignal(signal, QPoint(0, col), slot);
        node.onStreamAcknowledged(uint16_t(col * 8));
        return container.slotBuffer(slot);
    }
    void sample(int col, uint64_t ns, double v)
    {
        node.onValue(uint16_t(col * 8), std::as_bytes(std::span(&v, 1)), ns);
    }
};

} // namespace

class tst_PlotContainer : public QObject
{
    Q_OBJECT

private slots:
    void autoRange_data();
    void autoRange();
    void xAxis_data();
    void xAxis();
    void readOuts();
    void latestValueIsTheNewestSample();
    void slotChanges();
    void seriesShowTheirWindow();
    void limitsAndConnections();
    void formatDoubleLikePrintf();
};

void tst_PlotContainer::autoRange_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<double>("min");
    QTest::addColumn<double>("max");
    QTest::newRow("all slots empty") << QList<double>{} << -1.0 << 1.0;
    QTest::newRow("flat 10") << QList<double>{ 10, 10, 10 } << 9.0 << 11.0;
    // 0..100: margin 20, range [-20, 120], q 35; the tick at -20 + 35 = 15 is not within 17.5
    // of 0... -20 is: |−20| < 17.5 fails, 15 < 17.5 holds: both ends move up by 15.
    QTest::newRow("0 to 100") << QList<double>{ 0, 100 } << -5.0 << 135.0;
}

void tst_PlotContainer::autoRange()
{
    QFETCH(QList<double>, values);
    QFETCH(double, min);
    QFETCH(double, max);
    Plot p;
    if (!values.isEmpty())
        p.plot(0);
    uint64_t t = 1000000;
    for (double v : values)
        p.sample(0, t += 1000000, v);
    // Both ends move from [-200, 200]: the axis changes once, each change lays every series out.
    QSignalSpy ranged(&p.yAxis, &QValueAxis::rangeChanged);
    p.container.qSGUpdate();
    QCOMPARE(ranged.size(), 1);
    QCOMPARE(p.container.getYMin(), min);
    QCOMPARE(p.container.getYMax(), max);
    QCOMPARE(p.yAxis.min(), min);
    QCOMPARE(p.yAxis.max(), max);
    if (!values.isEmpty())
        QCOMPARE(p.series[0].count(), int(p.container.slotBuffer(0)->window(1).points.size()));
}

void tst_PlotContainer::xAxis_data()
{
    QTest::addColumn<bool>("paging");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    QTest::newRow("paging") << true << 30.0 << 40.0;
    QTest::newRow("scrolling") << false << 27.2 << 37.2;
}

void tst_PlotContainer::xAxis()
{
    QFETCH(bool, paging);
    QFETCH(double, from);
    QFETCH(double, to);
    Plot p;
    p.plot(1);
    p.sample(0, 37200000000ull, 1.0);
    p.container.setDynamicXrange(paging);
    p.container.qSGUpdate();
    QCOMPARE(p.xAxis.min(), from);
    QCOMPARE(p.xAxis.max(), to);
}

void tst_PlotContainer::readOuts()
{
    Plot p;
    QCOMPARE(p.container.getValueAtTime(2, 1.0), 0.0);
    QCOMPARE(p.container.getLatestValue(2), 0.0);
    QCOMPARE(p.container.getLatestValue(7), 0.0);
    p.plot(2, 3); // element 3 of the vector
    p.sample(3, 1000000000, 5);
    p.sample(3, 2000000000, 6);
    p.sample(0, 2500000000, 99); // another element
    QCOMPARE(p.container.getValueAtTime(2, 1.5), 6.0);
    QCOMPARE(p.container.getValueAtTime(2, 1.0), 5.0);
    QCOMPARE(p.container.getValueAtTime(2, 3.0), 0.0);
    QCOMPARE(p.container.getLatestValue(2), 6.0);
}

void tst_PlotContainer::latestValueIsTheNewestSample()
{
    Plot p;
    p.plot(0);
    // Times that are no round number of nanoseconds in seconds.
    for (int k = 1; k <= 2000; ++k) {
        p.sample(0, uint64_t(k) * 1000003ull + 7, double(k));
        QCOMPARE(p.container.getLatestValue(0), double(k));
    }
}

void tst_PlotContainer::slotChanges()
{
    Plot p;
    // A slot without a series keeps its signal.
    ProbedContainer bare;
    bare.addSignal(p.signal, QPoint(0, 1), 0);
    QVERIFY(bare.slotBuffer(0));
    ActiveScalar *held = bare.slotBuffer(0);
    BasicStreamableNode other(3, 1, &p.owner, nullptr, 9, 0, makeDataType(codecTables(0, 8), 0, 0),
                              Dimensions({ 4 }, 1), 100, "o", "0");
    SimulinkSignal otherSignal(nullptr, &other);
    QTest::ignoreMessage(QtWarningMsg, "Tried to disable a signal while the series is not loaded");
    bare.addSignal(&otherSignal, QPoint(0, 2), 0);
    QCOMPARE(bare.slotBuffer(0), held);
    QCOMPARE(bare.slotSignal(0), p.signal);
    QCOMPARE(held->getElementOffset(), 8);
    QTest::ignoreMessage(QtWarningMsg, "Tried to disable a signal while the series is not loaded");
    bare.removeSignal(nullptr, 0);
    QCOMPARE(bare.slotBuffer(0), held);

    // Replacing and removing go through the signal's handles.
    p.plot(1, 1);
    // Each buffer has its raw-sample view beside it, and the view goes with it.
    QPointer<ExternalMonitor_signalViewBuffer> view = p.container.slotView(1);
    QVERIFY(view);
    QCOMPARE(view->scalar(), p.container.slotBuffer(1));
    QVERIFY(view->hasScalar());
    QCOMPARE(view->parent(), &p.container);
    // The start for element 1 of `bare` is still pending: this one rides on it.
    QCOMPARE(p.owner.requests(), QStringList{ "1000@8" });
    p.container.addSignal(p.signal, QPoint(0, 2), 1);
    QCOMPARE(p.container.slotBuffer(1)->getElementOffset(), 16);
    QVERIFY(!view);
    QCOMPARE(p.container.slotView(1)->scalar(), p.container.slotBuffer(1));
    // 8 is still fed to `bare`: no stop for it.
    QCOMPARE(p.owner.requests().last(), QString("1000@16"));
    p.series[3].append(1, 1);
    p.container.removeSignal(nullptr, 3); // empty slot: only the series is cleared
    QCOMPARE(p.series[3].count(), 0);
    // An element outside the dimensions plots nothing.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("outside the dimensions"));
    p.container.addSignal(p.signal, QPoint(0, 4), 2);
    QVERIFY(!p.container.slotBuffer(2));
    // A signal with ODR 0 cannot be plotted.
    BasicStreamableNode still(3, 1, &p.owner, nullptr, 2, 0, makeDataType(codecTables(0, 8), 0, 0),
                              Dimensions({ 1 }, 0), 0, "s", "0");
    SimulinkSignal stillSignal(nullptr, &still);
    p.container.addSignal(&stillSignal, QPoint(0, 0), 2);
    QVERIFY(!p.container.slotBuffer(2));

    // The wrapper goes with its model; the slot notices and the next frame is harmless.
    delete p.signal;
    p.signal = nullptr;
    QVERIFY(!p.container.slotSignal(1));
    p.container.qSGUpdate();
}

void tst_PlotContainer::seriesShowTheirWindow()
{
    // After every frame each plotted series holds exactly the points of its buffer's window at
    // the x range index, whatever happened since the previous frame; a frame with nothing new
    // leaves the series alone.
    Plot p;
    QLineSeries &series = p.series[0];
    QSignalSpy replaced(&series, &QXYSeries::pointsReplaced);
    auto shows = [&] {
        const ActiveScalar *b = p.container.slotBuffer(0);
        const auto &w = b->window(int(p.container.getXRangeIndex())).points;
        const QList<QPointF> points = series.points();
        if (points.size() != qsizetype(w.size()))
            return false;
        for (size_t i = 0; i < w.size(); ++i) {
            if (points[qsizetype(i)] != QPointF(w[i].x, w[i].y))
                return false;
        }
        return true;
    };
    uint64_t t = 1000000000;
    auto feed = [&](int col, int n, double v) {
        for (int i = 0; i < n; ++i)
            p.sample(col, t += 1000000, v + i);
    };
    p.plot(0, 0);
    feed(0, 5, 1);
    p.container.qSGUpdate();
    QVERIFY(shows());
    QCOMPARE(replaced.size(), 1);
    p.container.qSGUpdate();
    QCOMPARE(replaced.size(), 1);
    feed(0, 1, 50);
    p.container.qSGUpdate();
    QVERIFY(shows());
    QCOMPARE(replaced.size(), 2);
    // Another x range: another window, with points unlike the first one's.
    p.container.setXRangeIndex(0);
    p.container.qSGUpdate();
    QVERIFY(shows());
    QCOMPARE(series.count(), 12);
    // A new element in the slot, fed as often as the old one: a new buffer at the same count of
    // updates (and maybe at the same address).
    p.plot(0, 1);
    feed(1, 6, -7);
    p.container.qSGUpdate();
    QVERIFY(shows());
    QVERIFY(series.count() > 0);
    QCOMPARE(series.at(0).y(), -7.0);
    // The same series handed over again after someone emptied it.
    series.clear();
    p.container.setSeries(&p.series[0], &p.series[1], &p.series[2], &p.series[3]);
    p.container.qSGUpdate();
    QVERIFY(shows());
    // Removed and plotted again with as many samples.
    QPointer<ExternalMonitor_signalViewBuffer> view = p.container.slotView(0);
    QVERIFY(view);
    p.container.removeSignal(nullptr, 0);
    QCOMPARE(series.count(), 0);
    QVERIFY(!view);
    QVERIFY(!p.container.slotView(0));
    p.plot(0, 1); // acknowledges the stop of element 1
    p.node.onStreamAcknowledged(8); // and now its start
    feed(1, 6, 3);
    p.container.qSGUpdate();
    QVERIFY(shows());
    QVERIFY(series.count() > 0);
    QCOMPARE(series.at(0).y(), 3.0);
}

void tst_PlotContainer::limitsAndConnections()
{
    Plot p;
    QSignalSpy minChanged(&p.container, &plotContainer::yMinChanged);
    p.container.setYMin(500); // above yMax
    QCOMPARE(p.container.getYMin(), -200.0);
    QCOMPARE(minChanged.size(), 1);
    p.container.setYMin(-50);
    QCOMPARE(p.yAxis.min(), -50.0);
    p.container.setNumberOfBuckets(70000);
    QCOMPARE(p.container.getNumberOfBuckets(), 70000 - 65536);
    // Axes handed over again connect nothing twice.
    p.container.setGuiPointers(nullptr, &p.yAxis, &p.xAxis);
    p.container.setGuiPointers(nullptr, &p.yAxis, &p.xAxis);
    QCOMPARE(p.container.receiversOf(SIGNAL(autoRangeChanged())), 2);
    QCOMPARE(p.container.receiversOf(SIGNAL(xRangeIndexChanged())), 1);
    // Without automatic range the axis takes the stored limits.
    p.container.setAutoRange(false);
    QCOMPARE(p.yAxis.min(), -50.0);
    QCOMPARE(p.yAxis.max(), 200.0);
}

void tst_PlotContainer::formatDoubleLikePrintf()
{
    const QList<double> values = { 0,      -0.0,      1,        0.1,    123456,   1234567, 1e-5,
                                   0.0001, -3.25e300, 2.5e-310, 100000, 999999.5, 1.0 / 3 };
    QStringList args{ "%g\\n" };
    QStringList ours;
    for (double v : values) {
        args << QString::number(v, 'g', 17);
        ours << plotContainer().formatDouble(v);
    }
    const auto run = nimbrel::test::runProcess("/usr/bin/printf", args);
    QVERIFY2(run.finished && run.exitCode == 0, run.err.constData());
    QCOMPARE(ours, QString::fromLatin1(run.out).trimmed().split('\n'));
}

QTEST_MAIN(tst_PlotContainer)
#include "tst_plotContainer.moc"
