#pragma once

#include "DeviceUpdateEntry.h"
#include "TestSupport.h"
#include "VersionControl.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSslConfiguration>
#include <QTest>

// The maker's file storage played by tests/fixtures/https_storage_server.py on 127.0.0.1 with a
// throw-away certificate. It serves files by base name, so "nimbrel/" needs no folder of its own.
// Catalogues are written by Python's json and encrypted by `openssl enc` with the digest appended
// by `openssl dgst`, under the key the test's own seed words make.
class StorageFixture
{
public:
    static constexpr const char *Seeds = "11,0x7fff0001,-5,42,4242,0xdeadbeef";

    ~StorageFixture()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.kill();
            m_server.waitForFinished();
        }
    }

    // Call through QVERIFY.
    bool start()
    {
        using namespace nimbrel::test;
        const QDir root(testRoot());
        if (!root.mkpath(QStringLiteral("served")))
            return false;
        m_served = QDir(root.filePath(QStringLiteral("served")));
        const QString cert = root.filePath(QStringLiteral("storage-cert.pem"));
        const QString key = root.filePath(QStringLiteral("storage-key.pem"));
        const ProcessResult made = runProcess(
            QStringLiteral("openssl"),
            { "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-addext",
              "subjectAltName=IP:127.0.0.1", "-days", "2", "-keyout", key, "-out", cert });
        if (!made.finished || made.exitCode != 0)
            return false;
        QSslConfiguration ssl = QSslConfiguration::defaultConfiguration();
        if (!ssl.addCaCertificates(cert))
            return false;
        QSslConfiguration::setDefaultConfiguration(ssl);

        m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_server.start(
            python(),
            { fixturePath(QStringLiteral("https_storage_server.py")), cert, key, m_served.path() });
        if (!m_server.waitForStarted(scaled(10000))
            || !waitFor([&] { return m_server.canReadLine(); }, 10000))
            return false;
        const int port = m_server.readLine().trimmed().toInt();
        if (port <= 0)
            return false;
        qputenv("NIMBREL_STORAGE_BASE_URL",
                QByteArray("https://127.0.0.1:") + QByteArray::number(port));
        // The test's own seed words: the key is whatever they make, never the built-in one.
        qputenv("NIMBREL_CATALOGUE_SEEDS", Seeds);
        return true;
    }

    QString servedPath(const QString &name) const { return m_served.filePath(name); }

    bool serve(const QString &name, const QByteArray &body)
    {
        QFile file(servedPath(name));
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(body) == body.size();
    }

    void withdraw(const QString &name) { QFile::remove(servedPath(name)); }

    // The catalogue text that offers Pelto 2.0.0 (operating system 1.4.0, wireless 1.1.0) over
    // 1.0.0, with the digests of the two served firmware files.
    static QByteArray peltoUpdateCatalogue(const QByteArray &osDigest,
                                           const QByteArray &wirelessDigest)
    {
        return R"({"Version": 1,
      "Devices": {"Pelto": {"LatestVersion": "2.0.0", "Versions": {
            "1.0.0": {"PeltoOS": "1.3.0", "PeltoWireless": "1.0.0"},
            "2.0.0": {"PeltoOS": "1.4.0", "PeltoWireless": "1.1.0"}}}},
      "Components": {
        "PeltoOS": {"LatestVersion": "1.4.0", "Versions": {
            "1.4.0": {"file": "firmware/os/pelto-os-1.4.0.fwb", "sha256": ")"
            + osDigest + R"("}}},
        "PeltoWireless": {"LatestVersion": "1.1.0", "Versions": {
            "1.1.0": {"file": "firmware/wireless/pelto-wireless-1.1.0.feb", "sha256": ")"
            + wirelessDigest + R"("}}}}})";
    }

    // The encrypted, checksummed catalogue of the JSON text; empty when a tool failed.
    QByteArray encryptCatalogue(const QByteArray &json)
    {
        using namespace nimbrel::test;
        const QString base
            = QDir(testRoot()).filePath(QStringLiteral("fixture-%1").arg(++m_fixtures));
        const ProcessResult written = runPython(
            "import json, sys\njson.dump(json.loads(sys.stdin.read()), open(sys.argv[1], 'w'))",
            { base + ".json" }, json);
        if (written.exitCode != 0)
            return {};
        QFile file(base + ".json");
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return withDigest(
            encrypt(file.readAll(), VersionControl::catalogueKey(), VersionControl::catalogueIv()));
    }

    // `plain` encrypted by `openssl enc` with AES-256-CBC under `key` and `iv`; with `pad` false
    // the bytes go in as they are (a multiple of 16), padding included. Empty when openssl failed.
    static QByteArray encrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv,
                              bool pad = true)
    {
        using namespace nimbrel::test;
        QStringList arguments{ "enc", "-aes-256-cbc",
                               "-K",  QString::fromLatin1(key.toHex()),
                               "-iv", QString::fromLatin1(iv.toHex()) };
        if (!pad)
            arguments << "-nopad";
        const ProcessResult encrypted = runProcess(QStringLiteral("openssl"), arguments, plain);
        return encrypted.finished && encrypted.exitCode == 0 ? encrypted.out : QByteArray();
    }

    // `payload` followed by its SHA-256 digest from `openssl dgst`; empty when openssl failed.
    static QByteArray withDigest(const QByteArray &payload)
    {
        using namespace nimbrel::test;
        if (payload.isEmpty())
            return {};
        const ProcessResult digest
            = runProcess(QStringLiteral("openssl"), { "dgst", "-sha256", "-binary" }, payload);
        if (!digest.finished || digest.exitCode != 0 || digest.out.size() != 32)
            return {};
        return payload + digest.out;
    }

    // Serves `plain` encrypted by `openssl enc` under the firmware key of the current
    // NIMBREL_FIRMWARE_SEEDS; returns the served file's digest from sha256sum (64 hex digits), or
    // an empty text when a tool failed.
    QByteArray serveFirmware(const QString &name, const QByteArray &plain)
    {
        using namespace nimbrel::test;
        const QString plainPath = QDir(testRoot()).filePath(name + QStringLiteral(".plain"));
        QFile file(plainPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(plain) != plain.size())
            return {};
        file.close();
        const ProcessResult encrypted
            = runProcess(QStringLiteral("openssl"),
                         { "enc", "-aes-256-cbc", "-K",
                           QString::fromLatin1(DeviceUpdateEntry::firmwareKey().toHex()), "-iv",
                           QString::fromLatin1(DeviceUpdateEntry::firmwareIv().toHex()), "-in",
                           plainPath, "-out", servedPath(name) });
        if (encrypted.exitCode != 0)
            return {};
        const ProcessResult sum = runProcess(QStringLiteral("sha256sum"), { servedPath(name) });
        return sum.exitCode == 0 ? sum.out.left(64) : QByteArray();
    }

private:
    QProcess m_server;
    QDir m_served;
    int m_fixtures = 0;
};
