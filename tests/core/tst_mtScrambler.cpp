#include "MtScrambler.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace nimbrel::test;

namespace {

// Python's random module is MT19937 and accepts any 624-word state: the seeding with multiplier
// 6069 is rebuilt here, the core and the tempering are Python's.
const char *kPythonMt = R"(
import sys, random
def generator(seed):
    state = [seed & 0xFFFFFFFF]
    for _ in range(623):
        state.append(state[-1] * 6069 & 0xFFFFFFFF)
    r = random.Random()
    r.setstate((3, tuple(state) + (624,), None))
    return r
)";

// Reads lines "seed <s>" and "apply <hex>"; prints each scrambled buffer, then the number of
// rotations by a multiple of 32 it went through. Without a seed both generators start from 4357.
const char *kPythonScramble = R"(
a, b = generator(4357), generator(4357)
rot0 = 0
for line in sys.stdin.read().splitlines():
    op, arg = (line.split(' ') + [''])[:2]
    if op == 'seed':
        a = generator(int(arg))
        b = generator(a.getrandbits(32))
        continue
    data = bytearray.fromhex(arg)
    for i in range(0, len(data), 4):
        w = int.from_bytes(data[i:i + 4], 'little')
        k, c = a.getrandbits(32), b.getrandbits(32)
        if c % 4 == 0:
            w ^= k
        elif c % 4 == 1:
            n = k % 32
            rot0 += n == 0
            w = ((w << n) | (w >> (32 - n))) & 0xFFFFFFFF
        elif c % 4 == 2:
            w = (w + k) & 0xFFFFFFFF
        data[i:i + 4] = w.to_bytes(4, 'little')
    print(data.hex())
print(rot0)
)";

QByteArray randomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

} // namespace

class TestMtScrambler : public QObject
{
    Q_OBJECT

private slots:
    void generatorMatchesPython_data();
    void generatorMatchesPython();
    void scrambleMatchesPython_data();
    void scrambleMatchesPython();
    void threePassMatchesPython();
    void refusesBadCalls_data();
    void refusesBadCalls();
    void seedIsIgnoredOutsideMode1();
};

void TestMtScrambler::generatorMatchesPython_data()
{
    QTest::addColumn<bool>("seeded");
    QTest::addColumn<qint64>("seed");

    QTest::newRow("never seeded draws as 4357") << false << qint64(4357);
    QTest::newRow("seed 0") << true << qint64(0);
    QTest::newRow("seed 1") << true << qint64(1);
    QTest::newRow("seed 4357") << true << qint64(4357);
    QTest::newRow("seed 0x12345678") << true << qint64(0x12345678);
    QTest::newRow("seed 0xFFFFFFFF") << true << qint64(0xFFFFFFFF);
}

void TestMtScrambler::generatorMatchesPython()
{
    QFETCH(bool, seeded);
    QFETCH(qint64, seed);

    constexpr int draws = 1500; // crosses two regenerations
    MtScrambler::Generator generator;
    if (seeded)
        generator.seed(quint32(seed));
    QByteArray ours;
    for (int i = 0; i < draws; ++i)
        ours += QByteArray::number(generator.next()) + '\n';

    const ProcessResult python
        = runPython(QString::fromLatin1(kPythonMt)
                    + QStringLiteral("r = generator(%1)\n"
                                     "for _ in range(%2): print(r.getrandbits(32))\n")
                          .arg(seed)
                          .arg(draws));
    QVERIFY2(python.finished && python.exitCode == 0, python.err.constData());
    QCOMPARE(ours, python.out);
}

void TestMtScrambler::scrambleMatchesPython_data()
{
    QTest::addColumn<QString>("script"); // "seed <s>" or "apply <bytes>", separated by ';'

    QTest::newRow("seeded, 1018-byte chunk") << QStringLiteral("seed 305419896;apply 1016");
    QTest::newRow("continues over calls") << QStringLiteral("seed 7;apply 1016;apply 8;apply 4000");
    QTest::newRow("same seed twice starts over")
        << QStringLiteral("seed 7;apply 64;seed 7;apply 64");
    QTest::newRow("negative seed") << QStringLiteral("seed -559038737;apply 4096");
    QTest::newRow("never seeded") << QStringLiteral("apply 2496");
    QTest::newRow("empty buffer") << QStringLiteral("seed 3;apply 0;apply 16");
    // More than 65535 words in one call.
    QTest::newRow("65538 words") << QStringLiteral("seed 11;apply 262152");
}

void TestMtScrambler::scrambleMatchesPython()
{
    QFETCH(QString, script);

    QRandomGenerator random(qHash(script));
    MtScrambler scrambler;
    scrambler.setMode(1);
    QByteArray input;
    QList<QByteArray> results;
    QByteArray storage;
    for (const QString &step : script.split(QLatin1Char(';'))) {
        const QStringList parts = step.split(QLatin1Char(' '));
        const int value = parts.at(1).toInt();
        if (parts.at(0) == QLatin1String("seed")) {
            QCOMPARE(scrambler.seed(value), 0);
            input += "seed " + QByteArray::number(value) + '\n';
            continue;
        }
        const QByteArray words = randomBytes(random, value);
        input += "apply " + words.toHex() + '\n';
        // One byte off a word boundary: the scrambler must not rely on alignment.
        storage = QByteArray(1, 'x') + words;
        QCOMPARE(scrambler.apply(storage.data() + 1, quint32(value), 1), 0);
        results << storage.mid(1);
    }

    const ProcessResult python = runPython(
        QString::fromLatin1(kPythonMt) + QString::fromLatin1(kPythonScramble), {}, input);
    QVERIFY2(python.finished && python.exitCode == 0, python.err.constData());
    QList<QByteArray> expected = python.out.split('\n');
    QCOMPARE(expected.size(), results.size() + 2); // one line per buffer, the count, a last '\n'
    expected.removeLast();
    for (int i = 0; i < results.size(); ++i)
        QCOMPARE(results[i].toHex(), expected[i]);
    if (script.contains(QLatin1String("262152"))) // long enough to rotate by 0 somewhere
        QVERIFY(expected.last().toInt() > 0);
}

void TestMtScrambler::threePassMatchesPython()
{
    QRandomGenerator random(3u);
    const QByteArray material = randomBytes(random, 48); // key and IV
    QByteArray scrambled = material;
    scrambleThreePass(scrambled.data(), quint32(scrambled.size()), 0x1F2E3D4C, -42, 977);

    const QByteArray input = "seed " + QByteArray::number(0x1F2E3D4C) + "\napply "
        + material.toHex() + "\nseed -42\napply\nseed 977\napply\n";
    // Each apply after the first works on the previous result.
    const QString chained = QString::fromLatin1(kPythonScramble)
                                .replace(QStringLiteral("data = bytearray.fromhex(arg)"),
                                         QStringLiteral("data = bytearray.fromhex(arg) if arg "
                                                        "else data"));
    const ProcessResult python = runPython(QString::fromLatin1(kPythonMt) + chained, {}, input);
    QVERIFY2(python.finished && python.exitCode == 0, python.err.constData());
    const QList<QByteArray> lines = python.out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QCOMPARE(scrambled.toHex(), lines[2]);
}

void TestMtScrambler::refusesBadCalls_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("result");

    QTest::newRow("6 bytes") << 6 << 1 << -22;
    QTest::newRow("1 byte") << 1 << 1 << -22;
    QTest::newRow("mode 2") << 8 << 2 << -1;
    QTest::newRow("mode 0") << 8 << 0 << -1;
    QTest::newRow("mode is checked first") << 6 << 0 << -1;
}

void TestMtScrambler::refusesBadCalls()
{
    QFETCH(int, length);
    QFETCH(int, mode);
    QFETCH(int, result);

    const QByteArray original("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    QByteArray buffer = original;
    MtScrambler scrambler;
    scrambler.setMode(1);
    QCOMPARE(scrambler.seed(5), 0);
    QCOMPARE(scrambler.apply(buffer.data(), quint32(length), mode), result);
    QCOMPARE(buffer, original);

    // The three-pass helper stops at the first refusal.
    if (result == -22) {
        scrambleThreePass(buffer.data(), quint32(length), 1, 2, 3);
        QCOMPARE(buffer, original);
    }
}

// A refused seed leaves the generators as they were: here, never seeded.
void TestMtScrambler::seedIsIgnoredOutsideMode1()
{
    QRandomGenerator random(17u);
    const QByteArray words = randomBytes(random, 256);

    MtScrambler refused;
    QCOMPARE(refused.mode(), 0);
    QCOMPARE(refused.seed(1234), -1);
    refused.setMode(2);
    QCOMPARE(refused.seed(1234), -1);
    QByteArray a = words;
    QCOMPARE(refused.apply(a.data(), quint32(a.size()), 1), 0);

    MtScrambler unseeded;
    QByteArray b = words;
    QCOMPARE(unseeded.apply(b.data(), quint32(b.size()), 1), 0);
    QCOMPARE(a, b);
    QVERIFY(a != words);
}

QTEST_GUILESS_MAIN(TestMtScrambler)
#include "tst_mtScrambler.moc"
