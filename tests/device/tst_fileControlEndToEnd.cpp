#include "FileControlChannel.h"
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

bool sameFile(const QString &a, const QString &b)
{
    const ProcessResult r = runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

QStringList names(const QList<FileControlChannel::DirEntry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out << e.name;
    return out;
}

// The device's folder, made here: a file of several megabytes, an empty one, a subfolder.
struct DeviceFolder
{
    QTemporaryDir dir{ testRoot() + QStringLiteral("/device-XXXXXX") };
    QString big = dir.filePath(QStringLiteral("big.bin"));
    QString empty = dir.filePath(QStringLiteral("empty.zlf"));

    DeviceFolder()
    {
        QByteArray data(3 * 1024 * 1024 + 517, Qt::Uninitialized);
        QRandomGenerator rng(9);
        rng.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        QFile f(big);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
        QFile e(empty);
        if (e.open(QIODevice::WriteOnly))
            e.close();
        QDir(dir.path()).mkdir(QStringLiteral("logs"));
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

    QSignalSpy listed(channel.data(), &FileControlChannel::ListDirReceived);
    QSignalSpy downloaded(channel.data(), &FileControlChannel::DownloadFileReceived);
    QSignalSpy progress(channel.data(), &FileControlChannel::Progress);

    channel->listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    const auto entries = listed.last().at(1).value<QList<FileControlChannel::DirEntry>>();
    QCOMPARE(names(entries),
             (QStringList{ QStringLiteral("big.bin"), QStringLiteral("empty.zlf"),
                           QStringLiteral("logs") }));
    QCOMPARE(entries[0].size, quint32(QFileInfo(device.big).size()));
    QCOMPARE(entries[0].type, FileControlChannel::FileType);

    // Several megabytes, byte for byte.
    const QString bigOut = local.filePath(QStringLiteral("big.bin"));
    QCOMPARE(channel->downloadFile(QStringLiteral("/big.bin"), bigOut), 0);
    QVERIFY(downloaded.wait(scaled(120000)));
    QCOMPARE(downloaded.last().at(0).value<FileControlChannel::ResponseCode>(),
             FileControlChannel::Success);
    QCOMPARE(downloaded.last().at(1).toString(), bigOut);
    QVERIFY(sameFile(device.big, bigOut));
    QVERIFY(progress.size() > 3000);
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);

    const QString emptyOut = local.filePath(QStringLiteral("empty.zlf"));
    QCOMPARE(channel->downloadFile(QStringLiteral("empty.zlf"), emptyOut), 0);
    QVERIFY(downloaded.wait(scaled(10000)));
    QCOMPARE(downloaded.last().at(1).toString(), emptyOut);
    QVERIFY(sameFile(device.empty, emptyOut));
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);

    // An error reply halfway: nothing under the final name, and the next download goes through.
    QVERIFY(sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_error_at_chunk"), 40 } })
                .value(QStringLiteral("ok"))
                .toBool());
    const QString cutOut = local.filePath(QStringLiteral("again.bin"));
    QCOMPARE(channel->downloadFile(QStringLiteral("/big.bin"), cutOut), 0);
    QVERIFY(downloaded.wait(scaled(30000)));
    QCOMPARE(downloaded.last().at(0).toInt(), 4);
    QCOMPARE(downloaded.last().at(1).toString(), QString());
    QCOMPARE(sim.counters()[QStringLiteral("channel9")][QStringLiteral("errors_injected")].toInt(), 1);
    QVERIFY(!QFile::exists(cutOut));
    QCOMPARE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{ QStringLiteral("big.bin"), QStringLiteral("empty.zlf") }));
    QVERIFY(sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_error_at_chunk"), -1 } })
                .value(QStringLiteral("ok"))
                .toBool());
    QCOMPARE(channel->downloadFile(QStringLiteral("/big.bin"), cutOut), 0);
    QVERIFY(downloaded.wait(scaled(120000)));
    QCOMPARE(downloaded.last().at(1).toString(), cutOut);
    QVERIFY(sameFile(device.big, cutOut));

    // Rename and remove show in the next listing.
    QSignalSpy renamed(channel.data(), &FileControlChannel::RenameFileReceived);
    QSignalSpy removed(channel.data(), &FileControlChannel::RemoveFileReceived);
    channel->renameFile(QStringLiteral("/empty.zlf"), QStringLiteral("renamed.zlf"));
    channel->removeFile(QStringLiteral("/big.bin"));
    QVERIFY(waitFor([&] { return renamed.size() == 1 && removed.size() == 1; }, 10000));
    QCOMPARE(renamed.last().at(0).toInt(), 1);
    QCOMPARE(renamed.last().at(1).toString(), QStringLiteral("/renamed.zlf"));
    QCOMPARE(removed.last().at(1).toString(), QStringLiteral("/big.bin"));
    channel->listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    QCOMPARE(names(listed.last().at(1).value<QList<FileControlChannel::DirEntry>>()),
             (QStringList{ QStringLiteral("logs"), QStringLiteral("renamed.zlf") }));

    // Storage figures.
    QVERIFY(sim.command(QStringLiteral("set_state"),
                        { { QStringLiteral("fs_total_bytes"), 7000000000.0 },
                          { QStringLiteral("fs_free_bytes"), 1234567 } })
                .value(QStringLiteral("ok"))
                .toBool());
    QSignalSpy storage(channel.data(), &FileControlChannel::GetAvailableStorageReceived);
    channel->getAvailableStorage();
    QVERIFY(storage.wait(scaled(10000)));
    QCOMPARE(storage.last().at(0).toInt(), 1);
    QCOMPARE(storage.last().at(1).toULongLong(), 7000000000ULL);
    QCOMPARE(storage.last().at(2).toULongLong(), 1234567ULL);
    QCOMPARE(storage.last().at(3).toInt(), int(filectrlpayload::AvailableStorage::Ready));

    // The device's names are no paths: the hostile entries do not reach the list.
    QVERIFY(sim.command(QStringLiteral("set_fault"), { { QStringLiteral("name"), QStringLiteral("fc_hostile_names") } })
                .value(QStringLiteral("ok"))
                .toBool());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    channel->listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    QCOMPARE(names(listed.last().at(1).value<QList<FileControlChannel::DirEntry>>()),
             (QStringList{ QStringLiteral("logs"), QStringLiteral("renamed.zlf") }));

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
    QVERIFY(sim.start({ QStringLiteral("--files"), device.dir.path(), QStringLiteral("--heartbeat-ms"),
                        QStringLiteral("200") }));
    DatalinkTimings timings;
    timings.heartbeatIntervalMs = 200;
    timings.watchdogTimeoutMs = 1500;
    Host host(sim, timings);
    QVERIFY(waitFor([&] { return host.connected(); }, 15000));
    QPointer<FileControlChannel> channel = host.openFileControl();
    QVERIFY(channel);

    // A download the device stops answering halfway, then the link is lost.
    QVERIFY(sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_stall_at_chunk"), 40 } })
                .value(QStringLiteral("ok"))
                .toBool());
    QSignalSpy downloaded(channel.data(), &FileControlChannel::DownloadFileReceived);
    QSignalSpy progress(channel.data(), &FileControlChannel::Progress);
    QSignalSpy opened(host.pelto.get(), &Pelto::FileControlOpenedClosed);
    const QString out = local.filePath(QStringLiteral("big.bin"));
    QCOMPARE(channel->downloadFile(QStringLiteral("/big.bin"), out), 0);
    QVERIFY(waitFor([&] { return progress.size() == 40; }, 10000));
    QTest::ignoreMessage(QtWarningMsg, "Heartbeat Timeout");
    QVERIFY(sim.command(QStringLiteral("set_fault"), { { QStringLiteral("name"), QStringLiteral("stop_heartbeats") } })
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
