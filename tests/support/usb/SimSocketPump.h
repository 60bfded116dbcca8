#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace nimbrel::test {

// Moves bytes between the simulated USB devices and their pelto-sim processes: one Unix stream
// socket per device, served by one thread of its own so that neither the thread under test nor
// umockdev's worker ever waits for a simulator.
//
// The callbacks run on the pump thread, never while the pump holds its lock, so they may call
// send() and close(). The bytes a receiver is given belong to the pump thread: a receiver that
// keeps them for another thread keeps a copy, not a shared QByteArray.
class SimSocketPump
{
public:
    using Receiver = std::function<void(const QByteArray &data)>;
    using Closed = std::function<void()>;

    SimSocketPump();
    ~SimSocketPump();
    SimSocketPump(const SimSocketPump &) = delete;
    SimSocketPump &operator=(const SimSocketPump &) = delete;

    // Connects to the simulator's socket (on the calling thread) and starts serving it.
    bool connectTo(int id, const QString &path, Receiver receiver, Closed closed, QString *error);
    // Queues a copy of the bytes for the simulator (the caller keeps its buffer, which the pump
    // thread never touches); dropped when the socket is gone.
    void send(int id, const QByteArray &data);
    // Closes the socket; the callbacks of that id are not called again once close() returned.
    void close(int id);
    bool isConnected(int id) const;

private:
    struct Connection
    {
        int fd = -1;
        QByteArray outgoing;
        Receiver receiver;
        Closed closed;
    };

    void run();
    void wake();
    void drop(std::unique_lock<std::mutex> &lock, int id);

    mutable std::mutex m_mutex;
    std::map<int, Connection> m_connections;
    int m_wakeFd = -1;
    bool m_stopping = false;
    // The id whose callback runs now (-1: none); close() waits until it is done.
    int m_inCallback = -1;
    std::condition_variable m_callbackDone;
    std::thread m_thread;
};

} // namespace nimbrel::test
