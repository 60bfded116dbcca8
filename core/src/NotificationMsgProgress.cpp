#include "NotificationMsgProgress.h"

NotificationMsgProgress::NotificationMsgProgress(QObject *parent, nimbrel::ErrorLevel level,
                                                 ErrorSource source, QString title, QString message,
                                                 QString origin, QDateTime time)
    : AbstractNotification(parent, Progress_1, level, source, std::move(title), std::move(message),
                           std::move(origin), std::move(time))
{ }

void NotificationMsgProgress::enableProgress(bool enabled)
{
    if (enabled == m_progressEnabled)
        return;
    m_progressEnabled = enabled;
    emit ProgressEnabledChanged(m_progressEnabled);
}

void NotificationMsgProgress::updateProgress(float progress)
{
    // A NaN never compares equal, so it is always taken (and never completes).
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit ProgressChanged(m_progress);
    if (m_deleteOnComplete && m_progress >= 1.0f)
        emit RequestDelete(this);
}

void NotificationMsgProgress::deleteAfterFireButton(bool enableDelete)
{
    m_deleteOnComplete = enableDelete;
}
