#include "Crc32.h"
#include "Crc32Kernels.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace nimbrel::test;

namespace {

using CrcFunction = std::uint32_t (*)(std::uint32_t, const void *, std::uint64_t);

// Every build the program can run: the one crc32Update picks here and both it picks from.
QList<std::pair<const char *, CrcFunction>> implementations()
{
    QList<std::pair<const char *, CrcFunction>> list{
        { "crc32Update", crc32Update },
        { "crc32Mpeg2", crc32Mpeg2 },
        { "portable", crc32kernels::crc32Mpeg2Portable },
    };
    if (crc32kernels::cpuHasClmul())
        list.append({ "clmul", crc32kernels::crc32Mpeg2Clmul });
    return list;
}

CrcFunction implementationNamed(const QByteArray &name)
{
    for (const auto &[n, f] : implementations()) {
        if (name == n)
            return f;
    }
    return nullptr;
}

void addImplementationColumn()
{
    QTest::addColumn<QByteArray>("implementation");
}

// One bit at a time, as the register in the definition does; shares nothing with the builds.
quint32 bitwiseReference(quint32 crc, const uchar *data, qsizetype length)
{
    for (qsizetype i = 0; i < length; ++i) {
        crc ^= quint32(data[i]) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
    }
    return crc;
}

} // namespace

// crcmod's predefined CRC-32/MPEG-2 over each "start:hex" line of stdin; the start value is the
// raw register (no output XOR), exactly what a caller passes back in to continue a checksum.
static const char *kCrcmodOracle = R"(
import sys, crcmod.predefined
crc = crcmod.predefined.mkCrcFun('crc-32-mpeg')
for line in sys.stdin.read().split():
    start, data = line.split(':')
    print('%08x' % crc(bytes.fromhex(data), int(start, 16)))
)";

// The same over slices of one buffer: the first line is the buffer in hex, then one
// "offset length start" line per slice.
static const char *kCrcmodSlicesOracle = R"(
import sys, crcmod.predefined
crc = crcmod.predefined.mkCrcFun('crc-32-mpeg')
lines = sys.stdin.read().splitlines()
buffer = bytes.fromhex(lines[0])
for line in lines[1:]:
    offset, length, start = (int(f, 16) for f in line.split())
    print('%08x' % crc(buffer[offset:offset + length], start))
)";

class TestCrc32 : public QObject
{
    Q_OBJECT

private slots:
    void clmulBuildRunsHere();
    void publishedValues_data();
    void publishedValues();
    void matchesCrcmodAtEverySplit_data();
    void matchesCrcmodAtEverySplit();
    void matchesReferencesAtRandomLengthsAndOffsets_data();
    void matchesReferencesAtRandomLengthsAndOffsets();
    void foldingConstantsMatchPolynomialArithmetic();
};

// The folding build is only checked where the processor has carry-less multiplication; say so
// when it is not.
void TestCrc32::clmulBuildRunsHere()
{
    if (!crc32kernels::cpuHasClmul())
        QSKIP("no PCLMULQDQ on this processor: only the table build is checked");
    QVERIFY(implementationNamed("clmul"));
}

void TestCrc32::publishedValues_data()
{
    addImplementationColumn();
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<uint>("start");
    QTest::addColumn<uint>("expected");

    // 1000 times the check string is long enough for the folding build's widest path.
    QByteArray longText;
    for (int i = 0; i < 1000; ++i)
        longText += "123456789";
    for (const auto &[name, function] : implementations()) {
        Q_UNUSED(function);
        auto row = [&](const char *what) -> QTestData & {
            return QTest::addRow("%s: %s", name, what) << QByteArray(name);
        };
        row("no bytes keep the start value") << QByteArray() << 0xFFFFFFFFu << 0xFFFFFFFFu;
        row("check value") << QByteArray("123456789") << 0xFFFFFFFFu << 0x0376E6E7u;
        // From a zero register one byte b yields table entry b.
        row("table entry 1") << QByteArray(1, '\x01') << 0u << 0x04C11DB7u;
        row("table entry 255") << QByteArray(1, '\xFF') << 0u << 0xB1F740B4u;
        // From crcmod, computed once: crc-32-mpeg of b"123456789" * 1000.
        row("9000 bytes") << longText << 0xFFFFFFFFu << 0x9D909B39u;
    }
}

void TestCrc32::publishedValues()
{
    QFETCH(QByteArray, implementation);
    QFETCH(QByteArray, data);
    QFETCH(uint, start);
    QFETCH(uint, expected);

    const CrcFunction crc = implementationNamed(implementation);
    QVERIFY(crc);
    QCOMPARE(crc(start, data.constData(), quint64(data.size())), expected);
}

void TestCrc32::matchesCrcmodAtEverySplit_data()
{
    addImplementationColumn();
    for (const auto &[name, function] : implementations()) {
        Q_UNUSED(function);
        QTest::newRow(name) << QByteArray(name);
    }
}

void TestCrc32::matchesCrcmodAtEverySplit()
{
    QFETCH(QByteArray, implementation);
    const CrcFunction crc = implementationNamed(implementation);
    QVERIFY(crc);

    QRandomGenerator random(0xC3C32u);
    QList<QByteArray> buffers;
    QList<quint32> starts;
    for (int size : { 0, 1, 2, 3, 4, 5, 9, 31, 64, 255, 1018, 1500 }) {
        QByteArray buffer(size, Qt::Uninitialized);
        for (char &c : buffer)
            c = char(random.bounded(256));
        buffers << buffer;
        starts << 0xFFFFFFFFu;
        // Any register value, as when a checksum continues over pieces.
        buffers << buffer;
        starts << random.generate();
    }

    QByteArray input;
    for (int i = 0; i < buffers.size(); ++i)
        input += QByteArray::number(starts[i], 16) + ':' + buffers[i].toHex() + '\n';
    const ProcessResult oracle = runPython(QString::fromLatin1(kCrcmodOracle), {}, input);
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    const QList<QByteArray> expected = oracle.out.split('\n');
    QVERIFY(expected.size() > buffers.size());

    for (int i = 0; i < buffers.size(); ++i) {
        const QByteArray &buffer = buffers[i];
        const quint32 want = expected[i].toUInt(nullptr, 16);
        for (qsizetype split = 0; split <= buffer.size(); ++split) {
            const quint32 head = crc(starts[i], buffer.constData(), quint64(split));
            const quint32 whole
                = crc(head, buffer.constData() + split, quint64(buffer.size() - split));
            if (whole != want) {
                QFAIL(qPrintable(QStringLiteral("buffer %1 (%2 bytes) split at %3: %4, crcmod %5")
                                     .arg(i)
                                     .arg(buffer.size())
                                     .arg(split)
                                     .arg(whole, 8, 16, QLatin1Char('0'))
                                     .arg(want, 8, 16, QLatin1Char('0'))));
            }
        }
    }
}

void TestCrc32::matchesReferencesAtRandomLengthsAndOffsets_data()
{
    matchesCrcmodAtEverySplit_data();
}

// Slices of one buffer at every alignment: lengths around each switch of the folding build
// (table only, one block at a time, eight blocks at a time, and the tail), then random ones, up to
// a few hundred kilobytes. Two references: a bitwise register and crcmod.
void TestCrc32::matchesReferencesAtRandomLengthsAndOffsets()
{
    QFETCH(QByteArray, implementation);
    const CrcFunction crc = implementationNamed(implementation);
    QVERIFY(crc);

    QRandomGenerator random(0x5EEDu);
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (char &c : buffer)
        c = char(random.bounded(256));

    struct Slice
    {
        qsizetype offset;
        qsizetype length;
        quint32 start;
    };
    QList<Slice> slices;
    for (qsizetype length : { 15,  16,  17,  63,  64,  65,  127,  128,  129,  143,
                              255, 256, 257, 271, 383, 384, 1023, 1024, 1025, 1039 }) {
        for (qsizetype offset : { 0, 1, 7, 8, 15 })
            slices.append({ offset, length, 0xFFFFFFFFu });
    }
    for (int i = 0; i < 1500; ++i) {
        const int kind = random.bounded(16);
        const qsizetype length = kind < 8 ? random.bounded(700)
            : kind < 15                   ? random.bounded(6000)
                                          : random.bounded(int(buffer.size()) - 64);
        slices.append(
            { random.bounded(64), length, random.bounded(2) ? 0xFFFFFFFFu : random.generate() });
    }

    QByteArray input = buffer.toHex() + '\n';
    for (const Slice &s : std::as_const(slices))
        input += QByteArray::number(s.offset, 16) + ' ' + QByteArray::number(s.length, 16) + ' '
            + QByteArray::number(s.start, 16) + '\n';
    const ProcessResult oracle = runPython(QString::fromLatin1(kCrcmodSlicesOracle), {}, input);
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    const QList<QByteArray> expected = oracle.out.split('\n');
    QVERIFY(expected.size() > slices.size());

    const auto *bytes = reinterpret_cast<const uchar *>(buffer.constData());
    for (int i = 0; i < slices.size(); ++i) {
        const Slice &s = slices[i];
        const quint32 got = crc(s.start, bytes + s.offset, quint64(s.length));
        const quint32 bitwise = bitwiseReference(s.start, bytes + s.offset, s.length);
        const quint32 crcmod = expected[i].toUInt(nullptr, 16);
        if (got != bitwise || got != crcmod) {
            QFAIL(qPrintable(QStringLiteral("offset %1 length %2 start %3: %4, bitwise %5, "
                                            "crcmod %6")
                                 .arg(s.offset)
                                 .arg(s.length)
                                 .arg(s.start, 8, 16, QLatin1Char('0'))
                                 .arg(got, 8, 16, QLatin1Char('0'))
                                 .arg(bitwise, 8, 16, QLatin1Char('0'))
                                 .arg(crcmod, 8, 16, QLatin1Char('0'))));
        }
    }
}

// The folding build's constants are x^k mod P; Python's integers recompute them here by long
// division over GF(2).
void TestCrc32::foldingConstantsMatchPolynomialArithmetic()
{
    static const char *kPowers = R"(
import sys
P = 0x104C11DB7
for k in map(int, sys.argv[1:]):
    r = 1 << k
    for bit in range(k, 31, -1):
        if r >> bit & 1:
            r ^= P << (bit - 32)
    print('%d %08x' % (k, r))
)";
    QStringList exponents;
    QList<unsigned> powers;
    for (unsigned bits : crc32kernels::kFoldBits) {
        powers << bits << bits + 64;
        exponents << QString::number(bits) << QString::number(bits + 64);
    }
    // Low powers whose remainders are known by heart: x^32 mod P is P without its top bit.
    powers << 31 << 32;
    exponents << QStringLiteral("31") << QStringLiteral("32");

    const ProcessResult oracle = runPython(QString::fromLatin1(kPowers), exponents);
    QVERIFY2(oracle.finished && oracle.exitCode == 0, oracle.err.constData());
    const QList<QByteArray> lines = oracle.out.trimmed().split('\n');
    QCOMPARE(lines.size(), powers.size());
    for (int i = 0; i < powers.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(' ');
        QCOMPARE(fields.value(0).toUInt(), powers[i]);
        QCOMPARE(QByteArray::number(crc32kernels::xPowerModP(powers[i]), 16).rightJustified(8, '0'),
                 fields.value(1));
    }
    QCOMPARE(crc32kernels::xPowerModP(32), 0x04C11DB7u);
}

QTEST_GUILESS_MAIN(TestCrc32)
#include "tst_crc32.moc"
