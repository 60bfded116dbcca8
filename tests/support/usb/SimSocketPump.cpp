#include "SimSocketPump.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace nimbrel::test {

SimSocketPump::SimSocketPump()
    : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_thread = std::thread([this] { run(); });
}

SimSocketPump::~SimSocketPump()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    m_thread.join();
    for (auto &[id, connection] : m_connections)
        ::close(connection.fd);
    ::close(m_wakeFd);
}

bool SimSocketPump::connectTo(int id, const QString &path, Receiver receiver, Closed closed,
                              QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (name.size() >= qsizetype(sizeof address.sun_path)) {
        *error = QStringLiteral("socket path too long: %1").arg(path);
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        *error = QStringLiteral("cannot connect to %1: %2")
                     .arg(path, QString::fromLocal8Bit(strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    {
        std::lock_guard lock(m_mutex);
        Connection &connection = m_connections[id];
        connection.fd = fd;
        connection.receiver = std::move(receiver);
        connection.closed = std::move(closed);
    }
    wake();
    return true;
}

void SimSocketPump::send(int id, const QByteArray &data)
{
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_connections.find(id);
        if (it == m_connections.end())
            return;
        // Copied, never shared: a shared buffer would be freed by whichever thread lets go of it
        // last, ordered only by Qt's reference count, which ThreadSanitizer cannot see.
        it->second.outgoing.append(data.constData(), data.size());
    }
    wake();
}

void SimSocketPump::close(int id)
{
    std::unique_lock lock(m_mutex);
    m_callbackDone.wait(lock, [&] { return m_inCallback != id; });
    const auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    ::close(it->second.fd);
    m_connections.erase(it);
    lock.unlock();
    wake();
}

bool SimSocketPump::isConnected(int id) const
{
    std::lock_guard lock(m_mutex);
    return m_connections.count(id) != 0;
}

void SimSocketPump::wake()
{
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = write(m_wakeFd, &one, sizeof one);
}

void SimSocketPump::drop(std::unique_lock<std::mutex> &lock, int id)
{
    const auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    const Closed closed = it->second.closed;
    ::close(it->second.fd);
    m_connections.erase(it);
    m_inCallback = id;
    lock.unlock();
    if (closed)
        closed();
    lock.lock();
    m_inCallback = -1;
    m_callbackDone.notify_all();
}

void SimSocketPump::run()
{
    std::vector<pollfd> fds;
    std::vector<int> ids;
    char buffer[65536];
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        fds.assign(1, pollfd{ m_wakeFd, POLLIN, 0 });
        ids.assign(1, -1);
        for (const auto &[id, connection] : m_connections) {
            const short events = POLLIN | (connection.outgoing.isEmpty() ? 0 : POLLOUT);
            fds.push_back(pollfd{ connection.fd, events, 0 });
            ids.push_back(id);
        }
        lock.unlock();
        ::poll(fds.data(), fds.size(), -1);
        quint64 counter = 0;
        [[maybe_unused]] const ssize_t drained = read(m_wakeFd, &counter, sizeof counter);
        lock.lock();
        for (size_t i = 1; i < fds.size() && !m_stopping; ++i) {
            const int id = ids[i];
            auto it = m_connections.find(id);
            // Closed or replaced while this thread polled: its revents belong to an old socket.
            if (it == m_connections.end() || it->second.fd != fds[i].fd || !fds[i].revents)
                continue;
            if (fds[i].revents & POLLOUT) {
                QByteArray &outgoing = it->second.outgoing;
                const ssize_t n = ::send(fds[i].fd, outgoing.constData(), size_t(outgoing.size()),
                                         MSG_NOSIGNAL);
                if (n > 0)
                    outgoing.remove(0, n);
                else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                    drop(lock, id);
                    continue;
                }
            }
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                if (n > 0) {
                    const Receiver receiver = it->second.receiver;
                    m_inCallback = id;
                    lock.unlock();
                    receiver(QByteArray(buffer, n));
                    lock.lock();
                    m_inCallback = -1;
                    m_callbackDone.notify_all();
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                    drop(lock, id);
                }
            }
        }
    }
}

} // namespace nimbrel::test
