#pragma once

#include "DataTypeFactory.h"
#include "ModelTables.h"

#include <QByteArray>

#include <cstring>

// Small model tables for codec tests: one data type record, one fixed-point record behind the
// "no scaling" entry 0, and type names in tables 12 and 13.
inline monitoring::ModelTables codecTables(uint8_t typeId, uint16_t dataSize, bool complex = false,
                                           uint8_t enumStorage = 0)
{
    monitoring::ModelTables t;
    monitoring::protocol::datatype_t type{};
    type.nameIndex = 1;
    type.dataSize = dataSize;
    type.typeId = typeId;
    type.flags = complex ? 1 : 0;
    type.enumStorageId = enumStorage;
    t.dataTypes = { type };
    t.fixedPointInfo = { monitoring::protocol::fxp_info_t{} };
    t.strings[12] = { "unused", "first name" };
    t.strings[13] = { "unused", "second name" };
    return t;
}

inline monitoring::protocol::fxp_info_t fixedPoint(int wordLength, bool isSigned, double slopeAdj,
                                                   int exponent, double bias, int scalingType = 0)
{
    monitoring::protocol::fxp_info_t f{};
    f.scalingType = uint8_t(scalingType);
    f.wordLength = uint8_t(wordLength);
    f.exponent = int8_t(exponent);
    f.isSigned = isSigned ? 1 : 0;
    f.slopeAdjustment = slopeAdj;
    f.bias = bias;
    return f;
}

// The bytes a codec writes for one double, starting from a field of 0xEE.
inline QByteArray encoded(const monitoring::IDataType &codec, double x)
{
    QByteArray raw(16, char(0xEE));
    codec.fromDouble(x, std::as_writable_bytes(std::span(raw.data(), raw.size())));
    return raw.left(int(codec.byteSize()));
}

inline double decoded(const monitoring::IDataType &codec, const QByteArray &raw)
{
    QByteArray padded = raw;
    padded.append(QByteArray(16 - padded.size(), '\0'));
    return codec.toDouble(std::as_bytes(std::span(padded.constData(), padded.size())));
}
