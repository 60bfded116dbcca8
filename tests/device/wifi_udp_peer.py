"""Stand-in for the datagram side of a Pelto, for the Wi-Fi link tests.

Shares no code with the host: frames are padded and encrypted here with python3-cryptography.

Usage: wifi_udp_peer.py KEY_HEX IV_HEX
Prints {"event": "ready", "port": <device port>, "foreign": <port>} once both sockets are bound,
then one JSON line per event. Every datagram that reaches the device port is reported as
    {"event": "datagram", "len": n, "pkcs7": bool, "frame": hex, "data": hex, "from": port,
     "t": seconds}
("frame" is the plaintext with its PKCS#7 padding verified and removed; absent when that fails;
"data" is the datagram as received, "from" its source port, "t" the arrival time).
Commands arrive on stdin, one JSON object per line:
    {"send": [frame hex, ...], "padding": "zero" | "pkcs7", "from": "device" | "foreign",
     "key": hex (optional, to encrypt with another key)}
    {"raw": hex, "from": ...}     the bytes as they stand, no encryption
    {"quit": true}
Each command is answered with {"event": "sent", "len": n} (or an "error" event).
"""
import json
import select
import socket
import sys
import time

from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def emit(obj):
    sys.stdout.write(json.dumps(obj) + "\n")
    sys.stdout.flush()


def main():
    key = bytes.fromhex(sys.argv[1])
    iv = bytes.fromhex(sys.argv[2])
    device = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    device.bind(("127.0.0.1", 0))
    foreign = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    foreign.bind(("127.0.0.1", 0))
    host = None
    emit({"event": "ready", "port": device.getsockname()[1], "foreign": foreign.getsockname()[1]})

    stdin = sys.stdin.buffer
    while True:
        readable, _, _ = select.select([device, stdin], [], [])
        if device in readable:
            data, host = device.recvfrom(65536)
            report = {"event": "datagram", "len": len(data), "pkcs7": False, "data": data.hex(),
                      "from": host[1], "t": time.monotonic()}
            if len(data) % 16 == 0 and data:
                decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
                plain = decryptor.update(data) + decryptor.finalize()
                unpadder = padding.PKCS7(128).unpadder()
                try:
                    report["frame"] = (unpadder.update(plain) + unpadder.finalize()).hex()
                    report["pkcs7"] = True
                except ValueError:
                    pass
            emit(report)
        if stdin in readable:
            line = stdin.readline()
            if not line:
                return
            command = json.loads(line)
            if command.get("quit"):
                return
            if host is None:
                emit({"event": "error", "what": "no datagram from the host yet"})
                continue
            if "raw" in command:
                data = bytes.fromhex(command["raw"])
            else:
                plain = b"".join(bytes.fromhex(f) for f in command["send"])
                if command.get("padding") == "pkcs7":
                    padder = padding.PKCS7(128).padder()
                    plain = padder.update(plain) + padder.finalize()
                else:
                    plain += b"\0" * (-len(plain) % 16)
                use_key = bytes.fromhex(command["key"]) if "key" in command else key
                encryptor = Cipher(algorithms.AES(use_key), modes.CBC(iv)).encryptor()
                data = encryptor.update(plain) + encryptor.finalize()
            sender = foreign if command.get("from") == "foreign" else device
            sender.sendto(data, host)
            emit({"event": "sent", "len": len(data)})


if __name__ == "__main__":
    main()
