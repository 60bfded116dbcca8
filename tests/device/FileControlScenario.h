#pragma once

#include "FileControlChannel.h"
#include "PeltoSimProcess.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// What the file-control channel must do against pelto-sim, whatever link carries it: the same
// scenario runs over Wi-Fi and over USB.

inline bool sameFile(const QString &a, const QString &b)
{
    const nimbrel::test::ProcessResult r
        = nimbrel::test::runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

inline QStringList names(const QList<FileControlChannel::DirEntry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out << e.name;
    return out;
}

// The device's folder, made here: a file of several megabytes, an empty one, a subfolder.
struct DeviceFolder
{
    QTemporaryDir dir{ nimbrel::test::testRoot() + QStringLiteral("/device-XXXXXX") };
    QString big = dir.filePath(QStringLiteral("big.bin"));
    QString empty = dir.filePath(QStringLiteral("empty.zlf"));

    DeviceFolder()
    {
        QByteArray data(3 * 1024 * 1024 + 517, Qt::Uninitialized);
        QRandomGenerator rng(9);
        rng.fillRange(reinterpret_cast<quint32 *>(data.data()), data.size() / 4);
        QFile f(big);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
        QFile e(empty);
        if (e.open(QIODevice::WriteOnly))
            e.close();
        QDir(dir.path()).mkdir(QStringLiteral("logs"));
    }
};

// Listing, downloads compared with cmp, an error reply midway, rename, remove, storage figures and
// hostile names, on an open channel to `sim` serving `device`; files land in `local`.
inline void runFileControlScenario(FileControlChannel &channel, PeltoSimProcess &sim,
                                   const DeviceFolder &device, const QTemporaryDir &local)
{
    using namespace nimbrel::test;
    QSignalSpy listed(&channel, &FileControlChannel::ListDirReceived);
    QSignalSpy downloaded(&channel, &FileControlChannel::DownloadFileReceived);
    QSignalSpy progress(&channel, &FileControlChannel::Progress);

    channel.listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    const auto entries = listed.last().at(1).value<QList<FileControlChannel::DirEntry>>();
    QCOMPARE(names(entries),
             (QStringList{ QStringLiteral("big.bin"), QStringLiteral("empty.zlf"),
                           QStringLiteral("logs") }));
    QCOMPARE(entries[0].size, quint32(QFileInfo(device.big).size()));
    QCOMPARE(entries[0].type, FileControlChannel::FileType);

    // Several megabytes, byte for byte.
    const QString bigOut = local.filePath(QStringLiteral("big.bin"));
    QCOMPARE(channel.downloadFile(QStringLiteral("/big.bin"), bigOut), 0);
    QVERIFY(downloaded.wait(scaled(120000)));
    QCOMPARE(downloaded.last().at(0).value<FileControlChannel::ResponseCode>(),
             FileControlChannel::Success);
    QCOMPARE(downloaded.last().at(1).toString(), bigOut);
    QVERIFY(sameFile(device.big, bigOut));
    QVERIFY(progress.size() > 3000);
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);

    const QString emptyOut = local.filePath(QStringLiteral("empty.zlf"));
    QCOMPARE(channel.downloadFile(QStringLiteral("empty.zlf"), emptyOut), 0);
    QVERIFY(downloaded.wait(scaled(10000)));
    QCOMPARE(downloaded.last().at(1).toString(), emptyOut);
    QVERIFY(sameFile(device.empty, emptyOut));
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);

    // An error reply halfway: nothing under the final name, and the next download goes through.
    QVERIFY(
        sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_error_at_chunk"), 40 } })
            .value(QStringLiteral("ok"))
            .toBool());
    const QString cutOut = local.filePath(QStringLiteral("again.bin"));
    QCOMPARE(channel.downloadFile(QStringLiteral("/big.bin"), cutOut), 0);
    QVERIFY(downloaded.wait(scaled(30000)));
    QCOMPARE(downloaded.last().at(0).toInt(), 4);
    QCOMPARE(downloaded.last().at(1).toString(), QString());
    QCOMPARE(sim.counters()[QStringLiteral("channel9")][QStringLiteral("errors_injected")].toInt(),
             1);
    QVERIFY(!QFile::exists(cutOut));
    QCOMPARE(QDir(local.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{ QStringLiteral("big.bin"), QStringLiteral("empty.zlf") }));
    QVERIFY(
        sim.command(QStringLiteral("set_state"), { { QStringLiteral("fc_error_at_chunk"), -1 } })
            .value(QStringLiteral("ok"))
            .toBool());
    QCOMPARE(channel.downloadFile(QStringLiteral("/big.bin"), cutOut), 0);
    QVERIFY(downloaded.wait(scaled(120000)));
    QCOMPARE(downloaded.last().at(1).toString(), cutOut);
    QVERIFY(sameFile(device.big, cutOut));

    // Rename and remove show in the next listing.
    QSignalSpy renamed(&channel, &FileControlChannel::RenameFileReceived);
    QSignalSpy removed(&channel, &FileControlChannel::RemoveFileReceived);
    channel.renameFile(QStringLiteral("/empty.zlf"), QStringLiteral("renamed.zlf"));
    channel.removeFile(QStringLiteral("/big.bin"));
    QVERIFY(waitFor([&] { return renamed.size() == 1 && removed.size() == 1; }, 10000));
    QCOMPARE(renamed.last().at(0).toInt(), 1);
    QCOMPARE(renamed.last().at(1).toString(), QStringLiteral("/renamed.zlf"));
    QCOMPARE(removed.last().at(1).toString(), QStringLiteral("/big.bin"));
    channel.listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    QCOMPARE(names(listed.last().at(1).value<QList<FileControlChannel::DirEntry>>()),
             (QStringList{ QStringLiteral("logs"), QStringLiteral("renamed.zlf") }));

    // Storage figures.
    QVERIFY(sim.command(QStringLiteral("set_state"),
                        { { QStringLiteral("fs_total_bytes"), 7000000000.0 },
                          { QStringLiteral("fs_free_bytes"), 1234567 } })
                .value(QStringLiteral("ok"))
                .toBool());
    QSignalSpy storage(&channel, &FileControlChannel::GetAvailableStorageReceived);
    channel.getAvailableStorage();
    QVERIFY(storage.wait(scaled(10000)));
    QCOMPARE(storage.last().at(0).toInt(), 1);
    QCOMPARE(storage.last().at(1).toULongLong(), 7000000000ULL);
    QCOMPARE(storage.last().at(2).toULongLong(), 1234567ULL);
    QCOMPARE(storage.last().at(3).toInt(), int(filectrlpayload::AvailableStorage::Ready));

    // The device's names are no paths: the hostile entries do not reach the list.
    QVERIFY(sim.command(QStringLiteral("set_fault"),
                        { { QStringLiteral("name"), QStringLiteral("fc_hostile_names") } })
                .value(QStringLiteral("ok"))
                .toBool());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("unusable name")));
    channel.listDir(QStringLiteral("/"));
    QVERIFY(listed.wait(scaled(10000)));
    QCOMPARE(names(listed.last().at(1).value<QList<FileControlChannel::DirEntry>>()),
             (QStringList{ QStringLiteral("logs"), QStringLiteral("renamed.zlf") }));
}
