#include "FileControlChannel.h"
#include "FileControlScenario.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
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

    Host(const PeltoSimProcess &sim, const DatalinkTimings &timings = {})
        : generic(std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr)))
    {
        generic->property("datalinkManager").value<DatalinkManager *>()->setTimings(timings);
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

    // Asks the device to open the service and waits for the Pelto to hand it out.
    FileControlChannel *openFileControl()
    {
        QSignalSpy opened(pelto.get(), &Pelto::FileControlOpenedClosed);
        pelto->openCloseFileControl(true);
        if (!opened.wait(scaled(10000)))
            return nullptr;
        return opened.last().at(0).value<FileControlChannel *>();
    }
};

} // namespace

class TestFileControlEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void overWifi();
    void serviceEndsWithTheConnection();
};

void TestFileControlEndToEnd::overWifi()
{
    DeviceFolder device;
    QTemporaryDir local(testRoot() + QStringLiteral("/local-XXXXXX"));
    PeltoSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--files"), device.dir.path() }));
    Host host(sim);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QPointer<FileControlChannel> channel = host.openFileControl();
    QVERIFY(channel);
    QCOMPARE(host.pelto->fileControlChannel(), channel.data());

    runFileControlScenario(*channel, sim, device, local);
    if (QTest::currentTestFailed())
        return;

    // Closing the service hands out null and deletes the channel.
    QSignalSpy closed(host.pelto.get(), &Pelto::FileControlOpenedClosed);
    host.pelto->openCloseFileControl(false);
    QVERIFY(closed.wait(scaled(10000)));
    QCOMPARE(closed.last().at(0).value<FileControlChannel *>(), nullptr);
    QVERIFY(waitFor([&] { return channel.isNull(); }, 5000));
}

void TestFileControlEndToEnd::serviceEndsWithTheConnection()
{
    DeviceFolder device;
    QTemporaryDir local(testRoot() + QStringLiteral("/local-XXXXXX"));
    PeltoSimProcess sim;
    QVERIFY(sim.start({ QStringLiteral("--files"), device.dir.path(),
                        QStringLiteral("--heartbeat-ms"), QStringLiteral("200") }));
    DatalinkTimings timings;
    timings.heartbeatIntervalMs = 200;
    timings.watchdogTimeoutMs = 1500;
    Host host(sim, timings);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QPointer<FileControlChannel> channel = host.openFileControl();
    QVERIFY(channel);

    // A download the device stops answering halfway, then the link is lost.
    QVERIFY(
        sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_stall_at_chunk"), 40 } })
            .value(QStringLiteral("ok"))
            .toBool());
    QSignalSpy downloaded(channel.data(), &FileControlChannel::DownloadFileReceived);
    QSignalSpy progress(channel.data(), &FileControlChannel::Progress);
    QSignalSpy opened(host.pelto.get(), &Pelto::FileControlOpenedClosed);
    const QString out = local.filePath(QStringLiteral("big.bin"));
    QCOMPARE(channel->downloadFile(QStringLiteral("/big.bin"), out), 0);
    QVERIFY(waitFor([&] { return progress.size() == 40; }, 10000));
    QTest::ignoreMessage(QtWarningMsg, "Heartbeat Timeout");
    QVERIFY(sim.command(QStringLiteral("set_fault"),
                        { { QStringLiteral("name"), QStringLiteral("stop_heartbeats") } })
                .value(QStringLiteral("ok"))
                .toBool());
    QVERIFY(waitFor([&] { return !host.connected(); }, 10000));
    QVERIFY(waitFor([&] { return channel.isNull(); }, 5000));
    QCOMPARE(host.pelto->fileControlChannel(), nullptr);
    QCOMPARE(opened.size(), 0); // holders learn of the loss from the connection state
    // The pending download ends with the channel, and its 40 chunks stay out of the final name.
    QCOMPARE(downloaded.size(), 1);
    QCOMPARE(downloaded.last().at(0).value<FileControlChannel::ResponseCode>(),
             FileControlChannel::HostFailure);
    QCOMPARE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
}

QTEST_GUILESS_MAIN(TestFileControlEndToEnd)
#include "tst_fileControlEndToEnd.moc"
