#pragma once

#include "FakeMatlab.h"
#include "StorageFixture.h"
#include "TestSupport.h"
#include "ToolchainHandler.h"
#include "VersionControl.h"

#include <QDir>
#include <QFile>
#include <QDeadlineTimer>
#include <QSignalSpy>

// The maker's storage on 127.0.0.1 with a catalogue naming one toolchain package, the package
// built by tests/fixtures/toolchain_package.sh from a small source tree, and three fake MATLAB
// releases (R2020b, R2021a, R2022a) whose launcher records its starts.
class ToolchainFixture
{
public:
    static constexpr const char *Seeds = "7,0x10000001,-3,99,0x7eadbeef,123456";

    // Call through QVERIFY, once per test program.
    bool start()
    {
        using namespace nimbrel::test;
        qputenv("NIMBREL_TOOLCHAIN_SEEDS", Seeds);
        if (!m_storage.start())
            return false;
        const QString first = QStringLiteral("first");
        if (!m_matlab.addRelease(first, QStringLiteral("R2020b"), QStringLiteral("9.09"))
            || !m_matlab.addRelease(first, QStringLiteral("R2021a"), QStringLiteral("9.10"))
            || !m_matlab.addRelease(QStringLiteral("second"), QStringLiteral("R2022a"),
                                    QStringLiteral("9.12")))
            return false;
        qputenv("NIMBREL_MATLAB_ROOTS",
                (m_matlab.installFolder(first) + QLatin1Char(':')
                 + m_matlab.installFolder(QStringLiteral("second")))
                    .toUtf8());
        m_matlab.setEnvironment();
        qputenv("FAKE_MATLAB_VERSION_DIR", versionFolder().toUtf8());
        // The sources: a small tree with a file larger than one unpacking chunk.
        m_sources = QDir(testRoot()).filePath(QStringLiteral("toolchain-src"));
        const ProcessResult made
            = runProcess(QStringLiteral("sh"),
                         { "-c",
                           "mkdir -p \"$1/lib/deep\" && printf 'function a\\n' > \"$1/a.m\""
                           " && printf 'function b\\n' > \"$1/lib/b.m\""
                           " && head -c 1300000 /dev/urandom > \"$1/lib/deep/c.bin\"",
                           "sh", m_sources });
        return made.exitCode == 0;
    }

    static QString programData()
    {
        return QDir(qEnvironmentVariable("XDG_DATA_HOME"))
            .filePath(QStringLiteral("Orvane/NimbrelStudio"));
    }
    static QString packageFolder() { return programData() + "/MatlabHelper/ToolchainInstall"; }
    static QString versionFolder()
    {
        return programData() + "/MatlabHelper/MatlabToolchainVersion";
    }

    QString sources() const { return m_sources; }
    // Where the absolute entry of a hostile package points: inside the test's own folder.
    static QString absoluteEscape()
    {
        return QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("escape.m"));
    }
    FakeMatlab &matlab() { return m_matlab; }
    QStringList sourceFiles() const { return { "a.m", "lib/b.m", "lib/deep/c.bin" }; }

    // Builds the package of the kind, serves it and a catalogue naming it as version, with its
    // digest (or wrongDigest) and loads the catalogue. keyHex replaces the package key.
    bool publish(const QString &kind, const QString &version, bool wrongDigest = false,
                 const QString &keyHex = QString())
    {
        using namespace nimbrel::test;
        const QString name
            = QStringLiteral("NimbrelMatlabToolchain-%1-%2.data").arg(kind).arg(++m_published);
        const ProcessResult built = runProcess(
            QStringLiteral("sh"),
            { fixturePath(QStringLiteral("toolchain_package.sh")), m_sources,
              m_storage.servedPath(name), kind,
              keyHex.isEmpty() ? QString::fromLatin1(ToolchainHandler::packageKey().toHex())
                               : keyHex,
              QString::fromLatin1(ToolchainHandler::packageIv().toHex()), absoluteEscape() });
        if (built.exitCode != 0) {
            qWarning() << built.err;
            return false;
        }
        QByteArray digest = built.out.trimmed();
        if (wrongDigest)
            digest = QByteArray(64, 'a');
        const QByteArray catalogue = QStringLiteral(R"({"Version": 1, "Devices": {}, "Components": {
            "NimbrelMatlabToolchain": {"LatestVersion": "%1", "Versions": {
                "%1": {"file": "toolchain/%2", "sha256": "%3"}}}}})")
                                         .arg(version, name, QString::fromLatin1(digest))
                                         .toUtf8();
        if (!m_storage.serve(QStringLiteral("versionInfo.data"),
                             m_storage.encryptCatalogue(catalogue)))
            return false;
        // The program's own first check may still be running (the application object starts
        // one): ours starts once that one has ended.
        QDeadlineTimer idle(scaled(20000));
        while (VersionControl::instance()->checkForUpdates() != 0) {
            if (idle.hasExpired())
                return false;
            QTest::qWait(20);
        }
        QSignalSpy updated(VersionControl::instance(), &VersionControl::VersionControlUpdated);
        if (!updated.wait(scaled(20000)))
            return false;
        // Engines hear of the catalogue through queued connections.
        QCoreApplication::processEvents();
        return VersionControl::instance()->getLatestComponentVersion(
                   QStringLiteral("NimbrelMatlabToolchain"))
            == version;
    }

    // Whether every source file was unpacked into the package folder byte for byte (cmp).
    bool unpackedMatchesSources() const
    {
        for (const QString &file : sourceFiles()) {
            const auto compared = nimbrel::test::runProcess(
                QStringLiteral("cmp"), { m_sources + "/" + file, packageFolder() + "/" + file });
            if (compared.exitCode != 0)
                return false;
        }
        return true;
    }

private:
    StorageFixture m_storage;
    FakeMatlab m_matlab;
    QString m_sources;
    int m_published = 0;
};
