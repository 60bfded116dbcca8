#pragma once

#include "FixedPointDataType.h"
#include "IComplexDataType.h"

namespace monitoring {

// The complex form of a fixed-point type: two parts of T, each scaled alike.
template<typename T> class ComplexFixedPointDataType : public IComplexDataType
{
public:
    ComplexFixedPointDataType(uint8_t simulinkTypeId, uint16_t dataTypeIndex, std::string typeName,
                              std::string secondTypeName, FixedPointScaling<T> scaling)
        : IComplexDataType(simulinkTypeId, dataTypeIndex, std::move(typeName),
                           std::move(secondTypeName))
        , scaling(scaling)
    { }

    double realToDouble(ConstRawValue raw) const override
    {
        return scaling.decode(codec::load<T>(raw));
    }
    double imagToDouble(ConstRawValue raw) const override
    {
        return scaling.decode(codec::load<T>(raw, sizeof(T)));
    }
    void fromComplexDouble(double real, double imag, RawValue raw) const override
    {
        codec::store(scaling.encode(real), raw);
        codec::store(scaling.encode(imag), raw, sizeof(T));
    }
    int64_t realToInt(ConstRawValue raw) const override
    {
        return codec::truncToInt64(realToDouble(raw));
    }
    int64_t imagToInt(ConstRawValue raw) const override
    {
        return codec::truncToInt64(imagToDouble(raw));
    }
    void fromComplexInt(int64_t real, int64_t imag, RawValue raw) const override
    {
        fromComplexDouble(double(real), double(imag), raw);
    }
    uint32_t byteSize() const override { return 2 * sizeof(T); }
    bool isInteger() const override { return false; }
    double minDouble() const override { return scaling.decode(scaling.smallest); }
    double maxDouble() const override { return scaling.decode(scaling.largest); }
    int64_t minInt64() const override { return codec::truncToInt64(minDouble()); }
    int64_t maxInt64() const override { return codec::truncToInt64(maxDouble()); }

private:
    const FixedPointScaling<T> scaling;
};

} // namespace monitoring
