"""Channel 0, link management: 12-byte header (crc, type, length, value, reserved, version) and the
heartbeat, set-interface, hello and UDP-key messages, seen from the device."""

import struct

from .crc import crc32_mpeg2

HEADER_SIZE = 12

TYPE_HEARTBEAT = 0  # also the device-info request (68 bytes: header + the host's 56-byte heartbeat)
TYPE_SET_INTERFACE = 1
TYPE_HELLO = 2
TYPE_UDP_KEY = 3

HEARTBEAT_SIZE = 56
HEARTBEAT_SIZE_V0 = 52
DEVICE_INFO_REQUEST_SIZE = 68
SET_INTERFACE_SIZE = 48
KEY_REPLY_SIZE = 60

LINK_NONE, LINK_USB, LINK_WIFI, LINK_BLUETOOTH = 0, 1, 2, 3
LINK_NAMES = {LINK_NONE: "None", LINK_USB: "USB", LINK_WIFI: "WiFi", LINK_BLUETOOTH: "Bluetooth"}


def message_crc(message):
    return crc32_mpeg2(message[4:])


def build_message(msg_type, body=b"", version=1, value=0, bad_crc=False, wrong_length=False):
    """Header + body with the CRC over bytes 4..end. The two fault flags spoil the CRC or the
    length field (the CRC is then taken over the spoiled header, so only the length is wrong)."""
    length = HEADER_SIZE + len(body)
    if wrong_length:
        length += 1
    message = bytearray(struct.pack("<IHHBBH", 0, msg_type, length & 0xFFFF, value, 0, version) + bytes(body))
    crc = message_crc(message)
    if bad_crc:
        crc ^= 0xA5A5A5A5
    struct.pack_into("<I", message, 0, crc)
    return bytes(message)


def heartbeat_body(family, active, interface, serial, ext_type, version):
    serial_bytes = serial.encode("latin-1", "replace")[:31]
    body = struct.pack("<HHBBH", 0, family, 0, 1 if active else 0, interface)
    body += serial_bytes + bytes(32 - len(serial_bytes))
    if version != 0:
        body += struct.pack("<i", ext_type)
    return body


def set_interface_reply_body(identity, link, accepted):
    ident = bytes(identity[:31]).ljust(31, b"\0")
    return ident + b"\0" + struct.pack("<HBB", link, 1 if accepted else 0, 0)


def key_reply_body(key, iv):
    assert len(key) == 32 and len(iv) == 16
    return bytes(key) + bytes(iv)


class Parsed:
    """One message from the host, with what the device checked about it."""

    __slots__ = ("size", "crc_ok", "length_ok", "msg_type", "version", "value", "length")

    def __init__(self, payload):
        self.size = len(payload)
        self.crc_ok = False
        self.length_ok = False
        self.msg_type = self.version = self.value = self.length = None
        if len(payload) < HEADER_SIZE:
            return
        stored_crc, self.msg_type, self.length, self.value, _, self.version = struct.unpack_from("<IHHBBH", payload)
        self.length_ok = self.length == len(payload)
        self.crc_ok = stored_crc == message_crc(payload)

    @property
    def valid(self):
        return self.crc_ok and self.length_ok

    def as_dict(self):
        return {"type": self.msg_type, "version": self.version, "value": self.value, "length": self.length,
                "crc_ok": self.crc_ok, "length_ok": self.length_ok}


def parse_heartbeat(message):
    """The fields of a host heartbeat (or of the one inside a device-info request)."""
    if len(message) < HEARTBEAT_SIZE_V0:
        return None
    _, family, _, active, interface = struct.unpack_from("<HHBBH", message, HEADER_SIZE)
    serial = message[20:52].split(b"\0", 1)[0].decode("latin-1")
    ext = struct.unpack_from("<i", message, 52)[0] if len(message) >= HEARTBEAT_SIZE else -1
    return {"family": family, "active": bool(active), "interface": interface, "identity": serial,
            "ext_type": ext, "crc_ok": Parsed(message).valid}
