#include "AesEngine.h"

#include "AesKeySchedule.h"
#include "AesTables.h"

namespace {

using aestables::kInvSbox;
using aestables::kSbox;
using aestables::makeRoundTable;
using aestables::WordTable;

constexpr std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

constexpr WordTable rotated(const WordTable &table, int bits)
{
    WordTable out{};
    for (int i = 0; i < 256; ++i)
        out[i] = rotr(table[i], bits);
    return out;
}

// One round of SubBytes, ShiftRows and MixColumns (or their inverses) is four lookups and XORs
// per column; the state columns are big-endian words of the block.
constexpr WordTable kTe0 = makeRoundTable(kSbox, { 2, 1, 1, 3 });
constexpr WordTable kTe1 = rotated(kTe0, 8);
constexpr WordTable kTe2 = rotated(kTe0, 16);
constexpr WordTable kTe3 = rotated(kTe0, 24);
constexpr WordTable kTd0 = makeRoundTable(kInvSbox, { 14, 9, 13, 11 });
constexpr WordTable kTd1 = rotated(kTd0, 8);
constexpr WordTable kTd2 = rotated(kTd0, 16);
constexpr WordTable kTd3 = rotated(kTd0, 24);
static_assert(kTe0[0] == 0xC66363A5u && kTd0[0] == 0x51F4A750u);

std::uint32_t load(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8
        | std::uint32_t(p[3]);
}

void store(std::uint8_t *p, std::uint32_t v)
{
    p[0] = std::uint8_t(v >> 24);
    p[1] = std::uint8_t(v >> 16);
    p[2] = std::uint8_t(v >> 8);
    p[3] = std::uint8_t(v);
}

constexpr std::uint32_t b0(std::uint32_t v)
{
    return v >> 24;
}
constexpr std::uint32_t b1(std::uint32_t v)
{
    return (v >> 16) & 0xFFu;
}
constexpr std::uint32_t b2(std::uint32_t v)
{
    return (v >> 8) & 0xFFu;
}
constexpr std::uint32_t b3(std::uint32_t v)
{
    return v & 0xFFu;
}

std::uint32_t lastRound(const aestables::ByteTable &box, std::uint32_t a, std::uint32_t b,
                        std::uint32_t c, std::uint32_t d, const std::uint8_t *key)
{
    return (std::uint32_t(box[b0(a)]) << 24 | std::uint32_t(box[b1(b)]) << 16
            | std::uint32_t(box[b2(c)]) << 8 | std::uint32_t(box[b3(d)]))
        ^ load(key);
}

void encryptTables(const AesKeySchedule &keys, const std::uint8_t *in, std::uint8_t *out,
                   std::size_t blocks)
{
    const int rounds = keys.rounds();
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const std::uint8_t *k = keys.encryptionKeys();
        std::uint32_t s0 = load(in) ^ load(k);
        std::uint32_t s1 = load(in + 4) ^ load(k + 4);
        std::uint32_t s2 = load(in + 8) ^ load(k + 8);
        std::uint32_t s3 = load(in + 12) ^ load(k + 12);
        for (int round = 1; round < rounds; ++round) {
            k += 16;
            const std::uint32_t t0
                = kTe0[b0(s0)] ^ kTe1[b1(s1)] ^ kTe2[b2(s2)] ^ kTe3[b3(s3)] ^ load(k);
            const std::uint32_t t1
                = kTe0[b0(s1)] ^ kTe1[b1(s2)] ^ kTe2[b2(s3)] ^ kTe3[b3(s0)] ^ load(k + 4);
            const std::uint32_t t2
                = kTe0[b0(s2)] ^ kTe1[b1(s3)] ^ kTe2[b2(s0)] ^ kTe3[b3(s1)] ^ load(k + 8);
            const std::uint32_t t3
                = kTe0[b0(s3)] ^ kTe1[b1(s0)] ^ kTe2[b2(s1)] ^ kTe3[b3(s2)] ^ load(k + 12);
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        k += 16;
        const std::uint32_t o0 = lastRound(kSbox, s0, s1, s2, s3, k);
        const std::uint32_t o1 = lastRound(kSbox, s1, s2, s3, s0, k + 4);
        const std::uint32_t o2 = lastRound(kSbox, s2, s3, s0, s1, k + 8);
        const std::uint32_t o3 = lastRound(kSbox, s3, s0, s1, s2, k + 12);
        store(out, o0);
        store(out + 4, o1);
        store(out + 8, o2);
        store(out + 12, o3);
    }
}

void decryptTables(const AesKeySchedule &keys, const std::uint8_t *in, std::uint8_t *out,
                   std::size_t blocks)
{
    const int rounds = keys.rounds();
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const std::uint8_t *k = keys.decryptionKeys();
        std::uint32_t s0 = load(in) ^ load(k);
        std::uint32_t s1 = load(in + 4) ^ load(k + 4);
        std::uint32_t s2 = load(in + 8) ^ load(k + 8);
        std::uint32_t s3 = load(in + 12) ^ load(k + 12);
        for (int round = 1; round < rounds; ++round) {
            k += 16;
            const std::uint32_t t0
                = kTd0[b0(s0)] ^ kTd1[b1(s3)] ^ kTd2[b2(s2)] ^ kTd3[b3(s1)] ^ load(k);
            const std::uint32_t t1
                = kTd0[b0(s1)] ^ kTd1[b1(s0)] ^ kTd2[b2(s3)] ^ kTd3[b3(s2)] ^ load(k + 4);
            const std::uint32_t t2
                = kTd0[b0(s2)] ^ kTd1[b1(s1)] ^ kTd2[b2(s0)] ^ kTd3[b3(s3)] ^ load(k + 8);
            const std::uint32_t t3
                = kTd0[b0(s3)] ^ kTd1[b1(s2)] ^ kTd2[b2(s1)] ^ kTd3[b3(s0)] ^ load(k + 12);
            s0 = t0;
            s1 = t1;
            s2 = t2;
            s3 = t3;
        }
        k += 16;
        const std::uint32_t o0 = lastRound(kInvSbox, s0, s3, s2, s1, k);
        const std::uint32_t o1 = lastRound(kInvSbox, s1, s0, s3, s2, k + 4);
        const std::uint32_t o2 = lastRound(kInvSbox, s2, s1, s0, s3, k + 8);
        const std::uint32_t o3 = lastRound(kInvSbox, s3, s2, s1, s0, k + 12);
        store(out, o0);
        store(out + 4, o1);
        store(out + 8, o2);
        store(out + 12, o3);
    }
}

constexpr AesEngine kTableEngine{ "tables", encryptTables, decryptTables };

} // namespace

const AesEngine &aesTableEngine()
{
    return kTableEngine;
}

const AesEngine &aesBestEngine()
{
    static const AesEngine &best = []() -> const AesEngine & {
        const AesEngine *instructions = aesInstructionEngine();
        return instructions ? *instructions : aesTableEngine();
    }();
    return best;
}
