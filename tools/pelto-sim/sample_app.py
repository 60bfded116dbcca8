#!/usr/bin/python3
"""Writes a sample application binary (".napbf") to import in the program's "Bin list" and flash to
a Pelto (a simulated one: pelto_sim.py --update-image FILE keeps what it receives).

usage: sample_app.py [OUT] [--name NAME] [--version TEXT] [--board NAME] [--elf OUT.elf]

OUT defaults to "NAME[VERSION].napbf" in the current folder. The application is the small
Cortex-M program of tests/fixtures (cortexm_app.s, linked with cortexm_app.ld by
binutils-arm-none-eabi, which scripts/install-deps.sh installs); the header is written by
tests/fixtures/napbf_header.py. --board takes a board-type name of the program's table
("Pelto_Generic", the default, fits every Pelto; "Unknown", "Pelto_Development_Board", ...).
--elf also keeps the linked ELF file.
"""
import argparse
import datetime
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "..", "tests", "fixtures")
sys.path.insert(0, FIXTURES)
import napbf_header  # noqa: E402

BOARDS = ["Unknown", "Pelto_Generic", "Pelto_Development_Board", "Pelto_Exploration",
          "Pelto_Industrial", "Torvik", "Pelto_Rugged", "Sorvyn"]


def link_elf(folder):
    """Assembles and links the Cortex-M fixture; returns the ELF's bytes."""
    obj = os.path.join(folder, "cortexm_app.o")
    elf = os.path.join(folder, "cortexm_app.elf")
    for tool in ("arm-none-eabi-as", "arm-none-eabi-ld"):
        if shutil.which(tool) is None:
            raise SystemExit("sample_app.py: %s not found (Debian package binutils-arm-none-eabi)"
                             % tool)
    subprocess.run(["arm-none-eabi-as", "-o", obj, os.path.join(FIXTURES, "cortexm_app.s")],
                   check=True)
    subprocess.run(["arm-none-eabi-ld", "--no-warn-rwx-segments", "-T",
                    os.path.join(FIXTURES, "cortexm_app.ld"), "-o", elf, obj], check=True)
    with open(elf, "rb") as f:
        return f.read()


def base_version(text):
    # The numbers in front ("1.4.2" of "1.4.2-beta"), as the header's version-number field holds.
    match = re.match(r"\d+\.\d+(\.\d+)?", text)
    return match.group(0) if match else ""


def header_fields(name, version, board):
    # The creation time in the form the program reads back (Qt's text date, UTC), in English.
    now = datetime.datetime.now(datetime.timezone.utc)
    days = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
    months = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]
    time = "%s %s %d %02d:%02d:%02d %d" % (days[now.weekday()], months[now.month - 1], now.day,
                                           now.hour, now.minute, now.second, now.year)
    return {"version": 3, "version_number": base_version(version), "version_text": version,
            "app_name": name, "board": BOARDS.index(board), "time": time, "flags": 0,
            "build_id_hex": "5a" * 4 + "00" * 28}


def main(argv):
    parser = argparse.ArgumentParser(
        description="Writes a sample application binary (.napbf) for the Bin list.",
        epilog="Example: sample_app.py /tmp/PeltoSample[1.0.0].napbf")
    parser.add_argument("out", nargs="?", help="file to write (default NAME[VERSION].napbf)")
    parser.add_argument("--name", default="PeltoSample", help="application name (PeltoSample)")
    parser.add_argument("--version", default="1.0.0", help="version text (1.0.0)")
    parser.add_argument("--board", default="Pelto_Generic", choices=BOARDS,
                        help="target board type (Pelto_Generic)")
    parser.add_argument("--elf", help="also write the linked ELF file here")
    args = parser.parse_args(argv)
    out = args.out or "%s[%s].napbf" % (args.name, args.version)
    with tempfile.TemporaryDirectory() as folder:
        elf = link_elf(folder)
    if args.elf:
        with open(args.elf, "wb") as f:
            f.write(elf)
    data = napbf_header.write(header_fields(args.name, args.version, args.board), elf)
    with open(out, "wb") as f:
        f.write(data)
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
