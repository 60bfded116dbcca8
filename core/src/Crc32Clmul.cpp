// CRC-32/MPEG-2 by carry-less multiplication. The checksum is the remainder of the message, read
// as one long polynomial with the first bit highest, times x^32 modulo P. Each 16-byte block,
// byte-reversed so that its first bit lands in bit 127, is such a polynomial piece; a running
// 128-bit value keeps something congruent to the message so far and is moved forward past the
// next blocks with two 64x32-bit carry-less products (see xPowerModP). Eight such values run side
// by side so the multiplier is never waiting on its own previous result. What is left at the end
// (one 128-bit value and fewer than 16 bytes) goes through the table build, which yields exactly
// "times x^32 modulo P" when started from a zero register.
#include "Crc32Kernels.h"

#include <immintrin.h>

namespace {

using crc32kernels::xPowerModP;

// Low half multiplies the low 64 bits of a value, high half the high 64 bits.
struct FoldConstants
{
    std::uint64_t low;
    std::uint64_t high;
};

constexpr FoldConstants foldBy(unsigned bits)
{
    return { xPowerModP(bits), xPowerModP(bits + 64) };
}

constexpr FoldConstants kFoldOneBlock = foldBy(crc32kernels::kFoldBits[0]);
constexpr FoldConstants kFoldEightBlocks = foldBy(crc32kernels::kFoldBits[1]);
static_assert(crc32kernels::kFoldBits[0] == 128 && crc32kernels::kFoldBits[1] == 8 * 128);

// Below this the set-up costs more than the table build needs for the whole input.
constexpr std::uint64_t kMinimumLength = 64;

#define CRC_CLMUL_TARGET __attribute__((target("pclmul,ssse3")))

CRC_CLMUL_TARGET inline __m128i loadBlock(const std::uint8_t *p, __m128i reverse)
{
    return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p)), reverse);
}

CRC_CLMUL_TARGET inline __m128i fold(__m128i value, __m128i constants, __m128i next)
{
    const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

CRC_CLMUL_TARGET inline __m128i constantsOf(FoldConstants c)
{
    return _mm_set_epi64x(std::int64_t(c.high), std::int64_t(c.low));
}

} // namespace

bool crc32kernels::cpuHasClmul()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("ssse3");
}

CRC_CLMUL_TARGET std::uint32_t crc32kernels::crc32Mpeg2Clmul(std::uint32_t crc, const void *data,
                                                             std::uint64_t length)
{
    if (length < kMinimumLength)
        return crc32Mpeg2Portable(crc, data, length);

    const auto *p = static_cast<const std::uint8_t *>(data);
    const __m128i reverse = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    const __m128i oneBlock = constantsOf(kFoldOneBlock);
    // The start value enters as if it had been XORed into the first four message bytes.
    const __m128i start = _mm_slli_si128(_mm_cvtsi32_si128(int(crc)), 12);

    __m128i value;
    if (length >= 2 * 128) {
        __m128i lanes[8];
#pragma GCC unroll 8
        for (int i = 0; i < 8; ++i)
            lanes[i] = loadBlock(p + 16 * i, reverse);
        lanes[0] = _mm_xor_si128(lanes[0], start);
        p += 128;
        length -= 128;
        const __m128i eightBlocks = constantsOf(kFoldEightBlocks);
        for (; length >= 128; p += 128, length -= 128) {
#pragma GCC unroll 8
            for (int i = 0; i < 8; ++i)
                lanes[i] = fold(lanes[i], eightBlocks, loadBlock(p + 16 * i, reverse));
        }
        value = lanes[0];
#pragma GCC unroll 7
        for (int i = 1; i < 8; ++i)
            value = fold(value, oneBlock, lanes[i]);
    } else {
        value = _mm_xor_si128(loadBlock(p, reverse), start);
        p += 16;
        length -= 16;
    }
    for (; length >= 16; p += 16, length -= 16)
        value = fold(value, oneBlock, loadBlock(p, reverse));

    alignas(16) std::uint8_t last[16];
    _mm_store_si128(reinterpret_cast<__m128i *>(last), _mm_shuffle_epi8(value, reverse));
    const std::uint32_t folded = crc32Mpeg2Portable(0, last, sizeof last);
    return crc32Mpeg2Portable(folded, p, length);
}
