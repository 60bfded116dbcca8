#include "DataTypeFactory.h"

#include "BasicComplexSlDataType.h"
#include "BasicSlDataType.h"
#include "ComplexFixedPointDataType.h"
#include "FixedPointDataType.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcDataTypes, "Monitoring.DataTypes")

namespace monitoring {

namespace {

constexpr uint8_t TypeNameTable = 12;
constexpr uint8_t SecondTypeNameTable = 13;
constexpr uint8_t EnumTypeId = 254;

struct Names
{
    std::string first;
    std::string second;
};

template<template<typename, uint8_t, typename> class Codec>
std::shared_ptr<IDataType> builtIn(uint8_t id, uint16_t index, Names n)
{
    switch (id) {
    case 0:
        return std::make_shared<Codec<double, 0, std::numeric_limits<double>>>(index, n.first,
                                                                               n.second);
    case 1:
        return std::make_shared<Codec<float, 1, std::numeric_limits<float>>>(index, n.first,
                                                                             n.second);
    case 2:
        return std::make_shared<Codec<signed char, 2, std::numeric_limits<signed char>>>(
            index, n.first, n.second);
    case 3:
        return std::make_shared<Codec<unsigned char, 3, std::numeric_limits<unsigned char>>>(
            index, n.first, n.second);
    case 4:
        return std::make_shared<Codec<short, 4, std::numeric_limits<short>>>(index, n.first,
                                                                             n.second);
    case 5:
        return std::make_shared<Codec<unsigned short, 5, std::numeric_limits<unsigned short>>>(
            index, n.first, n.second);
    case 6:
        return std::make_shared<Codec<int, 6, std::numeric_limits<int>>>(index, n.first, n.second);
    case 7:
        return std::make_shared<Codec<unsigned int, 7, std::numeric_limits<unsigned int>>>(
            index, n.first, n.second);
    case 8:
        return std::make_shared<Codec<unsigned char, 8, std::numeric_limits<bool>>>(index, n.first,
                                                                                    n.second);
    default:
        return {};
    }
}

template<typename T> FixedPointScaling<T> scalingOf(const protocol::fxp_info_t &info)
{
    const int w = info.wordLength;
    const bool isSigned = info.isSigned != 0;
    const int magnitudeBits = isSigned ? w - 1 : w;
    const uint64_t largest
        = magnitudeBits >= 64 ? ~uint64_t(0) : (uint64_t(1) << magnitudeBits) - 1;
    const int64_t smallest = !isSigned ? 0 : (w >= 64 ? INT64_MIN : -(int64_t(1) << (w - 1)));
    return { info.slopeAdjustment * std::ldexp(1.0, info.exponent), info.bias, T(largest),
             T(smallest) };
}

template<template<typename> class Codec>
std::shared_ptr<IDataType> fixedPoint(const protocol::datatype_t &type, uint16_t index,
                                      const protocol::fxp_info_t &info, Names n, bool complex)
{
    const char *scalingMessage = complex ? "Unsupported complex fixed point scaling type"
                                         : "Unsupported fixed point scaling type";
    const char *widthMessage
        = complex ? "Unsupported complex fixed type width: " : "Unsupported fixed type width: ";
    if (info.scalingType != 0) {
        qCWarning(lcDataTypes) << scalingMessage;
        return {};
    }
    const int w = info.wordLength;
    const int size = complex ? type.dataSize / 2 : type.dataSize;
    // A complex type of odd size has no whole parts.
    const bool whole = !complex || type.dataSize % 2 == 0;
    int bits = 0;
    if (whole && w <= 8 && size == 1)
        bits = 8;
    else if (whole && w <= 16 && size == 2)
        bits = 16;
    else if (whole && w <= 32 && size == 4)
        bits = 32;
    else if (whole && w <= 64 && size == 8)
        bits = 64;
    // A word of no bits has no range to store in.
    if (bits == 0 || w == 0) {
        qCWarning(lcDataTypes) << widthMessage << w << " Signed: " << int(info.isSigned)
                               << " DataSize: " << type.dataSize;
        return {};
    }
    const uint8_t id = type.typeId;
    const bool s = info.isSigned != 0;
    auto make = [&](auto zero) -> std::shared_ptr<IDataType> {
        using T = decltype(zero);
        return std::make_shared<Codec<T>>(id, index, n.first, n.second, scalingOf<T>(info));
    };
    switch (bits) {
    case 8:
        return s ? make((signed char)0) : make((unsigned char)0);
    case 16:
        return s ? make(short(0)) : make((unsigned short)0);
    case 32:
        return s ? make(int(0)) : make(0u);
    default:
        return s ? make((long long)0) : make((unsigned long long)0);
    }
}

std::shared_ptr<IDataType> enumeration(const protocol::datatype_t &type, uint16_t index, Names n)
{
    const uint8_t storage = type.enumStorageId;
    if (storage < 2 || storage > 7) {
        qCWarning(lcDataTypes) << "Unsupported enum datatype: " << int(storage)
                               << "(size: " << type.dataSize << ")";
        return {};
    }
    const bool isSigned = storage % 2 == 0;
    uint8_t id = isSigned ? 2 : 3;
    if (type.dataSize == 2)
        id = isSigned ? 4 : 5;
    else if (type.dataSize == 4)
        id = isSigned ? 6 : 7;
    return builtIn<BasicSlDataType>(id, index, std::move(n));
}

} // namespace

std::string_view typeString(const ModelTables &tables, uint8_t table, int32_t index)
{
    if (table >= ModelTables::StringTableCount || index < 0
        || size_t(index) >= tables.strings[table].size()) {
        qCWarning(lcDataTypes) << "Tried to access invalid string index " << index << " for type "
                               << int(table);
        return {};
    }
    return tables.strings[table][size_t(index)];
}

std::shared_ptr<IDataType> makeDataType(const ModelTables &tables, uint16_t dataTypeIndex,
                                        int32_t fixedPointIndex)
{
    if (dataTypeIndex >= tables.dataTypes.size()) {
        qCWarning(lcDataTypes) << "Unkown data type index";
        return {};
    }
    if (fixedPointIndex < 0 || size_t(fixedPointIndex) >= tables.fixedPointInfo.size()) {
        qCWarning(lcDataTypes) << "Unknown fixed point index";
        return {};
    }
    const protocol::datatype_t &type = tables.dataTypes[dataTypeIndex];
    const bool complex = (type.flags & 1) != 0;
    if (type.typeId == EnumTypeId && (fixedPointIndex > 0 || complex))
        return {};
    Names names{ std::string(typeString(tables, TypeNameTable, type.nameIndex)),
                 std::string(typeString(tables, SecondTypeNameTable, type.nameIndex)) };
    if (type.typeId == EnumTypeId)
        return enumeration(type, dataTypeIndex, std::move(names));
    if (fixedPointIndex > 0) {
        const protocol::fxp_info_t &info = tables.fixedPointInfo[size_t(fixedPointIndex)];
        if (complex)
            return fixedPoint<ComplexFixedPointDataType>(type, dataTypeIndex, info,
                                                         std::move(names), true);
        return fixedPoint<FixedPointDataType>(type, dataTypeIndex, info, std::move(names), false);
    }
    auto codec = complex ? builtIn<BasicComplexSlDataType>(type.typeId, dataTypeIndex, names)
                         : builtIn<BasicSlDataType>(type.typeId, dataTypeIndex, names);
    if (!codec)
        qCWarning(lcDataTypes) << (complex ? "Unsupported complex datatype: "
                                           : "Unsupported datatype: ")
                               << int(type.typeId);
    return codec;
}

} // namespace monitoring
