#include "TestSupport.h"
#include "UnixSocketTable.h"
#include "UriHandler.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

using namespace nimbrel::test;

namespace {
const QString scheme = QStringLiteral("nimbrel");
const QString toolchainLink
    = QStringLiteral("nimbrel:install_tc?version=1.2.0&progress=50&flags=1");

QString instanceProbe()
{
    return qEnvironmentVariable("NIMBREL_INSTANCE_PROBE");
}

// A client nobody here wrote: Python's AF_UNIX socket sending hand-made frames.
const char *foreignClientScript = R"(
import socket, struct, sys, time
path, mode, url, timeout = sys.argv[1], sys.argv[2], sys.argv[3].encode(), float(sys.argv[4])
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.connect(path)
frame = struct.pack(">I", len(url)) + url
if mode == "whole":
    s.sendall(frame)
elif mode == "pieces":
    for i in range(0, len(frame), 3):
        s.sendall(frame[i:i+3]); time.sleep(0.01)
elif mode == "huge":
    s.sendall(struct.pack(">I", 70000) + b"x" * 1000)
    # A dropped connection ends (or is reset) without a byte coming back.
    s.settimeout(timeout)
    try:
        print("dropped" if s.recv(1) == b"" else "answered")
    except ConnectionResetError:
        print("dropped")
    except socket.timeout:
        print("still open")
s.close()
)";

// A receiver nobody here wrote, standing where the first instance listens: it accepts every
// connection and then never reads ("never"), reads 32 KiB every 100 ms ("slow") or reads all.
// Prints "accepted" per connection and "received <n>" when a connection that carried bytes ends.
// It ends when its standard input does.
const char *receiverScript = R"(
import os, socket, sys, threading, time
path, mode = sys.argv[1], sys.argv[2]
threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
server.bind(path)
server.listen(8)
print("listening", flush=True)
held = []
def serve(conn):
    total = 0
    while True:
        if mode == "slow":
            time.sleep(0.1)
        try:
            data = conn.recv(32768 if mode == "slow" else 1 << 20)
        except ConnectionResetError:
            break
        if not data:
            break
        total += len(data)
    if total:
        print("received", total, flush=True)
while True:
    conn, _ = server.accept()
    print("accepted", flush=True)
    if mode == "never":
        held.append(conn)
    else:
        threading.Thread(target=serve, args=(conn,), daemon=True).start()
)";

// Clients nobody here wrote that connect and then send nothing ("idle") or only half a length
// ("partial"). Prints "connected <n>", then "closed <k>": how many the instance closed within the
// time given. Waits with epoll: a thousand sockets are beyond select().
const char *idleClientsScript = R"(
import selectors, socket, sys, time
path, count, mode, timeout = sys.argv[1], int(sys.argv[2]), sys.argv[3], float(sys.argv[4])
sel = selectors.DefaultSelector()
for i in range(count):
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    s.connect(path)
    if mode == "partial":
        s.sendall(b"\x00\x00")
    sel.register(s, selectors.EVENT_READ)
print("connected", count, flush=True)
closed, deadline = 0, time.monotonic() + timeout
while closed < count and time.monotonic() < deadline:
    for key, _ in sel.select(0.1):
        try:
            data = key.fileobj.recv(1)
        except ConnectionResetError:
            data = b""
        if not data:
            sel.unregister(key.fileobj)
            closed += 1
print("closed", closed, flush=True)
)";

// Open descriptors of this process, as the kernel lists them.
int openDescriptors()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System | QDir::Files | QDir::Dirs)
                   .size());
}

// Leaves a socket file behind with nobody listening, as a killed instance does.
const char *staleSocket = R"(
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind(sys.argv[1])
)";

// A process whose standard output is collected line by line (and its standard error).
struct Peer
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    Peer(const QString &program, const QStringList &arguments)
    {
        QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                         [this] { out += process.readAllStandardOutput(); });
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
        process.start(program, arguments);
    }
    ~Peer()
    {
        // The probes and the receiver end when their input does (a first instance gives its
        // socket up on the way out).
        process.closeWriteChannel();
        if (!process.waitForFinished(scaled(5000)))
            process.kill();
        process.waitForFinished();
    }
    QList<QByteArray> lines() const { return out.split('\n'); }
    bool said(const QByteArray &line) const { return lines().contains(line); }
    bool ended() const { return process.state() == QProcess::NotRunning; }
};

// Runs a foreign client against the first instance and waits for it to end.
bool runForeignClient(const QString &mode, const QString &url, QByteArray *out = nullptr)
{
    Peer client(python(), {QStringLiteral("-c"), QString::fromLatin1(foreignClientScript),
                           UriHandler::serverName(scheme), mode, url,
                           QString::number(scaled(10000) / 1000.0)});
    if (!waitFor([&] { return client.ended(); }, 20000))
        return false;
    if (out)
        *out = client.out.trimmed();
    return client.process.exitStatus() == QProcess::NormalExit && client.process.exitCode() == 0;
}
} // namespace

class TestUriHandler : public QObject
{
    Q_OBJECT

private slots:
    // A peer killed at the end of a test, or a failed test, leaves its socket or lock file
    // behind; the next test starts without them.
    void init()
    {
        QFile::remove(UriHandler::serverName(scheme));
        QFile::remove(UriHandler::serverName(scheme) + QStringLiteral(".lock"));
    }

    // Two hand-overs reach the running instance, each on its own connection, in the order sent,
    // and nothing else is routed.
    void secondInstanceHandsOver()
    {
        UriHandler first(scheme);
        QVERIFY(first.isFirstInstance());
        QSignalSpy called(&first, &UriHandler::appCalled);

        UriHandler second(scheme);
        QVERIFY(!second.isFirstInstance());
        const QUrl url(QStringLiteral("nimbrel:upload_app?file=/my%20bins/a.elf&flags=3"));
        const QUrl other(toolchainLink);
        for (const QUrl &u : {url, other}) {
            QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + u.toString()));
            QVERIFY(second.handleUri(u));
        }
        for (const QUrl &u : {url, other})
            QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + u.toString()));
        QTRY_COMPARE_WITH_TIMEOUT(called.size(), 2, scaled(5000));
        QCOMPARE(called.at(0).first().toUrl(), url);
        QCOMPARE(called.at(1).first().toUrl(), other);
    }

    void firstInstanceEmitsItself()
    {
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        QVERIFY(first.handleUri(QStringLiteral("NIMBREL:install_tc?version=1")));
        QCOMPARE(called.size(), 1);
        QCOMPARE(called.first().first().toUrl().scheme(), scheme);
    }

    void refusesForeignLinks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("other scheme") << "https://example.org/x";
        QTest::newRow("empty") << "";
    }

    void refusesForeignLinks()
    {
        QFETCH(QString, text);
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Invalid URL: ")));
        QVERIFY(!first.handleUri(text));
        QCOMPARE(called.size(), 0);
    }

    void nobodyListening()
    {
        auto first = std::make_unique<UriHandler>(scheme);
        UriHandler second(scheme);
        first.reset();
        QTest::ignoreMessage(QtWarningMsg, "Could not connect to other application");
        QVERIFY(!second.handleUri(QStringLiteral("nimbrel:upload_app?file=x")));
    }

    void foreignClient_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("deliveries");
        QTest::newRow("whole frame") << "whole" << 1;
        QTest::newRow("frame in 3-byte pieces") << "pieces" << 1;
        QTest::newRow("probe without data") << "probe" << 0;
        QTest::newRow("length above 64 KiB") << "huge" << 0;
    }

    void foreignClient()
    {
        QFETCH(QString, mode);
        QFETCH(int, deliveries);
        UriHandler first(scheme);
        QSignalSpy called(&first, &UriHandler::appCalled);
        if (mode == QLatin1String("huge"))
            QTest::ignoreMessage(QtWarningMsg,
                                 QRegularExpression(QStringLiteral("^Dropped a connection")));

        QByteArray out;
        QVERIFY(runForeignClient(mode, toolchainLink, &out));
        if (mode == QLatin1String("huge"))
            QCOMPARE(out, QByteArray("dropped"));

        // Everything the client sent was with the instance before the barrier connected, and
        // connections are taken and read in the order they arrive: once the barrier is routed,
        // whatever the client caused has been routed too.
        const QUrl barrier(QStringLiteral("nimbrel:upload_app?file=barrier"));
        QVERIFY(runForeignClient(QStringLiteral("whole"), barrier.toString()));
        QTRY_VERIFY_WITH_TIMEOUT(!called.isEmpty() && called.last().first().toUrl() == barrier,
                                 scaled(5000));
        QCOMPARE(called.size(), deliveries + 1);
        if (deliveries)
            QCOMPARE(called.first().first().toUrl(), QUrl(toolchainLink));
    }

    void idleConnectionsAreDropped_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("count");
        QTest::newRow("1000 clients that send nothing") << "idle" << 1000;
        QTest::newRow("100 clients that stop inside the length") << "partial" << 100;
    }

    // A connection that has not delivered a whole message in time is closed, so idle clients
    // cannot hold the instance's descriptors; a real hand-over made meanwhile still arrives.
    void idleConnectionsAreDropped()
    {
        QFETCH(QString, mode);
        QFETCH(int, count);
        UriHandler first(scheme);
        QVERIFY(first.isFirstInstance());
        first.setConnectionTimeout(std::chrono::milliseconds(scaled(1000)));
        QSignalSpy called(&first, &UriHandler::appCalled);
        const int before = openDescriptors();

        Peer clients(python(),
                     { QStringLiteral("-c"), QString::fromLatin1(idleClientsScript),
                       UriHandler::serverName(scheme), QString::number(count), mode,
                       QString::number(scaled(20000) / 1000.0) });
        QVERIFY2(waitFor([&] { return clients.out.contains("connected"); }, 30000),
                 clients.err.constData());

        // The real link, while the idle ones are held.
        UriHandler second(scheme);
        QVERIFY(!second.isFirstInstance());
        const QUrl url(toolchainLink);
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + url.toString()));
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + url.toString()));
        QVERIFY(second.handleUri(url));
        QTRY_COMPARE_WITH_TIMEOUT(called.size(), 1, scaled(5000));
        QCOMPARE(called.first().first().toUrl(), url);

        QVERIFY2(waitFor([&] { return clients.ended(); }, 40000), clients.out.constData());
        QVERIFY2(clients.said("closed " + QByteArray::number(count)), clients.out.constData());
        // Every descriptor the clients took is given back.
        QVERIFY(waitFor([&] { return openDescriptors() <= before; }, 5000));
    }

    // Starts at the same moment elect exactly one first instance: one process listens, every
    // other hands its URI over to it. Each probe waits for "go" so that a round elects at once.
    void simultaneousStartsElectOneInstance()
    {
        constexpr int rounds = 10;
        constexpr int starts = 8;
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        QCOMPARE(listeningSocketsBelow(runtime), 0);
        for (int round = 0; round < rounds; ++round) {
            std::vector<std::unique_ptr<Peer>> probes;
            QStringList links;
            for (int i = 0; i < starts; ++i) {
                links << QStringLiteral("nimbrel:upload_app?file=/round%1/start%2")
                             .arg(round)
                             .arg(i);
                probes.push_back(std::make_unique<Peer>(
                    instanceProbe(), QStringList{QStringLiteral("--go"), QStringLiteral("--uri"),
                                                 links.last()}));
            }
            QVERIFY(waitFor([&] {
                return std::all_of(probes.begin(), probes.end(),
                                   [](const auto &p) { return p->said("ready"); });
            }, 30000));
            for (const auto &p : probes)
                p->process.write("go\n");

            // Decided: a first instance that runs on, or a second one that has ended.
            auto decided = [](const std::unique_ptr<Peer> &p) {
                return (p->said("first") && !p->ended()) || (p->said("second") && p->ended());
            };
            QVERIFY(waitFor([&] { return std::all_of(probes.begin(), probes.end(), decided); },
                            30000));
            const auto first = std::find_if(probes.begin(), probes.end(),
                                            [](const auto &p) { return p->said("first"); });
            QVERIFY(first != probes.end());
            const int firsts = int(std::count_if(probes.begin(), probes.end(),
                                                 [](const auto &p) { return p->said("first"); }));
            QVERIFY2(firsts == 1, qPrintable(QStringLiteral("round %1: %2 first instances")
                                                 .arg(round).arg(firsts)));
            QCOMPARE(listeningSocketsBelow(runtime), 1);
            QVERIFY(QFileInfo::exists(UriHandler::serverName(scheme)));
            for (const auto &p : probes) {
                if (p->said("second")) {
                    QCOMPARE(p->process.exitStatus(), QProcess::NormalExit);
                    QCOMPARE(p->process.exitCode(), 0);
                }
            }
            Peer &winner = **first;
            QVERIFY2(waitFor([&] {
                return std::all_of(links.begin(), links.end(), [&](const QString &link) {
                    return winner.said("got " + link.toLatin1());
                });
            }, 10000), winner.out.constData());

            winner.process.closeWriteChannel();
            QVERIFY(waitFor([&] { return winner.ended(); }, 10000));
            QCOMPARE(winner.process.exitCode(), 0);
            QCOMPARE(listeningSocketsBelow(runtime), 0);
        }
    }

    // What a killed instance leaves behind (its socket file, its lock, or a lock file it had only
    // just created) does not keep the next start from becoming the first instance, and later
    // starts reach the new one.
    void leftoversAreReplaced_data()
    {
        QTest::addColumn<QString>("leftover");
        QTest::newRow("socket file nobody answers on") << "socket";
        QTest::newRow("instance killed with SIGKILL") << "killed";
        QTest::newRow("empty lock file, an hour old") << "empty lock";
    }

    void leftoversAreReplaced()
    {
        QFETCH(QString, leftover);
        const QString name = UriHandler::serverName(scheme);
        const QString lockFile = name + QStringLiteral(".lock");
        if (leftover == QLatin1String("killed")) {
            Peer crashed(instanceProbe(), {QStringLiteral("--uri"), toolchainLink});
            QVERIFY(waitFor([&] { return crashed.said("first"); }, 20000));
            ::kill(pid_t(crashed.process.processId()), SIGKILL);
            QVERIFY(waitFor([&] { return crashed.ended(); }, 10000));
            QCOMPARE(crashed.process.exitStatus(), QProcess::CrashExit);
            QVERIFY(QFileInfo::exists(name));
            QVERIFY(QFileInfo::exists(lockFile));
        } else if (leftover == QLatin1String("socket")) {
            const ProcessResult stale = runPython(QString::fromLatin1(staleSocket), {name});
            QCOMPARE(stale.exitCode, 0);
            QVERIFY(QFileInfo::exists(name));
        } else {
            const ProcessResult touched = runProcess(
                QStringLiteral("touch"), {QStringLiteral("-d"), QStringLiteral("1 hour ago"), lockFile});
            QCOMPARE(touched.exitCode, 0);
            QCOMPARE(QFileInfo(lockFile).size(), 0);
        }

        UriHandler first(scheme);
        QVERIFY(first.isFirstInstance());
        QSignalSpy called(&first, &UriHandler::appCalled);
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + toolchainLink));
        Peer later(instanceProbe(), {QStringLiteral("--uri"), toolchainLink});
        QVERIFY(waitFor([&] { return later.ended(); }, 20000));
        QVERIFY(later.said("second"));
        QCOMPARE(later.process.exitCode(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(called.size(), 1, scaled(5000));
        QCOMPARE(called.first().first().toUrl(), QUrl(toolchainLink));
    }

    // However long the first instance has run, its lock holds: a lock file that looks an hour
    // old is not taken from a living holder, and a later start still hands over to it.
    void runningInstanceKeepsAnOldLock()
    {
        Peer running(instanceProbe(), {QStringLiteral("--uri"), toolchainLink});
        QVERIFY(waitFor([&] { return running.said("first"); }, 20000));
        const QString lockFile = UriHandler::serverName(scheme) + QStringLiteral(".lock");
        const ProcessResult touched = runProcess(
            QStringLiteral("touch"), {QStringLiteral("-d"), QStringLiteral("1 hour ago"), lockFile});
        QCOMPARE(touched.exitCode, 0);
        const QDateTime aged = QFileInfo(lockFile).lastModified();
        QVERIFY(aged.secsTo(QDateTime::currentDateTime()) > 3000);

        const QString link = QStringLiteral("nimbrel:upload_app?file=/later.elf");
        UriHandler later(scheme);
        QVERIFY(!later.isFirstInstance());
        QTest::ignoreMessage(QtDebugMsg, qPrintable("Handled Uri call " + link));
        QVERIFY(later.handleUri(link));
        QVERIFY(waitFor([&] { return running.said("got " + link.toLatin1()); }, 5000));
        QCOMPARE(listeningSocketsBelow(qEnvironmentVariable("XDG_RUNTIME_DIR")), 1);
        // The holder's own lock file, untouched: had it been taken over, the election would be
        // open to a race again until the holder ends.
        QCOMPARE(QFileInfo(lockFile).lastModified(), aged);
    }

    // A start that cannot write the lock (here: a file-size limit of one byte) still elects
    // itself the way it did before there was a lock, and can be reached.
    void electsWithoutALockItCannotWrite()
    {
        Peer limited(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("trap '' XFSZ; exec prlimit --fsize=1 \"$0\" \"$@\""),
                      instanceProbe(), QStringLiteral("--uri"), toolchainLink});
        QVERIFY(waitFor([&] { return limited.said("first") || limited.ended(); }, 20000));
        QVERIFY2(limited.said("first"), limited.err.constData());

        const QString link = QStringLiteral("nimbrel:upload_app?file=/later.elf");
        Peer later(instanceProbe(), {QStringLiteral("--uri"), link});
        QVERIFY(waitFor([&] { return later.ended(); }, 20000));
        QVERIFY(later.said("second"));
        QCOMPARE(later.process.exitCode(), 0);
        QVERIFY(waitFor([&] { return limited.said("got " + link.toLatin1()); }, 5000));

        limited.process.closeWriteChannel();
        QVERIFY(waitFor([&] { return limited.ended(); }, 10000));
        // The premise: the lock was really refused.
        QVERIFY(limited.err.contains("Cannot lock"));
    }

    // A URI counts as handed over only when every byte of it left, and the sending start ends in
    // bounded time whatever the receiver does.
    void handOverCountsOnlyWholeMessages_data()
    {
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("status");
        QTest::newRow("never reads, 1 KiB (fits the socket buffer)") << "never" << 1024 << 0;
        QTest::newRow("never reads, 4 MiB") << "never" << 4 * 1024 * 1024 << 1;
        QTest::newRow("reads slowly, 4 MiB") << "slow" << 4 * 1024 * 1024 << 1;
        QTest::newRow("reads all, 1 KiB") << "all" << 1024 << 0;
    }

    void handOverCountsOnlyWholeMessages()
    {
        QFETCH(QString, receiver);
        QFETCH(int, size);
        QFETCH(int, status);

        Peer peer(python(), {QStringLiteral("-c"), QString::fromLatin1(receiverScript),
                             UriHandler::serverName(scheme), receiver});
        QVERIFY(waitFor([&] { return peer.said("listening"); }, 10000));

        const QByteArray prefix = "nimbrel:upload_app?file=";
        const QString uriFile = testRoot() + QStringLiteral("/uri.txt");
        {
            QFile file(uriFile);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QVERIFY(file.write(prefix + QByteArray(size - prefix.size(), 'x')) == size);
        }

        QElapsedTimer clock;
        clock.start();
        Peer sender(instanceProbe(), {QStringLiteral("--uri-file"), uriFile});
        QVERIFY(waitFor([&] { return sender.ended(); }, 30000));
        const qint64 elapsed = clock.elapsed();
        QVERIFY2(sender.said("second"), sender.out.constData());
        QCOMPARE(sender.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sender.process.exitCode(), status);
        // Connecting, writing and closing wait at most a second each.
        QVERIFY2(elapsed < scaled(8000), qPrintable(QString::number(elapsed) + " ms"));

        if (receiver == QLatin1String("never")) {
            // The election probe and the hand-over were both accepted.
            QTRY_COMPARE_WITH_TIMEOUT(peer.lines().count("accepted"), 2, scaled(5000));
        } else {
            QVERIFY(waitFor([&] { return peer.out.contains("received "); }, 10000));
            const QByteArray line = peer.out.mid(peer.out.indexOf("received ") + 9);
            const qint64 received = line.left(line.indexOf('\n')).toLongLong();
            if (status == 0)
                QCOMPARE(received, qint64(size) + 4);
            else // the receiver had not taken the whole message when the sender gave up
                QVERIFY2(received < qint64(size) + 4, qPrintable(QString::number(received)));
        }
    }

    // Only this user may connect: the socket lives in the user's runtime folder and is not open
    // to group or others.
    void socketIsPrivate()
    {
        UriHandler first(scheme);
        const QString name = UriHandler::serverName(scheme);
        QVERIFY(name.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR")));
        const QFileInfo info(name);
        QVERIFY(info.exists());
        QVERIFY(!(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther
                                        | QFile::WriteOther)));
    }
};

QTEST_GUILESS_MAIN(TestUriHandler)
#include "tst_uriHandler.moc"
