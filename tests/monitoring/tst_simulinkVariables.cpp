// The QML wrappers of model nodes: names, paths and types, parameter writes, and the signal's
// element handles feeding plot buffers.
#include "ActiveScalar.h"
#include "BasicNode.h"
#include "CodecTables.h"
#include "ParameterNode.h"
#include "RecordingOwner.h"
#include "SimulinkParameter.h"
#include "SimulinkSignal.h"
#include "StructElementNode.h"

#include <QSignalSpy>
#include <QTest>

using namespace monitoring;
using namespace SimulinkDataTypes;

namespace {

ValueBuffer doubles(std::vector<double> values, Dimensions dims)
{
    return ValueBuffer(reinterpret_cast<const std::byte *>(values.data()), 8, std::move(dims));
}

} // namespace

class tst_SimulinkVariables : public QObject
{
    Q_OBJECT

private slots:
    void namesPathsAndTypes_data();
    void namesPathsAndTypes();
    void parameterWrites();
    void elementOffsets_data();
    void elementOffsets();
    void handlesShareTheDeviceSubscription();
    void valueClass();
    void detachedWrappersLetGo();
};

void tst_SimulinkVariables::namesPathsAndTypes_data()
{
    QTest::addColumn<int>("nodeType");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("variableType");
    QTest::addColumn<bool>("highlighted");
    QTest::newRow("signal") << 3 << "B"
                            << "signal" << int(Signal) << false;
    QTest::newRow("state, marker in lower case") << 5 << "nimbrelhighlighteditems"
                                                 << "state" << int(State) << true;
    QTest::newRow("root input, mixed case") << 7 << "x_NimbrelHIGHLIGHTEDitems"
                                            << "signal" << int(RootInput) << true;
    QTest::newRow("root output") << 8 << "B"
                                 << "signal" << int(RootOutput) << false;
}

void tst_SimulinkVariables::namesPathsAndTypes()
{
    QFETCH(int, nodeType);
    QFETCH(QString, block);
    QFETCH(QString, type);
    QFETCH(int, variableType);
    QFETCH(bool, highlighted);
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "root");
    auto *b = IModelNode::insertChild(
        &root, "root/A", std::make_unique<BlockNode>(&owner, nullptr, block.toStdString()));
    const uint8_t varTypes[] = { 0, 0, 0, 1, 0, 4, 0, 5, 6 };
    auto *n = IModelNode::addChild(
        b,
        std::make_unique<BasicStreamableNode>(nodeType, varTypes[nodeType], &owner, b, 1, 0,
                                              makeDataType(codecTables(0, 8), 0, 0),
                                              Dimensions({ 1 }, 0), 10, "speed", "2"));
    SimulinkSignal s(nullptr, static_cast<StreamableNode *>(n));
    QCOMPARE(s.getName(), QString("speed"));
    QCOMPARE(s.getPath(), "root/A/" + block + "/2");
    QCOMPARE(s.getParentPath(), "root/A/" + block);
    QCOMPARE(s.getType(), type);
    QCOMPARE(int(s.getVariableType()), variableType);
    QCOMPARE(s.isHighlighted(), highlighted);
    QCOMPARE(s.getCollapsedState(), QString("collapsed"));
    QCOMPARE(s.getODR(), 10);
}

void tst_SimulinkVariables::parameterWrites()
{
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "root");
    ModelParamNode node(&owner, &root, 3, 0, makeDataType(codecTables(0, 8), 0, 0),
                        doubles({ 1, 2, 3, 4, 5, 6, 7, 8 }, Dimensions({ 8 }, 1)), "k", "k");
    SimulinkParameter p(nullptr, &node);
    QCOMPARE(p.getType(), QString("parameter"));
    QCOMPARE(int(p.getVariableType()), int(ModelParameter));
    QSignalSpy data(&p, &SimulinkParameter::currentDataChanged);
    QSignalSpy sync(&p, &SimulinkParameter::syncStatusChanged);
    QVERIFY(p.isSynced());
    p.setValue("7", 2.5);
    QCOMPARE(owner.parameters.size(), 1);
    QCOMPARE(int(owner.parameters[0].elementIndex), 0);
    QVERIFY(!p.isSynced());
    QCOMPARE(data.size(), 1);
    QCOMPARE(data[0][0].toDouble(), 1.0); // not confirmed yet
    node.valueWritten(0);
    QVERIFY(p.isSynced());
    QCOMPARE(p.currentValue(), 2.5);
    QCOMPARE(sync.size(), 2);
}

void tst_SimulinkVariables::elementOffsets_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("layout");
    QTest::addColumn<QList<int>>("indexes");
    QTest::addColumn<int>("offset"); // -1: refused
    QTest::newRow("vector, column 2") << QList<int>{ 4 } << 1 << QList<int>{ 0, 2 } << 16;
    QTest::newRow("vector, one index") << QList<int>{ 4 } << 1 << QList<int>{ 3 } << 24;
    QTest::newRow("vector, past the end") << QList<int>{ 4 } << 1 << QList<int>{ 0, 4 } << -1;
    QTest::newRow("vector, row 1") << QList<int>{ 4 } << 1 << QList<int>{ 1, 0 } << -1;
    QTest::newRow("3x2 column-major (2,1)") << QList<int>{ 3, 2 } << 3 << QList<int>{ 2, 1 } << 40;
    QTest::newRow("3x2 row-major (2,1)") << QList<int>{ 3, 2 } << 2 << QList<int>{ 2, 1 } << 40;
    QTest::newRow("3x2 row-major (1,0)") << QList<int>{ 3, 2 } << 2 << QList<int>{ 1, 0 } << 16;
    QTest::newRow("3x2, column past") << QList<int>{ 3, 2 } << 3 << QList<int>{ 0, 2 } << -1;
    QTest::newRow("negative") << QList<int>{ 3, 2 } << 3 << QList<int>{ -1, 0 } << -1;
    QTest::newRow("size 0") << QList<int>{ 0 } << 1 << QList<int>{ 0, 0 } << -1;
    QTest::newRow("scalar") << QList<int>{ 1 } << 0 << QList<int>{ 0, 0 } << 0;
}

void tst_SimulinkVariables::elementOffsets()
{
    QFETCH(QList<int>, sizes);
    QFETCH(int, layout);
    QFETCH(QList<int>, indexes);
    QFETCH(int, offset);
    RecordingOwner owner;
    BasicStreamableNode n(
        3, 1, &owner, nullptr, 1, 0, makeDataType(codecTables(0, 8), 0, 0),
        Dimensions(std::vector<uint16_t>(sizes.begin(), sizes.end()), uint8_t(layout)), 10, "v",
        "0");
    SimulinkSignal s(nullptr, &n);
    if (offset < 0)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("."));
    const auto got = s.elementOffset(indexes);
    QCOMPARE(got.has_value(), offset >= 0);
    if (got)
        QCOMPARE(int(*got), offset);
}

void tst_SimulinkVariables::handlesShareTheDeviceSubscription()
{
    RecordingOwner owner;
    BasicStreamableNode n(3, 1, &owner, nullptr, 4, 0, makeDataType(codecTables(0, 8), 0, 0),
                          Dimensions({ 4 }, 1), 10, "v", "0");
    SimulinkSignal s(nullptr, &n);
    ActiveScalar a(nullptr, 8, 10, 100, { 1.0 });
    ActiveScalar b(nullptr, 8, 10, 100, { 1.0 });
    const int ha = s.addScalar(8, -1, &a);
    const int hb = s.addScalar(8, -1, &b);
    QCOMPARE(ha, 0);
    QCOMPARE(hb, 1);
    QCOMPARE(owner.requests(), QStringList{ "10@8" });
    n.onStreamAcknowledged(8);
    const double three = 3.0;
    n.onValue(8, std::as_bytes(std::span(&three, 1)), 5000);
    QCOMPARE(a.samples().rawCount(), 1u);
    QCOMPARE(b.samples().rawCount(), 1u);
    s.removeScalar(ha);
    QCOMPARE(owner.requests(), QStringList{ "10@8" }); // b still needs the stream
    s.removeScalar(-1);
    s.removeScalar(42);
    s.removeScalar(hb);
    QCOMPARE(owner.requests(), (QStringList{ "10@8", "-1@8" }));
}

void tst_SimulinkVariables::valueClass()
{
    RecordingOwner owner;
    BasicStreamableNode n(3, 1, &owner, nullptr, 4, 0, makeDataType(codecTables(0, 8), 0, 0),
                          Dimensions({ 1 }, 0), 10, "v", "0");
    SimulinkSignal s(nullptr, &n);
    ActiveScalar a(nullptr, 0, 10, 100, { 1.0 });
    s.addScalar(0, 10, &a);
    n.onStreamAcknowledged(0);
    QSignalSpy changes(&s, &SimulinkSignal::valueClassChanged);
    const double values[]
        = { std::nan(""), 1.5, 2.5, 0.0, 1e-310, -std::numeric_limits<double>::infinity() };
    const int classes[] = { 2, -1, -1, 0, -2, 1 };
    uint64_t t = 1;
    for (int i = 0; i < 6; ++i) {
        n.onValue(0, std::as_bytes(std::span(&values[i], 1)), t++);
        QCOMPARE(s.getValueClass(), classes[i]);
    }
    QCOMPARE(changes.size(), 5); // 1.5 then 2.5: one change
}

void tst_SimulinkVariables::detachedWrappersLetGo()
{
    RecordingOwner owner;
    auto node = std::make_unique<BasicStreamableNode>(3, 1, &owner, nullptr, 4, 0,
                                                      makeDataType(codecTables(0, 8), 0, 0),
                                                      Dimensions({ 1 }, 0), 10, "v", "0");
    SimulinkSignal s(nullptr, node.get());
    ActiveScalar a(nullptr, 0, 10, 100, { 1.0 });
    s.addScalar(0, 10, &a);
    node->onStreamAcknowledged(0);
    s.detach();
    const double three = 3.0;
    node->onValue(0, std::as_bytes(std::span(&three, 1)), 7);
    QCOMPARE(a.samples().rawCount(), 0u);
    node.reset();
    QCOMPARE(s.getName(), QString("v"));
    QVERIFY(!s.elementOffset({ 0 }));
    s.removeScalar(0);
    QCOMPARE(s.nodeIndex(), 0);
}

QTEST_GUILESS_MAIN(tst_SimulinkVariables)
#include "tst_simulinkVariables.moc"
