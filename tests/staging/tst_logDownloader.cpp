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

QTEST_GUILESS_MAIN(TestLogDownloader)
#include "tst_logDownloader.moc"
