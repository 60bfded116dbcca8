#include "PeltoUpdateEntry.h"

#include "ErrorHandler.h"
#include "FirmwareFileManager.h"
#include "NotificationMsgProgress.h"
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

QList<AbstractNotification *> notificationsFrom(const QString &origin)
{
    QList<AbstractNotification *> found;
    for (AbstractNotification *n : ErrorHandler::instance()->getNotificationList()) {
        if (n->getOrigin() == origin)
            found.append(n);
    }
    return found;
}

NotificationMsgProgress *progressNotification()
{
    NotificationMsgProgress *found = nullptr;
    for (AbstractNotification *n : notificationsFrom(QStringLiteral("Device updater"))) {
        if (auto *progress = qobject_cast<NotificationMsgProgress *>(n)) {
            if (found)
                return nullptr; // more than one: never expected
            found = progress;
        }
    }
    return found;
}

// Every state the row passes through, in order.
struct StateRecorder
{
    explicit StateRecorder(DeviceUpdateEntry &row)
    {
        QObject::connect(&row, &DeviceUpdateEntry::UpdateStateChanged, &context,
                         [this, &row] { states.append(int(row.getUpdateState())); });
    }
    QObject context;
    QList<int> states;
};

void clearCache()
{
    QDir cache = FirmwareFileManager::instance()->cacheFolder();
    for (const QString &name : cache.entryList(QDir::Files))
        cache.remove(name);
}

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
    void channelGoneWithoutWord();
    void progressNotificationFollowsVisibility();
    void failuresAreReported_data();
    void failuresAreReported();
    void finishedUploadRestarts();

private:
    StorageFixture m_storage;
    QByteArray m_wirelessDigest;
};

void TestPeltoUpdateEntry::initTestCase()
{
    QVERIFY(m_storage.start());
    qputenv("NIMBREL_FIRMWARE_SEEDS", "101,-202,303,0x404,505,606");
    QByteArray wireless(3000, Qt::Uninitialized);
    for (qsizetype i = 0; i < wireless.size(); ++i)
        wireless[i] = char((i * 131) ^ (i >> 3));
    m_wirelessDigest = m_storage.serveFirmware("wireless-1.1.0.bin", wireless);
    QCOMPARE(m_wirelessDigest.size(), 64);
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
            "1.4.0": {"file": "firmware/not-served.fwb", "sha256": "00"}}},
        "PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {
            "1.1.0": {"file": "firmware/wireless-1.1.0.bin", "sha256": ")"
        + m_wirelessDigest + R"("}}}}})";
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

// The Pelto deletes its update channel when the device disconnects and says nothing: a start
// after that must ask for the service again instead of uploading into nothing.
void TestPeltoUpdateEntry::channelGoneWithoutWord()
{
    TestPelto device(0);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), false, true);
    auto channel = std::make_unique<SoftwareUpdate>(nullptr, 4, true, nullptr);
    emit device.pelto->UpdateServiceOpenedClosed(channel.get());
    emit device.pelto->FirmwareWirelessReceived(true, "1.0.0");
    emit device.pelto->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);
    channel.reset();

    row.startUpdate();
    QVERIFY(row.isStartPending());
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);
    // The service reopened: the start is carried out on the new channel.
    SoftwareUpdate reopened(nullptr, 4, true, nullptr);
    QSignalSpy uploads(&row, &DeviceUpdateEntry::UploadFw);
    emit device.pelto->UpdateServiceOpenedClosed(&reopened);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::DownloadingFirmware);
    QVERIFY(waitFor([&] { return !uploads.isEmpty(); }, 20000));
    emit device.pelto->UpdateServiceOpenedClosed(nullptr);
}

// While the update page is hidden a row that is uploading or continuing an update after a restart
// shows its progress as a notification that follows the row's text and figure; showing the page
// (or the row's end) withdraws it.
void TestPeltoUpdateEntry::progressNotificationFollowsVisibility()
{
    ErrorHandler::instance()->clearNotifications();
    TestPelto device(0);
    {
        // Nothing running: nothing to show.
        PeltoUpdateEntry idle(nullptr, device.pelto.get(), false, false);
        idle.setVisible(false);
        QCOMPARE(progressNotification(), nullptr);
    }

    auto row = std::make_unique<PeltoUpdateEntry>(nullptr, device.pelto.get(), true, false);
    QSignalSpy query(row.get(), &PeltoUpdateEntry::QueryPeltoSoftwareUpdate);
    row->setVisible(false);
    QCOMPARE(query.size(), 0);
    QPointer<NotificationMsgProgress> shown = progressNotification();
    QVERIFY(shown);
    QCOMPARE(shown->getLevel(), nimbrel::Error);
    QCOMPARE(shown->getSource(), AbstractNotification::NimbrelLab);
    QCOMPARE(shown->getTitle(), row->getProgressText());
    QCOMPARE(shown->getMessage(), QString());
    QVERIFY(shown->getProgressEnabled());
    QCOMPARE(shown->getFiredTime().timeSpec(), Qt::UTC);

    emit device.pelto->UpdateProgressChanged(0.4f);
    QCOMPARE(shown->getProgress(), 0.4f);
    // Verifying keeps the notification: its title and figure follow.
    emit device.pelto->FirmwareStateReceived(false, "1.4.0", 20, 5);
    QCOMPARE(shown->getTitle(), QStringLiteral("Verifying firmware"));
    QCOMPARE(shown->getProgress(), 0.75f);

    // Hidden again: one notification, never two.
    row->setVisible(false);
    QVERIFY(waitFor([&] { return shown.isNull(); }, 5000));
    shown = progressNotification();
    QVERIFY(shown);

    // Shown: the page has the row, the notification goes, the service is asked for.
    row->setVisible(true);
    QCOMPARE(query.size(), 1);
    QCOMPARE(query.last().at(0).toBool(), true);
    QVERIFY(notificationsFrom("Device updater").isEmpty());
    QVERIFY(waitFor([&] { return shown.isNull(); }, 5000));

    // An open channel: showing the page asks for nothing more.
    SoftwareUpdate channel(nullptr, 4, true, nullptr);
    emit device.pelto->UpdateServiceOpenedClosed(&channel);
    row->setVisible(false);
    shown = progressNotification();
    QVERIFY(shown);
    row->setVisible(true);
    QCOMPARE(query.size(), 1);

    // The row's end withdraws its notification.
    row->setVisible(false);
    shown = progressNotification();
    QVERIFY(shown);
    row.reset();
    QVERIFY(notificationsFrom("Device updater").isEmpty());
    QVERIFY(waitFor([&] { return shown.isNull(); }, 5000));
    emit device.pelto->UpdateServiceOpenedClosed(nullptr);
}

// A row continuing an update after a restart (hidden page, so its progress is a notification)
// meets each failure: the written report, the progress notification withdrawn, the written state.
void TestPeltoUpdateEntry::failuresAreReported_data()
{
    QTest::addColumn<QString>("os");
    QTest::addColumn<QString>("wireless");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QList<int>>("states");
    using E = DeviceUpdateEntry;
    QTest::newRow("download fails") << "1.3.0"
                                    << "1.1.0"
                                    << ""
                                    << "Firmware file could not be download"
                                    << QList<int>{ E::DownloadingFirmware, E::UpdateAvailable };
    QTest::newRow("served file fails its digest")
        << "1.4.0"
        << "1.0.0"
        << "digest"
        << "Could not load firmware" << QList<int>{ E::DownloadingFirmware, E::ErrorWhileUpdating };
    // After a failed upload the row offers the update again; it must not start over by itself.
    QTest::newRow("channel times out") << "1.4.0"
                                       << "1.0.0"
                                       << "timeout"
                                       << "Could not upload firmware to Pelto"
                                       << QList<int>{ E::DownloadingFirmware, E::UploadingFirmware,
                                                      E::ErrorWhileUpdating, E::UpdateAvailable };
    QTest::newRow("channel reports an error")
        << "1.4.0"
        << "1.0.0"
        << "error"
        << "Could not upload firmware to Pelto"
        << QList<int>{ E::DownloadingFirmware, E::UploadingFirmware, E::ErrorWhileUpdating,
                       E::UpdateAvailable };
}

void TestPeltoUpdateEntry::failuresAreReported()
{
    QFETCH(QString, os);
    QFETCH(QString, wireless);
    QFETCH(QString, fault);
    QFETCH(QString, message);
    QFETCH(QList<int>, states);

    clearCache();
    ErrorHandler::instance()->clearNotifications();
    const QString served = m_storage.servedPath("wireless-1.1.0.bin");
    QFile original(served);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray good = original.readAll();
    original.close();
    if (fault == "digest") {
        QByteArray bad = good;
        bad[100] = char(bad.at(100) ^ 0x20);
        QVERIFY(m_storage.serve("wireless-1.1.0.bin", bad));
    }
    auto restore = qScopeGuard([&] { m_storage.serve("wireless-1.1.0.bin", good); });

    TestPelto device(0);
    SoftwareUpdate channel(nullptr, 4, true, nullptr);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), true, false);
    row.setVisible(false);
    QPointer<NotificationMsgProgress> progress = progressNotification();
    QVERIFY(progress);
    StateRecorder recorder(row);
    QSignalSpy busy(&row, &DeviceUpdateEntry::SetUpdateStateSignal);
    QSignalSpy uploads(&row, &DeviceUpdateEntry::UploadFw);
    emit device.pelto->UpdateServiceOpenedClosed(&channel);
    const QDateTime before = QDateTime::currentDateTimeUtc();
    emit device.pelto->FirmwareWirelessReceived(true, wireless);
    emit device.pelto->FirmwareStateReceived(true, os, 0, 0);

    if (fault == "timeout" || fault == "error") {
        QVERIFY(waitFor([&] { return !uploads.isEmpty(); }, 20000));
        QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UploadingFirmware);
        // Nothing reported yet, and the progress notification still there.
        QVERIFY(progress);
        QCOMPARE(notificationsFrom("Device updater").size(), 1);
        emit channel.UpdateStateChanged(fault == "timeout" ? SoftwareUpdate::TimedOut
                                                           : SoftwareUpdate::UpdateError);
    }
    QVERIFY(waitFor([&] { return recorder.states.size() >= states.size(); }, 20000));
    // Long enough for a restarted download to announce itself.
    QTest::qWait(scaled(300));
    QCOMPARE(recorder.states, states);
    QCOMPARE(uploads.size(), fault == "timeout" || fault == "error" ? 1 : 0);

    const QList<AbstractNotification *> reports = notificationsFrom("Device updater");
    QCOMPARE(reports.size(), 1);
    const AbstractNotification *report = reports.first();
    QVERIFY(!qobject_cast<const NotificationMsgProgress *>(report));
    QCOMPARE(report->getTitle(), QStringLiteral("Firmware update failed"));
    QCOMPARE(report->getMessage(), message);
    QCOMPARE(report->getLevel(), nimbrel::Error);
    QCOMPARE(report->getSource(), AbstractNotification::NimbrelLab);
    QCOMPARE(report->getFiredTime().timeSpec(), Qt::UTC);
    QVERIFY(report->getFiredTime() >= before.addSecs(-1));
    QVERIFY(report->getFiredTime() <= QDateTime::currentDateTimeUtc().addSecs(1));
    QVERIFY(waitFor([&] { return progress.isNull(); }, 5000));
    // A failed update: the list no longer counts the device as restarting.
    if (states.contains(DeviceUpdateEntry::ErrorWhileUpdating)) {
        QVERIFY(!busy.isEmpty());
        QCOMPARE(busy.last().at(0).toBool(), false);
    }
    emit device.pelto->UpdateServiceOpenedClosed(nullptr);
}

// A finished upload: the row shows the restart, keeps its notification, tells the list that this
// serial is restarting and stays when the device drops away; any other row asks to be deleted.
void TestPeltoUpdateEntry::finishedUploadRestarts()
{
    clearCache();
    ErrorHandler::instance()->clearNotifications();
    TestPelto device(0);
    SoftwareUpdate channel(nullptr, 4, true, nullptr);
    PeltoUpdateEntry row(nullptr, device.pelto.get(), false, true);
    emit device.pelto->UpdateServiceOpenedClosed(&channel);
    emit device.pelto->FirmwareWirelessReceived(true, "1.0.0");
    emit device.pelto->FirmwareStateReceived(true, "1.4.0", 0, 0);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UpdateAvailable);
    QSignalSpy deleteMe(&row, &DeviceUpdateEntry::RequestDelete);
    QSignalSpy busy(&row, &DeviceUpdateEntry::SetUpdateStateSignal);
    QSignalSpy uploads(&row, &DeviceUpdateEntry::UploadFw);

    // Before anything was uploaded, a disconnect removes the row.
    row.deviceDisconnected();
    QCOMPARE(deleteMe.size(), 1);

    row.startUpdate();
    QVERIFY(waitFor([&] { return !uploads.isEmpty(); }, 20000));
    QCOMPARE(uploads.last().at(1).value<SoftwareUpdate::UpdateCommand>(),
             SoftwareUpdate::WirelessFirmware);
    row.setVisible(false);
    QPointer<NotificationMsgProgress> progress = progressNotification();
    QVERIFY(progress);

    emit channel.UpdateStateChanged(SoftwareUpdate::UpdateFinished);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::Restarting);
    QCOMPARE(row.getProgressText(), QStringLiteral("Restarting"));
    QVERIFY(row.getDeleteButtonVisible());
    QCOMPARE(busy.size(), 1);
    QCOMPARE(busy.last().at(0).toBool(), true);
    QCOMPARE(busy.last().at(1).toString(), device.pelto->getSerialNumber());
    QVERIFY(progress);
    QCOMPARE(progress->getTitle(), QStringLiteral("Restarting"));

    row.deviceDisconnected();
    QCOMPARE(deleteMe.size(), 1);
    row.forceDelete();
    QCOMPARE(deleteMe.size(), 2);
    QCOMPARE(deleteMe.last().at(0).value<DeviceUpdateEntry *>(), &row);
    emit device.pelto->UpdateServiceOpenedClosed(nullptr);
}

QTEST_GUILESS_MAIN(TestPeltoUpdateEntry)
#include "tst_peltoUpdateEntry.moc"
