#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace logfile {

// Flags of a signal; no other bit is read.
constexpr std::uint16_t TimeBaseFlag = 0x10;
constexpr std::uint16_t ComplexFlag = 0x02;

struct Signal
{
    std::string name;
    std::string block_name;
    std::string label;
    std::uint16_t typeId = 0;
    float startT = 0;
    float stopT = 0;
    float stepT = 0;
    float sampleTime = 0;
    std::int32_t sampleSize = 0;
    std::vector<std::uint16_t> dims;
    std::int32_t index = 0;
    std::uint16_t flags = 0;
};

using SignalList = std::vector<Signal>;
// Read once and never modified: the file object, its data section, every iterator and every
// record share it, so a record stays valid after its iterator has moved on.
using SharedSignalList = std::shared_ptr<const SignalList>;

using Metadata = std::unordered_map<std::string, std::string>;

// One signal's bytes inside a record. The span points into the record's own copy of its bytes,
// which stays where it is when the record is moved.
struct Sample
{
    const Signal *signal = nullptr;
    std::span<const std::uint8_t> recordBytes;
    std::size_t offset = 0;

    std::span<const std::uint8_t> bytes() const
    {
        return recordBytes.subspan(offset, std::size_t(signal->sampleSize));
    }
};

struct Record
{
    Record() = default;
    Record(Record &&) = default;
    Record &operator=(Record &&) = default;
    // A copy would leave its samples pointing into the original's bytes.
    Record(const Record &) = delete;
    Record &operator=(const Record &) = delete;

    std::vector<Sample> samples;
    SharedSignalList signalList;
    int timeIndex = -1;
    std::vector<std::uint8_t> bytes;
    std::uint64_t bytesConsumed = 0;
};

struct SampleArray
{
    std::vector<double> values;
    std::vector<std::uint32_t> dims;
};

} // namespace logfile
