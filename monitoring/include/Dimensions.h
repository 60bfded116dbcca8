#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace monitoring {

// The shape of a model item's value: element count, the device's layout byte, the dimension
// sizes and the element stride of each dimension.
class Dimensions
{
public:
    enum Layout : uint8_t {
        Scalar = 0,
        Vector = 1,
        RowMajor = 2,
        ColumnMajor = 3,
        ColumnMajorN = 4
    };

    Dimensions() = default;
    Dimensions(std::vector<uint16_t> sizes, uint8_t layout);
    Dimensions(const Dimensions &) = default;
    Dimensions &operator=(const Dimensions &) = default;
    Dimensions(Dimensions &&other) noexcept;
    Dimensions &operator=(Dimensions &&other) noexcept;
    bool operator==(const Dimensions &other) const = default;

    uint32_t elementCount() const { return count; }
    uint8_t layout() const { return layoutByte; }
    const std::vector<uint16_t> &sizes() const { return dimensionSizes; }
    const std::vector<uint32_t> &strides() const { return elementStrides; }

    // The element an index per dimension names; false when an index is outside its dimension
    // or the result is not below the element count.
    bool elementIndex(const std::vector<uint32_t> &indexes, uint32_t *element) const;

private:
    uint32_t count = 0;
    uint8_t layoutByte = 0;
    std::vector<uint16_t> dimensionSizes;
    std::vector<uint32_t> elementStrides;
};

} // namespace monitoring
