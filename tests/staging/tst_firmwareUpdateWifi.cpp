#include "ApplicationFolders.h"
#include "DatalinkTimings.h"
#include "ErrorHandler.h"
#include "FirmwareFileManager.h"
#include "HardwareUpdate.h"
#include "PeltoSimProcess.h"
#include "PeltoUpdateEntry.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "VersionControl.h"
#include "WifiPeltoHost.h"

#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <list>
#include <memory>

// The firmware update end to end: the catalogue and encrypted firmware served over HTTPS from
// 127.0.0.1, an outdated simulated Pelto over Wi-Fi, the update list made and fed as the
// application does (a row per connection, rows replaced when the device returns).

using namespace nimbrel::test;

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

bool sameBytes(const QString &a, const QString &b)
{
    const ProcessResult r = runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

QList<AbstractNotification *> reports(const QString &message)
{
    QList<AbstractNotification *> found;
    for (AbstractNotification *n : ErrorHandler::instance()->getNotificationList()) {
        if (n->getOrigin() == QStringLiteral("Device updater")
            && n->getTitle() == QStringLiteral("Firmware update failed")
            && n->getMessage() == message)
            found.append(n);
    }
    return found;
}

// The list as the application feeds it, and the Wi-Fi hosts of one simulated Pelto: each
// connection of the device is a new host (a new Pelto), as the device factory makes one.
struct UpdateRig
{
    HardwareUpdate list;
    std::list<std::unique_ptr<WifiPeltoHost>> hosts;
    DatalinkTimings timings;

    UpdateRig()
    {
        timings.heartbeatIntervalMs = 200;
        timings.watchdogTimeoutMs = 1000;
    }

    // Connects a new host and waits for the device's row.
    bool connectAndWait(const PeltoSimProcess &sim)
    {
        WifiPeltoHost *host = connect(sim);
        return waitFor([host] { return host->connected(); }, 20000)
            && waitFor([this] { return row() != nullptr; }, 5000);
    }

    WifiPeltoHost *connect(const PeltoSimProcess &sim)
    {
        auto host
            = std::make_unique<WifiPeltoHost>(sim, timings, 0, QHostAddress::LocalHost, 0, 300);
        WifiPeltoHost *made = host.get();
        made->beforeActivation = [this](Pelto &pelto) {
            QObject::connect(&pelto, &Pelto::IsConnectedSignal, &list,
                             [this](Pelto *device, bool connected) {
                                 list.orvDeviceConnected(device, connected);
                             });
        };
        hosts.push_back(std::move(host));
        return made;
    }

    PeltoUpdateEntry *row() const
    {
        const DeviceUpdateEntryList rows = list.getDeviceList();
        return rows.size() == 1 ? qobject_cast<PeltoUpdateEntry *>(rows.first()) : nullptr;
    }
};

const QStringList OutdatedPelto{ "--state",           "fw_version=1.3.0", "--state",
                                 "esp_version=1.0.0", "--heartbeat-ms",   "200" };

} // namespace

class TestFirmwareUpdateWifi : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void offlineStartWithCachedCatalogue();
    void failuresReachTheUser();
    void outdatedPeltoIsUpdated();

private:
    QString image(const QString &name) const { return QDir(testRoot()).filePath(name); }
    void clearFirmwareCache();

    StorageFixture m_storage;
    QByteArray m_catalogue;
    QByteArray m_osPlain;
    QByteArray m_wirelessPlain;
};

void TestFirmwareUpdateWifi::initTestCase()
{
    QVERIFY(m_storage.start());
    qputenv("NIMBREL_FIRMWARE_SEEDS", "17,-17,0x1717,1,2,3");
    // 20 full chunks and 3 bytes; the device keeps the image padded to a multiple of 4.
    m_osPlain = randomBytes(1018 * 20 + 3, 21);
    m_wirelessPlain = randomBytes(3001, 22);
    QVERIFY(writeFile(image("os.padded"), m_osPlain + QByteArray(1, '\0')));
    QVERIFY(writeFile(image("wireless.padded"), m_wirelessPlain + QByteArray(3, '\0')));
    const QByteArray osDigest = m_storage.serveFirmware("pelto-os-1.4.0.fwb", m_osPlain);
    const QByteArray wirelessDigest
        = m_storage.serveFirmware("pelto-wireless-1.1.0.feb", m_wirelessPlain);
    QCOMPARE(osDigest.size(), 64);
    QCOMPARE(wirelessDigest.size(), 64);
    m_catalogue = m_storage.encryptCatalogue(
        StorageFixture::peltoUpdateCatalogue(osDigest, wirelessDigest));
    QVERIFY(!m_catalogue.isEmpty());
    QVERIFY(m_storage.serve("versionInfo.data", m_catalogue));
}

void TestFirmwareUpdateWifi::clearFirmwareCache()
{
    QDir cache = FirmwareFileManager::instance()->cacheFolder();
    for (const QString &name : cache.entryList(QDir::Files))
        QVERIFY(cache.remove(name));
}

// The program starts without the storage (nobody listens at its address) and with the catalogue a
// previous run left: the cached catalogue is loaded and an outdated Pelto is offered its update.
void TestFirmwareUpdateWifi::offlineStartWithCachedCatalogue()
{
    const QByteArray online = qgetenv("NIMBREL_STORAGE_BASE_URL");
    auto restore = qScopeGuard([&] { qputenv("NIMBREL_STORAGE_BASE_URL", online); });
    qputenv("NIMBREL_STORAGE_BASE_URL", "https://127.0.0.1:" + QByteArray::number(freeTcpPort()));
    const std::optional<QDir> folder
        = ApplicationFolders::instance().subFolder(ApplicationFolders::AppData, "Version");
    QVERIFY(folder);
    QVERIFY(writeFile(folder->filePath("versionInfo.data"), m_catalogue));

    QSignalSpy loaded(VersionControl::instance(), &VersionControl::VersionControlUpdated);
    VersionControl::instance()->checkForUpdates();
    QVERIFY(loaded.wait(scaled(20000)));
    QCOMPARE(VersionControl::instance()->getLatestDeviceVersion("Pelto"), "2.0.0");
    // The cached copy survives the failed download and the load.
    QCOMPARE(readFile(folder->filePath("versionInfo.data")), m_catalogue);

    PeltoSimProcess sim;
    QVERIFY(sim.start(OutdatedPelto));
    UpdateRig rig;
    QVERIFY(rig.connectAndWait(sim));
    QVERIFY(waitFor([&] { return rig.row()->getUpdateAvailable(); }, 20000));
    QCOMPARE(rig.row()->getCurrentFwVersion(), QStringLiteral("1.0.0"));
    QCOMPARE(rig.list.getAvailableUpdates(), 1);
}

// A firmware file that cannot be fetched, then one that fails its digest: the written reports,
// and nothing reaches the device.
void TestFirmwareUpdateWifi::failuresReachTheUser()
{
    clearFirmwareCache();
    ErrorHandler::instance()->clearNotifications();
    const QByteArray good = readFile(m_storage.servedPath("pelto-os-1.4.0.fwb"));
    auto restore = qScopeGuard([&] { m_storage.serve("pelto-os-1.4.0.fwb", good); });
    PeltoSimProcess sim;
    QVERIFY(sim.start(OutdatedPelto));
    UpdateRig rig;
    rig.list.setVisibility(true);
    QVERIFY(rig.connectAndWait(sim));
    QVERIFY(waitFor([&] { return rig.row()->getUpdateAvailable(); }, 20000));
    PeltoUpdateEntry *row = rig.row();
    QSignalSpy states(row, &DeviceUpdateEntry::UpdateStateChanged);

    m_storage.withdraw("pelto-os-1.4.0.fwb");
    row->startUpdate();
    QVERIFY(
        waitFor([&] { return !reports("Firmware file could not be download").isEmpty(); }, 20000));
    QVERIFY(!states.isEmpty());
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::UpdateAvailable);

    QByteArray bad = good;
    bad[bad.size() / 2] = char(bad.at(bad.size() / 2) ^ 0x01);
    QVERIFY(m_storage.serve("pelto-os-1.4.0.fwb", bad));
    row->startUpdate();
    QVERIFY(waitFor([&] { return !reports("Could not load firmware").isEmpty(); }, 20000));
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::ErrorWhileUpdating);
    QCOMPARE(sim.counters()[QStringLiteral("channel4")][QStringLiteral("starts")].toInt(), 0);
}

// The whole update: the operating system first, the restart, the wireless firmware from the row
// made when the device returned, a second restart, and the device up to date. A damaged firmware
// file left in the cache is fetched again.
void TestFirmwareUpdateWifi::outdatedPeltoIsUpdated()
{
    clearFirmwareCache();
    ErrorHandler::instance()->clearNotifications();
    const QDir cache = FirmwareFileManager::instance()->cacheFolder();
    QByteArray damaged = readFile(m_storage.servedPath("pelto-os-1.4.0.fwb"));
    damaged[7] = char(damaged.at(7) ^ 0x80);
    QVERIFY(writeFile(cache.filePath("pelto-os-1.4.0.fwb"), damaged));

    PeltoSimProcess sim;
    QVERIFY(
        sim.start(OutdatedPelto
                  + QStringList{ "--next-os-version", "1.4.0", "--next-wireless-version", "1.1.0",
                                 "--boot-timeout-ms", "4000", "--state", "update_restart_ms=800",
                                 "--update-image", image("received.bin") }));
    UpdateRig rig;
    rig.list.setVisibility(true);
    QVERIFY(rig.connectAndWait(sim));
    QVERIFY(waitFor([&] { return rig.row()->getUpdateAvailable(); }, 20000));
    QPointer<PeltoUpdateEntry> first = rig.row();
    QCOMPARE(first->getCurrentFwVersion(), QStringLiteral("1.0.0"));
    QCOMPARE(rig.list.getAvailableUpdates(), 1);
    QList<int> firstStates;
    connect(first, &DeviceUpdateEntry::UpdateStateChanged, this,
            [&] { firstStates.append(first->getUpdateState()); });

    // Operating system: downloaded, uploaded, the device restarts.
    first->startUpdate();
    QVERIFY(waitFor(
        [&] { return first && first->getUpdateState() == DeviceUpdateEntry::Restarting; }, 60000));
    using E = DeviceUpdateEntry;
    QCOMPARE(firstStates,
             (QList<int>{ E::DownloadingFirmware, E::UploadingFirmware, E::Restarting }));
    QJsonObject upload = sim.command(QStringLiteral("status"))[QStringLiteral("update")].toObject();
    QCOMPARE(upload[QStringLiteral("kind")].toString(), QStringLiteral("fwb"));
    QVERIFY(upload[QStringLiteral("crc_ok")].toBool());
    QVERIFY(sameBytes(image("received.bin"), image("os.padded")));
    // The damaged copy was replaced by the served file; both files are in the cache.
    QCOMPARE(readFile(cache.filePath("pelto-os-1.4.0.fwb")),
             readFile(m_storage.servedPath("pelto-os-1.4.0.fwb")));
    QVERIFY(cache.exists("pelto-wireless-1.1.0.feb"));
    QCOMPARE(rig.list.restartingSerials(), QStringList{ "PLT-SIM-0001" });

    // The links drop; the restarting row stays until the device is back.
    QVERIFY(waitFor([&] { return !rig.hosts.back()->connected(); }, 15000));
    QVERIFY(first);
    QCOMPARE(rig.list.getDeviceList().size(), 1);
    auto deviceBack = [&](int restarts) {
        return waitFor(
            [&] {
                const QJsonObject status = sim.command(QStringLiteral("status"));
                return status[QStringLiteral("restarts")].toInt() == restarts
                    && !sim.command(QStringLiteral(
                        "get_faults"))[QStringLiteral("faults")][QStringLiteral("refuse_link")]
                            .toBool();
            },
            15000);
    };
    QVERIFY(deviceBack(1));
    rig.connect(sim);

    // The new row continues: it waits while the new system verifies itself, then uploads the
    // wireless firmware on its own.
    QVERIFY(waitFor([&] { return first.isNull() && rig.row(); }, 20000));
    QPointer<PeltoUpdateEntry> second = rig.row();
    QVERIFY(rig.list.restartingSerials().isEmpty());
    QList<int> secondStates{ second->getUpdateState() };
    QList<float> verifying;
    connect(second, &DeviceUpdateEntry::UpdateStateChanged, this,
            [&] { secondStates.append(second->getUpdateState()); });
    connect(second, &DeviceUpdateEntry::UpdateProgressChanged, this, [&](float progress) {
        if (second->getUpdateState() == DeviceUpdateEntry::VerifyingUpdate)
            verifying.append(progress);
    });
    QVERIFY(
        waitFor([&] { return second && second->getUpdateState() == DeviceUpdateEntry::Restarting; },
                60000));
    QCOMPARE(secondStates,
             (QList<int>{ E::RestartAfterUpload, E::VerifyingUpdate, E::DownloadingFirmware,
                          E::UploadingFirmware, E::Restarting }));
    // The boot time-out counts down as the row's progress; the report that the system is
    // verified ends it (-1) before the row moves on.
    QVERIFY2(verifying.size() >= 2, qPrintable(QDebug::toString(verifying)));
    QCOMPARE(verifying.last(), -1.0f);
    for (qsizetype i = 0; i + 1 < verifying.size(); ++i) {
        QVERIFY2(verifying[i] > 0.0f && verifying[i] < 1.0f,
                 qPrintable(QDebug::toString(verifying)));
        QVERIFY(i == 0 || verifying[i] >= verifying[i - 1]);
    }
    upload = sim.command(QStringLiteral("status"))[QStringLiteral("update")].toObject();
    QCOMPARE(upload[QStringLiteral("kind")].toString(), QStringLiteral("feb"));
    QVERIFY(sameBytes(image("received.bin"), image("wireless.padded")));

    // Back once more: nothing left to update.
    QVERIFY(waitFor([&] { return !rig.hosts.back()->connected(); }, 15000));
    QVERIFY(deviceBack(2));
    rig.connect(sim);
    QVERIFY(waitFor([&] { return second.isNull() && rig.row(); }, 20000));
    PeltoUpdateEntry *third = rig.row();
    QVERIFY(waitFor([&] { return third->getUpdateState() == DeviceUpdateEntry::NoUpdateAvailable; },
                    20000));
    QCOMPARE(third->getCurrentFwVersion(), QStringLiteral("2.0.0"));
    QCOMPARE(third->getComponentVersions().value("PeltoOS").toString(), QStringLiteral("1.4.0"));
    QCOMPARE(third->getComponentVersions().value("PeltoWireless").toString(),
             QStringLiteral("1.1.0"));
    QCOMPARE(rig.list.getAvailableUpdates(), 0);
    QCOMPARE(sim.counters()[QStringLiteral("channel4")][QStringLiteral("finished")].toInt(), 2);
    QVERIFY(reports("Could not load firmware").isEmpty());
    QVERIFY(reports("Could not upload firmware to Pelto").isEmpty());
}

QTEST_GUILESS_MAIN(TestFirmwareUpdateWifi)
#include "tst_firmwareUpdateWifi.moc"
