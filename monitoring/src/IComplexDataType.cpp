#include "IComplexDataType.h"

#include "CodecNumbers.h"

namespace monitoring {

double IComplexDataType::toDouble(ConstRawValue raw) const
{
    const double re = realToDouble(raw);
    const double im = imagToDouble(raw);
    return std::sqrt(re * re + im * im);
}

int64_t IComplexDataType::toInt64(ConstRawValue raw) const
{
    return codec::truncToInt64(toDouble(raw));
}

} // namespace monitoring
