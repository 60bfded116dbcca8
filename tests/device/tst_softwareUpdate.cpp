#include "ErrorHandler.h"
#include "ServiceTestRig.h"
#include "SoftwareUpdate.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace nimbrel::test;

namespace {

constexpr quint32 seedFromDevice = 0x12345678; // its first word is XORed, so scrambling shows

QByteArray le32(quint32 v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(v, b.data());
    return b;
}

// A message as the device sends it.
QByteArray deviceMessage(quint32 command, const QByteArray &payload = {})
{
    return le32(0xDDCCBBAA) + le32(command) + le32(quint32(payload.size())) + payload;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char &c : data)
        c = char(rng.bounded(256));
    return data;
}

// An image as the callers hand it over: written into the buffer, position at its end.
SharedBinaryPtr imageBuffer(const QByteArray &image)
{
    auto buffer = std::make_shared<QBuffer>();
    buffer->open(QIODevice::ReadWrite);
    buffer->write(image);
    return buffer;
}

// CRC-32/MPEG-2 of the image and the chunks descrambled with the simulator's descrambler (Python's
// own MT19937), both computed outside the program.
const char *const kUploadOracle = R"(
import sys, json
sys.path.insert(0, sys.argv[1])
from peltosim.update import Descrambler, crc32_mpeg2
job = json.load(sys.stdin)
image = bytes.fromhex(job["image"])
d = Descrambler(job["seed"]) if job["mode"] == 1 else None
plain = b""
for c in job["chunks"]:
    c = bytes.fromhex(c)
    plain += d.apply(c) if (d and len(c) % 4 == 0) else c
print(json.dumps({"crc": crc32_mpeg2(image), "plain": plain.hex()}))
)";

struct OracleResult
{
    quint32 crc = 0;
    QByteArray plain;
    bool ok = false;
};

OracleResult uploadOracle(const QByteArray &image, const QList<QByteArray> &chunks, int mode)
{
    QJsonArray hexChunks;
    for (const QByteArray &c : chunks)
        hexChunks.append(QString::fromLatin1(c.toHex()));
    const QJsonObject job{ { QStringLiteral("image"), QString::fromLatin1(image.toHex()) },
                           { QStringLiteral("chunks"), hexChunks },
                           { QStringLiteral("mode"), mode },
                           { QStringLiteral("seed"), qint64(seedFromDevice) } };
    const ProcessResult r = runPython(QString::fromLatin1(kUploadOracle),
                                      { sourceDir() + QStringLiteral("/tools/pelto-sim") },
                                      QJsonDocument(job).toJson());
    OracleResult out;
    if (!r.finished || r.exitCode != 0)
        return out;
    const QJsonObject result = QJsonDocument::fromJson(r.out).object();
    out.crc = quint32(result.value(QStringLiteral("crc")).toDouble());
    out.plain = QByteArray::fromHex(result.value(QStringLiteral("plain")).toString().toLatin1());
    out.ok = true;
    return out;
}

QList<int> states(const QSignalSpy &spy)
{
    QList<int> out;
    for (const QList<QVariant> &args : spy)
        out << int(args.at(0).value<SoftwareUpdate::UpdateState>());
    return out;
}

struct Rig
{
    ServiceRig links;
    SoftwareUpdate service{ nullptr, 4, true, &links.manager };

    QList<QByteArray> sent() const { return links.link->payloads(4); }
    void reply(const QByteArray &message) { links.link->inject(4, message); }
};

using S = SoftwareUpdate;

} // namespace

class TestSoftwareUpdate : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { ErrorHandler::instance()->clearNotifications(); }
    void uploadChunks_data();
    void uploadChunks();
    void paddingGoesAfterTheImage();
    void startFromFile_data();
    void startFromFile();
    void deviceFailures_data();
    void deviceFailures();
    void malformedRepliesAreDropped_data();
    void malformedRepliesAreDropped();
    void versionReply_data();
    void versionReply();
    void wirelessVersionIsPolledUntilVerified();
    void finishedOutsideSendingOnlyAsksForReconnection();
    void queuedStartCarriesTheImage();
};

void TestSoftwareUpdate::uploadChunks_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("seedMode");
    QTest::addColumn<QList<int>>("chunks");
    QTest::addColumn<QList<bool>>("scrambled");
    QTest::addColumn<bool>("afterApb"); // the same service uploaded an application image before

    // Only a chunk whose length is a multiple of 4 is scrambled: full chunks of 1018 never are.
    QTest::newRow("apb 2040") << 2040 << int(S::AppBinary) << 1 << QList<int>{ 1018, 1018, 4 }
                              << QList<bool>{ false, false, true } << false;
    QTest::newRow("apb 1020") << 1020 << int(S::AppBinary) << 1 << QList<int>{ 1018, 2 }
                              << QList<bool>{ false, false } << false;
    QTest::newRow("apb 1016") << 1016 << int(S::AppBinary) << 1 << QList<int>{ 1016 }
                              << QList<bool>{ true } << false;
    QTest::newRow("apb 2040 mode 2")
        << 2040 << int(S::AppBinary) << 2 << QList<int>{ 1018, 1018, 4 }
        << QList<bool>{ false, false, false } << false;
    QTest::newRow("apb 5 padded to 8")
        << 5 << int(S::AppBinary) << 1 << QList<int>{ 8 } << QList<bool>{ true } << false;
    QTest::newRow("fwb 2040") << 2040 << int(S::Firmware) << 0 << QList<int>{ 1018, 1018, 4 }
                              << QList<bool>{ false, false, false } << false;
    QTest::newRow("fwb 1017 padded to 1020")
        << 1017 << int(S::Firmware) << 0 << QList<int>{ 1018, 2 } << QList<bool>{ false, false }
        << false;
    QTest::newRow("feb 2039 padded to 2040")
        << 2039 << int(S::WirelessFirmware) << 0 << QList<int>{ 1018, 1018, 4 }
        << QList<bool>{ false, false, false } << false;
    // The scrambler of the earlier upload (seeded, part of its stream used) is still there: a
    // firmware image goes out as read all the same, and the next application image is scrambled
    // from the generators of its own seed reply.
    QTest::newRow("fwb 1016 after an apb")
        << 1016 << int(S::Firmware) << 0 << QList<int>{ 1016 } << QList<bool>{ false } << true;
    QTest::newRow("apb 2040 after an apb")
        << 2040 << int(S::AppBinary) << 1 << QList<int>{ 1018, 1018, 4 }
        << QList<bool>{ false, false, true } << true;
}

// A whole upload against a scripted device: the seed hand-shake, the start command, one chunk per
// ready reply, progress and states, the finished reply.
void TestSoftwareUpdate::uploadChunks()
{
    QFETCH(int, size);
    QFETCH(int, command);
    QFETCH(int, seedMode);
    QFETCH(QList<int>, chunks);
    QFETCH(QList<bool>, scrambled);
    QFETCH(bool, afterApb);

    Rig rig;
    if (afterApb) {
        QCOMPARE(rig.service.startSimBuild(imageBuffer(randomBytes(2040, 99))), 0);
        rig.reply(deviceMessage(1, le32(1) + le32(0x0BADF00D)));
        for (int i = 0; i < 4; ++i)
            rig.reply(deviceMessage(3));
        rig.reply(deviceMessage(5));
        QCOMPARE(rig.service.state(), S::UpdateFinished);
    }
    const qsizetype sentEarlier = rig.sent().size();
    QSignalSpy stateSpy(&rig.service, &S::UpdateStateChanged);
    QSignalSpy progress(&rig.service, &S::UpdateProgressChanged);
    QSignalSpy reconnect(&rig.service, &S::AddToAutoConnect);
    const QByteArray image = randomBytes(size, quint32(size));
    QByteArray padded = image;
    padded.append(QByteArray((4 - size % 4) % 4, '\0'));

    const auto cmd = S::UpdateCommand(command);
    if (cmd == S::AppBinary) {
        QCOMPARE(rig.service.startSimBuild(imageBuffer(image)), 0);
        QCOMPARE(rig.sent().mid(sentEarlier), QList<QByteArray>{ deviceMessage(1) });
        rig.reply(deviceMessage(1, le32(quint32(seedMode)) + le32(seedFromDevice)));
    } else {
        QCOMPARE(rig.service.startUpdateFromMemory(imageBuffer(image), cmd), 0);
    }
    QCOMPARE(rig.service.state(), S::UpdateCommandSend);
    const QList<int> startStates = cmd == S::AppBinary
        ? QList<int>{ S::Started, S::BinaryLoaded, S::SeedRequested, S::SendBinaryData,
                      S::UpdateCommandSend }
        : QList<int>{ S::Started, S::BinaryLoaded, S::SendBinaryData, S::UpdateCommandSend };
    QCOMPARE(states(stateSpy), startStates);

    const quint32 wire = cmd == S::Firmware ? 2 : cmd == S::AppBinary ? 3 : 4;
    const QList<QByteArray> before = rig.sent();
    const QByteArray start = before.last();
    QCOMPARE(start.left(12), le32(0xDDCCBBAA) + le32(wire) + le32(8));
    QCOMPARE(start.size(), 20);
    QCOMPARE(qFromLittleEndian<quint32>(start.constData() + 12), quint32(padded.size()));

    // One ready reply per chunk, in any of the three "ready" values, and one more after the last.
    const qsizetype first = before.size();
    for (int i = 0; i <= chunks.size(); ++i)
        rig.reply(deviceMessage(quint32(2 + i % 3)));
    const QList<QByteArray> sentChunks = rig.sent().mid(first);
    QList<int> lengths;
    for (const QByteArray &c : sentChunks)
        lengths << int(c.size());
    QCOMPARE(lengths, chunks);
    qsizetype offset = 0;
    for (int i = 0; i < sentChunks.size(); ++i) {
        QCOMPARE(sentChunks[i] != padded.mid(offset, sentChunks[i].size()), scrambled[i]);
        offset += sentChunks[i].size();
    }
    const OracleResult oracle = uploadOracle(padded, sentChunks, seedMode);
    QVERIFY(oracle.ok);
    QCOMPARE(qFromLittleEndian<quint32>(start.constData() + 16), oracle.crc);
    QCOMPARE(oracle.plain, padded);

    // 0 at the start, one figure per chunk rising, 1.0 for the ready reply after the last chunk.
    QCOMPARE(progress.size(), 1 + chunks.size() + 1);
    QCOMPARE(progress.first().at(0).toFloat(), 0.0f);
    for (qsizetype i = 1; i < progress.size(); ++i)
        QVERIFY(progress[i].at(0).toFloat() >= progress[i - 1].at(0).toFloat());
    QCOMPARE(progress.last().at(0).toFloat(), 1.0f);
    QCOMPARE(rig.service.state(), S::SendBinaryData);

    rig.reply(deviceMessage(5));
    QCOMPARE(rig.service.state(), S::UpdateFinished);
    QCOMPARE(reconnect.size(), 1);
    QCOMPARE(rig.service.versionPollTimer() != nullptr, cmd == S::WirelessFirmware);
}

// The caller may leave the buffer's position anywhere: the zeros still go after the image.
void TestSoftwareUpdate::paddingGoesAfterTheImage()
{
    Rig rig;
    const QByteArray image = randomBytes(1017, 3);
    auto buffer = std::make_shared<QBuffer>();
    buffer->setData(image);
    buffer->open(QIODevice::ReadWrite); // position 0
    QCOMPARE(rig.service.startUpdateFromMemory(buffer, S::Firmware), 0);
    rig.reply(deviceMessage(2));
    rig.reply(deviceMessage(2));
    const QList<QByteArray> sent = rig.sent();
    QCOMPARE(sent.size(), 3);
    const QByteArray padded = image + QByteArray(3, '\0');
    QCOMPARE(sent[1] + sent[2], padded);
    const OracleResult oracle = uploadOracle(padded, {}, 0);
    QVERIFY(oracle.ok);
    QCOMPARE(sent[0].mid(12), le32(1020) + le32(oracle.crc));
}

void TestSoftwareUpdate::startFromFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("firstMessage"); // empty: nothing may be sent
    QTest::addColumn<QString>("title"); // of the notification; empty: none

    QTest::newRow("fwb") << "fw.fwb" << true << 0 << int(S::UpdateCommandSend)
                         << (le32(0xDDCCBBAA) + le32(2) + le32(8)) << QString();
    QTest::newRow("feb") << "esp.feb" << true << 0 << int(S::UpdateCommandSend)
                         << (le32(0xDDCCBBAA) + le32(4) + le32(8)) << QString();
    QTest::newRow("apb") << "app.apb" << true << 0 << int(S::SeedRequested) << deviceMessage(1)
                         << QString();
    // Announcing an empty image would let the device erase its flash for nothing.
    QTest::newRow("missing fwb") << "gone.fwb" << false << -1 << int(S::UpdateError) << QByteArray()
                                 << "Upload firmware failed";
    QTest::newRow("missing apb") << "gone.apb" << false << -1 << int(S::UpdateError) << QByteArray()
                                 << "Upload binary failed";
    QTest::newRow("capital extension") << "fw.FWB" << true << -1 << int(S::UpdateError)
                                       << QByteArray() << "Upload firmware failed";
    QTest::newRow("unknown extension") << "fw.bin" << true << -1 << int(S::UpdateError)
                                       << QByteArray() << "Upload firmware failed";
}

void TestSoftwareUpdate::startFromFile()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    QFETCH(int, result);
    QFETCH(int, state);
    QFETCH(QByteArray, firstMessage);
    QFETCH(QString, title);

    QTemporaryDir dir(testRoot() + QStringLiteral("/images-XXXXXX"));
    const QString path = dir.filePath(name);
    const QByteArray image = randomBytes(1001, 5);
    if (exists) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    if (result != 0)
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Error: .* > ")));
    Rig rig;
    QCOMPARE(rig.service.startUpdateFromFile(QUrl::fromLocalFile(path), S::Firmware), result);
    QCOMPARE(int(rig.service.state()), state);
    const QList<QByteArray> sent = rig.sent();
    if (firstMessage.isEmpty()) {
        QCOMPARE(sent, QList<QByteArray>{});
    } else {
        QVERIFY(!sent.isEmpty());
        QVERIFY(sent.first().startsWith(firstMessage));
        if (firstMessage.size() == 12 && state == S::UpdateCommandSend)
            QCOMPARE(qFromLittleEndian<quint32>(sent.first().constData() + 12), 1004u);
    }
    const auto list = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(list.size(), title.isEmpty() ? 0 : 1);
    if (!title.isEmpty()) {
        QCOMPARE(list.first()->property("title").toString(), title);
        QCOMPARE(list.first()->getOrigin(), QStringLiteral("Binary uploader"));
        QCOMPARE(list.first()->getSource(), AbstractNotification::NimbrelLab);
    }
}

void TestSoftwareUpdate::deviceFailures_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<quint32>("reply");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("origin");

    QTest::newRow("failed, firmware")
        << int(S::Firmware) << 6u << int(S::UpdateError) << "Upload firmware failed"
        << "Uploading failed due to n unkown error. Try again."
        << "Binary uploader";
    QTest::newRow("timed out, app")
        << int(S::AppBinary) << 7u << int(S::TimedOut) << "Upload binary failed"
        << "Uploading failed due to a timeout. Try again."
        << "Binary uploader";
    QTest::newRow("app running, app")
        << int(S::AppBinary) << 9u << int(S::AppStillRunning) << "Upload binary failed"
        << "Application is still running. Stop the application before uploading new binaries"
        << "Binary uploaders";
}

// The device's failure replies set their state and raise a warning; after a time-out nothing the
// device sends counts until the next start, which begins afresh.
void TestSoftwareUpdate::deviceFailures()
{
    QFETCH(int, command);
    QFETCH(quint32, reply);
    QFETCH(int, state);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, origin);

    Rig rig;
    const QByteArray image = randomBytes(3000, 8);
    auto start = [&] {
        if (command == S::AppBinary) {
            rig.service.startSimBuild(imageBuffer(image));
            rig.reply(deviceMessage(1, le32(1) + le32(seedFromDevice)));
        } else {
            rig.service.startUpdateFromMemory(imageBuffer(image), S::UpdateCommand(command));
        }
        rig.reply(deviceMessage(3)); // first chunk
    };
    start();
    const qsizetype sentBefore = rig.sent().size();
    rig.reply(deviceMessage(reply));
    QCOMPARE(int(rig.service.state()), state);
    const auto list = ErrorHandler::instance()->getNotificationList();
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first()->property("title").toString(), title);
    QCOMPARE(list.first()->property("message").toString(), message);
    QCOMPARE(list.first()->getOrigin(), origin);
    QCOMPARE(list.first()->property("level").toInt(), int(nimbrel::Warning));

    QSignalSpy reconnect(&rig.service, &S::AddToAutoConnect);
    QSignalSpy version(&rig.service, &S::SetVersionESPReceived);
    rig.reply(deviceMessage(2));
    rig.reply(deviceMessage(5));
    rig.reply(deviceMessage(8, le32(1) + QByteArray("9.9.9").leftJustified(16, '\0')));
    if (state == S::TimedOut) {
        QCOMPARE(rig.sent().size(), sentBefore);
        QCOMPARE(reconnect.size(), 0);
        QCOMPARE(version.size(), 0);
        QCOMPARE(rig.service.state(), S::TimedOut);
    }

    // Starting again leaves any state and uploads the whole image.
    QSignalSpy states(&rig.service, &S::UpdateStateChanged);
    start();
    QCOMPARE(states.first().at(0).value<S::UpdateState>(), S::Started);
    for (int i = 0; i < 4; ++i)
        rig.reply(deviceMessage(2));
    rig.reply(deviceMessage(5));
    QCOMPARE(rig.service.state(), S::UpdateFinished);
    QCOMPARE(rig.service.percentage(), 100);
}

void TestSoftwareUpdate::malformedRepliesAreDropped_data()
{
    QTest::addColumn<QByteArray>("packet");
    const QByteArray seed = le32(1) + le32(seedFromDevice);
    QTest::newRow("11 bytes") << deviceMessage(1, seed).left(11);
    QTest::newRow("wrong magic") << (le32(0xDDCCBBAB) + le32(1) + le32(8) + seed);
    QTest::newRow("shorter than its length") << deviceMessage(1, seed).chopped(1);
    QTest::newRow("seed with extra bytes") << deviceMessage(1, seed) + QByteArray(1, '\0');
    // Two words are read from a seed reply: fewer bytes are no seed.
    QTest::newRow("seed of 4 bytes") << deviceMessage(1, le32(1));
    QTest::newRow("seed of 0 bytes") << deviceMessage(1);
    QTest::newRow("command 10") << deviceMessage(10);
    QTest::newRow("command 0") << deviceMessage(0);
    // A version reply holds a flag word and 16 bytes of text.
    QTest::newRow("version of 4 bytes") << deviceMessage(8, le32(1));
    QTest::newRow("version of 19 bytes") << deviceMessage(8, le32(1) + QByteArray(15, '7'));
}

void TestSoftwareUpdate::malformedRepliesAreDropped()
{
    QFETCH(QByteArray, packet);
    Rig rig;
    QCOMPARE(rig.service.startSimBuild(imageBuffer(randomBytes(100, 1))), 0);
    QSignalSpy states(&rig.service, &S::UpdateStateChanged);
    QSignalSpy version(&rig.service, &S::SetVersionESPReceived);
    QSignalSpy reconnect(&rig.service, &S::AddToAutoConnect);
    rig.reply(packet);
    QCOMPARE(rig.sent(), QList<QByteArray>{ deviceMessage(1) });
    QCOMPARE(states.size(), 0);
    QCOMPARE(version.size(), 0);
    QCOMPARE(reconnect.size(), 0);
    QCOMPARE(ErrorHandler::instance()->getNotificationCount(), 0u);
}

void TestSoftwareUpdate::versionReply_data()
{
    QTest::addColumn<quint32>("statedLength");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("reported");
    QTest::addColumn<QString>("version");

    const QByteArray text = QByteArray("3.2.1").leftJustified(16, '\0');
    QTest::newRow("zero-padded text") << 20u << le32(1) + text << true << "3.2.1";
    QTest::newRow("all 16 bytes used")
        << 20u << le32(1) + QByteArray("1234567890.12.14") << true << "1234567890.12.14";
    QTest::newRow("not verified") << 20u << le32(0) + text << false << QString();
    // The payload is everything behind the header, whatever length the header states, and the
    // text is its last 16 bytes.
    QTest::newRow("trailing bytes beyond the stated length")
        << 20u << le32(1) + text + QByteArray("ab") << true
        << QStringLiteral("2.1") + QString(11, QChar(0)) + QStringLiteral("ab");
    QTest::newRow("stated length covers the flag only")
        << 4u << le32(1) + QByteArray("4.0.0").leftJustified(16, '\0') << true << "4.0.0";
}

void TestSoftwareUpdate::versionReply()
{
    QFETCH(quint32, statedLength);
    QFETCH(QByteArray, payload);
    QFETCH(bool, reported);
    QFETCH(QString, version);

    Rig rig;
    QSignalSpy received(&rig.service, &S::SetVersionESPReceived);
    rig.reply(le32(0xDDCCBBAA) + le32(8) + le32(statedLength) + payload);
    QCOMPARE(received.size(), reported ? 1 : 0);
    if (reported) {
        QCOMPARE(received.first().at(0).toBool(), true);
        QCOMPARE(received.first().at(1).toString(), version);
    }
}

void TestSoftwareUpdate::wirelessVersionIsPolledUntilVerified()
{
    Rig rig;
    rig.service.setVersionPollInterval(20);
    QSignalSpy version(&rig.service, &S::SetVersionESPReceived);
    QCOMPARE(
        rig.service.startUpdateFromMemory(imageBuffer(randomBytes(500, 2)), S::WirelessFirmware),
        0);
    rig.reply(deviceMessage(4));
    QPointer<QTimer> poll = rig.service.versionPollTimer();
    QVERIFY(poll);
    QVERIFY(!poll->isActive()); // polls only once the device reports the upload finished
    rig.reply(deviceMessage(4));
    rig.reply(deviceMessage(5));
    QVERIFY(poll->isActive());

    const QByteArray query = deviceMessage(8);
    auto queries = [&] { return rig.sent().count(query); };
    QTRY_VERIFY_WITH_TIMEOUT(queries() >= 2, scaled(5000));
    rig.reply(deviceMessage(8, le32(0) + QByteArray("3.2.1").leftJustified(16, '\0')));
    const int afterUnverified = queries();
    QTRY_VERIFY_WITH_TIMEOUT(queries() > afterUnverified, scaled(5000));
    QCOMPARE(version.size(), 0);

    rig.reply(deviceMessage(8, le32(1) + QByteArray("3.2.1").leftJustified(16, '\0')));
    QCOMPARE(version.size(), 1);
    QCOMPARE(version.last().at(0).toBool(), true);
    QCOMPARE(version.last().at(1).toString(), QStringLiteral("3.2.1"));
    QVERIFY(!poll->isActive());

    // The next start drops the timer.
    rig.service.startUpdateFromMemory(imageBuffer(randomBytes(8, 2)), S::Firmware);
    QVERIFY(poll.isNull());
    QCOMPARE(rig.service.versionPollTimer(), nullptr);
}

void TestSoftwareUpdate::finishedOutsideSendingOnlyAsksForReconnection()
{
    Rig rig;
    QSignalSpy reconnect(&rig.service, &S::AddToAutoConnect);
    QSignalSpy states(&rig.service, &S::UpdateStateChanged);
    rig.reply(deviceMessage(5));
    QCOMPARE(reconnect.size(), 1);
    QCOMPARE(states.size(), 0);
    QCOMPARE(rig.service.state(), S::Started);

    // A ready reply before any start sends nothing either.
    rig.reply(deviceMessage(2));
    QCOMPARE(rig.sent(), QList<QByteArray>{});
}

// The firmware rows and the app-binary library reach the service through queued connections: the
// image and the command must survive the trip through the meta-type system.
void TestSoftwareUpdate::queuedStartCarriesTheImage()
{
    Rig rig;
    const QByteArray image = randomBytes(40, 4);
    QVERIFY(QMetaObject::invokeMethod(&rig.service, "startUpdateFromMemory", Qt::QueuedConnection,
                                      Q_ARG(SharedBinaryPtr, imageBuffer(image)),
                                      Q_ARG(SoftwareUpdate::UpdateCommand, S::Firmware)));
    QCOMPARE(rig.sent(), QList<QByteArray>{});
    QTRY_COMPARE_WITH_TIMEOUT(rig.service.state(), S::UpdateCommandSend, scaled(5000));
    rig.reply(deviceMessage(2));
    QCOMPARE(rig.sent().last(), image);
}

QTEST_GUILESS_MAIN(TestSoftwareUpdate)
#include "tst_softwareUpdate.moc"
