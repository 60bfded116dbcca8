// The model tree: Simulink path escaping, insertion and look-up by path, numbered equal names,
// element strides, and parameter writes with their confirmations.
#include "BasicNode.h"
#include "CodecTables.h"
#include "ModelPath.h"
#include "ParameterNode.h"
#include "RecordingOwner.h"
#include "StructElementNode.h"

#include <QTest>

using namespace monitoring;

namespace {

QByteArray bytesOf(const void *p, size_t n)
{
    return QByteArray(static_cast<const char *>(p), qsizetype(n));
}

ValueBuffer doubles(std::vector<double> values, Dimensions dims)
{
    return ValueBuffer(reinterpret_cast<const std::byte *>(values.data()), 8, std::move(dims));
}

} // namespace

class tst_ModelTree : public QObject
{
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void insertAndFind();
    void equalNamesAreNumbered();
    void strides_data();
    void strides();
    void parameterWrites();
    void complexParameterWrite();
    void parameterWithoutElements();
    void busElementOffset();
};

void tst_ModelTree::paths_data()
{
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("escape") << "escape"
                            << "x/y" << QStringList{ "x//y" };
    QTest::newRow("escape, none") << "escape"
                                  << "xy" << QStringList{ "xy" };
    QTest::newRow("unescape") << "unescape"
                              << "x//y" << QStringList{ "x/y" };
    QTest::newRow("unescape, lone slash") << "unescape"
                                          << "a/b" << QStringList{ "ab" };
    QTest::newRow("split") << "split"
                           << "a/x//y/b" << QStringList{ "a", "x//y/b", "1" };
    QTest::newRow("split, none") << "split"
                                 << "x//y" << QStringList{ "x//y", "", "0" };
    QTest::newRow("split, trailing slash") << "split"
                                           << "a/" << QStringList{ "a", "", "1" };
    QTest::newRow("split, three slashes") << "split"
                                          << "a///b" << QStringList{ "a//", "b", "1" };
    QTest::newRow("last") << "last"
                          << "root/x//y" << QStringList{ "root", "x//y", "1" };
    QTest::newRow("last, none") << "last"
                                << "x//y" << QStringList{ "", "x//y", "0" };
    QTest::newRow("last, leading slash") << "last"
                                         << "/a" << QStringList{ "", "a", "1" };
    QTest::newRow("last, three parts") << "last"
                                       << "r/a/b" << QStringList{ "r/a", "b", "1" };
    QTest::newRow("tail") << "tail"
                          << "model/A/B" << QStringList{ "A/B" };
    QTest::newRow("tail, none") << "tail"
                                << "model" << QStringList{ "" };
}

void tst_ModelTree::paths()
{
    QFETCH(QString, op);
    QFETCH(QString, input);
    QFETCH(QStringList, expected);
    const std::string in = input.toStdString();
    QStringList got;
    auto q = [](std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); };
    if (op == "escape")
        got << q(escapeModelPath(in));
    else if (op == "unescape")
        got << q(unescapeModelPath(in));
    else if (op == "tail")
        got << q(modelPathTail(in));
    else {
        const PathSplit s = op == "split" ? splitModelPath(in) : splitModelPathLast(in);
        got << q(s.first) << q(s.second) << QString::number(s.found);
    }
    QCOMPARE(got, expected);
}

void tst_ModelTree::insertAndFind()
{
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "root");
    auto *b1 = IModelNode::insertChild(&root, "root",
                                       std::make_unique<BlockNode>(&owner, nullptr, "B1"));
    QCOMPARE(b1->getParent(), &root);
    auto *b = IModelNode::insertChild(&root, "root/A/x//y",
                                      std::make_unique<BlockNode>(&owner, nullptr, "B"));
    // The first component is the model itself and is not compared.
    auto *b2 = IModelNode::insertChild(&root, "other/A/x//y",
                                       std::make_unique<BlockNode>(&owner, nullptr, "B2"));
    QCOMPARE(b->getParent(), b2->getParent());
    QCOMPARE(root.getChildren().size(), 2u); // B1 and the subsystem A
    const IModelNode *xy = b->getParent();
    QCOMPARE(xy->nodeType(), 1);
    QCOMPARE(xy->getKeyName(), std::string("x/y"));
    QCOMPARE(xy->getParent()->getKeyName(), std::string("A"));

    auto *signal = IModelNode::addChild(
        b,
        std::make_unique<BasicStreamableNode>(3, 1, &owner, b, 1, 0, nullptr, Dimensions({ 1 }, 0),
                                              10, "speed", "0"));
    QCOMPARE(IModelNode::pathText(signal), std::string("root/A/x//y/B/0"));
    QCOMPARE(IModelNode::findByPath(&root, "root/A/x//y/B/0"), signal);
    QCOMPARE(IModelNode::findByPath(&root, "anything/A/x//y/B/0"), signal);
    QCOMPARE(IModelNode::findByPath(&root, "root"), &root);
    QCOMPARE(IModelNode::findByPath(&root, "root/A/x/y"), nullptr);
    QCOMPARE(IModelNode::findChild(&root, "A/x//y"), xy);
}

void tst_ModelTree::equalNamesAreNumbered()
{
    ModelNode root(nullptr, nullptr, "m");
    QList<IModelNode *> outs;
    for (int i = 0; i < 3; ++i)
        outs << IModelNode::addChild(&root, std::make_unique<BlockNode>(nullptr, &root, "out"));
    QCOMPARE(outs[0]->getKeyName(), std::string("out####0"));
    QCOMPARE(outs[1]->getKeyName(), std::string("out####1"));
    QCOMPARE(outs[2]->getKeyName(), std::string("out####2"));
    QCOMPARE(outs[2]->baseName(), std::string_view("out"));
    QCOMPARE(outs[2]->nameSuffix(), std::string_view("2"));
    QCOMPARE(IModelNode::findChild(&root, "out"), nullptr);
    QCOMPARE(IModelNode::findChild(&root, "out####1"), outs[1]);
    QCOMPARE(IModelNode::pathText(outs[1]), std::string("m/out####1"));

    // A suffix that reads as no number counts as 0.
    auto *odd = IModelNode::addChild(&root, std::make_unique<BlockNode>(nullptr, &root, "odd"));
    IModelNode::setNameSuffix(odd, "x7");
    auto *next = IModelNode::addChild(&root, std::make_unique<BlockNode>(nullptr, &root, "odd"));
    QCOMPARE(next->getKeyName(), std::string("odd####1"));
    auto *big = IModelNode::addChild(&root, std::make_unique<BlockNode>(nullptr, &root, "big"));
    IModelNode::setNameSuffix(big, "99999999999");
    QCOMPARE(IModelNode::addChild(&root, std::make_unique<BlockNode>(nullptr, &root, "big"))
                 ->getKeyName(),
             std::string("big####1"));
}

void tst_ModelTree::strides_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<int>("layout");
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("strides");
    QTest::newRow("scalar") << QList<int>{ 1 } << 0 << 1 << QList<int>{ 0 };
    QTest::newRow("vector") << QList<int>{ 5 } << 1 << 5 << QList<int>{ 1 };
    QTest::newRow("vector, two sizes") << QList<int>{ 5, 1 } << 1 << 5 << QList<int>{ 1, 0 };
    QTest::newRow("3x2 column-major") << QList<int>{ 3, 2 } << 3 << 6 << QList<int>{ 1, 3 };
    QTest::newRow("3x2 row-major") << QList<int>{ 3, 2 } << 2 << 6 << QList<int>{ 2, 1 };
    QTest::newRow("3x2 any dimensions") << QList<int>{ 3, 2 } << 4 << 6 << QList<int>{ 1, 3 };
    QTest::newRow("unknown layout") << QList<int>{ 3, 2 } << 9 << 6 << QList<int>{ 0, 0 };
    // Matrix layouts with one size have no second size to stride by.
    QTest::newRow("row-major, one size") << QList<int>{ 4 } << 2 << 4 << QList<int>{ 1 };
    QTest::newRow("column-major, one size") << QList<int>{ 4 } << 3 << 4 << QList<int>{ 1 };
    QTest::newRow("size 0") << QList<int>{ 0, 3 } << 3 << 0 << QList<int>{ 1, 0 };
}

void tst_ModelTree::strides()
{
    QFETCH(QList<int>, sizes);
    QFETCH(int, layout);
    QFETCH(int, count);
    QFETCH(QList<int>, strides);
    std::vector<uint16_t> s(sizes.begin(), sizes.end());
    const Dimensions d(s, uint8_t(layout));
    QCOMPARE(int(d.elementCount()), count);
    QCOMPARE(QList<int>(d.strides().begin(), d.strides().end()), strides);
    // Every index per dimension inside the sizes names an element inside the value, and the
    // value's element views never reach beyond it.
    std::vector<double> values(size_t(count), 1.0);
    const ValueBuffer buffer = doubles(values, d);
    uint32_t e = 0;
    for (uint32_t i = 0; i < 8; ++i) {
        for (uint32_t j = 0; j < 8; ++j) {
            if (d.elementIndex({ i, j }, &e))
                QVERIFY(e < d.elementCount() && buffer.element(e).size() == 8);
        }
    }
    QVERIFY(buffer.element(uint32_t(count)).empty());
    QCOMPARE(d.elementIndex({ 0, 0 }, &e), count > 0);

    Dimensions moved(d);
    const Dimensions taken(std::move(moved));
    QCOMPARE(taken, d);
    QCOMPARE(moved.elementCount(), 0u);
    QVERIFY(moved.sizes().empty());
}

void tst_ModelTree::parameterWrites()
{
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "m");
    const auto codec = makeDataType(codecTables(0, 8), 0, 0);
    auto *p = static_cast<ParameterNode *>(IModelNode::addChild(
        &root,
        std::make_unique<ModelParamNode>(&owner, &root, 9, 1, codec,
                                         doubles({ 1.0 }, Dimensions({ 1 }, 0)), "k", "k")));
    int changed = 0;
    p->setValueChangedCallback([&] { ++changed; });

    QVERIFY(p->setValue(0, 3.5));
    QCOMPARE(owner.parameters.size(), 1);
    // struct.pack('<HHHHBBd8x', 9, 1, 0, 0, 0, 2, 3.5)
    QCOMPARE(bytesOf(&owner.parameters[0], 26).toHex(),
             QByteArray("090001000000000000020000000000000c400000000000000000"));
    QCOMPARE(p->pendingWrites(), std::vector<uint32_t>{ 0 });
    QCOMPARE(p->valueAt(0), 1.0); // current values wait for the device
    QCOMPARE(changed, 1);

    // Two quick writes: one confirmation leaves one pending.
    p->setValue(0, 4.0);
    p->valueWritten(0);
    QCOMPARE(p->pendingWrites(), std::vector<uint32_t>{ 0 });
    QCOMPARE(p->valueAt(0), 4.0); // the written values hold the element's last write
    QCOMPARE(owner.rawRequests, QList<int>{ 3 });
    QCOMPARE(changed, 3);

    // Fresh raw data equal to the current values drops the pending write without a callback.
    p->refreshValues(doubles({ 4.0 }, Dimensions({ 1 }, 0)));
    QVERIFY(p->pendingWrites().empty());
    QCOMPARE(changed, 3);
    // The next confirmation finds nothing pending, calls back and asks for raw data again.
    p->valueWritten(0);
    QCOMPARE(changed, 4);
    QCOMPARE(owner.rawRequests, (QList<int>{ 3, 3 }));
    p->refreshValues(doubles({ 8.0 }, Dimensions({ 1 }, 0)));
    QCOMPARE(changed, 5);
    QCOMPARE(p->valueAt(0), 8.0);

    // A block parameter sends kind byte 0 and asks for raw data of kind 2.
    BlockParamNode bp(&owner, &root, 4, 0, codec, doubles({ 0.0, 0.0 }, Dimensions({ 2 }, 1)), "g",
                      "g");
    bp.setValue(1, -2.0);
    QCOMPARE(int(owner.parameters.last().paramKind), 0);
    QCOMPARE(int(owner.parameters.last().dimensionLayout), 1);
    QCOMPARE(int(owner.parameters.last().elementIndex), 1);
    bp.valueWritten(1);
    QCOMPARE(bp.valueAt(1), -2.0);
    QCOMPARE(owner.rawRequests.last(), 2);
}

void tst_ModelTree::complexParameterWrite()
{
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "m");
    const auto codec = makeDataType(codecTables(4, 4, true), 0, 0); // complex int16
    const int16_t initial[2] = { 5, -6 };
    ModelParamNode p(
        &owner, &root, 2, 0, codec,
        ValueBuffer(reinterpret_cast<const std::byte *>(initial), 4, Dimensions({ 1 }, 0)), "c",
        "c");
    // A plain value replaces the real part and keeps the imaginary one.
    QVERIFY(p.setValue(0, 7.0));
    QCOMPARE(bytesOf(owner.parameters.last().value, 16).toHex(),
             QByteArray("0700faff000000000000000000000000"));
    QVERIFY(p.setComplexValue(0, -1.0, 300.0));
    QCOMPARE(bytesOf(owner.parameters.last().value, 4).toHex(), QByteArray("ffff2c01"));
    p.valueWritten(0);
    // The written values hold the last write of the element.
    QCOMPARE(p.valueAt(0), std::sqrt(1.0 + 300.0 * 300.0));
}

void tst_ModelTree::parameterWithoutElements()
{
    RecordingOwner owner;
    ModelNode root(&owner, nullptr, "m");
    const auto codec = makeDataType(codecTables(0, 8), 0, 0);
    ModelParamNode p(&owner, &root, 2, 0, codec, doubles({}, Dimensions({ 0 }, 1)), "e", "e");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("has no element\\s+0"));
    QVERIFY(!p.setValue(0, 1.0));
    QVERIFY(owner.parameters.isEmpty());
    QVERIFY(p.pendingWrites().empty());
    QCOMPARE(p.valueAt(0), 0.0);
    p.valueWritten(0);
    QCOMPARE(owner.rawRequests, QList<int>{ 3 });
}

void tst_ModelTree::busElementOffset()
{
    ModelNode root(nullptr, nullptr, "m");
    auto *outer
        = IModelNode::addChild(&root,
                               std::make_unique<StructNode>(9, nullptr, &root, 3, 0, 0,
                                                            Dimensions({ 1 }, 0), 10, "bus", "1"));
    auto *inner = IModelNode::addChild(outer,
                                       std::make_unique<StructNode>(9, nullptr, outer, 3, 0, 8,
                                                                    Dimensions({ 1 }, 0), 10,
                                                                    "inner", "inner"));
    auto *leaf = static_cast<StructElementNode *>(IModelNode::addChild(
        inner,
        std::make_unique<StructElementNode>(nullptr, inner, 3, 0, nullptr, Dimensions({ 1 }, 0), 10,
                                            "x", "x", 4)));
    QCOMPARE(leaf->elementOffset(), 12);
    QCOMPARE(leaf->nodeType(), 12);
    QCOMPARE(int(leaf->variableType()), 1);
    QVERIFY(inner->isStruct());
}

QTEST_GUILESS_MAIN(tst_ModelTree)
#include "tst_modelTree.moc"
