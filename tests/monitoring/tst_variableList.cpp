// The variable list models over a model downloaded from the simulated Pelto: kinds, views and
// the path filter, under QAbstractItemModelTester.
#include "SimModelPeer.h"
#include "SimulinkVariable.h"
#include "SimulinkVariableFilterProxyModel.h"
#include "SimulinkVariableModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

using namespace monitoring;

class tst_VariableList : public QObject
{
    Q_OBJECT

private slots:
    void kindsViewsAndFilter();
};

void tst_VariableList::kindsViewsAndFilter()
{
    Interface iface(nullptr, nullptr);
    SimulinkVariableModel model(nullptr, &iface, 1);
    SimulinkVariableFilterProxyModel proxy;
    proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy.setFilterRole(SimulinkVariableModel::PathNameRole);
    proxy.setSourceModel(&model);
    QAbstractItemModelTester modelTester(&model,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester proxyTester(&proxy,
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(model.rowCount(), 0);

    SimModelPeer peer(&iface);
    iface.startModelDownload();
    peer.pump();
    QCOMPARE(iface.state(), 15);
    // Signals, bus elements and root ports; the block state is in no list.
    QCOMPARE(model.rowCount(), 29);
    for (int r = 0; r < model.rowCount(); ++r) {
        auto *v = qobject_cast<SimulinkDataTypes::SimulinkVariable *>(
            model.index(r).data(SimulinkVariableModel::VariableRole).value<QObject *>());
        QVERIFY(v);
        QVERIFY(v->getType() == "signal");
        QCOMPARE(model.index(r).data(SimulinkVariableModel::PathNameRole).toString(),
                 v->getPath() + "/" + v->getName());
        QCOMPARE(model.index(r).data(SimulinkVariableModel::ParentPathRole).toString(),
                 v->getParentPath());
    }

    QCOMPARE(proxy.rowCount(), 1); // Important: the one path with the marker, in any case
    QVERIFY(proxy.index(0, 0).data().toString().startsWith("root/nimbrelHighlightedItems/"));
    proxy.setFilterType(QString("normal"));
    QCOMPARE(proxy.rowCount(), 27); // without the two made-up "Port" names
    proxy.setFilterType(QString("anything"));
    QCOMPARE(proxy.filterType(), SimulinkVariableFilterProxyModel::AllSignals);
    QCOMPARE(proxy.rowCount(), 29);
    proxy.setFilterWildcard("*CTRL/fix/*");
    QCOMPARE(proxy.rowCount(), 4);
    proxy.setFilterWildcard("");

    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    QVERIFY(!model.setVisibleType(1));
    QCOMPARE(resets.size(), 0);
    QVERIFY(model.setVisibleType(2));
    QCOMPARE(model.rowCount(), 3);
    QVERIFY(model.setVisibleType(3));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.index(0).data().toString(), QString("root/K/K"));
    QVERIFY(model.setVisibleType(9));
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.setVisibleType(1));

    // A second model reloads the list; a model built before the list is loaded at once.
    iface.startModelDownload();
    peer.pump();
    QCOMPARE(model.rowCount(), 29);
    SimulinkVariableModel late(nullptr, &iface, 2);
    QCOMPARE(late.rowCount(), 3);
}

QTEST_GUILESS_MAIN(tst_VariableList)
#include "tst_variableList.moc"
