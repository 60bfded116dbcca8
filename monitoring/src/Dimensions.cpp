#include "Dimensions.h"

#include <utility>

namespace monitoring {

Dimensions::Dimensions(std::vector<uint16_t> sizes, uint8_t layout)
    : count(sizes.empty() ? 0 : 1)
    , layoutByte(layout)
    , dimensionSizes(std::move(sizes))
    , elementStrides(dimensionSizes.size(), 0)
{
    for (uint16_t d : dimensionSizes)
        count *= d;
    const size_t n = dimensionSizes.size();
    if (n == 0)
        return;
    switch (layout) {
    case Vector:
        elementStrides[0] = 1;
        break;
    case RowMajor:
    case ColumnMajor:
        // A matrix layout with one dimension is a vector: there is no second size to stride by.
        if (n < 2) {
            elementStrides[0] = 1;
        } else if (layout == RowMajor) {
            elementStrides[0] = dimensionSizes[1];
            elementStrides[1] = 1;
        } else {
            elementStrides[0] = 1;
            elementStrides[1] = dimensionSizes[0];
        }
        break;
    case ColumnMajorN:
        elementStrides[0] = 1;
        for (size_t i = 1; i < n; ++i)
            elementStrides[i] = elementStrides[i - 1] * dimensionSizes[i - 1];
        break;
    default:
        break; // scalars and unknown layouts: every index names element 0
    }
}

Dimensions::Dimensions(Dimensions &&other) noexcept
    : count(std::exchange(other.count, 0))
    , layoutByte(other.layoutByte)
    , dimensionSizes(std::move(other.dimensionSizes))
    , elementStrides(std::move(other.elementStrides))
{
    other.dimensionSizes.clear();
    other.elementStrides.clear();
}

Dimensions &Dimensions::operator=(Dimensions &&other) noexcept
{
    if (this != &other) {
        count = std::exchange(other.count, 0);
        layoutByte = other.layoutByte;
        dimensionSizes = std::move(other.dimensionSizes);
        elementStrides = std::move(other.elementStrides);
        other.dimensionSizes.clear();
        other.elementStrides.clear();
    }
    return *this;
}

bool Dimensions::elementIndex(const std::vector<uint32_t> &indexes, uint32_t *element) const
{
    uint64_t e = 0;
    for (size_t i = 0; i < dimensionSizes.size(); ++i) {
        const uint32_t index = i < indexes.size() ? indexes[i] : 0;
        if (index >= dimensionSizes[i])
            return false;
        e += uint64_t(index) * elementStrides[i];
    }
    if (e >= count)
        return false;
    *element = uint32_t(e);
    return true;
}

} // namespace monitoring
