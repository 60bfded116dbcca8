#include "FileControlChannel.h"
#include "FileControlScenario.h"
#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "WifiPeltoHost.h"

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

struct Host : WifiPeltoHost
{
    using WifiPeltoHost::WifiPeltoHost;

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
