#pragma once

#include "AbstractNotification.h"

// A living notification with a progress bar (0.0 to 1.0), owned by the hub once listed. It can
// ask to be removed by itself when the progress completes.
class NotificationMsgProgress : public AbstractNotification
{
    Q_OBJECT
    Q_PROPERTY(bool progressEnabled READ getProgressEnabled NOTIFY ProgressEnabledChanged)
    Q_PROPERTY(float progress READ getProgress NOTIFY ProgressChanged)

public:
    NotificationMsgProgress(QObject *parent, nimbrel::ErrorLevel level, ErrorSource source,
                            QString title, QString message, QString origin, QDateTime time);

signals:
    void ProgressEnabledChanged(bool enabled);
    void ProgressChanged(float progress);

public slots:
    void enableProgress(bool enabled);
    // Emits RequestDelete once the progress reaches 1.0 when delete-on-complete is set.
    void updateProgress(float progress);
    // Sets delete-on-complete.
    void deleteAfterFireButton(bool enableDelete);
    bool getProgressEnabled() const { return m_progressEnabled; }
    float getProgress() const { return m_progress; }

private:
    bool m_progressEnabled = false;
    bool m_deleteOnComplete = false;
    float m_progress = 0.0f;
};
