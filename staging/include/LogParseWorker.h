#pragma once

#include "ConversionStage.h"

#include <QByteArray>
#include <QObject>
#include <QUrl>

#include <atomic>

// Runs log conversions in the thread it lives in (the LogParser's), one request at a time.
//
// Threading: parseLog and the signals run in the worker's thread; cancel() may be called from
// any thread. Progress reports are ordinary signals: the worker never waits for their receiver,
// so a receiver that is busy (or being destroyed) cannot stall a conversion.
class LogParseWorker : public QObject
{
    Q_OBJECT

public:
    explicit LogParseWorker(QObject *parent = nullptr);

    // Stops the running conversion at its next check (its partial file is removed) and every
    // later one at once. For shutdown: it cannot be undone.
    void cancel();

public slots:
    void parseLog(const QUrl &fileUrl, const QUrl &outputLocation);

signals:
    void progressChanged(ConversionStage stage, float progress);
    // After every request: ok, or the reason it failed.
    void finished(bool ok, const QString &message);

private:
    QByteArray m_filePath;
    std::atomic<bool> m_cancel{ false };
};
