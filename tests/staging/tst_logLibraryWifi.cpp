// The log library against the simulated Pelto over Wi-Fi (loopback).

#include "LogLibraryScenario.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "WifiPeltoHost.h"

#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

using Host = WifiPeltoHost;

} // namespace

class TestLogLibraryWifi : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void overWifi();
};

void TestLogLibraryWifi::overWifi()
{
    loglibrary::Folders folders;
    PeltoSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--files"), folders.device.path(),
                        QStringLiteral("--serial"), loglibrary::kSerial }));
    Host host(sim);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QCOMPARE(host.pelto->getSerialNumber(), loglibrary::kSerial);
    loglibrary::run(*host.pelto, sim, folders);
}

QTEST_GUILESS_MAIN(TestLogLibraryWifi)
#include "tst_logLibraryWifi.moc"
