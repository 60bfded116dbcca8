#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

// Small numeric helpers shared by the value codecs.
namespace monitoring::codec {

template<typename T> T load(std::span<const std::byte> raw, size_t offset = 0)
{
    T v;
    std::memcpy(&v, raw.data() + offset, sizeof v);
    return v;
}

template<typename T> void store(T v, std::span<std::byte> raw, size_t offset = 0)
{
    std::memcpy(raw.data() + offset, &v, sizeof v);
}

// Truncation toward zero that stays defined outside the int64 range (saturates; NaN gives 0).
inline int64_t truncToInt64(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 0x1p63)
        return std::numeric_limits<int64_t>::max();
    if (x < -0x1p63)
        return std::numeric_limits<int64_t>::min();
    return int64_t(x);
}

// An integer type's value nearest to x after truncation toward zero: out-of-range values take
// the nearer limit, NaN takes 0. The limits are compared exactly: the upper one as the power
// of two just above it, since 2^63 - 1 and 2^64 - 1 are no doubles.
template<typename T> T saturateToInteger(double x, T lowest, T highest)
{
    if (std::isnan(x))
        return 0;
    const double lowBound = double(lowest); // 0 or -2^(n-1): exact
    // Every highest value here is 2^k - 1; 2^k is exact.
    const double highBound = std::ldexp(1.0, int(std::bit_width(uint64_t(highest))));
    if (x < lowBound)
        return lowest;
    if (x >= highBound)
        return highest;
    const double t = std::trunc(x);
    if constexpr (std::is_signed_v<T>)
        return T(int64_t(t));
    else
        return T(uint64_t(t));
}

// Integers store the low bytes of a 64-bit number, which is two's complement on every host.
template<typename T> void storeLowBytes(int64_t v, std::span<std::byte> raw, size_t offset = 0)
{
    std::memcpy(raw.data() + offset, &v, sizeof(T));
}

} // namespace monitoring::codec
