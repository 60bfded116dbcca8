// The log library: one list per device folder of "LogData", devices routed to their lists as
// they come and go, and the log folder opened through the desktop shell.

#include "DesktopShell.h"
#include "LogDownloader.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>

namespace {

class FakeShell : public platform::DesktopShell
{
public:
    bool openFolder(const QString &path) override
    {
        opened << path;
        return true;
    }
    QStringList opened;
};

} // namespace

class TestLogDownloader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void scanAtStart_data();
    void scanAtStart();
    void newDeviceGetsFolderAndGoesWithItsLastEntry();
    void opensLogFolderThroughShell();
    void deselectionEndsTheShownDownload_data();
    void deselectionEndsTheShownDownload();

private:
    QDir m_root;
};

void TestLogDownloader::init()
{
    m_root = QDir(QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("LogData")));
    m_root.removeRecursively();
    QVERIFY(m_root.mkpath(QStringLiteral(".")));
}

void TestLogDownloader::scanAtStart_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::newRow("empty") << QStringList();
    QTest::newRow("two devices") << QStringList{ QStringLiteral("PT-1"), QStringLiteral("pt-1") };
}

void TestLogDownloader::scanAtStart()
{
    QFETCH(QStringList, folders);
    for (const QString &folder : folders)
        QVERIFY(m_root.mkpath(folder));
    LogDownloader downloader(m_root);
    QAbstractItemModelTester tester(downloader.orvDeviceLogList());
    QStringList serials;
    for (OrvDeviceLogProducer *producer : downloader.orvDeviceLogList()->toList())
        serials << producer->serialNumber();
    serials.sort();
    folders.sort();
    QCOMPARE(serials, folders);
    for (OrvDeviceLogProducer *producer : downloader.orvDeviceLogList()->toList())
        QCOMPARE(producer->deviceType(), QStringLiteral("Unknown device"));
}

void TestLogDownloader::newDeviceGetsFolderAndGoesWithItsLastEntry()
{
    LogDownloader downloader(m_root);
    QAbstractItemModelTester tester(downloader.orvDeviceLogList());
    OrvDevice source(static_cast<QObject *>(nullptr));
    source.setSerialNumber(QStringLiteral("PT-7"));
    Pelto pelto(&source);
    QCOMPARE(pelto.getSerialNumber(), QStringLiteral("PT-7"));
    QSignalSpy listChanged(&downloader, &LogDownloader::LogDeviceListChanged);

    downloader.orvDeviceConnected(&pelto, true);
    OrvDeviceLogProducer *producer = downloader.producerFor(QStringLiteral("PT-7"));
    QVERIFY(producer);
    QVERIFY(producer->deviceIsConnected());
    QFile typeFile(m_root.filePath(QStringLiteral("PT-7/.deviceType.json")));
    QVERIFY(typeFile.open(QIODevice::ReadOnly));
    const QString typeName = QJsonDocument::fromJson(typeFile.readAll())
                                 .object()
                                 .value(QStringLiteral("extended_device_type"))
                                 .toString();
    QVERIFY(!typeName.isEmpty());
    QCOMPARE(producer->deviceType(), typeName);

    FileControlChannel::DirEntry file;
    file.name = QStringLiteral("log[1]_M_A_2026-01-01_00-00-00.zlf");
    file.type = 8;
    file.size = 100;
    producer->handleOrvDeviceLogDirListCompleted(FileControlChannel::Success, { file });
    QCOMPARE(producer->entries()->count(), 1);

    // Detached: the device-only entry goes, and with it the list; the folder holds only the
    // device-type file, so it goes too.
    QPointer<OrvDeviceLogProducer> guard = producer;
    downloader.orvDeviceConnected(&pelto, false);
    QVERIFY(nimbrel::test::waitFor([&] { return !guard; }));
    QCOMPARE(downloader.orvDeviceLogList()->count(), 0);
    QVERIFY(!m_root.exists(QStringLiteral("PT-7")));
    QVERIFY(listChanged.size() >= 2);
}

void TestLogDownloader::opensLogFolderThroughShell()
{
    FakeShell shell;
    LogDownloader downloader(m_root, nullptr, &shell);
    QCOMPARE(downloader.openExplorerWindowLogs(), 1);
    QCOMPARE(shell.opened, QStringList{ m_root.absolutePath() });
}

void TestLogDownloader::deselectionEndsTheShownDownload_data()
{
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<int>("notices");
    QTest::newRow("download shown") << true << 1;
    QTest::newRow("nothing downloading") << false << 0;
}

// Losing the selected device (the factory hands over null) ends the download progress the
// device panel shows: the list's download entry is let go, so its later progress is not shown.
void TestLogDownloader::deselectionEndsTheShownDownload()
{
    QFETCH(bool, downloading);
    QFETCH(int, notices);
    LogDownloader downloader(m_root);
    OrvDevice source(static_cast<QObject *>(nullptr));
    source.setSerialNumber(QStringLiteral("PT-9"));
    Pelto pelto(&source);
    downloader.orvDeviceConnected(&pelto, true);
    downloader.setSelectedDevice(&pelto);
    OrvDeviceLogProducer *producer = downloader.selectedDevice();
    QVERIFY(producer);
    FileControlChannel::DirEntry file;
    file.name = QStringLiteral("log[2]_M_A_2026-01-01_00-00-00.zlf");
    file.type = 8;
    file.size = 100;
    producer->handleOrvDeviceLogDirListCompleted(FileControlChannel::Success, { file });
    OrvDeviceLogEntry *entry = producer->findEntryByName(file.name);
    QVERIFY(entry);
    if (downloading) {
        producer->handleDownloadProgressUpdate(0.4f, QStringLiteral("/log/") + file.name);
        QCOMPARE(producer->currentDownloadProgress(), 0.4f); // the premise: a download is shown
    }

    QSignalSpy shown(producer, &OrvDeviceLogProducer::CurrentDownloadProgressChanged);
    downloader.setSelectedDevice(nullptr);
    QCOMPARE(downloader.selectedDevice(), nullptr);
    QCOMPARE(shown.size(), notices);
    QCOMPARE(producer->currentDownloadProgress(), 0.0f);
    // The entry's own progress goes on, but no longer reaches the panel.
    entry->setDownloadProgress(0.7f);
    QCOMPARE(shown.size(), notices);
    QCOMPARE(producer->currentDownloadProgress(), 0.0f);
}

QTEST_GUILESS_MAIN(TestLogDownloader)
#include "tst_logDownloader.moc"
