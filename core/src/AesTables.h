#pragma once

#include <array>
#include <cstdint>

// Tables of AES computed at compile time from their definitions in GF(2^8) (modulus
// x^8 + x^4 + x^3 + x + 1), which removes any chance of a mistyped constant.
namespace aestables {

using ByteTable = std::array<std::uint8_t, 256>;
using WordTable = std::array<std::uint32_t, 256>;

constexpr std::uint8_t xtime(std::uint8_t a)
{
    return std::uint8_t((a << 1) ^ ((a & 0x80) ? 0x1B : 0x00));
}

constexpr std::uint8_t gfMultiply(std::uint8_t a, std::uint8_t b)
{
    std::uint8_t product = 0;
    while (b) {
        if (b & 1)
            product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t rotl8(std::uint8_t v, int n)
{
    return std::uint8_t((v << n) | (v >> (8 - n)));
}

// The multiplicative inverse (a^254, 0 for 0) followed by the affine map.
constexpr ByteTable makeSbox()
{
    ByteTable box{};
    for (int i = 0; i < 256; ++i) {
        std::uint8_t inverse = 1;
        std::uint8_t power = std::uint8_t(i);
        for (int e = 254; e; e >>= 1) {
            if (e & 1)
                inverse = gfMultiply(inverse, power);
            power = gfMultiply(power, power);
        }
        if (i == 0)
            inverse = 0;
        box[i] = std::uint8_t(inverse ^ rotl8(inverse, 1) ^ rotl8(inverse, 2) ^ rotl8(inverse, 3)
                              ^ rotl8(inverse, 4) ^ 0x63);
    }
    return box;
}

constexpr ByteTable makeInverse(const ByteTable &box)
{
    ByteTable inverse{};
    for (int i = 0; i < 256; ++i)
        inverse[box[i]] = std::uint8_t(i);
    return inverse;
}

// Entry x is the column that byte `box[x]` contributes to one round, multiplied by the four
// factors (first factor in the top byte); the tables for the other rows are rotations of it.
constexpr WordTable makeRoundTable(const ByteTable &box, std::array<std::uint8_t, 4> factors)
{
    WordTable table{};
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t s = box[i];
        table[i] = std::uint32_t(gfMultiply(s, factors[0])) << 24
            | std::uint32_t(gfMultiply(s, factors[1])) << 16
            | std::uint32_t(gfMultiply(s, factors[2])) << 8 | gfMultiply(s, factors[3]);
    }
    return table;
}

inline constexpr ByteTable kSbox = makeSbox();
inline constexpr ByteTable kInvSbox = makeInverse(kSbox);
static_assert(kSbox[0x00] == 0x63 && kSbox[0x01] == 0x7C && kSbox[0x53] == 0xED);
static_assert(kInvSbox[0x63] == 0x00 && kInvSbox[0xED] == 0x53);

} // namespace aestables
