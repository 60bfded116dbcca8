#pragma once

#include <QObject>

class QSocketNotifier;

namespace platform {

// A desktop session ends its programs with SIGTERM (log-out, shutdown) and a terminal with SIGINT
// or SIGHUP. Left to the default action they kill the program at once: the device never hears the
// disconnect request and the log loses its last lines. While an instance of this class lives, the
// three signals are turned into terminationRequested() on the thread that made it, so the owner
// can end its event loop and shut down the usual way. One instance at a time; the default actions
// come back when it is destroyed.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be taken over (they then keep their default action).
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace platform
