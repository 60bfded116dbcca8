#!/usr/bin/python3
"""Checks the files a person makes to try the program with pelto-sim: the sample application
binary (tools/pelto-sim/sample_app.py), the readable Wi-Fi settings record
(tests/fixtures/wifi_settings_record.py example) and the device-log writer's help.

usage: sim_samples_check.py APPFILEPROBE
The sample binary is taken up by the program's own reader (appFileProbe), its header is read back
with the struct-only reader, its ELF with pyelftools, and the flash-image oracle must make an
image of it. The Wi-Fi record round-trips through the fixture's reader and is loaded by pelto-sim,
which must report the device name it holds.
"""
import io
import json
import os
import socket
import subprocess
import sys
import tempfile

from elftools.elf.elffile import ELFFile

SOURCE = os.environ.get("NIMBREL_SOURCE_DIR",
                        os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PY = sys.executable
FIXTURES = os.path.join(SOURCE, "tests", "fixtures")
SAMPLE = os.path.join(SOURCE, "tools", "pelto-sim", "sample_app.py")
WIFI = os.path.join(FIXTURES, "wifi_settings_record.py")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def run(*args, **kw):
    return subprocess.run([PY] + list(args), capture_output=True, text=True, **kw)


def sample_binaries(probe, work):
    # (arguments, expected header fields)
    cases = [
        ([], {"app_name": "PeltoSample", "version_text": "1.0.0", "version_number": "1.0.0",
              "board": 1}),
        (["--name", "Blinky", "--version", "2.1.0-beta", "--board", "Pelto_Rugged"],
         {"app_name": "Blinky", "version_text": "2.1.0-beta", "version_number": "2.1.0",
          "board": 6}),
    ]
    for number, (args, expected) in enumerate(cases):
        folder = os.path.join(work, "sample%d" % number)
        os.makedirs(folder)
        made = run(SAMPLE, *args, cwd=folder)
        check(made.returncode == 0, "sample_app.py %s: %s" % (args, made.stderr))
        if made.returncode != 0:
            continue
        path = os.path.join(folder, made.stdout.strip())
        name = "%s[%s].napbf" % (expected["app_name"], expected["version_text"])
        check(os.path.basename(path) == name, "default file name %r, want %r" % (path, name))

        header = json.loads(run(os.path.join(FIXTURES, "napbf_header.py"), "read", path).stdout)
        check(header["magic"] == b".AppFile".hex() + "00" * 8, "magic %s" % header["magic"])
        check(header["version"] == 3 and header["header_size"] == 660, "header version/size")
        for key, value in expected.items():
            check(header[key] == value, "%s: %r, want %r" % (key, header[key], value))
        check(header["time"] != "", "creation time empty")

        elf = ELFFile(io.BytesIO(bytes.fromhex(header["elf_hex"])))
        check(elf["e_machine"] == "EM_ARM", "ELF machine %s" % elf["e_machine"])
        appinfo = elf.get_section_by_name(".appinfo")
        check(appinfo is not None and appinfo.data().startswith(b"APPINFO1"), ".appinfo block")

        image = os.path.join(folder, "image.bin")
        oracle = run(os.path.join(FIXTURES, "flash_image_oracle.py"), path,
                     expected["version_number"], "0", "660", image)
        check(oracle.stdout.strip() == "image", "no flash image: %s" % oracle.stdout)

        library = os.path.join(folder, "library")
        os.makedirs(library)
        taken = subprocess.run([probe, "open", path, library], capture_output=True, text=True)
        check(taken.stdout.splitlines() == ["valid 1"],
              "the program's reader says %r %s" % (taken.stdout, taken.stderr[-2000:]))


def wifi_records(work):
    fields = {"name": "Lab Pelto", "sta_ssid": "Büro WLAN", "sta_password": "p" * 64,
              "ap_ssid": "Pelto-AP", "ap_password": "", "hidden": 1,
              "static_ip": "10.0.0.7", "static_mask": "255.0.0.0", "gateway": "10.0.0.1"}
    cases = [
        ("defaults", [], {"name": "Pelto Sim", "hidden": 0, "static_ip": "192.168.1.50"}),
        ("given", ["%s=%s" % kv for kv in fields.items()], fields),
        ("no static address", ["static_ip=", "static_mask=", "gateway="],
         {"static_ip": "0.0.0.0", "static_mask": "0.0.0.0", "gateway": "0.0.0.0"}),
    ]
    for name, args, expected in cases:
        path = os.path.join(work, "wifi-%s.bin" % name.replace(" ", "-"))
        made = run(WIFI, "example", path, *args)
        check(made.returncode == 0, "example %s: %s" % (name, made.stderr))
        if made.returncode != 0:
            continue
        record = open(path, "rb").read()
        check(len(record) == 404, "%s: %d bytes" % (name, len(record)))
        back = json.loads(run(WIFI, "read", path).stdout)
        for key, value in expected.items():
            check(back[key] == value, "%s: %s read back as %r, want %r" % (name, key, back[key], value))
        # Readable: every text is printable and nothing outside the fields is set.
        check(all(str(v).isprintable() for v in back.values()), "%s: unreadable text" % name)
        spans = [(0, 224), (239, 240), (308, 312), (324, 328), (340, 344)]
        outside = [i for i in range(404) if not any(a <= i < b for a, b in spans) and record[i]]
        check(not outside, "%s: bytes outside the fields set: %s" % (name, outside[:8]))

    # What the record names is what the simulated device reports.
    path = os.path.join(work, "wifi-sim.bin")
    run(WIFI, "example", path, "name=Bench Pelto")
    sim = subprocess.Popen([PY, os.path.join(SOURCE, "tools", "pelto-sim", "pelto_sim.py"),
                            "--tls-port", "0", "--udp-port", "0", "--control-port", "0", "-q",
                            "--wifi-settings", path], stdout=subprocess.PIPE, text=True)
    try:
        line = sim.stdout.readline()
        check(line.startswith("READY "), "pelto-sim did not start with the record: %r" % line)
        if not line.startswith("READY "):
            return
        ready = json.loads(line.split(" ", 1)[1])
        with socket.create_connection(("127.0.0.1", ready["control"]), timeout=10) as control:
            control.sendall(b'{"cmd":"get_state"}\n')
            reply = b""
            while not reply.endswith(b"\n"):
                reply += control.recv(65536)
        state = json.loads(reply)["state"]
        check(state["device_name"] == "Bench Pelto", "simulator name %r" % state["device_name"])
        check(state["wifi_settings"] == open(path, "rb").read().hex(), "simulator record differs")
    finally:
        sim.terminate()
        sim.wait(10)

    # The seeded mode the tests use is unchanged: same seed, same bytes; random past the texts.
    a, b = os.path.join(work, "seed-a.bin"), os.path.join(work, "seed-b.bin")
    run(WIFI, "write", a, "--seed", "4", "name=X")
    run(WIFI, "write", b, "--seed", "4", "name=X")
    seeded = open(a, "rb").read()
    check(seeded == open(b, "rb").read(), "seeded records differ")
    check(seeded[:2] == b"X\0" and any(seeded[2:32]), "seeded record not random after the text")


def device_logs_help():
    for flag in ("--help", "-h"):
        shown = run(os.path.join(SOURCE, "tests", "e2e", "device_logs.py"), flag)
        check(shown.returncode == 0 and "Usage: device_logs.py OUTDIR SERIAL NAME..." in shown.stdout,
              "device_logs.py %s: %d %r" % (flag, shown.returncode, shown.stdout[:200]))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with tempfile.TemporaryDirectory() as work:
        sample_binaries(sys.argv[1], work)
        wifi_records(work)
        device_logs_help()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
