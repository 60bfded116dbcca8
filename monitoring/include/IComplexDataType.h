#pragma once

#include "IDataType.h"

#include <cmath>

namespace monitoring {

// A complex value: the real part, then the imaginary part right behind it. As a plain number it
// reads as its magnitude; writing a plain number into it changes nothing.
class IComplexDataType : public IDataType
{
public:
    using IDataType::IDataType;

    virtual double realToDouble(ConstRawValue raw) const = 0;
    virtual double imagToDouble(ConstRawValue raw) const = 0;
    virtual void fromComplexDouble(double real, double imag, RawValue raw) const = 0;
    virtual int64_t realToInt(ConstRawValue raw) const = 0;
    virtual int64_t imagToInt(ConstRawValue raw) const = 0;
    virtual void fromComplexInt(int64_t real, int64_t imag, RawValue raw) const = 0;

    double toDouble(ConstRawValue raw) const override;
    void fromDouble(double, RawValue) const override { }
    int64_t toInt64(ConstRawValue raw) const override;
    void fromInt64(int64_t, RawValue) const override { }
    bool isComplex() const override { return true; }
};

} // namespace monitoring
