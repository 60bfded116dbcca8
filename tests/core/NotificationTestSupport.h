#pragma once

#include "AbstractNotification.h"
#include "ErrorHandler.h"
#include "NotificationMsgProgress.h"
#include "NotificationMsgProgressButton.h"

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// Records the hub's and the notifications' signals in the order they are emitted, which a set of
// separate QSignalSpy objects cannot show.
class SignalOrder : public QObject
{
public:
    QStringList events;

    void watch(ErrorHandler *hub)
    {
        connect(hub, &ErrorHandler::NotificationListChanged, this,
                [this] { events << QStringLiteral("NotificationListChanged"); });
        connect(hub, &ErrorHandler::NotificationCountChanged, this,
                [this] { events << QStringLiteral("NotificationCountChanged"); });
    }

    void watch(AbstractNotification *notification)
    {
        connect(notification, &AbstractNotification::RequestDelete, this,
                [this] { events << QStringLiteral("RequestDelete"); });
        connect(notification, &AbstractNotification::titleTextChanged, this,
                [this] { events << QStringLiteral("titleTextChanged"); });
        connect(notification, &AbstractNotification::messageTextChanged, this,
                [this] { events << QStringLiteral("messageTextChanged"); });
        connect(notification, &AbstractNotification::firedTimeChanged, this,
                [this] { events << QStringLiteral("firedTimeChanged"); });
        connect(notification, &AbstractNotification::expandedChanged, this,
                [this] { events << QStringLiteral("expandedChanged"); });
        if (auto *progress = qobject_cast<NotificationMsgProgress *>(notification)) {
            connect(progress, &NotificationMsgProgress::ProgressEnabledChanged, this,
                    [this] { events << QStringLiteral("ProgressEnabledChanged"); });
            connect(progress, &NotificationMsgProgress::ProgressChanged, this,
                    [this] { events << QStringLiteral("ProgressChanged"); });
        }
        if (auto *button = qobject_cast<NotificationMsgProgressButton *>(notification)) {
            connect(button, &NotificationMsgProgressButton::ProgressEnabledChanged, this,
                    [this] { events << QStringLiteral("ProgressEnabledChanged"); });
            connect(button, &NotificationMsgProgressButton::ProgressChanged, this,
                    [this] { events << QStringLiteral("ProgressChanged"); });
            connect(button, &NotificationMsgProgressButton::FireButton, this,
                    [this] { events << QStringLiteral("FireButton"); });
            connect(button, &NotificationMsgProgressButton::ButtonEnabledChanged, this,
                    [this] { events << QStringLiteral("ButtonEnabledChanged"); });
            connect(button, &NotificationMsgProgressButton::ButtonNameChanged, this,
                    [this] { events << QStringLiteral("ButtonNameChanged"); });
        }
    }
};

inline const QStringList kListSignals{ QStringLiteral("NotificationListChanged"),
                                       QStringLiteral("NotificationCountChanged") };

// Captures what the notification classes write to the message log; other categories go on to
// the handler that was installed before (Qt Test's).
struct LoggedLine
{
    QtMsgType type;
    QString text;
};

class NotificationLogCapture
{
public:
    NotificationLogCapture()
    {
        s_lines.clear();
        s_previous = qInstallMessageHandler(&NotificationLogCapture::handle);
    }
    ~NotificationLogCapture() { qInstallMessageHandler(s_previous); }
    NotificationLogCapture(const NotificationLogCapture &) = delete;
    NotificationLogCapture &operator=(const NotificationLogCapture &) = delete;

    const QList<LoggedLine> &lines() const { return s_lines; }

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (context.category && qstrcmp(context.category, "App.Notifications") == 0)
            s_lines.append({ type, text });
        else if (s_previous)
            s_previous(type, context, text);
    }

    inline static QtMessageHandler s_previous = nullptr;
    inline static QList<LoggedLine> s_lines;
};

// Runs the deferred deletions the hub scheduled, as the event loop would.
inline void runDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
