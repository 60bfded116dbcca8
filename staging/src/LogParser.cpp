#include "LogParser.h"

#include "ErrorHandler.h"
#include "LogParseWorker.h"

#include <QDateTime>
#include <QThread>

LogParser::LogParser(QObject *parent)
    : LogParser(nullptr, parent)
{ }

LogParser::LogParser(QThread *sharedThread, QObject *parent)
    : QObject(parent)
    , m_worker(new LogParseWorker)
    , m_thread(sharedThread ? sharedThread : new QThread(this))
    , m_ownsThread(sharedThread == nullptr)
{
    qRegisterMetaType<ConversionStage>("ConversionStage");
    m_worker->moveToThread(m_thread);
    connect(this, &LogParser::parseLogWorker, m_worker, &LogParseWorker::parseLog);
    if (m_ownsThread)
        connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    // Queued, not blocking: a worker that waited for each report could never finish while this
    // thread waits for it in the destructor.
    connect(m_worker, &LogParseWorker::progressChanged, this, &LogParser::progressCallback,
            Qt::QueuedConnection);
    connect(m_worker, &LogParseWorker::finished, this, &LogParser::workerFinished,
            Qt::QueuedConnection);
    if (m_ownsThread)
        m_thread->start(QThread::InheritPriority);
}

LogParser::~LogParser()
{
    m_worker->cancel();
    if (m_ownsThread) {
        m_thread->quit();
        m_thread->wait();
    } else {
        // Runs after the worker's current request, if any, has seen the cancel flag.
        m_worker->deleteLater();
    }
}

void LogParser::setProgress(float progress)
{
    if (progress == m_progress)
        return;
    m_progress = progress;
    emit progressChanged(progress);
}

bool LogParser::parseLog(const QUrl &fileUrl, const QUrl &outputLocation)
{
    emit parseLogWorker(fileUrl, outputLocation);
    return false;
}

void LogParser::progressCallback(ConversionStage stage, float progress)
{
    Q_UNUSED(stage);
    setProgress(progress);
}

void LogParser::workerFinished(bool ok, const QString &message)
{
    if (!ok) {
        // A malformed log ends at 1 like a converted one: the screen waits for that.
        if (message != QLatin1String("Log file is malformed"))
            setProgress(0);
        ErrorHandler::instance()->pushNotification(
            nimbrel::Error, AbstractNotification::NimbrelLab, tr("Log conversion failed"), message,
            QStringLiteral("Log conversion"), QDateTime::currentDateTime());
    }
    emit finished(ok, message);
}
