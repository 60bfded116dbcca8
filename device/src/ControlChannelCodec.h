#pragma once

#include <QByteArray>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <cstdint>

// Little-endian field access and record copies shared by the control channel's request and reply
// code. Every reader is given a pointer the caller has checked to hold the field.
namespace controlcodec {

inline uint16_t readU16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
inline uint32_t readU32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}
inline int32_t readI32(const char *p)
{
    return qFromLittleEndian<qint32>(p);
}
inline void writeU16(char *p, uint16_t v)
{
    qToLittleEndian<quint16>(v, p);
}
inline void writeU32(char *p, uint32_t v)
{
    qToLittleEndian<quint32>(v, p);
}

// An opaque record (a struct with `bytes`) from exactly Record::Size bytes at `data`.
template<class Record> Record recordFrom(const char *data)
{
    Record r;
    std::copy_n(reinterpret_cast<const uint8_t *>(data), Record::Size, r.bytes.begin());
    return r;
}

template<class Record> QByteArray recordBytes(const Record &r)
{
    return QByteArray(reinterpret_cast<const char *>(r.bytes.data()), Record::Size);
}

// UTF-8 text of `size` bytes at `data`, ending at the first zero byte.
inline QString textUpToZero(const char *data, qsizetype size)
{
    const char *end = std::find(data, data + size, '\0');
    return QString::fromUtf8(data, end - data);
}

} // namespace controlcodec
