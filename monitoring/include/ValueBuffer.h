#pragma once

#include "Dimensions.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace monitoring {

// The raw values of all elements of one model item, one after another.
class ValueBuffer
{
public:
    ValueBuffer() = default;
    // Copies element count × element size bytes from `source`, which holds at least that many.
    ValueBuffer(const std::byte *source, uint32_t elementSize, Dimensions dimensions);
    bool operator==(const ValueBuffer &other) const = default;

    uint32_t elementSize() const { return size; }
    const Dimensions &dimensions() const { return dims; }
    uint32_t elementCount() const { return dims.elementCount(); }
    const std::vector<std::byte> &bytes() const { return data; }

    // Element `index`; an empty view when there is no such element.
    std::span<const std::byte> element(uint32_t index) const;
    std::span<std::byte> element(uint32_t index);

private:
    uint32_t size = 0;
    std::vector<std::byte> data;
    Dimensions dims;
};

} // namespace monitoring
