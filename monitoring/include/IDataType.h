#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

namespace monitoring {

// Raw bytes of one value, little-endian like the device. A codec touches exactly byteSize()
// bytes from the start; callers hand it at least that many.
using ConstRawValue = std::span<const std::byte>;
using RawValue = std::span<std::byte>;

// The codec of one Simulink data type: raw bytes to doubles and back. Immutable after
// construction and shared by the nodes that use it.
class IDataType
{
public:
    IDataType(uint8_t simulinkTypeId, uint16_t dataTypeIndex, std::string typeName,
              std::string secondTypeName)
        : simulinkTypeId(simulinkTypeId)
        , dataTypeIndex(dataTypeIndex)
        , typeName(std::move(typeName))
        , secondTypeName(std::move(secondTypeName))
    { }
    virtual ~IDataType() = default;

    virtual double toDouble(ConstRawValue raw) const = 0;
    virtual void fromDouble(double value, RawValue raw) const = 0;
    virtual int64_t toInt64(ConstRawValue raw) const = 0;
    virtual void fromInt64(int64_t value, RawValue raw) const = 0;
    virtual uint32_t byteSize() const = 0;
    virtual bool isComplex() const = 0;
    virtual bool isInteger() const = 0;
    virtual double minDouble() const = 0;
    virtual double maxDouble() const = 0;
    virtual int64_t minInt64() const = 0;
    virtual int64_t maxInt64() const = 0;

    uint8_t getSimulinkTypeId() const { return simulinkTypeId; }
    uint16_t getDataTypeIndex() const { return dataTypeIndex; }
    const std::string &getTypeName() const { return typeName; }
    const std::string &getSecondTypeName() const { return secondTypeName; }

protected:
    const uint8_t simulinkTypeId;
    const uint16_t dataTypeIndex;
    const std::string typeName;
    const std::string secondTypeName;
};

} // namespace monitoring
