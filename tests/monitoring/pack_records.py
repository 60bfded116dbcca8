#!/usr/bin/python3
"""Packs one monitoring wire record of each kind with Python's struct, from the field lists
below, and prints `name size hex` per line. The host's record layouts are checked against
these bytes, so nothing here comes from the C++ headers."""
import struct

RECORDS = [
    # name, format (little-endian, packed), field values in order
    ("monitor_info_t", "<II", [2, 0xA1B2C3D4]),
    ("signal_t", "<HHHHB3sHHHBBHH",
     [0x0102, 0x0304, 0x0506, 0x0708, 0x09, b"\0\0\0", 0x0C0D, 0x0E0F, 0x1011, 3, 2, 0x1415,
      0x1617]),
    ("param_t", "<HHHHBBHHBBHH",
     [0x2122, 0x2324, 0x2526, 0x2728, 2, 0, 0x2A2B, 0x2C2D, 4, 1, 0x3031, 0x3233]),
    ("state_t", "<HHHH2sHHBBHH4sH",
     [0x4142, 0x4344, 0x4546, 0x4748, b"\0\0", 0x4A4B, 0x4C4D, 2, 2, 0x5051, 0x5253,
      b"\0\0\0\0", 0x5859]),
    ("datatype_t", "<HHHHHHBBBB", [0, 0x6162, 0, 0x6364, 0x6566, 0x0008, 254, 1, 7, 0]),
    ("struct_element_t", "<HHHHHBBHH", [0, 0x7172, 0x7374, 0x7576, 0x7778, 3, 2, 0x7B7C, 0x7D7E]),
    ("fxp_info_t", "<4sBBbBdd", [b"\0\0\0\0", 0, 12, -4, 1, 1.25, -0.5]),
    ("reference_set_t", "<HH", [0x8182, 0x8384]),
    ("signal_set_t", "<HHiHHBBH", [0x9192, 0x9394, -1, 8, 0x9798, 6, 0, 0]),
    ("param_set_t", "<HHHHBB16s",
     [0xA1A2, 0xA3A4, 0xA5A6, 0xA7A8, 4, 2, bytes(range(0xB0, 0xC0))]),
]

for name, fmt, values in RECORDS:
    packed = struct.pack(fmt, *values)
    assert len(packed) == struct.calcsize(fmt)
    print(name, struct.calcsize(fmt), packed.hex())
