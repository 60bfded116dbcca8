#include "Aes256Cbc.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace nimbrel::test;

namespace {

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// openssl enc with standard PKCS#7 padding; ok is false when openssl rejects the input.
QByteArray opensslCbc(bool encrypt, const QByteArray &input, const QByteArray &key,
                      const QByteArray &iv, bool *ok)
{
    const ProcessResult result = runProcess(
        QStringLiteral("openssl"),
        { QStringLiteral("enc"), encrypt ? QStringLiteral("-e") : QStringLiteral("-d"),
          QStringLiteral("-aes-256-cbc"), QStringLiteral("-K"), QString::fromLatin1(key.toHex()),
          QStringLiteral("-iv"), QString::fromLatin1(iv.toHex()) },
        input);
    *ok = result.finished && result.exitCode == 0;
    return result.out;
}

} // namespace

class TestAes256Cbc : public QObject
{
    Q_OBJECT

private slots:
    void decryptsOpensslOutput_data();
    void decryptsOpensslOutput();
    void agreesWithOpensslOnBadInput_data();
    void agreesWithOpensslOnBadInput();
    void rejectsKeyAndIvSizes_data();
    void rejectsKeyAndIvSizes();
};

void TestAes256Cbc::decryptsOpensslOutput_data()
{
    QTest::addColumn<int>("size");
    for (int size : { 0, 1, 15, 16, 17, 31, 32, 1000, 1040, 65537 })
        QTest::addRow("%d bytes", size) << size;
}

void TestAes256Cbc::decryptsOpensslOutput()
{
    QFETCH(int, size);
    QRandomGenerator random(quint32(size) + 11u);
    const QByteArray key = randomBytes(random, 32);
    const QByteArray iv = randomBytes(random, 16);
    const QByteArray plain = randomBytes(random, size);

    bool ok = false;
    const QByteArray cipher = opensslCbc(true, plain, key, iv, &ok);
    QVERIFY(ok);
    QCOMPARE(cipher.size(), (size / 16 + 1) * 16);

    const QByteArray result = decryptAes256Cbc(cipher, key, iv);
    QVERIFY(!result.isNull()); // an empty plaintext is a success, not a failure
    QCOMPARE(result, plain);
}

void TestAes256Cbc::agreesWithOpensslOnBadInput_data()
{
    QTest::addColumn<QByteArray>("cipher");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("iv");

    QRandomGenerator random(4242u);
    const QByteArray key = randomBytes(random, 32);
    const QByteArray iv = randomBytes(random, 16);
    bool ok = false;
    const QByteArray cipher = opensslCbc(true, QByteArray(100, 'p'), key, iv, &ok);
    QVERIFY(ok);

    QByteArray wrongKey = key;
    wrongKey[0] = char(wrongKey[0] ^ 0x80);
    QByteArray lastBlockDamaged = cipher;
    lastBlockDamaged[lastBlockDamaged.size() - 1] = char(lastBlockDamaged.back() ^ 0x55);
    QByteArray ivDamaged = iv;
    ivDamaged[3] = char(ivDamaged[3] ^ 0x01);

    QTest::newRow("wrong key") << cipher << wrongKey << iv;
    QTest::newRow("last block damaged") << lastBlockDamaged << key << iv;
    QTest::newRow("one byte short") << cipher.chopped(1) << key << iv;
    QTest::newRow("one byte extra") << cipher + 'x' << key << iv;
    QTest::newRow("one byte") << QByteArray(1, 'x') << key << iv;
    QTest::newRow("empty") << QByteArray() << key << iv;
    QTest::newRow("damaged iv spoils only the first block") << cipher << key << ivDamaged;
}

// Whatever openssl accepts we decrypt to the same bytes; whatever it rejects gives null.
void TestAes256Cbc::agreesWithOpensslOnBadInput()
{
    QFETCH(QByteArray, cipher);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, iv);

    bool ok = false;
    const QByteArray expected = opensslCbc(false, cipher, key, iv, &ok);
    const QByteArray result = decryptAes256Cbc(cipher, key, iv);
    if (ok) {
        QVERIFY(!result.isNull());
        QCOMPARE(result, expected);
    } else {
        QVERIFY(result.isNull());
    }
}

void TestAes256Cbc::rejectsKeyAndIvSizes_data()
{
    QTest::addColumn<int>("keySize");
    QTest::addColumn<int>("ivSize");

    QTest::newRow("31-byte key") << 31 << 16;
    QTest::newRow("33-byte key") << 33 << 16;
    QTest::newRow("AES-128 key") << 16 << 16;
    QTest::newRow("no key") << 0 << 16;
    QTest::newRow("15-byte iv") << 32 << 15;
    QTest::newRow("17-byte iv") << 32 << 17;
    QTest::newRow("no iv") << 32 << 0;
}

void TestAes256Cbc::rejectsKeyAndIvSizes()
{
    QFETCH(int, keySize);
    QFETCH(int, ivSize);

    // A valid ciphertext for the first 32 / 16 bytes, so only the sizes can make it fail.
    QRandomGenerator random(7u);
    const QByteArray key = randomBytes(random, 40);
    const QByteArray iv = randomBytes(random, 20);
    bool ok = false;
    const QByteArray cipher = opensslCbc(true, "datagram", key.left(32), iv.left(16), &ok);
    QVERIFY(ok);
    QCOMPARE(decryptAes256Cbc(cipher, key.left(32), iv.left(16)), QByteArray("datagram"));

    QVERIFY(decryptAes256Cbc(cipher, key.left(keySize), iv.left(ivSize)).isNull());
}

QTEST_GUILESS_MAIN(TestAes256Cbc)
#include "tst_aes256Cbc.moc"
