#pragma once

#include "Nimbrel.h"

#include <QDateTime>
#include <QObject>
#include <QString>

// One thing the user should know about: a level, a source, a heading, a body text, the component
// or device it comes from and when it was fired. The hub (ErrorHandler) lists and deletes them;
// all of them live on the GUI thread.
class AbstractNotification : public QObject
{
    Q_OBJECT
    Q_PROPERTY(Type type READ getType CONSTANT)
    Q_PROPERTY(nimbrel::ErrorLevel level READ getLevel CONSTANT)
    Q_PROPERTY(ErrorSource source READ getSource CONSTANT)
    Q_PROPERTY(QString origin READ getOrigin CONSTANT)
    Q_PROPERTY(QString title READ getTitle NOTIFY titleTextChanged)
    Q_PROPERTY(QString message READ getMessage NOTIFY messageTextChanged)
    Q_PROPERTY(QDateTime time READ getFiredTime NOTIFY firedTimeChanged)
    Q_PROPERTY(bool modal READ isModal CONSTANT)
    Q_PROPERTY(bool expanded READ isExpanded WRITE setExpanded NOTIFY expandedChanged)

public:
    // Button_1, Button_2 and ButtonProgress_2 are produced by nothing, but the notification row
    // still draws them, so the values stay.
    enum Type : int {
        String = 0,
        Button_1 = 1,
        Button_2 = 2,
        ButtonProgress_1 = 3,
        ButtonProgress_2 = 4,
        Progress_1 = 5,
    };
    Q_ENUM(Type)

    enum ErrorSource : int {
        Device = 0,
        NimbrelLab = 1,
    };
    Q_ENUM(ErrorSource)

    Type getType() const { return m_type; }
    ErrorSource getSource() const { return m_source; }
    QString getOrigin() const { return m_origin; }
    QString getTitle() const { return m_title; }
    QString getMessage() const { return m_message; }
    QDateTime getFiredTime() const { return m_time; }
    bool isModal() const { return m_modal; }
    bool isExpanded() const { return m_expanded; }

    // Set before the notification is handed to the hub: the popup opens by itself for it.
    void setModal(bool modal) { m_modal = modal; }

    // Same level, source, title, message and origin (case-sensitive). Kind and time do not count.
    bool isSameNotification(const AbstractNotification *other) const;

    Q_INVOKABLE void deleteSelf();

signals:
    void RequestDelete(AbstractNotification *self);
    void titleTextChanged(QString title);
    void messageTextChanged(QString message);
    void firedTimeChanged(QDateTime time);
    void expandedChanged();

public slots:
    // Every text change counts as news: the time moves to now even if the text stays the same.
    void changeTitleTextSlot(QString newText);
    void changeMessageTextSlot(QString newText);
    void changeFiredTime(QDateTime dateTime);
    void changeFiredTime();
    void setExpanded(bool expanded);
    nimbrel::ErrorLevel getLevel() const { return m_level; }

protected:
    // Logs "[title] message" at critical level for errors and at warning level for warnings.
    AbstractNotification(QObject *parent, Type type, nimbrel::ErrorLevel level, ErrorSource source,
                         QString title, QString message, QString origin, QDateTime time);

private:
    bool m_expanded = false;
    Type m_type;
    nimbrel::ErrorLevel m_level;
    ErrorSource m_source;
    QString m_title;
    QString m_message;
    QDateTime m_time;
    QString m_origin;
    bool m_modal = false;
};
