#include "HardwareUpdate.h"

#include "ErrorHandler.h"
#include "FirmwareFileManager.h"
#include "Pelto.h"
#include "PeltoUpdateEntry.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "VersionControl.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace nimbrel::test;

namespace {

// A device of the given family and board variant, identified but without any link; a Pelto for
// family 1, as the device factory builds it.
std::unique_ptr<OrvDevice> makeDevice(const QString &serial, int family, int extendedType)
{
    OrvDevice generic(static_cast<QObject *>(nullptr));
    QMetaObject::invokeMethod(&generic, "setDeviceInfo", Qt::DirectConnection,
                              Q_ARG(QString, serial), Q_ARG(dlComm::Type, dlComm::Type(family)),
                              Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                              Q_ARG(int32_t, extendedType));
    if (family == 1)
        return std::make_unique<Pelto>(&generic);
    auto other = std::make_unique<OrvDevice>(static_cast<QObject *>(nullptr));
    QMetaObject::invokeMethod(other.get(), "setDeviceInfo", Qt::DirectConnection,
                              Q_ARG(QString, serial), Q_ARG(dlComm::Type, dlComm::Type(family)),
                              Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                              Q_ARG(int32_t, extendedType));
    return other;
}

Pelto *asPelto(const std::unique_ptr<OrvDevice> &device)
{
    return qobject_cast<Pelto *>(device.get());
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestHardwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup() { flushDeletes(); }

    void rowsForSupportedDevices_data();
    void rowsForSupportedDevices();
    void reconnectReplacesTheRow();
    void deletedRowLeavesTheSelection();
    void selectionFollowsTheActiveDevice();
    void disconnectAndAvailableUpdates();
    void restartCycleContinuesTheUpdate();
    void visibilityReachesEveryRow();
    void refreshReloadsCatalogueAndVersions();

private:
    StorageFixture m_storage;
};

void TestHardwareUpdate::initTestCase()
{
    QVERIFY(m_storage.start());
    qputenv("NIMBREL_FIRMWARE_SEEDS", "1,2,3,4,5,6");
    const QByteArray digest = m_storage.serveFirmware("wireless-1.1.0.bin", QByteArray(777, 'w'));
    QCOMPARE(digest.size(), 64);
    const QByteArray json = R"({"Version": 1,
      "Devices": {"Pelto": {"LatestVersion": "2.0.0", "Versions": {
            "1.0.0": {"PeltoOS": "1.3.0", "PeltoWireless": "1.0.0"},
            "2.0.0": {"PeltoOS": "1.4.0", "PeltoWireless": "1.1.0"}}}},
      "Components": {"PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {
            "1.1.0": {"file": "firmware/wireless-1.1.0.bin", "sha256": ")"
        + digest + R"("}}}}})";
    QVERIFY(m_storage.serve("versionInfo.data", m_storage.encryptCatalogue(json)));
    QSignalSpy loaded(VersionControl::instance(), &VersionControl::VersionControlUpdated);
    QCOMPARE(VersionControl::instance()->checkForUpdates(), 0);
    QVERIFY(loaded.wait(scaled(20000)));
    QCOMPARE(VersionControl::instance()->getLatestDeviceVersion("Pelto"), "2.0.0");
}

void TestHardwareUpdate::rowsForSupportedDevices_data()
{
    QTest::addColumn<int>("family");
    QTest::addColumn<int>("extendedType");
    QTest::addColumn<bool>("row");
    QTest::newRow("Pelto") << 1 << 0 << true;
    QTest::newRow("Pelto 10") << 1 << 10 << true;
    QTest::newRow("Pelto 13") << 1 << 13 << true;
    QTest::newRow("Pelto 15") << 1 << 15 << true;
    QTest::newRow("Pelto 16") << 1 << 16 << true;
    QTest::newRow("Pelto 23") << 1 << 23 << true;
    QTest::newRow("Pelto 11") << 1 << 11 << false;
    QTest::newRow("Pelto 12") << 1 << 12 << false;
    QTest::newRow("Pelto 14") << 1 << 14 << false;
    QTest::newRow("Pelto 17") << 1 << 17 << false;
    QTest::newRow("Pelto 24") << 1 << 24 << false;
    QTest::newRow("Pelto -1") << 1 << -1 << false;
    QTest::newRow("Halvex") << 2 << 0 << false;
    QTest::newRow("no family") << 0 << 0 << false;
}

void TestHardwareUpdate::rowsForSupportedDevices()
{
    QFETCH(int, family);
    QFETCH(int, extendedType);
    QFETCH(bool, row);
    HardwareUpdate list;
    QSignalSpy changed(&list, &HardwareUpdate::DeviceListChanged);
    const auto device = makeDevice("SN-A", family, extendedType);
    QCOMPARE(int(device->getDeviceType()), family);
    list.orvDeviceConnected(device.get(), true);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(list.getDeviceList().size(), row ? 1 : 0);
    if (row) {
        auto *entry = qobject_cast<PeltoUpdateEntry *>(list.getDeviceList().first());
        QVERIFY(entry);
        QCOMPARE(entry->parent(), &list);
        QCOMPARE(entry->serialNumber(), QStringLiteral("SN-A"));
        QCOMPARE(entry->getUpdateState(), DeviceUpdateEntry::NoUpdateAvailable);
    }
}

// A Pelto that connects again gets a fresh row; the old one goes first, even when the new board
// variant is refused, and the selection goes with the row it pointed at.
void TestHardwareUpdate::reconnectReplacesTheRow()
{
    HardwareUpdate list;
    const auto first = makeDevice("SN-R", 1, 0);
    const auto other = makeDevice("SN-O", 1, 0);
    list.orvDeviceConnected(other.get(), true);
    list.orvDeviceConnected(first.get(), true);
    QPointer<DeviceUpdateEntry> old = list.getDeviceList().last();
    list.setSelectedDevice(first.get());
    QCOMPARE(list.getSelectedDevice(), old.data());

    QSignalSpy selection(&list, &HardwareUpdate::SelectedDeviceChanged);
    const auto again = makeDevice("SN-R", 1, 0);
    list.orvDeviceConnected(again.get(), true);
    QCOMPARE(list.getDeviceList().size(), 2);
    QVERIFY(!list.getDeviceList().contains(old.data()));
    DeviceUpdateEntry *fresh = list.getDeviceList().last();
    QCOMPARE(fresh->serialNumber(), QStringLiteral("SN-R"));
    QCOMPARE(list.getSelectedDevice(), fresh);
    QVERIFY(!selection.isEmpty());
    flushDeletes();
    QVERIFY(old.isNull());

    selection.clear();
    const auto refused = makeDevice("SN-R", 1, 12);
    list.orvDeviceConnected(refused.get(), true);
    QCOMPARE(list.getDeviceList().size(), 1);
    QCOMPARE(list.getDeviceList().first()->serialNumber(), QStringLiteral("SN-O"));
    QCOMPARE(list.getSelectedDevice(), nullptr);
    QCOMPARE(selection.size(), 1);
}

// A row that leaves the list takes the selection with it at once, with the change announced; the
// selection never points at a row on its way to deletion.
void TestHardwareUpdate::deletedRowLeavesTheSelection()
{
    HardwareUpdate list;
    const auto a = makeDevice("SN-1", 1, 0);
    const auto b = makeDevice("SN-2", 1, 0);
    list.orvDeviceConnected(a.get(), true);
    list.orvDeviceConnected(b.get(), true);
    DeviceUpdateEntry *rowA = list.getDeviceList().at(0);
    DeviceUpdateEntry *rowB = list.getDeviceList().at(1);
    list.setSelectedDevice(b.get());
    QSignalSpy selection(&list, &HardwareUpdate::SelectedDeviceChanged);
    QSignalSpy changed(&list, &HardwareUpdate::DeviceListChanged);

    // Another row: the selection stays.
    rowA->forceDelete();
    QCOMPARE(list.getSelectedDevice(), rowB);
    QCOMPARE(selection.size(), 0);
    QCOMPARE(changed.size(), 1);

    rowB->forceDelete();
    QCOMPARE(list.getSelectedDevice(), nullptr);
    QCOMPARE(list.property("selectedDevice").value<DeviceUpdateEntry *>(), nullptr);
    QCOMPARE(selection.size(), 1);
    QCOMPARE(changed.size(), 2);
    QVERIFY(list.getDeviceList().isEmpty());
}

void TestHardwareUpdate::selectionFollowsTheActiveDevice()
{
    HardwareUpdate list;
    const auto a = makeDevice("SN-1", 1, 0);
    const auto b = makeDevice("SN-2", 1, 0);
    const auto halvex = makeDevice("SN-H", 2, 0);
    list.orvDeviceConnected(a.get(), true);
    list.orvDeviceConnected(b.get(), true);
    list.orvDeviceConnected(halvex.get(), true);
    QSignalSpy selection(&list, &HardwareUpdate::SelectedDeviceChanged);

    list.setSelectedDevice(b.get());
    QCOMPARE(list.getSelectedDevice(), list.getDeviceList().at(1));
    QCOMPARE(selection.size(), 1);
    // A device without a row keeps the selection, silently.
    list.setSelectedDevice(halvex.get());
    QCOMPARE(list.getSelectedDevice(), list.getDeviceList().at(1));
    QCOMPARE(selection.size(), 1);
    list.setSelectedDevice(nullptr);
    QCOMPARE(list.getSelectedDevice(), nullptr);
    QCOMPARE(selection.size(), 2);

    // Written through the meta-object system: only a change is announced.
    DeviceUpdateEntry *rowA = list.getDeviceList().at(0);
    QVERIFY(list.setProperty("selectedDevice", QVariant::fromValue(rowA)));
    QCOMPARE(list.getSelectedDevice(), rowA);
    QVERIFY(list.setProperty("selectedDevice", QVariant::fromValue(rowA)));
    QCOMPARE(selection.size(), 3);
    QSignalSpy changed(&list, &HardwareUpdate::DeviceListChanged);
    QVERIFY(list.setProperty("deviceList", QVariant::fromValue(list.getDeviceList())));
    QCOMPARE(changed.size(), 0);
}

// A row offering an update counts once in the list's figure; the device going away removes the
// row and its offer.
void TestHardwareUpdate::disconnectAndAvailableUpdates()
{
    HardwareUpdate list;
    QSignalSpy figure(&list, &HardwareUpdate::AvailableUpdatesChanged);
    const auto outdated = makeDevice("SN-OLD", 1, 0);
    const auto current = makeDevice("SN-NEW", 1, 0);
    list.orvDeviceConnected(outdated.get(), true);
    list.orvDeviceConnected(current.get(), true);
    emit asPelto(outdated)->FirmwareWirelessReceived(true, "1.0.0");
    emit asPelto(outdated)->FirmwareStateReceived(true, "1.3.0", 0, 0);
    emit asPelto(current)->FirmwareWirelessReceived(true, "1.1.0");
    emit asPelto(current)->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(list.getAvailableUpdates(), 1);
    QCOMPARE(list.property("availableUpdates").toInt(), 1);
    QCOMPARE(figure.size(), 1);

    // Unknown serial: nothing happens.
    const auto stranger = makeDevice("SN-X", 1, 0);
    list.orvDeviceConnected(stranger.get(), false);
    QCOMPARE(list.getDeviceList().size(), 2);

    list.orvDeviceConnected(outdated.get(), false);
    QCOMPARE(list.getDeviceList().size(), 1);
    flushDeletes();
    QCOMPARE(list.getAvailableUpdates(), 0);
    list.orvDeviceConnected(current.get(), false);
    QVERIFY(list.getDeviceList().isEmpty());
    flushDeletes();
    QCOMPARE(list.getAvailableUpdates(), 0);
}

// After a finished upload the row is restarting: the device's disconnect keeps it, and the row
// made when the device returns continues the update from the restart.
void TestHardwareUpdate::restartCycleContinuesTheUpdate()
{
    QDir cache = FirmwareFileManager::instance()->cacheFolder();
    for (const QString &name : cache.entryList(QDir::Files))
        cache.remove(name);
    HardwareUpdate list;
    list.setVisibility(true);
    auto device = makeDevice("SN-UP", 1, 0);
    list.orvDeviceConnected(device.get(), true);
    auto *row = qobject_cast<PeltoUpdateEntry *>(list.getDeviceList().first());
    QVERIFY(row);
    SoftwareUpdate channel(nullptr, 4, true, nullptr);
    emit asPelto(device)->UpdateServiceOpenedClosed(&channel);
    emit asPelto(device)->FirmwareWirelessReceived(true, "1.0.0");
    emit asPelto(device)->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(list.getAvailableUpdates(), 1);
    QSignalSpy uploads(row, &DeviceUpdateEntry::UploadFw);
    row->startUpdate();
    QVERIFY(waitFor([&] { return !uploads.isEmpty(); }, 20000));
    emit channel.UpdateStateChanged(SoftwareUpdate::UpdateFinished);
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::Restarting);
    QCOMPARE(list.restartingSerials(), QStringList{ "SN-UP" });

    QPointer<DeviceUpdateEntry> restarting = row;
    list.orvDeviceConnected(device.get(), false);
    emit asPelto(device)->UpdateServiceOpenedClosed(nullptr);
    device.reset();
    flushDeletes();
    QVERIFY(restarting);
    QCOMPARE(list.getDeviceList().size(), 1);

    // Back with the same serial: a new row, made in progress and visible.
    list.setVisibility(false);
    const auto back = makeDevice("SN-UP", 1, 0);
    list.orvDeviceConnected(back.get(), true);
    flushDeletes();
    QVERIFY(restarting.isNull());
    QCOMPARE(list.getDeviceList().size(), 1);
    DeviceUpdateEntry *fresh = list.getDeviceList().first();
    QCOMPARE(fresh->getUpdateState(), DeviceUpdateEntry::RestartAfterUpload);
    QVERIFY(list.restartingSerials().isEmpty());
    // The old row's offer went with it.
    QCOMPARE(list.getAvailableUpdates(), 0);
    // Up to date after the restart: nothing left to do.
    emit asPelto(back)->FirmwareWirelessReceived(true, "1.1.0");
    emit asPelto(back)->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(fresh->getUpdateState(), DeviceUpdateEntry::NoUpdateAvailable);
    QCOMPARE(fresh->getCurrentFwVersion(), QStringLiteral("2.0.0"));
    QCOMPARE(list.getAvailableUpdates(), 0);
}

void TestHardwareUpdate::visibilityReachesEveryRow()
{
    HardwareUpdate list;
    const auto a = makeDevice("SN-1", 1, 0);
    const auto b = makeDevice("SN-2", 1, 13);
    list.orvDeviceConnected(a.get(), true);
    list.orvDeviceConnected(b.get(), true);
    QSignalSpy queryA(qobject_cast<PeltoUpdateEntry *>(list.getDeviceList().at(0)),
                      &PeltoUpdateEntry::QueryPeltoSoftwareUpdate);
    QSignalSpy queryB(qobject_cast<PeltoUpdateEntry *>(list.getDeviceList().at(1)),
                      &PeltoUpdateEntry::QueryPeltoSoftwareUpdate);
    list.setVisibility(true);
    QCOMPARE(queryA.size(), 1);
    QCOMPARE(queryB.size(), 1);
    list.setVisibility(false);
    QCOMPARE(queryA.size(), 1);
}

// Refresh fetches the catalogue again and makes every row forget the versions it was told: a row
// re-evaluates only once both components have been reported anew.
void TestHardwareUpdate::refreshReloadsCatalogueAndVersions()
{
    HardwareUpdate list;
    const auto device = makeDevice("SN-F", 1, 0);
    list.orvDeviceConnected(device.get(), true);
    DeviceUpdateEntry *row = list.getDeviceList().first();
    emit asPelto(device)->FirmwareWirelessReceived(true, "1.0.0");
    emit asPelto(device)->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::UpdateAvailable);

    QSignalSpy loaded(VersionControl::instance(), &VersionControl::VersionControlUpdated);
    list.refresh();
    QVERIFY(loaded.wait(scaled(20000)));
    // The wireless module alone: the operating system has not been reported since.
    emit asPelto(device)->FirmwareWirelessReceived(true, "1.1.0");
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::UpdateAvailable);
    emit asPelto(device)->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(row->getUpdateState(), DeviceUpdateEntry::NoUpdateAvailable);
    QCOMPARE(list.getAvailableUpdates(), 0);
}

QTEST_GUILESS_MAIN(TestHardwareUpdate)
#include "tst_hardwareUpdate.moc"
