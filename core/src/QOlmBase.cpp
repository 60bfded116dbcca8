#include "QOlmBase.h"

#include <QSet>

#include <cmath>
#include <limits>

namespace qolm {

Q_LOGGING_CATEGORY(lcQOlm, "App.QOlm")

// Receives the notify signals of one listed item and passes them on to its model.
class QOlmItemRelay : public QObject
{
    Q_OBJECT
public:
    QOlmItemRelay(QOlmBase *model, QObject *item)
        : QObject(model)
        , m_model(model)
        , m_item(item)
    { }
    ~QOlmItemRelay() override
    {
        // Deleted by someone else than the model (a walk over the model's children, say).
        if (m_model)
            m_model->m_relays.remove(m_item);
    }

    static QMetaMethod relaySlot()
    {
        static const QMetaMethod slot
            = staticMetaObject.method(staticMetaObject.indexOfSlot("onItemSignal()"));
        return slot;
    }

    QOlmBase *m_model;
    QObject *const m_item;

public Q_SLOTS:
    void onItemSignal()
    {
        // The model may delete this relay from within the call (a listener that removes the
        // item); nothing here touches the relay afterwards.
        if (m_model)
            m_model->onItemSignal(m_item, senderSignalIndex());
    }
};

QOlmBase::QOlmBase(QObject *parent)
    : QAbstractListModel(parent)
{ }

QOlmBase::~QOlmBase()
{
    detachItemRelays();
}

void QOlmBase::relayItemSignal(QObject *item, const QMetaMethod &signal)
{
    QOlmItemRelay *relay = m_relays.value(item);
    if (!relay) {
        relay = new QOlmItemRelay(this, item);
        m_relays.insert(item, relay);
    }
    QObject::connect(item, signal, relay, QOlmItemRelay::relaySlot(), Qt::UniqueConnection);
}

void QOlmBase::dropItemRelay(const QObject *item)
{
    if (QOlmItemRelay *relay = m_relays.take(item)) {
        relay->m_model = nullptr;
        delete relay;
    }
}

void QOlmBase::detachItemRelays()
{
    for (QOlmItemRelay *relay : std::as_const(m_relays))
        relay->m_model = nullptr;
    m_relays.clear();
}

int QOlmBase::size() const
{
    return count();
}

int QOlmBase::length() const
{
    return count();
}

bool QOlmBase::empty() const
{
    return count() == 0;
}

void QOlmBase::moveDown(int index)
{
    const int rows = count();
    if (rows != 0 && index >= 0 && index < rows - 1)
        move(index, index + 1);
    else
        qCWarning(lcQOlm) << "The index is the last of the list or index is out of bound";
}

void QOlmBase::moveNext(int index)
{
    moveDown(index);
}

void QOlmBase::moveUp(int index)
{
    if (index > 0 && index < count())
        move(index, index - 1);
    else
        qCWarning(lcQOlm) << "The index is the first of the list or index is out of bound";
}

void QOlmBase::movePrevious(int index)
{
    moveUp(index);
}

bool QOlmBase::checkMove(int from, int *to, int count)
{
    if (from < 0 || from >= count) {
        qCWarning(lcQOlm) << "'From'" << from << "is out of bound";
        return false;
    }
    // The list is not empty here, so the bounds of the clamp are ordered.
    const int clamped = qBound(0, *to, count - 1);
    if (clamped != *to) {
        qCWarning(lcQOlm) << "'to'" << *to << " in move operation have been clamped to" << clamped;
    }
    *to = clamped;
    if (from == clamped) {
        qCWarning(lcQOlm) << "Can't move object from" << from << "to" << clamped
                          << "because from == to";
        return false;
    }
    return true;
}

QQmlListProperty<QObject> QOlmBase::defaultChildren()
{
    return QQmlListProperty<QObject>(this, nullptr, &QOlmBase::listAppend, &QOlmBase::listCount,
                                     &QOlmBase::listAt, &QOlmBase::listClear,
                                     &QOlmBase::listReplace, &QOlmBase::listRemoveLast);
}

// Names that QML gives a meaning of its own inside delegates; a property named like this would be
// shadowed, so it never becomes a role.
bool QOlmBase::isReservedRoleName(const QByteArray &name)
{
    static const QSet<QByteArray> names{ "id", "index", "class", "model", "modelData" };
    return names.contains(name);
}

void QOlmBase::warnReservedRoleName(const QByteArray &name, const QString &typeName)
{
    qCWarning(lcQOlm) << "Can't have" << name << "as a role name in" << typeName
                      << ", because it's a blacklisted keywork in QML!. Please don't use any of "
                         "the following words when declaring your Q_PROPERTY:(id, index, class, "
                         "model, modelData)";
}

// A JavaScript number is a row only when it is a whole number in int range: ToInt32 would turn
// NaN, 1.5 or 2^32 into a valid-looking row and act on the wrong item.
bool QOlmBase::rowFromNumber(double value, int *row)
{
    if (!std::isfinite(value) || value != std::trunc(value)
        || value < double(std::numeric_limits<int>::min())
        || value > double(std::numeric_limits<int>::max()))
        return false;
    *row = int(value);
    return true;
}

int QOlmBase::clampInsertIndex(int index, int count)
{
    if (index > count) {
        qCWarning(lcQOlm) << "index " << index << " is greater than count " << count << ". "
                          << "The item will be inserted at the end of the list";
        return count;
    }
    if (index < 0) {
        qCWarning(lcQOlm) << "index " << index << " is lower than 0. "
                          << "The item will be inserted at the beginning of the list";
        return 0;
    }
    return index;
}

void QOlmBase::warnNotItemClass(const QString &typeName, const char *operation,
                                const QString &value, const char *className)
{
    qCWarning(lcQOlm) << typeName << operation << value << ", item isn't a" << className
                      << "derived class";
}

void QOlmBase::warnNotItemClassChild(const QString &typeName, const QObject *object,
                                     const char *className)
{
    qCWarning(lcQOlm) << typeName << ": Fail to append default child "
                      << (object ? object->objectName() : QString()) << ", that isn't a"
                      << className << "derived class";
}

void QOlmBase::warnElementNotObject(const QString &typeName, const char *operation,
                                    const QString &value)
{
    qCWarning(lcQOlm) << typeName << operation << value << ", item isn't QObject";
}

void QOlmBase::warnNotObjectOrArray(const QString &typeName, const char *operation,
                                    const QString &value)
{
    qCWarning(lcQOlm) << typeName << operation << value
                      << ", item isn't a QObject, an array of QObject";
}

void QOlmBase::warnRemoveNotSupported(const QString &typeName, const QString &value)
{
    qCWarning(lcQOlm) << typeName << ": Fail to remove" << value
                      << ", item isn't a QObject, an array of QObject or a number";
}

void QOlmBase::warnNotAnObject(const QString &typeName, const QString &value)
{
    qCWarning(lcQOlm) << typeName << ": Fail to get indexOf" << value << ", item isn't a QObject";
}

void QOlmBase::warnRemoveOutOfBound()
{
    qCWarning(lcQOlm) << "Can't remove an object whose index is out of bound";
}

static QOlmBase *modelOf(QQmlListProperty<QObject> *list)
{
    return static_cast<QOlmBase *>(list->object);
}

void QOlmBase::listAppend(QQmlListProperty<QObject> *list, QObject *object)
{
    modelOf(list)->defaultChildAppend(object);
}

qsizetype QOlmBase::listCount(QQmlListProperty<QObject> *list)
{
    return modelOf(list)->defaultChildCount();
}

QObject *QOlmBase::listAt(QQmlListProperty<QObject> *list, qsizetype index)
{
    return modelOf(list)->defaultChildAt(index);
}

void QOlmBase::listClear(QQmlListProperty<QObject> *list)
{
    modelOf(list)->defaultChildrenClear();
}

void QOlmBase::listReplace(QQmlListProperty<QObject> *list, qsizetype index, QObject *object)
{
    modelOf(list)->defaultChildReplace(index, object);
}

void QOlmBase::listRemoveLast(QQmlListProperty<QObject> *list)
{
    modelOf(list)->defaultChildRemoveLast();
}

} // namespace qolm

#include "QOlmBase.moc"
