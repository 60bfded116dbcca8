#pragma once

#include "CodecNumbers.h"
#include "IDataType.h"

#include <limits>
#include <type_traits>

namespace monitoring {

// A Simulink built-in type (double, single, the integers, boolean) stored as T.
template<typename T, uint8_t SlId, typename Limits = std::numeric_limits<T>>
class BasicSlDataType : public IDataType
{
public:
    BasicSlDataType(uint16_t dataTypeIndex, std::string typeName, std::string secondTypeName)
        : IDataType(SlId, dataTypeIndex, std::move(typeName), std::move(secondTypeName))
    { }

    static constexpr bool Integral = std::is_integral_v<T>;

    double toDouble(ConstRawValue raw) const override { return double(codec::load<T>(raw)); }

    void fromDouble(double value, RawValue raw) const override { codec::store(encode(value), raw); }

    int64_t toInt64(ConstRawValue raw) const override
    {
        if constexpr (Integral)
            return int64_t(codec::load<T>(raw));
        else
            return codec::truncToInt64(double(codec::load<T>(raw)));
    }

    void fromInt64(int64_t value, RawValue raw) const override
    {
        if constexpr (Integral)
            codec::storeLowBytes<T>(value, raw);
        else
            codec::store(T(value), raw);
    }

    uint32_t byteSize() const override { return sizeof(T); }
    bool isComplex() const override { return false; }
    bool isInteger() const override { return Integral; }
    double minDouble() const override { return double(Limits::lowest()); }
    double maxDouble() const override { return double(Limits::max()); }
    int64_t minInt64() const override { return codec::truncToInt64(minDouble()); }
    int64_t maxInt64() const override { return codec::truncToInt64(maxDouble()); }

    // The stored form of x: clamped to the type's range; integers truncated toward zero and NaN
    // stored as 0 (it has no integer), floating types rounded to nearest.
    static T encode(double x)
    {
        if constexpr (Integral) {
            return encodeInteger(x);
        } else {
            if (x < double(Limits::lowest()))
                x = double(Limits::lowest());
            else if (x > double(Limits::max()))
                x = double(Limits::max());
            return T(x);
        }
    }

private:
    static T encodeInteger(double x)
    {
        using Wide = std::conditional_t<std::is_signed_v<T>, int64_t, uint64_t>;
        return T(codec::saturateToInteger<Wide>(x, Wide(Limits::lowest()), Wide(Limits::max())));
    }
};

} // namespace monitoring
