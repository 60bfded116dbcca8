#pragma once

#include <cstdint>

// The two builds of CRC-32/MPEG-2 behind crc32Update: table slicing, which runs anywhere, and
// carry-less-multiply folding for processors with PCLMULQDQ. crc32Update picks one at its first
// call; both stay reachable so the same inputs can be run through each.
namespace crc32kernels {

// Same contract as crc32Update. Eight bytes per step through eight 256-entry tables.
std::uint32_t crc32Mpeg2Portable(std::uint32_t crc, const void *data, std::uint64_t length);

// Same contract as crc32Update; call it only when cpuHasClmul() is true.
std::uint32_t crc32Mpeg2Clmul(std::uint32_t crc, const void *data, std::uint64_t length);
bool cpuHasClmul();

// x^k mod P (P = 0x104C11DB7), bit i holding the coefficient of x^i. Folding a 128-bit register
// X = H * x^64 + L forward by d bits multiplies H by x^(d + 64) mod P and L by x^d mod P.
constexpr std::uint32_t xPowerModP(unsigned k)
{
    std::uint32_t r = 1;
    for (unsigned i = 0; i < k; ++i)
        r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : (r << 1);
    return r;
}

// The fold distances the folding build uses: one 16-byte block, and eight blocks at a time.
inline constexpr unsigned kFoldBits[] = { 128, 1024 };

} // namespace crc32kernels
