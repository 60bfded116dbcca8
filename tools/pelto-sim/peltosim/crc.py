"""CRC-32/MPEG-2 as the device computes it over channel-0 messages and manufacturing records.

Polynomial 0x04C11DB7, most significant bit first, start value 0xFFFFFFFF, no final XOR.
Written out here instead of borrowing crcmod so that the self-test can use crcmod as an
oracle that nobody here wrote.
"""

_POLY = 0x04C11DB7


def _make_table():
    table = []
    for byte in range(256):
        value = byte << 24
        for _ in range(8):
            value = ((value << 1) ^ _POLY) if value & 0x80000000 else (value << 1)
        table.append(value & 0xFFFFFFFF)
    return table


_TABLE = _make_table()


def crc32_mpeg2(data, start=0xFFFFFFFF):
    crc = start
    for byte in data:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ _TABLE[((crc >> 24) ^ byte) & 0xFF]
    return crc
