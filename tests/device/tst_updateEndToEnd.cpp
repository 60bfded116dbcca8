#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "UpdateScenario.h"
#include "WifiPeltoHost.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

using Host = WifiPeltoHost;

} // namespace

class TestUpdateEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void overWifi();
    void deviceRestartsAfterFinished();
};

void TestUpdateEndToEnd::overWifi()
{
    UpdateImages images;
    PeltoSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--update-image"), images.received }));
    Host host(sim);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    runUpdateScenario(*host.pelto, sim, images);
    if (QTest::currentTestFailed())
        return;

    // Closing the service hands out null and deletes it.
    QPointer<SoftwareUpdate> service = host.pelto->updateService();
    QSignalSpy closed(host.pelto.get(), &Pelto::UpdateServiceOpenedClosed);
    host.pelto->openCloseUpdateService(false);
    QVERIFY(closed.wait(scaled(10000)));
    QCOMPARE(closed.last().at(0).value<SoftwareUpdate *>(), nullptr);
    QVERIFY(waitFor([&] { return service.isNull(); }, 5000));
}

// A finished upload restarts the device: the Pelto asks to be reconnected over the same link, the
// connection goes and the service with it; the device comes back with the same serial.
void TestUpdateEndToEnd::deviceRestartsAfterFinished()
{
    UpdateImages images;
    PeltoSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--update-image"), images.received,
                        QStringLiteral("--heartbeat-ms"), QStringLiteral("200"),
                        QStringLiteral("--state"), QStringLiteral("update_restart_ms=1500") }));
    DatalinkTimings timings;
    timings.heartbeatIntervalMs = 200;
    timings.watchdogTimeoutMs = 1000;
    Host host(sim, timings);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QPointer<SoftwareUpdate> service = openUpdateService(*host.pelto);
    QVERIFY(service);

    QSignalSpy reconnect(host.pelto.get(), &OrvDevice::AddToAutoConnectSignal);
    QSignalSpy connection(host.pelto.get(), &Pelto::IsConnectedSignal);
    host.pelto->tempUploadFirmware(QUrl::fromLocalFile(images.wireless));
    QVERIFY(waitFor([&] { return !reconnect.isEmpty(); }, 30000));
    QCOMPARE(reconnect.last().at(1).value<AbstractDataLink::LinkType>(), AbstractDataLink::WiFi);
    QVERIFY(sameBytes(images.received, images.wireless + QStringLiteral(".padded")));

    QVERIFY(waitFor([&] { return !host.connected(); }, 15000));
    QVERIFY(waitFor([&] { return service.isNull(); }, 5000));
    QCOMPARE(host.pelto->updateService(), nullptr);
    QCOMPARE(connection.last().at(1).toBool(), false);

    // Back with the same serial: a new link finds the same device again.
    QVERIFY(waitFor(
        [&] {
            return sim.command(QStringLiteral("status")).value(QStringLiteral("restarts")).toInt()
                == 1
                && !sim.command(QStringLiteral(
                    "get_faults"))[QStringLiteral("faults")][QStringLiteral("refuse_link")]
                        .toBool();
        },
        15000));
    Host again(sim);
    QVERIFY(waitFor([&] { return again.connected(); }, 15000));
    QCOMPARE(again.pelto->getSerialNumber(), host.pelto->getSerialNumber());
}

QTEST_GUILESS_MAIN(TestUpdateEndToEnd)
#include "tst_updateEndToEnd.moc"
