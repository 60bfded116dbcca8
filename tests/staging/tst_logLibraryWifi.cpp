// The log library against the simulated Pelto over Wi-Fi (loopback).

#include "LogLibraryScenario.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"

#include <QTcpServer>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

quint16 freeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// A generic device on a Wi-Fi link to the simulator, replaced by a Pelto once identified, as the
// device factory does it.
struct Host
{
    std::unique_ptr<OrvDevice> generic;
    std::unique_ptr<Pelto> pelto;

    explicit Host(const PeltoSimProcess &sim)
        : generic(std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr)))
    {
        WifiDatalinkSettings settings;
        settings.streamPort = sim.tlsPort;
        settings.deviceUdpPort = sim.udpPort;
        settings.localUdpPort = 0;
        auto *link = new WifiDatalink(generic.get(), QHostAddress::LocalHost, true, true, settings);
        QObject::connect(generic.get(), &OrvDevice::DeviceInfoUpdated, generic.get(),
                         [this](OrvDevice *, OrvDevice::DeviceType type) {
                             if (type != OrvDevice::Pelto || pelto)
                                 return;
                             pelto = std::make_unique<Pelto>(generic.get());
                             pelto->setExternalModePort(freeTcpPort());
                             pelto->setActiveDatalinkWifi();
                         });
        generic->addDatalink(link);
        link->initialise();
    }
    bool connected() const { return pelto && pelto->getIsConnected(); }
};

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
