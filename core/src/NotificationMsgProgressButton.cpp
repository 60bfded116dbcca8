#include "NotificationMsgProgressButton.h"

NotificationMsgProgressButton::NotificationMsgProgressButton(QObject *parent,
                                                             nimbrel::ErrorLevel level,
                                                             ErrorSource source, QString title,
                                                             QString message, QString buttonName,
                                                             QString origin, QDateTime time)
    : AbstractNotification(parent, ButtonProgress_1, level, source, std::move(title),
                           std::move(message), std::move(origin), std::move(time))
    , m_buttonName(std::move(buttonName))
{ }

void NotificationMsgProgressButton::buttonPressed()
{
    if (!m_buttonEnabled)
        return;
    emit FireButton();
    if (m_deleteOnPress)
        emit RequestDelete(this);
}

void NotificationMsgProgressButton::enableProgress(bool enabled)
{
    if (enabled == m_progressEnabled)
        return;
    m_progressEnabled = enabled;
    emit ProgressEnabledChanged(m_progressEnabled);
}

void NotificationMsgProgressButton::updateProgress(float progress)
{
    // A NaN never compares equal, so it is always taken (and never completes).
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit ProgressChanged(m_progress);
    if (m_deleteOnComplete && m_progress >= 1.0f)
        emit RequestDelete(this);
}

void NotificationMsgProgressButton::deleteOnProgressComplete(bool enableDelete)
{
    m_deleteOnComplete = enableDelete;
}

void NotificationMsgProgressButton::enableButton(bool enabled)
{
    if (enabled == m_buttonEnabled)
        return;
    m_buttonEnabled = enabled;
    emit ButtonEnabledChanged(m_buttonEnabled);
}

void NotificationMsgProgressButton::changeButtonName(QString newName)
{
    if (newName == m_buttonName)
        return;
    m_buttonName = std::move(newName);
    emit ButtonNameChanged(m_buttonName);
}

void NotificationMsgProgressButton::deleteOnFireButton(bool deleteOnPress)
{
    m_deleteOnPress = deleteOnPress;
}
