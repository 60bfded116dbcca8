#include "PeltoUpdateEntry.h"

#include "ErrorHandler.h"
#include "Pelto.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "VersionControl.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <memory>

using namespace nimbrel::test;

namespace {

// A Pelto of the given board variant, identified but without any link.
struct TestPelto
{
    explicit TestPelto(int extendedType)
    {
        OrvDevice generic(static_cast<QObject *>(nullptr));
        QMetaObject::invokeMethod(&generic, "setDeviceInfo", Qt::DirectConnection,
                                  Q_ARG(QString, QStringLiteral("SN-%1").arg(extendedType)),
                                  Q_ARG(dlComm::Type, dlComm::Type(1)),
                                  Q_ARG(AbstractDataLink::LinkType, AbstractDataLink::LinkType{}),
                                  Q_ARG(int32_t, extendedType));
        pelto = std::make_unique<Pelto>(&generic);
    }
    std::unique_ptr<Pelto> pelto;
};

} // namespace

class TestPeltoUpdateEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void familyAndComponent_data();
    void familyAndComponent();
    void versionReports_data();
    void versionReports();
    void startIsCarriedOutOnce();

private:
    StorageFixture m_storage;
};

void TestPeltoUpdateEntry::initTestCase()
{
    QVERIFY(m_storage.start());
    // The operating system 1.4.0 is listed but never served: its download fails.
    const QByteArray json = R"({"Version": 1,
      "Devices": {
        "Pelto": {"LatestVersion": "2.0.0", "Versions": {
            "1.0.0": {"PeltoOS": "1.3.0", "PeltoWireless": "1.0.0"},
            "2.0.0": {"PeltoOS": "1.4.0", "PeltoWireless": "1.1.0"}}},
        "Quintar": {"LatestVersion": "0.5.0", "Versions": {
            "0.5.0": {"TorvikOS": "0.5.0", "PeltoWireless": "1.1.0"}}}},
      "Components": {
        "PeltoOS": {"LatestVersion": "1.4.0", "Versions": {
            "1.4.0": {"file": "firmware/not-served.fwb", "sha256": "00"}}}}})";
    QVERIFY(m_storage.serve("versionInfo.data", m_storage.encryptCatalogue(json)));
    QSignalSpy loaded(VersionControl::instance(), &VersionControl::VersionControlUpdated);
    QCOMPARE(VersionControl::instance()->checkForUpdates(), 0);
    QVERIFY(loaded.wait(scaled(20000)));
    QCOMPARE(VersionControl::instance()->getLatestDeviceVersion("Pelto"), "2.0.0");
}

void TestPeltoUpdateEntry::familyAndComponent_data()
{
    QTest::addColumn<int>("extendedType");
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("osComponent");
    QTest::addColumn<QString>("latest");
    QTest::newRow("plain Pelto") << 0 << "Pelto"
                                 << "PeltoOS"
                                 << "2.0.0";
    QTest::newRow("15") << 15 << "Pelto"
                        << "PeltoOS"
                        << "2.0.0";
    QTest::newRow("13") << 13 << "Torvik"
                        << "TorvikOS"
                        << "";
    QTest::newRow("16") << 16 << "Sorvyn"
                        << "PeltoOS"
                        << "";
    QTest::newRow("22 takes TorvikOS") << 22 << "Quintar"
                                       << "TorvikOS"
                                       << "0.5.0";
    QTest::newRow("12 unsupported") << 12 << ""
                                    << "PeltoOS"
                                    << "";
    QTest::newRow("above 23") << 24 << ""
                              << "PeltoOS"
                              << "";
}

void TestPeltoUpdateEntry::familyAndComponent()
{
    QFETCH(int, extendedType);
    QFETCH(QString, family);
    QFETCH(QString, osComponent);
    QFETCH(QString, latest);
    TestPelto device(extendedType);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), false, false);
    QCOMPARE(row.getDeviceTypeString(), family);
    QCOMPARE(PeltoUpdateEntry::osComponentName(extendedType), osComponent);
    QCOMPARE(row.getLatestFwVersion(), latest);
}

void TestPeltoUpdateEntry::versionReports_data()
{
    QTest::addColumn<bool>("osVerified");
    QTest::addColumn<QString>("os");
    QTest::addColumn<int>("bootTimeout");
    QTest::addColumn<int>("remaining");
    QTest::addColumn<QString>("wireless");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("current");
    QTest::addColumn<float>("progress");

    QTest::newRow("up to date") << true << "1.4.0" << 0 << 0 << "1.1.0"
                                << int(DeviceUpdateEntry::NoUpdateAvailable) << "2.0.0" << -1.0f;
    QTest::newRow("operating system older")
        << true << "1.3.0" << 0 << 0 << "1.0.0" << int(DeviceUpdateEntry::UpdateAvailable)
        << "1.0.0" << -1.0f;
    QTest::newRow("unknown combination, nothing older")
        << true << "1.5.0" << 0 << 0 << "1.1.0" << int(DeviceUpdateEntry::NoUpdateAvailable)
        << "Unknown version" << -1.0f;
    QTest::newRow("verifying, 5 of 20 s left")
        << false << "1.4.0" << 20 << 5 << "1.1.0" << int(DeviceUpdateEntry::VerifyingUpdate) << ""
        << 0.75f;
    QTest::newRow("verifying without a boot time-out")
        << false << "1.4.0" << 0 << 0 << "1.1.0" << int(DeviceUpdateEntry::VerifyingUpdate) << ""
        << 1.0f;
}

void TestPeltoUpdateEntry::versionReports()
{
    QFETCH(bool, osVerified);
    QFETCH(QString, os);
    QFETCH(int, bootTimeout);
    QFETCH(int, remaining);
    QFETCH(QString, wireless);
    QFETCH(int, state);
    QFETCH(QString, current);
    QFETCH(float, progress);

    TestPelto device(0);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), false, false);
    QSignalSpy counter(&row, &DeviceUpdateEntry::setGlobalUpdatesCounter);
    emit device.pelto->FirmwareWirelessReceived(true, wireless);
    emit device.pelto->FirmwareStateReceived(osVerified, os, bootTimeout, remaining);
    QCOMPARE(int(row.getUpdateState()), state);
    QCOMPARE(row.getCurrentFwVersion(), current);
    QVERIFY(std::isfinite(row.getUpdateProgress()));
    QCOMPARE(row.getUpdateProgress(), progress);
    const bool offered = state == DeviceUpdateEntry::UpdateAvailable;
    QCOMPARE(row.getUpdateAvailable(), offered);
    QCOMPARE(counter.size(), offered ? 1 : 0);
    if (!current.isEmpty())
        QCOMPARE(row.getComponentVersions().value("PeltoOS").toString(), os);
}

// A start asked for before the update channel was open is carried out when it opens, and only
// then: a later opening of the channel must not start an update nobody asked for.
void TestPeltoUpdateEntry::startIsCarriedOutOnce()
{
    TestPelto device(0);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), false, true);
    emit device.pelto->FirmwareWirelessReceived(true, "1.1.0");
    emit device.pelto->FirmwareStateReceived(true, "1.3.0", 0, 0);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);

    row.startUpdate();
    QVERIFY(row.isStartPending());
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);

    SoftwareUpdate channel(nullptr, 4, true, nullptr);
    emit device.pelto->UpdateServiceOpenedClosed(&channel);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::DownloadingFirmware);
    // The file is not served: the row falls back to offering the update.
    QVERIFY(QTest::qWaitFor(
        [&] { return row.getUpdateState() == DeviceUpdateEntry::UpdateAvailable; }, scaled(20000)));

    QSignalSpy changes(&row, &DeviceUpdateEntry::UpdateStateChanged);
    emit device.pelto->UpdateServiceOpenedClosed(nullptr);
    emit device.pelto->UpdateServiceOpenedClosed(&channel);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);
    QTest::qWait(200);
    QCOMPARE(changes.size(), 0);
}

QTEST_GUILESS_MAIN(TestPeltoUpdateEntry)
#include "tst_peltoUpdateEntry.moc"
