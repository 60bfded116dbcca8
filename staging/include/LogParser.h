#pragma once

#include "ConversionStage.h"

#include <QObject>
#include <QUrl>

class LogParseWorker;
class QThread;

// Converts device log files to MAT 7.3 files in a thread of its own (QML: logParser; each log
// entry makes its own) and publishes the progress: 0 -> 0.5 while the records are read, -> 0.75
// while the variables are built, -> 1 when they are written.
//
// Every request ends with finished(ok, message). A malformed log still ends at progress 1 (the
// screen waits for it) and keeps it; any other failure sets the progress back to 0, so the file
// can be converted again. A failure is also a notification.
//
// Threading: the object, its property and its signals belong to the GUI thread; the worker runs
// in the owned thread (or in a thread shared with other parsers, which then take turns) and
// reports by queued signals. Ownership: an owned thread is a child; the worker has no parent and
// is deleted when an owned thread finishes, or in the shared thread after this object is gone.
// The destructor cancels a running conversion and joins an owned thread; it never waits for a
// shared one.
class LogParser : public QObject
{
    Q_OBJECT
    Q_PROPERTY(float progress READ progress WRITE setProgress NOTIFY progressChanged)

public:
    explicit LogParser(QObject *parent = nullptr);
    // Runs the conversions in sharedThread, which the caller keeps running and outliving this.
    LogParser(QThread *sharedThread, QObject *parent);
    ~LogParser() override;

    float progress() const { return m_progress; }
    void setProgress(float progress);

    // Queues the conversion of the local file fileUrl into outputLocation; always false.
    Q_INVOKABLE bool parseLog(const QUrl &fileUrl, const QUrl &outputLocation);

public slots:
    void progressCallback(ConversionStage stage, float progress);

signals:
    void progressChanged(float progress);
    void parseLogWorker(const QUrl &fileUrl, const QUrl &outputLocation);
    void finished(bool ok, const QString &message);

private:
    void workerFinished(bool ok, const QString &message);

    float m_progress = 0;
    LogParseWorker *m_worker;
    QThread *m_thread;
    bool m_ownsThread;
};
