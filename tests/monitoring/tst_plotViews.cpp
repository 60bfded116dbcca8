// The raw-sample view beside each plot buffer (series contents and axis ranging) and the list
// models of switchable items.
#include "ActiveScalar.h"
#include "ExternalMonitor_signalViewBuffer.h"
#include "monitorContents.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLineSeries>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QValueAxis>

namespace {

using Toggles = QList<QPair<int, bool>>; // item index, state

struct Range
{
    double lo;
    double hi;
};

QList<QObject *> shown(const QAbstractItemModel &model)
{
    QList<QObject *> out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.data(model.index(row, 0), Qt::UserRole).value<QObject *>();
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Range)

class tst_PlotViews : public QObject
{
    Q_OBJECT

private slots:
    void viewRanging_data();
    void viewRanging();
    void toggleItem_data();
    void toggleItem();
};

void tst_PlotViews::viewRanging_data()
{
    QTest::addColumn<QList<double>>("values"); // at 1.0 s, 1.1 s, 1.2 s ...
    QTest::addColumn<int>("odr");
    QTest::addColumn<QString>("how"); // update, backend, backend hidden, backend released
    QTest::addColumn<bool>("autoRange");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<Range>("y");
    QTest::addColumn<Range>("x");
    QTest::addColumn<int>("seriesPoints");
    // The axes start at [100, 200]: a row that expects that range expects them untouched.
    const Range untouched{ 100, 200 };
    using V = QList<double>;
    QTest::newRow("auto range widens by a fifth of the distance")
        << V{ 2, 5, 3 } << 10 << "update" << true << false << Range{ 1.4, 5.6 } << Range{ 1.0, 1.2 }
        << 3;
    QTest::newRow("negative values") << V{ -10, -2 } << 10 << "update" << true << false
                                     << Range{ -11.6, -0.4 } << Range{ 1.0, 1.1 } << 2;
    QTest::newRow("flat widens by one on each side")
        << V{ 4, 4, 4 } << 10 << "update" << true << false << Range{ 3, 5 } << Range{ 1.0, 1.2 }
        << 3;
    QTest::newRow("distance below 1e-8 counts as flat")
        << V{ 1, 1 + 5e-9 } << 10 << "update" << true << false << Range{ 0, 2.000000005 }
        << Range{ 1.0, 1.1 } << 2;
    QTest::newRow("fixed range") << V{ 2, 5 } << 10 << "update" << false << false << Range{ -3, 7 }
                                 << Range{ 1.0, 1.1 } << 2;
    // xRange 1 s at 2 samples per second: the axis spans the first two points of five.
    QTest::newRow("x spans xRange times ODR points")
        << V{ 1, 2, 3, 4, 5 } << 2 << "update" << true << false << Range{ 0.2, 5.8 }
        << Range{ 1.0, 1.1 } << 5;
    QTest::newRow("paused keeps the series")
        << V{ 2, 5 } << 10 << "update" << true << true << Range{ 1.4, 5.6 } << untouched << 0;
    QTest::newRow("from the stored pointers") << V{ 2, 5, 3 } << 10 << "backend" << true << false
                                              << Range{ 1.4, 5.6 } << Range{ 1.0, 1.2 } << 3;
    QTest::newRow("hidden view is left alone")
        << V{ 2, 5, 3 } << 10 << "backend hidden" << true << false << untouched << untouched << 0;
    QTest::newRow("released view is left alone")
        << V{ 2, 5, 3 } << 10 << "backend released" << true << false << untouched << untouched << 0;
}

void tst_PlotViews::viewRanging()
{
    QFETCH(QList<double>, values);
    QFETCH(int, odr);
    QFETCH(QString, how);
    QFETCH(bool, autoRange);
    QFETCH(bool, paused);
    QFETCH(Range, y);
    QFETCH(Range, x);
    QFETCH(int, seriesPoints);

    ActiveScalar buffer(nullptr, 0, uint16_t(odr), 100, { 10.0 });
    for (int i = 0; i < values.size(); ++i)
        buffer.addData({ 1000000000ull + uint64_t(i) * 100000000ull, values[i] });
    ExternalMonitor_signalViewBuffer view(&buffer, uint16_t(odr), nullptr);
    const uint xRange = odr == 2 ? 1 : 10;
    view.setProperty("paused", paused);
    view.setProperty("yMin", -3.0);
    view.setProperty("yMax", 7.0);
    QLineSeries series;
    QValueAxis yAxis;
    QValueAxis xAxis;
    yAxis.setRange(100, 200);
    xAxis.setRange(100, 200);
    xAxis.setMinorGridLineVisible(false);
    QSignalSpy sized(&view, &ExternalMonitor_signalViewBuffer::rawBufferSizeUpdated);

    if (how == "update") {
        view.setProperty("autoRange", autoRange);
        view.update(&series, int(xRange), autoRange, &yAxis, &xAxis);
    } else {
        view.setGuiPointers(&series, xRange, autoRange, &yAxis, &xAxis);
        if (how == "backend hidden")
            view.setVisibility(false);
        if (how == "backend released")
            view.viewDestroyed();
        view.updateFromBackend();
    }

    const bool ranged = how == "update" || how == "backend";
    QCOMPARE(sized.size(), ranged ? 1 : 0);
    QCOMPARE(view.property("rawBufferSize").toInt(), ranged ? int(values.size()) : 0);
    QCOMPARE(series.count(), seriesPoints);
    for (int i = 0; i < seriesPoints; ++i)
        QCOMPARE(series.at(i), QPointF(1.0 + 0.1 * i, values[i]));
    QCOMPARE(series.pointsVisible(), seriesPoints > 0);
    QCOMPARE(yAxis.min(), y.lo);
    QCOMPARE(yAxis.max(), y.hi);
    QCOMPARE(xAxis.min(), x.lo);
    QCOMPARE(xAxis.max(), x.hi);
    QCOMPARE(xAxis.isMinorGridLineVisible(), how == "backend");
}

void tst_PlotViews::toggleItem_data()
{
    QTest::addColumn<Toggles>("toggles");
    QTest::addColumn<QString>("shown"); // the names of the view list's items, in order
    using T = Toggles;
    QTest::newRow("on") << T{ { 0, true } } << "a";
    QTest::newRow("shown in the order switched on") << T{ { 2, true }, { 0, true } } << "ca";
    QTest::newRow("off takes out only that item")
        << T{ { 0, true }, { 1, true }, { 2, true }, { 1, false } } << "ac";
    QTest::newRow("off of an item not shown") << T{ { 0, true }, { 1, false } } << "a";
    QTest::newRow("index beyond the items") << T{ { 3, true }, { 0, true } } << "a";
    QTest::newRow("on and off again") << T{ { 1, true }, { 1, false }, { 1, true } } << "b";
}

void tst_PlotViews::toggleItem()
{
    QFETCH(Toggles, toggles);
    QFETCH(QString, shown);

    monitorContents contents;
    QAbstractItemModelTester contentsTester(&contents,
                                            QAbstractItemModelTester::FailureReportingMode::QtTest);
    QList<QPointer<QObject>> items;
    for (const char *name : { "a", "b", "c" }) {
        auto *item = new QObject;
        item->setObjectName(name);
        contents.appendItem(item);
        items << item;
    }
    viewProxyList *view = contents.getViewProxyList();
    QVERIFY(view);
    QAbstractItemModelTester viewTester(view,
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(view->roleNames().value(256), QByteArray("sample"));

    for (const auto &[index, state] : toggles)
        contents.toggleItem(uint(index), state);
    QString names;
    for (QObject *o : ::shown(*view))
        names += o->objectName();
    QCOMPARE(names, shown);

    // The items stay the container's: they outlive the view list, and one deleted by its owner
    // leaves the view.
    if (!shown.isEmpty()) {
        QObject *first = ::shown(*view).first();
        delete first;
        QCOMPARE(view->rowCount(), shown.size() - 1);
    }
    delete view;
    for (const QPointer<QObject> &item : std::as_const(items)) {
        if (item)
            QCOMPARE(item->parent(), &contents);
    }
    QCOMPARE(std::count_if(items.begin(), items.end(), [](const auto &p) { return !p.isNull(); }),
             shown.isEmpty() ? 3 : 2);
}

QTEST_MAIN(tst_PlotViews)
#include "tst_plotViews.moc"
