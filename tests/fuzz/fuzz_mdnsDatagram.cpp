// libFuzzer target: the mDNS datagram walk and the record readers on one datagram's bytes, then
// the discovery engine's record handling on the same bytes. Qt-free; links the codec and the
// engine only (the engine is never started: no socket is opened).
// By hand, from the source tree:
//   clang++-14 -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Idiscovery/include \
//     tests/fuzz/fuzz_mdnsDatagram.cpp discovery/src/MdnsCodec.cpp \
//     discovery/src/DeviceDiscovery.cpp discovery/src/LocalAddresses.cpp -o fuzz_mdnsDatagram
//   tests/fuzz/fuzz_mdnsDatagram.seeds seeds
//   ./fuzz_mdnsDatagram -max_len=2048 -max_total_time=60 seeds
#include "DeviceDiscovery.h"
#include "MdnsCodec.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

using namespace orvane::infra;

namespace {

int readEverything(const MdnsRecordView &record)
{
    // The codec promises that every record it hands over lies inside the datagram.
    if (record.dataOffset > record.size || record.dataLength > record.size - record.dataOffset
        || record.nameOffset > record.size)
        __builtin_trap();
    char name[256];
    std::size_t offset = record.nameOffset;
    const MdnsText owner = extractName(record.data, record.size, offset, name, sizeof(name));
    if (owner.length > sizeof(name) || offset > record.size)
        __builtin_trap();
    char target[256];
    if (readPtrTarget(record.data, record.size, record.dataOffset, record.dataLength, target,
                      sizeof(target))
            .length
        > sizeof(target))
        __builtin_trap();
    if (readSrvRecord(record.data, record.size, record.dataOffset, record.dataLength, target,
                      sizeof(target))
            .target.length
        > sizeof(target))
        __builtin_trap();
    MdnsTxtEntry entries[MdnsMaxTxtEntries];
    const std::size_t count
        = readTxtEntries(record.data, record.size, record.dataOffset, record.dataLength, entries);
    for (std::size_t i = 0; i < count; ++i) {
        if (entries[i].valueOffset + entries[i].valueLength > record.size)
            __builtin_trap();
    }
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // An exact-size copy: a read past the datagram is a heap overflow ASan reports.
    std::uint8_t *copy = new std::uint8_t[size ? size : 1];
    for (std::size_t i = 0; i < size; ++i)
        copy[i] = data[i];
    parseMdnsDatagram(3, nullptr, 0, copy, size, readEverything, nullptr);

    sockaddr_in from{};
    from.sin_family = AF_INET;
    from.sin_addr.s_addr = htonl(0xC0000202);
    DeviceDiscoverySettings settings;
    settings.maxPendingRecords = 4;
    DeviceDiscovery engine(nullptr, 12, "_ssh._tcp.local", settings);
    engine.handleDatagram(3, reinterpret_cast<const sockaddr *>(&from), sizeof(from), copy, size);
    engine.handleDatagram(3, reinterpret_cast<const sockaddr *>(&from), sizeof(from), copy, size);
    if (engine.pendingCount() > 4)
        __builtin_trap();
    delete[] copy;
    return 0;
}
