#include "DeviceUpdateEntry.h"
#include "ErrorHandler.h"
#include "FirmwareFileManager.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "VersionControl.h"

#include <QBuffer>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

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

using Answer = QStringList;

// The smallest concrete row: records the firmware answers it is handed.
class RecordingEntry : public DeviceUpdateEntry
{
public:
    RecordingEntry()
        : DeviceUpdateEntry(nullptr, nullptr, false, true)
    { }

    void setVisible(bool) override { }
    void refresh() override { }
    void startDeviceUpdate() override { }
    void firmwareFileReady(QString firmware, QString version, QString filePath) override
    {
        answers.append({ firmware, version, filePath });
    }

    QList<Answer> answers;
};

bool hasNotification(const QString &title, const QString &message)
{
    for (const AbstractNotification *n : ErrorHandler::instance()->getNotificationList()) {
        if (n->getTitle() == title && n->getMessage() == message
            && n->getOrigin() == QStringLiteral("Device updater"))
            return true;
    }
    return false;
}

} // namespace

class TestDeviceUpdateEntry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void rowsTakeOnlyTheirOwnAnswers();
    void uploadDecryptsVerifiedFirmware();
    void uploadRefusesDamagedFirmware_data();
    void uploadRefusesDamagedFirmware();

private:
    QString encryptFirmware(const QString &name, const QByteArray &plain);

    StorageFixture m_storage;
    QByteArray m_osImage;
    QString m_osEncrypted;
    QString m_otherKey;
};

QString TestDeviceUpdateEntry::encryptFirmware(const QString &name, const QByteArray &plain)
{
    const QString plainPath = QDir(testRoot()).filePath(name + ".plain");
    QFile file(plainPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(plain) != plain.size())
        return {};
    file.close();
    const ProcessResult done
        = runProcess(QStringLiteral("openssl"),
                     { "enc", "-aes-256-cbc", "-K",
                       QString::fromLatin1(DeviceUpdateEntry::firmwareKey().toHex()), "-iv",
                       QString::fromLatin1(DeviceUpdateEntry::firmwareIv().toHex()), "-in",
                       plainPath, "-out", m_storage.servedPath(name) });
    return done.exitCode == 0 ? m_storage.servedPath(name) : QString();
}

void TestDeviceUpdateEntry::initTestCase()
{
    QVERIFY(m_storage.start());
    qputenv("NIMBREL_FIRMWARE_SEEDS", "7,8,9,0x10,0x20,-30");
    m_osImage = randomBytes(4000, 3);
    m_osEncrypted = encryptFirmware("pelto-os-1.4.0.fwb", m_osImage);
    QVERIFY(!m_osEncrypted.isEmpty());
    QVERIFY(!encryptFirmware("wireless-1.1.0.bin", randomBytes(500, 4)).isEmpty());
    // Whole blocks under another key: the digest matches, the padding does not.
    m_otherKey = QDir(testRoot()).filePath("other-key.fwb");
    QCOMPARE(runProcess(QStringLiteral("openssl"),
                        { "enc", "-aes-256-cbc", "-K", QString(64, QLatin1Char('5')), "-iv",
                          QString(32, QLatin1Char('6')), "-in", m_osEncrypted, "-out", m_otherKey })
                 .exitCode,
             0);
    // openssl agrees that it does not decrypt under the firmware key.
    QVERIFY(runProcess(QStringLiteral("openssl"),
                       { "enc", "-d", "-aes-256-cbc", "-K",
                         QString::fromLatin1(DeviceUpdateEntry::firmwareKey().toHex()), "-iv",
                         QString::fromLatin1(DeviceUpdateEntry::firmwareIv().toHex()), "-in",
                         m_otherKey, "-out", m_otherKey + ".out" })
                .exitCode
            != 0);
    const ProcessResult sums
        = runProcess(QStringLiteral("sha256sum"),
                     { m_osEncrypted, m_storage.servedPath("wireless-1.1.0.bin"), m_otherKey });
    QCOMPARE(sums.exitCode, 0);
    const QList<QByteArray> lines = sums.out.split('\n');
    const QByteArray json = R"({"Version": 1, "Components": {
        "PeltoOS": {"LatestVersion": "1.4.0", "Versions": {
            "1.4.0": {"file": "firmware/pelto-os-1.4.0.fwb", "sha256": ")"
        + lines.at(0).left(64) + R"("},
            "1.4.9": {"file": "firmware/other-key.fwb", "sha256": ")"
        + lines.at(2).left(64) + R"("}}},
        "PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {
            "1.1.0": {"file": "firmware/wireless-1.1.0.bin", "sha256": ")"
        + lines.at(1).left(64) + R"("}}}}})";
    QVERIFY(m_storage.serve("versionInfo.data", m_storage.encryptCatalogue(json)));
    QSignalSpy loaded(VersionControl::instance(), &VersionControl::VersionControlUpdated);
    QCOMPARE(VersionControl::instance()->checkForUpdates(), 0);
    QVERIFY(loaded.wait(scaled(20000)));
    QCOMPARE(VersionControl::instance()->getLatestComponentVersion("PeltoOS"), "1.4.0");
}

// Two devices updating at once: the cache broadcasts every answer, and each row must take only
// the file it asked for.
void TestDeviceUpdateEntry::rowsTakeOnlyTheirOwnAnswers()
{
    RecordingEntry first;
    RecordingEntry second;
    first.requestFirmwareDownload("PeltoOS", "1.4.0");
    second.requestFirmwareDownload("PeltoWireless", "1.1.0");
    QCOMPARE(first.getUpdateState(), DeviceUpdateEntry::DownloadingFirmware);
    QVERIFY(waitFor([&] { return !first.answers.isEmpty() && !second.answers.isEmpty(); }, 20000));
    QTest::qWait(200);
    const QDir cache = FirmwareFileManager::instance()->cacheFolder();
    const QList<Answer> firstExpected{ Answer{ "PeltoOS", "1.4.0",
                                               cache.absoluteFilePath("pelto-os-1.4.0.fwb") } };
    const QList<Answer> secondExpected{ Answer{ "PeltoWireless", "1.1.0",
                                                cache.absoluteFilePath("wireless-1.1.0.bin") } };
    QCOMPARE(first.answers, firstExpected);
    QCOMPARE(second.answers, secondExpected);

    // Asked again, the cached file is answered after the request returned.
    first.requestFirmwareDownload("PeltoOS", "1.4.0");
    QCOMPARE(first.answers.size(), 1);
    QVERIFY(waitFor([&] { return first.answers.size() == 2; }, 5000));
    QCOMPARE(second.answers.size(), 1);
}

void TestDeviceUpdateEntry::uploadDecryptsVerifiedFirmware()
{
    RecordingEntry row;
    QSignalSpy uploads(&row, &DeviceUpdateEntry::UploadFw);
    row.uploadFirmwareFile("PeltoOS", "1.4.0", m_osEncrypted, SoftwareUpdate::Firmware);
    QCOMPARE(uploads.size(), 1);
    const auto buffer = uploads.at(0).at(0).value<SharedBinaryPtr>();
    QVERIFY(buffer);
    QCOMPARE(buffer->data(), m_osImage);
    QCOMPARE(uploads.at(0).at(1).value<SoftwareUpdate::UpdateCommand>(), SoftwareUpdate::Firmware);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::UploadingFirmware);
    QCOMPARE(row.getProgressText(), QStringLiteral("Uploading firmware"));
}

void TestDeviceUpdateEntry::uploadRefusesDamagedFirmware_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("one bit flipped") << "damaged";
    QTest::newRow("missing") << "missing";
    QTest::newRow("version unknown to the catalogue") << "unknown";
    // The digest matches, but the file does not decrypt under the firmware key.
    QTest::newRow("another key") << "other key";
}

void TestDeviceUpdateEntry::uploadRefusesDamagedFirmware()
{
    QFETCH(QString, kind);
    QFile source(m_osEncrypted);
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    QString path = QDir(testRoot()).filePath("damaged.fwb");
    QString version = QStringLiteral("1.4.0");
    if (kind == "damaged")
        bytes[17] = char(bytes.at(17) ^ 0x04);
    if (kind == "missing")
        path += ".absent";
    else {
        QFile target(path);
        QVERIFY(target.open(QIODevice::WriteOnly | QIODevice::Truncate));
        target.write(bytes);
    }
    if (kind == "unknown")
        version = QStringLiteral("1.4.1");
    if (kind == "other key") {
        path = m_otherKey;
        version = QStringLiteral("1.4.9");
    }

    RecordingEntry row;
    QSignalSpy uploads(&row, &DeviceUpdateEntry::UploadFw);
    QSignalSpy busy(&row, &DeviceUpdateEntry::SetUpdateStateSignal);
    row.uploadFirmwareFile("PeltoOS", version, path, SoftwareUpdate::Firmware);
    QCOMPARE(uploads.size(), 0);
    QCOMPARE(row.getUpdateState(), DeviceUpdateEntry::ErrorWhileUpdating);
    QCOMPARE(row.getUpdateProgress(), -1.0f);
    QCOMPARE(busy.size(), 1);
    QVERIFY(hasNotification("Firmware update failed", "Could not load firmware"));
}

QTEST_GUILESS_MAIN(TestDeviceUpdateEntry)
#include "tst_deviceUpdateEntry.moc"
