#include "VersionControl.h"

#include "ErrorHandler.h"

#include "StorageFixture.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QTest>

using namespace nimbrel::test;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A catalogue with two Pelto versions, three components and a block.
const QByteArray FullCatalogue = R"({
  "Version": 1,
  "Devices": {
    "Pelto": {
      "LatestVersion": "2.1.0",
      "Versions": {
        "1.9.0": {"PeltoOS": "1.2.0", "PeltoWireless": "0.9.0"},
        "2.0.0": {"PeltoOS": "1.3.0", "PeltoWireless": "1.0.0", "Bootloader": ""},
        "2.1.0": {"PeltoOS": "1.4.0", "PeltoWireless": "1.1.0"}
      }
    },
    "Halvex": {"LatestVersion": "0.1.0", "Versions": {"0.1.0": {}}}
  },
  "Components": {
    "PeltoOS": {
      "LatestVersion": "1.4.0",
      "Versions": {
        "1.3.0": {"file": "firmware/pelto-os-1.3.0.fwb", "sha256": "aa"},
        "1.4.0": {"file": "firmware/pelto-os-1.4.0.fwb", "sha256": "bb"}
      }
    },
    "PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {"1.1.0": {"file": "firmware/wl.bin"}}},
    "NimbrelStudio": {"LatestVersion": "1.4"}
  },
  "Blocks": {"Gain": {"LatestVersion": "1.0", "Category": "Math"}}
})";

} // namespace

class TestVersionControl : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void lookups();
    void loadingLeavesTheCacheIntact();
    void badDownloadKeepsTheCachedCatalogue_data();
    void badDownloadKeepsTheCachedCatalogue();
    void applicationUpdate_data();
    void applicationUpdate();
    void otherFormatKeepsTheCatalogue();
    void laterCatalogueReplacesTheWholeCatalogue();
    void oneDownloadAtATime();
    void unreachableCatalogueIsNotified();

private:
    QByteArray encryptCatalogue(const QByteArray &json) { return m_storage.encryptCatalogue(json); }
    void serve(const QByteArray &body) { QVERIFY(m_storage.serve("versionInfo.data", body)); }
    void serveNothing() { m_storage.withdraw("versionInfo.data"); }
    // Runs one check and waits until its load has happened; returns false on time-out.
    bool checkAndLoad(VersionControl &catalogue);

    StorageFixture m_storage;
    QString m_cachedFile;
};

void TestVersionControl::initTestCase()
{
    QVERIFY(m_storage.start());

    VersionControl probe;
    m_cachedFile = probe.catalogueFilePath();
    QVERIFY(m_cachedFile.startsWith(testRoot()));
    QCOMPARE(VersionControl::catalogueKey().size(), 32);
    QCOMPARE(VersionControl::catalogueIv().size(), 16);
}

void TestVersionControl::init()
{
    ErrorHandler::instance()->clearNotifications();
    QFile::remove(m_cachedFile);
    serveNothing();
}

bool TestVersionControl::checkAndLoad(VersionControl &catalogue)
{
    QSignalSpy updated(&catalogue, &VersionControl::VersionControlUpdated);
    if (catalogue.checkForUpdates() != 0)
        return false;
    return updated.wait(scaled(20000)) && updated.size() == 1;
}

void TestVersionControl::lookups()
{
    const QByteArray served = encryptCatalogue(FullCatalogue);
    QVERIFY(served.size() > 32);
    serve(served);

    VersionControl catalogue;
    QVERIFY(checkAndLoad(catalogue));

    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
    QCOMPARE(catalogue.getLatestDeviceVersion("pelto"), QString());
    QCOMPARE(catalogue.getLatestComponentVersion("PeltoOS"), QStringLiteral("1.4.0"));
    QCOMPARE(catalogue.getLatestComponentVersion("Unknown"), QString());

    const CatalogueFile file = catalogue.getComponentFile("PeltoOS", "1.3.0");
    QCOMPARE(file.file, QStringLiteral("firmware/pelto-os-1.3.0.fwb"));
    QCOMPARE(file.sha256, QStringLiteral("aa"));
    // Missing keys read as empty text; an unknown version gives two empty texts.
    QCOMPARE(catalogue.getComponentFile("PeltoWireless", "1.1.0").sha256, QString());
    const CatalogueFile unknown = catalogue.getComponentFile("PeltoOS", "9.9.9");
    QVERIFY(unknown.file.isEmpty() && unknown.sha256.isEmpty());

    const QMap<QString, QString> latest = catalogue.getDeviceComponentVersions("Pelto", "2.1.0");
    QCOMPARE(latest,
             (QMap<QString, QString>{ { "PeltoOS", "1.4.0" }, { "PeltoWireless", "1.1.0" } }));
    QVERIFY(catalogue.getDeviceComponentVersions("Pelto", "2.1").isEmpty());

    using Versions = QMap<QString, QString>;
    QCOMPARE(catalogue.findDeviceVersion(
                 "Pelto", Versions{ { "PeltoOS", "1.2.0" }, { "PeltoWireless", "0.9.0" } }),
             QStringLiteral("1.9.0"));
    // Texts are compared, not versions.
    QVERIFY(catalogue
                .findDeviceVersion("Pelto",
                                   Versions{ { "PeltoOS", "1.2" }, { "PeltoWireless", "0.9.0" } })
                .isNull());
    // A component the device does not report matches only an empty version text.
    QCOMPARE(catalogue.findDeviceVersion(
                 "Pelto", Versions{ { "PeltoOS", "1.3.0" }, { "PeltoWireless", "1.0.0" } }),
             QStringLiteral("2.0.0"));
    QCOMPARE(catalogue.findDeviceVersion("Halvex", Versions{}), QStringLiteral("0.1.0"));
    QVERIFY(catalogue.findDeviceVersion("Sorvyn", Versions{}).isNull());
}

// Loading reads the cached file without changing it: a later load (after a failed download, or in
// the next session while offline) finds the same verified catalogue.
void TestVersionControl::loadingLeavesTheCacheIntact()
{
    const QByteArray served = encryptCatalogue(FullCatalogue);
    serve(served);
    {
        VersionControl catalogue;
        QVERIFY(checkAndLoad(catalogue));
        QCOMPARE(readAll(m_cachedFile), served);

        serveNothing();
        QVERIFY(checkAndLoad(catalogue));
        QCOMPARE(readAll(m_cachedFile), served);
    }
    VersionControl offline;
    QVERIFY(checkAndLoad(offline));
    QCOMPARE(offline.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
    QCOMPARE(readAll(m_cachedFile), served);
}

void TestVersionControl::badDownloadKeepsTheCachedCatalogue_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("digest mismatch") << "digest";
    QTest::newRow("shorter than a digest") << "short";
    QTest::newRow("not served") << "missing";
    // The digest is right, but what it covers is not a catalogue this program reads.
    QTest::newRow("wrong key") << "key";
    QTest::newRow("wrong IV") << "iv";
    QTest::newRow("last block cut, digest recomputed") << "cut";
    QTest::newRow("padding bytes that disagree") << "padding";
    QTest::newRow("plain JSON") << "plain";
    QTest::newRow("JSON array") << "array";
    QTest::newRow("format 2") << "format";
}

void TestVersionControl::badDownloadKeepsTheCachedCatalogue()
{
    QFETCH(QString, kind);
    const QByteArray good = encryptCatalogue(FullCatalogue);
    serve(good);
    VersionControl catalogue;
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(readAll(m_cachedFile), good);

    // Every variant would offer Pelto 3.0.0 if it were taken for a catalogue.
    const QByteArray newerJson = QByteArray(FullCatalogue).replace("2.1.0", "3.0.0");
    const QByteArray key = VersionControl::catalogueKey();
    const QByteArray iv = VersionControl::catalogueIv();
    auto flipped = [](QByteArray bytes) {
        for (char &c : bytes)
            c = char(c ^ 0x01);
        return bytes;
    };
    QByteArray bad;
    if (kind == "digest") {
        bad = encryptCatalogue(newerJson);
        bad[bad.size() - 40] = char(bad.at(bad.size() - 40) ^ 0x01);
    } else if (kind == "short") {
        bad = QByteArray(20, 'x');
    } else if (kind == "key") {
        bad = StorageFixture::withDigest(StorageFixture::encrypt(newerJson, flipped(key), iv));
    } else if (kind == "iv") {
        bad = StorageFixture::withDigest(StorageFixture::encrypt(newerJson, key, flipped(iv)));
    } else if (kind == "cut") {
        const QByteArray cipher = StorageFixture::encrypt(newerJson, key, iv);
        QVERIFY(cipher.size() > 32);
        bad = StorageFixture::withDigest(cipher.chopped(16));
    } else if (kind == "padding") {
        // Only the last byte looks like a full block of padding: whoever trusts it alone reads
        // the newer catalogue followed by blanks.
        QByteArray plain = newerJson;
        plain.append(QByteArray((16 - plain.size() % 16) % 16, ' '));
        plain.append(QByteArray(15, ' ') + char(16));
        bad = StorageFixture::withDigest(StorageFixture::encrypt(plain, key, iv, false));
        // Premise: openssl itself refuses the padding.
        const ProcessResult check
            = runProcess("openssl",
                         { "enc", "-d", "-aes-256-cbc", "-K", QString::fromLatin1(key.toHex()),
                           "-iv", QString::fromLatin1(iv.toHex()) },
                         bad.chopped(32));
        QVERIFY(check.finished && check.exitCode != 0);
    } else if (kind == "plain") {
        bad = StorageFixture::withDigest(newerJson);
    } else if (kind == "array") {
        bad = encryptCatalogue("[" + newerJson + "]");
    } else {
        bad = encryptCatalogue(QByteArray(newerJson).replace("\"Version\": 1", "\"Version\": 2"));
    }
    if (kind == "missing") {
        serveNothing();
    } else {
        QVERIFY(!bad.isEmpty());
        serve(bad);
    }
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(readAll(m_cachedFile), good);
    QVERIFY(!QFile::exists(catalogue.downloadFilePath()));
    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));

    // The next session, offline, still has the good catalogue.
    VersionControl offline;
    serveNothing();
    QVERIFY(checkAndLoad(offline));
    QCOMPARE(offline.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
    QCOMPARE(offline.getComponentFile("PeltoOS", "1.4.0").sha256, QStringLiteral("bb"));
}

void TestVersionControl::applicationUpdate_data()
{
    QTest::addColumn<QByteArray>("published");
    QTest::addColumn<bool>("newer");
    QTest::newRow("same, patch left out") << QByteArray("\"1.4\"") << false;
    QTest::newRow("patch newer") << QByteArray("\"1.4.1\"") << true;
    QTest::newRow("minor newer") << QByteArray("\"1.10.0\"") << true;
    QTest::newRow("older") << QByteArray("\"1.3.9\"") << false;
    QTest::newRow("no component") << QByteArray() << false;
}

void TestVersionControl::applicationUpdate()
{
    QFETCH(QByteArray, published);
    QFETCH(bool, newer);
    QByteArray json = R"({"Version": 1, "Components": {)";
    if (!published.isEmpty())
        json += R"("NimbrelStudio": {"LatestVersion": )" + published + "}";
    json += "}}";
    serve(encryptCatalogue(json));

    VersionControl catalogue;
    QSignalSpy flagged(&catalogue, &VersionControl::nimbrelUpdateAvailable);
    QSignalSpy updated(&catalogue, &VersionControl::VersionControlUpdated);
    QCOMPARE(catalogue.setApplicationVersion(1, 4, 0), 0);
    QVERIFY(updated.wait(scaled(20000)));
    QCOMPARE(catalogue.getNimbrelUpdateStatus(), newer);
    QCOMPARE(catalogue.property("nimbrelUpdateAvailable").toBool(), newer);
    QCOMPARE(flagged.size(), newer ? 1 : 0);
}

void TestVersionControl::otherFormatKeepsTheCatalogue()
{
    serve(encryptCatalogue(FullCatalogue));
    VersionControl catalogue;
    QVERIFY(checkAndLoad(catalogue));
    serve(encryptCatalogue(R"({"Version": 2, "Devices": {"Pelto": {"LatestVersion": "9.0.0"}}})"));
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
    // Encrypted with another key: decryption fails, nothing changes either.
    qputenv("NIMBREL_CATALOGUE_SEEDS", "1,2,3,4,5,6");
    const QByteArray otherKey = encryptCatalogue(FullCatalogue);
    qputenv("NIMBREL_CATALOGUE_SEEDS", StorageFixture::Seeds);
    serve(otherKey);
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
}

// A load empties the catalogue before it fills it: whatever the maker withdrew is no longer
// offered, in this session or the next.
void TestVersionControl::laterCatalogueReplacesTheWholeCatalogue()
{
    serve(encryptCatalogue(FullCatalogue));
    VersionControl catalogue;
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(catalogue.getLatestDeviceVersion("Halvex"), QStringLiteral("0.1.0"));

    // Halvex, Pelto 1.9.0 and 2.0.0, PeltoWireless and the block are gone.
    serve(encryptCatalogue(R"({"Version": 1,
      "Devices": {"Pelto": {"LatestVersion": "2.1.0", "Versions": {
          "2.1.0": {"PeltoOS": "1.4.0"}}}},
      "Components": {"PeltoOS": {"LatestVersion": "1.4.0", "Versions": {
          "1.4.0": {"file": "firmware/pelto-os-1.4.0.fwb", "sha256": "bb"}}}}})"));
    QVERIFY(checkAndLoad(catalogue));
    VersionControl nextSession;
    serveNothing();
    QVERIFY(checkAndLoad(nextSession));

    using Versions = QMap<QString, QString>;
    for (const VersionControl *loaded : { &catalogue, &nextSession }) {
        QCOMPARE(loaded->getLatestDeviceVersion("Halvex"), QString());
        QVERIFY(loaded->findDeviceVersion("Halvex", Versions{}).isNull());
        QVERIFY(loaded->getDeviceComponentVersions("Pelto", "1.9.0").isEmpty());
        QVERIFY(loaded
                    ->findDeviceVersion(
                        "Pelto", Versions{ { "PeltoOS", "1.2.0" }, { "PeltoWireless", "0.9.0" } })
                    .isNull());
        QCOMPARE(loaded->getLatestComponentVersion("PeltoWireless"), QString());
        QCOMPARE(loaded->getComponentFile("PeltoOS", "1.3.0").file, QString());
        QCOMPARE(loaded->findDeviceVersion("Pelto", Versions{ { "PeltoOS", "1.4.0" } }),
                 QStringLiteral("2.1.0"));
    }
}

void TestVersionControl::oneDownloadAtATime()
{
    serve(encryptCatalogue(FullCatalogue));
    VersionControl catalogue;
    QSignalSpy updated(&catalogue, &VersionControl::VersionControlUpdated);
    QCOMPARE(catalogue.checkForUpdates(), 0);
    QCOMPARE(catalogue.checkForUpdates(), -1);
    QVERIFY(updated.wait(scaled(20000)));
    QTest::qWait(200);
    QCOMPARE(updated.size(), 1);
    // Answered: the next check starts a new download.
    QCOMPARE(catalogue.checkForUpdates(), 0);
    QVERIFY(updated.wait(scaled(20000)));
}


// A catalogue that cannot be downloaded is a failure the person sees, and the catalogue says
// whether it has any content at all, so that no screen calls a device up-to-date without one.
void TestVersionControl::unreachableCatalogueIsNotified()
{
    VersionControl catalogue;
    QVERIFY(!catalogue.isCatalogueAvailable());
    QSignalSpy available(&catalogue, &VersionControl::catalogueAvailableChanged);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be downloaded"));
    QVERIFY(checkAndLoad(catalogue)); // nothing served, nothing cached
    QVERIFY(!catalogue.isCatalogueAvailable());
    NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first()->getTitle(), QStringLiteral("Version catalogue not reached"));
    QVERIFY2(told.first()->getMessage().contains(QStringLiteral("could not be downloaded")),
             qPrintable(told.first()->getMessage()));
    QVERIFY(told.first()->getMessage().contains(QStringLiteral("cannot be checked")));

    serve(encryptCatalogue(FullCatalogue));
    QVERIFY(checkAndLoad(catalogue));
    QVERIFY(catalogue.isCatalogueAvailable());
    QCOMPARE(available.size(), 1);
    QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 1u); // a success tells nothing

    // Offline with a copy from before: told, and the copy is used.
    ErrorHandler::instance()->clearNotifications();
    serveNothing();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("could not be downloaded"));
    QVERIFY(checkAndLoad(catalogue));
    QVERIFY(catalogue.isCatalogueAvailable());
    told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QVERIFY2(told.first()->getMessage().contains(QStringLiteral("copy")),
             qPrintable(told.first()->getMessage()));
}

QTEST_GUILESS_MAIN(TestVersionControl)
#include "tst_versionControl.moc"
