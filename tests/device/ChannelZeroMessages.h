#pragma once

#include <QByteArray>
#include <QtEndian>

// Device-side channel-0 messages written out field by field, the way the controller sends them.
// Their CRC is computed here, bit by bit, and not with the program's own table-driven CRC: a fault
// there must not be mirrored by the fixtures. tst_datalinkCommChannel checks this one against
// crcmod.
namespace devmsg {

// CRC-32/MPEG-2: polynomial 0x04C11DB7, most significant bit first, start 0xFFFFFFFF, no
// reflection, no final XOR.
inline quint32 crc32Mpeg2(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= quint32(quint8(c)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

inline void putU16(QByteArray &m, int offset, quint16 v)
{
    m[offset] = char(v & 0xFF);
    m[offset + 1] = char(v >> 8);
}

inline void putU32(QByteArray &m, int offset, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        m[offset + i] = char((v >> (8 * i)) & 0xFF);
}

inline void seal(QByteArray &m)
{
    putU32(m, 0, crc32Mpeg2(m.mid(4)));
}

// A message of `size` bytes (at least 12) with the header filled in and the body zero.
inline QByteArray message(quint16 type, quint16 version, int size)
{
    QByteArray m(size, '\0');
    putU16(m, 4, type);
    putU16(m, 6, quint16(size));
    putU16(m, 10, version);
    return m;
}

// The serial field holds `serial` and then zero bytes; a 32-byte serial has no zero byte at all.
inline QByteArray heartbeat(quint16 version, const QByteArray &serial, quint16 family, bool active,
                            quint16 interface, qint32 ext, int size = 56)
{
    QByteArray m = message(0, version, 56);
    putU16(m, 14, family);
    m[17] = active ? 1 : 0;
    putU16(m, 18, interface);
    m.replace(20, qMin<qsizetype>(serial.size(), 32), serial.left(32));
    putU32(m, 52, quint32(ext));
    m.truncate(size);
    putU16(m, 6, quint16(size));
    seal(m);
    return m;
}

inline QByteArray setInterfaceReply(quint16 version, quint16 link, bool accepted, int size = 48)
{
    QByteArray m = message(1, version, size);
    putU16(m, 44, link);
    if (size > 46)
        m[46] = accepted ? 1 : 0;
    seal(m);
    return m;
}

// The device's own hello (type 2), header only.
inline QByteArray hello(quint16 version)
{
    QByteArray m = message(2, version, 12);
    seal(m);
    return m;
}

inline QByteArray keyReply(quint16 version, const QByteArray &key, const QByteArray &iv,
                           int size = 60)
{
    QByteArray m = message(3, version, size);
    m.replace(12, key.size(), key);
    if (size >= 60)
        m.replace(44, iv.size(), iv);
    m.truncate(size);
    seal(m);
    return m;
}

} // namespace devmsg
