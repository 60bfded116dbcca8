#pragma once

#include "BasicSlDataType.h"
#include "IComplexDataType.h"

namespace monitoring {

// The complex form of a Simulink built-in type: two parts of T.
template<typename T, uint8_t SlId, typename Limits = std::numeric_limits<T>>
class BasicComplexSlDataType : public IComplexDataType
{
    using Part = BasicSlDataType<T, SlId, Limits>;

public:
    BasicComplexSlDataType(uint16_t dataTypeIndex, std::string typeName, std::string secondTypeName)
        : IComplexDataType(SlId, dataTypeIndex, std::move(typeName), std::move(secondTypeName))
    { }

    double realToDouble(ConstRawValue raw) const override { return double(codec::load<T>(raw)); }
    double imagToDouble(ConstRawValue raw) const override
    {
        return double(codec::load<T>(raw, sizeof(T)));
    }

    // Each part is stored as a plain value of its type would be: integer parts clamp to the
    // part's range instead of wrapping around.
    void fromComplexDouble(double real, double imag, RawValue raw) const override
    {
        codec::store(Part::encode(real), raw);
        codec::store(Part::encode(imag), raw, sizeof(T));
    }

    int64_t realToInt(ConstRawValue raw) const override { return partToInt(codec::load<T>(raw)); }
    int64_t imagToInt(ConstRawValue raw) const override
    {
        return partToInt(codec::load<T>(raw, sizeof(T)));
    }

    void fromComplexInt(int64_t real, int64_t imag, RawValue raw) const override
    {
        if constexpr (Part::Integral) {
            codec::storeLowBytes<T>(real, raw);
            codec::storeLowBytes<T>(imag, raw, sizeof(T));
        } else {
            codec::store(T(real), raw);
            codec::store(T(imag), raw, sizeof(T));
        }
    }

    uint32_t byteSize() const override { return 2 * sizeof(T); }
    bool isInteger() const override { return Part::Integral; }
    double minDouble() const override { return double(Limits::lowest()); }
    double maxDouble() const override { return double(Limits::max()); }
    int64_t minInt64() const override { return codec::truncToInt64(minDouble()); }
    int64_t maxInt64() const override { return codec::truncToInt64(maxDouble()); }

private:
    static int64_t partToInt(T v)
    {
        if constexpr (Part::Integral)
            return int64_t(v);
        else
            return codec::truncToInt64(double(v));
    }
};

} // namespace monitoring
