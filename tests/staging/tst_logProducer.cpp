// A device's log list: the library folder and the device's "/log" listing merged by file name,
// downloads that always end (with a file or with progress 0), and removals on the device one at
// a time. The device side is a file-control channel without a link: its requests are read off
// its write() signal and its replies emitted by the test.

#include "ErrorHandler.h"
#include "OrvDeviceLogProducer.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kSerial = QStringLiteral("PT-0042");
const QString kLocal = QStringLiteral("log[3]_Rig_A_2026-12-10_12-30-05");
const QString kRemote = QStringLiteral("log[4]_Rig_A_2026-12-11_08-00-00.zlf");

QString makeLog(const QString &path, const QStringList &pairs)
{
    const auto result = nimbrel::test::runProcess(
        nimbrel::test::python(),
        QStringList{ nimbrel::test::fixturePath(QStringLiteral("zlf_generator.py")),
                     QStringLiteral("--log"), path }
            + pairs);
    if (!result.finished || result.exitCode != 0)
        qFatal("log generator failed: %s", result.err.constData());
    return path;
}

FileControlChannel::DirEntry dirEntry(const QString &name, int16_t type = 8, uint32_t size = 8192)
{
    FileControlChannel::DirEntry entry;
    entry.name = name;
    entry.type = type;
    entry.size = size;
    return entry;
}

// The command code of each request the channel wrote.
QList<quint16> commands(const QSignalSpy &writes)
{
    QList<quint16> codes;
    for (const QList<QVariant> &call : writes) {
        const QByteArray message = call.at(2).toByteArray();
        codes << quint16(uchar(message.at(4)) | (uchar(message.at(5)) << 8));
    }
    return codes;
}

} // namespace

class TestLogProducer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listingMergesWithLibrary();
    void unsafeSerialMakesNoFolder();
    void failedDownloadsEndWithProgressZero_data();
    void failedDownloadsEndWithProgressZero();
    void cutDownloadIsNotified_data();
    void cutDownloadIsNotified();
    void selectionFilterAndRemovalBySelection();
    void removalsOneAtATimeAndClearedOnClose_data();
    void removalsOneAtATimeAndClearedOnClose();

private:
    QDir m_root;
};

void TestLogProducer::init()
{
    m_root = QDir(QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("LogData")));
    m_root.removeRecursively();
    QVERIFY(m_root.mkpath(QStringLiteral(".")));
}

void TestLogProducer::listingMergesWithLibrary()
{
    QVERIFY(m_root.mkpath(kSerial));
    makeLog(m_root.filePath(kSerial + u'/' + kLocal + QStringLiteral(".zlf")),
            { QStringLiteral("serial=") + kSerial, QStringLiteral("logCount=3"),
              QStringLiteral("Date=2026-12-10"), QStringLiteral("Time=12:30:05"),
              QStringLiteral("fileName=") + kLocal });
    const qint64 localSize = QFileInfo(m_root.filePath(kSerial + u'/' + kLocal + ".zlf")).size();
    OrvDeviceLogProducer producer(nullptr, kSerial, m_root);
    QAbstractItemModelTester entriesTester(producer.entries());
    QAbstractItemModelTester proxyTester(producer.entryProxy());
    QVERIFY(producer.isValid());
    QCOMPARE(producer.entries()->count(), 1);

    const QList<FileControlChannel::DirEntry> listing{
        dirEntry(kLocal + QStringLiteral(".zlf"), 8, uint32_t(localSize)),
        dirEntry(kRemote),
        dirEntry(QStringLiteral("notes.txt")),
        dirEntry(QStringLiteral("old.zlf"), 4), // a folder
        dirEntry(QStringLiteral("../../escape.zlf")),
        dirEntry(QStringLiteral("a\\b.zlf")),
        dirEntry(QStringLiteral("..zlf/..")),
        dirEntry(QStringLiteral("empty.zlf"), 8, 0),
    };
    producer.handleOrvDeviceLogDirListCompleted(FileControlChannel::Success, listing);

    QStringList names;
    for (OrvDeviceLogEntry *entry : producer.entries()->toList())
        names << entry->deviceFileName();
    QCOMPARE(names, (QStringList{ kLocal + ".zlf", kRemote })); // ordered by log counter
    OrvDeviceLogEntry *both = producer.findEntryByName(kLocal + ".zlf");
    QVERIFY(both->isOnDevice());
    QVERIFY(both->hasLocalFile());
    QVERIFY(both->isLocalFileValid());
    QVERIFY(!producer.findEntryByName(kRemote)->hasLocalFile());

    // A later listing without the device-only file drops it; the local one stays, unlinked.
    producer.handleOrvDeviceLogDirListCompleted(FileControlChannel::Success, {});
    QVERIFY(nimbrel::test::waitFor([&] { return producer.entries()->count() == 1; }));
    QVERIFY(!both->isOnDevice());
    QCOMPARE(producer.entryProxy()->rowCount(), 1);
}

void TestLogProducer::unsafeSerialMakesNoFolder()
{
    OrvDeviceLogProducer producer(nullptr, QStringLiteral("../outside"), m_root);
    QVERIFY(!producer.isValid());
    QVERIFY(!QFileInfo::exists(m_root.filePath(QStringLiteral("../outside"))));
}

void TestLogProducer::failedDownloadsEndWithProgressZero_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no device attached") << QStringLiteral("detached");
    QTest::newRow("error reply before the first chunk") << QStringLiteral("error reply");
    QTest::newRow("requested while another is pending") << QStringLiteral("second request");
    QTest::newRow("error reply after a chunk") << QStringLiteral("error after progress");
}

void TestLogProducer::failedDownloadsEndWithProgressZero()
{
    QFETCH(QString, path);
    OrvDevice source(static_cast<QObject *>(nullptr));
    Pelto pelto(&source);
    FileControlChannel channel(nullptr, 9, true, nullptr);
    QSignalSpy writes(&channel, &AbstractService::write);
    OrvDeviceLogProducer producer(nullptr, kSerial, m_root);
    if (path != QLatin1String("detached")) {
        producer.setDevice(&pelto, false);
        producer.setFileControlChannel(&channel);
    }
    producer.handleOrvDeviceLogDirListCompleted(
        FileControlChannel::Success,
        { dirEntry(kRemote), dirEntry(QStringLiteral("log[5]_Rig_A_2026-12-11_09-00-00.zlf")) });
    OrvDeviceLogEntry *entry = producer.findEntryByName(kRemote);
    OrvDeviceLogEntry *other = producer.entries()->toList().last();
    QVERIFY(entry && other != entry);
    QVERIFY(nimbrel::test::waitFor([&] { return writes.size() == 2 || path == "detached"; }));
    writes.clear();

    QSignalSpy progress(entry, &OrvDeviceLogEntry::DownloadProgressChanged);
    QSignalSpy otherProgress(other, &OrvDeviceLogEntry::DownloadProgressChanged);
    entry->downloadLog();
    if (path == QLatin1String("detached")) {
        QCOMPARE(writes.size(), 0);
    } else {
        QVERIFY(writes.wait(nimbrel::test::scaled(2000))); // the premise: the request went out
        QCOMPARE(commands(writes).size(), 1);
    }
    if (path == QLatin1String("error reply")) {
        emit channel.DownloadFileReceived(FileControlChannel::HostFailure, QString());
    } else if (path == QLatin1String("error after progress")) {
        emit channel.Progress(0.25f, QStringLiteral("/log/") + kRemote);
        QVERIFY(progress.wait(nimbrel::test::scaled(2000)));
        QCOMPARE(producer.currentDownloadProgress(), 0.25f);
        emit channel.DownloadFileReceived(FileControlChannel::HostFailure, QString());
    } else if (path == QLatin1String("second request")) {
        other->downloadLog();
        QVERIFY(nimbrel::test::waitFor([&] { return !otherProgress.isEmpty(); }));
        QCOMPARE(otherProgress.last().at(0).toFloat(), 0.0f);
        QCOMPARE(commands(writes).size(), 1); // nothing more on the wire
        return;
    }
    QVERIFY(nimbrel::test::waitFor(
        [&] { return !progress.isEmpty() && progress.last().at(0).toFloat() == 0.0f; }));
    QCOMPARE(producer.currentDownloadProgress(), 0.0f);
}

void TestLogProducer::cutDownloadIsNotified_data()
{
    QTest::addColumn<QString>("cut");
    QTest::newRow("device detached (link lost, unplugged)") << QStringLiteral("detach");
    QTest::newRow("file access closed") << QStringLiteral("close");
    QTest::newRow("channel deleted") << QStringLiteral("delete");
}

// A download that the link's end cuts off is a failure the person must see: one notification
// naming the file, besides the progress going back to 0.
void TestLogProducer::cutDownloadIsNotified()
{
    QFETCH(QString, cut);
    ErrorHandler::instance()->clearNotifications();
    OrvDevice source(static_cast<QObject *>(nullptr));
    Pelto pelto(&source);
    auto *channel = new FileControlChannel(nullptr, 9, true, nullptr);
    QSignalSpy writes(channel, &AbstractService::write);
    OrvDeviceLogProducer producer(nullptr, kSerial, m_root);
    producer.setDevice(&pelto, false);
    producer.setFileControlChannel(channel);
    producer.handleOrvDeviceLogDirListCompleted(FileControlChannel::Success,
                                                { dirEntry(kRemote) });
    OrvDeviceLogEntry *entry = producer.findEntryByName(kRemote);
    QVERIFY(entry);
    QVERIFY(nimbrel::test::waitFor([&] { return writes.size() == 2; }));
    entry->downloadLog();
    QVERIFY(writes.wait(nimbrel::test::scaled(2000))); // the request went out
    emit channel->Progress(0.25f, QStringLiteral("/log/") + kRemote);
    QVERIFY(nimbrel::test::waitFor([&] { return producer.currentDownloadProgress() == 0.25f; }));
    QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 0u);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("connection")));
    if (cut == QLatin1String("detach"))
        producer.setDevice(nullptr, false);
    else if (cut == QLatin1String("close"))
        producer.setFileControlChannel(nullptr);
    else
        delete channel;
    const NotificationList told = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(told.size(), 1);
    QCOMPARE(told.first()->getTitle(), QStringLiteral("Downloading log file failed"));
    QVERIFY2(told.first()->getMessage().contains(kRemote), qPrintable(told.first()->getMessage()));
    if (cut != QLatin1String("delete"))
        delete channel;
    QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 1u);
    ErrorHandler::instance()->clearNotifications();
}

void TestLogProducer::selectionFilterAndRemovalBySelection()
{
    OrvDevice source(static_cast<QObject *>(nullptr));
    Pelto pelto(&source);
    FileControlChannel channel(nullptr, 9, true, nullptr);
    OrvDeviceLogProducer producer(nullptr, kSerial, m_root);
    QAbstractItemModelTester proxyTester(producer.entryProxy());
    producer.setDevice(&pelto, false);
    producer.setFileControlChannel(&channel);
    QList<FileControlChannel::DirEntry> listing;
    for (int i = 1; i <= 4; ++i)
        listing << dirEntry(QStringLiteral("log[%1]_Rig_A_2026-12-0%1_10-00-00.zlf").arg(i));
    producer.handleOrvDeviceLogDirListCompleted(FileControlChannel::Success, listing);
    QCOMPARE(producer.entryProxy()->rowCount(), 4);

    // Newest first by default.
    const auto nameAt = [&](int row) {
        return producer.entryProxy()->index(row, 0).data(Qt::DisplayRole).toString();
    };
    QVERIFY(nameAt(0).startsWith(QLatin1String("log[4]")));
    const QItemSelection range = producer.getRangeLogsSelection(5, 2);
    QCOMPARE(range.indexes().size(), 2);
    QCOMPARE(range.indexes().first().row(), 2);
    QCOMPARE(range.indexes().last().row(), 3);

    producer.setFilterQuery(QStringLiteral("LOG?2?")); // case-insensitive
    QCOMPARE(producer.entryProxy()->rowCount(), 1);
    QVERIFY(nameAt(0).startsWith(QLatin1String("log[2]")));
    producer.setFilterQuery(QString());

    QSignalSpy writes(&channel, &AbstractService::write);
    producer.removeSelectedPeltoLogs(producer.getRangeLogsSelection(0, 1).indexes());
    QCOMPARE(writes.size(), 1); // one removal on the wire, the other waits
    QVERIFY(producer.deletingOnDevice());
    int onDevice = 0;
    for (OrvDeviceLogEntry *entry : producer.entries()->toList())
        onDevice += entry->isOnDevice() ? 1 : 0;
    QCOMPARE(onDevice, 2);
}

void TestLogProducer::removalsOneAtATimeAndClearedOnClose_data()
{
    QTest::addColumn<bool>("detach"); // else the channel closes
    QTest::newRow("channel closes") << false;
    QTest::newRow("device detaches") << true;
}

void TestLogProducer::removalsOneAtATimeAndClearedOnClose()
{
    QFETCH(bool, detach);
    OrvDevice source(static_cast<QObject *>(nullptr));
    Pelto pelto(&source);
    FileControlChannel channel(nullptr, 9, true, nullptr);
    QSignalSpy writes(&channel, &AbstractService::write);
    OrvDeviceLogProducer producer(nullptr, kSerial, m_root);
    producer.setDevice(&pelto, false);
    producer.setFileControlChannel(&channel);
    QVERIFY(nimbrel::test::waitFor([&] { return writes.size() == 2; })); // storage and listing
    writes.clear();
    QSignalSpy deleting(&producer, &OrvDeviceLogProducer::deletingOnDeviceChanged);

    producer.QueryPeltoFileRemove(QStringLiteral("/log/a.zlf"));
    producer.QueryPeltoFileRemove(QStringLiteral("/log/b.zlf"));
    producer.QueryPeltoFileRemove(QStringLiteral("/log/c.zlf"));
    QCOMPARE(writes.size(), 1); // one at a time on the wire
    QVERIFY(producer.deletingOnDevice());
    emit channel.RemoveFileReceived(FileControlChannel::Success, QStringLiteral("/log/a.zlf"));
    QVERIFY(nimbrel::test::waitFor([&] { return writes.size() == 2; }));
    QVERIFY(producer.deletingOnDevice());

    // The link goes before the reply to b comes.
    if (detach)
        producer.setDevice(nullptr, false);
    else
        producer.setFileControlChannel(nullptr);
    QVERIFY(!producer.deletingOnDevice());
    QCOMPARE(deleting.size(), 2);

    // Back again: a new removal goes out at once.
    if (detach)
        producer.setDevice(&pelto, false);
    producer.setFileControlChannel(&channel);
    QVERIFY(nimbrel::test::waitFor([&] { return writes.size() == 4; }));
    producer.QueryPeltoFileRemove(QStringLiteral("/log/d.zlf"));
    QCOMPARE(writes.size(), 5);
    QVERIFY(producer.deletingOnDevice());
}

QTEST_GUILESS_MAIN(TestLogProducer)
#include "tst_logProducer.moc"
