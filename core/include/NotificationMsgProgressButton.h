#pragma once

#include "AbstractNotification.h"

// A living notification with a progress bar and one button. The producer connects FireButton to
// its own handler; the notification can ask to be removed after a press or on completion.
class NotificationMsgProgressButton : public AbstractNotification
{
    Q_OBJECT
    Q_PROPERTY(bool progressEnabled READ getProgressEnabled NOTIFY ProgressEnabledChanged)
    Q_PROPERTY(float progress READ getProgress NOTIFY ProgressChanged)
    Q_PROPERTY(bool buttonEnabled READ getButtonEnabled NOTIFY ButtonEnabledChanged)
    Q_PROPERTY(QString buttonName READ getButtonName NOTIFY ButtonNameChanged)

public:
    NotificationMsgProgressButton(QObject *parent, nimbrel::ErrorLevel level, ErrorSource source,
                                  QString title, QString message, QString buttonName,
                                  QString origin, QDateTime time);

    // Called by the notification row; a disabled button does nothing at all.
    Q_INVOKABLE void buttonPressed();

signals:
    void ProgressEnabledChanged(bool enabled);
    void ProgressChanged(float progress);
    void FireButton();
    void ButtonEnabledChanged(bool enabled);
    void ButtonNameChanged(QString name);

public slots:
    void enableProgress(bool enabled);
    void updateProgress(float progress);
    void deleteOnProgressComplete(bool enableDelete);
    void enableButton(bool enabled);
    void changeButtonName(QString newName);
    void deleteOnFireButton(bool deleteOnPress);
    bool getProgressEnabled() const { return m_progressEnabled; }
    float getProgress() const { return m_progress; }
    bool getButtonEnabled() const { return m_buttonEnabled; }
    QString getButtonName() const { return m_buttonName; }

private:
    bool m_progressEnabled = false;
    bool m_deleteOnComplete = false;
    float m_progress = 0.0f;
    QString m_buttonName;
    bool m_buttonEnabled = false;
    bool m_deleteOnPress = false;
};
