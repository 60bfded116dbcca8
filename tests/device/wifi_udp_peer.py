"""Stand-in for the datagram side of a Pelto, for the Wi-Fi link tests.

Shares no code with the host: frames are padded and encrypted here with python3-cryptography.

Usage: wifi_udp_peer.py KEY_HEX IV_HEX [PORT]
Binds the device port (PORT, else any free one) on 127.0.0.1 and prints
{"event": "ready", "port": <device port>, "foreign": <port>} once both sockets are bound,
then one JSON line per event. Every datagram that reaches the device port is reported as
    {"event": "datagram", "len": n, "pkcs7": bool, "frame": hex, "data": hex, "from": port,
     "t": seconds}
("frame" is the plaintext with its PKCS#7 padding verified and removed; absent when that fails;
"data" is the datagram as received, "from" its source port, "t" the time the kernel received it,
so a peer that is slow to read does not shift it).
Commands arrive on stdin, one JSON object per line:
    {"send": [frame hex, ...], "padding": "zero" | "pkcs7", "from": "device" | "foreign",
     "key": hex (optional, to encrypt with another key)}
    {"raw": hex, "from": ...}     the bytes as they stand, no encryption
    {"sync": true}                answered with {"event": "synced"}
    {"quit": true}
Each send is answered with {"event": "sent", "len": n, "padding": bytes of padding added} (or an
"error" event). Every datagram already queued on the device port is reported before a command is
answered, so after the answer to a command the test has seen all that the host sent before it.
"""
import json
import select
import socket
import struct
import sys
import time

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

# Linux: the kernel's receive time of each datagram, as a struct timespec.
SO_TIMESTAMPNS = getattr(socket, "SO_TIMESTAMPNS", 35)


def emit(obj):
    sys.stdout.write(json.dumps(obj) + "\n")
    sys.stdout.flush()


def arrival(ancillary):
    for level, kind, data in ancillary:
        if level == socket.SOL_SOCKET and kind == SO_TIMESTAMPNS and len(data) >= 16:
            seconds, nanoseconds = struct.unpack("qq", data[:16])
            return seconds + nanoseconds / 1e9
    return time.time()


def report(data, sender, t, key, iv):
    event = {"event": "datagram", "len": len(data), "pkcs7": False, "data": data.hex(),
             "from": sender[1], "t": t}
    if len(data) % 16 == 0 and data:
        decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
        plain = decryptor.update(data) + decryptor.finalize()
        unpadder = padding.PKCS7(128).unpadder()
        try:
            event["frame"] = (unpadder.update(plain) + unpadder.finalize()).hex()
            event["pkcs7"] = True
        except ValueError:
            pass
    emit(event)


def main():
    key = bytes.fromhex(sys.argv[1])
    iv = bytes.fromhex(sys.argv[2])
    port = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    device = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    device.setsockopt(socket.SOL_SOCKET, SO_TIMESTAMPNS, 1)
    device.bind(("127.0.0.1", port))
    device.setblocking(False)
    foreign = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    foreign.bind(("127.0.0.1", 0))
    host = None
    emit({"event": "ready", "port": device.getsockname()[1], "foreign": foreign.getsockname()[1]})

    stdin = sys.stdin.buffer
    while True:
        readable, _, _ = select.select([device, stdin], [], [])
        # Drain the device port first: a command's answer must follow the report of every
        # datagram that arrived before the command.
        while True:
            try:
                data, ancillary, _, host = device.recvmsg(65536, socket.CMSG_SPACE(16))
            except BlockingIOError:
                break
            report(data, host, arrival(ancillary), key, iv)
        if stdin not in readable:
            continue
        line = stdin.readline()
        if not line:
            return
        command = json.loads(line)
        if command.get("quit"):
            return
        if command.get("sync"):
            emit({"event": "synced"})
            continue
        if host is None:
            emit({"event": "error", "what": "no datagram from the host yet"})
            continue
        added = 0
        if "raw" in command:
            data = bytes.fromhex(command["raw"])
        else:
            plain = b"".join(bytes.fromhex(f) for f in command["send"])
            size = len(plain)
            if command.get("padding") == "pkcs7":
                padder = padding.PKCS7(128).padder()
                plain = padder.update(plain) + padder.finalize()
            else:
                plain += b"\0" * (-len(plain) % 16)
            added = len(plain) - size
            use_key = bytes.fromhex(command["key"]) if "key" in command else key
            encryptor = Cipher(algorithms.AES(use_key), modes.CBC(iv)).encryptor()
            data = encryptor.update(plain) + encryptor.finalize()
        sender = foreign if command.get("from") == "foreign" else device
        sender.sendto(data, host)
        emit({"event": "sent", "len": len(data), "padding": added})


if __name__ == "__main__":
    main()
