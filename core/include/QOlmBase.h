#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QHash>
#include <QJSValue>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QQmlListProperty>

namespace qolm {

Q_DECLARE_LOGGING_CATEGORY(lcQOlm)

class QOlmItemRelay;

// The meta-object side of the QML object list model. A class template cannot carry a meta-object,
// so everything QML sees (signals, callable operations, properties, the default property) lives
// here as virtual operations; qolm::QOlm<T> holds the items and implements them.
class QOlmBase : public QAbstractListModel
{
    Q_OBJECT
    Q_CLASSINFO("DefaultProperty", "defaultChildren")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    Q_PROPERTY(int length READ length NOTIFY countChanged)
    Q_PROPERTY(int size READ size NOTIFY countChanged)
    Q_PROPERTY(QQmlListProperty<QObject> defaultChildren READ defaultChildren)

public:
    explicit QOlmBase(QObject *parent = nullptr);
    ~QOlmBase() override;

    QQmlListProperty<QObject> defaultChildren();

Q_SIGNALS:
    void countChanged(int count);
    void objectInserted(QObject *object, int index);
    void objectRemoved(QObject *object, int index);
    void objectMoved(QObject *object, int from, int to);

public Q_SLOTS:
    virtual int count() const = 0;
    virtual int size() const;
    virtual int length() const;
    virtual bool empty() const;
    virtual QObject *get(const QJSValue &index) const = 0;
    virtual int indexOf(const QJSValue &object) const = 0;
    virtual bool contains(const QJSValue &object) const = 0;
    virtual int roleForName(const QByteArray &name) const = 0;

    virtual void append(const QJSValue &object) = 0;
    virtual void prepend(const QJSValue &item) = 0;
    virtual void insert(int index, const QJSValue &item) = 0;
    virtual void remove(const QJSValue &value) = 0;
    virtual void clear() = 0;
    virtual void move(int index, int to) = 0;
    virtual void moveDown(int index);
    virtual void moveNext(int index);
    virtual void moveUp(int index);
    virtual void movePrevious(int index);

private Q_SLOTS:
    virtual void onItemPropertyChanged() = 0;

protected:
    // Item-independent pieces of the template, kept here so that they are compiled once.
    static bool isReservedRoleName(const QByteArray &name);
    static void warnReservedRoleName(const QByteArray &name, const QString &typeName);
    static bool rowFromNumber(double value, int *row);
    static int clampInsertIndex(int index, int count);
    // Whether moving row `from` in a list of `count` rows can go ahead; clamps *to.
    static bool checkMove(int from, int *to, int count);
    static void warnNotItemClass(const QString &typeName, const char *operation,
                                 const QString &value, const char *className);
    static void warnNotItemClassChild(const QString &typeName, const QObject *object,
                                      const char *className);
    static void warnElementNotObject(const QString &typeName, const char *operation,
                                     const QString &value);
    static void warnNotObjectOrArray(const QString &typeName, const char *operation,
                                     const QString &value);
    static void warnRemoveNotSupported(const QString &typeName, const QString &value);
    static void warnNotAnObject(const QString &typeName, const QString &value);
    static void warnRemoveOutOfBound();

    // Called (not as a slot, so the meta-object stays as QML knows it) when a listed item is being
    // destroyed by its owner. Only its QObject part is still alive at that point.
    virtual void onItemDestroyed(QObject *object) = 0;

    // An item's notify signals reach the model through a small relay object of its own: a slot
    // of the model shared by all items would need sender() and senderSignalIndex(), which walk
    // every connection coming into the model, two per item, on each change. The relay sees only
    // its item's few connections and hands both on here.
    virtual void onItemSignal(QObject *item, int signalIndex) = 0;
    // Connects `signal` of `item` to the item's relay, made on first use; connecting twice is a
    // no-op. The relay is a child of the model (so it follows the model's thread), never of the
    // item.
    void relayItemSignal(QObject *item, const QMetaMethod &signal);
    // Deletes the item's relay, and with it the connections from the item's notify signals.
    void dropItemRelay(const QObject *item);
    // Cuts every relay off from the model, which is going away; they die with its other children.
    void detachItemRelays();

    virtual void defaultChildAppend(QObject *object) = 0;
    virtual qsizetype defaultChildCount() const = 0;
    virtual QObject *defaultChildAt(qsizetype index) const = 0;
    virtual void defaultChildrenClear() = 0;
    virtual void defaultChildReplace(qsizetype index, QObject *object) = 0;
    virtual void defaultChildRemoveLast() = 0;

private:
    friend class QOlmItemRelay;

    static void listAppend(QQmlListProperty<QObject> *list, QObject *object);
    static qsizetype listCount(QQmlListProperty<QObject> *list);
    static QObject *listAt(QQmlListProperty<QObject> *list, qsizetype index);
    static void listClear(QQmlListProperty<QObject> *list);
    static void listReplace(QQmlListProperty<QObject> *list, qsizetype index, QObject *object);
    static void listRemoveLast(QQmlListProperty<QObject> *list);

    QHash<const QObject *, QOlmItemRelay *> m_relays;
};

} // namespace qolm
