#include "ApplicationFolders.h"
#include "TestSupport.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

using namespace nimbrel::test;

namespace {

// Every path below root, so a test can tell that nothing at all was created there.
QStringList treeBelow(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    return paths;
}

bool makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("not a folder") == 12;
}

} // namespace

// The folders are one process-wide instance, so the order of these steps matters: failures come
// first, then the recovery on the next request.
class TestApplicationFolders : public QObject
{
    Q_OBJECT

    QString m_root;

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Nimbrel Lab"));
        m_root = testRoot();
        QDir::setCurrent(m_root + QStringLiteral("/tmp"));
    }

    // The location exists but the base folder in it cannot be made (a file has its name): no
    // sub-folder is reported, and nothing is created in the location itself instead.
    void baseFolderBlockedByAFile_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("variable"); // points the kind at a fresh location
        QTest::addColumn<QString>("blocker"); // relative to that location
        QTest::addColumn<QString>("name");

        QTest::newRow("home") << int(ApplicationFolders::Home) << "HOME"
                              << "NimbrelStudio"
                              << "LogData";
        QTest::newRow("program data")
            << int(ApplicationFolders::ProgramData) << "NIMBREL_PROGRAMDATA_ROOT"
            << "Orvane/NimbrelStudio"
            << "MatlabHelper/ToolchainInstall";
        QTest::newRow("application data") << int(ApplicationFolders::AppData) << "XDG_DATA_HOME"
                                          << "Orvane/NimbrelStudio Lab"
                                          << "ApplicationLogs";
    }

    void baseFolderBlockedByAFile()
    {
        QFETCH(int, kind);
        QFETCH(QString, variable);
        QFETCH(QString, blocker);
        QFETCH(QString, name);

        const QString location
            = m_root + QStringLiteral("/blocked-base-") + QLatin1String(QTest::currentDataTag());
        QVERIFY(makeFile(location + QLatin1Char('/') + blocker));
        const QByteArray saved = qgetenv(variable.toLatin1());
        qputenv(variable.toLatin1(), location.toLocal8Bit());
        const QStringList before = treeBelow(location);
        const QStringList workingBefore = treeBelow(QDir::currentPath());

        auto &folders = ApplicationFolders::instance();
        const auto dir = folders.subFolder(ApplicationFolders::Kind(kind), name.toStdString());
        if (saved.isNull())
            qunsetenv(variable.toLatin1());
        else
            qputenv(variable.toLatin1(), saved);

        QVERIFY2(!dir.has_value(), qPrintable(dir ? dir->absolutePath() : QString()));
        QVERIFY(!folders.isReady(ApplicationFolders::Kind(kind)));
        QCOMPARE(treeBelow(location), before);
        QCOMPARE(treeBelow(QDir::currentPath()), workingBefore);
        QVERIFY(QFileInfo(location + QLatin1Char('/') + blocker).isFile());
    }

    // A home that cannot hold the studio folder: the sub-folder request fails visibly and nothing
    // is created in the working directory; once the home is usable, the next request succeeds.
    void failedHomeIsRetriedAndNeverFallsBackToWorkingDirectory()
    {
        const QString blockedHome = m_root + QStringLiteral("/blocked");
        QFile blocker(blockedHome);
        QVERIFY(blocker.open(QIODevice::WriteOnly)); // a file where the home folder should be
        blocker.close();
        qputenv("HOME", blockedHome.toLocal8Bit());

        auto &folders = ApplicationFolders::instance();
        QVERIFY(!folders.subFolder(ApplicationFolders::Home, "LogData").has_value());
        QVERIFY(!folders.isReady(ApplicationFolders::Home));
        QVERIFY(!QDir::current().exists(QStringLiteral("LogData")));
        QVERIFY(!QDir::current().exists(QStringLiteral("NimbrelStudio")));

        QVERIFY(QFile::remove(blockedHome));
        QVERIFY(QDir().mkpath(blockedHome));
        const auto logData = folders.subFolder(ApplicationFolders::Home, "LogData");
        QVERIFY(logData.has_value());
        QCOMPARE(logData->absolutePath(), blockedHome + QStringLiteral("/NimbrelStudio/LogData"));
        QVERIFY(folders.isReady(ApplicationFolders::Home));
    }

    void layout_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // relative to the test root
        QTest::newRow("logs") << int(ApplicationFolders::AppData) << "ApplicationLogs"
                              << "data/Orvane/NimbrelStudio Lab/ApplicationLogs";
        QTest::newRow("version") << int(ApplicationFolders::AppData) << "Version"
                                 << "data/Orvane/NimbrelStudio Lab/Version";
        QTest::newRow("binaries") << int(ApplicationFolders::Home) << "AppBinaries"
                                  << "blocked/NimbrelStudio/AppBinaries";
        QTest::newRow("toolchain") << int(ApplicationFolders::ProgramData)
                                   << "MatlabHelper/ToolchainInstall"
                                   << "data/Orvane/NimbrelStudio/MatlabHelper/ToolchainInstall";
    }

    void layout()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const auto dir = ApplicationFolders::instance().subFolder(ApplicationFolders::Kind(kind),
                                                                  name.toStdString());
        QVERIFY(dir.has_value());
        QCOMPARE(dir->absolutePath(), m_root + QLatin1Char('/') + expected);
        QVERIFY(QFileInfo(dir->absolutePath()).isDir());
    }

    void programDataRootIsNotCreated()
    {
        auto &folders = ApplicationFolders::instance();
        QCOMPARE(folders.folder(ApplicationFolders::ProgramDataRoot).absolutePath(),
                 m_root + QStringLiteral("/data"));
        QVERIFY(folders.isReady(ApplicationFolders::ProgramDataRoot));
    }

    void emptyOrUncreatableNamesFail()
    {
        auto &folders = ApplicationFolders::instance();
        QVERIFY(!folders.subFolder(ApplicationFolders::AppData, "").has_value());
        QFile file(folders.folder(ApplicationFolders::AppData).filePath(QStringLiteral("plain")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(!folders.subFolder(ApplicationFolders::AppData, "plain/inner").has_value());
    }
};

QTEST_GUILESS_MAIN(TestApplicationFolders)
#include "tst_applicationFolders.moc"
