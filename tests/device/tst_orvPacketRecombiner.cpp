#include "OrvPacketRecombiner.h"

#include "TestSupport.h"

#include <QTest>

#include <ctime>

using namespace nimbrel::test;

// Frames are written out byte by byte here rather than with the production frame builder, so the
// tests pin the wire format itself.
static QByteArray frame(quint16 channel, const QByteArray &payload, int lengthField = -1,
                        quint16 magic = 0xABCD)
{
    const int length = lengthField >= 0 ? lengthField : int(payload.size()) + 6;
    QByteArray f;
    f.append(char(magic & 0xFF)).append(char(magic >> 8));
    f.append(char(channel & 0xFF)).append(char(channel >> 8));
    f.append(char(length & 0xFF)).append(char((length >> 8) & 0xFF));
    return f + payload;
}

static QByteArray pattern(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + seed) % 251 + 1); // never 0, so no piece starts with a zero byte
    return bytes;
}

static QList<QByteArray> pieces(const QByteArray &data, int pieceSize)
{
    QList<QByteArray> result;
    for (qsizetype i = 0; i < data.size(); i += pieceSize)
        result.append(data.mid(i, pieceSize));
    return result;
}

using Reads = QList<QByteArray>;
using Results = QList<int>;
using Channels = QList<int>;
using Payloads = QList<QByteArray>;

class TestOrvPacketRecombiner : public QObject
{
    Q_OBJECT

private slots:
    void cutsStream_data();
    void cutsStream();
    void clearBufferDropsPartialFrame();
    void manySmallFramesInOneReadTakeLinearTime();
};

void TestOrvPacketRecombiner::cutsStream_data()
{
    QTest::addColumn<Reads>("reads");
    QTest::addColumn<Results>("results"); // one per read
    QTest::addColumn<Channels>("channels");
    QTest::addColumn<Payloads>("payloads");
    QTest::addColumn<int>("buffered");
    QTest::addColumn<bool>("corrupt"); // "Corrupt OrvPacket Header" is logged

    const QByteArray f1 = frame(1, pattern(10, 1));
    const QByteArray f2 = frame(9, pattern(3, 2));
    const QByteArray zeroInside = frame(4, QByteArray("\0\0abc", 5));

    for (int size : { 1, 2, 3 }) {
        Reads reads = pieces(f1, size);
        QTest::addRow("%d-byte pieces", size) << reads << Results(reads.size(), 0) << Channels{ 1 }
                                              << Payloads{ pattern(10, 1) } << 0 << false;
    }
    QTest::newRow("two frames in one read")
        << Reads{ f1 + f2 } << Results{ 0 } << Channels{ 1, 9 }
        << Payloads{ pattern(10, 1), pattern(3, 2) } << 0 << false;
    QTest::newRow("second frame completed by the next read")
        << Reads{ f1 + f2.left(4), f2.mid(4) } << Results{ 0, 0 } << Channels{ 1, 9 }
        << Payloads{ pattern(10, 1), pattern(3, 2) } << 0 << false;
    QTest::newRow("length 6 gives an empty payload")
        << Reads{ frame(6, {}) } << Results{ 0 } << Channels{ 6 } << Payloads{ QByteArray() } << 0
        << false;
    QTest::newRow("length 1024 in two reads")
        << Reads{ frame(3, pattern(1018, 3)).left(700), frame(3, pattern(1018, 3)).mid(700) }
        << Results{ 0, 0 } << Channels{ 3 } << Payloads{ pattern(1018, 3) } << 0 << false;
    QTest::newRow("length 5 is corrupt") << Reads{ frame(2, pattern(10, 4), 5) } << Results{ -1 }
                                         << Channels{} << Payloads{} << 0 << true;
    QTest::newRow("length 1025 is corrupt") << Reads{ frame(2, pattern(1019, 4)) } << Results{ -1 }
                                            << Channels{} << Payloads{} << 0 << true;
    QTest::newRow("bad magic is corrupt") << Reads{ frame(2, pattern(10, 4), -1, 0xABCE) }
                                          << Results{ -1 } << Channels{} << Payloads{} << 0 << true;
    QTest::newRow("leading zero drops the whole read, valid frames included")
        << Reads{ QByteArray(1, '\0') + f1 + f2 } << Results{ 0 } << Channels{} << Payloads{} << 0
        << false;
    QTest::newRow("zero bytes inside a partly received frame are kept")
        << Reads{ zeroInside.left(6), zeroInside.mid(6) } << Results{ 0, 0 } << Channels{ 4 }
        << Payloads{ QByteArray("\0\0abc", 5) } << 0 << false;
    QTest::newRow("zero padding behind the last frame is discarded")
        << Reads{ f1 + QByteArray(7, '\0') } << Results{ 0 } << Channels{ 1 }
        << Payloads{ pattern(10, 1) } << 0 << false;
    QTest::newRow("corrupt header after a good frame: frame delivered, -1, rest dropped")
        << Reads{ f1 + frame(2, {}, 1025) + f2 } << Results{ -1 } << Channels{ 1 }
        << Payloads{ pattern(10, 1) } << 0 << true;
    QTest::newRow("stream resynchronises on the next read")
        << Reads{ frame(2, {}, 3) + f2, f1 } << Results{ -1, 0 } << Channels{ 1 }
        << Payloads{ pattern(10, 1) } << 0 << true;
    QTest::newRow("exactly five bytes wait")
        << Reads{ f1.left(5) } << Results{ 0 } << Channels{} << Payloads{} << 5 << false;
    QTest::newRow("header without its payload waits")
        << Reads{ f1.left(12) } << Results{ 0 } << Channels{} << Payloads{} << 12 << false;
}

void TestOrvPacketRecombiner::cutsStream()
{
    QFETCH(Reads, reads);
    QFETCH(Results, results);
    QFETCH(Channels, channels);
    QFETCH(Payloads, payloads);
    QFETCH(int, buffered);
    QFETCH(bool, corrupt);

    OrvPacketRecombiner recombiner;
    Channels gotChannels;
    Payloads gotPayloads;
    connect(&recombiner, &OrvPacketRecombiner::packetReady, this,
            [&](uint16_t channel, const QByteArray &packet) {
                gotChannels.append(channel);
                gotPayloads.append(packet);
            });
    if (corrupt)
        QTest::ignoreMessage(QtDebugMsg, "Corrupt OrvPacket Header");

    Results gotResults;
    QList<int> framesAfterRead;
    for (const QByteArray &read : std::as_const(reads)) {
        gotResults.append(recombiner.rawDataReady(read));
        framesAfterRead.append(int(gotChannels.size()));
    }

    QCOMPARE(gotResults, results);
    QCOMPARE(gotChannels, channels);
    QCOMPARE(gotPayloads, payloads);
    QCOMPARE(recombiner.bufferedBytes(), qsizetype(buffered));
    // A frame is delivered by the read that completes it, not earlier.
    if (reads.size() > 1 && !channels.isEmpty() && !corrupt)
        QCOMPARE(framesAfterRead.at(reads.size() - 2), int(channels.size()) - 1);
}

void TestOrvPacketRecombiner::clearBufferDropsPartialFrame()
{
    OrvPacketRecombiner recombiner;
    int delivered = 0;
    connect(&recombiner, &OrvPacketRecombiner::packetReady, this, [&] { ++delivered; });
    const QByteArray f = frame(1, pattern(20, 5));
    QCOMPARE(recombiner.rawDataReady(f.left(10)), 0);
    recombiner.clearBuffer();
    QCOMPARE(recombiner.bufferedBytes(), 0);
    // The tail alone is not a frame: its first byte is no magic.
    QTest::ignoreMessage(QtDebugMsg, "Corrupt OrvPacket Header");
    QCOMPARE(recombiner.rawDataReady(f.mid(10)), -1);
    QCOMPARE(recombiner.rawDataReady(f), 0);
    QCOMPARE(delivered, 1);
}

// One large stream read of many empty frames: a pass that re-copies the rest of the read per
// frame, or recurses per frame, needs quadratic time or overflows the stack (ASan would report the
// overflow). Best of three, compared with a read a sixteenth the size. The time is the thread's
// own CPU time: time spent preempted by other work on a loaded machine does not count.
void TestOrvPacketRecombiner::manySmallFramesInOneReadTakeLinearTime()
{
    auto threadCpuNs = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
    };
    auto timeRead = [&](int bytes, qint64 *frames) {
        QByteArray read;
        const QByteArray f = frame(5, {});
        read.reserve(bytes);
        while (read.size() + f.size() <= bytes)
            read.append(f);
        qint64 best = std::numeric_limits<qint64>::max();
        for (int round = 0; round < 3; ++round) {
            OrvPacketRecombiner recombiner;
            qint64 count = 0;
            QObject::connect(&recombiner, &OrvPacketRecombiner::packetReady, &recombiner,
                             [&count] { ++count; });
            const qint64 start = threadCpuNs();
            const int result = recombiner.rawDataReady(read);
            best = std::min(best, threadCpuNs() - start);
            if (result != 0 || recombiner.bufferedBytes() != 0)
                return qint64(-1);
            *frames = count;
        }
        return best;
    };

    qint64 smallFrames = 0;
    qint64 largeFrames = 0;
    const qint64 small = timeRead(64 * 1024, &smallFrames);
    const qint64 large = timeRead(1024 * 1024, &largeFrames);
    QVERIFY(small > 0);
    QVERIFY(large > 0);
    QCOMPARE(largeFrames, qint64(1024 * 1024 / 6));
    QCOMPARE(smallFrames, qint64(64 * 1024 / 6));
    qInfo("64 KiB: %lld us, 1 MiB: %lld us of CPU time", small / 1000, large / 1000);
    // Linear: about 16x. Quadratic: towards 256x.
    QVERIFY2(large < 64 * small, qPrintable(QStringLiteral("ratio %1").arg(double(large) / small)));
    QVERIFY(large < qint64(scaled(5000)) * 1000000);
}

QTEST_GUILESS_MAIN(TestOrvPacketRecombiner)
#include "tst_orvPacketRecombiner.moc"
