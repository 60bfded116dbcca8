#include "FirmwareFileManager.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "VersionControl.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

using namespace nimbrel::test;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

const QString OsFile = QStringLiteral("pelto-os-1.4.0.fwb");

} // namespace

class TestFirmwareFileManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void downloadsThenAnswersFromCache();
    void damagedCacheIsFetchedAgain();
    void notAvailable_data();
    void notAvailable();
    void oneDownloadPerFirmware();

private:
    QString cached(const QString &name) const { return m_cache->cacheFolder().filePath(name); }

    StorageFixture m_storage;
    VersionControl *m_catalogue = nullptr;
    FirmwareFileManager *m_cache = nullptr;
    QByteArray m_osImage;
};

void TestFirmwareFileManager::initTestCase()
{
    QVERIFY(m_storage.start());
    m_osImage = randomBytes(5000, 7);
    QVERIFY(m_storage.serve(OsFile, m_osImage));
    QVERIFY(m_storage.serve("wireless-1.1.0.bin", randomBytes(300, 8)));
    // The digests as sha256sum prints them.
    const ProcessResult sums
        = runProcess(QStringLiteral("sha256sum"),
                     { m_storage.servedPath(OsFile), m_storage.servedPath("wireless-1.1.0.bin") });
    QCOMPARE(sums.exitCode, 0);
    const QList<QByteArray> lines = sums.out.split('\n');
    const QByteArray json = R"({"Version": 1, "Components": {
        "PeltoOS": {"LatestVersion": "1.4.0", "Versions": {
            "1.4.0": {"file": "firmware/pelto/)"
        + OsFile.toUtf8() + R"(", "sha256": ")" + lines.at(0).left(64) + R"("},
            "1.3.0": {"sha256": "00"},
            "1.2.0": {"file": "firmware/gone.fwb", "sha256": "00"}}},
        "PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {
            "1.1.0": {"file": "firmware/wireless-1.1.0.bin", "sha256": ")"
        + lines.at(1).left(64).toUpper() + R"("}}}}})";
    QVERIFY(m_storage.serve("versionInfo.data", m_storage.encryptCatalogue(json)));

    m_catalogue = new VersionControl(this);
    QSignalSpy loaded(m_catalogue, &VersionControl::VersionControlUpdated);
    QCOMPARE(m_catalogue->checkForUpdates(), 0);
    QVERIFY(loaded.wait(scaled(20000)));
    QCOMPARE(m_catalogue->getLatestComponentVersion("PeltoOS"), QStringLiteral("1.4.0"));
    m_cache = new FirmwareFileManager(m_catalogue, this);
}

void TestFirmwareFileManager::init()
{
    for (const QString &name : m_cache->cacheFolder().entryList(QDir::Files))
        QVERIFY(m_cache->cacheFolder().remove(name));
}

void TestFirmwareFileManager::downloadsThenAnswersFromCache()
{
    QSignalSpy available(m_cache, &FirmwareFileManager::FirmwareAvailable);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), QString());
    QVERIFY(available.wait(scaled(20000)));
    QCOMPARE(available.size(), 1);
    const QString path = cached(OsFile);
    QCOMPARE(available.at(0), (QVariantList{ "PeltoOS", "1.4.0", path }));
    QCOMPARE(readAll(path), m_osImage);

    // Answered from the cache at once, without the storage.
    m_storage.withdraw(OsFile);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), path);
    QVERIFY(m_storage.serve(OsFile, m_osImage));
}

// A damaged copy under the right name is replaced instead of being handed out again and again.
void TestFirmwareFileManager::damagedCacheIsFetchedAgain()
{
    QFile damaged(cached(OsFile));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    QByteArray wrong = m_osImage;
    wrong[100] = char(wrong.at(100) ^ 0x20);
    damaged.write(wrong);
    damaged.close();

    QSignalSpy available(m_cache, &FirmwareFileManager::FirmwareAvailable);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), QString());
    QVERIFY(available.wait(scaled(20000)));
    QCOMPARE(readAll(cached(OsFile)), m_osImage);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), cached(OsFile));

    // Upper-case hex digests are accepted as well.
    QCOMPARE(m_cache->requestFirmware("PeltoWireless", "1.1.0"), QString());
    QVERIFY(QTest::qWaitFor([&] { return available.size() == 2; }, scaled(20000)));
    QCOMPARE(m_cache->requestFirmware("PeltoWireless", "1.1.0"),
             cached(QStringLiteral("wireless-1.1.0.bin")));
}

void TestFirmwareFileManager::notAvailable_data()
{
    QTest::addColumn<QString>("version");
    QTest::newRow("version not in the catalogue") << "9.9.9";
    QTest::newRow("entry without a file name") << "1.3.0";
    QTest::newRow("file not served") << "1.2.0";
}

void TestFirmwareFileManager::notAvailable()
{
    QFETCH(QString, version);
    QSignalSpy missing(
        m_cache, qOverload<QString, QString, QString>(&FirmwareFileManager::FirmwareNotAvailable));
    QSignalSpy available(m_cache, &FirmwareFileManager::FirmwareAvailable);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", version), QString());
    // The answer comes after the request returned, so a caller may connect before asking.
    QCOMPARE(missing.size(), 0);
    QVERIFY(missing.wait(scaled(20000)));
    QCOMPARE(missing.at(0), (QVariantList{ "PeltoOS", version, QString() }));
    QTest::qWait(100);
    QCOMPARE(available.size(), 0);
    QCOMPARE(missing.size(), 1);
    QCOMPARE(m_cache->cacheFolder().entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList());
}

void TestFirmwareFileManager::oneDownloadPerFirmware()
{
    QSignalSpy available(m_cache, &FirmwareFileManager::FirmwareAvailable);
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), QString());
    QCOMPARE(m_cache->requestFirmware("PeltoOS", "1.4.0"), QString());
    QVERIFY(available.wait(scaled(20000)));
    QTest::qWait(200);
    QCOMPARE(available.size(), 1);
}

QTEST_GUILESS_MAIN(TestFirmwareFileManager)
#include "tst_firmwareFileManager.moc"
