#pragma once

#include "Pelto.h"
#include "PeltoSimProcess.h"
#include "SoftwareUpdate.h"
#include "TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QPointer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// What an upload must do against pelto-sim, whatever link carries it: the same scenario runs over
// Wi-Fi and over USB. The simulator keeps each received image (descrambled) in one file.

struct UpdateImages
{
    QTemporaryDir dir{ nimbrel::test::testRoot() + QStringLiteral("/images-XXXXXX") };
    QString received = dir.filePath(QStringLiteral("received.bin"));
    // 300 full chunks and one byte: padded to 4, the last chunk is 4 bytes.
    QString firmware = write(QStringLiteral("os.fwb"), 1018 * 300 + 1, 11);
    // 60 full chunks and 6 bytes: padded to 8, the last chunk is scrambled.
    QString application = write(QStringLiteral("model.apb"), 1018 * 60 + 6, 12);
    QString wireless = write(QStringLiteral("radio.feb"), 5000, 13);

    QString write(const QString &name, int size, quint32 seed)
    {
        QByteArray data(size, Qt::Uninitialized);
        QRandomGenerator rng(seed);
        for (char &c : data)
            c = char(rng.bounded(256));
        const QString path = dir.filePath(name);
        QFile f(path);
        if (f.open(QIODevice::WriteOnly))
            f.write(data);
        // What the device must end up with: the image and its zero padding.
        QFile padded(path + QStringLiteral(".padded"));
        if (padded.open(QIODevice::WriteOnly))
            padded.write(data + QByteArray((4 - size % 4) % 4, '\0'));
        return path;
    }

    static QByteArray read(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

inline bool sameBytes(const QString &a, const QString &b)
{
    const nimbrel::test::ProcessResult r
        = nimbrel::test::runProcess(QStringLiteral("cmp"), { a, b });
    return r.finished && r.exitCode == 0;
}

inline QList<int> updateStates(const QSignalSpy &spy, qsizetype from = 0)
{
    QList<int> out;
    for (qsizetype i = from; i < spy.size(); ++i)
        out << int(spy[i].at(0).value<SoftwareUpdate::UpdateState>());
    return out;
}

inline bool setSim(PeltoSimProcess &sim, const QJsonObject &fields)
{
    return sim.command(QStringLiteral("set_state"), fields).value(QStringLiteral("ok")).toBool();
}

inline QJsonObject lastUpload(PeltoSimProcess &sim)
{
    return sim.command(QStringLiteral("status")).value(QStringLiteral("update")).toObject();
}

// Asks the device to open the service and waits for the Pelto to hand it out.
inline SoftwareUpdate *openUpdateService(Pelto &pelto)
{
    QSignalSpy opened(&pelto, &Pelto::UpdateServiceOpenedClosed);
    pelto.openCloseUpdateService(true);
    if (!opened.wait(nimbrel::test::scaled(10000)))
        return nullptr;
    return opened.last().at(0).value<SoftwareUpdate *>();
}

// Firmware from a file, an application image from memory and wireless firmware with its version
// poll, each compared with cmp against what the simulator received; then a time-out at chunk 5
// that stops the upload, a new start that completes, and a start the running application refuses.
inline void runUpdateScenario(Pelto &pelto, PeltoSimProcess &sim, const UpdateImages &images)
{
    using namespace nimbrel::test;
    using S = SoftwareUpdate;
    QPointer<SoftwareUpdate> service = openUpdateService(pelto);
    QVERIFY(service);
    QCOMPARE(pelto.updateService(), service.data());
    QSignalSpy states(service.data(), &S::UpdateStateChanged);
    QSignalSpy progress(&pelto, &Pelto::UpdateProgressChanged);
    auto finished = [&] { return service && service->state() == S::UpdateFinished; };

    // Firmware by file, as the Pelto starts it.
    pelto.tempUploadFirmware(QUrl::fromLocalFile(images.firmware));
    QVERIFY(waitFor(finished, 120000));
    QVERIFY(sameBytes(images.received, images.firmware + QStringLiteral(".padded")));
    QJsonObject upload = lastUpload(sim);
    QCOMPARE(upload.value(QStringLiteral("kind")).toString(), QStringLiteral("fwb"));
    QVERIFY(upload.value(QStringLiteral("crc_ok")).toBool());
    QCOMPARE(upload.value(QStringLiteral("size")).toInt(), 1018 * 300 + 4);
    QJsonArray chunks = upload.value(QStringLiteral("chunks")).toArray();
    QCOMPARE(chunks.size(), 301);
    QCOMPARE(chunks.last().toInt(), 4);
    // The first ready reply enters SendBinaryData; the chunks after it change no state.
    QCOMPARE(updateStates(states),
             (QList<int>{ S::Started, S::BinaryLoaded, S::SendBinaryData, S::UpdateCommandSend,
                          S::SendBinaryData, S::UpdateFinished }));
    // One figure per chunk and one for the ready reply after the last.
    QCOMPARE(progress.size(), 1 + 301 + 1);
    QCOMPARE(progress.first().at(0).toFloat(), 0.0f);
    for (qsizetype i = 1; i < progress.size(); ++i)
        QVERIFY(progress[i].at(0).toFloat() >= progress[i - 1].at(0).toFloat());
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
    QCOMPARE(pelto.getUpdatePercentage(), 1.0f);
    QCOMPARE(service->versionPollTimer(), nullptr);

    // An application image from memory: seed hand-shake, the last chunk scrambled.
    states.clear();
    auto buffer = std::make_shared<QBuffer>();
    buffer->open(QIODevice::ReadWrite);
    buffer->write(UpdateImages::read(images.application));
    QCOMPARE(service->startSimBuild(buffer), 0);
    QVERIFY(waitFor(finished, 60000));
    QVERIFY(sameBytes(images.received, images.application + QStringLiteral(".padded")));
    upload = lastUpload(sim);
    QCOMPARE(upload.value(QStringLiteral("kind")).toString(), QStringLiteral("apb"));
    QVERIFY(upload.value(QStringLiteral("crc_ok")).toBool());
    chunks = upload.value(QStringLiteral("chunks")).toArray();
    QCOMPARE(chunks.size(), 61);
    QCOMPARE(chunks.last().toInt(), 8);
    const QJsonArray scrambled = upload.value(QStringLiteral("scrambled")).toArray();
    for (qsizetype i = 0; i < scrambled.size(); ++i)
        QCOMPARE(scrambled[i].toBool(), i == scrambled.size() - 1);
    QCOMPARE(updateStates(states).mid(0, 5),
             (QList<int>{ S::Started, S::BinaryLoaded, S::SeedRequested, S::SendBinaryData,
                          S::UpdateCommandSend }));

    // Wireless firmware: after "finished" the version is asked until the device vouches for it.
    QVERIFY(setSim(sim,
                   { { QStringLiteral("update_unverified_polls"), 2 },
                     { QStringLiteral("esp_version"), QStringLiteral("3.0.1-sim") } }));
    service->setVersionPollInterval(100);
    QSignalSpy espVersion(service.data(), &S::SetVersionESPReceived);
    QCOMPARE(service->startUpdateFromFile(QUrl::fromLocalFile(images.wireless), S::None), 0);
    QVERIFY(waitFor(finished, 30000));
    QVERIFY(sameBytes(images.received, images.wireless + QStringLiteral(".padded")));
    QVERIFY(espVersion.wait(scaled(10000)));
    QCOMPARE(espVersion.last().at(1).toString(), QStringLiteral("3.0.1-sim"));
    QCOMPARE(pelto.getVersionESP(), QStringLiteral("3.0.1-sim"));
    QCOMPARE(sim.counters()[QStringLiteral("channel4")][QStringLiteral("version_queries")].toInt(),
             3);
    QVERIFY(!service->versionPollTimer()->isActive());

    // A time-out at chunk 5 stops the upload: no chunk follows it.
    QVERIFY(setSim(sim, { { QStringLiteral("update_timeout_at_chunk"), 5 } }));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("timeout")));
    pelto.tempUploadFirmware(QUrl::fromLocalFile(images.firmware));
    QVERIFY(waitFor([&] { return service->state() == S::TimedOut; }, 30000));
    // A control round trip after the time-out: anything the host still sent on channel 4 would
    // have reached the device before its answer.
    QSignalSpy wirelessVersion(&pelto, &Pelto::FirmwareWirelessReceived);
    pelto.queryVersions();
    QVERIFY(wirelessVersion.wait(scaled(10000)));
    QCOMPARE(lastUpload(sim).value(QStringLiteral("chunks")).toArray().size(), 6);
    QCOMPARE(lastUpload(sim).value(QStringLiteral("result")).toString(),
             QStringLiteral("timed_out"));

    // Starting again begins afresh and completes.
    QVERIFY(setSim(sim, { { QStringLiteral("update_timeout_at_chunk"), -1 } }));
    states.clear();
    pelto.tempUploadFirmware(QUrl::fromLocalFile(images.firmware));
    QVERIFY(waitFor(finished, 120000));
    QCOMPARE(updateStates(states).first(), int(S::Started));
    QVERIFY(sameBytes(images.received, images.firmware + QStringLiteral(".padded")));
    QVERIFY(lastUpload(sim).value(QStringLiteral("crc_ok")).toBool());

    // The device refuses a start while its application runs.
    QVERIFY(setSim(sim, { { QStringLiteral("update_app_running"), true } }));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("still running")));
    pelto.tempUploadFirmware(QUrl::fromLocalFile(images.firmware));
    QVERIFY(waitFor([&] { return service->state() == S::AppStillRunning; }, 10000));
    QVERIFY(setSim(sim, { { QStringLiteral("update_app_running"), false } }));
}
