#include "ErrorHandler.h"

#include "NotificationLogging.h"
#include "NotificationMessage.h"

#include <QMetaType>
#include <QQmlEngine>

ErrorHandler::ErrorHandler(QObject *parent)
    : QObject(parent)
{
    qRegisterMetaType<NotificationList>("NotificationList");
}

ErrorHandler *ErrorHandler::instance()
{
    static ErrorHandler *const hub = [] {
        auto *created = new ErrorHandler;
        // The hub has no parent; without this QML would claim it the first time an invokable
        // hands it out, and could collect it.
        QQmlEngine::setObjectOwnership(created, QQmlEngine::CppOwnership);
        return created;
    }();
    return hub;
}

int ErrorHandler::pushNotification(nimbrel::ErrorLevel level,
                                   AbstractNotification::ErrorSource source, const QString &title,
                                   const QString &message, const QString &origin,
                                   const QDateTime &time)
{
    auto *created = new NotificationMessage(this, level, source, title, message, origin, time);

    // Repeats fold only into text notifications: a progress or button notification belongs to a
    // producer that updates, replaces or withdraws it, and a one-off message must not vanish
    // with it.
    for (auto it = m_list.cbegin(); it != m_list.cend(); ++it) {
        AbstractNotification *listed = it.value();
        if (listed->getType() == AbstractNotification::String
            && listed->isSameNotification(created)) {
            listed->changeFiredTime(time);
            delete created;
            return it.key();
        }
    }

    const int key = listNotification(created);
    if (key < 0)
        delete created;
    return key;
}

int ErrorHandler::addNotification(AbstractNotification *notification)
{
    if (!notification) {
        qCWarning(lcNotifications) << "addNotification: null notification ignored";
        return -1;
    }
    // Refused before the hand-over, so the caller's object is still freed with its owner.
    if (notification->getLevel() > nimbrel::Info)
        return -1;
    for (auto it = m_list.cbegin(); it != m_list.cend(); ++it) {
        if (it.value() == notification) {
            qCWarning(lcNotifications)
                << "addNotification: notification listed already under key" << it.key();
            return it.key();
        }
    }
    notification->setParent(this);
    return listNotification(notification);
}

AbstractNotification *ErrorHandler::getNotification(int key) const
{
    return m_list.value(key, nullptr);
}

AbstractNotification *ErrorHandler::takeNotification(int key)
{
    const auto it = m_list.find(key);
    if (it == m_list.end())
        return nullptr;
    AbstractNotification *taken = it.value();
    m_list.erase(it);
    emitListChanged();
    return taken;
}

void ErrorHandler::clearNotifications()
{
    const NotificationList cleared = m_list.values();
    m_list.clear();
    emitListChanged();
    for (AbstractNotification *notification : cleared)
        notification->deleteLater();
}

void ErrorHandler::removeFromList(int key)
{
    if (AbstractNotification *removed = m_list.take(key))
        removed->deleteLater();
    emitListChanged();
}

void ErrorHandler::removeFromListByPtr(AbstractNotification *self)
{
    if (!self)
        return;
    for (auto it = m_list.begin(); it != m_list.end(); ++it) {
        if (it.value() == self) {
            m_list.erase(it);
            break;
        }
    }
    // A taken notification is no longer listed, but its producer asked for its end all the same.
    self->deleteLater();
    emitListChanged();
}

NotificationList ErrorHandler::getNotificationList() const
{
    return m_list.values();
}

uint ErrorHandler::getNotificationCount() const
{
    return static_cast<uint>(m_list.size());
}

int ErrorHandler::listNotification(AbstractNotification *notification)
{
    if (notification->getLevel() > nimbrel::Info)
        return -1;
    connect(notification, &AbstractNotification::RequestDelete, this,
            &ErrorHandler::removeFromListByPtr, Qt::DirectConnection);
    const int key = ++m_counter;
    m_list.insert(key, notification);
    // A producer keeps the raw pointer it handed over and may delete it directly; the list must
    // not keep it once it is gone. Only the pointer value is compared: the object is half
    // destroyed by then.
    connect(notification, &QObject::destroyed, this,
            [this, key, notification] { dropDestroyed(key, notification); });
    emitListChanged();
    return key;
}

void ErrorHandler::dropDestroyed(int key, const AbstractNotification *notification)
{
    const auto it = m_list.find(key);
    if (it == m_list.end() || it.value() != notification)
        return;
    m_list.erase(it);
    emitListChanged();
}

void ErrorHandler::emitListChanged()
{
    emit NotificationListChanged();
    emit NotificationCountChanged();
}

void registerNotificationQmlTypes()
{
    static const bool registered = [] {
        const char *uri = "com.orvane";
        qmlRegisterUncreatableType<ErrorHandler>(uri, 1, 0, "ErrorHandler", QString());
        qmlRegisterUncreatableType<AbstractNotification>(uri, 1, 0, "AbstractNotification",
                                                         QString());
        qmlRegisterUncreatableMetaObject(nimbrel::staticMetaObject, uri, 1, 0, "Nimbrel",
                                         QString());
        return true;
    }();
    Q_UNUSED(registered);
}
