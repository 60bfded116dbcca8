// Sample decode and plot buffers of model monitoring.
//   decode: 10^6 sample records in 1018-byte channel-3 packets through the data channel to the
//           signal wrappers and their plot buffers (16 vector elements of one double signal);
//           samples/s on one core and heap allocations per sample (counted by operator new).
//   buffers: 10^7 samples into one plot buffer with 4 x ranges; ns/sample and peak RSS.
// Times are the thread's CPU time.
// Baseline in the same run: a plain loop that reads the same records with memcpy and sums them.
#include "ActiveScalar.h"
#include "DataChannel.h"
#include "DataTypeFactory.h"
#include "NodeOwner.h"
#include "SimulinkSignal.h"
#include "StreamableNode.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sys/resource.h>
#include <time.h>

static std::atomic<uint64_t> allocations{ 0 };

void *operator new(std::size_t n)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

using namespace monitoring;

// The time this thread ran: the machine is shared, and time spent waiting for a core is not the
// decoder's.
struct Clock
{
    using duration = std::chrono::nanoseconds;
    static std::chrono::time_point<Clock, duration> now()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return std::chrono::time_point<Clock, duration>(
            duration(int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec));
    }
};

namespace {

struct Owner : NodeOwner
{
    DataChannel *channel;
    void sendParameter(const protocol::param_set_t &) override { }
    void requestRawData(protocol::rawdata_type_t) override { }
    void sendSignalSet(const protocol::signal_set_t &) override { }
    void addStreamingActivation(uint16_t, uint16_t, StreamableNode *) override { }
    void eraseStreamingActivation(uint16_t, uint16_t) override { }
    SampleStream *sampleStream() override { return channel->stream(); }
};

long peakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

constexpr int Elements = 16;

long minorFaults()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return u.ru_minflt;
}

struct Round
{
    double seconds;
    uint64_t allocations;
    size_t delivered;
    long faults;
};

// One pass of the packets into a fresh signal of 16 plotted elements.
Round decodeRound(const ModelTables &tables, const std::vector<QByteArray> &packets)
{
    DataChannel channel(nullptr, nullptr);
    Owner owner;
    owner.channel = &channel;
    BasicStreamableNode node(3, 1, &owner, nullptr, 7, 0, makeDataType(tables, 0, 0),
                             Dimensions({ Elements }, 1), 1000, "v", "0");
    SimulinkDataTypes::SimulinkSignal signal(nullptr, &node);
    std::vector<std::unique_ptr<ActiveScalar>> buffers;
    for (int e = 0; e < Elements; ++e) {
        buffers.push_back(std::make_unique<ActiveScalar>(nullptr, e * 8, 1000, 4000,
                                                         QList<double>{ 1, 10, 100, 1000 }));
        signal.addScalar(uint16_t(e * 8), 1000, buffers.back().get());
        node.onStreamAcknowledged(uint16_t(e * 8));
    }
    const uint64_t before = allocations.load();
    const long faultsBefore = minorFaults();
    const auto t0 = Clock::now();
    for (const QByteArray &p : packets)
        channel.dataReady(p);
    Round r{ std::chrono::duration<double>(Clock::now() - t0).count(), allocations.load() - before,
             0, minorFaults() - faultsBefore };
    for (const auto &b : buffers)
        r.delivered += b->samples().rawCount();
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // "decode" or "buffers" runs that part alone (for a profiler); no argument runs both.
    const QByteArray only = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    constexpr int Records = 1000000;

    ModelTables tables;
    protocol::datatype_t type{};
    type.dataSize = 8;
    tables.dataTypes = { type };
    tables.fixedPointInfo = { protocol::fxp_info_t{} };
    tables.strings[12] = { "double" };
    tables.strings[13] = { "double" };
    // Packets: header 12 bytes, records of 16 bytes (node, time offset, data offset, double).
    constexpr int PerPacket = (1018 - 12) / 16;
    std::vector<QByteArray> packets;
    int made = 0;
    int64_t base = 1000000000;
    while (made < Records) {
        const int n = std::min(PerPacket, Records - made);
        QByteArray p(12 + 16 * n, '\0');
        char *d = p.data();
        qToLittleEndian<qint16>(1, d);
        qToLittleEndian<quint16>(quint16(p.size()), d + 2);
        qToLittleEndian<qint64>(base, d + 4);
        for (int i = 0; i < n; ++i) {
            char *r = d + 12 + 16 * i;
            const int k = made + i;
            qToLittleEndian<quint16>(7, r);
            qToLittleEndian<qint32>(qint32((k / Elements) * 1000 + 1), r + 2); // 1 MHz per element
            qToLittleEndian<quint16>(quint16((k % Elements) * 8), r + 6);
            qToLittleEndian<double>(std::sin(k * 0.001), r + 8);
        }
        made += n;
        base += 0;
        packets.push_back(p);
    }

    if (only != "buffers") {
        // Baseline: the same records read with memcpy and summed.
        auto t0 = Clock::now();
        double sum = 0;
        for (const QByteArray &p : packets) {
            const char *d = p.constData();
            for (int at = 12; at + 16 <= p.size(); at += 16) {
                double v;
                std::memcpy(&v, d + at + 8, 8);
                sum += v;
            }
        }
        const double baseline = std::chrono::duration<double>(Clock::now() - t0).count();

        // Several rounds: the machine is shared, and the first round also pays for fresh memory
        // (the later ones get the pages the earlier ones gave back).
        constexpr int Rounds = 5;
        std::vector<double> rates;
        std::vector<long> faults;
        Round first{};
        for (int i = 0; i < Rounds; ++i) {
            const Round r = decodeRound(tables, packets);
            if (i == 0)
                first = r;
            rates.push_back(Records / r.seconds / 1e6);
            faults.push_back(r.faults);
        }
        std::printf("decode: %d records, %zu delivered, %.4f allocations/sample; M samples/s per "
                    "round:",
                    Records, first.delivered, double(first.allocations) / Records);
        for (double r : rates)
            std::printf(" %.1f", r);
        std::printf("; page faults per round:");
        for (long f : faults)
            std::printf(" %ld", f);
        std::sort(rates.begin(), rates.end());
        std::printf("; min/median/max %.1f/%.1f/%.1f (baseline memcpy+sum %.1f M/s) [sum %g]\n",
                    rates.front(), rates[Rounds / 2], rates.back(), Records / baseline / 1e6, sum);
    }
    if (only == "decode")
        return 0;

    // Plot buffers: 10^7 samples at 1 kHz into 4 windows.
    ActiveScalar big(nullptr, 0, 1000, 4000, { 1, 10, 100, 1000 });
    const long rssBefore = peakRssKb();
    const uint64_t allocBefore = allocations.load();
    const auto fillStart = Clock::now();
    constexpr int Samples = 10000000;
    for (int i = 1; i <= Samples; ++i)
        big.addData({ uint64_t(i) * 1000000ull, std::sin(i * 0.001) });
    const double fill = std::chrono::duration<double>(Clock::now() - fillStart).count();
    std::printf("buffers: %d samples, %.1f ns/sample, raw kept %zu (of %d), points per window "
                "%zu/%zu/%zu/%zu, peak RSS %ld -> %ld KiB, %.4f allocations/sample\n",
                Samples, fill / Samples * 1e9, big.samples().rawCount(), Samples,
                big.window(0).points.size(), big.window(1).points.size(),
                big.window(2).points.size(), big.window(3).points.size(), rssBefore, peakRssKb(),
                double(allocations.load() - allocBefore) / Samples);
    return 0;
}
