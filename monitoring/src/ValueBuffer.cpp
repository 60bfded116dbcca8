#include "ValueBuffer.h"

#include <utility>

namespace monitoring {

ValueBuffer::ValueBuffer(const std::byte *source, uint32_t elementSize, Dimensions dimensions)
    : size(elementSize)
    , data(source, source + size_t(elementSize) * dimensions.elementCount())
    , dims(std::move(dimensions))
{ }

std::span<const std::byte> ValueBuffer::element(uint32_t index) const
{
    if (index >= dims.elementCount())
        return {};
    return std::span(data).subspan(size_t(index) * size, size);
}

std::span<std::byte> ValueBuffer::element(uint32_t index)
{
    if (index >= dims.elementCount())
        return {};
    return std::span(data).subspan(size_t(index) * size, size);
}

} // namespace monitoring
