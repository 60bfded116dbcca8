#include "CryptoBenchReporter.h"
#include "OrvPacketRecombiner.h"

#include <QByteArray>
#include <QList>

#include <cstring>

// Frame recombining throughput for the two shapes links deliver: USB bulk reads of 512 bytes
// carrying full 1024-byte frames, and large stream reads (TLS) carrying many small frames. The
// baseline copies the same pieces with memcpy.

namespace {

constexpr int kStreamBytes = 4 * 1024 * 1024;

QByteArray stream(int frameSize)
{
    QByteArray frame(frameSize, Qt::Uninitialized);
    frame[0] = char(0xCD);
    frame[1] = char(0xAB);
    frame[2] = 3;
    frame[3] = 0;
    frame[4] = char(frameSize & 0xFF);
    frame[5] = char(frameSize >> 8);
    for (int i = 6; i < frameSize; ++i)
        frame[i] = char(i);
    QByteArray all;
    all.reserve(kStreamBytes);
    while (all.size() + frameSize <= kStreamBytes)
        all.append(frame);
    return all;
}

QList<QByteArray> split(const QByteArray &data, int piece)
{
    QList<QByteArray> pieces;
    for (qsizetype i = 0; i < data.size(); i += piece)
        pieces.append(data.mid(i, piece));
    return pieces;
}

void recombine(benchmark::State &state, int frameSize, int piece)
{
    const QList<QByteArray> pieces = split(stream(frameSize), piece);
    qint64 bytes = 0;
    for (const QByteArray &p : pieces)
        bytes += p.size();
    OrvPacketRecombiner recombiner;
    qint64 frames = 0;
    QObject::connect(
        &recombiner, &OrvPacketRecombiner::packetReady, &recombiner,
        [&frames](uint16_t, const QByteArray &payload) { frames += payload.size() > 0; });
    for (auto _ : state) {
        for (const QByteArray &p : pieces)
            benchmark::DoNotOptimize(recombiner.rawDataReady(p));
    }
    if (recombiner.bufferedBytes() != 0 || frames == 0)
        state.SkipWithError("stream not cut into frames");
    state.SetBytesProcessed(state.iterations() * bytes);
}

void copy(benchmark::State &state, int frameSize, int piece)
{
    const QList<QByteArray> pieces = split(stream(frameSize), piece);
    qint64 bytes = 0;
    for (const QByteArray &p : pieces)
        bytes += p.size();
    QByteArray target(piece, Qt::Uninitialized);
    for (auto _ : state) {
        for (const QByteArray &p : pieces) {
            std::memcpy(target.data(), p.constData(), size_t(p.size()));
            benchmark::ClobberMemory();
        }
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_Recombiner_1024ByteFrames_512ByteReads(benchmark::State &state)
{
    recombine(state, 1024, 512);
}
void BM_Memcpy_512ByteReads(benchmark::State &state)
{
    copy(state, 1024, 512);
}
void BM_Recombiner_20ByteFrames_64KiBReads(benchmark::State &state)
{
    recombine(state, 20, 64 * 1024);
}
void BM_Memcpy_64KiBReads(benchmark::State &state)
{
    copy(state, 20, 64 * 1024);
}

} // namespace

BENCHMARK(BM_Recombiner_1024ByteFrames_512ByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_512ByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Recombiner_20ByteFrames_64KiBReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Memcpy_64KiBReads)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runCryptoBenchmarks(
        argc, argv,
        { { "BM_Recombiner_1024ByteFrames_512ByteReads", "BM_Memcpy_512ByteReads" },
          { "BM_Recombiner_20ByteFrames_64KiBReads", "BM_Memcpy_64KiBReads" } });
}
