#include "QOlm.h"

#include <QAbstractItemModelTester>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExpression>
#include <QQmlListReference>
#include <QQuickItem>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <map>
#include <memory>

// Item class of most tests: two notified properties, one without a notify signal and two that
// share one notify signal. Property indices: 0 objectName, 1 name, 2 value, 3 silent, 4 left,
// 5 right; so roles 257..262.
class Widget : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged)
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int silent MEMBER m_silent)
    Q_PROPERTY(int left MEMBER m_left NOTIFY geometryChanged)
    Q_PROPERTY(int right MEMBER m_right NOTIFY geometryChanged)

public:
    explicit Widget(QObject *parent = nullptr)
        : QObject(parent)
    { }
    Widget(const QString &name, int value, QObject *parent = nullptr)
        : QObject(parent)
        , m_name(name)
        , m_value(value)
    {
        setObjectName(name);
    }

    QString name() const { return m_name; }
    void setName(const QString &name)
    {
        if (name == m_name)
            return;
        m_name = name;
        Q_EMIT nameChanged();
    }
    int value() const { return m_value; }
    void setValue(int value)
    {
        if (value == m_value)
            return;
        m_value = value;
        Q_EMIT valueChanged();
    }

Q_SIGNALS:
    void nameChanged();
    void valueChanged();
    void geometryChanged();

private:
    QString m_name;
    int m_value = 0;
    int m_silent = 0;
    int m_left = 0;
    int m_right = 0;
};

class OtherThing : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
};

// Properties 1 and 2 use names QML keeps for itself.
class Reserved : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int index MEMBER m_index CONSTANT)
    Q_PROPERTY(int model MEMBER m_model CONSTANT)
    Q_PROPERTY(QString label MEMBER m_label CONSTANT)
public:
    using QObject::QObject;

private:
    int m_index = 0;
    int m_model = 0;
    QString m_label;
};

class WidgetModel : public qolm::QOlm<Widget>
{
    Q_OBJECT
public:
    explicit WidgetModel(QObject *parent = nullptr, const QList<QByteArray> &exposed = {},
                         const QByteArray &display = {})
        : QOlm(parent, exposed, display)
    { }
};

class ObjectModel : public qolm::QOlm<QObject>
{
    Q_OBJECT
public:
    using QOlm::QOlm;
};

namespace {

constexpr int RoleObjectName = 257;
constexpr int RoleName = 258;
constexpr int RoleValue = 259;
constexpr int RoleSilent = 260;
constexpr int RoleLeft = 261;
constexpr int RoleRight = 262;

QString nameOf(QObject *object)
{
    return object ? object->objectName() : QStringLiteral("null");
}

QStringList namesOf(const qolm::QOlm<Widget> &model)
{
    QStringList names;
    for (Widget *item : model.toList())
        names << item->name();
    return names;
}

// Writes every signal of the model in the order it comes, so a table can state the exact story
// (count change inside the insertion, per-item signals after it...).
void record(qolm::QOlmBase *model, QStringList *events)
{
    QObject::connect(model, &QAbstractItemModel::rowsInserted, model,
                     [events](const QModelIndex &, int first, int last) {
                         *events << QStringLiteral("rowsInserted %1 %2").arg(first).arg(last);
                     });
    QObject::connect(model, &QAbstractItemModel::rowsRemoved, model,
                     [events](const QModelIndex &, int first, int last) {
                         *events << QStringLiteral("rowsRemoved %1 %2").arg(first).arg(last);
                     });
    QObject::connect(
        model, &QAbstractItemModel::rowsMoved, model,
        [events](const QModelIndex &, int first, int last, const QModelIndex &, int row) {
            *events << QStringLiteral("rowsMoved %1 %2 %3").arg(first).arg(last).arg(row);
        });
    QObject::connect(model, &qolm::QOlmBase::countChanged, model,
                     [events](int count) { *events << QStringLiteral("count %1").arg(count); });
    QObject::connect(model, &qolm::QOlmBase::objectInserted, model,
                     [events](QObject *object, int index) {
                         *events << QStringLiteral("inserted %1 %2").arg(nameOf(object)).arg(index);
                     });
    QObject::connect(model, &qolm::QOlmBase::objectRemoved, model,
                     [events](QObject *object, int index) {
                         *events << QStringLiteral("removed %1 %2").arg(nameOf(object)).arg(index);
                     });
    QObject::connect(
        model, &qolm::QOlmBase::objectMoved, model, [events](QObject *object, int from, int to) {
            *events << QStringLiteral("moved %1 %2 %3").arg(nameOf(object)).arg(from).arg(to);
        });
}

// Expected warnings: exact text, or a pattern when an entry starts with '~' (object addresses).
void expectWarnings(const QStringList &warnings)
{
    for (const QString &warning : warnings) {
        if (warning.startsWith(u'~'))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning.mid(1)));
        else
            QTest::ignoreMessage(QtWarningMsg, warning.toUtf8().constData());
    }
}

QString notInList(const QString &name)
{
    return QStringLiteral("~^The QObject Widget\\(0x[0-9a-f]+, name = \"%1\"\\) isn't in this "
                          "qolm::QOlm list\\.$")
        .arg(name);
}

const QString kOutOfBound = QStringLiteral("Can't remove an object whose index is out of bound");

// Listed items a, b, c and spare items x, y, all owned by `holder` so that the model never
// deletes them; the tester guards every change of the model.
struct Fixture
{
    QObject holder;
    std::map<QString, Widget *> items;
    OtherThing *other = new OtherThing(&holder);
    WidgetModel model;
    QAbstractItemModelTester tester{ &model,
                                     QAbstractItemModelTester::FailureReportingMode::Fatal };
    QStringList events;

    explicit Fixture(const QStringList &initial)
    {
        other->setObjectName(QStringLiteral("other"));
        int value = 1;
        for (const char *name : { "a", "b", "c", "x", "y" })
            items[QString::fromLatin1(name)]
                = new Widget(QString::fromLatin1(name), value++, &holder);
        for (const QString &name : initial)
            model.append(items[name]);
        record(&model, &events);
    }
    Widget *operator[](const char *name) { return items.at(QString::fromLatin1(name)); }
};

} // namespace

using Operation = std::function<void(Fixture &)>;
Q_DECLARE_METATYPE(Operation)

class TestQOlm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        qmlRegisterType<WidgetModel>("NimbrelTest", 1, 0, "WidgetModel");
        qmlRegisterType<ObjectModel>("NimbrelTest", 1, 0, "ObjectModel");
        qmlRegisterType<Widget>("NimbrelTest", 1, 0, "Widget");
        qmlRegisterType<OtherThing>("NimbrelTest", 1, 0, "OtherThing");
    }

    void operations_data();
    void operations();
    void javaScript_data();
    void javaScript();
    void roles();
    void propertyChange_data();
    void propertyChange();
    void propertyChangeRowAfterEdits();
    void ownership();
    void ownerDeletesItem();
    void itemConnections();
    void defaultChildren();
    void listView();
};

void TestQOlm::operations_data()
{
    QTest::addColumn<QStringList>("initial");
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("warnings");

    const QStringList abc{ "a", "b", "c" };
    const auto row = [&](const char *tag, const QStringList &initial, Operation op,
                         const QStringList &expected, const QStringList &events,
                         const QStringList &warnings = {}) {
        QTest::newRow(tag) << initial << op << expected << events << warnings;
    };

    // Insertion
    row("append one", abc, [](Fixture &f) { f.model.append(f["x"]); }, { "a", "b", "c", "x" },
        { "count 4", "rowsInserted 3 3", "inserted x 3" });
    row("append list", abc,
        [](Fixture &f) {
            f.model.append(QList<Widget *>{ f["x"], f["y"] });
        },
        { "a", "b", "c", "x", "y" },
        { "count 5", "rowsInserted 3 4", "inserted x 3", "inserted y 4" });
    row("append list skips null", abc,
        [](Fixture &f) {
            f.model.append(QList<Widget *>{ f["x"], nullptr });
        },
        { "a", "b", "c", "x" }, { "count 4", "rowsInserted 3 3", "inserted x 3" },
        { "Can't append a null Object" });
    row("append null", abc, [](Fixture &f) { f.model.append(static_cast<Widget *>(nullptr)); }, abc,
        {}, { "Can't append a null Object" });
    row("append empty list", abc, [](Fixture &f) { f.model.append(QList<Widget *>{}); }, abc, {},
        { "Can't append an empty list" });
    row("append to empty", {}, [](Fixture &f) { f.model.append(f["x"]); }, { "x" },
        { "count 1", "rowsInserted 0 0", "inserted x 0" });
    row("prepend list", abc,
        [](Fixture &f) {
            f.model.prepend(QList<Widget *>{ f["x"], f["y"] });
        },
        { "x", "y", "a", "b", "c" },
        { "count 5", "rowsInserted 0 1", "inserted x 0", "inserted y 1" });
    row("prepend empty list", abc, [](Fixture &f) { f.model.prepend(QList<Widget *>{}); }, abc, {},
        { "Can't prepend an empty list" });
    row("insert middle", abc, [](Fixture &f) { f.model.insert(1, f["x"]); }, { "a", "x", "b", "c" },
        { "count 4", "rowsInserted 1 1", "inserted x 1" });
    row("insert past end", abc, [](Fixture &f) { f.model.insert(10, f["x"]); },
        { "a", "b", "c", "x" }, { "count 4", "rowsInserted 3 3", "inserted x 3" },
        { "index  10  is greater than count  3 .  The item will be inserted at the end of the "
          "list" });
    row("insert negative", abc, [](Fixture &f) { f.model.insert(-2, f["x"]); },
        { "x", "a", "b", "c" }, { "count 4", "rowsInserted 0 0", "inserted x 0" },
        { "index  -2  is lower than 0.  The item will be inserted at the beginning of the list" });
    row("insert list past end", abc,
        [](Fixture &f) {
            f.model.insert(10, QList<Widget *>{ f["x"], f["y"] });
        },
        { "a", "b", "c", "x", "y" },
        { "count 5", "rowsInserted 3 4", "inserted x 3", "inserted y 4" },
        { "index  10  is greater than count  3 .  The item will be inserted at the end of the "
          "list" });
    row("insert list middle", abc,
        [](Fixture &f) {
            f.model.insert(2, QList<Widget *>{ f["x"], f["y"] });
        },
        { "a", "b", "x", "y", "c" },
        { "count 5", "rowsInserted 2 3", "inserted x 2", "inserted y 3" });
    row("insert empty list", abc, [](Fixture &f) { f.model.insert(10, QList<Widget *>{}); }, abc,
        {}, { "Can't insert an empty list" });
    row("insert null", abc, [](Fixture &f) { f.model.insert(1, static_cast<Widget *>(nullptr)); },
        abc, {}, { "Can't insert a null Object" });

    // Removal
    row("remove object", abc, [](Fixture &f) { f.model.remove(f["b"]); }, { "a", "c" },
        { "count 2", "rowsRemoved 1 1", "removed b 1" });
    row("remove list", abc,
        [](Fixture &f) {
            f.model.remove(QList<Widget *>{ f["a"], f["c"] });
        },
        { "b" },
        { "count 2", "rowsRemoved 0 0", "removed a 0", "count 1", "rowsRemoved 1 1",
          "removed c 1" });
    row("remove index", abc, [](Fixture &f) { f.model.remove(1); }, { "a", "c" },
        { "count 2", "rowsRemoved 1 1", "removed b 1" });
    row("remove range", abc, [](Fixture &f) { f.model.remove(0, 2); }, { "c" },
        { "count 1", "rowsRemoved 0 1", "removed a 0", "removed b 1" });
    row("remove all by range", abc, [](Fixture &f) { f.model.remove(0, 3); }, {},
        { "count 0", "rowsRemoved 0 2", "removed a 0", "removed b 1", "removed c 2" });
    row("remove range past end", abc, [](Fixture &f) { f.model.remove(2, 2); }, abc, {},
        { kOutOfBound });
    row("remove negative index", abc, [](Fixture &f) { f.model.remove(-1); }, abc, {},
        { kOutOfBound });
    row("remove count zero", abc, [](Fixture &f) { f.model.remove(1, 0); }, abc, {},
        { kOutOfBound });
    row("remove count negative", abc, [](Fixture &f) { f.model.remove(2, -1); }, abc, {},
        { kOutOfBound });
    row("remove from empty", {}, [](Fixture &f) { f.model.remove(0); }, {}, {}, { kOutOfBound });
    row("remove non-item", abc, [](Fixture &f) { f.model.remove(f["x"]); }, abc, {},
        { notInList("x"), kOutOfBound });
    row("remove null", abc, [](Fixture &f) { f.model.remove(static_cast<Widget *>(nullptr)); }, abc,
        {}, { "Fail to remove nullptr object from QOlm< Widget >" });
    row("clear", abc, [](Fixture &f) { f.model.clear(); }, {},
        { "count 0", "rowsRemoved 0 2", "removed a 0", "removed b 1", "removed c 2" });
    row("clear empty", {}, [](Fixture &f) { f.model.clear(); }, {}, {});

    // Moves
    row("move forward", abc, [](Fixture &f) { f.model.move(0, 1); }, { "b", "a", "c" },
        { "rowsMoved 0 0 2", "moved a 0 1" });
    row("move backward", abc, [](Fixture &f) { f.model.move(1, 0); }, { "b", "a", "c" },
        { "rowsMoved 1 1 0", "moved b 1 0" });
    row("move clamped", abc, [](Fixture &f) { f.model.move(0, 5); }, { "b", "c", "a" },
        { "rowsMoved 0 0 3", "moved a 0 2" },
        { "'to' 5  in move operation have been clamped to 2" });
    row("move clamped below", abc, [](Fixture &f) { f.model.move(2, -3); }, { "c", "a", "b" },
        { "rowsMoved 2 2 0", "moved c 2 0" },
        { "'to' -3  in move operation have been clamped to 0" });
    row("move same place", abc, [](Fixture &f) { f.model.move(2, 2); }, abc, {},
        { "Can't move object from 2 to 2 because from == to" });
    row("move from out of bound", abc, [](Fixture &f) { f.model.move(3, 0); }, abc, {},
        { "'From' 3 is out of bound" });
    row("move on empty", {}, [](Fixture &f) { f.model.move(0, 0); }, {}, {},
        { "'From' 0 is out of bound" });
    row("move single clamps to itself", { "a" }, [](Fixture &f) { f.model.move(0, 4); }, { "a" },
        {},
        { "'to' 4  in move operation have been clamped to 0",
          "Can't move object from 0 to 0 because from == to" });
    row("moveDown", abc, [](Fixture &f) { f.model.moveDown(1); }, { "a", "c", "b" },
        { "rowsMoved 1 1 3", "moved b 1 2" });
    row("moveNext", abc, [](Fixture &f) { f.model.moveNext(0); }, { "b", "a", "c" },
        { "rowsMoved 0 0 2", "moved a 0 1" });
    row("moveDown last", abc, [](Fixture &f) { f.model.moveDown(2); }, abc, {},
        { "The index is the last of the list or index is out of bound" });
    row("moveDown on empty", {}, [](Fixture &f) { f.model.moveDown(0); }, {}, {},
        { "The index is the last of the list or index is out of bound" });
    row("moveUp", abc, [](Fixture &f) { f.model.moveUp(2); }, { "a", "c", "b" },
        { "rowsMoved 2 2 1", "moved c 2 1" });
    row("movePrevious", abc, [](Fixture &f) { f.model.movePrevious(1); }, { "b", "a", "c" },
        { "rowsMoved 1 1 0", "moved b 1 0" });
    row("moveUp first", abc, [](Fixture &f) { f.model.moveUp(0); }, abc, {},
        { "The index is the first of the list or index is out of bound" });
    row("moveUp past end", abc, [](Fixture &f) { f.model.moveUp(3); }, abc, {},
        { "The index is the first of the list or index is out of bound" });

    // Changes the view must survive without a structural call from the model's user.
    row("property change", abc, [](Fixture &f) { f["b"]->setValue(42); }, abc, {});
    row("owner deletes item", abc, [](Fixture &f) { delete f["b"]; }, { "a", "c" },
        { "count 2", "rowsRemoved 1 1", "removed null 1" });
    row("owner deletes item listed twice", { "a", "b", "a" }, [](Fixture &f) { delete f["a"]; },
        { "b" },
        { "count 2", "rowsRemoved 2 2", "removed null 2", "count 1", "rowsRemoved 0 0",
          "removed null 0" });
}

void TestQOlm::operations()
{
    QFETCH(QStringList, initial);
    QFETCH(Operation, operation);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, events);
    QFETCH(QStringList, warnings);

    Fixture f(initial);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    expectWarnings(warnings);
    operation(f);

    QCOMPARE(namesOf(f.model), expected);
    QCOMPARE(f.model.count(), expected.size());
    QCOMPARE(f.model.rowCount(), expected.size());
    QCOMPARE(f.events, events);
    for (int row = 0; row < expected.size(); ++row)
        QCOMPARE(f.model.data(f.model.index(row), RoleName).toString(), expected.at(row));
}

void TestQOlm::javaScript_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("warnings");

    const QStringList abc{ "a", "b", "c" };
    const QString otherText
        = QStringLiteral("\"OtherThing\\(0x[0-9a-f]+, \\\\?\"other\\\\?\"\\)\"");

    QTest::newRow("append array with a stranger")
        << "model.append([x, other, y])"
        << "undefined" << QStringList{ "a", "b", "c", "x", "y" }
        << QStringList{ "count 5", "rowsInserted 3 4", "inserted x 3", "inserted y 4" }
        << QStringList{ "~^\"QOlm<Widget>\" : Fail to append  " + otherText
                        + " , item isn't a Widget derived class$" };
    QTest::newRow("append array with a number")
        << "model.append([x, 5])"
        << "undefined" << QStringList{ "a", "b", "c", "x" }
        << QStringList{ "count 4", "rowsInserted 3 3", "inserted x 3" }
        << QStringList{ "\"QOlm<Widget>\" : Fail to append  \"5\" , item isn't QObject" };
    QTest::newRow("append empty array")
        << "model.append([])"
        << "undefined" << abc << QStringList{} << QStringList{ "Can't append an empty list" };
    QTest::newRow("append stranger")
        << "model.append(other)"
        << "undefined" << abc << QStringList{}
        << QStringList{ "~^\"QOlm<Widget>\" : Fail to append " + otherText
                        + " , item isn't a Widget derived class$" };
    QTest::newRow("append number")
        << "model.append(7)"
        << "undefined" << abc << QStringList{}
        << QStringList{ "\"QOlm<Widget>\" : Fail to append \"7\" , item isn't a QObject, an "
                        "array of QObject" };
    QTest::newRow("prepend object")
        << "model.prepend(x)"
        << "undefined" << QStringList{ "x", "a", "b", "c" }
        << QStringList{ "count 4", "rowsInserted 0 0", "inserted x 0" } << QStringList{};
    QTest::newRow("prepend array")
        << "model.prepend([x, y])"
        << "undefined" << QStringList{ "x", "y", "a", "b", "c" }
        << QStringList{ "count 5", "rowsInserted 0 1", "inserted x 0", "inserted y 1" }
        << QStringList{};
    QTest::newRow("prepend string")
        << "model.prepend('q')"
        << "undefined" << abc << QStringList{}
        << QStringList{ "\"QOlm<Widget>\" : Fail to prepend \"q\" , item isn't a QObject, an "
                        "array of QObject" };
    QTest::newRow("insert array") << "model.insert(1, [x, y])"
                                  << "undefined" << QStringList{ "a", "x", "y", "b", "c" }
                                  << QStringList{ "count 5", "rowsInserted 1 2", "inserted x 1",
                                                  "inserted y 2" }
                                  << QStringList{};
    QTest::newRow("insert past end")
        << "model.insert(10, x)"
        << "undefined" << QStringList{ "a", "b", "c", "x" }
        << QStringList{ "count 4", "rowsInserted 3 3", "inserted x 3" }
        << QStringList{ "index  10  is greater than count  3 .  The item will be inserted at the "
                        "end of the list" };
    QTest::newRow("insert array with null")
        << "model.insert(0, [null, y])"
        << "undefined" << QStringList{ "y", "a", "b", "c" }
        << QStringList{ "count 4", "rowsInserted 0 0", "inserted y 0" }
        << QStringList{ "\"QOlm<Widget>\" : Fail to insert  \"null\" , item isn't QObject" };
    QTest::newRow("remove number")
        << "model.remove(1)"
        << "undefined" << QStringList{ "a", "c" }
        << QStringList{ "count 2", "rowsRemoved 1 1", "removed b 1" } << QStringList{};
    QTest::newRow("remove object")
        << "model.remove(c)"
        << "undefined" << QStringList{ "a", "b" }
        << QStringList{ "count 2", "rowsRemoved 2 2", "removed c 2" } << QStringList{};
    QTest::newRow("remove array")
        << "model.remove([a, 3, c])"
        << "undefined" << QStringList{ "b" }
        << QStringList{ "count 2", "rowsRemoved 0 0", "removed a 0",
                        "count 1", "rowsRemoved 1 1", "removed c 1" }
        << QStringList{ "\"QOlm<Widget>\" : Fail to remove \"3\" , item isn't QObject" };
    QTest::newRow("remove stranger")
        << "model.remove(other)"
        << "undefined" << abc << QStringList{}
        << QStringList{ "~^\"QOlm<Widget>\" : Fail to remove " + otherText
                        + " , item isn't a Widget derived class$" };
    QTest::newRow("remove string")
        << "model.remove('b')"
        << "undefined" << abc << QStringList{}
        << QStringList{ "\"QOlm<Widget>\" : Fail to remove \"b\" , item isn't a QObject, an "
                        "array of QObject or a number" };
    // ToInt32 would make these rows 1 and 1.
    QTest::newRow("remove fraction")
        << "model.remove(1.5)"
        << "undefined" << abc << QStringList{} << QStringList{ kOutOfBound };
    QTest::newRow("remove 2^32 + 1")
        << "model.remove(4294967297)"
        << "undefined" << abc << QStringList{} << QStringList{ kOutOfBound };
    QTest::newRow("move") << "model.move(0, 2)"
                          << "undefined" << QStringList{ "b", "c", "a" }
                          << QStringList{ "rowsMoved 0 0 3", "moved a 0 2" } << QStringList{};
    QTest::newRow("clear") << "model.clear()"
                           << "undefined" << QStringList{}
                           << QStringList{ "count 0", "rowsRemoved 0 2", "removed a 0",
                                           "removed b 1", "removed c 2" }
                           << QStringList{};
    QTest::newRow("get") << "model.get(1) === b"
                         << "true" << abc << QStringList{} << QStringList{};
    QTest::newRow("get role value") << "model.get(2).name"
                                    << "c" << abc << QStringList{} << QStringList{};
    QTest::newRow("get past end") << "model.get(3)"
                                  << "null" << abc << QStringList{}
                                  << QStringList{ "The index 3 is out of bound." };
    QTest::newRow("get not a number")
        << "model.get('abc')"
        << "null" << abc << QStringList{} << QStringList{ "The index nan is out of bound." };
    QTest::newRow("indexOf") << "model.indexOf(c)"
                             << "2" << abc << QStringList{} << QStringList{};
    QTest::newRow("indexOf non-item")
        << "model.indexOf(x)"
        << "-1" << abc << QStringList{} << QStringList{ notInList("x") };
    QTest::newRow("indexOf number")
        << "model.indexOf(3)"
        << "-1" << abc << QStringList{}
        << QStringList{ "\"QOlm<Widget>\" : Fail to get indexOf \"3\" , item isn't a QObject" };
    QTest::newRow("contains") << "model.contains(b) && !model.contains(x)"
                              << "true" << abc << QStringList{} << QStringList{};
    QTest::newRow("contains number")
        << "model.contains(1)"
        << "false" << abc << QStringList{}
        << QStringList{ "\"QOlm<Widget>\" : Fail to get indexOf \"1\" , item isn't a QObject" };
    QTest::newRow("counts") << "[model.count, model.length, model.size, "
                               "model.empty()].join()"
                            << "3,3,3,false" << abc << QStringList{} << QStringList{};
    QTest::newRow("roleForName") << "[model.roleForName('value'), model.roleForName('qtObject'), "
                                    "model.roleForName('nope')].join()"
                                 << "259,256,-1" << abc << QStringList{} << QStringList{};
}

void TestQOlm::javaScript()
{
    QFETCH(QString, script);
    QFETCH(QString, result);
    QFETCH(QStringList, expected);
    QFETCH(QStringList, events);
    QFETCH(QStringList, warnings);

    Fixture f({ "a", "b", "c" });
    QQmlEngine engine;
    QQmlEngine::setObjectOwnership(&f.model, QQmlEngine::CppOwnership);
    engine.rootContext()->setContextProperty(QStringLiteral("model"), &f.model);
    engine.rootContext()->setContextProperty(QStringLiteral("other"), f.other);
    QQmlEngine::setObjectOwnership(f.other, QQmlEngine::CppOwnership);
    for (const auto &[name, item] : f.items) {
        QQmlEngine::setObjectOwnership(item, QQmlEngine::CppOwnership);
        engine.rootContext()->setContextProperty(name, item);
    }

    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    expectWarnings(warnings);
    QQmlExpression expression(engine.rootContext(), nullptr, script);
    const QVariant value = expression.evaluate();
    QVERIFY2(!expression.hasError(), qPrintable(expression.error().toString()));
    const QString text = value.isValid()
        ? (value.isNull() ? QStringLiteral("null") : value.toString())
        : QStringLiteral("undefined");
    QCOMPARE(text, result);
    QCOMPARE(namesOf(f.model), expected);
    QCOMPARE(f.events, events);
}

void TestQOlm::roles()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    {
        WidgetModel model;
        QCOMPARE(model.roleNames(),
                 (QHash<int, QByteArray>{ { 256, "qtObject" },
                                          { RoleObjectName, "objectName" },
                                          { RoleName, "name" },
                                          { RoleValue, "value" },
                                          { RoleSilent, "silent" },
                                          { RoleLeft, "left" },
                                          { RoleRight, "right" } }));
    }
    {
        WidgetModel model(nullptr, { "value", "left" }, "name");
        QCOMPARE(model.roleNames(),
                 (QHash<int, QByteArray>{ { 0, "display" },
                                          { 256, "qtObject" },
                                          { RoleValue, "value" },
                                          { RoleLeft, "left" } }));
        QCOMPARE(model.roleForName("display"), 0);
        QCOMPARE(model.roleForName("name"), -1);

        QObject holder;
        auto *item = new Widget(QStringLiteral("w"), 5, &holder);
        model.append(item);
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        const QModelIndex first = model.index(0);
        QCOMPARE(model.data(first, Qt::DisplayRole).toString(), QStringLiteral("w"));
        QCOMPARE(model.data(first, 256).value<QObject *>(), item);
        QCOMPARE(model.data(first, RoleValue).toInt(), 5);
        QVERIFY(!model.data(first, RoleName).isValid()); // not exposed
        QVERIFY(!model.data(QModelIndex(), RoleValue).isValid());

        QVERIFY(model.setData(first, 7, RoleValue));
        QCOMPARE(item->value(), 7);
        QVERIFY(model.setData(first, QStringLiteral("renamed"), Qt::DisplayRole));
        QCOMPARE(item->name(), QStringLiteral("renamed"));
        QVERIFY(!model.setData(first, QVariant::fromValue<QObject *>(nullptr), 256));
        QVERIFY(!model.setData(first, 1, RoleName));
        QVERIFY(!model.setData(first, QStringLiteral("not a number"), RoleValue));
        QCOMPARE(item->value(), 7);

        QTest::ignoreMessage(QtWarningMsg, "The index 1 is out of bound.");
        QVERIFY(model.get(1) == nullptr);
    }
    {
        const char *reservedWarning
            = "Can't have \"%1\" as a role name in \"QOlm<Reserved>\" , because it's a "
              "blacklisted keywork in QML!. Please don't use any of the following words when "
              "declaring your Q_PROPERTY:(id, index, class, model, modelData)";
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QString::fromLatin1(reservedWarning).arg("index")));
        QTest::ignoreMessage(QtWarningMsg,
                             qPrintable(QString::fromLatin1(reservedWarning).arg("model")));
        qolm::QOlm<Reserved> model;
        // "label" keeps its own number (257 + 3) although two properties before it were skipped.
        QCOMPARE(model.roleNames(),
                 (QHash<int, QByteArray>{
                     { 256, "qtObject" }, { RoleObjectName, "objectName" }, { 260, "label" } }));
    }
}

void TestQOlm::propertyChange_data()
{
    QTest::addColumn<QList<QByteArray>>("exposed");
    QTest::addColumn<QByteArray>("display");
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QList<QList<int>>>("changes");

    const QList<QByteArray> all;
    QTest::newRow("notified") << all << QByteArray() << QByteArray("value") << QVariant(9)
                              << QList<QList<int>>{ { RoleValue } };
    QTest::newRow("display property") << all << QByteArray("name") << QByteArray("name")
                                      << QVariant("n") << QList<QList<int>>{ { RoleName, 0 } };
    QTest::newRow("other than display") << all << QByteArray("name") << QByteArray("value")
                                        << QVariant(9) << QList<QList<int>>{ { RoleValue } };
    QTest::newRow("objectName") << all << QByteArray() << QByteArray("objectName") << QVariant("o")
                                << QList<QList<int>>{ { RoleObjectName } };
    QTest::newRow("no notify signal")
        << all << QByteArray() << QByteArray("silent") << QVariant(9) << QList<QList<int>>{};
    QTest::newRow("shared notify signal")
        << all << QByteArray() << QByteArray("left") << QVariant(9)
        << QList<QList<int>>{ { RoleLeft, RoleRight } };
    QTest::newRow("not exposed") << QList<QByteArray>{ "value" } << QByteArray()
                                 << QByteArray("name") << QVariant("n") << QList<QList<int>>{};
}

void TestQOlm::propertyChange()
{
    QFETCH(QList<QByteArray>, exposed);
    QFETCH(QByteArray, display);
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QFETCH(QList<QList<int>>, changes);

    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QObject holder;
    WidgetModel model(nullptr, exposed, display);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Widget *removed = new Widget(QStringLiteral("r"), 0, &holder);
    model.append(QList<Widget *>{ new Widget(QStringLiteral("a"), 1, &holder),
                                  new Widget(QStringLiteral("b"), 2, &holder), removed });
    model.remove(removed);
    Widget *item = model.get(1);

    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    QVERIFY(item->setProperty(property.constData(), value));
    // An item that left the list no longer reaches the model.
    QVERIFY(removed->setProperty(property.constData(), value));

    QCOMPARE(spy.size(), changes.size());
    for (int i = 0; i < spy.size(); ++i) {
        QCOMPARE(spy.at(i).at(0).toModelIndex(), model.index(1));
        QCOMPARE(spy.at(i).at(1).toModelIndex(), model.index(1));
        QCOMPARE(spy.at(i).at(2).value<QList<int>>(), changes.at(i));
    }
}

// Whatever the list went through, a change names the item's first row, as a plain scan of the
// list finds it. A fixed-seed walk through every kind of edit, items listed twice included.
void TestQOlm::propertyChangeRowAfterEdits()
{
    QObject holder;
    WidgetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QList<Widget *> pool;
    for (int i = 0; i < 12; ++i)
        pool.append(new Widget(QString::number(i), i, &holder));
    QRandomGenerator random(20261211);
    int nextValue = 1000;

    for (int step = 0; step < 400; ++step) {
        const int count = model.count();
        Widget *some = pool.at(int(random.bounded(pool.size())));
        switch (random.bounded(7)) {
        case 0: model.append(some); break;
        case 1: model.insert(int(random.bounded(count + 1)), some); break;
        case 2:
            if (count > 1)
                model.move(int(random.bounded(count)), int(random.bounded(count)));
            break;
        case 3:
            if (count > 0)
                model.remove(int(random.bounded(count)));
            break;
        case 4:
            if (count > 0)
                model.remove(model.get(int(random.bounded(count))));
            break;
        case 5:
            if (random.bounded(10) == 0)
                model.clear();
            break;
        case 6:
            if (count > 0) {
                // An item destroyed by its owner leaves every row it held.
                Widget *gone = model.get(int(random.bounded(count)));
                pool.removeOne(gone);
                delete gone;
                pool.append(new Widget(QStringLiteral("new"), 0, &holder));
            }
            break;
        }
        const QList<Widget *> rows = model.toList();
        for (Widget *item : pool) {
            const int expected = int(rows.indexOf(item));
            QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
            item->setValue(++nextValue);
            QCOMPARE(spy.size(), expected < 0 ? 0 : 1);
            if (expected >= 0)
                QCOMPARE(spy.at(0).at(0).toModelIndex().row(), expected);
        }
    }
}

void TestQOlm::ownership()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QObject holder;
    auto model = std::make_unique<WidgetModel>();
    QAbstractItemModelTester tester(model.get(),
                                    QAbstractItemModelTester::FailureReportingMode::Fatal);

    QPointer<Widget> adopted = new Widget(QStringLiteral("adopted"), 1);
    QPointer<Widget> foreign = new Widget(QStringLiteral("foreign"), 2, &holder);
    QPointer<Widget> cleared = new Widget(QStringLiteral("cleared"), 3);
    QPointer<Widget> reinserted = new Widget(QStringLiteral("reinserted"), 4);
    QPointer<Widget> twice = new Widget(QStringLiteral("twice"), 5);
    model->append(QList<Widget *>{ adopted, foreign, cleared, reinserted, twice, twice });
    QCOMPARE(adopted->parent(), model.get());
    QCOMPARE(foreign->parent(), &holder);

    // Removal deletes an adopted item later, not under the caller's feet.
    model->remove(adopted.data());
    QVERIFY(adopted);
    model->remove(foreign.data());
    // Taken out and put back before the event loop runs: a reorder, not a deletion.
    model->remove(reinserted.data());
    model->insert(0, reinserted.data());
    // Listed twice, removed once: the other row still holds it.
    model->remove(model->indexOf(twice.data()), 1);
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(adopted.isNull());
    QVERIFY(foreign);
    QVERIFY(reinserted);
    QVERIFY(twice);
    QCOMPARE(namesOf(*model), (QStringList{ "reinserted", "cleared", "twice" }));

    QSignalSpy changed(model.get(), &QAbstractItemModel::dataChanged);
    twice->setValue(50);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.at(0).at(0).toModelIndex().row(), 2);

    model->append(foreign.data());
    model->clear();
    QVERIFY(cleared);
    QCoreApplication::processEvents();
    QVERIFY(cleared.isNull());
    QVERIFY(reinserted.isNull());
    QVERIFY(twice.isNull());
    QVERIFY(foreign);
    QCOMPARE(foreign->parent(), &holder);

    // Deleting the model takes its adopted items along and leaves foreign ones alone, and a
    // foreign item's later signals reach nothing.
    QPointer<Widget> owned = new Widget(QStringLiteral("owned"), 6);
    model->append(QList<Widget *>{ owned, foreign });
    model.reset();
    QVERIFY(owned.isNull());
    foreign->setValue(99);
    delete foreign.data();
}

void TestQOlm::ownerDeletesItem()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));

    // The remove hooks of a dying item get null: its T part is already gone.
    struct HookedModel : qolm::QOlm<Widget>
    {
        QStringList calls;
        void beforeRemoveHook(Widget *item, int index) override
        {
            calls << QStringLiteral("before %1 %2").arg(item ? item->name() : "null").arg(index);
        }
        void afterRemoveHook(Widget *item, int index) override
        {
            calls << QStringLiteral("after %1 %2").arg(item ? item->name() : "null").arg(index);
        }
    };

    HookedModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto *a = new Widget(QStringLiteral("a"), 1);
    auto *b = new Widget(QStringLiteral("b"), 2);
    model.append(QList<Widget *>{ a, b });
    delete a;
    QCOMPARE(model.count(), 1);
    QCOMPARE(model.get(0), b);
    QCOMPARE(model.calls, (QStringList{ "before null 0", "after null 0" }));
    model.remove(b);
    QCOMPARE(model.calls.last(), QStringLiteral("after b 0"));
}

// Every listed item has a small object in the model carrying its connections; with items the
// model does not own, those are the model's only children, so they show whether any is left over.
void TestQOlm::itemConnections()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QObject holder;
    WidgetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    auto *a = new Widget(QStringLiteral("a"), 1, &holder);
    auto *b = new Widget(QStringLiteral("b"), 2, &holder);
    auto *c = new Widget(QStringLiteral("c"), 3, &holder);
    auto *x = new Widget(QStringLiteral("x"), 4, &holder);
    model.append(QList<Widget *>{ a, b, c, a });
    const qsizetype held = model.children().size();
    for (int round = 0; round < 3; ++round) {
        model.append(x);
        model.append(b);
        model.remove(x);
        model.remove(model.count() - 1, 1);
    }
    QCOMPARE(model.children().size(), held);

    // A listener taking the changed item out of the list from within its change.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    const auto dropper
        = connect(&model, &QAbstractItemModel::dataChanged, &model,
                  [&model](const QModelIndex &index) { model.remove(index.row(), 1); });
    b->setValue(20);
    disconnect(dropper);
    QCOMPARE(namesOf(model), (QStringList{ "a", "c", "a" }));
    b->setValue(21);
    QCOMPARE(changed.size(), 1);

    delete c;
    QCOMPARE(namesOf(model), (QStringList{ "a", "a" }));
    model.remove(0, 1);
    a->setValue(10);
    QCOMPARE(changed.size(), 2);
    model.clear();
    QCOMPARE(model.children(), QObjectList());
    a->setValue(11);
    QCOMPARE(changed.size(), 2);
}

void TestQOlm::defaultChildren()
{
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(R"(
        import QtQml
        import NimbrelTest
        WidgetModel {
            Widget { objectName: "a"; name: "a" }
            Widget { objectName: "b"; name: "b" }
            OtherThing { objectName: "stray" }
            Widget { objectName: "c"; name: "c" }
        }
    )",
                      QUrl(QStringLiteral("qrc:/defaultChildren.qml")));
    QTest::ignoreMessage(QtWarningMsg,
                         "\"QOlm<Widget>\" : Fail to append default child  "
                         "\"stray\" , that isn't a Widget derived class");
    std::unique_ptr<QObject> root(component.create());
    QVERIFY2(root, qPrintable(component.errorString()));
    auto *model = qobject_cast<WidgetModel *>(root.get());
    QVERIFY(model);
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QCOMPARE(namesOf(*model), (QStringList{ "a", "b", "c" }));

    QQmlListReference children(model, "defaultChildren");
    QVERIFY(children.isValid());
    QCOMPARE(children.count(), 3);
    QCOMPARE(children.at(1), model->get(1));
    QCOMPARE(children.at(3), nullptr);

    QObject holder;
    auto *x = new Widget(QStringLiteral("x"), 0, &holder);
    auto *y = new Widget(QStringLiteral("y"), 0, &holder);
    auto *other = new OtherThing(&holder);
    other->setObjectName(QStringLiteral("other"));

    QVERIFY(children.replace(1, x));
    QCOMPARE(namesOf(*model), (QStringList{ "a", "x", "c" }));
    {
        // The same child again: no remove-and-insert round trip for the views.
        QSignalSpy removed(model, &QAbstractItemModel::rowsRemoved);
        QVERIFY(children.replace(1, x));
        QCOMPARE(removed.size(), 0);
        QCOMPARE(namesOf(*model), (QStringList{ "a", "x", "c" }));
    }

    // A child that already left the list: the new one goes to the end, without clamping.
    model->remove(x);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^The QObject Widget.*\"x\".*"));
    QTest::ignoreMessage(QtWarningMsg, qPrintable(kOutOfBound));
    QVERIFY(children.replace(1, y));
    QCOMPARE(namesOf(*model), (QStringList{ "a", "c", "y" }));
    QCOMPARE(children.at(1), y);

    QTest::ignoreMessage(QtWarningMsg,
                         "\"QOlm<Widget>\" : Fail to append default child  "
                         "\"other\" , that isn't a Widget derived class");
    QVERIFY(children.replace(1, other));
    QCOMPARE(namesOf(*model), (QStringList{ "a", "c" }));
    QCOMPARE(children.at(1), nullptr);

    // A child deleted by its owner leaves both lists.
    QPointer<QObject> c = children.at(2);
    delete c.data();
    QCOMPARE(children.count(), 2);
    QCOMPARE(namesOf(*model), (QStringList{ "a" }));

    QTest::ignoreMessage(QtWarningMsg, "Fail to remove nullptr object from QOlm< Widget >");
    QVERIFY(children.removeLast());
    QCOMPARE(children.count(), 1);
    QVERIFY(children.removeLast());
    QCOMPARE(children.count(), 0);
    QCOMPARE(model->count(), 0);

    model->append(x);
    QVERIFY(children.append(y));
    QCOMPARE(namesOf(*model), (QStringList{ "x", "y" }));
    QVERIFY(children.clear());
    QCOMPARE(namesOf(*model), (QStringList{ "x" }));
    QVERIFY(y->parent() == &holder);

    // The QObject instance that QML creates with the defaults.
    QQmlComponent objects(&engine);
    objects.setData(R"(
        import QtQml
        import NimbrelTest
        ObjectModel {
            id: list
            QtObject { objectName: "one" }
            QtObject { objectName: "two" }
            function take(o) { list.append([o, o]); return list.count + ":" + list.indexOf(o) }
        }
    )",
                    QUrl(QStringLiteral("qrc:/objects.qml")));
    std::unique_ptr<QObject> objectRoot(objects.create());
    QVERIFY2(objectRoot, qPrintable(objects.errorString()));
    auto *objectModel = qobject_cast<ObjectModel *>(objectRoot.get());
    QVERIFY(objectModel);
    QCOMPARE(objectModel->count(), 2);
    QCOMPARE(objectModel->data(objectModel->index(1), RoleObjectName).toString(),
             QStringLiteral("two"));
    QVariant answer;
    QVERIFY(QMetaObject::invokeMethod(objectModel, "take", Q_RETURN_ARG(QVariant, answer),
                                      Q_ARG(QVariant, QVariant::fromValue<QObject *>(x))));
    QCOMPARE(answer.toString(), QStringLiteral("4:2"));
}

void TestQOlm::listView()
{
    QObject holder;
    WidgetModel model(nullptr, {}, "name");
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Widget *a = new Widget(QStringLiteral("a"), 1, &holder);
    Widget *b = new Widget(QStringLiteral("b"), 2, &holder);
    Widget *c = new Widget(QStringLiteral("c"), 3, &holder);
    Widget *x = new Widget(QStringLiteral("x"), 9, &holder);
    model.append(QList<Widget *>{ a, b, c });

    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("widgets"), &model);
    engine.loadData(R"(
        import QtQuick
        Window {
            width: 200; height: 400; visible: true
            ListView {
                objectName: "list"
                anchors.fill: parent
                model: widgets
                delegate: Text {
                    height: 20
                    // A removed delegate sees its roles cleared before it goes away.
                    text: display + ":" + value + ":" + (qtObject ? qtObject.objectName : "")
                          + ":" + index
                }
                function texts() {
                    var out = [];
                    for (var i = 0; i < count; ++i) {
                        var item = itemAtIndex(i);
                        out.push(item ? item.text : "?");
                    }
                    return out.join(",");
                }
            }
        }
    )");
    QCOMPARE(engine.rootObjects().size(), 1);
    // From here on, a warning would be the model misbehaving (a bad row asked for, say).
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    auto *list = engine.rootObjects().first()->findChild<QQuickItem *>(QStringLiteral("list"));
    QVERIFY(list);
    const auto texts = [list] {
        QVariant out;
        QMetaObject::invokeMethod(list, "texts", Q_RETURN_ARG(QVariant, out));
        return out.toString();
    };

    QTRY_COMPARE(texts(), QStringLiteral("a:1:a:0,b:2:b:1,c:3:c:2"));
    b->setValue(20);
    QTRY_COMPARE(texts(), QStringLiteral("a:1:a:0,b:20:b:1,c:3:c:2"));
    c->setName(QStringLiteral("C"));
    QTRY_COMPARE(texts(), QStringLiteral("a:1:a:0,b:20:b:1,C:3:c:2"));
    model.insert(1, x);
    QTRY_COMPARE(texts(), QStringLiteral("a:1:a:0,x:9:x:1,b:20:b:2,C:3:c:3"));
    model.move(0, 3);
    QTRY_COMPARE(texts(), QStringLiteral("x:9:x:0,b:20:b:1,C:3:c:2,a:1:a:3"));
    model.remove(1);
    QTRY_COMPARE(texts(), QStringLiteral("x:9:x:0,C:3:c:1,a:1:a:2"));
    delete x;
    QTRY_COMPARE(texts(), QStringLiteral("C:3:c:0,a:1:a:1"));
}

QTEST_MAIN(TestQOlm)

#include "tst_qolm.moc"
