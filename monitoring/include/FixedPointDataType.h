#pragma once

#include "CodecNumbers.h"
#include "IDataType.h"

#include <cmath>
#include <type_traits>

namespace monitoring {

// Scaling shared by the real and complex fixed-point codecs: real = stored × slope + bias.
template<typename T> struct FixedPointScaling
{
    double slope;
    double bias;
    T largest;
    T smallest;

    double decode(T stored) const { return double(stored) * slope + bias; }

    // floor((x - bias) / slope), where a quotient a few ulps from an integer counts as that
    // integer: 0.3 / 0.1 is 2.9999999999999996 in doubles but means 3. Values beyond the word
    // saturate; NaN and infinite quotients (a zero slope included) store 0.
    T encode(double x) const
    {
        double q = (x - bias) / slope;
        if (!std::isfinite(q))
            return 0;
        const double nearest = std::nearbyint(q);
        if (std::fabs(q - nearest)
            <= 4 * std::numeric_limits<double>::epsilon() * std::fabs(nearest))
            q = nearest;
        q = std::floor(q);
        using Wide = std::conditional_t<std::is_signed_v<T>, int64_t, uint64_t>;
        return T(codec::saturateToInteger<Wide>(q, Wide(smallest), Wide(largest)));
    }
};

// A fixed-point type stored in the integer T.
template<typename T> class FixedPointDataType : public IDataType
{
public:
    FixedPointDataType(uint8_t simulinkTypeId, uint16_t dataTypeIndex, std::string typeName,
                       std::string secondTypeName, FixedPointScaling<T> scaling)
        : IDataType(simulinkTypeId, dataTypeIndex, std::move(typeName), std::move(secondTypeName))
        , scaling(scaling)
    { }

    double toDouble(ConstRawValue raw) const override
    {
        return scaling.decode(codec::load<T>(raw));
    }
    void fromDouble(double value, RawValue raw) const override
    {
        codec::store(scaling.encode(value), raw);
    }
    int64_t toInt64(ConstRawValue raw) const override { return codec::truncToInt64(toDouble(raw)); }
    void fromInt64(int64_t value, RawValue raw) const override { fromDouble(double(value), raw); }
    uint32_t byteSize() const override { return sizeof(T); }
    bool isComplex() const override { return false; }
    bool isInteger() const override { return false; }
    double minDouble() const override { return scaling.decode(scaling.smallest); }
    double maxDouble() const override { return scaling.decode(scaling.largest); }
    int64_t minInt64() const override { return codec::truncToInt64(minDouble()); }
    int64_t maxInt64() const override { return codec::truncToInt64(maxDouble()); }

    const FixedPointScaling<T> &getScaling() const { return scaling; }

private:
    const FixedPointScaling<T> scaling;
};

} // namespace monitoring
