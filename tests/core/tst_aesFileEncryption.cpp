#include "AesEngine.h"
#include "AesFileEncryption.h"
#include "AesKeySchedule.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>

using namespace nimbrel::test;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

int keyLengthFor(int level)
{
    return level == 1 ? 24 : (level == 2 ? 32 : 16);
}

// Both block functions the program can run on: every check below runs on each.
QList<const AesEngine *> engines()
{
    QList<const AesEngine *> list{ &aesTableEngine() };
    if (const AesEngine *instructions = aesInstructionEngine())
        list << instructions;
    return list;
}

const AesEngine &engineNamed(const QByteArray &name)
{
    for (const AesEngine *engine : engines()) {
        if (name == engine->name)
            return *engine;
    }
    qFatal("no block function named %s", name.constData());
}

void addEngineRows()
{
    QTest::addColumn<QByteArray>("engine");
    for (const AesEngine *engine : engines())
        QTest::newRow(engine->name) << QByteArray(engine->name);
}

// python3-cryptography as the oracle. "E:mode:padding:key:iv:plain" pads as the padding rule says
// (PKCS#7 from the library; zeros; 0x80 and zeros only when the text is not whole blocks) and
// prints "padded:cipher"; "D:mode:key:iv:cipher" decrypts as a stream and prints the plain text.
const char *kCryptographyOracle = R"(
import sys
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives import padding
MODES = {'0': modes.CBC, '1': modes.CFB, '2': modes.OFB}
for line in sys.stdin.read().splitlines():
    f = line.split(':')
    if f[0] == 'E':
        mode, pad, key, iv, plain = f[1], f[2], *map(bytes.fromhex, f[3:])
        if pad == '1':
            p = padding.PKCS7(128).padder()
            padded = p.update(plain) + p.finalize()
        else:
            n = -len(plain) % 16
            padded = plain + (b'\x80' + bytes(n - 1) if pad == '2' and n else bytes(n))
        e = Cipher(algorithms.AES(key), MODES[mode](iv)).encryptor()
        print(padded.hex() + ':' + (e.update(padded) + e.finalize()).hex())
    else:
        mode, key, iv, cipher = f[1], *map(bytes.fromhex, f[2:])
        d = Cipher(algorithms.AES(key), MODES[mode](iv)).decryptor()
        print((d.update(cipher) + d.finalize()).hex())
)";

QList<QByteArray> runOracle(const QByteArray &input)
{
    const ProcessResult result = runPython(QString::fromLatin1(kCryptographyOracle), {}, input);
    if (!result.finished || result.exitCode != 0) {
        qWarning("oracle failed: %s", result.err.constData());
        return {};
    }
    return result.out.split('\n');
}

} // namespace

class TestAesFileEncryption : public QObject
{
    Q_OBJECT

private slots:
    void instructionsRunHere();
    void publishedVectors_data();
    void publishedVectors();
    void expandKey_data();
    void expandKey();
    void matchesOpensslEnc_data();
    void matchesOpensslEnc();
    void roundTripsMatchCryptography_data() { addEngineRows(); }
    void roundTripsMatchCryptography();
    void partialStreamBlocksMatchCryptography_data() { addEngineRows(); }
    void partialStreamBlocksMatchCryptography();
    void oneScheduleManyMessages_data();
    void oneScheduleManyMessages();
    void rejectsBadParameters_data();
    void rejectsBadParameters();
    void clearedScheduleIsWipedAndRefused();
};

// The AES instructions are only checked where the processor has them; say so when it does not.
void TestAesFileEncryption::instructionsRunHere()
{
    if (!aesInstructionEngine())
        QSKIP("no AES instructions on this processor: only the table rounds are checked");
    QCOMPARE(engines().size(), 2);
}

void TestAesFileEncryption::publishedVectors_data()
{
    QTest::addColumn<QByteArray>("engine");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("iv");
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("cipher");

    for (const AesEngine *engine : engines()) {
        auto row = [&](const char *name) -> QTestData & {
            return QTest::addRow("%s: %s", engine->name, name) << QByteArray(engine->name);
        };
        // NIST SP 800-38A, appendix F.
        const QByteArray k128 = hex("2b7e151628aed2a6abf7158809cf4f3c");
        const QByteArray k192 = hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
        const QByteArray k256
            = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
        const QByteArray iv = hex("000102030405060708090a0b0c0d0e0f");
        const QByteArray plain = hex("6bc1bee22e409f96e93d7e117393172a"
                                     "ae2d8a571e03ac9c9eb76fac45af8e51"
                                     "30c81c46a35ce411e5fbc1191a0a52ef"
                                     "f69f2445df4f9b17ad2b417be66c3710");
        row("F.2.1 CBC-AES128") << 0 << 0 << k128 << iv << plain
                                << hex("7649abac8119b246cee98e9b12e9197d"
                                       "5086cb9b507219ee95db113a917678b2"
                                       "73bed6b8e3c1743b7116e69e22229516"
                                       "3ff1caa1681fac09120eca307586e1a7");
        row("F.2.3 CBC-AES192") << 1 << 0 << k192 << iv << plain
                                << hex("4f021db243bc633d7178183a9fa071e8"
                                       "b4d9ada9ad7dedf4e5e738763f69145a"
                                       "571b242012fb7ae07fa9baac3df102e0"
                                       "08b0e27988598881d920a9e64f5615cd");
        row("F.2.5 CBC-AES256") << 2 << 0 << k256 << iv << plain
                                << hex("f58c4c04d6e5f1ba779eabfb5f7bfbd6"
                                       "9cfc4e967edb808d679f777bc6702c7d"
                                       "39f23369a9d9bacfa530e26304231461"
                                       "b2eb05e2c39be9fcda6c19078c6a9d1b");
        row("F.3.13 CFB128-AES128") << 0 << 1 << k128 << iv << plain
                                    << hex("3b3fd92eb72dad20333449f8e83cfb4a"
                                           "c8a64537a0b3a93fcde3cdad9f1ce58b"
                                           "26751f67a3cbb140b1808cf187a4f4df"
                                           "c04b05357c5d1c0eeac4c66f9ff7f2e6");
        row("F.3.15 CFB128-AES192") << 1 << 1 << k192 << iv << plain
                                    << hex("cdc80d6fddf18cab34c25909c99a4174"
                                           "67ce7f7f81173621961a2b70171d3d7a"
                                           "2e1e8a1dd59b88b1c8e60fed1efac4c9"
                                           "c05f9f9ca9834fa042ae8fba584b09ff");
        row("F.3.17 CFB128-AES256") << 2 << 1 << k256 << iv << plain
                                    << hex("dc7e84bfda79164b7ecd8486985d3860"
                                           "39ffed143b28b1c832113c6331e5407b"
                                           "df10132415e54b92a13ed0a8267ae2f9"
                                           "75a385741ab9cef82031623d55b1e471");
        row("F.4.1 OFB-AES128") << 0 << 2 << k128 << iv << plain
                                << hex("3b3fd92eb72dad20333449f8e83cfb4a"
                                       "7789508d16918f03f53c52dac54ed825"
                                       "9740051e9c5fecf64344f7a82260edcc"
                                       "304c6528f659c77866a510d9c1d6ae5e");
        row("F.4.3 OFB-AES192") << 1 << 2 << k192 << iv << plain
                                << hex("cdc80d6fddf18cab34c25909c99a4174"
                                       "fcc28b8d4c63837c09e81700c1100401"
                                       "8d9a9aeac0f6596f559c6d4daf59a5f2"
                                       "6d9f200857ca6c3e9cac524bd9acc92a");
        row("F.4.5 OFB-AES256") << 2 << 2 << k256 << iv << plain
                                << hex("dc7e84bfda79164b7ecd8486985d3860"
                                       "4febdc6740d20b3ac88f6ad82a4fb08d"
                                       "71ab47a086e86eedf39d1c5bba97c408"
                                       "0126141d67f37be8538f5a8be740e484");

        // FIPS 197, appendix C: one block, so CBC with a zero IV is the bare cipher.
        const QByteArray zeroIv(16, '\0');
        const QByteArray block = hex("00112233445566778899aabbccddeeff");
        row("FIPS 197 C.1 AES-128") << 0 << 0 << hex("000102030405060708090a0b0c0d0e0f") << zeroIv
                                    << block << hex("69c4e0d86a7b0430d8cdb78070b4c55a");
        row("FIPS 197 C.2 AES-192")
            << 1 << 0 << hex("000102030405060708090a0b0c0d0e0f1011121314151617") << zeroIv << block
            << hex("dda97ca4864cdfe06eaf70a0ec0d7191");
        row("FIPS 197 C.3 AES-256")
            << 2 << 0 << hex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f")
            << zeroIv << block << hex("8ea2b7ca516745bfeafc49904b496089");
    }
}

void TestAesFileEncryption::publishedVectors()
{
    QFETCH(QByteArray, engine);
    QFETCH(int, level);
    QFETCH(int, mode);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, iv);
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, cipher);

    // Whole blocks: zero padding and ISO/IEC 7816-4 padding add nothing.
    for (int padding : { AesFileEncryption::ZeroPadding, AesFileEncryption::Iso7816 }) {
        const AesFileEncryption aes(level, mode, padding, engineNamed(engine));
        QCOMPARE(aes.encode(plain, key, iv).toHex(), cipher.toHex());
        QCOMPARE(aes.decode(cipher, key, iv).toHex(), plain.toHex());
    }
}

void TestAesFileEncryption::expandKey_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("wordIndex");
    QTest::addColumn<QByteArray>("word");

    // FIPS 197, appendix A.
    const QByteArray k128 = hex("2b7e151628aed2a6abf7158809cf4f3c");
    const QByteArray k192 = hex("8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b");
    const QByteArray k256 = hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    QTest::newRow("A.1 w4") << 0 << k128 << 4 << hex("a0fafe17");
    QTest::newRow("A.1 w43") << 0 << k128 << 43 << hex("b6630ca6");
    QTest::newRow("A.2 w6") << 1 << k192 << 6 << hex("fe0c91f7");
    QTest::newRow("A.2 w51") << 1 << k192 << 51 << hex("01002202");
    QTest::newRow("A.3 w8") << 2 << k256 << 8 << hex("9ba35411");
    QTest::newRow("A.3 w12 (extra SubWord)") << 2 << k256 << 12 << hex("a8b09c1a");
    QTest::newRow("A.3 w59") << 2 << k256 << 59 << hex("706c631e");
}

void TestAesFileEncryption::expandKey()
{
    QFETCH(int, level);
    QFETCH(QByteArray, key);
    QFETCH(int, wordIndex);
    QFETCH(QByteArray, word);

    const AesFileEncryption aes(level, AesFileEncryption::Cbc, AesFileEncryption::Pkcs7);
    const QByteArray expanded = aes.expandKey(key);
    QCOMPARE(expanded.size(), (aes.rounds() + 1) * 16);
    QCOMPARE(expanded.left(key.size()), key);
    QCOMPARE(expanded.mid(4 * wordIndex, 4).toHex(), word.toHex());
}

void TestAesFileEncryption::matchesOpensslEnc_data()
{
    QTest::addColumn<QByteArray>("engine");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mode");
    const char *modeNames[] = { "cbc", "cfb", "ofb" };
    for (const AesEngine *engine : engines()) {
        for (int level = 0; level < 3; ++level) {
            for (int mode = 0; mode < 3; ++mode) {
                QTest::addRow("%s: aes-%d-%s", engine->name, 128 + 64 * level, modeNames[mode])
                    << QByteArray(engine->name) << level << mode;
            }
        }
    }
}

void TestAesFileEncryption::matchesOpensslEnc()
{
    QFETCH(QByteArray, engine);
    QFETCH(int, level);
    QFETCH(int, mode);
    const char *modeNames[] = { "cbc", "cfb", "ofb" };

    QRandomGenerator random(quint32(100 + 3 * level + mode));
    const QByteArray key = randomBytes(random, keyLengthFor(level));
    const QByteArray iv = randomBytes(random, 16);
    const QByteArray plain = randomBytes(random, 16 * 65); // a padded 1040-byte datagram

    const ProcessResult openssl = runProcess(
        QStringLiteral("openssl"),
        { QStringLiteral("enc"),
          QStringLiteral("-aes-%1-%2").arg(128 + 64 * level).arg(QLatin1String(modeNames[mode])),
          QStringLiteral("-K"), QString::fromLatin1(key.toHex()), QStringLiteral("-iv"),
          QString::fromLatin1(iv.toHex()), QStringLiteral("-nopad") },
        plain);
    QVERIFY2(openssl.finished && openssl.exitCode == 0, openssl.err.constData());
    QCOMPARE(openssl.out.size(), plain.size());

    const AesFileEncryption aes(level, mode, AesFileEncryption::ZeroPadding, engineNamed(engine));
    QCOMPARE(aes.encode(plain, key, iv).toHex(), openssl.out.toHex());
    QCOMPARE(aes.decode(openssl.out, key, iv).toHex(), plain.toHex());
}

// Every level, mode and padding (and an out-of-range level and padding) over lengths around the
// block boundaries, including the empty text.
void TestAesFileEncryption::roundTripsMatchCryptography()
{
    QFETCH(QByteArray, engine);
    const AesEngine &blocks = engineNamed(engine);
    struct Case
    {
        int level, mode, padding;
        QByteArray key, iv, plain, cipher;
    };
    QList<Case> cases;
    QRandomGenerator random(0xAE5u);
    QByteArray input;
    for (int level : { 0, 1, 2, 7 }) {
        for (int mode = 0; mode < 3; ++mode) {
            for (int padding : { 0, 1, 2, 5 }) {
                for (int size : { 0, 1, 15, 16, 17, 32, 33, random.bounded(1, 200) }) {
                    Case c{ level,
                            mode,
                            padding,
                            randomBytes(random, keyLengthFor(level)),
                            randomBytes(random, 16),
                            randomBytes(random, size),
                            {} };
                    c.cipher = AesFileEncryption(level, mode, padding, blocks)
                                   .encode(c.plain, c.key, c.iv);
                    input += "E:" + QByteArray::number(mode) + ':' + QByteArray::number(padding)
                        + ':' + c.key.toHex() + ':' + c.iv.toHex() + ':' + c.plain.toHex() + '\n';
                    cases << c;
                }
            }
        }
    }
    const QList<QByteArray> oracle = runOracle(input);
    QVERIFY(oracle.size() > cases.size());

    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        const QList<QByteArray> fields = oracle[i].split(':');
        QCOMPARE(fields.size(), 2);
        const QByteArray where = QByteArrayLiteral("level %1 mode %2 padding %3 size %4")
                                     .replace("%1", QByteArray::number(c.level))
                                     .replace("%2", QByteArray::number(c.mode))
                                     .replace("%3", QByteArray::number(c.padding))
                                     .replace("%4", QByteArray::number(c.plain.size()));
        QVERIFY2(c.cipher.toHex() == fields[1], where.constData());
        // decode gives the padded text back, padding included.
        const QByteArray decoded
            = AesFileEncryption(c.level, c.mode, c.padding, blocks).decode(c.cipher, c.key, c.iv);
        QVERIFY2(decoded.toHex() == fields[0], where.constData());
    }
}

// CFB and OFB decode a trailing partial block as a stream cipher does: as many output bytes as
// input bytes, from the first bytes of the key-stream block.
void TestAesFileEncryption::partialStreamBlocksMatchCryptography()
{
    QFETCH(QByteArray, engine);
    const AesEngine &blocks = engineNamed(engine);
    struct Case
    {
        int level, mode;
        QByteArray key, iv, cipher, plain;
    };
    QList<Case> cases;
    QRandomGenerator random(0x5EA3u);
    QByteArray input;
    for (int level = 0; level < 3; ++level) {
        for (int mode : { 1, 2 }) {
            for (int size : { 1, 15, 17, 31, 33, 50, 1039 }) {
                Case c{ level,
                        mode,
                        randomBytes(random, keyLengthFor(level)),
                        randomBytes(random, 16),
                        randomBytes(random, size),
                        {} };
                c.plain = AesFileEncryption(level, mode, 1, blocks).decode(c.cipher, c.key, c.iv);
                input += "D:" + QByteArray::number(mode) + ':' + c.key.toHex() + ':' + c.iv.toHex()
                    + ':' + c.cipher.toHex() + '\n';
                cases << c;
            }
        }
    }
    const QList<QByteArray> oracle = runOracle(input);
    QVERIFY(oracle.size() > cases.size());
    for (int i = 0; i < cases.size(); ++i) {
        const Case &c = cases[i];
        QCOMPARE(c.plain.size(), c.cipher.size());
        QCOMPARE(c.plain.toHex(), oracle[i]);
    }
}

void TestAesFileEncryption::rejectsBadParameters_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("keySize");
    QTest::addColumn<int>("ivSize");
    QTest::addColumn<int>("textSize");
    QTest::addColumn<bool>("encodeFails");
    QTest::addColumn<bool>("decodeFails");

    QTest::newRow("control") << 2 << 0 << 32 << 16 << 32 << false << false;
    QTest::newRow("AES-256 with a 16-byte key") << 2 << 0 << 16 << 16 << 32 << true << true;
    QTest::newRow("AES-256 with a 31-byte key") << 2 << 1 << 31 << 16 << 32 << true << true;
    QTest::newRow("AES-128 with a 32-byte key") << 0 << 2 << 32 << 16 << 32 << true << true;
    QTest::newRow("AES-256 with a 24-byte key") << 2 << 0 << 24 << 16 << 32 << true << true;
    QTest::newRow("AES-192 with no key") << 1 << 0 << 0 << 16 << 32 << true << true;
    QTest::newRow("15-byte iv") << 2 << 0 << 32 << 15 << 32 << true << true;
    QTest::newRow("17-byte iv") << 2 << 1 << 32 << 17 << 32 << true << true;
    QTest::newRow("negative mode") << 2 << -1 << 32 << 16 << 32 << true << true;
    QTest::newRow("unknown mode") << 2 << 3 << 32 << 16 << 32 << true << true;
    QTest::newRow("CBC partial block") << 2 << 0 << 32 << 16 << 33 << false << true;
    QTest::newRow("CBC single byte") << 2 << 0 << 32 << 16 << 1 << false << true;
}

void TestAesFileEncryption::rejectsBadParameters()
{
    QFETCH(int, level);
    QFETCH(int, mode);
    QFETCH(int, keySize);
    QFETCH(int, ivSize);
    QFETCH(int, textSize);
    QFETCH(bool, encodeFails);
    QFETCH(bool, decodeFails);

    QRandomGenerator random(99u);
    const QByteArray key = randomBytes(random, keySize);
    const QByteArray iv = randomBytes(random, ivSize);
    const QByteArray text = randomBytes(random, textSize);
    const AesFileEncryption aes(level, mode, AesFileEncryption::Pkcs7);
    QCOMPARE(aes.encode(text, key, iv).isEmpty(), encodeFails);
    QCOMPARE(aes.decode(text, key, iv).isEmpty(), decodeFails);
    QCOMPARE(aes.expandKey(key).isEmpty(), keySize != aes.keyLength());
    // The same through a schedule made beforehand, which may be one of another level.
    const AesKeySchedule keys(key);
    QCOMPARE(aes.encode(text, keys, iv).isEmpty(), encodeFails);
    QCOMPARE(aes.decode(text, keys, iv).isEmpty(), decodeFails);
    QVERIFY(aes.encode(text, AesKeySchedule(), iv).isEmpty());
    QVERIFY(aes.decode(text, AesKeySchedule(), iv).isEmpty());
}

void TestAesFileEncryption::oneScheduleManyMessages_data()
{
    QTest::addColumn<QByteArray>("engine");
    QTest::addColumn<int>("level");
    for (const AesEngine *engine : engines()) {
        for (int level = 0; level < 3; ++level) {
            QTest::addRow("%s: AES-%d", engine->name, 128 + 64 * level)
                << QByteArray(engine->name) << level;
        }
    }
}

// What the Wi-Fi link does: the key scheduled once, then many messages with their own IVs, in
// every mode; the schedule is only read, so every message matches the oracle.
void TestAesFileEncryption::oneScheduleManyMessages()
{
    QFETCH(QByteArray, engine);
    QFETCH(int, level);

    QRandomGenerator random(quint32(0x5C4E + level));
    const QByteArray key = randomBytes(random, keyLengthFor(level));
    const AesKeySchedule keys(key);
    QVERIFY(keys.isValid());
    QCOMPARE(keys.keyLength(), key.size());

    struct Message
    {
        int mode;
        QByteArray iv, plain, cipher, decoded;
    };
    QList<Message> messages;
    QByteArray input;
    for (int round = 0; round < 2; ++round) {
        for (int mode = 0; mode < 3; ++mode) {
            for (int size : { 0, 5, 16 * 9 + 3, 1024 }) {
                const AesFileEncryption aes(level, mode, AesFileEncryption::Pkcs7,
                                            engineNamed(engine));
                Message m{ mode, randomBytes(random, 16), randomBytes(random, size), {}, {} };
                m.cipher = aes.encode(m.plain, keys, m.iv);
                m.decoded = aes.decode(m.cipher, keys, m.iv);
                input += "E:" + QByteArray::number(mode) + ":1:" + key.toHex() + ':' + m.iv.toHex()
                    + ':' + m.plain.toHex() + '\n';
                messages << m;
            }
        }
    }
    const QList<QByteArray> oracle = runOracle(input);
    QVERIFY(oracle.size() > messages.size());
    for (int i = 0; i < messages.size(); ++i) {
        const QList<QByteArray> fields = oracle[i].split(':');
        QCOMPARE(fields.size(), 2);
        QCOMPARE(messages[i].cipher.toHex(), fields[1]);
        QCOMPARE(messages[i].decoded.toHex(), fields[0]);
    }
}

// The schedule is key material: clearing it leaves no round key behind and it is refused after.
void TestAesFileEncryption::clearedScheduleIsWipedAndRefused()
{
    QRandomGenerator random(7u);
    const QByteArray key = randomBytes(random, 32);
    const QByteArray iv = randomBytes(random, 16);
    const QByteArray text = randomBytes(random, 48);
    const AesFileEncryption aes(AesFileEncryption::Aes256, AesFileEncryption::Cbc,
                                AesFileEncryption::ZeroPadding);

    AesKeySchedule keys(key);
    const AesKeySchedule copy = keys;
    const QByteArray cipher = aes.encode(text, keys, iv);
    QCOMPARE(cipher, aes.encode(text, key, iv));
    const auto isZero = [](const std::uint8_t *bytes) {
        return std::all_of(bytes, bytes + (AesKeySchedule::MaxRounds + 1) * 16,
                           [](std::uint8_t b) { return b == 0; });
    };
    QVERIFY(!isZero(keys.encryptionKeys()) && !isZero(keys.decryptionKeys()));

    keys.clear();
    QVERIFY(!keys.isValid());
    QVERIFY(isZero(keys.encryptionKeys()));
    QVERIFY(isZero(keys.decryptionKeys()));
    QVERIFY(aes.encode(text, keys, iv).isEmpty());
    QVERIFY(aes.decode(cipher, keys, iv).isEmpty());
    // A copy is a schedule of its own.
    QCOMPARE(aes.decode(cipher, copy, iv), text);
}

QTEST_GUILESS_MAIN(TestAesFileEncryption)
#include "tst_aesFileEncryption.moc"
