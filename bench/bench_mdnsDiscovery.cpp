// The mDNS datagram walk against dnspython's from_wire on the same burst of 1000 datagrams
// (random PTR, SRV, TXT, A and AAAA messages with compression, built by
// tests/discovery/mdns_oracle.py) in the same run, and the discovery engine's stop() latency.
// Both sides decode every record: names, PTR and SRV targets, TXT entries.
// Goals: at least 5x dnspython; stop() under 100 ms.
#include "DeviceDiscovery.h"
#include "MdnsCodec.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace orvane::infra;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Datagrams = 1000;
constexpr int Rounds = 50;

std::vector<std::vector<std::uint8_t>> readBurst(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> all((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
    std::vector<std::vector<std::uint8_t>> burst;
    for (std::size_t pos = 0; pos + 2 <= all.size();) {
        const std::size_t length = std::size_t(all[pos] << 8 | all[pos + 1]);
        burst.emplace_back(all.begin() + long(pos + 2), all.begin() + long(pos + 2 + length));
        pos += 2 + length;
    }
    return burst;
}

std::size_t g_sink = 0;

int decodeRecord(const MdnsRecordView &record)
{
    char name[256];
    std::size_t offset = record.nameOffset;
    g_sink += extractName(record.data, record.size, offset, name, sizeof(name)).length;
    switch (record.type) {
    case 12:
        g_sink += readPtrTarget(record.data, record.size, record.dataOffset, record.dataLength,
                                name, sizeof(name))
                      .length;
        break;
    case 33:
        g_sink += readSrvRecord(record.data, record.size, record.dataOffset, record.dataLength,
                                name, sizeof(name))
                      .port;
        break;
    case 16: {
        MdnsTxtEntry entries[MdnsMaxTxtEntries];
        g_sink += readTxtEntries(record.data, record.size, record.dataOffset, record.dataLength,
                                 entries);
        break;
    }
    default:
        g_sink += record.dataLength;
    }
    return 0;
}

double ourBestSeconds(const std::vector<std::vector<std::uint8_t>> &burst, std::size_t &records)
{
    double best = 1e9;
    for (int round = 0; round < Rounds; ++round) {
        records = 0;
        const auto start = Clock::now();
        for (const auto &datagram : burst)
            records += parseMdnsDatagram(-1, nullptr, 0, datagram.data(), datagram.size(),
                                         decodeRecord, nullptr);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

double dnspythonBestSeconds(const std::string &file)
{
    const std::string command = "/usr/bin/python3 -c '"
                                "import sys, struct, time, dns.message\n"
                                "data = open(sys.argv[1], \"rb\").read()\n"
                                "burst = []\n"
                                "pos = 0\n"
                                "while pos + 2 <= len(data):\n"
                                "    n = struct.unpack(\">H\", data[pos:pos+2])[0]\n"
                                "    burst.append(data[pos+2:pos+2+n]); pos += 2 + n\n"
                                "best = 1e9\n"
                                "for _ in range("
        + std::to_string(Rounds / 5)
        + "):\n"
          "    t = time.perf_counter()\n"
          "    for d in burst: dns.message.from_wire(d, one_rr_per_rrset=True)\n"
          "    best = min(best, time.perf_counter() - t)\n"
          "print(best)\n' "
        + file;
    FILE *pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return -1;
    char line[64] = {};
    const bool read = std::fgets(line, sizeof(line), pipe) != nullptr;
    ::pclose(pipe);
    return read ? std::atof(line) : -1;
}

} // namespace

int main()
{
    const std::string file = "/tmp/nimbrel-mdns-burst-" + std::to_string(::getpid()) + ".bin";
    const std::string make = "/usr/bin/python3 " NIMBREL_SOURCE_DIR
                             "/tests/discovery/mdns_oracle.py burst "
        + std::to_string(Datagrams) + " 42 " + file;
    if (std::system(make.c_str()) != 0) {
        std::fprintf(stderr, "could not build the burst with dnspython\n");
        return 1;
    }
    const auto burst = readBurst(file);
    std::size_t bytes = 0;
    for (const auto &d : burst)
        bytes += d.size();
    std::size_t records = 0;
    const double ours = ourBestSeconds(burst, records);
    const double theirs = dnspythonBestSeconds(file);
    std::remove(file.c_str());
    std::printf("burst: %zu datagrams, %zu bytes, %zu records\n", burst.size(), bytes, records);
    std::printf("parseMdnsDatagram + readers: %.3f ms per burst (%.0f datagrams/s)\n", ours * 1e3,
                double(burst.size()) / ours);
    std::printf("dnspython from_wire:         %.3f ms per burst (%.0f datagrams/s)\n", theirs * 1e3,
                double(burst.size()) / theirs);
    std::printf("ratio: %.1fx dnspython (goal >= 5x)\n", theirs / ours);

    // stop() while the thread waits: the wake-up descriptor ends the wait at once.
    std::vector<double> latencies;
    for (int round = 0; round < 20; ++round) {
        DeviceDiscoverySettings settings;
        settings.localAddresses = [] { return std::vector<LocalAddress>{}; };
        settings.idleWaitMs = 10000;
        DeviceDiscovery engine(nullptr, 12, "_ssh._tcp.local", settings);
        engine.start();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto start = Clock::now();
        engine.stop();
        latencies.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("stop(): median %.3f ms, worst %.3f ms of %zu (goal < 100 ms)\n",
                latencies[latencies.size() / 2], latencies.back(), latencies.size());
    std::printf("(sink %zu)\n", g_sink % 10);
    return theirs / ours >= 5 && latencies.back() < 100 ? 0 : 1;
}
