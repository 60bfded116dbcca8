#include "Crc32.h"

#include <array>

namespace {

// Entry i is the register after byte i, placed in the top eight bits, has been shifted eight
// times through the polynomial. Built at compile time so there is no first-use race.
constexpr std::array<std::uint32_t, 256> makeTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t reg = i << 24;
        for (int bit = 0; bit < 8; ++bit)
            reg = (reg & 0x80000000u) ? (reg << 1) ^ 0x04C11DB7u : (reg << 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> kTable = makeTable();
static_assert(kTable[1] == 0x04C11DB7u && kTable[255] == 0xB1F740B4u);

} // namespace

std::uint32_t crc32Update(std::uint32_t crc, const void *data, std::uint64_t length)
{
    const auto *bytes = static_cast<const std::uint8_t *>(data);
    for (std::uint64_t i = 0; i < length; ++i)
        crc = (crc << 8) ^ kTable[((crc >> 24) ^ bytes[i]) & 0xFFu];
    return crc;
}

std::uint32_t crc32Mpeg2(std::uint32_t crc, const void *data, std::uint64_t length)
{
    return crc32Update(crc, data, length);
}
