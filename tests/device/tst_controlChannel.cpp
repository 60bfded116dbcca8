#include "ControlChannel.h"
#include "ServiceTestRig.h"

#include "TestSupport.h"

#include <QMetaEnum>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using namespace nimbrel::test;

using Request = std::function<void(const ControlChannel &)>;
Q_DECLARE_METATYPE(Request)

namespace {

// The request messages as the device expects them, built with struct and crcmod's CRC-32/MPEG-2
// (the checksum of the manufacturing records). Each stdin line is a Python expression; each
// stdout line is its message in hex, or "-" for None (nothing may be sent).
const char *kRequestOracle = R"(
import sys, struct, crcmod.predefined
crc = crcmod.predefined.mkCrcFun('crc-32-mpeg')
ACCESS = 0x5C27E190
def msg(code, payload=b''):
    return struct.pack('<HHB', len(payload) + 5, code, 0) + payload
def fuse_serial(serial):
    rec = serial.ljust(16, b'\0') + struct.pack('<II', len(serial), ACCESS)
    return rec + struct.pack('<I', crc(rec))
def fuse_keys(aes, srk):
    rec = aes + struct.pack('<8I', *srk) + struct.pack('<I', 0x2F91C7A6)
    return rec + struct.pack('<I', crc(rec))
def board_info(rev, rugged):
    rec = bytes([rev, rugged, 0, 0]) + struct.pack('<I', ACCESS)
    return rec + struct.pack('<I', crc(rec))
def board_info2(devtype, serial):
    body = struct.pack('<IiI', ACCESS, devtype, len(serial)) + serial.ljust(16, b'\0')
    return struct.pack('<I', crc(body)) + body
for line in sys.stdin.read().splitlines():
    value = eval(line)
    print('-' if value is None else value.hex())
)";

QByteArray reply(uint16_t code, uint8_t response, const QByteArray &payload)
{
    QByteArray m(5, '\0');
    qToLittleEndian<quint16>(quint16(payload.size() + 5), m.data());
    qToLittleEndian<quint16>(code, m.data() + 2);
    m[4] = char(response);
    return m + payload;
}

QByteArray le32(int32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<qint32>(v, b.data());
    return b;
}

QByteArray bytesOf(std::initializer_list<int> values)
{
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

// A pseudo-random record of `size` bytes, so that a decoded record is compared byte for byte.
QByteArray pattern(int size, int seed)
{
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char((i * 37 + seed * 11 + 5) & 0xFF);
    return b;
}

template<class Record> QVariant record(const QByteArray &bytes)
{
    Record r;
    std::copy_n(reinterpret_cast<const uint8_t *>(bytes.constData()), Record::Size,
                r.bytes.begin());
    return QVariant::fromValue(r);
}

QVariant rc(int response)
{
    return QVariant::fromValue(ControlChannel::ResponseCode(response));
}

QByteArray versionReply(uint32_t verified, const QByteArray &text, uint32_t bootMs,
                        uint32_t remainingMs)
{
    QByteArray b(28, '\0');
    qToLittleEndian<quint32>(verified, b.data());
    std::copy(text.begin(), text.end(), b.data() + 4);
    qToLittleEndian<quint32>(bootMs, b.data() + 20);
    qToLittleEndian<quint32>(remainingMs, b.data() + 24);
    return b;
}

struct Emission
{
    QByteArray signal;
    QVariantList args;
};

} // namespace

Q_DECLARE_METATYPE(Emission)

// Every signal ControlChannel declares, each with its own spy; emissions are listed signal by
// signal (emissions of one signal in order).
class SignalRecorder
{
public:
    explicit SignalRecorder(QObject *object)
    {
        const QMetaObject *mo = object->metaObject();
        for (int i = mo->methodOffset(); i < mo->methodCount(); ++i) {
            const QMetaMethod m = mo->method(i);
            if (m.methodType() == QMetaMethod::Signal)
                m_spies.emplace_back(m.name(), std::make_unique<QSignalSpy>(object, m));
        }
    }

    QList<Emission> emissions() const
    {
        QList<Emission> out;
        for (const auto &[name, spy] : m_spies)
            for (const QVariantList &args : *spy)
                out.append({ name, args });
        return out;
    }

private:
    std::vector<std::pair<QByteArray, std::unique_ptr<QSignalSpy>>> m_spies;
};

class TestControlChannel : public QObject
{
    Q_OBJECT

private slots:
    void requests_data();
    void requests();
    void replies_data();
    void replies();
    void shortReplyWarnedOncePerConnection_data();
    void shortReplyWarnedOncePerConnection();
    void otherChannelsNeverReachTheService();
    void typesTravelQueuedByTheirNames();
    void boardTypeNames_data();
    void boardTypeNames();
};

void TestControlChannel::requests_data()
{
    QTest::addColumn<Request>("request");
    QTest::addColumn<QByteArray>("expected"); // empty: nothing may be sent
    QTest::addColumn<bool>("warns");

    struct Row
    {
        const char *name;
        Request request;
        const char *oracle;
        bool warns = false;
    };
    const std::array<uint8_t, 16> aes = { 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                          0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF };
    const std::array<uint32_t, 8> srk
        = { 0x01020304u, 0xA0B0C0D0u, 0, 0xFFFFFFFFu, 5, 6, 7, 0x80000000u };
    ControlChannel::TimeDate date;
    date.second = 59;
    date.minute = 7;
    date.hour = 23;
    date.dayOfMonth = 29;
    date.month = 2;
    date.year = 2024;
    date.dayOfWeek = 4;
    date.dayOfYear = 60;
    ControlChannel::WifiState state;
    state.bytes = { 1, 0, 1 };
    ControlChannel::WifiSettings settings;
    for (int i = 0; i < ControlChannel::WifiSettings::Size; ++i)
        settings.bytes[i] = uint8_t(i * 7 + 3);

    const std::vector<Row> rows = {
        { "resetDevice", [](auto &c) { c.resetDevice(); }, "msg(1)" },
        { "getFuseSerial", [](auto &c) { c.getFuseSerial(); }, "msg(2)" },
        { "setFuseSerial", [](auto &c) { c.setFuseSerial("PLT-000123"); },
          "msg(3, fuse_serial(b'PLT-000123'))" },
        { "setFuseSerial 16 bytes", [](auto &c) { c.setFuseSerial("0123456789ABCDEF"); },
          "msg(3, fuse_serial(b'0123456789ABCDEF'))" },
        { "setFuseSerial 17 bytes sends nothing",
          [](auto &c) { c.setFuseSerial("0123456789ABCDEFG"); }, "None", true },
        { "goToSerialDownloaderMode", [](auto &c) { c.goToSerialDownloaderMode(); }, "msg(4)" },
        { "getDate", [](auto &c) { c.getDate(); }, "msg(6)" },
        { "setDate", [date](auto &c) { c.setDate(date); },
          "msg(7, struct.pack('<9i', 59, 7, 23, 29, 2, 2024, 4, 60, 0))" },
        { "open update service", [](auto &c) { c.openCloseUpdateService(true); },
          "msg(9, b'\\x01')" },
        { "close monitoring service", [](auto &c) { c.openCloseMonitoringService(false); },
          "msg(10, b'\\x00')" },
        { "open device messages", [](auto &c) { c.openCloseErrorChannelService(true); },
          "msg(11, b'\\x01')" },
        { "open file control", [](auto &c) { c.openCloseFileControlService(true); },
          "msg(12, b'\\x01')" },
        { "disconnectDevice", [](auto &c) { c.disconnectDevice(); }, "msg(13)" },
        { "setFuseKeys", [aes, srk](auto &c) { c.setFuseKeys(aes, srk); },
          "msg(14, fuse_keys(bytes.fromhex('00112233445566778899aabbccddeeff'), "
          "[0x01020304, 0xA0B0C0D0, 0, 0xFFFFFFFF, 5, 6, 7, 0x80000000]))" },
        { "restoreDefaultSettings", [](auto &c) { c.restoreDefaultSettings(); }, "msg(15)" },
        { "setBoardInfo", [](auto &c) { c.setBoardInfo(0xA7, true); },
          "msg(16, board_info(0xA7, 1))" },
        { "getBoardInfo", [](auto &c) { c.getBoardInfo(); }, "msg(17)" },
        { "setBoardInfo2",
          [](auto &c) { c.setBoardInfo2(orvdevice::Torvik_v1_5, QStringLiteral("TV15-0042")); },
          "msg(18, board_info2(23, b'TV15-0042'))" },
        { "setBoardInfo2 Latin-1 serial of 16 bytes",
          [](auto &c) {
              c.setBoardInfo2(orvdevice::EchoTestExtension,
                              QString::fromUtf8("S\u00d6RVYN-12345678"));
          },
          "msg(18, board_info2(256, 'S\u00d6RVYN-12345678'.encode('latin-1')))" },
        { "setBoardInfo2 ReadError type",
          [](auto &c) { c.setBoardInfo2(orvdevice::ReadError, QString()); },
          "msg(18, board_info2(-1, b''))" },
        { "setBoardInfo2 17 bytes sends nothing",
          [](auto &c) { c.setBoardInfo2(orvdevice::Rugged, QStringLiteral("0123456789ABCDEFG")); },
          "None", true },
        { "getBoardInfo2", [](auto &c) { c.getBoardInfo2(); }, "msg(19)" },
        { "getFirmwareVersion", [](auto &c) { c.getFirmwareVersion(); }, "msg(32)" },
        { "getAppVersion", [](auto &c) { c.getAppVersion(); }, "msg(33)" },
        { "getESPVersion", [](auto &c) { c.getESPVersion(); }, "msg(34)" },
        { "verifyFirmware", [](auto &c) { c.verifyFirmware(); }, "msg(35)" },
        { "verifyESPFirmware", [](auto &c) { c.verifyESPFirmware(); }, "msg(36)" },
        { "getFwImageDetails", [](auto &c) { c.getFwImageDetails(); }, "msg(37)" },
        { "getExtendedAppVersion", [](auto &c) { c.getExtendedAppVersion(); }, "msg(38)" },
        { "getMscState", [](auto &c) { c.getMscState(); }, "msg(64)" },
        { "mscInsert", [](auto &c) { c.mscInsert(); }, "msg(65)" },
        { "mscEject", [](auto &c) { c.mscEject(); }, "msg(66)" },
        { "setWifiState", [state](auto &c) { c.setWifiState(state); },
          "msg(96, bytes([1, 0, 1]))" },
        { "getWifiState", [](auto &c) { c.getWifiState(); }, "msg(97)" },
        { "setWifiSettings", [settings](auto &c) { c.setWifiSettings(settings); },
          "msg(98, bytes((i * 7 + 3) & 0xFF for i in range(404)))" },
        { "getWifiSettings", [](auto &c) { c.getWifiSettings(); }, "msg(99)" },
        { "getWifiIP", [](auto &c) { c.getWifiIP(); }, "msg(100)" },
        { "setWifiTxPower", [](auto &c) { c.setWifiTxPower(-12); },
          "msg(104, struct.pack('<i', -12))" },
        { "getWifiTxPower", [](auto &c) { c.getWifiTxPower(); }, "msg(105)" },
        { "getWifiAPInfo", [](auto &c) { c.getWifiAPInfo(); }, "msg(106)" },
        { "startStopApp start sends 0", [](auto &c) { c.startStopApp(true); },
          "msg(128, b'\\x00')" },
        { "startStopApp stop sends 1", [](auto &c) { c.startStopApp(false); },
          "msg(128, b'\\x01')" },
        { "getAppStatus", [](auto &c) { c.getAppStatus(); }, "msg(129)" },
        { "getExtModStatus", [](auto &c) { c.getExtModStatus(); }, "msg(130)" },
        { "getCurrentBuildID", [](auto &c) { c.getCurrentBuildID(); }, "msg(131)" },
        { "getAppName", [](auto &c) { c.getAppName(); }, "msg(132)" },
        { "resetESPToRecovery", [](auto &c) { c.resetESPToRecovery(); }, "msg(256)" },
    };

    QByteArray input;
    for (const Row &row : rows)
        input += QByteArray(row.oracle) + '\n';
    const ProcessResult oracle = runPython(QString::fromLatin1(kRequestOracle), {}, input);
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    const QList<QByteArray> lines = oracle.out.trimmed().split('\n');
    QCOMPARE(lines.size(), qsizetype(rows.size()));

    for (size_t i = 0; i < rows.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        QTest::newRow(rows[i].name)
            << rows[i].request << (line == "-" ? QByteArray() : QByteArray::fromHex(line))
            << rows[i].warns;
    }
}

void TestControlChannel::requests()
{
    QFETCH(Request, request);
    QFETCH(QByteArray, expected);
    QFETCH(bool, warns);

    ServiceRig rig;
    ControlChannel channel(nullptr, 1, true, &rig.manager);
    if (warns)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("longer than 16; nothing sent"));
    request(channel);

    bool reliable = false;
    const QList<QByteArray> sent = rig.link->payloads(1, &reliable);
    QCOMPARE(rig.link->frames.size(), expected.isEmpty() ? 0 : 1);
    if (expected.isEmpty())
        return;
    QCOMPARE(sent.size(), 1);
    QVERIFY(reliable);
    QCOMPARE(sent.first().toHex(), expected.toHex());
}

void TestControlChannel::replies_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QList<Emission>>("expected");
    QTest::addColumn<QByteArray>("sentCodes"); // u16 codes the channel sent in answer, as bytes

    using CC = ControlChannel;
    const QVariant noSerial = QVariant::fromValue(std::array<char, 16>{});
    auto serial = [](const char *text) {
        std::array<char, 16> s{};
        std::copy_n(text, qstrlen(text), s.begin());
        return QVariant::fromValue(s);
    };
    auto fuseReply = [](const QByteArray &bytes16, uint32_t length) {
        return bytes16.leftJustified(16, '\0', true) + le32(int32_t(length));
    };
    auto status = [](CC::AppStatus s) { return QVariant::fromValue(s); };
    auto msc = [](CC::MSCStatus s) { return QVariant::fromValue(s); };

    CC::TimeDate date;
    date.second = 1;
    date.minute = 2;
    date.hour = 3;
    date.dayOfMonth = 31;
    date.month = 12;
    date.year = 2023;
    date.dayOfWeek = 7;
    date.dayOfYear = 365;
    date.reserved = -9;
    const QByteArray dateBytes = le32(1) + le32(2) + le32(3) + le32(31) + le32(12) + le32(2023)
        + le32(7) + le32(365) + le32(-9);

    CC::BoardInfo2 board;
    board.checksum = 0xDEADBEEF;
    board.accessWord = CC::ManufacturingAccessWord;
    board.deviceType = orvdevice::Sorvyn;
    board.serialLength = 5;
    std::copy_n("SV-01", 5, board.serial.begin());
    const QByteArray boardBytes = le32(int32_t(0xDEADBEEF)) + le32(int32_t(0x5C27E190)) + le32(16)
        + le32(5) + QByteArray("SV-01").leftJustified(16, '\0');

    const QByteArray none;
    const QByteArray verifyFw = bytesOf({ 35, 0 });
    const QByteArray verifyEsp = bytesOf({ 36, 0 });

    auto row = [](const char *name, const QByteArray &frame, const QList<Emission> &expected,
                  const QByteArray &sent = QByteArray()) {
        QTest::newRow(name) << frame << expected << sent;
    };

    row("reset", reply(1, 2, {}), { { "ResetReceived", { rc(2) } } });
    row("response-only passes an unknown response on", reply(1, 7, "xyz"),
        { { "ResetReceived", { rc(7) } } });
    row("set fuse serial", reply(3, 4, {}), { { "SetFuseSerialReceived", { rc(4) } } });
    row("serial downloader", reply(4, 2, {}),
        { { "GoToSerialDownloaderModeReceived", { rc(2) } } });

    // Fuse serial: exactly 20 bytes, at most 16 serial bytes used.
    row("fuse serial", reply(2, 2, fuseReply("PLT-7", 5)),
        { { "GetFuseSerialReceived", { rc(2), serial("PLT-7") } } });
    row("fuse serial keeps only length bytes", reply(2, 2, fuseReply("ABCDEFGH", 3)),
        { { "GetFuseSerialReceived", { rc(2), serial("ABC") } } });
    row("fuse serial length 17 fails", reply(2, 2, fuseReply("ABCDEFGH", 17)),
        { { "GetFuseSerialReceived", { rc(4), noSerial } } });
    row("fuse serial 19 bytes fails", reply(2, 2, fuseReply("ABC", 3).left(19)),
        { { "GetFuseSerialReceived", { rc(4), noSerial } } });
    row("fuse serial nothing to report", reply(2, 3, fuseReply("ABC", 3)),
        { { "GetFuseSerialReceived", { rc(3), noSerial } } });

    // Date: a short answer is a failure, not a read past the payload.
    row("date", reply(6, 2, dateBytes),
        { { "GetDateReceived", { rc(2), QVariant::fromValue(date) } } });
    row("date with trailing bytes", reply(6, 2, dateBytes + "zz"),
        { { "GetDateReceived", { rc(2), QVariant::fromValue(date) } } });
    row("date 35 bytes fails", reply(6, 2, dateBytes.left(35)),
        { { "GetDateReceived", { rc(4), QVariant::fromValue(CC::TimeDate()) } } });
    row("date nothing to report", reply(6, 3, dateBytes),
        { { "GetDateReceived", { rc(3), QVariant::fromValue(CC::TimeDate()) } } });
    row("set date", reply(7, 2, {}), { { "SetDateReceived", { rc(2) } } });

    // Service switches: a malformed answer first reports a failure, then the device's own.
    row("update service opened", reply(9, 2, bytesOf({ 1 })),
        { { "OpenCloseUpdateServiceReceived", { rc(2), true } } });
    row("monitoring two bytes", reply(10, 2, bytesOf({ 1, 0 })),
        { { "OpenCloseMonitoringServiceReceived", { rc(4), false } },
          { "OpenCloseMonitoringServiceReceived", { rc(2), true } } });
    row("device messages empty", reply(11, 2, {}),
        { { "OpenCloseErrorChannelServiceReceived", { rc(4), false } },
          { "OpenCloseErrorChannelServiceReceived", { rc(2), false } } });
    row("file control refused", reply(12, 4, bytesOf({ 0 })),
        { { "OpenCloseFileControlServiceReceived", { rc(4), false } } });

    row("disconnect is never decoded", reply(13, 2, {}), {});
    row("set fuse keys", reply(14, 2, {}), { { "SetFuseKeysReceived", { rc(2) } } });
    row("restore defaults", reply(15, 2, {}), { { "RestoreDefaultSettingsReceived", { rc(2) } } });
    row("set board info", reply(16, 2, {}), { { "SetBoardInfoReceived", { rc(2) } } });

    row("board info", reply(17, 2, bytesOf({ 5, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 })),
        { { "GetBoardInfoReceived", { rc(2), QVariant::fromValue(uint8_t(5)), true } } });
    row("board info 11 bytes fails", reply(17, 2, QByteArray(11, '\x05')),
        { { "GetBoardInfoReceived", { rc(4), QVariant::fromValue(uint8_t(0)), false } } });
    row("board info nothing to report", reply(17, 3, QByteArray(12, '\x05')),
        { { "GetBoardInfoReceived", { rc(3), QVariant::fromValue(uint8_t(0)), false } } });

    row("set board info 2", reply(18, 2, {}), { { "SetBoardInfo2Received", { rc(2) } } });
    row("board info 2", reply(19, 2, boardBytes),
        { { "GetBoardInfo2Received", { rc(2), QVariant::fromValue(board) } } });
    row("board info 2 longer", reply(19, 2, boardBytes + "more"),
        { { "GetBoardInfo2Received", { rc(2), QVariant::fromValue(board) } } });
    row("board info 2 31 bytes fails", reply(19, 2, boardBytes.left(31)),
        { { "GetBoardInfo2Received", { rc(4), QVariant::fromValue(CC::BoardInfo2()) } } });
    row("board info 2 failure", reply(19, 4, boardBytes),
        { { "GetBoardInfo2Received", { rc(4), QVariant::fromValue(CC::BoardInfo2()) } } });

    // Firmware and wireless-module versions.
    row("firmware verified", reply(32, 2, versionReply(1, "1.4.2", 30000, 12500)),
        { { "GetFwVersionReceived", { true, QString("1.4.2"), 30000, 12500 } } });
    row("firmware unverified is verified at once",
        reply(32, 2, versionReply(0, "1.2.3", 30000, 29000)),
        { { "GetFwVersionReceived", { false, QString("1.2.3"), 30000, 29000 } } }, verifyFw);
    row("firmware placeholder", reply(32, 2, versionReply(0, "FwVersionError", 0, 0)),
        { { "GetFwVersionReceived", { false, QString(), 0, 0 } } });
    row("firmware placeholder is case-sensitive",
        reply(32, 2, versionReply(0, "fwversionerror", 0, 0)),
        { { "GetFwVersionReceived", { false, QString("fwversionerror"), 0, 0 } } }, verifyFw);
    row("firmware text fills 16 bytes", reply(32, 2, versionReply(1, "0123456789abcdef", 1, 2)),
        { { "GetFwVersionReceived", { true, QString("0123456789abcdef"), 1, 2 } } });
    row("firmware 27 bytes is dropped", reply(32, 2, versionReply(0, "1.2.3", 1, 2).left(27)), {});
    row("firmware nothing to report", reply(32, 3, versionReply(1, "1.2.3", 1, 2)), {});
    row("app version", reply(33, 2, versionReply(1, "2.0.1", 0, 0).left(20)),
        { { "GetAppVersionReceived", { true, QString("2.0.1") } } });
    row("app version 19 bytes is dropped", reply(33, 2, versionReply(1, "2.0.1", 0, 0).left(19)),
        {});
    row("esp unverified", reply(34, 2, versionReply(2, "v5.1", 0, 0)),
        { { "GetESPVersionReceived", { false, QString("v5.1") } } }, verifyEsp);
    row("esp placeholder", reply(34, 2, versionReply(0, "NoESPAvailable", 0, 0)),
        { { "GetESPVersionReceived", { false, QString() } } });
    // The wireless module's version has the firmware's 28-byte layout, not the app version's 20.
    row("esp 20 bytes is dropped", reply(34, 2, versionReply(0, "v5.1", 0, 0).left(20)), {});
    row("esp 27 bytes is dropped", reply(34, 2, versionReply(0, "v5.1", 0, 0).left(27)), {});
    row("verify firmware", reply(35, 4, {}), { { "VerifyFirmwareReceived", { rc(4) } } });
    row("verify esp", reply(36, 2, {}), { { "VerifyESPFirmwareReceived", { rc(2) } } });

    row("image details", reply(37, 2, pattern(12, 1)),
        { { "GetFwImageDetailsReceived", { rc(2), record<CC::ImageDetails>(pattern(12, 1)) } } });
    row("image details 13 bytes fails", reply(37, 2, pattern(13, 1)),
        { { "GetFwImageDetailsReceived", { rc(4), QVariant::fromValue(CC::ImageDetails()) } } });
    row("image details nothing to report", reply(37, 3, pattern(12, 1)),
        { { "GetFwImageDetailsReceived", { rc(3), QVariant::fromValue(CC::ImageDetails()) } } });

    row("extended version", reply(38, 2, QByteArray("3.1.0-rc2+g1a2b\0junk", 20)),
        { { "GetExtendedAppVersionReceived", { true, QString("3.1.0-rc2+g1a2b") } } });
    row("extended version nothing to report", reply(38, 3, {}),
        { { "GetExtendedAppVersionReceived", { true, QString() } } });
    row("extended version failure", reply(38, 4, {}), {});

    row("msc state", reply(64, 2, bytesOf({ 1 })),
        { { "GetMscStateReceived", { rc(2), msc(CC::NotMounted) } } });
    row("msc state empty", reply(64, 3, {}),
        { { "GetMscStateReceived", { rc(3), msc(CC::AlreadyMounted) } } });
    row("msc state failure", reply(64, 4, bytesOf({ 1 })),
        { { "GetMscStateReceived", { rc(4), msc(CC::NotAttached) } } });
    row("msc insert failure", reply(65, 4, {}),
        { { "MscInsertReceived", { rc(4), msc(CC::AlreadyMounted) } } });
    row("msc eject failure", reply(66, 4, {}),
        { { "MscEjectReceived", { rc(4), msc(CC::NotMounted) } } });

    // Fixed-size records: one signal for every reply.
    row("set wifi state", reply(96, 2, {}), { { "SetWifiStateReceived", { rc(2) } } });
    row("wifi state", reply(97, 2, bytesOf({ 1, 0, 1 })),
        { { "GetWifiStateReceived", { rc(2), record<CC::WifiState>(bytesOf({ 1, 0, 1 })) } } });
    row("wifi state 2 bytes fails", reply(97, 2, bytesOf({ 1, 1 })),
        { { "GetWifiStateReceived", { rc(4), QVariant::fromValue(CC::WifiState()) } } });
    row("wifi state nothing to report with a record", reply(97, 3, bytesOf({ 1, 1, 1 })),
        { { "GetWifiStateReceived", { rc(3), QVariant::fromValue(CC::WifiState()) } } });
    row("set wifi settings", reply(98, 2, {}), { { "SetWifiSettingsReceived", { rc(2) } } });
    row("wifi settings", reply(99, 2, pattern(404, 2)),
        { { "GetWifiSettingsReceived", { rc(2), record<CC::WifiSettings>(pattern(404, 2)) } } });
    row("wifi settings nothing to report", reply(99, 3, {}),
        { { "GetWifiSettingsReceived", { rc(3), QVariant::fromValue(CC::WifiSettings()) } } });
    row("wifi settings refused", reply(99, 4, {}),
        { { "GetWifiSettingsReceived", { rc(4), QVariant::fromValue(CC::WifiSettings()) } } });
    row("wifi settings 403 bytes fails", reply(99, 2, pattern(403, 2)),
        { { "GetWifiSettingsReceived", { rc(4), QVariant::fromValue(CC::WifiSettings()) } } });
    row("wifi ip", reply(100, 2, pattern(208, 3)),
        { { "GetWifiIPReceived", { rc(2), record<CC::WifiIP>(pattern(208, 3)) } } });
    row("set tx power", reply(104, 2, {}), { { "SetWifiTxPowerReceived", { rc(2) } } });
    row("tx power", reply(105, 2, le32(-7)), { { "GetWifiTxPowerReceived", { rc(2), -7 } } });
    row("tx power nothing to report", reply(105, 3, {}),
        { { "GetWifiTxPowerReceived", { rc(3), 0 } } });
    row("ap info", reply(106, 2, pattern(44, 4)),
        { { "GetWifiAPInfoReceived", { rc(2), record<CC::WifiAPInfo>(pattern(44, 4)) } } });

    row("app started", reply(128, 2, bytesOf({ 3 })),
        { { "StartStopAppReceived", { rc(2), status(CC::Running) } } });
    row("app status failure", reply(129, 4, bytesOf({ 3 })),
        { { "GetAppStatusReceived", { rc(4), status(CC::Unknown) } } });
    row("app status empty", reply(129, 3, {}),
        { { "GetAppStatusReceived", { rc(3), status(CC::NotLoaded) } } });
    row("ext mode open", reply(130, 2, bytesOf({ 1 })),
        { { "GetExtModStatusReceived", { rc(2), true } } });
    row("ext mode empty", reply(130, 2, {}), { { "GetExtModStatusReceived", { rc(2), false } } });
    row("ext mode failure", reply(130, 4, bytesOf({ 1 })),
        { { "GetExtModStatusReceived", { rc(4), false } } });
    row("build id", reply(131, 2, QByteArray("\x01\x00\xfe\x42", 4)),
        { { "GetCurrentBuildIDReceived", { rc(2), QByteArray("\x01\x00\xfe\x42", 4) } } });
    row("build id nothing to report", reply(131, 3, {}),
        { { "GetCurrentBuildIDReceived", { rc(3), QByteArray() } } });
    row("build id failure", reply(131, 4, {}), {});
    row("app name", reply(132, 2, QByteArray("Pendel\xc3\xa9\0xx", 10)),
        { { "GetAppNameReceived", { QString::fromUtf8("Pendel\u00e9") } } });
    row("app name nothing to report", reply(132, 3, {}),
        { { "GetAppNameReceived", { QString() } } });
    row("app name failure", reply(132, 4, {}), {});
    row("esp recovery", reply(256, 2, {}), { { "ResetESPToRecoveryReceived", { rc(2) } } });

    // Frames that are not decoded.
    row("unknown code 5", reply(5, 2, {}), {});
    row("unknown code 257", reply(257, 2, {}), {});
    row("unknown code 200", reply(200, 2, {}), {});
    row("shorter than a header", reply(1, 2, {}).left(4), {});
    row("shorter than its length field", reply(1, 2, "abc").left(7), {});
    QByteArray shortLength = reply(130, 2, bytesOf({ 1 }));
    shortLength[0] = 3;
    row("length below the header keeps the rest", shortLength,
        { { "GetExtModStatusReceived", { rc(2), true } } });
    row("bytes after the length are ignored", reply(97, 2, bytesOf({ 1, 0, 1 })) + "zz",
        { { "GetWifiStateReceived", { rc(2), record<CC::WifiState>(bytesOf({ 1, 0, 1 })) } } });
}

void TestControlChannel::replies()
{
    QFETCH(QByteArray, frame);
    QFETCH(QList<Emission>, expected);
    QFETCH(QByteArray, sentCodes);

    ServiceRig rig;
    ControlChannel channel(nullptr, 1, true, &rig.manager);
    SignalRecorder recorder(&channel);
    rig.link->inject(1, frame);

    const QList<Emission> got = recorder.emissions();
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i) {
        QCOMPARE(got[i].signal, expected[i].signal);
        QCOMPARE(got[i].args.size(), expected[i].args.size());
        for (qsizetype a = 0; a < got[i].args.size(); ++a)
            QVERIFY2(got[i].args[a] == expected[i].args[a],
                     qPrintable(QStringLiteral("%1 argument %2").arg(got[i].signal).arg(a)));
    }

    QByteArray sent;
    for (const QByteArray &message : rig.link->payloads(1)) {
        QCOMPARE(message.size(), 5);
        sent += message.mid(2, 2);
    }
    QCOMPARE(sent.toHex(), sentCodes.toHex());
}

void TestControlChannel::shortReplyWarnedOncePerConnection_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("warning");

    const QByteArray version = versionReply(0, "1.2.3", 1, 2);
    QTest::newRow("firmware version of 20 bytes")
        << reply(32, 2, version.left(20)) << "Firmware version reply (control code 32)";
    QTest::newRow("ESP version of 20 bytes")
        << reply(34, 2, version.left(20)) << "ESP version reply (control code 34)";
    QTest::newRow("app version of 19 bytes")
        << reply(33, 2, version.left(19)) << "App version reply (control code 33)";
    QTest::newRow("date of 35 bytes")
        << reply(6, 2, pattern(35, 6)) << "Date reply (control code 6)";
}

// A device that answers short does so to every poll; one warning per connection says it.
void TestControlChannel::shortReplyWarnedOncePerConnection()
{
    QFETCH(QByteArray, frame);
    QFETCH(QString, warning);

    ServiceRig rig;
    ControlChannel channel(nullptr, 1, true, &rig.manager);
    const QRegularExpression pattern(QRegularExpression::escape(warning) + " too short");
    QTest::failOnWarning(pattern);
    for (int connection = 0; connection < 2; ++connection) {
        QTest::ignoreMessage(QtWarningMsg, pattern);
        for (int poll = 0; poll < 4; ++poll)
            rig.link->inject(1, frame);
        // The device is let go and taken again.
        QSignalSpy connected(&rig.manager, &DatalinkManager::isConnected);
        rig.manager.setActiveDatalinkConnection(AbstractDataLink::None);
        rig.manager.handleSetActiveDatalinkReceived(AbstractDataLink::None, true);
        rig.manager.setActiveDatalinkConnection(AbstractDataLink::USB);
        rig.manager.handleSetActiveDatalinkReceived(AbstractDataLink::USB, true);
        QCOMPARE(connected.size(), 2);
        QVERIFY(connected.last().at(0).toBool());
    }
}

void TestControlChannel::otherChannelsNeverReachTheService()
{
    ServiceRig rig;
    ControlChannel channel(nullptr, 1, true, &rig.manager);
    SignalRecorder recorder(&channel);
    for (uint16_t other : { 0, 2, 5, 6, 257 })
        rig.link->inject(other, reply(1, 2, {}));
    QCOMPARE(recorder.emissions().size(), 0);
    rig.link->inject(1, reply(1, 2, {}));
    QCOMPARE(recorder.emissions().size(), 1);
}

void TestControlChannel::typesTravelQueuedByTheirNames()
{
    ServiceRig rig;
    ControlChannel channel(nullptr, 1, true, &rig.manager);
    for (const char *name : { "ResponseCode", "WifiSettings", "WifiState" })
        QVERIFY2(QMetaType::fromName(name).isValid(), name);
    QCOMPARE(QMetaType::fromName("ResponseCode"),
             QMetaType::fromType<ControlChannel::ResponseCode>());
    QCOMPARE(QMetaType::fromName("WifiSettings"),
             QMetaType::fromType<ControlChannel::WifiSettings>());

    // A queued receiver gets the record intact.
    ControlChannel::WifiSettings received;
    int calls = 0;
    connect(
        &channel, &ControlChannel::GetWifiSettingsReceived, this,
        [&](ControlChannel::ResponseCode, ControlChannel::WifiSettings s) {
            received = s;
            ++calls;
        },
        Qt::QueuedConnection);
    rig.link->inject(1, reply(99, 2, pattern(404, 9)));
    QVERIFY(waitFor([&] { return calls == 1; }));
    QCOMPARE(QVariant::fromValue(received), record<ControlChannel::WifiSettings>(pattern(404, 9)));
}

void TestControlChannel::boardTypeNames_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("key"); // meta-enum key, empty for values without one

    QTest::newRow("-1") << -1 << "Unknown device" << QByteArray("ReadError");
    const char *shields[] = { "NoShield", "ShieldJST", "ShieldTerm", "ShieldM8", "ShieldX4",
                              "ShieldX5", "ShieldX6",  "ShieldX7",   "ShieldX8", "ShieldX9" };
    for (int i = 0; i <= 9; ++i)
        QTest::addRow("%d", i) << i << "Pelto Exploration" << QByteArray(shields[i]);
    QTest::newRow("10") << 10 << "Pelto Industrial" << QByteArray("Industrial");
    QTest::newRow("11") << 11 << "NXP evaluation kit" << QByteArray("EVK");
    QTest::newRow("12") << 12 << "Pelto Development board" << QByteArray("PeltoDevboard");
    QTest::newRow("13") << 13 << "Torvik" << QByteArray("Torvik");
    QTest::newRow("14") << 14 << "Unknown device" << QByteArray("TestBoard");
    QTest::newRow("15") << 15 << "Pelto Rugged" << QByteArray("Rugged");
    QTest::newRow("16") << 16 << "Sorvyn" << QByteArray("Sorvyn");
    QTest::newRow("17") << 17 << "Pelto CES" << QByteArray("Pelto_CES");
    QTest::newRow("18") << 18 << "Torvik v1.3" << QByteArray("Torvik_v1_3");
    QTest::newRow("19") << 19 << "Torvik v1.2" << QByteArray("Torvik_v1_2");
    QTest::newRow("20") << 20 << "Torvik v1.2.1" << QByteArray("Torvik_v1_2_1");
    QTest::newRow("21") << 21 << "Torvik v1.4" << QByteArray("Torvik_v1_4");
    QTest::newRow("22") << 22 << "Quintar v1.0" << QByteArray("Quintar_v1_0");
    QTest::newRow("23") << 23 << "Torvik v1.5" << QByteArray("Torvik_v1_5");
    QTest::newRow("24") << 24 << "Unknown device" << QByteArray();
    QTest::newRow("255") << 255 << "Unknown device" << QByteArray();
    QTest::newRow("256") << 256 << "Echo test extension" << QByteArray("EchoTestExtension");
    QTest::newRow("257") << 257 << "Unknown device" << QByteArray();
}

void TestControlChannel::boardTypeNames()
{
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(QByteArray, key);

    QCOMPARE(extendedDeviceTypeName(type), name);
    const QMetaEnum meta = QMetaEnum::fromType<orvdevice::ExtendedDeviceType>();
    if (key.isEmpty()) {
        QVERIFY(!meta.valueToKey(type));
    } else {
        bool ok = false;
        QCOMPARE(meta.keyToValue(key.constData(), &ok), type);
        QVERIFY(ok);
    }
}

QTEST_GUILESS_MAIN(TestControlChannel)
#include "tst_controlChannel.moc"
