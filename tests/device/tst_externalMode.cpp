#include "ExternalMode.h"
#include "ServiceTestRig.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

// A port free on both loopback addresses right now.
int freePort()
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        QTcpServer v4;
        if (!v4.listen(QHostAddress::LocalHost, 0))
            continue;
        QTcpServer v6;
        if (v6.listen(QHostAddress::LocalHostIPv6, v4.serverPort())
            || v6.serverError() != QAbstractSocket::AddressInUseError)
            return v4.serverPort();
    }
    return -1;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray b(size, Qt::Uninitialized);
    for (char &c : b)
        c = char(random.bounded(256));
    return b;
}

using Status = std::tuple<int, bool, bool>;

// The kernel's own view of the listening sockets on a port, from /proc/net/tcp and
// /proc/net/tcp6: one line per socket with its table, its local address as the kernel prints it
// (hex, host byte order per 32-bit word) and whether the socket belongs to process PID.
const char *kListeningAddresses = R"(
import os, sys
port, pid = int(sys.argv[1]), sys.argv[2]
ours = set()
for fd in os.listdir('/proc/%s/fd' % pid):
    try:
        ours.add(os.readlink('/proc/%s/fd/%s' % (pid, fd)))
    except OSError:
        pass
for table in ('tcp', 'tcp6'):
    lines = open('/proc/net/' + table).read().splitlines()[1:]
    for line in lines:
        fields = line.split()
        address, hexport = fields[1].split(':')
        if fields[3] == '0A' and int(hexport, 16) == port:
            owner = 'ours' if 'socket:[%s]' % fields[9] in ours else 'other'
            print(table, address, owner)
)";

// A tool on this computer: sends random bytes, then reads what the device sends back. Prints the
// sent and the received bytes as hex lines.
const char *kPythonTool = R"(
import os, socket, sys
port, send_size, receive_size = map(int, sys.argv[1:4])
data = os.urandom(send_size)
with socket.create_connection(('127.0.0.1', port), timeout=30) as s:
    s.sendall(data)
    received = b''
    while len(received) < receive_size:
        chunk = s.recv(65536)
        if not chunk:
            break
        received += chunk
print(data.hex())
print(received.hex())
)";

} // namespace

class TestExternalMode : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startAndStop();
    void portInUse();
    void listensOnLoopbackOnly();
    void clientBytesGoToChannel5InFrameSizedPieces_data();
    void clientBytesGoToChannel5InFrameSizedPieces();
    void deviceBytesGoToTheClient();
    void devicePacketsWithoutClientAreDropped();
    void keepsListeningAfterDisconnect();
    void secondClientTakesOver();
    void stopClosesTheClient();
    void destructionStopsTheServer();
    void pythonToolEndToEnd();

private:
    std::unique_ptr<QTcpSocket> connectClient();
    QByteArray channel5() const;

    std::unique_ptr<ServiceRig> m_rig;
    std::unique_ptr<ExternalMode> m_bridge;
    std::unique_ptr<QSignalSpy> m_status;
    int m_port = -1;
};

void TestExternalMode::init()
{
    m_rig = std::make_unique<ServiceRig>();
    m_bridge = std::make_unique<ExternalMode>(nullptr, 5, true, &m_rig->manager);
    m_status
        = std::make_unique<QSignalSpy>(m_bridge.get(), &ExternalMode::extModServerStatusChanged);
    m_port = freePort();
    QVERIFY(m_port > 0);
    m_bridge->setPort(m_port);
}

void TestExternalMode::cleanup()
{
    m_status.reset();
    m_bridge.reset();
    m_rig.reset();
}

std::unique_ptr<QTcpSocket> TestExternalMode::connectClient()
{
    auto client = std::make_unique<QTcpSocket>();
    client->connectToHost(QHostAddress::LocalHost, quint16(m_port));
    const qsizetype before = m_status->size();
    if (!waitFor([&] {
            return m_status->size() > before && m_bridge->isClientConnected()
                && client->state() == QAbstractSocket::ConnectedState;
        }))
        return nullptr;
    return client->state() == QAbstractSocket::ConnectedState ? std::move(client) : nullptr;
}

QByteArray TestExternalMode::channel5() const
{
    bool reliable = false;
    const QList<QByteArray> payloads = m_rig->link->payloads(5, &reliable);
    return payloads.isEmpty() || !reliable ? QByteArray() : payloads.join();
}

static Status statusAt(const QSignalSpy &spy, qsizetype i)
{
    return { spy.at(i).at(0).toInt(), spy.at(i).at(1).toBool(), spy.at(i).at(2).toBool() };
}

void TestExternalMode::startAndStop()
{
    ExternalMode unset(nullptr, 5, true, &m_rig->manager);
    QSignalSpy unsetStatus(&unset, &ExternalMode::extModServerStatusChanged);
    QCOMPARE(unset.startServer(), -22);
    QCOMPARE(unsetStatus.size(), 0);

    QCOMPARE(m_bridge->startServer(), m_port);
    QVERIFY(m_bridge->isStarted());
    QCOMPARE(m_status->size(), 1);
    QCOMPARE(statusAt(*m_status, 0), Status(m_port, true, false));

    QCOMPARE(m_bridge->startServer(), -16);
    QCOMPARE(m_status->size(), 1);

    m_bridge->stopServer();
    QVERIFY(!m_bridge->isStarted());
    QCOMPARE(m_status->size(), 2);
    QCOMPARE(statusAt(*m_status, 1), Status(m_port, false, false));
    m_bridge->stopServer();
    QCOMPARE(m_status->size(), 2);

    // The port is free again: a restart listens on it once more.
    QCOMPARE(m_bridge->startServer(), m_port);
    QVERIFY(connectClient());
}

void TestExternalMode::portInUse()
{
    QTcpServer other;
    QVERIFY(other.listen(QHostAddress::LocalHost, quint16(m_port)));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot listen on port"));
    QCOMPARE(m_bridge->startServer(), -5);
    QVERIFY(!m_bridge->isStarted());
    QCOMPARE(m_status->size(), 0);
}

void TestExternalMode::listensOnLoopbackOnly()
{
    QCOMPARE(m_bridge->startServer(), m_port);

    // Asked of the kernel rather than by dialling this computer's other addresses: every socket
    // listening on the port is the bridge's, bound to 127.0.0.1 (and to ::1 where the host has
    // IPv6), never to a wildcard or to an address others can reach.
    const ProcessResult kernel = runPython(
        QString::fromLatin1(kListeningAddresses),
        { QString::number(m_port), QString::number(QCoreApplication::applicationPid()) });
    QVERIFY2(kernel.finished && kernel.exitCode == 0, kernel.err.constData());
    const QList<QByteArray> sockets = kernel.out.trimmed().split('\n');
    QVERIFY2(sockets.contains("tcp 0100007F ours"), kernel.out.constData());
    for (const QByteArray &socket : sockets) {
        QVERIFY2(socket == "tcp 0100007F ours"
                     || socket == "tcp6 00000000000000000000000001000000 ours",
                 socket.constData());
    }
}

void TestExternalMode::clientBytesGoToChannel5InFrameSizedPieces_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("pieces"); // exact split when it arrives in one read, else empty

    QTest::newRow("1 byte") << 1 << QList<int>{ 1 };
    QTest::newRow("one full frame") << 1018 << QList<int>{ 1018 };
    QTest::newRow("one byte more") << 1019 << QList<int>{ 1018, 1 };
    QTest::newRow("2500 bytes") << 2500 << QList<int>{ 1018, 1018, 464 };
    QTest::newRow("256 KiB") << 256 * 1024 << QList<int>{};
}

void TestExternalMode::clientBytesGoToChannel5InFrameSizedPieces()
{
    QFETCH(int, size);
    QFETCH(QList<int>, pieces);

    QCOMPARE(m_bridge->startServer(), m_port);
    auto client = connectClient();
    QVERIFY(client);
    const QByteArray data = randomBytes(size, quint32(size));
    client->write(data);
    QVERIFY(client->waitForBytesWritten(scaled(5000)) || client->bytesToWrite() == 0);
    QVERIFY(waitFor([&] { return channel5().size() >= size; }));

    QCOMPARE(channel5(), data);
    const QList<QByteArray> payloads = m_rig->link->payloads(5);
    for (const QByteArray &p : payloads)
        QVERIFY(p.size() >= 1 && p.size() <= 1018);
    if (!pieces.isEmpty()) {
        QList<int> sizes;
        for (const QByteArray &p : payloads)
            sizes << int(p.size());
        QCOMPARE(sizes, pieces);
    }
}

void TestExternalMode::deviceBytesGoToTheClient()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    auto client = connectClient();
    QVERIFY(client);

    const QByteArray first = randomBytes(1018, 1);
    const QByteArray second = randomBytes(17, 2);
    m_rig->link->inject(5, first);
    m_rig->link->inject(6, "device messages are not external mode");
    m_rig->link->inject(5, second);

    // The channel-6 packet came between the two: had it been passed on, it would show in the
    // middle.
    QByteArray received;
    QVERIFY(waitFor([&] {
        received += client->readAll();
        return received.size() >= first.size() + second.size();
    }));
    QCOMPARE(received, first + second);
}

void TestExternalMode::devicePacketsWithoutClientAreDropped()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    m_rig->link->inject(5, "before anyone listens");
    QVERIFY(m_bridge->isStarted());
    QCOMPARE(m_status->size(), 1);

    auto client = connectClient();
    QVERIFY(client);
    m_rig->link->inject(5, "for the client");
    QByteArray received;
    QVERIFY(waitFor([&] {
        received += client->readAll();
        return received.size() >= 14;
    }));
    QCOMPARE(received, QByteArray("for the client"));
}

void TestExternalMode::keepsListeningAfterDisconnect()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    auto first = connectClient();
    QVERIFY(first);
    first->disconnectFromHost();
    QVERIFY(waitFor([&] { return !m_bridge->isClientConnected(); }));
    QCOMPARE(statusAt(*m_status, m_status->size() - 1), Status(m_port, true, false));

    // Nobody to give it to: dropped, and the server stays up (the packet is handled at once;
    // whatever it posted has run once the posted events are through).
    const qsizetype statusBefore = m_status->size();
    m_rig->link->inject(5, "lost");
    QCoreApplication::processEvents();
    QVERIFY(m_bridge->isStarted());
    QCOMPARE(m_status->size(), statusBefore);

    auto second = connectClient();
    QVERIFY(second);
    QCOMPARE(statusAt(*m_status, m_status->size() - 1), Status(m_port, true, true));
    m_rig->link->inject(5, "again");
    QByteArray received;
    QVERIFY(waitFor([&] {
        received += second->readAll();
        return received.size() >= 5;
    }));
    QCOMPARE(received, QByteArray("again"));
    second->write("back");
    QVERIFY(waitFor([&] { return channel5() == "back"; }));
}

void TestExternalMode::secondClientTakesOver()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    auto first = connectClient();
    QVERIFY(first);
    auto second = connectClient();
    QVERIFY(second);

    // The first client is closed by the bridge; the second is the one served.
    QVERIFY(waitFor([&] { return first->state() == QAbstractSocket::UnconnectedState; }));
    QVERIFY(m_bridge->isClientConnected());
    QCOMPARE(statusAt(*m_status, m_status->size() - 1), Status(m_port, true, true));

    m_rig->link->inject(5, "to the newest");
    QByteArray received;
    QVERIFY(waitFor([&] {
        received += second->readAll();
        return received.size() >= 13;
    }));
    QCOMPARE(received, QByteArray("to the newest"));
    QVERIFY(first->readAll().isEmpty());

    second->write("from the newest");
    QVERIFY(waitFor([&] { return channel5() == "from the newest"; }));

    // The first client's end did not clear the second's connection; the second's end does.
    second->disconnectFromHost();
    QVERIFY(waitFor([&] { return !m_bridge->isClientConnected(); }));
    QCOMPARE(statusAt(*m_status, m_status->size() - 1), Status(m_port, true, false));
    QVERIFY(m_bridge->isStarted());
}

void TestExternalMode::stopClosesTheClient()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    auto client = connectClient();
    QVERIFY(client);
    m_bridge->stopServer();
    QCOMPARE(statusAt(*m_status, m_status->size() - 1), Status(m_port, false, false));
    QVERIFY(waitFor([&] { return client->state() == QAbstractSocket::UnconnectedState; }));

    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, quint16(m_port));
    QVERIFY(!late.waitForConnected(scaled(2000)));
    QCOMPARE(late.error(), QAbstractSocket::ConnectionRefusedError);
}

void TestExternalMode::destructionStopsTheServer()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    auto client = connectClient();
    QVERIFY(client);
    m_status.reset();
    QList<Status> seen;
    connect(m_bridge.get(), &ExternalMode::extModServerStatusChanged, this,
            [&](int port, bool started, bool connected) {
                seen.append({ port, started, connected });
            });
    m_bridge.reset();
    QCOMPARE(seen, QList<Status>{ Status(m_port, false, false) });
    QVERIFY(waitFor([&] { return client->state() == QAbstractSocket::UnconnectedState; }));
}

void TestExternalMode::pythonToolEndToEnd()
{
    QCOMPARE(m_bridge->startServer(), m_port);
    const int sendSize = 5000;
    const QByteArray fromDevice = randomBytes(3 * 1018 + 7, 99);

    QProcess tool;
    tool.start(python(),
               { "-c", QString::fromLatin1(kPythonTool), QString::number(m_port),
                 QString::number(sendSize), QString::number(fromDevice.size()) });
    QVERIFY(tool.waitForStarted(scaled(10000)));
    QVERIFY(waitFor([&] { return channel5().size() >= sendSize; }, 20000));

    for (qsizetype at = 0; at < fromDevice.size(); at += 1018)
        m_rig->link->inject(5, fromDevice.mid(at, 1018));
    QVERIFY(waitFor([&] { return tool.state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(tool.exitCode(), 0);

    const QList<QByteArray> lines = tool.readAllStandardOutput().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(channel5().toHex(), lines[0].trimmed());
    QCOMPARE(lines[1].trimmed(), fromDevice.toHex());
    for (const QByteArray &p : m_rig->link->payloads(5))
        QVERIFY(p.size() <= 1018);
    // The tool closed its end: the bridge is back to waiting for the next one.
    QVERIFY(waitFor([&] { return !m_bridge->isClientConnected(); }));
    QVERIFY(m_bridge->isStarted());
}

QTEST_GUILESS_MAIN(TestExternalMode)
#include "tst_externalMode.moc"
