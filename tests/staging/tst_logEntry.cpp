// Log entries: what they take from a local file's metadata and from a device file's name, and
// what happens to the user's files when an entry removes, renames or converts them.
// Oracles: the logs come from tests/fixtures/zlf_generator.py; MAT files are read with h5py.

#include "LogParser.h"
#include "OrvDeviceLogEntry.h"
#include "TestSupport.h"
#include "Trash.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using nimbrel::test::runProcess;

namespace {

const QString kSerial = QStringLiteral("PT-0042");
const QString kName = QStringLiteral("log[12]_Pump_Test_A1_2024-03-05_14-07-09.zlf");

// Writes a small log with these metadata pairs (none: a legacy log) and returns its path.
QString makeLog(const QString &name, const QStringList &pairs)
{
    const QString path = QDir(nimbrel::test::testRoot()).filePath(name);
    const auto result
        = runProcess(nimbrel::test::python(),
                     QStringList{ nimbrel::test::fixturePath(QStringLiteral("zlf_generator.py")),
                                  QStringLiteral("--log"), path }
                         + pairs);
    if (!result.finished || result.exitCode != 0)
        qFatal("log generator failed: %s", result.err.constData());
    return path;
}

QStringList fullMetadata(const QString &serial)
{
    return { QStringLiteral("serial=") + serial, QStringLiteral("logCount=7"),
             QStringLiteral("Date=2026-12-10"), QStringLiteral("Time=12:30:05"),
             QStringLiteral("fileName=log[7]_Rig_2026-12-10_12-30-05") };
}

class FakeTrash : public platform::Trash
{
public:
    bool moveToTrash(const QString &path, QString *error) override
    {
        calls << path;
        if (refuse) {
            *error = QStringLiteral("refused by the test");
            return false;
        }
        return QFile::remove(path);
    }
    bool refuse = false;
    QStringList calls;
};

} // namespace

class TestLogEntry : public QObject
{
    Q_OBJECT

private slots:
    void fromLocalFile_data();
    void fromLocalFile();
    void fromDeviceFile_data();
    void fromDeviceFile();
    void fileSize_data();
    void fileSize();
    void removeLocalFile_data();
    void removeLocalFile();
    void renameRefusesPaths_data();
    void renameRefusesPaths();
    void oneConversionAtATime();
};

void TestLogEntry::fromLocalFile_data()
{
    QTest::addColumn<QStringList>("metadata"); // "empty file" for a file of size 0
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QDateTime>("created");
    QTest::addColumn<QString>("deviceFileName");

    const QDateTime fromMetadata(QDate(2026, 12, 10), QTime(12, 30, 5));
    const QDateTime fromName(QDate(2024, 3, 5), QTime(14, 7, 9));
    QTest::newRow("metadata, same serial")
        << fullMetadata(kSerial) << true << true << 7 << fromMetadata
        << QStringLiteral("log[7]_Rig_2026-12-10_12-30-05.zlf");
    QTest::newRow("serial differs in case")
        << fullMetadata(QStringLiteral("pt-0042")) << false << true << 7 << fromMetadata
        << QStringLiteral("log[7]_Rig_2026-12-10_12-30-05.zlf");
    QStringList noTime = fullMetadata(kSerial);
    noTime.removeAt(3);
    QTest::newRow("no Time: the name tells") << noTime << true << false << 12 << fromName << kName;
    QTest::newRow("legacy: the name tells")
        << QStringList() << true << false << 12 << fromName << kName;
    QTest::newRow("empty file") << QStringList{ QStringLiteral("empty file") } << true << true << 0
                                << QDateTime() << QString();
}

void TestLogEntry::fromLocalFile()
{
    QFETCH(QStringList, metadata);
    QDir(nimbrel::test::testRoot()).mkpath(QStringLiteral("lib"));
    QString path;
    if (metadata == QStringList{ QStringLiteral("empty file") }) {
        path = QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("lib/") + kName);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    } else {
        path = makeLog(QStringLiteral("lib/") + kName, metadata);
    }
    OrvDeviceLogEntry entry(nullptr, kSerial, path);
    QTEST(entry.accepted(), "accepted");
    QTEST(entry.isLocalFileValid(), "valid");
    QTEST(entry.logCounter(), "counter");
    QTEST(entry.createDate(), "created");
    QTEST(entry.deviceFileName(), "deviceFileName");
    QCOMPARE(entry.localFileUrl(), QUrl::fromLocalFile(path));
}

void TestLogEntry::fromDeviceFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("counter");
    QTest::addColumn<QDateTime>("created");
    QTest::addColumn<QString>("modelName");

    QTest::newRow("written example")
        << kName << qint64(5000) << true << 12 << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))
        << QStringLiteral("Pump Test");
    QTest::newRow("size 0") << kName << qint64(0) << false << 12
                            << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9))
                            << QStringLiteral("Pump Test");
    QTest::newRow("no counter, one part")
        << QStringLiteral("x_Solo_A_2025-01-31_23-59-58.zlf") << qint64(1) << true << 0
        << QDateTime(QDate(2025, 1, 31), QTime(23, 59, 58)) << QStringLiteral("Solo");
}

void TestLogEntry::fromDeviceFile()
{
    QFETCH(QString, name);
    QFETCH(qint64, size);
    OrvDeviceLogEntry entry(nullptr, kSerial, OrvDeviceLogEntry::DeviceFile{ name, size });
    QTEST(entry.accepted(), "accepted");
    QTEST(entry.logCounter(), "counter");
    QTEST(entry.createDate(), "created");
    QTEST(entry.getModelName(), "modelName");
    QCOMPARE(entry.getLocalFileName(), name);
    QVERIFY(entry.isOnDevice());
    QVERIFY(!entry.hasLocalFile());
}

void TestLogEntry::fileSize_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0B");
    QTest::newRow("1023") << qint64(1023) << QStringLiteral("1023B");
    QTest::newRow("1024") << qint64(1024) << QStringLiteral("1KiB");
    QTest::newRow("1536") << qint64(1536) << QStringLiteral("1KiB");
    QTest::newRow("3 GiB") << (qint64(3) << 30) << QStringLiteral("3GiB");
}

void TestLogEntry::fileSize()
{
    QFETCH(qint64, size);
    OrvDeviceLogEntry entry(nullptr, kSerial, OrvDeviceLogEntry::DeviceFile{ kName, size });
    QTEST(entry.getFileSize(), "text");
}

void TestLogEntry::removeLocalFile_data()
{
    QTest::addColumn<bool>("refuse");
    QTest::addColumn<bool>("onDevice");
    QTest::newRow("moved, local only") << false << false;
    QTest::newRow("moved, also on device") << false << true;
    QTest::newRow("trash refuses, local only") << true << false;
    QTest::newRow("trash refuses, also on device") << true << true;
}

void TestLogEntry::removeLocalFile()
{
    QFETCH(bool, refuse);
    QFETCH(bool, onDevice);
    const QString path = makeLog(kName, fullMetadata(kSerial));
    FakeTrash trash;
    trash.refuse = refuse;
    OrvDeviceLogEntry entry(nullptr, kSerial, path, &trash);
    if (onDevice) {
        const OrvDeviceLogEntry::DeviceFile file{ entry.deviceFileName(), QFileInfo(path).size() };
        entry.updateFromDevice(&file);
    }
    QSignalSpy removal(&entry, &OrvDeviceLogEntry::RequestRemove);
    QSignalSpy hasLocal(&entry, &OrvDeviceLogEntry::HasLocalFileChanged);

    QCOMPARE(entry.removeLocalFile(), !refuse);
    QCOMPARE(trash.calls, QStringList{ path }); // the premise: the trash was asked
    QCOMPARE(QFile::exists(path), refuse);
    QCOMPARE(entry.hasLocalFile(), refuse);
    QCOMPARE(removal.size(), (refuse || onDevice) ? 0 : 1);
    QCOMPARE(hasLocal.size(), (!refuse && onDevice) ? 1 : 0);
    QCOMPARE(entry.removalRequested(), !refuse && !onDevice);
}

void TestLogEntry::renameRefusesPaths_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<bool>("ok");
    QTest::newRow("parent folder") << QStringLiteral("../escaped.zlf") << false;
    QTest::newRow("sub-folder") << QStringLiteral("sub/x.zlf") << false;
    QTest::newRow("backslash") << QStringLiteral("a\\b.zlf") << false;
    QTest::newRow("dot-dot") << QStringLiteral("..") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("plain name") << QStringLiteral("renamed.zlf") << true;
}

void TestLogEntry::renameRefusesPaths()
{
    QFETCH(QString, newName);
    QFETCH(bool, ok);
    const QDir root(nimbrel::test::testRoot());
    QDir(root.filePath(QStringLiteral("lib"))).removeRecursively();
    root.mkpath(QStringLiteral("lib/PT-0042"));
    root.mkpath(QStringLiteral("lib/PT-0042/sub"));
    const QString path = makeLog(QStringLiteral("lib/PT-0042/") + kName, fullMetadata(kSerial));
    OrvDeviceLogEntry entry(nullptr, kSerial, path);
    QSignalSpy renamed(&entry, &OrvDeviceLogEntry::FileNameChanged);

    QCOMPARE(entry.renameFile(newName), ok);
    QCOMPARE(QFile::exists(path), !ok);
    QCOMPARE(renamed.size(), ok ? 1 : 0);
    if (ok) {
        QVERIFY(QFile::exists(root.filePath(QStringLiteral("lib/PT-0042/") + newName)));
        QCOMPARE(entry.getLocalFileName(), newName);
    } else {
        // Nothing left the device's folder.
        QCOMPARE(QDir(root.filePath(QStringLiteral("lib/PT-0042")))
                     .entryList(QDir::Files | QDir::NoDotAndDotDot),
                 QStringList{ kName });
        QVERIFY(!QFile::exists(root.filePath(QStringLiteral("lib/escaped.zlf"))));
    }
}

void TestLogEntry::oneConversionAtATime()
{
    const QString path = makeLog(kName, fullMetadata(kSerial));
    const QString output = QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("out.mat"));
    OrvDeviceLogEntry entry(nullptr, kSerial, path);
    QSignalSpy progress(&entry, &OrvDeviceLogEntry::parseProgressChanged);

    // The second request comes before the first has reported anything.
    entry.parseLog(output);
    entry.parseLog(output);
    QCOMPARE(entry.findChildren<LogParser *>().size(), 1);
    QVERIFY(entry.isConverting());
    // Conversions share one thread: a parser starts none of its own.
    QVERIFY(entry.parser()->findChildren<QThread *>().isEmpty());

    QVERIFY(nimbrel::test::waitFor([&] { return !entry.isConverting(); }, 20000));
    QVERIFY(nimbrel::test::waitFor([&] { return entry.findChildren<LogParser *>().isEmpty(); }));
    QCOMPARE(entry.parser(), nullptr);
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
    QCOMPARE(entry.getParseProgress(), 0.0f);

    // h5py reads what was written: the two signals of the generated log.
    const auto check = nimbrel::test::runPython(
        QStringLiteral("import h5py,sys\nf=h5py.File(sys.argv[1],'r')\n"
                       "print(' '.join(sorted(k for k in f.keys() if not k.startswith('#'))))"),
        { output });
    QCOMPARE(check.exitCode, 0);
    QCOMPARE(check.out.trimmed(), QByteArray("metadata time v"));

    // After the end a new conversion may start.
    entry.parseLog(output);
    QVERIFY(entry.isConverting());
    QVERIFY(nimbrel::test::waitFor([&] { return !entry.isConverting(); }, 20000));
}

QTEST_GUILESS_MAIN(TestLogEntry)
#include "tst_logEntry.moc"
