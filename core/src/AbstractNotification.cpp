#include "AbstractNotification.h"

#include "NotificationLogging.h"

#include <QMetaType>

Q_LOGGING_CATEGORY(lcNotifications, "App.Notifications")

namespace {

void registerNotificationMetaTypes()
{
    static const bool registered = [] {
        qRegisterMetaType<nimbrel::ErrorLevel>("ErrorLevel");
        qRegisterMetaType<AbstractNotification::Type>("Type");
        qRegisterMetaType<AbstractNotification::ErrorSource>("ErrorSource");
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

AbstractNotification::AbstractNotification(QObject *parent, Type type, nimbrel::ErrorLevel level,
                                           ErrorSource source, QString title, QString message,
                                           QString origin, QDateTime time)
    : QObject(parent)
    , m_type(type)
    , m_level(level)
    , m_source(source)
    , m_title(std::move(title))
    , m_message(std::move(message))
    , m_time(std::move(time))
    , m_origin(std::move(origin))
{
    registerNotificationMetaTypes();

    // Logged here rather than when listed, so that a repeat the hub folds away still shows up in
    // the application log.
    const QString text = QLatin1Char('[') + m_title + QLatin1String("] ") + m_message;
    switch (m_level) {
    case nimbrel::CriticalError:
    case nimbrel::Error:
        qCCritical(lcNotifications) << text;
        break;
    case nimbrel::Warning:
        qCWarning(lcNotifications) << text;
        break;
    default:
        break;
    }
}

bool AbstractNotification::isSameNotification(const AbstractNotification *other) const
{
    return other && m_level == other->m_level && m_source == other->m_source
        && m_title == other->m_title && m_message == other->m_message
        && m_origin == other->m_origin;
}

void AbstractNotification::deleteSelf()
{
    emit RequestDelete(this);
}

void AbstractNotification::changeTitleTextSlot(QString newText)
{
    m_title = std::move(newText);
    emit titleTextChanged(m_title);
    changeFiredTime();
}

void AbstractNotification::changeMessageTextSlot(QString newText)
{
    m_message = std::move(newText);
    emit messageTextChanged(m_message);
    changeFiredTime();
}

void AbstractNotification::changeFiredTime(QDateTime dateTime)
{
    m_time = std::move(dateTime);
    emit firedTimeChanged(m_time);
}

void AbstractNotification::changeFiredTime()
{
    changeFiredTime(QDateTime::currentDateTimeUtc());
}

void AbstractNotification::setExpanded(bool expanded)
{
    m_expanded = expanded;
    emit expandedChanged();
}
