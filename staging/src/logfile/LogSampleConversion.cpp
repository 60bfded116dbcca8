#include "logfile/LogSampleConversion.h"

#include "logfile/LogFileExceptions.h"

#include <bit>
#include <cstring>

namespace logfile {

namespace {

template<typename T>
void appendElements(std::vector<double> &values, std::span<const std::uint8_t> bytes)
{
    const std::size_t count = bytes.size() / sizeof(T);
    values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        T element;
        std::memcpy(&element, bytes.data() + i * sizeof(T), sizeof(T));
        values.push_back(double(element));
    }
}

} // namespace

static_assert(std::endian::native == std::endian::little,
              "log samples are little-endian and are read as they stand");

std::size_t elementSize(std::uint16_t typeId)
{
    static constexpr std::size_t sizes[] = { 8, 4, 1, 1, 2, 2, 4, 4, 1 };
    return typeId < std::size(sizes) ? sizes[typeId] : 0;
}

SampleArray toDoubles(const Sample &sample)
{
    const Signal &signal = *sample.signal;
    if (signal.flags & ComplexFlag)
        throw TypeConversionError("Data is complex");
    SampleArray array;
    const auto bytes = sample.bytes();
    switch (signal.typeId) {
    case 0:
        appendElements<double>(array.values, bytes);
        break;
    case 1:
        appendElements<float>(array.values, bytes);
        break;
    case 2:
    case 8: // boolean: one byte, read as a signed byte
        appendElements<std::int8_t>(array.values, bytes);
        break;
    case 3:
        appendElements<std::uint8_t>(array.values, bytes);
        break;
    case 4:
        appendElements<std::int16_t>(array.values, bytes);
        break;
    case 5:
        appendElements<std::uint16_t>(array.values, bytes);
        break;
    case 6:
        appendElements<std::int32_t>(array.values, bytes);
        break;
    case 7:
        appendElements<std::uint32_t>(array.values, bytes);
        break;
    default:
        throw TypeConversionError("Unknown data type");
    }
    array.dims.assign(signal.dims.begin(), signal.dims.end());
    return array;
}

} // namespace logfile
