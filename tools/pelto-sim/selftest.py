#!/usr/bin/python3
"""Smoke test of the simulated Pelto: starts it, plays the host over TLS and encrypted UDP with
Python's own ssl module and over the USB socket with a plain Unix socket, and checks its answers
with oracles that are not part of the simulator (crcmod for CRC-32/MPEG-2, cryptography for
AES-256-CBC). Exit status 0 on success."""

import json
import os
import select
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import time

import crcmod.predefined
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

HERE = os.path.dirname(os.path.abspath(__file__))
CRC = crcmod.predefined.mkCrcFun("crc-32-mpeg")
IDENTITY = b"selftest-identity-0123456789abc"  # 31 characters, like the host's link identity


def check(condition, what):
    if not condition:
        raise AssertionError(what)
    print("ok   " + what)


def frame(channel, payload):
    return struct.pack("<HHH", 0xABCD, channel, len(payload) + 6) + payload


def ch0_message(msg_type, body=b"", version=0, corrupt=False):
    message = bytearray(struct.pack("<IHHBBH", 0, msg_type, 12 + len(body), 0, 0, version) + body)
    struct.pack_into("<I", message, 0, CRC(bytes(message[4:])) ^ (1 if corrupt else 0))
    return bytes(message)


def host_heartbeat():
    body = struct.pack("<HHBBH", 0, 0, 0, 1, 0) + IDENTITY + b"\0" + struct.pack("<i", -1)
    return ch0_message(0, body, version=1)


def control(code, body=b""):
    return frame(1, struct.pack("<HHB", len(body) + 5, code, 0) + body)


class FrameReader:
    """Cuts what one stream socket delivers into frames."""

    def __init__(self, stream):
        self.stream = stream
        self.buffer = b""

    def send(self, data):
        self.stream.sendall(data)

    def next_frame(self, wanted, timeout=3.0):
        """The next frame for which wanted(channel, payload) holds, or None; others are skipped."""
        deadline = time.monotonic() + timeout
        while True:
            while len(self.buffer) >= 6:
                magic, channel, length = struct.unpack_from("<HHH", self.buffer)
                if magic != 0xABCD or not 6 <= length <= 1024:
                    raise AssertionError("device sent a corrupt frame header: %s" % self.buffer[:6].hex())
                if len(self.buffer) < length:
                    break
                payload, self.buffer = self.buffer[6:length], self.buffer[length:]
                if wanted(channel, payload):
                    return channel, payload
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self.stream.settimeout(left)
            try:
                data = self.stream.recv(65536)
            except socket.timeout:
                return None
            if not data:
                raise AssertionError("device closed the link")
            self.buffer += data


class Host(FrameReader):
    """The fake host's Wi-Fi side: one TLS stream, one UDP socket, and a frame reader for the
    stream."""

    def __init__(self, ready):
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE
        self.tls = context.wrap_socket(socket.create_connection((ready["address"], ready["tls"]), timeout=5))
        super().__init__(self.tls)
        self.udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.udp.bind(("127.0.0.1", 0))
        self.udp.settimeout(5)
        self.udp_target = (ready["address"], ready["udp"])


class UsbHost(FrameReader):
    """The fake host's USB side: the USB socket carries the plain frames, as the bulk endpoints
    would."""

    def __init__(self, ready):
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.settimeout(5)
        sock.connect(ready["usb"])
        super().__init__(sock)


def on_ch0_type(t):
    return lambda ch, p: ch == 0 and len(p) >= 12 and struct.unpack_from("<H", p, 4)[0] == t


def on_code(code):
    return lambda ch, p: ch == 1 and len(p) >= 5 and struct.unpack_from("<H", p, 2)[0] == code


def crc_ok(message):
    return struct.unpack_from("<I", message)[0] == CRC(message[4:])


class Control:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.file = self.sock.makefile("rwb")

    def __call__(self, cmd, **fields):
        fields["cmd"] = cmd
        self.file.write((json.dumps(fields) + "\n").encode())
        self.file.flush()
        reply = json.loads(self.file.readline())
        if not reply.get("ok"):
            raise AssertionError("control command %s failed: %s" % (cmd, reply.get("error")))
        return reply


def fc_request(code, body=b""):
    return frame(9, struct.pack("<IHB", len(body) + 7, code, 0) + body)


def fc_replies(host, count, timeout=5.0):
    """The next `count` channel-9 messages as (code, response, payload, frames they came in)."""
    out, buffer, frames = [], b"", 0
    while len(out) < count:
        got = host.next_frame(lambda ch, p: ch == 9, timeout)
        if got is None:
            raise AssertionError("channel 9: %d of %d replies arrived" % (len(out), count))
        buffer += got[1]
        frames += 1
        while len(buffer) >= 7 and len(buffer) >= struct.unpack_from("<I", buffer)[0]:
            length, code, response = struct.unpack_from("<IHB", buffer)
            out.append((code, response, buffer[7:length], frames))
            buffer, frames = buffer[length:], 0
    return out


def listing_names(payload):
    names, offset = [], 0
    while offset < len(payload):
        _, size, kind, n = struct.unpack_from("<qIhH", payload, offset)
        names.append((payload[offset + 16:offset + 16 + n].decode(), kind, size))
        offset += 16 + n
    return names


def file_control(host, ctl, files):
    big = os.urandom(5000)
    with open(os.path.join(files, "big.bin"), "wb") as f:
        f.write(big)
    open(os.path.join(files, "empty.zlf"), "wb").close()
    os.mkdir(os.path.join(files, "logs"))

    host.send(fc_request(6, b"/\0"))
    (code, response, payload, _), = fc_replies(host, 1)
    check((code, response) == (6, 1) and listing_names(payload) == [("big.bin", 8, 5000), ("empty.zlf", 8, 0), ("logs", 4, 0)],
          "channel 9: listing of the served folder, sorted, with types and sizes")

    host.send(fc_request(2, b"big.bin\0"))
    chunks = fc_replies(host, 5)
    data = b"".join(p for _, _, p, _ in chunks)
    mtime, size, n = struct.unpack_from("<qIH", data)
    check(all(c[:2] == (2, 1) and c[3] == 1 for c in chunks) and size == 5000 and data[14:14 + n] == b"big.bin"
          and data[14 + n:] == big, "channel 9: a download is one message per frame, the first with the header")
    check(int(os.stat(os.path.join(files, "big.bin")).st_mtime) == mtime, "channel 9: the header carries the file's time")

    host.send(fc_request(1, b"big.bin\0"))
    (code, response, payload, frames), = fc_replies(host, 1)
    check(code == 1 and frames == 5 and payload[21:] == big, "channel 9: a download to memory is one message over 5 frames")

    host.send(fc_request(2, b"empty.zlf\0"))
    (code, response, payload, _), = fc_replies(host, 1)
    check(payload == struct.pack("<qIH", int(os.stat(os.path.join(files, "empty.zlf")).st_mtime), 0, 9) + b"empty.zlf",
          "channel 9: an empty file is one message with the header only")

    name = lambda t: struct.pack("<H", len(t)) + t + b"\0"
    host.send(fc_request(5, name(b"big.bin") + name(b"moved.bin")))
    host.send(fc_request(4, b"empty.zlf\0"))
    host.send(fc_request(7, b"logs/new\0"))
    host.send(fc_request(3, struct.pack("<H", 7) + b"up.data" + struct.pack("<H", 3) + b"xyz"))
    replies = fc_replies(host, 4)
    check([r[:3] for r in replies] == [(5, 1, b"/moved.bin"), (4, 1, b"empty.zlf"), (7, 1, b"logs/new"), (3, 1, b"")]
          and sorted(os.listdir(files)) == ["logs", "moved.bin", "up.data"]
          and open(os.path.join(files, "up.data"), "rb").read() == b"xyz",
          "channel 9: rename, remove, make dir and upload change the folder")

    escapes = [fc_request(6, b"../\0"), fc_request(2, b"logs/../../x\0"), fc_request(4, b"/..\\x\0"),
               fc_request(5, name(b"moved.bin") + name(b"../out.bin")), fc_request(3, struct.pack("<H", 8) + b"../x.zlf" + struct.pack("<H", 1) + b"x")]
    for request in escapes:
        host.send(request)
    replies = fc_replies(host, len(escapes))
    check(all(r[1] == 3 for r in replies) and not os.path.exists(os.path.join(files, "..", "x.zlf"))
          and ctl("counters")["counters"]["channel9"]["refused_paths"] == len(escapes),
          "channel 9: requests that would leave the folder are refused")

    ctl("set_state", fs_total_bytes=8000, fs_free_bytes=3000)
    host.send(fc_request(10))
    (code, response, payload, _), = fc_replies(host, 1)
    check((code, response) == (10, 1) and struct.unpack("<QQi", payload) == (8000, 3000, 2), "channel 9: storage figures")

    ctl("set_state", fc_error_at_chunk=2, fc_error_response=5)
    host.send(fc_request(2, b"moved.bin\0"))
    chunks = fc_replies(host, 3)
    check([c[:2] for c in chunks] == [(2, 1), (2, 1), (2, 5)] and chunks[2][2] == b"", "switch fc_error_at_chunk: error reply at chunk 2")
    ctl("set_state", fc_error_at_chunk=-1)

    ctl("set_fault", name="fc_two_replies_per_frame")
    host.send(fc_request(10))
    check(host.next_frame(lambda ch, p: ch == 9, 0.3) is None, "switch fc_two_replies_per_frame: the first reply waits")
    host.send(fc_request(6, b"logs\0"))
    got = host.next_frame(lambda ch, p: ch == 9)
    check(got is not None and len(got[1]) == 27 + 7 + 16 + 3 and struct.unpack_from("<H", got[1], 31)[0] == 6,
          "switch fc_two_replies_per_frame: both replies in one frame")
    ctl("set_fault", name="fc_two_replies_per_frame", on=False)

    ctl("set_fault", name="fc_absurd_length")
    host.send(fc_request(10))
    got = host.next_frame(lambda ch, p: ch == 9)
    check(got is not None and struct.unpack_from("<I", got[1])[0] == 0xFFFFFFF0 and len(got[1]) == 27,
          "switch fc_absurd_length: the length field is absurd")
    ctl("set_fault", name="fc_absurd_length", on=False)

    ctl("set_fault", name="fc_hostile_names")
    host.send(fc_request(6, b"\0"))
    (_, _, payload, _), = fc_replies(host, 1)
    host.send(fc_request(1, b"up.data\0"))
    (_, _, header, _), = fc_replies(host, 1)
    check([n for n, _, _ in listing_names(payload)][-4:] == ["../x.zlf", "..", "sub/inner.zlf", "back\\slash.zlf"]
          and header[14:14 + struct.unpack_from("<H", header, 12)[0]] == b"../up.data",
          "switch fc_hostile_names: listings and headers carry names that are paths")
    ctl("set_fault", name="fc_hostile_names", on=False)


def up_message(command, payload=b""):
    return frame(4, struct.pack("<III", 0xDDCCBBAA, command, len(payload)) + payload)


def up_replies(host, count, timeout=5.0):
    """The next `count` channel-4 messages as (command, payload)."""
    out = []
    for _ in range(count):
        got = host.next_frame(lambda ch, p: ch == 4, timeout)
        if got is None:
            raise AssertionError("channel 4: %d of %d replies arrived" % (len(out), count))
        magic, command, length = struct.unpack_from("<III", got[1])
        check(magic == 0xDDCCBBAA and len(got[1]) == 12 + length, "channel 4: reply header")
        out.append((command, got[1][12:]))
    return out


class WrittenMt:
    """MT19937 written out from the device's description (seeding by 6069), word for word; the
    simulator itself uses Python's random module instead."""

    def __init__(self, seed):
        self.mt = [seed & 0xFFFFFFFF]
        for i in range(1, 624):
            self.mt.append((self.mt[i - 1] * 6069) & 0xFFFFFFFF)
        self.index = 624

    def next(self):
        if self.index >= 624:
            for i in range(624):
                y = (self.mt[i] & 0x80000000) | (self.mt[(i + 1) % 624] & 0x7FFFFFFF)
                self.mt[i] = self.mt[(i + 397) % 624] ^ (y >> 1) ^ (0x9908B0DF if y & 1 else 0)
            self.index = 0
        y = self.mt[self.index]
        self.index += 1
        y ^= y >> 11
        y ^= (y << 7) & 0x9D2C5680
        y ^= (y << 15) & 0xEFC60000
        return y ^ (y >> 18)


def scramble(data, seed):
    a = WrittenMt(seed)
    b = WrittenMt(a.next())
    out = bytearray(data)
    for offset in range(0, len(out), 4):
        (w,) = struct.unpack_from("<I", out, offset)
        k, c = a.next(), b.next() % 4
        if c == 0:
            w ^= k
        elif c == 1:
            w = ((w << (k % 32)) | (w >> (32 - k % 32))) & 0xFFFFFFFF
        elif c == 2:
            w = (w + k) & 0xFFFFFFFF
        struct.pack_into("<I", out, offset, w)
    return bytes(out)


def software_update(host, ctl, image_path):
    crc = crcmod.predefined.mkCrcFun("crc-32-mpeg")
    ctl("set_state", update_seed=0x12345678)
    image = os.urandom(1018 + 1016)
    host.send(up_message(1))
    (command, payload), = up_replies(host, 1)
    check(command == 1 and struct.unpack("<II", payload) == (1, 0x12345678), "channel 4: seed reply, mode 1")
    host.send(up_message(3, struct.pack("<II", len(image), crc(image))))
    check(up_replies(host, 1)[0][0] == 3, "channel 4: the start command is answered ready")
    host.send(frame(4, image[:1018]))
    check(up_replies(host, 1)[0][0] == 3, "channel 4: a chunk is answered ready")
    host.send(frame(4, scramble(image[1018:], 0x12345678)))
    check([r[0] for r in up_replies(host, 2)] == [3, 5], "channel 4: the last chunk: ready, then finished")
    with open(image_path, "rb") as f:
        check(f.read() == image, "channel 4: the image is descrambled as the device's generators scrambled it")
    last = ctl("status")["update"]
    check(last["chunks"] == [1018, 1016] and last["scrambled"] == [False, True] and last["crc_ok"],
          "channel 4: status shows the chunks and the CRC check")

    host.send(up_message(2, struct.pack("<II", 4, crc(b"abcd") ^ 1)))
    up_replies(host, 1)
    host.send(frame(4, b"abcd"))
    check([r[0] for r in up_replies(host, 2)] == [2, 6], "channel 4: a wrong CRC ends with failed")

    ctl("set_state", update_timeout_at_chunk=1)
    host.send(up_message(2, struct.pack("<II", 3 * 1018, 0)))
    up_replies(host, 1)
    host.send(frame(4, bytes(1018)))
    host.send(frame(4, bytes(1018)))
    check([r[0] for r in up_replies(host, 2)] == [2, 7], "switch update_timeout_at_chunk: time-out at chunk 1")
    ctl("set_state", update_timeout_at_chunk=-1, update_app_running=True)
    host.send(up_message(4, struct.pack("<II", 4, 0)))
    check(up_replies(host, 1)[0][0] == 9, "switch update_app_running: the start is refused")
    ctl("set_state", update_app_running=False, update_seed_mode=2)
    host.send(up_message(1))
    check(struct.unpack("<II", up_replies(host, 1)[0][1])[0] == 2, "switch update_seed_mode: the seed reply's mode")
    ctl("set_state", update_seed_mode=1, update_unverified_polls=1, esp_version="2.2.2")
    host.send(up_message(4, struct.pack("<II", 4, crc(b"wxyz"))))
    up_replies(host, 1)
    host.send(frame(4, b"wxyz"))
    up_replies(host, 2)
    host.send(up_message(8))
    host.send(up_message(8))
    replies = up_replies(host, 2)
    check([(r[0], struct.unpack_from("<I", r[1])[0], r[1][-16:]) for r in replies]
          == [(8, 0, b"2.2.2" + bytes(11)), (8, 1, b"2.2.2" + bytes(11))],
          "channel 4: after a wireless upload the version is unverified once, then verified")
    counters = ctl("counters")["counters"]["channel4"]
    check(counters["finished"] == 2 and counters["failed"] == 1 and counters["timed_out"] == 1
          and counters["version_queries"] == 2, "channel 4: counters")


def mon_request(cmd, body=b""):
    return frame(2, struct.pack("<hHb", cmd, len(body) + 5, 0) + body)


def on_mon(cmd):
    return lambda ch, p: ch == 2 and len(p) >= 5 and struct.unpack_from("<h", p)[0] == cmd


def monitored_model(host, ctl, key, iv):
    host.send(mon_request(1))
    check(host.next_frame(lambda ch, p: ch == 2, timeout=0.5) is None
          and ctl("counters")["counters"]["channel2"]["closed"] == 1,
          "channel 2: a request while the monitoring service is closed goes unanswered")
    host.send(control(10, b"\x01"))
    check(host.next_frame(on_code(10))[1][4:] == b"\x02\x01", "control code 10 opens the monitoring service")
    host.send(mon_request(1))
    check(host.next_frame(on_mon(1))[1] == struct.pack("<hHbII", 1, 13, 0, 2, 0), "channel 2: the model info reply")
    ctl("set_fault", name="mon_reject", on=True)
    host.send(mon_request(1))
    check(host.next_frame(on_mon(1))[1][4] == 1, "fault mon_reject: the reply carries status 1")
    ctl("set_fault", name="mon_reject", on=False)

    # Node 0 is a double ramp at 1 kHz: its samples arrive as datagrams on channel 3.
    host.send(mon_request(15, struct.pack("<HHiHHBBH", 0, 0, 1000, 8, 0, 1, 0, 0)))
    reply = host.next_frame(on_mon(15))[1]
    check(struct.unpack("<hHbHH", reply) == (15, 9, -7, 0, 0), "channel 2: set-signal is acknowledged with the reference")
    values, bases = [], []
    dec = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
    deadline = time.monotonic() + 5
    while len(values) < 50 and time.monotonic() < deadline:
        data = host.udp.recv(2048)
        dec = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
        plain = dec.update(data) + dec.finalize()
        _, channel, length = struct.unpack_from("<HHH", plain)
        if channel != 3:
            continue
        packet = plain[6:length]
        _, size, base = struct.unpack_from("<hHq", packet)
        bases.append(base)
        for offset in range(12, size, 14):
            node, dt, value = struct.unpack_from("<Hid", packet, offset)
            values.append((node, base + dt, value))
    check(len(values) >= 50 and [v[2] for v in values] == [float(i) for i in range(len(values))]
          and all(v[0] == 0 for v in values), "channel 3: datagrams carry the ramp of node 0, sample by sample")
    check(all(b - a == 1_000_000 for a, b in zip(values, values[1:]) for a, b in [(a[1], b[1])])
          and bases == sorted(bases), "channel 3: sample times rise by exactly 1 ms")
    check(ctl("status")["monitor"]["streams"] == ["0:0"], "status lists the running stream")
    host.send(control(10, b"\x00"))
    check(host.next_frame(on_code(10))[1][4:] == b"\x02\x00"
          and wait_until(lambda: ctl("status")["monitor"]["streams"] == []),
          "closing the monitoring service stops every stream")


def wifi_record(folder):
    """A settings record of random bytes with a name, as the record file the simulator starts from."""
    path = os.path.join(folder, "wifi.bin")
    record = bytearray(os.urandom(404))
    record[0:32] = b"Selftest Pelto".ljust(32, b"\0")
    with open(path, "wb") as f:
        f.write(record)
    return path


def wifi_settings(host, ctl, folder):
    path = os.path.join(folder, "wifi.bin")
    with open(path, "rb") as f:
        loaded = f.read()
    host.send(control(99))
    reply = host.next_frame(on_code(99))[1]
    check(reply[4] == 2 and reply[5:] == loaded, "code 99 answers the record loaded from the record file")
    check(ctl("get_state")["state"]["device_name"] == "Selftest Pelto", "the loaded record names the device")

    edited = bytearray(loaded)
    edited[32:64] = "Caf\u00e9-n\u00e4t".encode("utf-8").ljust(32, b"\0")
    edited[239] = 1
    edited[308:312] = bytes([192, 168, 0, 1])
    host.send(control(98, bytes(edited)))
    check(host.next_frame(on_code(98))[1][4] == 2, "code 98 with a whole record answers 2")
    with open(path, "rb") as f:
        check(f.read() == bytes(edited), "the record set by code 98 is saved to the record file, byte for byte")
    host.send(control(99))
    check(host.next_frame(on_code(99))[1][5:] == bytes(edited), "code 99 returns the record set by code 98")
    host.send(control(98, bytes(edited[:403])))
    check(host.next_frame(on_code(98))[1][4] == 4, "code 98 with 403 bytes answers 4")
    with open(path, "rb") as f:
        check(f.read() == bytes(edited), "a refused record leaves the record file alone")

    host.send(control(96, b"\x00\x01\x00"))
    check(host.next_frame(on_code(96))[1][4] == 2, "code 96 with three bytes answers 2")
    host.send(control(97))
    check(host.next_frame(on_code(97))[1][4:] == b"\x02\x00\x01\x00", "code 97 returns the state set by code 96")
    host.send(control(96, b"\x01"))
    check(host.next_frame(on_code(96))[1][4] == 4, "code 96 with one byte answers 4")
    host.send(control(104, struct.pack("<i", -3)))
    check(host.next_frame(on_code(104))[1][4] == 2, "code 104 with a signed 32-bit value answers 2")
    host.send(control(105))
    check(host.next_frame(on_code(105))[1][4:] == b"\x02" + struct.pack("<i", -3), "code 105 returns the power set by code 104")
    ctl("set_reply", code=97, response=3, size=0)
    host.send(control(97))
    check(host.next_frame(on_code(97))[1] == struct.pack("<HHB", 5, 97, 3), "reply override: code 97 with response 3")
    ctl("clear_reply")


def start_sim(folder, files):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "1", "-subj", "/CN=pelto-sim-selftest"], check=True, capture_output=True)
    log = os.path.join(folder, "frames.jsonl")
    # A long heartbeat interval at first: the answer to a device-info request is then the only
    # heartbeat on the link, so it can be told apart from the periodic ones.
    sim = subprocess.Popen([sys.executable, os.path.join(HERE, "pelto_sim.py"), "--cert", cert, "--key", key,
                            "--tls-port", "0", "--udp-port", "0", "--control-port", "0", "--heartbeat-ms", "60000",
                            "--usb-socket", os.path.join(folder, "usb.sock"),
                            "--serial", "SELFTEST-0042", "--ext-type", "12", "--frame-log", log, "--files", files,
                            "--update-image", os.path.join(folder, "update.bin"), "--stay-up-after-update",
                            "--wifi-settings", wifi_record(folder),
                            "--monitor-model", os.path.join(HERE, "models", "monitored_model.json"), "-q"],
                           stdout=subprocess.PIPE, text=True)
    return sim, wait_ready(sim), log


def wait_ready(sim):
    readable, _, _ = select.select([sim.stdout], [], [], 15)
    line = sim.stdout.readline() if readable else ""
    if not line.startswith("READY "):
        sim.kill()
        raise AssertionError("simulator did not report READY (got %r)" % line)
    return json.loads(line[6:])


def link_management(host, ctl):
    # A request whose CRC is off by one bit is ignored and counted.
    host.send(frame(0, ch0_message(0, host_heartbeat(), corrupt=True)))
    check(host.next_frame(on_ch0_type(0), 0.5) is None, "device-info request with a bad CRC gets no answer")
    check(ctl("counters")["counters"]["channel0"]["invalid"] == 1, "the bad request is counted as invalid")

    host.send(frame(0, ch0_message(0, host_heartbeat())))
    reply = host.next_frame(on_ch0_type(0))
    check(reply is not None, "device-info request is answered with a heartbeat")
    hb = reply[1]
    check(len(hb) == 56 and struct.unpack_from("<H", hb, 6)[0] == 56, "heartbeat is 56 bytes with a matching length field")
    check(crc_ok(hb), "heartbeat CRC agrees with crcmod's CRC-32/MPEG-2")
    family, active, interface = struct.unpack_from("<H", hb, 14)[0], hb[17], struct.unpack_from("<H", hb, 18)[0]
    check((struct.unpack_from("<H", hb, 10)[0], family, active, interface) == (1, 1, 0, 2),
          "heartbeat: version 1, family Pelto, not active, interface WiFi")
    check(hb[20:52].split(b"\0")[0] == b"SELFTEST-0042" and struct.unpack_from("<i", hb, 52)[0] == 12,
          "heartbeat carries the serial and extended type from the command line")

    host.send(frame(0, ch0_message(1, IDENTITY + b"\0" + struct.pack("<HH", 2, 0))))
    reply = host.next_frame(on_ch0_type(1))
    check(reply is not None and crc_ok(reply[1]) and struct.unpack_from("<H", reply[1], 44)[0] == 2
          and reply[1][46] == 1, "set interface WiFi is accepted")

    ctl("send_set_interface_reply", link="USB", accepted=True)
    reply = host.next_frame(on_ch0_type(1))
    check(reply is not None and len(reply[1]) == 48 and crc_ok(reply[1])
          and reply[1][12:43] == IDENTITY and struct.unpack_from("<HB", reply[1], 44) == (1, 1),
          "an unsolicited set-interface reply on command: USB accepted, identity echoed")
    check(ctl("status")["active_interface"] == "WiFi", "it leaves the device's own active interface alone")

    host.send(frame(0, ch0_message(3)))
    reply = host.next_frame(on_ch0_type(3))
    check(reply is not None and len(reply[1]) == 60 and crc_ok(reply[1]), "key request answered with 60 bytes")
    return reply[1][12:44], reply[1][44:60]


def datagrams(host, key, iv):
    def encrypt(data):
        padder = padding.PKCS7(128).padder()
        enc = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
        return enc.update(padder.update(data) + padder.finalize()) + enc.finalize()

    def decrypt(data):
        dec = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
        return dec.update(data) + dec.finalize()

    hello = frame(0, ch0_message(2, version=1))
    host.udp.sendto(encrypt(hello), host.udp_target)
    answer = host.udp.recv(2048)
    plain = decrypt(answer)
    check(len(answer) == 32, "hello answered with one 32-byte datagram")
    check(struct.unpack_from("<HHH", plain) == (0xABCD, 0, 18) and crc_ok(plain[6:18])
          and struct.unpack_from("<H", plain, 10)[0] == 2, "the answer decrypts to an 18-byte hello frame")
    check(plain[18:] == bytes(14), "the answer is padded with zero bytes, not PKCS#7")

    big = frame(5, bytes(range(256)) * 3 + bytes(range(250)))
    datagram = encrypt(big)
    check(len(big) == 1024 and len(datagram) == 1040, "a 1024-byte frame becomes a 1040-byte host datagram")
    host.udp.sendto(datagram, host.udp_target)
    echo = host.udp.recv(2048)
    check(len(echo) == 1024 and decrypt(echo) == big, "channel 5 echoes it in a 1024-byte datagram")


# Each code of the connect sequence and the poll, with the reply size it must have.
CONNECT_CODES = [(11, 1), (32, 28), (34, 28), (33, 20), (38, None), (132, None), (131, None), (37, 12),
                 (130, 1), (64, 1), (129, 1), (6, 36), (99, 404), (100, 208), (106, 44)]


def control_channel(host, ctl):
    for code, size in CONNECT_CODES:
        host.send(control(code, b"\x01" if code == 11 else b""))
        reply = host.next_frame(on_code(code))
        ok = reply is not None and struct.unpack_from("<H", reply[1])[0] == len(reply[1]) and reply[1][4] == 2
        ok = ok and (len(reply[1]) - 5 == size if size is not None else len(reply[1]) > 5)
        check(ok, "control code %d answered with response 2 and %s payload bytes" % (code, size or "some"))

    # The version records as written down: u32 verified, 16 text bytes, and for the firmware and
    # the wireless module also two u32 times (the wireless module reports none).
    ctl("set_state", fw_timeout_boot_ms=30000, fw_remaining_ms=1234)
    for code, fields in ((32, (1, b"1.4.2", 30000, 1234)), (34, (1, b"2.1.0", 0, 0))):
        host.send(control(code))
        payload = host.next_frame(on_code(code))[1][5:]
        verified, text, boot, remaining = struct.unpack("<I16sII", payload)
        check((verified, text.rstrip(b"\0"), boot, remaining) == fields,
              "control code %d: the 28-byte version record holds %s" % (code, fields))
    host.send(control(33))
    verified, text = struct.unpack("<I16s", host.next_frame(on_code(33))[1][5:])
    check((verified, text.rstrip(b"\0")) == (1, b"1.0.0"), "control code 33: the 20-byte app version record")

    ctl("set_state", rssi=-70, app_status=4)
    host.send(control(106) + control(129))
    rssi = host.next_frame(on_code(106))[1]
    status = host.next_frame(on_code(129))[1]
    check(struct.unpack_from("<b", rssi, 5 + 41)[0] == -70 and status[5] == 4, "state set over the control socket shows in replies")

    ctl("set_reply", code=99, response=3, size=0)
    ctl("set_reply", code=129, silent=True)
    host.send(control(99) + control(129) + control(64))
    reply = host.next_frame(on_code(99))
    check(reply is not None and reply[1] == struct.pack("<HHB", 5, 99, 3), "reply override: code 99 with response 3, empty")
    check(host.next_frame(lambda ch, p: ch == 1) == (1, struct.pack("<HHB", 6, 64, 2) + b"\x01"),
          "a silenced code 129 is skipped; code 64 answers next")
    ctl("clear_reply")

    counts = ctl("counters")["counters"]["control"]
    check(counts.get("129") == 3 and counts.get("11") == 1, "request counters per control code")


def faults_and_heartbeats(host, ctl):
    ctl("set_fault", name="bad_crc", on=True)
    host.send(frame(0, ch0_message(0, host_heartbeat())))
    check(not crc_ok(host.next_frame(on_ch0_type(0))[1]), "fault bad_crc: the heartbeat's CRC fails crcmod's check")
    ctl("set_fault", name="bad_crc", on=False)

    ctl("set_state", heartbeat_ms=100)
    beats = [host.next_frame(on_ch0_type(0), 1.0) for _ in range(3)]
    check(all(b is not None and crc_ok(b[1]) and b[1][17] == 1 for b in beats),
          "periodic heartbeats at the new interval, marked active after set interface")
    ctl("set_fault", name="stop_heartbeats", on=True)
    host.next_frame(on_ch0_type(0), 0.15)  # one may already be on its way
    check(host.next_frame(on_ch0_type(0), 0.5) is None, "fault stop_heartbeats: no heartbeats")

    host.send(frame(6, struct.pack("<B3xI", 0, 2)))
    report = host.next_frame(lambda ch, p: ch == 6)
    check(report is not None and report[1] == bytes([2, 0x02, 0, 0]), "level request answered with a level report")
    ctl("send_fragments", parts=["a", "b", "c"], level=4)
    flags = [host.next_frame(lambda ch, p: ch == 6)[1][1] for _ in range(3)]
    check(flags == [0x04, 0x04, 0x0C], "fragments on command, the last one marked")


def heartbeat_fields(hb):
    """(crc ok, interface, active, serial) of a device heartbeat."""
    return (crc_ok(hb), struct.unpack_from("<H", hb, 18)[0], hb[17], hb[20:52].split(b"\0")[0])


def usb_link(ready, host, ctl):
    """The same device over the USB socket: same serial, its own link type, plain frames. Runs
    with the periodic heartbeats stopped, so every heartbeat seen answers a request."""
    check(ready.get("usb", "").endswith("usb.sock"), "READY names the USB socket")
    usb = UsbHost(ready)
    host.send(frame(0, ch0_message(0, host_heartbeat())))
    check(heartbeat_fields(host.next_frame(on_ch0_type(0))[1])[1:3] == (2, 1),
          "before the USB switch: the TLS heartbeat is WiFi and active")

    usb.send(frame(0, ch0_message(0, host_heartbeat())))
    reply = usb.next_frame(on_ch0_type(0))
    check(reply is not None and len(reply[1]) == 56, "device-info request over USB answered with a heartbeat")
    check(heartbeat_fields(reply[1]) == (True, 1, 0, b"SELFTEST-0042"),
          "USB heartbeat: CRC agrees with crcmod, interface USB, not active, the same serial")
    links = ctl("status")["links"]
    check(sorted(link["kind"] for link in links) == ["tcp", "usb"], "status lists the TLS link and the USB attachment")

    usb.send(frame(0, ch0_message(1, IDENTITY + b"\0" + struct.pack("<HH", 1, 0))))
    reply = usb.next_frame(on_ch0_type(1))
    check(reply is not None and crc_ok(reply[1]) and struct.unpack_from("<H", reply[1], 44)[0] == 1
          and reply[1][46] == 1, "set interface USB over USB is accepted")
    check(ctl("status")["active_interface"] == "USB", "the active interface is USB")
    usb.send(frame(0, ch0_message(0, host_heartbeat())))
    host.send(frame(0, ch0_message(0, host_heartbeat())))
    check(heartbeat_fields(usb.next_frame(on_ch0_type(0))[1])[1:3] == (1, 1)
          and heartbeat_fields(host.next_frame(on_ch0_type(0))[1])[1:3] == (2, 0),
          "after the switch the USB heartbeat is active and the TLS one is not")

    big = frame(5, bytes(range(256)) * 3 + bytes(range(250)))
    usb.send(big[:500])
    usb.send(big[500:])
    check(usb.next_frame(lambda ch, p: ch == 5) == (5, big[6:]), "a 1024-byte frame sent in two pieces is echoed whole over USB")
    ctl("send_message", text="over usb", level=4)
    check(usb.next_frame(lambda ch, p: ch == 6, 2.0) is not None, "device messages go on the active USB link")

    host.send(frame(0, ch0_message(1, IDENTITY + b"\0" + struct.pack("<HH", 1, 0))))
    reply = host.next_frame(on_ch0_type(1))
    check(reply is not None and reply[1][46] == 1, "set interface USB asked over TLS is accepted while USB is attached")
    usb.stream.close()
    check(wait_until(lambda: ctl("status")["active_interface"] == "None"),
          "unplugging the USB attachment returns the active interface to None")
    host.send(frame(0, ch0_message(1, IDENTITY + b"\0" + struct.pack("<HH", 1, 0))))
    reply = host.next_frame(on_ch0_type(1))
    check(reply is not None and reply[1][46] == 0, "set interface USB is refused with no USB attachment")
    counters = ctl("counters")["counters"]
    check(counters["usb"] == {"attached": 1, "detached": 1} and counters["frames"]["usb"] == 4,
          "counters: one USB attachment, four frames received over it")


def wait_until(condition, timeout=3.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


def transport_faults(ready, ctl):
    ctl("set_fault", name="refuse_link", on=True)
    try:
        socket.create_connection(("127.0.0.1", ready["tls"]), timeout=2).close()
        refused = False
    except ConnectionRefusedError:
        refused = True
    check(refused and ctl("status")["links"] == [], "fault refuse_link: connections refused, open links dropped")
    ctl("set_fault", name="refuse_link", on=False)
    try:
        Host(ready).tls.close()
        reopened = True
    except OSError:
        reopened = False
    check(reopened, "the TLS port listens again once refuse_link is off")

    ctl("set_fault", name="tls_refuse_handshake", on=True)
    try:
        Host(ready)
        failed = False
    except ssl.SSLError:
        failed = True
    check(failed, "fault tls_refuse_handshake: the handshake fails")

    ctl("set_fault", faults={"tls_refuse_handshake": False, "tls_stall_handshake": True})
    context = ssl.create_default_context()
    context.check_hostname, context.verify_mode = False, ssl.CERT_NONE
    try:
        context.wrap_socket(socket.create_connection(("127.0.0.1", ready["tls"]), timeout=0.5)).close()
        stalled = False
    except (socket.timeout, TimeoutError):
        stalled = True
    check(stalled, "fault tls_stall_handshake: the handshake never completes")
    ctl("set_fault", name="tls_stall_handshake", on=False)


def frame_log(path):
    with open(path, encoding="utf-8") as f:
        frames = [json.loads(line) for line in f]
    usb = [f for f in frames if f["link"] == "usb"]
    check([f["channel"] for f in usb] == [0, 0, 0, 5] and all(f["conn"] == usb[0]["conn"] for f in usb),
          "frame log: the frames of the USB attachment, marked usb with one link id")
    info = [f for f in frames if f["channel"] == 0 and f["len"] == 68 and f["link"] == "tcp"]
    check(len(info) == 5 and [f["ch0"]["crc_ok"] for f in info] == [False, True, True, True, True]
          and all(f["dir"] == "rx" for f in info),
          "frame log: the five device-info requests over TLS, with their CRC verdicts")
    check(info[1]["payload"] == ch0_message(0, host_heartbeat()).hex(), "frame log: payload hex is what the host sent")
    inner = info[0]["ch0"]["heartbeat"]
    check(inner["crc_ok"] and inner["identity"] == IDENTITY.decode() and inner["ext_type"] == -1,
          "frame log: the host heartbeat inside a device-info request is checked on its own")
    hello = [f for f in frames if f["link"] == "udp" and f["channel"] == 0]
    check(len(hello) == 1 and hello[0]["ch0"]["type"] == 2, "frame log: the hello, received over udp")
    check([f["code"] for f in frames if f["channel"] == 1][:7] == [11, 32, 34, 33, 38, 132, 131],
          "frame log: control codes in the order sent")
    check(all(isinstance(f["time"], float) for f in frames), "frame log: every line has a time")


def main():
    with tempfile.TemporaryDirectory(prefix="pelto-selftest-") as folder:
        files = os.path.join(folder, "files")
        os.mkdir(files)
        sim, ready, log = start_sim(folder, files)
        try:
            ctl = Control(ready["control"])
            host = Host(ready)
            key, iv = link_management(host, ctl)
            datagrams(host, key, iv)
            control_channel(host, ctl)
            wifi_settings(host, ctl, folder)
            monitored_model(host, ctl, key, iv)
            file_control(host, ctl, files)
            software_update(host, ctl, os.path.join(folder, "update.bin"))
            faults_and_heartbeats(host, ctl)
            usb_link(ready, host, ctl)
            transport_faults(ready, ctl)
            ctl("shutdown")
            check(sim.wait(10) == 0, "simulator shuts down cleanly on command")
            frame_log(log)
            # Imported here: the firmware part imports this module's helpers.
            from selftest_firmware import firmware_cycle, restart_and_disconnect
            firmware_cycle(folder)
            restart_and_disconnect(folder)
        finally:
            if sim.poll() is None:
                sim.kill()
                sim.wait()
    print("pelto-sim self-test passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
