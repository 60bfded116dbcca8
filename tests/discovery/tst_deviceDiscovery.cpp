#include "DeviceDiscovery.h"
#include "RecordingListener.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QTemporaryFile>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

using namespace orvane::infra;
using namespace nimbrel::test;

namespace {

// A response built by dnspython; arguments as mdns_oracle.py's "robot" command takes them.
QByteArray announcement(const QStringList &arguments = {})
{
    const ProcessResult result = runProcess(
        python(),
        QStringList{ sourceDir() + "/tests/discovery/mdns_oracle.py", "robot" } + arguments);
    if (!result.finished || result.exitCode != 0)
        qFatal("mdns_oracle.py failed: %s", result.err.constData());
    return QByteArray::fromHex(result.out.trimmed());
}

struct Sender
{
    sockaddr_storage address{};
    socklen_t length = 0;
};

Sender sender(const char *text)
{
    Sender s;
    if (std::strchr(text, ':')) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&s.address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(5353);
        inet_pton(AF_INET6, text, &in6->sin6_addr);
        if (in6->sin6_addr.s6_addr[0] == 0xfe)
            in6->sin6_scope_id = 1; // "lo" everywhere
        s.length = sizeof(sockaddr_in6);
    } else {
        auto *in = reinterpret_cast<sockaddr_in *>(&s.address);
        in->sin_family = AF_INET;
        in->sin_port = htons(5353);
        inet_pton(AF_INET, text, &in->sin_addr);
        s.length = sizeof(sockaddr_in);
    }
    return s;
}

void feed(DeviceDiscovery &engine, const QByteArray &datagram, const char *from = "192.0.2.2",
          int socket = 7)
{
    const Sender s = sender(from);
    engine.handleDatagram(socket, reinterpret_cast<const sockaddr *>(&s.address), s.length,
                          reinterpret_cast<const std::uint8_t *>(datagram.constData()),
                          std::size_t(datagram.size()));
}

std::optional<std::string> txt(const NetworkDeviceInfo &info, const char *key)
{
    const auto found = info.txtEntries.find(key);
    return found == info.txtEntries.end() ? std::nullopt : found->second;
}

// Every logged line of the engine's category, from any thread.
QMutex g_linesMutex;
QStringList g_lines;
QtMessageHandler g_previousHandler = nullptr;

void captureLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (QLatin1String(context.category) == QLatin1String("Brastel.DeviceDiscovery")) {
        QMutexLocker lock(&g_linesMutex);
        g_lines << message;
        return;
    }
    g_previousHandler(type, context, message);
}

QStringList loggedLines()
{
    QMutexLocker lock(&g_linesMutex);
    return g_lines;
}

// What is written to the process's standard output while it lives.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        std::cout.flush();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    QByteArray restore()
    {
        if (m_saved >= 0) {
            std::cout.flush();
            std::fflush(stdout);
            ::dup2(m_saved, STDOUT_FILENO);
            ::close(m_saved);
            m_saved = -1;
        }
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class TestDeviceDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void compressedResponseMakesOneDevice();
    void reportedOnceWhenTheLastRecordArrives();
    void incompleteRecordsAreNotReported_data();
    void incompleteRecordsAreNotReported();
    void goodbyes();
    void eachAddressFamilyIsItsOwnRecord();
    void repeatedAnswersChangeNothing();
    void shortSrvData();
    void pendingRecordsAreBounded();
    void stopReturnsAtOnce();
    void diagnosticsGoToTheLog_data();
    void diagnosticsGoToTheLog();
};

void TestDeviceDiscovery::compressedResponseMakesOneDevice()
{
    const QByteArray datagram = announcement();
    QCOMPARE(datagram.size(), 141);
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, datagram);
    const auto reports = listener.reports();
    QCOMPARE(reports.size(), 1);
    QVERIFY(reports[0].added);
    const NetworkDeviceInfo &info = reports[0].info;
    QCOMPARE(info.hostName, "robot-1.local");
    QCOMPARE(info.serviceName, "robot-1");
    QCOMPARE(info.port, 2222);
    QCOMPARE(txt(info, "orvane_device_type"), std::optional<std::string>("sorvyn"));
    QCOMPARE(txt(info, "orvane_device_serial"), std::optional<std::string>("1234"));
    QCOMPARE(info.address, "192.0.2.2");
    QCOMPARE(info.addressFamily, 0u);
    QCOMPARE(info.socket, 7);
    QCOMPARE(engine.pendingCount(), 0u);
    QCOMPARE(engine.knownCount(), 1u);
}

void TestDeviceDiscovery::reportedOnceWhenTheLastRecordArrives()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, announcement({ "records=txt" }));
    feed(engine, announcement({ "records=a,ptr" }));
    QCOMPARE(listener.reports().size(), 0);
    feed(engine, announcement({ "records=srv" }));
    QCOMPARE(listener.reports().size(), 1);
    // An empty value counts the key as present.
    feed(engine,
         announcement({ "name=robot-2", "txt=orvane_device_type=|orvane_device_serial=9" }));
    QCOMPARE(listener.reports().size(), 2);
    QCOMPARE(txt(listener.reports()[1].info, "orvane_device_type"), std::nullopt);
    QVERIFY(listener.reports()[1].info.txtEntries.count("orvane_device_type"));
}

void TestDeviceDiscovery::incompleteRecordsAreNotReported_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no serial") << QStringList{ "txt=orvane_device_type=sorvyn" };
    QTest::newRow("no type") << QStringList{ "txt=orvane_device_serial=1" };
    QTest::newRow("no acceptable string") << QStringList{ "txt==x|novalue" };
    QTest::newRow("no PTR") << QStringList{ "records=srv,txt" };
    QTest::newRow("no SRV") << QStringList{ "records=ptr,txt" };
    QTest::newRow("no TXT") << QStringList{ "records=ptr,srv,a" };
}

void TestDeviceDiscovery::incompleteRecordsAreNotReported()
{
    QFETCH(QStringList, arguments);
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, announcement(arguments));
    QCOMPARE(listener.reports().size(), 0);
    QCOMPARE(engine.pendingCount(), 1u);
}

void TestDeviceDiscovery::goodbyes()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    const QByteArray goodbye = announcement({ "ttl=0", "records=ptr" });
    feed(engine, goodbye); // never reported: nothing
    feed(engine, announcement({ "records=ptr,srv" }));
    feed(engine, goodbye); // never complete: nothing, its pending record stays
    QCOMPARE(listener.reports().size(), 0);
    QCOMPARE(engine.pendingCount(), 1u);
    feed(engine, announcement());
    feed(engine, goodbye);
    feed(engine, goodbye);
    const auto reports = listener.reports();
    QCOMPARE(reports.size(), 2);
    QVERIFY(reports[0].added);
    QVERIFY(!reports[1].added);
    QCOMPARE(reports[1].info.serviceName, "robot-1");
    QCOMPARE(engine.knownCount(), 0u);
    // A goodbye from another sender is another record.
    feed(engine, announcement());
    feed(engine, goodbye, "192.0.2.3");
    QCOMPARE(listener.reports().size(), 3);
}

void TestDeviceDiscovery::eachAddressFamilyIsItsOwnRecord()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, announcement(), "192.0.2.2");
    feed(engine, announcement(), "fe80::2");
    const auto reports = listener.reports();
    QCOMPARE(reports.size(), 2);
    QCOMPARE(reports[0].info.addressFamily, 0u);
    QCOMPARE(reports[1].info.addressFamily, 1u);
    QCOMPARE(reports[1].info.address, "fe80::2%lo");
    QCOMPARE(reports[1].info.hostName, reports[0].info.hostName);
}

void TestDeviceDiscovery::repeatedAnswersChangeNothing()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, announcement());
    feed(engine, announcement({ "port=22", "serial=5" }));
    QCOMPARE(listener.reports().size(), 1);
    QCOMPARE(listener.reports()[0].info.port, 2222);
    // Another service's PTR is not ours.
    feed(engine,
         QByteArray::fromHex(
             announcement({ "records=ptr" }).toHex().replace("045f737368", "045f667470")));
    QCOMPARE(listener.reports().size(), 1);
}

void TestDeviceDiscovery::shortSrvData()
{
    // SRV data of 7 bytes: seen, port 0, empty host name.
    QByteArray datagram = announcement({ "records=srv" });
    const int data = int(datagram.size()) - 16; // 6 + label "robot-1" + pointer to "local"
    QCOMPARE(quint8(datagram[data - 1]), quint8(16)); // data length 16: 6 + "robot-1" + pointer
    datagram[data - 1] = 7;
    datagram.truncate(data + 7);
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    feed(engine, datagram);
    feed(engine, announcement({ "records=ptr,txt" }));
    const auto reports = listener.reports();
    QCOMPARE(reports.size(), 1);
    QCOMPARE(reports[0].info.port, 0);
    QCOMPARE(reports[0].info.hostName, "");
}

// A network full of instances that never complete (or a hostile sender) must not grow the map
// of incomplete records without limit, and a real device still gets through.
void TestDeviceDiscovery::pendingRecordsAreBounded()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local");
    const QByteArray ptr = announcement({ "records=ptr" });
    for (int i = 0; i < 5000; ++i)
        feed(engine, ptr, qPrintable(QStringLiteral("10.%1.%2.1").arg(i / 256).arg(i % 256)));
    QVERIFY2(engine.pendingCount() <= DeviceDiscoverySettings{}.maxPendingRecords,
             qPrintable(QString::number(engine.pendingCount())));
    feed(engine, announcement());
    QCOMPARE(listener.reports().size(), 1);
}

// stop() wakes the thread out of its wait instead of waiting for it to time out.
void TestDeviceDiscovery::stopReturnsAtOnce()
{
    DeviceDiscoverySettings settings;
    settings.localAddresses = [] { return std::vector<LocalAddress>{}; };
    settings.waitMs = 10000;
    settings.idleWaitMs = 10000;
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local", settings);
    engine.start();
    QTest::qWait(50); // let the thread reach its wait; stop() must not depend on it
    QElapsedTimer timer;
    timer.start();
    engine.stop();
    QVERIFY2(timer.elapsed() < scaled(500), qPrintable(QString::number(timer.elapsed())));
}

// The engine's diagnostics are log lines of its own category with the engine's texts; nothing of
// it reaches standard output, where it would stand outside the log's format.
void TestDeviceDiscovery::diagnosticsGoToTheLog_data()
{
    QTest::addColumn<QString>("scene");
    QTest::addColumn<QString>("expected"); // the start of one logged line

    QTest::newRow("start") << "none"
                           << "Starting network device discovery thread";
    QTest::newRow("no adapters") << "unreadable"
                                 << "Failed to get network adapter addresses";
    QTest::newRow("loopback address") << "loopback"
                                      << "Local IPv4 address: 127.0.0.5 (socket: ";
    QTest::newRow("service query") << "loopback"
                                   << "service query on interface 127.0.0.5 (id: ";
    QTest::newRow("foreign sender") << "datagram"
                                    << "Invalid origin address type";
}

void TestDeviceDiscovery::diagnosticsGoToTheLog()
{
    QFETCH(QString, scene);
    QFETCH(QString, expected);
    {
        QMutexLocker lock(&g_linesMutex);
        g_lines.clear();
    }
    g_previousHandler = qInstallMessageHandler(captureLine);
    StdoutCapture out;

    DeviceDiscoverySettings settings;
    settings.waitMs = 100;
    settings.idleWaitMs = 100;
    if (scene == QLatin1String("unreadable"))
        settings.localAddresses = [] { return std::optional<std::vector<LocalAddress>>{}; };
    else if (scene == QLatin1String("loopback"))
        settings.localAddresses = [] {
            return std::vector<LocalAddress>{ { "127.0.0.5", AF_INET, 1, true } };
        };
    else
        settings.localAddresses = [] { return std::vector<LocalAddress>{}; };
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local", settings);
    const auto found = [&] {
        const QStringList lines = loggedLines();
        // A service query line says whether sending succeeded; either is a logged line.
        return std::any_of(lines.begin(), lines.end(),
                           [&](const QString &line) { return line.contains(expected); });
    };
    if (scene == QLatin1String("datagram")) {
        sockaddr_un local{};
        local.sun_family = AF_UNIX;
        const QByteArray datagram = announcement();
        engine.handleDatagram(7, reinterpret_cast<const sockaddr *>(&local), sizeof(local),
                              reinterpret_cast<const std::uint8_t *>(datagram.constData()),
                              std::size_t(datagram.size()));
    } else {
        engine.start();
        waitFor(found, 5000);
        engine.stop();
    }
    const QByteArray written = out.restore();
    qInstallMessageHandler(g_previousHandler);

    QVERIFY2(found(), qPrintable(loggedLines().join(u'|')));
    QCOMPARE(written, QByteArray());
}

QTEST_GUILESS_MAIN(TestDeviceDiscovery)
#include "tst_deviceDiscovery.moc"
