// MATLAB releases and their version keys (checked against a float32 emulation in numpy), the
// installation search (the registry walk over an in-memory hive and the Linux folder scan), the
// toolchain version files, progress reports and the starts of MATLAB through a recording launcher.
#include "DirectoryInstallationSource.h"
#include "FakeMatlab.h"
#include "MatlabHelper.h"
#include "MatlabVersion.h"
#include "RegistryInstallationSource.h"
#include "TestSupport.h"

#include <QFile>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

using namespace nimbrel::test;

namespace {

using RootMap = std::map<std::string, std::string>;

// A launcher that records every start and can hold a start until released.
struct RecordingLauncher
{
    std::mutex mutex;
    std::condition_variable changed;
    QList<QStringList> starts;
    bool hold = false;
    int running = 0;
    int mostRunning = 0;

    MatlabHelper::Launcher launcher()
    {
        return [this](const QString &program, const QStringList &arguments, const QString &folder) {
            std::unique_lock lock(mutex);
            starts.append(QStringList{ program, folder } + arguments);
            mostRunning = std::max(mostRunning, ++running);
            changed.notify_all();
            changed.wait(lock, [this] { return !hold; });
            --running;
            return true;
        };
    }
    int count()
    {
        std::lock_guard lock(mutex);
        return int(starts.size());
    }
    void release()
    {
        {
            std::lock_guard lock(mutex);
            hold = false;
        }
        changed.notify_all();
    }
};

class StaticSource : public MatlabInstallationSource
{
public:
    explicit StaticSource(RootMap roots)
        : m_roots(std::move(roots))
    { }
    RootMap findInstallations() const override { return m_roots; }

private:
    RootMap m_roots;
};

std::unique_ptr<MatlabHelper> helperWith(RootMap roots, RecordingLauncher &launcher)
{
    return std::make_unique<MatlabHelper>(std::make_unique<StaticSource>(std::move(roots)),
                                          launcher.launcher());
}

RegistryKey key(const std::u16string &name, std::vector<RegistryKey> subKeys = {},
                std::vector<RegistryValue> values = {})
{
    return RegistryKey{ name, std::move(subKeys), std::move(values), true };
}

RegistryValue text(const std::u16string &data, int type = RegistryValue::StringType)
{
    return RegistryValue{ u"Path", type, data };
}

RegistryKey hive(std::vector<RegistryKey> mathWorksSubKeys, std::vector<RegistryValue> values = {})
{
    return key(u"HKLM",
               { key(u"SOFTWARE",
                     { key(u"MathWorks", std::move(mathWorksSubKeys), std::move(values)) }) });
}

QString versionFolder()
{
    return QDir(qEnvironmentVariable("XDG_DATA_HOME"))
        .filePath(QStringLiteral("Orvane/NimbrelStudio/MatlabHelper/MatlabToolchainVersion"));
}

} // namespace

class TestMatlabHelper : public QObject
{
    Q_OBJECT

private slots:
    void releaseToVersion_data();
    void releaseToVersion();
    void conversionsMatchFloat32Emulation();
    void versionToRelease_data();
    void versionToRelease();
    void installationTexts_data();
    void installationTexts();
    void registryWalk();
    void folderScan();
    void versionFiles();
    void progressReports_data();
    void progressReports();
    void startsCarryFoldersIntact_data();
    void startsCarryFoldersIntact();
    void startsAreSerialisedAndDetached();
    void destructionDropsWaitingStarts();
};

void TestMatlabHelper::releaseToVersion_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<QString>("key"); // empty: rejected
    QTest::newRow("R2006a") << "R2006a"
                            << "7.02";
    QTest::newRow("R2006b") << "R2006b"
                            << "7.03";
    QTest::newRow("R2011b") << "R2011b"
                            << "7.13";
    QTest::newRow("R2012a") << "R2012a"
                            << "8.00";
    QTest::newRow("R2015b") << "R2015b"
                            << "8.07";
    QTest::newRow("R2016a") << "R2016a"
                            << "9.00";
    QTest::newRow("R2016b") << "R2016b"
                            << "9.01";
    QTest::newRow("R2020b") << "R2020b"
                            << "9.09";
    QTest::newRow("R2021a") << "R2021a"
                            << "9.10";
    QTest::newRow("R2021b") << "R2021b"
                            << "9.11";
    QTest::newRow("R2024b") << "R2024b"
                            << "9.17";
    QTest::newRow("R2005b") << "R2005b"
                            << "";
    QTest::newRow("no R20") << "X2021a"
                            << "";
    QTest::newRow("five characters") << "R2021"
                                     << "";
    // Year and suffix are read at fixed positions, not after the "R20" found.
    QTest::newRow("R20 elsewhere") << "xR2021a"
                                   << "";
}

void TestMatlabHelper::releaseToVersion()
{
    QFETCH(QString, release);
    QFETCH(QString, key);
    if (key.isEmpty()) {
        try {
            matlabReleaseToVersion(release.toStdString());
            QFAIL("no error");
        } catch (const std::invalid_argument &error) {
            QCOMPARE(QString::fromLatin1(error.what()),
                     QStringLiteral("Unkown readable MATLAB type"));
        }
        return;
    }
    QCOMPARE(QString::fromStdString(matlabReleaseToVersion(release.toStdString())), key);
}

void TestMatlabHelper::conversionsMatchFloat32Emulation()
{
    // The rules in numpy's float32, written from the release numbering, for every release from
    // 2006 to 2030 and every key 7.00 to 9.29.
    const ProcessResult oracle = runPython(QStringLiteral(R"(
import numpy as np
f = np.float32
for y in range(6, 31):
    for s in 'ab':
        if y >= 16: v = f(9.005) + f(y - 16) * f(0.02)
        elif y >= 12: v = f(8.005) + f(y - 12) * f(0.02)
        else: v = f(7.025) + f(y - 6) * f(0.02)
        if s == 'b': v = f(v + f(0.01))
        print('R R20%02d%s %s' % (y, s, ('%f' % float(v))[:4]))
for major in (7, 8, 9):
    for minor in range(30):
        k = '%d.%02d' % (major, minor)
        w = f(float(f(k)) + 0.001)
        if w >= f(9): n = int(f((w - f(9)) * f(100))); y = 16 + n // 2
        elif w >= f(8): n = int(f((w - f(8)) * f(100))) + 1; y = 12 + n // 2
        elif w >= f(7.02): n = int(f((w - f(7.02)) * f(100))); y = 6 + n // 2
        else: print('K %s -' % k); continue
        print('K %s R20%02d%s' % (k, y, 'b' if n % 2 else 'a'))
)"));
    QCOMPARE(oracle.exitCode, 0);
    const QStringList lines
        = QString::fromUtf8(oracle.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 50 + 90);
    for (const QString &line : lines) {
        const QStringList parts = line.split(QLatin1Char(' '));
        const std::string input = parts.at(1).toStdString();
        std::string ours;
        try {
            ours = parts.at(0) == QLatin1String("R") ? matlabReleaseToVersion(input)
                                                     : matlabVersionToRelease(input);
        } catch (const std::invalid_argument &) {
            ours = "-";
        }
        QVERIFY2(QString::fromStdString(ours) == parts.at(2), qPrintable(line));
    }
}

void TestMatlabHelper::versionToRelease_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("release"); // or the error text
    QTest::newRow("9.10") << "9.10"
                          << "R2021a";
    QTest::newRow("7.09") << "7.09"
                          << "R2009b";
    QTest::newRow("8.00") << "8.00"
                          << "R2012b";
    QTest::newRow("five characters") << "9.100"
                                     << "R2021a";
    QTest::newRow("six characters") << "10.001"
                                    << "Unkown MATLAB version";
    QTest::newRow("empty") << ""
                           << "Unkown MATLAB version";
    QTest::newRow("below 7.02") << "7.01"
                                << "Unkown MATLAB version";
    QTest::newRow("no number") << "abc"
                               << "invalid stof argument";
    QTest::newRow("out of range") << "1e99"
                                  << "stof argument out of range";
}

void TestMatlabHelper::versionToRelease()
{
    QFETCH(QString, key);
    QFETCH(QString, release);
    QString result;
    try {
        result = QString::fromStdString(matlabVersionToRelease(key.toStdString()));
    } catch (const std::exception &error) {
        result = QString::fromLatin1(error.what());
    }
    QCOMPARE(result, release);
}

void TestMatlabHelper::installationTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key"); // empty: nothing found
    QTest::addColumn<QString>("root");
    QTest::newRow("root") << R"(C:\Program Files\MATLAB\R2021a)"
                          << "9.10"
                          << R"(C:\Program Files\MATLAB\R2021a)";
    QTest::newRow("inside") << R"(C:\Program Files\MATLAB\R2021a\bin\win64)"
                            << "9.10"
                            << R"(C:\Program Files\MATLAB\R2021a)";
    QTest::newRow("program data") << R"(C:\ProgramData\MATLAB\R2022b)"
                                  << ""
                                  << "";
    // Twelve characters are never tested for the ProgramData folder.
    QTest::newRow("short") << R"(C:\M\R2022b\)"
                           << "9.13"
                           << R"(C:\M\R2022b)";
    QTest::newRow("ends after R20") << R"(C:\M\R20)"
                                    << ""
                                    << "";
    // Padding this text would put a NUL into the root folder and the command.
    QTest::newRow("ends inside the release") << R"(C:\M\R2021)"
                                             << ""
                                             << "";
    QTest::newRow("before 2006") << R"(C:\M\R2005b)"
                                 << ""
                                 << "";
    QTest::newRow("no release") << R"(C:\Program Files\Other)"
                                << ""
                                << "";
    QTest::newRow("three characters") << R"(\R2)"
                                      << ""
                                      << "";
}

void TestMatlabHelper::installationTexts()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, root);
    RootMap found;
    MatlabInstallationSource::addInstallationFromPath(found, text.toStdString(), '\\');
    if (key.isEmpty()) {
        QVERIFY(found.empty());
        return;
    }
    QCOMPARE(found.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(found.begin()->first), key);
    QCOMPARE(QString::fromStdString(found.begin()->second), root);
    // A key found already keeps its root.
    const std::string release = root.right(6).toStdString();
    MatlabInstallationSource::addInstallationFromPath(found, R"(D:\Other\)" + release, '\\');
    QCOMPARE(QString::fromStdString(found.begin()->second), root);
}

void TestMatlabHelper::registryWalk()
{
    const std::u16string longName(RegistryInstallationSource::NameCapacity, u'k');
    const std::u16string almostLongName(RegistryInstallationSource::NameCapacity - 1, u'k');
    RegistryKey locked = key(u"Locked", {}, { text(u"C:\\L\\R2019a") });
    locked.openable = false;
    // 128 UTF-16 units are 256 bytes, one more than the data buffer offers.
    std::u16string longData = u"C:\\Long\\R2018a\\";
    longData.resize(128, u'x');
    std::u16string fitting = u"C:\\Fit\\R2018b\\";
    fitting.resize(127, u'x');
    const RegistryInstallationSource source(hive(
        {
            key(u"MATLAB", { key(u"9.10", {}, { text(u"C:\\First\\R2021a\\bin\\win64") }) }),
            locked,
            key(almostLongName, {}, { text(u"C:\\Almost\\R2017a") }),
            key(u"Values", {},
                { text(u"C:\\Typed\\R2016a", 2), text(fitting),
                  text(std::u16string(u"C:\\Cut\\R2016b\0C:\\Hidden\\R2015a", 30)), text(longData),
                  text(u"C:\\AfterLong\\R2014a") }),
            key(longName, {}, { text(u"C:\\TooLong\\R2013a") }),
            key(u"AfterTooLong", {}, { text(u"C:\\Never\\R2012a") }),
        },
        // The key's own values come after all of its sub-keys.
        { text(u"C:\\Second\\R2021a"), text(u"C:\\Own\\R2020b") }));
    const RootMap expected = {
        { "9.10", R"(C:\First\R2021a)" }, { "9.02", R"(C:\Almost\R2017a)" },
        { "9.05", R"(C:\Fit\R2018b)" },   { "9.01", R"(C:\Cut\R2016b)" },
        { "9.09", R"(C:\Own\R2020b)" },
    };
    QCOMPARE(source.findInstallations(), expected);
}

void TestMatlabHelper::folderScan()
{
    FakeMatlab fake(QStringLiteral("scan"));
    QVERIFY(
        fake.addRelease(QStringLiteral("first"), QStringLiteral("R2020b"), QStringLiteral("9.09")));
    QVERIFY(
        fake.addRelease(QStringLiteral("first"), QStringLiteral("R2021a"), QStringLiteral("9.10")));
    QVERIFY(
        fake.addRelease(QStringLiteral("first"), QStringLiteral("R2005b"), QStringLiteral("0")));
    QVERIFY(fake.addRelease(QStringLiteral("second"), QStringLiteral("R2021a"),
                            QStringLiteral("9.10")));
    QVERIFY(fake.addRelease(QStringLiteral("second"), QStringLiteral("R2022a"),
                            QStringLiteral("9.12")));
    QVERIFY(
        fake.addRelease(QStringLiteral("second"), QStringLiteral("R2023c"), QStringLiteral("0")));
    // A release folder without its launcher is no installation.
    QVERIFY(QDir().mkpath(fake.installFolder(QStringLiteral("second/R2023a"))));
    const QString first = fake.installFolder(QStringLiteral("first"));
    const QString second = fake.installFolder(QStringLiteral("second"));

    qputenv("NIMBREL_MATLAB_ROOTS", (first + QLatin1Char(':') + second).toUtf8());
    const RootMap found = MatlabInstallationSource::system()->findInstallations();
    qunsetenv("NIMBREL_MATLAB_ROOTS");
    const RootMap expected = { { "9.09", (first + "/R2020b").toStdString() },
                               { "9.10", (first + "/R2021a").toStdString() },
                               { "9.12", (second + "/R2022a").toStdString() } };
    QCOMPARE(found, expected);
    // The other order of the folders: the first folder still wins.
    QCOMPARE(DirectoryInstallationSource({ second, first }).findInstallations().at("9.10"),
             (second + "/R2021a").toStdString());
}

void TestMatlabHelper::versionFiles()
{
    QVERIFY(QDir().mkpath(versionFolder()));
    const QList<QPair<QString, QByteArray>> files = {
        { "x_9_5.json", R"({"ToolchainVersion": "1.2.0"})" },
        { "x_9_10.json", R"({"Other": 1, "ToolchainVersion": "1.4.0"} trailing text)" },
        { "y_9_10.json", R"({"ToolchainVersion": "9.9.9"})" },
        { "toolchain.json", R"({"ToolchainVersion": "3.0.0"})" },
        { "R2019a_9_6.json", R"({"ToolchainVersion": 5})" },
        { "R2019b_9_7.json", R"({"Version": "1.0.0"})" },
        { "R2018a_9_4.json", R"(// note
{"ToolchainVersion": "1.0.0"})" },
        { "R2018b_9_3.json", R"({"ToolchainVersion": )" },
        { "R2017a_9_2.txt", R"({"ToolchainVersion": "1.0.0"})" },
        { "R2016a_9.json", R"({"ToolchainVersion": "0.9.0"})" },
    };
    for (const auto &[name, content] : files) {
        QFile file(versionFolder() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    RecordingLauncher launcher;
    for (const char *message : { "Could not parse version file", "Could not parse version file",
                                 "Could not parse version file", "Could not parse version file" })
        QTest::ignoreMessage(QtDebugMsg, message);
    const auto helper = helperWith({}, launcher);
    const RootMap expected = { { "9.05", "1.2.0" }, { "9.10", "1.4.0" }, { "0.09", "0.9.0" } };
    QCOMPARE(helper->installedToolchains(), expected);
    QVERIFY(QDir(versionFolder()).removeRecursively());
}

void TestMatlabHelper::progressReports_data()
{
    QTest::addColumn<bool>("started");
    QTest::addColumn<bool>("isUninstall");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("toolchain"); // after the report; "-" for none
    QTest::newRow("install 50") << true << false << 50 << 0 << "1.2.0";
    QTest::newRow("install done") << true << false << 100 << 0 << "1.4.0";
    QTest::newRow("install done, flags 2") << true << false << 100 << 2 << "1.4.0";
    QTest::newRow("install failed 1") << true << false << 100 << 1 << "1.2.0";
    QTest::newRow("install failed 3") << true << false << 100 << 3 << "1.2.0";
    QTest::newRow("install not pending") << false << false << 100 << 0 << "";
    QTest::newRow("uninstall done") << true << true << 100 << 0 << "-";
    QTest::newRow("uninstall failed") << true << true << 100 << 4 << "1.2.0";
}

void TestMatlabHelper::progressReports()
{
    QFETCH(bool, started);
    QFETCH(bool, isUninstall);
    QFETCH(int, progress);
    QFETCH(int, flags);
    QFETCH(QString, toolchain);
    QVERIFY(QDir().mkpath(versionFolder()));
    QFile file(versionFolder() + QStringLiteral("/R2021a_9_10.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"ToolchainVersion": "1.2.0"})");
    file.close();
    RecordingLauncher launcher;
    const auto helper = helperWith({ { "9.10", "/m/R2021a" } }, launcher);
    if (started) {
        const int result = isUninstall ? helper->uninstall("9.10", QStringLiteral("/p"))
                                       : helper->install("9.10", QStringLiteral("/p"), "1.4.0");
        QCOMPARE(result, 0);
        // A second install while one is pending keeps the first version.
        if (!isUninstall)
            QCOMPARE(helper->install("9.10", QStringLiteral("/p"), "2.0.0"), 0);
    } else {
        QTest::ignoreMessage(QtDebugMsg, "No pending installation with version 9.10");
    }
    helper->onProgress("9.10", progress, flags, isUninstall);
    const RootMap toolchains = helper->installedToolchains();
    if (toolchain == QLatin1String("-"))
        QVERIFY(!toolchains.contains("9.10"));
    else
        QCOMPARE(QString::fromStdString(toolchains.at("9.10")), toolchain);
    QVERIFY(file.remove());
}

void TestMatlabHelper::startsCarryFoldersIntact_data()
{
    QTest::addColumn<QString>("folderName");
    QTest::newRow("spaces") << "Tool chain install";
    QTest::newRow("quotes") << R"(a "quoted" folder)";
    QTest::newRow("shell characters") << R"(a & b % c % ^d $HOME `id` ; e | f > g)";
    QTest::newRow("trailing backslash") << R"(x\)";
    QTest::newRow("line break") << "two\nlines";
}

void TestMatlabHelper::startsCarryFoldersIntact()
{
    QFETCH(QString, folderName);
    FakeMatlab fake(QStringLiteral("intact"));
    QVERIFY(fake.addRelease(QStringLiteral("MATLAB"), QStringLiteral("R2021a"),
                            QStringLiteral("9.10")));
    fake.setEnvironment();
    const QString workFolder = QDir(testRoot()).filePath(folderName);
    QVERIFY(QDir().mkpath(workFolder));
    QFile version(workFolder + QStringLiteral("/version"));
    QVERIFY(version.open(QIODevice::WriteOnly));
    version.write("1.4.0");
    version.close();
    const QString launcher = fake.installFolder(QStringLiteral("MATLAB/R2021a/bin/matlab"));
    MatlabHelper helper(
        std::make_unique<StaticSource>(RootMap{
            { "9.10", fake.installFolder(QStringLiteral("MATLAB/R2021a")).toStdString() } }),
        MatlabHelper::detachedLauncher());
    QCOMPARE(QString::fromStdString(helper.installations().at("9.10")), launcher);
    QCOMPARE(helper.install("9.10", workFolder, "1.4.0"), 0);
    QVERIFY(waitFor([&] { return fake.records().size() == 1; }, 10000));
    const QStringList expected
        = { "cwd=" + workFolder,           "argc=5",       "arg=-sd", "arg=" + workFolder, "arg=-r",
            "arg=installNimbrelToolchain", "arg=-nosplash" };
    QCOMPARE(fake.records().first().second, expected);
    QDir(fake.recordFolder()).removeRecursively();
    QDir().mkpath(fake.recordFolder());
}

void TestMatlabHelper::startsAreSerialisedAndDetached()
{
    // The real launcher: a MATLAB that stays open does not hold up the next start.
    FakeMatlab fake(QStringLiteral("detached"));
    QVERIFY(fake.addRelease(QStringLiteral("MATLAB"), QStringLiteral("R2020b"),
                            QStringLiteral("9.09")));
    QVERIFY(fake.addRelease(QStringLiteral("MATLAB"), QStringLiteral("R2021a"),
                            QStringLiteral("9.10")));
    fake.setEnvironment();
    const QString hold = QDir(testRoot()).filePath(QStringLiteral("hold"));
    qputenv("FAKE_MATLAB_HOLD", hold.toUtf8());
    const QString work = QDir(testRoot()).filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(work));
    {
        QFile version(work + QStringLiteral("/version"));
        QVERIFY(version.open(QIODevice::WriteOnly));
        version.write("1.4.0");
    }
    qputenv("NIMBREL_MATLAB_ROOTS", fake.installFolder(QStringLiteral("MATLAB")).toUtf8());
    {
        MatlabHelper helper;
        qunsetenv("NIMBREL_MATLAB_ROOTS");
        QCOMPARE(helper.install("9.09", work, "1.4.0"), 0);
        QCOMPARE(helper.install("9.10", work, "1.4.0"), 0);
        QVERIFY(waitFor([&] { return fake.records().size() == 2; }, 10000));
        // Leaving does not wait for the MATLABs still open.
    }
    QFile(hold).open(QIODevice::WriteOnly);
    qunsetenv("FAKE_MATLAB_HOLD");

    // One start at a time, in the order queued, each after the previous one returned.
    RecordingLauncher recording;
    recording.hold = true;
    const auto helper = helperWith({ { "9.09", "/a/R2020b" }, { "9.10", "/b/R2021a" } }, recording);
    QCOMPARE(helper->install("9.10", QStringLiteral("/w"), "1"), 0);
    QCOMPARE(helper->uninstall("9.09", QStringLiteral("/w")), 0);
    QCOMPARE(helper->install("9.99", QStringLiteral("/w"), "1"), -1);
    QVERIFY(waitFor([&] { return recording.count() == 1; }));
    QCOMPARE(helper->pendingCommands(), std::size_t(1));
    recording.release();
    QVERIFY(waitFor([&] { return recording.count() == 2; }));
    QCOMPARE(recording.mostRunning, 1);
    QCOMPARE(recording.starts.at(0).mid(0, 1), QStringList{ "/b/R2021a/bin/matlab" });
    QCOMPARE(recording.starts.at(1).at(0), QStringLiteral("/a/R2020b/bin/matlab"));
    QCOMPARE(recording.starts.at(1).at(5), QStringLiteral("uninstallNimbrelToolchain"));
}

void TestMatlabHelper::destructionDropsWaitingStarts()
{
    RecordingLauncher recording;
    recording.hold = true;
    auto helper = helperWith({ { "9.10", "/b/R2021a" } }, recording);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(helper->install("9.10", QStringLiteral("/w"), "1"), 0);
    QVERIFY(waitFor([&] { return recording.count() == 1; }));
    QCOMPARE(helper->pendingCommands(), std::size_t(2));
    MatlabHelper *raw = helper.get();
    std::thread destroyer([&] { helper.reset(); });
    // The start in progress is waited for; those behind it are gone before it ends.
    QVERIFY(waitFor([&] { return raw->pendingCommands() == 0; }));
    recording.release();
    destroyer.join();
    QCOMPARE(recording.count(), 1);
}

QTEST_GUILESS_MAIN(TestMatlabHelper)
#include "tst_matlabHelper.moc"
