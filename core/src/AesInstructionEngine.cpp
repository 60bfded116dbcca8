#include "AesEngine.h"

#include "AesKeySchedule.h"

#include <immintrin.h>

namespace {

#define AES_NI_TARGET __attribute__((target("aes,sse2")))

// Blocks in flight at once: the round instruction's latency is several cycles but a new one can
// start every cycle, so independent blocks (ECB, CBC decryption, the CFB key stream of a
// decrypted message) fill the gaps.
constexpr std::size_t kLanes = 8;

AES_NI_TARGET inline __m128i loadBlock(const std::uint8_t *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

AES_NI_TARGET inline void storeBlock(std::uint8_t *p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i *>(p), v);
}

AES_NI_TARGET void encryptInstructions(const AesKeySchedule &keys, const std::uint8_t *in,
                                       std::uint8_t *out, std::size_t blocks)
{
    const int rounds = keys.rounds();
    __m128i k[AesKeySchedule::MaxRounds + 1];
    for (int r = 0; r <= rounds; ++r)
        k[r] = loadBlock(keys.encryptionKeys() + 16 * r);

    for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
        __m128i b[kLanes];
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i)
            b[i] = _mm_xor_si128(loadBlock(in + 16 * i), k[0]);
        for (int r = 1; r < rounds; ++r) {
#pragma GCC unroll 8
            for (std::size_t i = 0; i < kLanes; ++i)
                b[i] = _mm_aesenc_si128(b[i], k[r]);
        }
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i)
            storeBlock(out + 16 * i, _mm_aesenclast_si128(b[i], k[rounds]));
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        __m128i b = _mm_xor_si128(loadBlock(in), k[0]);
        for (int r = 1; r < rounds; ++r)
            b = _mm_aesenc_si128(b, k[r]);
        storeBlock(out, _mm_aesenclast_si128(b, k[rounds]));
    }
}

AES_NI_TARGET void decryptInstructions(const AesKeySchedule &keys, const std::uint8_t *in,
                                       std::uint8_t *out, std::size_t blocks)
{
    const int rounds = keys.rounds();
    __m128i k[AesKeySchedule::MaxRounds + 1];
    for (int r = 0; r <= rounds; ++r)
        k[r] = loadBlock(keys.decryptionKeys() + 16 * r);

    for (; blocks >= kLanes; blocks -= kLanes, in += 16 * kLanes, out += 16 * kLanes) {
        __m128i b[kLanes];
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i)
            b[i] = _mm_xor_si128(loadBlock(in + 16 * i), k[0]);
        for (int r = 1; r < rounds; ++r) {
#pragma GCC unroll 8
            for (std::size_t i = 0; i < kLanes; ++i)
                b[i] = _mm_aesdec_si128(b[i], k[r]);
        }
#pragma GCC unroll 8
        for (std::size_t i = 0; i < kLanes; ++i)
            storeBlock(out + 16 * i, _mm_aesdeclast_si128(b[i], k[rounds]));
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        __m128i b = _mm_xor_si128(loadBlock(in), k[0]);
        for (int r = 1; r < rounds; ++r)
            b = _mm_aesdec_si128(b, k[r]);
        storeBlock(out, _mm_aesdeclast_si128(b, k[rounds]));
    }
}

constexpr AesEngine kInstructionEngine{ "instructions", encryptInstructions, decryptInstructions };

} // namespace

const AesEngine *aesInstructionEngine()
{
    static const bool present = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse2");
    }();
    return present ? &kInstructionEngine : nullptr;
}
