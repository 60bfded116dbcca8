#pragma once

#include "AbstractNotification.h"
#include "Nimbrel.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>

class AbstractNotification;

// The listed notifications in order of arrival; QML sees it as an array of notification objects.
using NotificationList = QList<AbstractNotification *>;

// The process-wide notification hub (QML: Notifications). It lists notifications under integer
// keys that start at 1 and are never reused, so a stale key never finds a newer notification.
//
// Threading: GUI thread only; every connection is direct.
// Ownership: a listed notification is a child of the hub and is deleted by it (always deferred)
// when removed, cleared or when it emits RequestDelete. A notification the hub refuses (level
// above Info) is never owned by the hub. A listed notification that is deleted by anyone else is
// dropped from the list when it is destroyed.
class ErrorHandler : public QObject
{
    Q_OBJECT
    Q_PROPERTY(
        NotificationList notificationList READ getNotificationList NOTIFY NotificationListChanged)
    Q_PROPERTY(uint notificationCount READ getNotificationCount NOTIFY NotificationCountChanged)

public:
    // Production code uses instance(); separate hubs are for tools that want their own list.
    explicit ErrorHandler(QObject *parent = nullptr);

    // Created on first use, without parent, and never deleted.
    static ErrorHandler *instance();

    // Fire and forget. Returns the key of a new text notification, or the key of a listed text
    // notification with the same level, source, title, message and origin (whose time is then
    // refreshed), or -1 for a level above Info.
    // QML pushes its own failures this way too.
    Q_INVOKABLE int pushNotification(nimbrel::ErrorLevel level,
                                     AbstractNotification::ErrorSource source, const QString &title,
                                     const QString &message, const QString &origin,
                                     const QDateTime &time);

    // Lists a living notification and takes it over as its parent. Returns its key, or -1 (for
    // null or a level above Info: the caller keeps it). No repeat check against other
    // notifications; a notification that is listed already keeps its key.
    int addNotification(AbstractNotification *notification);

    AbstractNotification *getNotification(int key) const;

    // Unlists without deleting; the hub stays the parent, so a later RequestDelete of the taken
    // notification still deletes it.
    AbstractNotification *takeNotification(int key);

signals:
    // Both are emitted, in this order, after every change of the list.
    void NotificationListChanged();
    void NotificationCountChanged();

public slots:
    void clearNotifications();
    void removeFromList(int key);
    void removeFromListByPtr(AbstractNotification *self);
    NotificationList getNotificationList() const;
    uint getNotificationCount() const;

private:
    int listNotification(AbstractNotification *notification);
    void dropDestroyed(int key, const AbstractNotification *notification);
    void emitListChanged();

    int m_counter = 0;
    QMap<int, AbstractNotification *> m_list;
};

// Registers ErrorHandler and AbstractNotification as uncreatable types and the namespace nimbrel
// as "Nimbrel" in "com.orvane" 1.0. Safe to call more than once.
void registerNotificationQmlTypes();
