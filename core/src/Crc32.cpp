#include "Crc32.h"

#include "Crc32Kernels.h"

#include <array>

namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// tables[0][b] is the register after byte b, placed in the top eight bits, has been shifted
// eight times through the polynomial; tables[k][b] is the same byte followed by k zero bytes, so
// eight bytes fold in with eight independent lookups. Built at compile time: no first-use race.
constexpr Tables makeTables()
{
    Tables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : (reg << 1);
        tables[0][i] = reg;
    }
    for (std::size_t k = 1; k < tables.size(); ++k) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous << 8) ^ tables[0][previous >> 24];
        }
    }
    return tables;
}

constexpr Tables kTables = makeTables();
static_assert(kTables[0][1] == 0x04C11DB7u && kTables[0][255] == 0xB1F740B4u);

using CrcFunction = std::uint32_t (*)(std::uint32_t, const void *, std::uint64_t);

CrcFunction bestCrcFunction()
{
    return crc32kernels::cpuHasClmul() ? crc32kernels::crc32Mpeg2Clmul
                                       : crc32kernels::crc32Mpeg2Portable;
}

} // namespace

std::uint32_t crc32kernels::crc32Mpeg2Portable(std::uint32_t crc, const void *data,
                                               std::uint64_t length)
{
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    const auto &t = kTables;
    for (; length >= 8; length -= 8, bytes += 8) {
        const std::uint32_t head = crc
            ^ (std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16
               | std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]));
        crc = t[7][head >> 24] ^ t[6][(head >> 16) & 0xFFu] ^ t[5][(head >> 8) & 0xFFu]
            ^ t[4][head & 0xFFu] ^ t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]]
            ^ t[0][bytes[7]];
    }
    for (; length > 0; --length, ++bytes)
        crc = (crc << 8) ^ t[0][((crc >> 24) ^ *bytes) & 0xFFu];
    return crc;
}

std::uint32_t crc32Update(std::uint32_t crc, const void *data, std::uint64_t length)
{
    static const CrcFunction best = bestCrcFunction();
    return best(crc, data, length);
}

std::uint32_t crc32Mpeg2(std::uint32_t crc, const void *data, std::uint64_t length)
{
    return crc32Update(crc, data, length);
}
