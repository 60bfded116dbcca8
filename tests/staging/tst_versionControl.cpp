#include "VersionControl.h"

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
    void cleanupTestCase();
    void init();

    void lookups();
    void loadingLeavesTheCacheIntact();
    void badDownloadKeepsTheCachedCatalogue_data();
    void badDownloadKeepsTheCachedCatalogue();
    void applicationUpdate_data();
    void applicationUpdate();
    void otherFormatKeepsTheCatalogue();
    void oneDownloadAtATime();

private:
    // The stand-in storage serves files by base name, so "nimbrel/" needs no folder of its own.
    // Encrypts the JSON text with openssl under the catalogue's key and appends the digest.
    QByteArray encryptCatalogue(const QByteArray &json);
    void serve(const QByteArray &body);
    void serveNothing() { QFile::remove(servedCatalogue()); }
    QString servedCatalogue() const { return m_served.filePath("versionInfo.data"); }
    // Runs one check and waits until its load has happened; returns false on time-out.
    bool checkAndLoad(VersionControl &catalogue);

    QProcess m_server;
    QDir m_served;
    QString m_cachedFile;
    int m_fixtures = 0;
};

void TestVersionControl::initTestCase()
{
    const QDir root(testRoot());
    QVERIFY(root.mkpath(QStringLiteral("served")));
    m_served = QDir(root.filePath(QStringLiteral("served")));
    const QString cert = root.filePath(QStringLiteral("storage-cert.pem"));
    const QString key = root.filePath(QStringLiteral("storage-key.pem"));
    const ProcessResult made = runProcess(
        QStringLiteral("openssl"),
        { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-addext",
          "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout", key, "-out", cert });
    QVERIFY2(made.finished && made.exitCode == 0, made.err.constData());
    QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
    QVERIFY(ssl.addCaCertificates(cert));
    QSslConfiguration::setDefaultConfiguration(ssl);

    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(
        python(),
        { fixturePath(QStringLiteral("https_storage_server.py")), cert, key, m_served.path() });
    QVERIFY(m_server.waitForStarted(scaled(10000)));
    QVERIFY(waitFor([&] { return m_server.canReadLine(); }, 10000));
    const int port = m_server.readLine().trimmed().toInt();
    QVERIFY(port > 0);
    qputenv("NIMBREL_STORAGE_BASE_URL",
            QByteArray("https://127.0.0.1:") + QByteArray::number(port));
    // The test's own seed words: the key is whatever they make, never the built-in one.
    qputenv("NIMBREL_CATALOGUE_SEEDS", "11,0x7fff0001,-5,42,4242,0xdeadbeef");

    VersionControl probe;
    m_cachedFile = probe.catalogueFilePath();
    QVERIFY(m_cachedFile.startsWith(testRoot()));
    QCOMPARE(VersionControl::catalogueKey().size(), 32);
    QCOMPARE(VersionControl::catalogueIv().size(), 16);
}

void TestVersionControl::cleanupTestCase()
{
    if (m_server.state() != QProcess::NotRunning) {
        m_server.kill();
        m_server.waitForFinished();
    }
}

void TestVersionControl::init()
{
    QFile::remove(m_cachedFile);
    serveNothing();
}

QByteArray TestVersionControl::encryptCatalogue(const QByteArray &json)
{
    const QString base = QDir(testRoot()).filePath(QStringLiteral("fixture-%1").arg(++m_fixtures));
    // Python's json writes the document the way the maker's tools do.
    const ProcessResult written = runPython(
        "import json, sys\njson.dump(json.loads(sys.stdin.read()), open(sys.argv[1], 'w'))",
        { base + ".json" }, json);
    if (written.exitCode != 0)
        return {};
    const ProcessResult encrypted = runProcess(
        QStringLiteral("sh"),
        { "-c",
          "openssl enc -aes-256-cbc -K \"$1\" -iv \"$2\" -in \"$3.json\" -out \"$3.data\""
          " && openssl dgst -sha256 -binary \"$3.data\" >> \"$3.data\"",
          "sh", QString::fromLatin1(VersionControl::catalogueKey().toHex()),
          QString::fromLatin1(VersionControl::catalogueIv().toHex()), base });
    if (encrypted.exitCode != 0)
        return {};
    return readAll(base + ".data");
}

void TestVersionControl::serve(const QByteArray &body)
{
    QFile file(servedCatalogue());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(body), body.size());
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
}

void TestVersionControl::badDownloadKeepsTheCachedCatalogue()
{
    QFETCH(QString, kind);
    const QByteArray good = encryptCatalogue(FullCatalogue);
    serve(good);
    VersionControl catalogue;
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(readAll(m_cachedFile), good);

    QByteArray newer = encryptCatalogue(QByteArray(FullCatalogue).replace("2.1.0", "3.0.0"));
    if (kind == "digest") {
        newer[newer.size() - 40] = char(newer.at(newer.size() - 40) ^ 0x01);
        serve(newer);
    } else if (kind == "short") {
        serve(QByteArray(20, 'x'));
    } else {
        serveNothing();
    }
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(readAll(m_cachedFile), good);
    QVERIFY(!QFile::exists(catalogue.downloadFilePath()));
    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));

    VersionControl offline;
    serveNothing();
    QVERIFY(checkAndLoad(offline));
    QCOMPARE(offline.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
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
    qputenv("NIMBREL_CATALOGUE_SEEDS", "11,0x7fff0001,-5,42,4242,0xdeadbeef");
    serve(otherKey);
    QVERIFY(checkAndLoad(catalogue));
    QCOMPARE(catalogue.getLatestDeviceVersion("Pelto"), QStringLiteral("2.1.0"));
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

QTEST_GUILESS_MAIN(TestVersionControl)
#include "tst_versionControl.moc"
