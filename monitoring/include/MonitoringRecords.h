#pragma once

#include <cstdint>

// The wire records of channels 2 and 3. Each is packed and little-endian, exactly as the device
// lays it out, so a record is copied between the wire and memory byte for byte.
namespace monitoring::protocol {

enum CommandType : int16_t {
    GetInfo = 1,
    GetSignals = 5,
    GetBlockParams = 6,
    GetModelParams = 7,
    GetBlockStates = 8,
    GetInputs = 9,
    GetOutputs = 10,
    GetRawData = 11,
    GetStrings = 12,
    SetParameter = 13,
    UpdateParameters = 14,
    SetSignal = 15,
    StreamingHandled = 16,
    GetActiveSignals = 17,
    GetDataTypes = 18,
    GetStructElements = 19,
    GetFixedPointInfo = 20
};

enum ErrorType : int8_t {
    NoError = 0,
    // The device's "done, with remarks" answer to parameter and streaming requests.
    Handled = -7
};

using string_type_t = uint8_t;
using rawdata_type_t = uint8_t;

#pragma pack(push, 1)

struct monitor_info_t
{
    uint32_t version;
    uint32_t reserved;
};

struct signal_t
{
    uint16_t nodeIndex;
    uint16_t modelRefIndex;
    uint16_t blockPathIndex;
    uint16_t nameIndex;
    uint8_t portNumber;
    uint8_t reserved[3];
    uint16_t defaultOdr;
    uint16_t dataTypeIndex;
    uint16_t fixedPointIndex;
    uint8_t dimensionLayout;
    uint8_t numDimensions;
    uint16_t dimensions[2];
};

struct param_t
{
    uint16_t nodeIndex;
    uint16_t modelRefIndex;
    uint16_t blockPathIndex;
    uint16_t nameIndex;
    uint8_t flags;
    uint8_t reserved;
    uint16_t dataTypeIndex;
    uint16_t fixedPointIndex;
    uint8_t dimensionLayout;
    uint8_t numDimensions;
    uint16_t dimensions[2];
};

struct state_t
{
    uint16_t nodeIndex;
    uint16_t modelRefIndex;
    uint16_t blockPathIndex;
    uint16_t nameIndex;
    uint8_t reserved[2];
    uint16_t dataTypeIndex;
    uint16_t fixedPointIndex;
    uint8_t dimensionLayout;
    uint8_t numDimensions;
    uint16_t dimensions[2];
    uint8_t reserved2[4];
    uint16_t defaultOdr;
};

struct datatype_t
{
    uint16_t reserved;
    uint16_t nameIndex;
    uint16_t reserved2;
    uint16_t numElements;
    uint16_t firstElement;
    uint16_t dataSize;
    uint8_t typeId;
    uint8_t flags;
    uint8_t enumStorageId;
    uint8_t reserved3;
};

struct struct_element_t
{
    uint16_t reserved;
    uint16_t nameIndex;
    uint16_t offset;
    uint16_t dataTypeIndex;
    uint16_t fixedPointIndex;
    uint8_t dimensionLayout;
    uint8_t numDimensions;
    uint16_t dimensions[2];
};

struct fxp_info_t
{
    uint8_t reserved[4];
    uint8_t scalingType;
    uint8_t wordLength;
    int8_t exponent;
    uint8_t isSigned;
    double slopeAdjustment;
    double bias;
};

struct reference_set_t
{
    uint16_t dataOffset;
    uint16_t reference;
};

struct signal_set_t
{
    uint16_t nodeIndex;
    uint16_t modelRefIndex;
    int32_t odr;
    uint16_t valueSize;
    uint16_t dataOffset;
    uint8_t variableType;
    uint8_t reserved;
    uint16_t reserved2;
};

struct param_set_t
{
    uint16_t nodeIndex;
    uint16_t modelRefIndex;
    uint16_t dataTypeIndex;
    uint16_t elementIndex;
    uint8_t dimensionLayout;
    uint8_t paramKind;
    uint8_t value[16];
};

#pragma pack(pop)

static_assert(sizeof(monitor_info_t) == 8);
static_assert(sizeof(signal_t) == 24);
static_assert(sizeof(param_t) == 20);
static_assert(sizeof(state_t) == 26);
static_assert(sizeof(datatype_t) == 16);
static_assert(sizeof(struct_element_t) == 16);
static_assert(sizeof(fxp_info_t) == 24);
static_assert(sizeof(reference_set_t) == 4);
static_assert(sizeof(signal_set_t) == 16);
static_assert(sizeof(param_set_t) == 26);

// A stream is stopped by asking for this rate.
constexpr int32_t StopStreamingOdr = -1;

} // namespace monitoring::protocol
