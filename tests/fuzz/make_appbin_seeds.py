#!/usr/bin/python3
"""Seed corpora for fuzz_elfReader and fuzz_appBinaryHeader, made by the fixture writers.

usage: make_appbin_seeds.py OUTDIR     writes OUTDIR/elfReader/* and OUTDIR/appBinaryHeader/*
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "fixtures"))
import make_elf  # noqa: E402
import napbf_header  # noqa: E402


def ramp(n, start=0):
    return bytes((start + i) & 0xFF for i in range(n)).hex()


def elves():
    two = [{"vaddr": 0x20000000, "hex": ramp(256)},
           {"vaddr": 0x20000100, "hex": "aa" * 16, "memsz": 0x40}]
    mixed = [{"vaddr": 0x08000000, "hex": ramp(0x80, 0x10)},
             {"vaddr": 0x08000100, "hex": "6e6f7465", "type": 4},
             {"vaddr": 0x20000000, "hex": ramp(0x30), "memsz": 0x20},
             {"vaddr": 0x20001000, "hex": "", "memsz": 0x24}]
    out = {}
    for bits in (32, 64):
        for endian, tag in (("<", "le"), (">", "be")):
            out["two%d%s" % (bits, tag)] = make_elf.build(
                {"class": bits, "endian": endian, "segments": two})
            out["appinfo%d%s" % (bits, tag)] = make_elf.build(
                {"class": bits, "endian": endian, "segments": mixed,
                 "sections": [{"name": ".appinfo", "addr": 0x40}]})
    out["empty"] = make_elf.build({"class": 32, "endian": "<", "segments": []})
    return out


def main():
    root = sys.argv[1]
    elf_dir = os.path.join(root, "elfReader")
    header_dir = os.path.join(root, "appBinaryHeader")
    os.makedirs(elf_dir, exist_ok=True)
    os.makedirs(header_dir, exist_ok=True)
    built = elves()
    for name, data in built.items():
        with open(os.path.join(elf_dir, name), "wb") as f:
            f.write(data)
    # The ELF as the second member of an ar archive.
    first = b"readme!"
    member = built["two32le"]
    archive = (b"!<arch>\n" + b"readme/".ljust(16) + b"0".ljust(12) + b"0".ljust(6) * 2
               + b"644".ljust(8) + str(len(first)).encode().ljust(10) + b"`\n" + first + b"\n"
               + b"model.elf/".ljust(16) + b"0".ljust(12) + b"0".ljust(6) * 2 + b"644".ljust(8)
               + str(len(member)).encode().ljust(10) + b"`\n" + member)
    with open(os.path.join(elf_dir, "archive"), "wb") as f:
        f.write(archive)

    elf = built["two32le"]
    fields = {"version_number": "1.4.2", "flags": 0x40000001, "nibble": 1,
              "time": "Tue Mar 4 05:06:07 2025 GMT", "build_id_hex": "c0ffee" * 5, "board": 3,
              "tags": ["lab", "", "x" * 32, "d"], "version_text": "1.4.2-beta", "app_name": "model"}
    for version in (1, 2, 3):
        with open(os.path.join(header_dir, "v%d" % version), "wb") as f:
            f.write(napbf_header.write(dict(fields, version=version), elf))
    with open(os.path.join(header_dir, "v3-large"), "wb") as f:
        f.write(napbf_header.write(dict(fields, header_size=700), elf))


if __name__ == "__main__":
    main()
