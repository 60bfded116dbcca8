#include "DeviceDiscovery.h"
#include "RecordingListener.h"
#include "ZeroconfResponder.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

using namespace orvane::infra;
using namespace nimbrel::test;

namespace {

int count(const QList<RecordingListener::Report> &reports, bool added, std::uint32_t family)
{
    int n = 0;
    for (const auto &report : reports)
        n += report.added == added && report.info.addressFamily == family;
    return n;
}

QByteArray describe(const QList<RecordingListener::Report> &reports)
{
    QByteArray text;
    for (const auto &report : reports)
        text += (report.added ? "added " : "removed ")
            + QByteArray::fromStdString(report.info.address) + "; ";
    return text;
}

bool setLink(const char *state)
{
    const ProcessResult result = runProcess(
        "ip", { "link", "set", qEnvironmentVariable("NIMBREL_HOST_INTERFACE"), state });
    return result.finished && result.exitCode == 0;
}

} // namespace

// The engine against python3-zeroconf across a veth pair between two private network
// namespaces (with-netns.sh): found on IPv4 and IPv6, lost on the goodbye and when the link goes
// down, found again when it comes back.
class TestDiscoveryNetns : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void findsAndLosesARealResponder();
    void stopIsPromptWithOpenSockets();
};

void TestDiscoveryNetns::initTestCase()
{
    if (ZeroconfResponder::peerNamespace().isEmpty())
        QSKIP("not inside with-netns.sh: no private network namespace to discover in");
}

void TestDiscoveryNetns::findsAndLosesARealResponder()
{
    ZeroconfResponder responder;
    QVERIFY2(responder.start(), responder.errors().constData());
    DeviceDiscoverySettings settings;
    settings.waitMs = 300; // a short cycle notices the link going down quickly
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local", settings);
    engine.start();

    // Our question as the peer saw it is dnspython's, byte for byte (class IN: port 5353).
    const ProcessResult query
        = runProcess(python(), { sourceDir() + "/tests/discovery/mdns_oracle.py", "query" });
    QTRY_VERIFY_WITH_TIMEOUT(responder.questions().contains(query.out.trimmed()), scaled(10000));

    // The announcements go out on both families.
    QVERIFY(responder.command("register", "registered"));
    QTRY_VERIFY2_WITH_TIMEOUT(count(listener.reports(), true, 0) == 1
                                  && count(listener.reports(), true, 1) == 1,
                              describe(listener.reports()).constData(), scaled(15000));
    for (const auto &report : listener.reports()) {
        QCOMPARE(report.info.hostName, "robot-1.local");
        QCOMPARE(report.info.serviceName, "robot-1");
        QCOMPARE(report.info.port, 2222);
        QCOMPARE(report.info.txtEntries.at("orvane_device_serial"),
                 std::optional<std::string>("1234"));
        QCOMPARE(report.info.txtEntries.at("orvane_device_type"),
                 std::optional<std::string>("sorvyn"));
        const QByteArray address = QByteArray::fromStdString(report.info.address);
        if (report.info.addressFamily == 0)
            QCOMPARE(address, "192.0.2.2");
        else
            QVERIFY2(address.startsWith("fe80::") && address.endsWith("%vh"), address);
    }

    QVERIFY(responder.command("unregister", "unregistered"));
    QTRY_VERIFY2_WITH_TIMEOUT(count(listener.reports(), false, 0) == 1
                                  && count(listener.reports(), false, 1) == 1,
                              describe(listener.reports()).constData(), scaled(10000));

    // Announced again, then the local link goes down: everything heard through it is gone.
    // Back up, new sockets ask again and the responder answers the question.
    listener.clear();
    QVERIFY(responder.command("register", "registered"));
    QTRY_VERIFY2_WITH_TIMEOUT(count(listener.reports(), true, 0) == 1
                                  && count(listener.reports(), true, 1) == 1,
                              describe(listener.reports()).constData(), scaled(15000));
    QVERIFY(setLink("down"));
    QTRY_VERIFY2_WITH_TIMEOUT(count(listener.reports(), false, 0) == 1
                                  && count(listener.reports(), false, 1) == 1,
                              describe(listener.reports()).constData(), scaled(10000));
    QVERIFY(setLink("up"));
    QTRY_VERIFY2_WITH_TIMEOUT(count(listener.reports(), true, 0) == 2,
                              describe(listener.reports()).constData(), scaled(20000));
    engine.stop();
}

void TestDiscoveryNetns::stopIsPromptWithOpenSockets()
{
    RecordingListener listener;
    DeviceDiscovery engine(&listener, 12, "_ssh._tcp.local"); // the real 10 s wait
    engine.start();
    ZeroconfResponder responder;
    QVERIFY(responder.start());
    QVERIFY(responder.command("register", "registered"));
    QTRY_VERIFY_WITH_TIMEOUT(listener.reports().size() >= 2, scaled(15000));
    QElapsedTimer timer;
    timer.start();
    engine.stop();
    QVERIFY2(timer.elapsed() < scaled(100), qPrintable(QString::number(timer.elapsed())));
}

QTEST_GUILESS_MAIN(TestDiscoveryNetns)
#include "tst_discoveryNetns.moc"
