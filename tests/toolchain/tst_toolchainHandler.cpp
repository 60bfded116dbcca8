// The toolchain engine against the storage on 127.0.0.1, packages made by zip, ziptool and
// Python's zipfile and encrypted by openssl, and fake MATLAB releases that record their starts.
#include "ToolchainFixture.h"

#include <QFileInfo>
#include <QTest>

#include <atomic>
#include <thread>

using namespace nimbrel::test;

namespace {

const QString Downloading = QStringLiteral("Downloading latest toolchain version.");
const QString Starting = QStringLiteral("Starting MATLAB.");

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size();
}

// The functions each start ran, by release ("R2021a" -> {"installNimbrelToolchain"}).
QMap<QString, QStringList> startsByRelease(const FakeMatlab &matlab)
{
    QMap<QString, QStringList> result;
    for (const auto &[release, lines] : matlab.records())
        result[release].append(lines.value(5).mid(4));
    return result;
}

QStringList messages(const QSignalSpy &spy, const QString &version)
{
    QStringList result;
    for (const QList<QVariant> &call : spy)
        if (call.at(0).toString() == version)
            result.append(call.at(1).toString());
    return result;
}

} // namespace

class TestToolchainHandler : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void refusesUnusableFolder();
    void installsFromDownload_data();
    void installsFromDownload();
    void presentPackageVersusCatalogue_data();
    void presentPackageVersusCatalogue();
    void refusedPackages_data();
    void refusedPackages();
    void jobsRunOnce();
    void folderReplacedByLink();
    void shutdownWhileJobsRun();

private:
    ToolchainFixture m_fixture;
};

void TestToolchainHandler::initTestCase()
{
    QVERIFY(m_fixture.start());
}

void TestToolchainHandler::init()
{
    QDir(ToolchainFixture::packageFolder()).removeRecursively();
    QDir(ToolchainFixture::versionFolder()).removeRecursively();
    QDir(m_fixture.matlab().recordFolder()).removeRecursively();
    QVERIFY(QDir().mkpath(m_fixture.matlab().recordFolder()));
}

void TestToolchainHandler::refusesUnusableFolder()
{
    // The program-data folder cannot be made: a file stands where a folder should be.
    const QString blocked = QDir(testRoot()).filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkpath(blocked));
    QVERIFY(writeFile(blocked + QStringLiteral("/Orvane"), "a file"));
    const QString work = QDir(testRoot()).filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work + QStringLiteral("/sub")));
    QVERIFY(writeFile(work + QStringLiteral("/keep.txt"), "keep"));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work));
    qputenv("NIMBREL_PROGRAMDATA_ROOT", blocked.toUtf8());
    {
        ToolchainHandler handler;
        QSignalSpy failed(&handler, &ToolchainHandler::DownloadFailed);
        handler.installToolchain("9.10");
        const bool downloading = handler.isDownloading();
        qunsetenv("NIMBREL_PROGRAMDATA_ROOT");
        QVERIFY(QDir::setCurrent(previous));
        QCOMPARE(readAll(work + QStringLiteral("/keep.txt")), QStringLiteral("keep"));
        QVERIFY(QFileInfo(work + QStringLiteral("/sub")).isDir());
        QVERIFY(handler.packageFolderPath().isEmpty());
        QCOMPARE(failed.size(), 1);
        QVERIFY(!downloading);
    }
}

void TestToolchainHandler::installsFromDownload_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("store") << "store";
    QTest::newRow("deflate") << "deflate";
    QTest::newRow("bzip2") << "bzip2";
    QTest::newRow("ziptool") << "ziptool";
}

void TestToolchainHandler::installsFromDownload()
{
    QFETCH(QString, kind);
    QVERIFY(m_fixture.publish(kind, QStringLiteral("1.4.0")));
    ToolchainHandler handler;
    QCOMPARE(QStringList(QString::fromStdString(handler.installedMatlabs().begin()->first)),
             QStringList{ "9.09" });
    QCOMPARE(handler.installedMatlabs().size(), std::size_t(3));
    QSignalSpy progress(&handler, &ToolchainHandler::InstallProgressUpdated);
    QSignalSpy fromThread(&handler, &ToolchainHandler::InstallProgressUpdatedFromThread);
    QSignalSpy completed(&handler, &ToolchainHandler::DownloadCompleted);
    QSignalSpy changed(&handler, &ToolchainHandler::InstalledToolchainsChanged);

    // Two releases while the download runs: one download, both jobs after it in key order.
    handler.installToolchain("9.12");
    handler.installToolchain("9.09");
    QCOMPARE(messages(progress, "9.12"), QStringList{ Downloading });
    QCOMPARE(messages(progress, "9.09"), QStringList{ Downloading });
    QVERIFY(completed.wait(scaled(20000)));
    QVERIFY(waitFor([&] { return fromThread.size() == 2; }, 10000));
    QCOMPARE(fromThread.at(0).at(0).toString(), QStringLiteral("9.09"));
    QCOMPARE(fromThread.at(1).at(0).toString(), QStringLiteral("9.12"));
    QCOMPARE(fromThread.at(0).at(1).toString(), Starting);
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 2; }, 10000));
    for (const auto &[release, lines] : m_fixture.matlab().records()) {
        const QStringList expected = { "cwd=" + handler.packageFolderPath(),
                                       "argc=5",
                                       "arg=-sd",
                                       "arg=" + handler.packageFolderPath(),
                                       "arg=-r",
                                       "arg=installNimbrelToolchain",
                                       "arg=-nosplash" };
        QCOMPARE(lines, expected);
    }
    QCOMPARE(handler.packageFolderPath(),
             QFileInfo(ToolchainFixture::packageFolder()).canonicalFilePath());
    QVERIFY(m_fixture.unpackedMatchesSources());
    QCOMPARE(readAll(ToolchainFixture::packageFolder() + "/version"), QStringLiteral("1.4.0"));
    QVERIFY(!QFile::exists(ToolchainFixture::packageFolder() + "/NimbrelMatlabToolchain.data"));

    // MATLAB's report records the new version; flags 1 shows an error and records nothing.
    handler.handleInstallProgress("9.12", "Failed", 100, 1, false);
    QCOMPARE(progress.last().at(3).toBool(), true);
    handler.handleInstallProgress("9.09", "Done", 100, 0, false);
    QCOMPARE(progress.last(), (QList<QVariant>{ "9.09", "Done", 100, false }));
    QCOMPARE(changed.size(), 2);
    const std::map<std::string, std::string> toolchains = handler.installedToolchains();
    QCOMPARE(toolchains.size(), std::size_t(1));
    QCOMPARE(toolchains.at("9.09"), std::string("1.4.0"));

    // The package is current now: MATLAB starts at once and nothing is downloaded.
    handler.installToolchain("9.10");
    QCOMPARE(messages(progress, "9.10"), QStringList{ Starting });
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 3; }, 10000));
    QCOMPARE(completed.size(), 1);
    QVERIFY(!handler.isDownloading());
}

void TestToolchainHandler::presentPackageVersusCatalogue_data()
{
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("latest");
    QTest::newRow("newer by number") << "1.10.0"
                                     << "1.9.0";
    QTest::newRow("older by number") << "1.9.0"
                                     << "1.10.0";
    QTest::newRow("equal") << "1.4.0"
                           << "1.4.0";
    QTest::newRow("major wins") << "2.0.0"
                                << "1.99.99";
    QTest::newRow("patch") << "1.4.1"
                           << "1.4.2";
}

void TestToolchainHandler::presentPackageVersusCatalogue()
{
    QFETCH(QString, present);
    QFETCH(QString, latest);
    const ProcessResult dpkg
        = runProcess(QStringLiteral("dpkg"), { "--compare-versions", present, "ge", latest });
    QVERIFY(dpkg.finished);
    const bool current = dpkg.exitCode == 0;
    QVERIFY(m_fixture.publish(QStringLiteral("store"), latest));
    QVERIFY(QDir().mkpath(ToolchainFixture::packageFolder()));
    QVERIFY(writeFile(ToolchainFixture::packageFolder() + "/version", present.toUtf8()));
    ToolchainHandler handler;
    QSignalSpy progress(&handler, &ToolchainHandler::InstallProgressUpdated);
    QSignalSpy completed(&handler, &ToolchainHandler::DownloadCompleted);
    handler.installToolchain("9.10");
    QCOMPARE(messages(progress, "9.10"), QStringList{ current ? Starting : Downloading });
    if (!current) {
        QVERIFY(completed.wait(scaled(20000)));
        QCOMPARE(readAll(ToolchainFixture::packageFolder() + "/version"), latest);
    }
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 1; }, 10000));
}

void TestToolchainHandler::refusedPackages_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("wrongDigest");
    QTest::addColumn<QString>("key");
    QTest::newRow("digest mismatch") << "store" << true << "";
    QTest::newRow("wrong key") << "store" << false << QString(64, QLatin1Char('7'));
    QTest::newRow("not a zip archive") << "notzip" << false << "";
    QTest::newRow("LZMA entry") << "lzma" << false << "";
    QTest::newRow("parent folder entry") << "parent" << false << "";
    QTest::newRow("absolute entry") << "absolute" << false << "";
    QTest::newRow("nested parent entry") << "nested" << false << "";
}

void TestToolchainHandler::refusedPackages()
{
    QFETCH(QString, kind);
    QFETCH(bool, wrongDigest);
    QFETCH(QString, key);
    QVERIFY(m_fixture.publish(kind, QStringLiteral("1.4.0"), wrongDigest, key));
    const QString helperFolder = ToolchainFixture::programData() + "/MatlabHelper";
    ToolchainHandler handler;
    QSignalSpy failed(&handler, &ToolchainHandler::DownloadFailed);
    QSignalSpy completed(&handler, &ToolchainHandler::DownloadCompleted);
    handler.installToolchain("9.10");
    QVERIFY(failed.wait(scaled(20000)));
    QVERIFY(waitFor([&] { return !handler.isDownloading(); }));
    QCOMPARE(completed.size(), 0);
    QVERIFY(!QFile::exists(ToolchainFixture::packageFolder() + "/version"));
    QVERIFY(!QFile::exists(ToolchainFixture::packageFolder() + "/NimbrelMatlabToolchain.data"));
    QVERIFY(!QFile::exists(helperFolder + "/escape.m"));
    QVERIFY(!QFile::exists(ToolchainFixture::programData() + "/escape.m"));
    QVERIFY(!QFile::exists(ToolchainFixture::absoluteEscape()));
    // A refused archive leaves nothing unpacked.
    if (kind != QLatin1String("lzma"))
        QVERIFY(!QFile::exists(ToolchainFixture::packageFolder() + "/a.m"));
    QVERIFY(m_fixture.matlab().records().isEmpty());

    // The job waits for the next download.
    QVERIFY(m_fixture.publish(QStringLiteral("deflate"), QStringLiteral("1.4.0")));
    handler.uninstallToolchain("9.09");
    QVERIFY(completed.wait(scaled(20000)));
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 2; }, 10000));
    const QMap<QString, QStringList> starts = startsByRelease(m_fixture.matlab());
    QCOMPARE(starts.value("R2021a"), QStringList{ "installNimbrelToolchain" });
    QCOMPARE(starts.value("R2020b"), QStringList{ "uninstallNimbrelToolchain" });
}

void TestToolchainHandler::jobsRunOnce()
{
    QVERIFY(m_fixture.publish(QStringLiteral("store"), QStringLiteral("1.4.0")));
    ToolchainHandler handler;
    QSignalSpy completed(&handler, &ToolchainHandler::DownloadCompleted);
    QSignalSpy fromThread(&handler, &ToolchainHandler::InstallProgressUpdatedFromThread);
    handler.installToolchain("9.10");
    QVERIFY(completed.wait(scaled(20000)));
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 1; }, 10000));

    // A newer package: the next request downloads again and runs only its own job.
    QVERIFY(m_fixture.publish(QStringLiteral("deflate"), QStringLiteral("1.5.0")));
    handler.uninstallToolchain("9.09");
    // An install then an uninstall of one release before the download ends: the uninstall.
    handler.installToolchain("9.12");
    handler.uninstallToolchain("9.12");
    QVERIFY(completed.wait(scaled(20000)));
    QVERIFY(waitFor([&] { return fromThread.size() == 3; }, 10000));
    QVERIFY(waitFor([&] { return m_fixture.matlab().records().size() == 3; }, 10000));
    const QMap<QString, QStringList> starts = startsByRelease(m_fixture.matlab());
    QCOMPARE(starts.value("R2021a"), QStringList{ "installNimbrelToolchain" });
    QCOMPARE(starts.value("R2020b"), QStringList{ "uninstallNimbrelToolchain" });
    QCOMPARE(starts.value("R2022a"), QStringList{ "uninstallNimbrelToolchain" });
    QCOMPARE(readAll(ToolchainFixture::packageFolder() + "/version"), QStringLiteral("1.5.0"));
}

void TestToolchainHandler::folderReplacedByLink()
{
    QVERIFY(m_fixture.publish(QStringLiteral("store"), QStringLiteral("1.4.0")));
    const QString victim = QDir(testRoot()).filePath(QStringLiteral("victim"));
    QVERIFY(QDir().mkpath(victim));
    QVERIFY(writeFile(victim + "/keep.txt", "keep"));
    ToolchainHandler handler;
    const QString folder = ToolchainFixture::packageFolder();
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(QFile::link(victim, folder));
    QSignalSpy failed(&handler, &ToolchainHandler::DownloadFailed);
    handler.installToolchain("9.10");
    QCOMPARE(failed.size(), 1);
    QCOMPARE(readAll(victim + "/keep.txt"), QStringLiteral("keep"));
    QVERIFY(QFile::remove(folder));
}

void TestToolchainHandler::shutdownWhileJobsRun()
{
    QVERIFY(m_fixture.publish(QStringLiteral("store"), QStringLiteral("1.4.0")));
    auto handler = std::make_unique<ToolchainHandler>();
    std::atomic<bool> reached = false;
    std::atomic<bool> deleting = false;
    // Holds the worker between unpacking and its jobs until the engine is being destroyed.
    connect(
        handler.get(), &ToolchainHandler::DownloadCompleted, handler.get(),
        [&] {
            reached = true;
            while (!deleting)
                std::this_thread::yield();
            // The GUI thread is inside the destructor by now or very soon: give it the time to
            // get there, so the worker's report meets a GUI thread that no longer runs events.
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        },
        Qt::DirectConnection);
    handler->installToolchain("9.10");
    handler->installToolchain("9.12");
    QVERIFY(waitFor([&] { return reached.load(); }, 20000));
    deleting = true;
    handler.reset();
    // The destructor returned: the worker ended without waiting for the GUI thread.
    QVERIFY(!reached.load() || deleting.load());
}

QTEST_GUILESS_MAIN(TestToolchainHandler)
#include "tst_toolchainHandler.moc"
