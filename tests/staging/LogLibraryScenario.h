#pragma once

#include "LogCommandQueue.h"
#include "LogDownloader.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"
#include "Trash.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

// What the log library must do against pelto-sim, whatever link carries the device: the same
// scenario runs over Wi-Fi and over USB.
namespace loglibrary {

inline const QString kSerial = QStringLiteral("PT-LOGS-1");

// The device's "/log" and the library, made with the log generator: log 1 is in both, logs 2
// and 3 only on the device.
struct Folders
{
    QDir device{ QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("device")) };
    QDir root{ QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("LogData")) };
    QDir out{ QDir(nimbrel::test::testRoot()).filePath(QStringLiteral("mat")) };
    QStringList names;

    Folders()
    {
        device.mkpath(QStringLiteral("log"));
        root.mkpath(kSerial);
        out.mkpath(QStringLiteral("."));
        for (int i = 1; i <= 3; ++i) {
            const QString base = QStringLiteral("log[%1]_Rig_A_2026-12-10_1%1-00-00").arg(i);
            names << base + QStringLiteral(".zlf");
            const QString path = device.filePath(QStringLiteral("log/") + names.last());
            const auto made = nimbrel::test::runProcess(
                nimbrel::test::python(),
                { nimbrel::test::fixturePath(QStringLiteral("zlf_generator.py")),
                  QStringLiteral("--log"), path, QStringLiteral("serial=") + kSerial,
                  QStringLiteral("logCount=%1").arg(i), QStringLiteral("Date=2026-12-10"),
                  QStringLiteral("Time=1%1:00:00").arg(i), QStringLiteral("fileName=") + base });
            if (made.exitCode != 0)
                qFatal("log generator failed: %s", made.err.constData());
        }
        QFile::copy(device.filePath(QStringLiteral("log/") + names[0]),
                    root.filePath(kSerial + u'/' + names[0]));
    }
};

class RemovingTrash : public platform::Trash
{
public:
    bool moveToTrash(const QString &path, QString *) override { return QFile::remove(path); }
};

inline bool sameFile(const QString &a, const QString &b)
{
    const auto r = nimbrel::test::runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

inline bool setState(PeltoSimProcess &sim, const QString &name, int value)
{
    return sim.command(QStringLiteral("set_state"), { { name, value } })
        .value(QStringLiteral("ok"))
        .toBool();
}

// Download requests (code 2) the device has had.
inline int downloadRequests(PeltoSimProcess &sim)
{
    return sim.counters()[QStringLiteral("channel9")][QStringLiteral("requests")]
        .toObject()[QStringLiteral("2")]
        .toInt();
}

// The attached Pelto is `pelto`, served by `sim` over `folders.device`.
inline void run(Pelto &pelto, PeltoSimProcess &sim, const Folders &folders)
{
    using namespace nimbrel::test;
    RemovingTrash trash;
    LogDownloader downloader(folders.root, nullptr, nullptr, &trash);
    OrvDeviceLogProducer *producer = downloader.producerFor(kSerial);
    QVERIFY(producer);
    QCOMPARE(producer->entries()->count(), 1);
    downloader.orvDeviceConnected(&pelto, true);
    downloader.setVisibility(true); // the log screen shows: the service opens, "/log" is listed

    // One list: log 1 both local and on the device, logs 2 and 3 on the device only.
    QVERIFY(waitFor([&] { return producer->entries()->count() == 3; }, 15000));
    OrvDeviceLogEntry *log1 = producer->findEntryByName(folders.names[0]);
    OrvDeviceLogEntry *log2 = producer->findEntryByName(folders.names[1]);
    OrvDeviceLogEntry *log3 = producer->findEntryByName(folders.names[2]);
    QVERIFY(log1 && log2 && log3);
    QVERIFY(waitFor([&] { return log1->isOnDevice(); }));
    QVERIFY(log1->hasLocalFile() && log1->isLocalFileValid());
    QVERIFY(log2->isOnDevice() && !log2->hasLocalFile());
    QVERIFY(waitFor([&] { return producer->totalStorageSize() > 0; }, 10000));

    LogCommandQueue queue;
    QSignalSpy done(&queue, &LogCommandQueue::queueComplete);

    // A model runs on the device (the simulator's default): the download is refused, the
    // command ends, nothing is asked of the device.
    QVERIFY(waitFor([&] { return !pelto.isAppStateSafeForDownload(); }, 10000));
    const int downloadsBefore = downloadRequests(sim);
    queue.scheduleDownload(log2);
    QVERIFY(waitFor([&] { return done.size() == 1; }, 15000));
    QVERIFY(!log2->hasLocalFile());
    QCOMPARE(downloadRequests(sim), downloadsBefore);
    QVERIFY(sim.command(QStringLiteral("set_state"),
                        { { QStringLiteral("app_status"), QStringLiteral("Stopped") } })
                .value(QStringLiteral("ok"))
                .toBool());
    QVERIFY(waitFor([&] { return pelto.isAppStateSafeForDownload(); }, 10000));
    done.clear();

    // An error reply before the first chunk: the command ends, the queue does not stall.
    QVERIFY(setState(sim, QStringLiteral("fc_error_at_chunk"), 0));
    queue.scheduleDownload(log2);
    QVERIFY(waitFor([&] { return done.size() == 1; }, 15000));
    QVERIFY(!log2->hasLocalFile());
    QCOMPARE(log2->getDownloadProgress(), 0.0f);
    QVERIFY(setState(sim, QStringLiteral("fc_error_at_chunk"), -1));

    // Two downloads through the queue, one after the other; the second converts.
    bool firstDoneWhenSecondAsked = false;
    QObject::connect(log3, &OrvDeviceLogEntry::DownloadFromOrvDevice, &queue,
                     [&] { firstDoneWhenSecondAsked = log2->hasLocalFile(); });
    queue.scheduleDownload(log2);
    queue.scheduleDownloadAndParse(log3, QUrl::fromLocalFile(folders.out.absolutePath()));
    QVERIFY(waitFor([&] { return done.size() == 2; }, 60000));
    QVERIFY(firstDoneWhenSecondAsked);
    QCOMPARE(downloadRequests(sim), downloadsBefore + 3); // the counter counts: the error one too
    QVERIFY(log2->hasLocalFile() && log2->isLocalFileValid());
    // Nothing is started while the conversion runs: a child process inherits the MAT file's
    // descriptor and with it HDF5's lock on the file.
    const QString mat = folders.out.filePath(folders.names[2] + QStringLiteral(".mat"));
    QVERIFY(waitFor([&] { return QFile::exists(mat) && !log3->isConverting(); }, 30000));
    const QString local2 = folders.root.filePath(kSerial + u'/' + folders.names[1]);
    const QString local3 = folders.root.filePath(kSerial + u'/' + folders.names[2]);
    QVERIFY(sameFile(folders.device.filePath(QStringLiteral("log/") + folders.names[1]), local2));
    QVERIFY(sameFile(folders.device.filePath(QStringLiteral("log/") + folders.names[2]), local3));
    const auto check = runPython(
        QStringLiteral("import h5py,sys\nf=h5py.File(sys.argv[1],'r')\n"
                       "print(' '.join(sorted(k for k in f.keys() if not k.startswith('#'))))"),
        { mat });
    QCOMPARE(check.out.trimmed(), QByteArray("metadata time v"));

    // Delete on the device: gone there, still in the library.
    log2->removeFileOnDevice();
    QVERIFY(waitFor(
        [&] {
            return !QFile::exists(
                       folders.device.filePath(QStringLiteral("log/") + folders.names[1]))
                && !producer->deletingOnDevice();
        },
        10000));
    QVERIFY(!log2->isOnDevice() && log2->hasLocalFile());

    // Delete in the library: gone there, still on the device.
    QVERIFY(log3->removeLocalFile());
    QVERIFY(!QFile::exists(local3));
    QVERIFY(log3->isOnDevice());

    // A fresh listing agrees.
    downloader.refresh();
    QTest::qWait(scaled(300));
    QVERIFY(waitFor([&] { return producer->entries()->count() == 3; }));
    QVERIFY(!producer->findEntryByName(folders.names[1])->isOnDevice());
    QVERIFY(producer->findEntryByName(folders.names[2])->isOnDevice());
}

} // namespace loglibrary
