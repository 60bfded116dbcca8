#include "SimSocketPump.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace nimbrel::test;

namespace {

// A listening Unix socket standing in for pelto-sim's USB socket.
class Listener
{
public:
    explicit Listener(const QString &path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_fd >= 0
            && (bind(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
                || listen(m_fd, 1) != 0)) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~Listener()
    {
        if (m_peer >= 0)
            ::close(m_peer);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isValid() const { return m_fd >= 0; }
    bool accept()
    {
        pollfd p{ m_fd, POLLIN, 0 };
        if (::poll(&p, 1, scaled(5000)) != 1)
            return false;
        m_peer = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        return m_peer >= 0;
    }
    int peer() const { return m_peer; }

private:
    int m_fd = -1;
    int m_peer = -1;
};

bool readExactly(int fd, char *data, qsizetype size)
{
    while (size > 0) {
        pollfd p{ fd, POLLIN, 0 };
        if (::poll(&p, 1, scaled(5000)) != 1)
            return false;
        const ssize_t n = ::recv(fd, data, size_t(size), 0);
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

QByteArray pattern(int round, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((round * 31 + i) & 0xFF);
    return bytes;
}

} // namespace

// The pump between the simulated USB devices and their simulators, on a plain Unix socket.
// Under ThreadSanitizer (label tsan) it watches the hand-over of bytes between the threads: a
// caller's buffer must not be shared with the pump thread, since each side would then free what
// the other may still be reading, ordered only by a reference count inside Qt that the sanitizer
// cannot see.
//
// A plain program, not a Qt Test: QtTest's watchdog thread is judged too when the sanitizer also
// looks inside Qt (which this test needs), and its own hand-overs are ordered by Qt's futexes.
namespace {

// Bytes given to send() on another thread (umockdev's worker in the testbed) arrive intact and
// in order; the sender drops its buffer as soon as the peer has them.
bool handOver(const char *name, int size, int rounds)
{
    const auto fail = [name](const char *what) {
        std::fprintf(stderr, "FAIL: handOver(%s): %s\n", name, what);
        return false;
    };
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/pump-XXXXXX"));
    const QString path = dir.filePath(QStringLiteral("sim.sock"));
    Listener listener(path);
    if (!listener.isValid())
        return fail("cannot listen");
    SimSocketPump pump;
    QString error;
    if (!pump.connectTo(
            1, path, [](const QByteArray &) {}, [] {}, &error))
        return fail(qPrintable(error));
    if (!listener.accept())
        return fail("the pump did not connect");

    std::atomic<bool> intact = true;
    std::thread sender([&] {
        QByteArray received;
        for (int round = 0; round < rounds && intact; ++round) {
            const QByteArray bytes = pattern(round, size);
            pump.send(1, bytes);
            received.resize(size);
            if (!readExactly(listener.peer(), received.data(), size) || received != bytes)
                intact = false;
            // Gives the pump time to finish with what it sent before this buffer goes.
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    sender.join();
    if (!intact)
        return fail("the bytes did not arrive intact and in order");
    std::printf("PASS: handOver(%s)\n", name);
    return true;
}

} // namespace

int main()
{
    struct Row
    {
        const char *name;
        int size;
        int rounds;
    };
    const Row rows[] = {
        { "one byte", 1, 200 },
        { "a bulk packet", 512, 200 },
        { "larger than one socket write", 300000, 4 },
    };
    bool passed = true;
    for (const Row &row : rows)
        passed = handOver(row.name, row.size, row.rounds) && passed;
    return passed ? 0 : 1;
}
