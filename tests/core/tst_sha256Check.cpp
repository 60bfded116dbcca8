#include "Sha256Check.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace nimbrel::test;

namespace {

// The digest as sha256sum prints it (lower-case hex).
QByteArray sha256sumHex(const QByteArray &data)
{
    const ProcessResult result = runProcess(QStringLiteral("sha256sum"), {}, data);
    if (!result.finished || result.exitCode != 0)
        return {};
    return result.out.left(64);
}

QByteArray sha256sumRaw(const QByteArray &data)
{
    return QByteArray::fromHex(sha256sumHex(data));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString sh(const QString &script)
{
    const ProcessResult result
        = runProcess(QStringLiteral("sh"), { QStringLiteral("-ec"), script });
    return result.finished && result.exitCode == 0 ? QString() : QString::fromLocal8Bit(result.err);
}

} // namespace

class TestSha256Check : public QObject
{
    Q_OBJECT

private slots:
    void verifySha256_data();
    void verifySha256();
    void verifySha256String_data();
    void verifySha256String();
    void splitsTrailerWithoutTouchingFile_data();
    void splitsTrailerWithoutTouchingFile();
    void unusableFilesGiveNullTrailer_data();
    void unusableFilesGiveNullTrailer();
};

void TestSha256Check::verifySha256_data()
{
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");

    const QByteArray data("the version catalogue");
    const QByteArray digest = sha256sumRaw(data);
    QVERIFY(digest.size() == 32);
    QByteArray flipped = digest;
    flipped[31] = char(flipped[31] ^ 1);

    QTest::newRow("match") << digest << data << 0;
    QTest::newRow("empty data") << sha256sumRaw(QByteArray()) << QByteArray() << 0;
    QTest::newRow("last bit differs") << flipped << data << -1;
    QTest::newRow("other data") << digest << QByteArray("the version catalogue!") << -1;
    QTest::newRow("31 agreeing bytes are too short") << digest.left(31) << data << -1;
    QTest::newRow("bytes after the digest are ignored")
        << digest + QByteArray(8, '\x5A') << data << 0;
    QTest::newRow("no expected digest") << QByteArray() << data << -1;
}

void TestSha256Check::verifySha256()
{
    QFETCH(QByteArray, expected);
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QCOMPARE(::verifySha256(expected, data), result);
}

void TestSha256Check::verifySha256String_data()
{
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("result");

    const QByteArray data("firmware image");
    const QString hex = QString::fromLatin1(sha256sumHex(data));
    QCOMPARE(hex.size(), 64);

    QTest::newRow("lower-case hex") << hex << data << 0;
    QTest::newRow("upper-case hex") << hex.toUpper() << data << 0;
    QTest::newRow("63 hex digits are raw text") << hex.left(63) << data << -1;
    QTest::newRow("65 characters are raw text") << hex + QLatin1Char('0') << data << -1;
    QTest::newRow("empty text") << QString() << data << -1;
    QTest::newRow("wrong digest") << QString::fromLatin1(sha256sumHex("other")) << data << -1;
    QString spaced = hex;
    spaced[10] = QLatin1Char(' ');
    spaced[11] = QLatin1Char(' ');
    QTest::newRow("64 characters with blanks") << spaced << data << -1;

    // A digest whose first nibble is 0: dropping a foreign first character and decoding the rest
    // would still give the right 32 bytes. Such a text is damaged and must not match.
    const QByteArray zeroNibble("payload-16");
    const QString zeroHex = QString::fromLatin1(sha256sumHex(zeroNibble));
    QVERIFY(zeroHex.startsWith(QLatin1Char('0')));
    QTest::newRow("zero nibble, control") << zeroHex << zeroNibble << 0;
    QTest::newRow("zero nibble replaced by z")
        << QLatin1Char('z') + zeroHex.mid(1) << zeroNibble << -1;
    QTest::newRow("zero nibble replaced by non-ASCII")
        << QChar(0x00E9) + zeroHex.mid(1) << zeroNibble << -1;
}

void TestSha256Check::verifySha256String()
{
    QFETCH(QString, expected);
    QFETCH(QByteArray, data);
    QFETCH(int, result);
    QCOMPARE(::verifySha256String(expected, data), result);
}

void TestSha256Check::splitsTrailerWithoutTouchingFile_data()
{
    QTest::addColumn<int>("payloadSize");
    QTest::addColumn<bool>("tamper");

    QTest::newRow("empty payload (file of exactly 32 bytes)") << 0 << false;
    QTest::newRow("one byte") << 1 << false;
    QTest::newRow("catalogue-sized") << 4099 << false;
    QTest::newRow("large") << 300000 << false;
    QTest::newRow("tampered payload") << 4099 << true;
}

void TestSha256Check::splitsTrailerWithoutTouchingFile()
{
    QFETCH(int, payloadSize);
    QFETCH(bool, tamper);

    // The fixture is built by the shell: payload, then the raw digest of the payload.
    const QString dir = testRoot();
    const QString payloadPath = dir + QStringLiteral("/payload.bin");
    const QString filePath = dir + QStringLiteral("/versionInfo.data");
    const QString error
        = sh(QStringLiteral("head -c %1 /dev/urandom > '%2'\n"
                            "{ cat '%2'; sha256sum '%2' | cut -d' ' -f1 | xxd -r -p; }"
                            " > '%3'")
                 .arg(payloadSize)
                 .arg(payloadPath, filePath));
    QVERIFY2(error.isEmpty(), qPrintable(error));
    if (tamper)
        QVERIFY(sh(QStringLiteral("printf 'X' | dd of='%1' bs=1 seek=100 conv=notrunc 2>/dev/null")
                       .arg(filePath))
                    .isEmpty());

    const QByteArray before = readFile(filePath);
    QCOMPARE(before.size(), payloadSize + 32);

    const ChecksumTrailerSplit split = stripChecksumTrailer(filePath);
    QVERIFY(split.isValid());
    QCOMPARE(split.trailer, before.right(32));
    QCOMPARE(split.payload, before.left(payloadSize));
    QCOMPARE(::verifySha256(split.trailer, split.payload), tamper ? -1 : 0);

    // The file is only read: a second call sees the same trailer, and the bytes are unchanged.
    const ChecksumTrailerSplit again = stripChecksumTrailer(filePath);
    QCOMPARE(again.trailer, split.trailer);
    QCOMPARE(again.payload, split.payload);
    QCOMPARE(readFile(filePath), before);
}

void TestSha256Check::unusableFilesGiveNullTrailer_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<int>("fileSize"); // -1: no file, -2: a directory

    QTest::newRow("missing") << QStringLiteral("missing.data") << -1;
    QTest::newRow("directory") << QStringLiteral("folder.data") << -2;
    QTest::newRow("empty") << QStringLiteral("empty.data") << 0;
    QTest::newRow("10 bytes") << QStringLiteral("short.data") << 10;
    QTest::newRow("31 bytes") << QStringLiteral("almost.data") << 31;
}

void TestSha256Check::unusableFilesGiveNullTrailer()
{
    QFETCH(QString, relativePath);
    QFETCH(int, fileSize);

    const QString path = testRoot() + QLatin1Char('/') + relativePath;
    QByteArray contents;
    if (fileSize == -2) {
        QVERIFY(QDir().mkpath(path));
    } else if (fileSize >= 0) {
        contents = QByteArray(fileSize, 'a');
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(contents), qint64(fileSize));
    }

    const ChecksumTrailerSplit split = stripChecksumTrailer(path);
    QVERIFY(!split.isValid());
    QVERIFY(split.trailer.isNull());
    QVERIFY(split.payload.isEmpty());
    if (fileSize >= 0)
        QCOMPARE(readFile(path), contents);
    else if (fileSize == -1)
        QVERIFY(!QFile::exists(path));
}

QTEST_GUILESS_MAIN(TestSha256Check)
#include "tst_sha256Check.moc"
