#include "Crc32.h"

#include "TestSupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace nimbrel::test;

// crcmod's predefined CRC-32/MPEG-2 over each "start:hex" line of stdin; the start value is the
// raw register (no output XOR), exactly what a caller passes back in to continue a checksum.
static const char *kCrcmodOracle = R"(
import sys, crcmod.predefined
crc = crcmod.predefined.mkCrcFun('crc-32-mpeg')
for line in sys.stdin.read().split():
    start, data = line.split(':')
    print('%08x' % crc(bytes.fromhex(data), int(start, 16)))
)";

class TestCrc32 : public QObject
{
    Q_OBJECT

private slots:
    void publishedValues_data();
    void publishedValues();
    void matchesCrcmodAtEverySplit();
};

void TestCrc32::publishedValues_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<uint>("start");
    QTest::addColumn<uint>("expected");

    QTest::newRow("no bytes keep the start value") << QByteArray() << 0xFFFFFFFFu << 0xFFFFFFFFu;
    QTest::newRow("check value") << QByteArray("123456789") << 0xFFFFFFFFu << 0x0376E6E7u;
    // From a zero register one byte b yields table entry b.
    QTest::newRow("table entry 1") << QByteArray(1, '\x01') << 0u << 0x04C11DB7u;
    QTest::newRow("table entry 255") << QByteArray(1, '\xFF') << 0u << 0xB1F740B4u;
}

void TestCrc32::publishedValues()
{
    QFETCH(QByteArray, data);
    QFETCH(uint, start);
    QFETCH(uint, expected);

    QCOMPARE(crc32Update(start, data.constData(), quint64(data.size())), expected);
    QCOMPARE(crc32Mpeg2(start, data.constData(), quint64(data.size())), expected);
}

void TestCrc32::matchesCrcmodAtEverySplit()
{
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
            const quint32 head = crc32Update(starts[i], buffer.constData(), quint64(split));
            const quint32 whole
                = crc32Mpeg2(head, buffer.constData() + split, quint64(buffer.size() - split));
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

QTEST_GUILESS_MAIN(TestCrc32)
#include "tst_crc32.moc"
