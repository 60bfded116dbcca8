#pragma once

#include "QOlmBase.h"

#include <QDebug>
#include <QHash>
#include <QList>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaProperty>
#include <QPointer>
#include <QVariant>

#include <algorithm>
#include <type_traits>

namespace qolm {

// A list model over QObject-derived items: every property of T becomes a role (256 "qtObject" is
// the item itself, 257 + i the property i of T's meta-object, 0 "display" when a display property
// is named), views follow the items' notify signals, and QML edits the list through QOlmBase.
//
// Ownership: an item without a parent is adopted when it is taken in; removing or clearing an
// adopted item deletes it (deferred), unless it has been listed again in the meantime. Items with
// another parent are only dropped. An item deleted by its owner while listed leaves the list.
template<typename T> class QOlm : public QOlmBase
{
    static_assert(std::is_base_of_v<QObject, T>, "QOlm items must derive from QObject");

public:
    explicit QOlm(QObject *parent = nullptr, const QList<QByteArray> &exposedRoles = {},
                  const QByteArray &displayRole = {})
        : QOlmBase(parent)
        , m_displayRoleName(displayRole)
        , m_itemMetaObject(&T::staticMetaObject)
    {
        if (!displayRole.isEmpty())
            m_roles.insert(Qt::DisplayRole, QByteArrayLiteral("display"));
        m_roles.insert(Qt::UserRole, QByteArrayLiteral("qtObject"));

        for (int i = 0; i < m_itemMetaObject->propertyCount(); ++i) {
            const QMetaProperty property = m_itemMetaObject->property(i);
            const QByteArray name(property.name());
            if (isReservedRoleName(name)) {
                warnReservedRoleName(name, typeName());
                continue;
            }
            if (!exposedRoles.isEmpty() && !exposedRoles.contains(name))
                continue;
            const int role = Qt::UserRole + 1 + i;
            m_roles.insert(role, name);
            // Several properties may share one notify signal; each of them must refresh.
            if (property.hasNotifySignal())
                m_signalRoles[property.notifySignalIndex()].append(role);
        }
    }

    ~QOlm() override
    {
        // Owned items die later, in QObject's destructor; none of their signals may reach this
        // half-destroyed model. The relays die with them and are only cut off here.
        detachItemRelays();
        for (T *item : std::as_const(m_items))
            QObject::disconnect(item, nullptr, this, nullptr);
        for (T *child : std::as_const(m_defaultChildren)) {
            if (child)
                QObject::disconnect(child, nullptr, this, nullptr);
        }
    }

    // ---- QML interface
    int count() const override { return m_count; }

    QObject *get(const QJSValue &index) const override
    {
        const double number = index.toNumber();
        int row = 0;
        if (!rowFromNumber(number, &row)) {
            qCWarning(lcQOlm) << "The index" << number << "is out of bound.";
            return nullptr;
        }
        return get(row);
    }

    int indexOf(const QJSValue &object) const override
    {
        if (!object.isQObject()) {
            warnNotAnObject(object);
            return -1;
        }
        return indexOfObject(object.toQObject());
    }

    bool contains(const QJSValue &object) const override
    {
        if (!object.isQObject()) {
            warnNotAnObject(object);
            return false;
        }
        return rowOf(object.toQObject()) >= 0;
    }

    int roleForName(const QByteArray &name) const override
    {
        int found = -1;
        for (auto it = m_roles.cbegin(); it != m_roles.cend(); ++it) {
            if (it.value() == name && (found < 0 || it.key() < found))
                found = it.key();
        }
        return found;
    }

    void append(const QJSValue &object) override
    {
        if (object.isQObject()) {
            if (T *item = castOrWarn(object, ": Fail to append"))
                append(item);
        } else if (object.isArray()) {
            append(itemsOfArray(object, ": Fail to append "));
        } else {
            warnNotObjectOrArray(object, ": Fail to append");
        }
    }

    void prepend(const QJSValue &item) override
    {
        if (item.isQObject()) {
            if (T *object = castOrWarn(item, ": Fail to prepend"))
                insertItems(0, { object });
        } else if (item.isArray()) {
            prepend(itemsOfArray(item, ": Fail to prepend "));
        } else {
            warnNotObjectOrArray(item, ": Fail to prepend");
        }
    }

    void insert(int index, const QJSValue &item) override
    {
        if (item.isQObject()) {
            if (T *object = castOrWarn(item, ": Fail to insert"))
                insert(index, object);
        } else if (item.isArray()) {
            insert(index, itemsOfArray(item, ": Fail to insert "));
        } else {
            warnNotObjectOrArray(item, ": Fail to insert");
        }
    }

    void remove(const QJSValue &value) override
    {
        if (value.isQObject()) {
            if (T *item = castOrWarn(value, ": Fail to remove"))
                remove(item);
        } else if (value.isArray()) {
            remove(itemsOfArray(value, ": Fail to remove"));
        } else if (value.isNumber()) {
            int row = -1;
            if (rowFromNumber(value.toNumber(), &row))
                remove(row, 1);
            else
                warnRemoveOutOfBound();
        } else {
            warnRemoveNotSupported(typeName(), value.toString());
        }
    }

    void clear() override
    {
        if (m_items.isEmpty())
            return;
        const QList<T *> gone = m_items;
        for (int i = 0; i < gone.size(); ++i)
            beforeRemoveHook(gone.at(i), i);
        beginRemoveRows({}, 0, int(gone.size()) - 1);
        m_items.clear();
        invalidateRows();
        for (T *item : gone)
            release(item);
        updateCount();
        endRemoveRows();
        for (int i = 0; i < gone.size(); ++i) {
            afterRemoveHook(gone.at(i), i);
            Q_EMIT objectRemoved(gone.at(i), i);
        }
    }

    void move(int from, int to) override
    {
        int clamped = to;
        if (!checkMove(from, &clamped, int(m_items.size())))
            return;
        T *item = m_items.at(from);
        beforeMoveHook(item, from, clamped);
        beginMoveRows({}, from, from, {}, from < clamped ? clamped + 1 : clamped);
        m_items.move(from, clamped);
        invalidateRows();
        endMoveRows();
        afterMoveHook(item, from, clamped);
        Q_EMIT objectMoved(item, from, clamped);
    }

    // ---- typed interface for back-end callers
    void append(T *item)
    {
        if (!item) {
            qCWarning(lcQOlm) << "Can't append a null Object";
            return;
        }
        insertItems(int(m_items.size()), { item });
    }

    void append(const QList<T *> &items)
    {
        if (items.isEmpty()) {
            qCWarning(lcQOlm) << "Can't append an empty list";
            return;
        }
        insertItems(int(m_items.size()), withoutNulls(items, "Can't append a null Object"));
    }

    void prepend(const QList<T *> &items)
    {
        if (items.isEmpty()) {
            qCWarning(lcQOlm) << "Can't prepend an empty list";
            return;
        }
        insertItems(0, withoutNulls(items, "Can't insert a null Object"));
    }

    void insert(int index, T *item)
    {
        index = clampInsertIndex(index);
        if (!item) {
            qCWarning(lcQOlm) << "Can't insert a null Object";
            return;
        }
        insertItems(index, { item });
    }

    void insert(int index, const QList<T *> &items)
    {
        if (items.isEmpty()) {
            qCWarning(lcQOlm) << "Can't insert an empty list";
            return;
        }
        index = clampInsertIndex(index);
        insertItems(index, withoutNulls(items, "Can't insert a null Object"));
    }

    void remove(T *item)
    {
        if (!item) {
            qCWarning(lcQOlm) << "Fail to remove nullptr object from QOlm<"
                              << m_itemMetaObject->className() << ">";
            return;
        }
        remove(indexOf(item), 1);
    }

    void remove(const QList<T *> &items)
    {
        for (T *item : items)
            remove(item);
    }

    void remove(int index, int count = 1)
    {
        if (index < 0 || count < 1 || qint64(index) + count > m_items.size()) {
            warnRemoveOutOfBound();
            return;
        }
        const QList<T *> gone = m_items.mid(index, count);
        for (int i = 0; i < count; ++i)
            beforeRemoveHook(gone.at(i), index + i);
        beginRemoveRows({}, index, index + count - 1);
        m_items.remove(index, count);
        invalidateRows();
        for (T *item : gone)
            release(item);
        updateCount();
        endRemoveRows();
        for (int i = 0; i < count; ++i) {
            afterRemoveHook(gone.at(i), index + i);
            Q_EMIT objectRemoved(gone.at(i), index + i);
        }
    }

    T *get(int index) const
    {
        if (index < 0 || index >= m_items.size()) {
            qCWarning(lcQOlm) << "The index" << index << "is out of bound.";
            return nullptr;
        }
        return m_items.at(index);
    }

    int indexOf(T *item) const { return indexOfObject(item); }

    const QList<T *> &toList() const { return m_items; }

    // ---- list model
    int rowCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(m_items.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        // The invalid index is a legal question to any model, not a misuse worth a warning.
        if (!index.isValid())
            return {};
        T *item = get(index.row());
        const QByteArray name = roleName(role);
        if (!item || name.isEmpty())
            return {};
        if (role == Qt::UserRole)
            return QVariant::fromValue<QObject *>(item);
        return item->property(name.constData());
    }

    bool setData(const QModelIndex &index, const QVariant &value, int role) override
    {
        if (!index.isValid())
            return false;
        T *item = get(index.row());
        const QByteArray name = roleName(role);
        if (!item || name.isEmpty() || role == Qt::UserRole)
            return false;
        return item->setProperty(name.constData(), value);
    }

    QHash<int, QByteArray> roleNames() const override { return m_roles; }

protected:
    virtual void beforeInsertHook(T *, int) { }
    virtual void afterInsertHook(T *, int) { }
    virtual void beforeMoveHook(T *, int, int) { }
    virtual void afterMoveHook(T *, int, int) { }
    // For an item that its owner deleted while listed, the remove hooks get a null item: the
    // object is past its T part and must not be touched.
    virtual void beforeRemoveHook(T *, int) { }
    virtual void afterRemoveHook(T *, int) { }

    void onItemDestroyed(QObject *object) override
    {
        // The address may come back as another item: its relay must not outlive it.
        dropItemRelay(object);
        for (qsizetype i = m_defaultChildren.size() - 1; i >= 0; --i) {
            if (asObject(m_defaultChildren.at(i)) == object)
                m_defaultChildren.removeAt(i);
        }
        // Signals below may run user code that edits the list, so look the row up afresh.
        for (int row = lastRowOf(object); row >= 0; row = lastRowOf(object)) {
            beforeRemoveHook(nullptr, row);
            beginRemoveRows({}, row, row);
            m_items.removeAt(row);
            invalidateRows();
            updateCount();
            endRemoveRows();
            afterRemoveHook(nullptr, row);
            Q_EMIT objectRemoved(nullptr, row);
        }
    }

    void defaultChildAppend(QObject *object) override
    {
        T *item = castDefaultChild(object);
        if (!item)
            return;
        m_defaultChildren.append(item);
        append(item);
    }

    qsizetype defaultChildCount() const override { return m_defaultChildren.size(); }

    QObject *defaultChildAt(qsizetype index) const override
    {
        return index >= 0 && index < m_defaultChildren.size() ? m_defaultChildren.at(index)
                                                              : nullptr;
    }

    void defaultChildrenClear() override
    {
        const QList<T *> children = m_defaultChildren;
        for (T *child : children)
            remove(child);
        m_defaultChildren.clear();
    }

    void defaultChildReplace(qsizetype index, QObject *object) override
    {
        if (index < 0 || index >= m_defaultChildren.size())
            return;
        T *item = object ? castDefaultChild(object) : nullptr;
        T *old = m_defaultChildren.at(index);
        // Removing and listing again the same object would hand it to the deferred deletion.
        if (item == old)
            return;
        const int row = old ? rowOf(old) : -1;
        if (old)
            remove(old);
        m_defaultChildren[index] = item;
        if (!item)
            return;
        // An old child that had already left the list leaves no place to fill: the new one goes
        // to the end rather than to the front with a clamping warning.
        if (row < 0)
            append(item);
        else
            insert(row, item);
    }

    void defaultChildRemoveLast() override
    {
        if (m_defaultChildren.isEmpty())
            return;
        remove(m_defaultChildren.last());
        m_defaultChildren.removeLast();
    }

private:
    // Items report through their relays (onItemSignal); this slot stays for anything connected
    // to it by name.
    void onItemPropertyChanged() override
    {
        if (QObject *item = sender())
            onItemSignal(item, senderSignalIndex());
    }

    void onItemSignal(QObject *item, int signalIndex) override
    {
        const auto roles = m_signalRoles.constFind(signalIndex);
        if (roles == m_signalRoles.cend())
            return;
        const int row = rowOf(item);
        if (row < 0)
            return;
        QList<int> changed = roles.value();
        if (!m_displayRoleName.isEmpty()) {
            for (int role : roles.value()) {
                if (m_roles.value(role) == m_displayRoleName) {
                    changed.append(Qt::DisplayRole);
                    break;
                }
            }
        }
        const QModelIndex changedIndex = index(row);
        Q_EMIT dataChanged(changedIndex, changedIndex, changed);
    }

    static const QString &typeName()
    {
        static const QString name = QStringLiteral("QOlm<")
            + QString::fromLatin1(T::staticMetaObject.className()) + QLatin1Char('>');
        return name;
    }

    // Derived-to-base only: fine on an object whose T part is already gone.
    static QObject *asObject(T *item) { return item; }

    T *cast(QObject *object) const
    {
        return object ? static_cast<T *>(m_itemMetaObject->cast(object)) : nullptr;
    }

    T *castOrWarn(const QJSValue &value, const char *operation) const
    {
        T *item = cast(value.toQObject());
        if (!item) {
            warnNotItemClass(typeName(), operation, value.toString(),
                             m_itemMetaObject->className());
        }
        return item;
    }

    T *castDefaultChild(QObject *object) const
    {
        T *item = cast(object);
        if (!item) {
            warnNotItemClassChild(typeName(), object, m_itemMetaObject->className());
        }
        return item;
    }

    QList<T *> itemsOfArray(const QJSValue &array, const char *operation) const
    {
        QList<T *> items;
        for (quint32 i = 0; i < array.property(QStringLiteral("length")).toUInt(); ++i) {
            const QJSValue element = array.property(i);
            if (!element.isQObject()) {
                warnElementNotObject(typeName(), operation, element.toString());
                continue;
            }
            if (T *item = castOrWarn(element, operation))
                items.append(item);
        }
        return items;
    }

    void warnNotObjectOrArray(const QJSValue &value, const char *operation) const
    {
        QOlmBase::warnNotObjectOrArray(typeName(), operation, value.toString());
    }
    void warnNotAnObject(const QJSValue &value) const
    {
        QOlmBase::warnNotAnObject(typeName(), value.toString());
    }

    static QList<T *> withoutNulls(const QList<T *> &items, const char *warning)
    {
        QList<T *> kept;
        kept.reserve(items.size());
        for (T *item : items) {
            if (item)
                kept.append(item);
            else
                qCWarning(lcQOlm) << warning;
        }
        return kept;
    }

    int clampInsertIndex(int index) const
    {
        return QOlmBase::clampInsertIndex(index, int(m_items.size()));
    }

    int indexOfObject(QObject *object) const
    {
        if (!object) {
            qCWarning(lcQOlm) << "Can't find the index of a nullptr QObject";
            return -1;
        }
        const int row = rowOf(object);
        if (row < 0) {
            qCWarning(lcQOlm) << "The QObject" << static_cast<const QObject *>(object)
                              << "isn't in this qolm::QOlm list.";
        }
        return row;
    }

    // The first row holding `object`, or -1. Answered from an index of the rows so that an item's
    // property change, which must name its row, costs the same in a list of 10k as of 100. A
    // reorder or removal drops the index, rebuilt on the next look-up; appending extends it.
    int rowOf(const QObject *object) const
    {
        if (!m_rowsIndexed) {
            m_rows.clear();
            m_rows.reserve(m_items.size());
            for (qsizetype row = m_items.size() - 1; row >= 0; --row)
                m_rows.insert(asObject(m_items.at(row)), int(row));
            m_rowsIndexed = true;
        }
        return m_rows.value(object, -1);
    }

    void invalidateRows()
    {
        m_rowsIndexed = false;
        m_rows.clear();
    }

    // Rows [at, at + n) were just filled. Only an append keeps the rows of the others.
    void rowsInserted(int at, int n)
    {
        if (!m_rowsIndexed)
            return;
        if (at + n != m_items.size()) {
            invalidateRows();
            return;
        }
        for (int row = at; row < at + n; ++row) {
            const QObject *object = asObject(m_items.at(row));
            if (!m_rows.contains(object)) // an item listed twice keeps its first row
                m_rows.insert(object, row);
        }
    }

    int lastRowOf(const QObject *object) const
    {
        for (qsizetype row = m_items.size() - 1; row >= 0; --row) {
            if (asObject(m_items.at(row)) == object)
                return int(row);
        }
        return -1;
    }

    QByteArray roleName(int role) const
    {
        return role == Qt::DisplayRole ? m_displayRoleName : m_roles.value(role);
    }

    // at: a valid insertion row; items: no nulls (possibly empty after filtering).
    void insertItems(int at, const QList<T *> &items)
    {
        if (items.isEmpty())
            return;
        const int n = int(items.size());
        for (int i = 0; i < n; ++i)
            beforeInsertHook(items.at(i), at + i);
        beginInsertRows({}, at, at + n - 1);
        // In place: appending one by one stays linear overall.
        m_items.insert(at, n, nullptr);
        std::copy(items.cbegin(), items.cend(), m_items.begin() + at);
        rowsInserted(at, n);
        for (T *item : items)
            takeIn(item);
        updateCount();
        endInsertRows();
        for (int i = 0; i < n; ++i) {
            afterInsertHook(items.at(i), at + i);
            Q_EMIT objectInserted(items.at(i), at + i);
        }
    }

    void takeIn(T *item)
    {
        if (!item->parent())
            item->setParent(this);
        const QMetaObject *itemMeta = item->metaObject();
        for (auto it = m_signalRoles.cbegin(); it != m_signalRoles.cend(); ++it)
            relayItemSignal(item, itemMeta->method(it.key()));
        watchDestruction(item);
    }

    void watchDestruction(T *item)
    {
        QObject::connect(item, &QObject::destroyed, this, &QOlm::onItemDestroyed,
                         Qt::UniqueConnection);
    }

    // Drops an item that left the list. The same object may still fill another row (it can be
    // listed twice), in which case it keeps its connections and is not deleted.
    void release(T *item)
    {
        if (rowOf(item) >= 0)
            return;
        QObject::disconnect(item, nullptr, this, nullptr);
        QObject::disconnect(this, nullptr, item, nullptr);
        dropItemRelay(item);
        if (m_defaultChildren.contains(item))
            watchDestruction(item);
        if (item->parent() == this)
            scheduleDeletion(item);
    }

    // Deferred like deleteLater, but an item listed again before the event loop runs (removed
    // and re-inserted to reorder it, say) is kept instead of being deleted under the list.
    void scheduleDeletion(T *item)
    {
        QPointer<QObject> guard(item);
        QMetaObject::invokeMethod(
            this,
            [this, guard] {
                if (guard && guard->parent() == this && rowOf(guard.data()) < 0)
                    delete guard.data();
            },
            Qt::QueuedConnection);
    }

    void updateCount()
    {
        const int count = int(m_items.size());
        if (count != m_count) {
            m_count = count;
            Q_EMIT countChanged(count);
        }
    }

    int m_count = 0;
    QByteArray m_displayRoleName;
    const QMetaObject *m_itemMetaObject;
    QHash<int, QByteArray> m_roles;
    QHash<int, QList<int>> m_signalRoles;
    QList<T *> m_items;
    mutable QHash<const QObject *, int> m_rows;
    mutable bool m_rowsIndexed = false;
    QList<T *> m_defaultChildren;
};

} // namespace qolm
