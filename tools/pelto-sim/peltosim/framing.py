"""Device frames: 0xABCD magic, u16 channel, u16 whole length (6..1024), payload; little-endian."""

import struct

MAGIC = 0xABCD
HEADER_SIZE = 6
MAX_FRAME = 1024
MAX_PAYLOAD = MAX_FRAME - HEADER_SIZE


def build_frame(channel, payload):
    if len(payload) > MAX_PAYLOAD:
        raise ValueError("payload of %d bytes does not fit one frame (max %d)" % (len(payload), MAX_PAYLOAD))
    return struct.pack("<HHH", MAGIC, channel, len(payload) + HEADER_SIZE) + bytes(payload)


class Recombiner:
    """Cuts a byte stream back into frames, with the same resynchronisation rules as the host:
    a buffer that starts with 0x00 is dropped (zero padding behind a datagram's last frame), and a
    bad header drops everything buffered."""

    def __init__(self):
        self._buffer = bytearray()

    def feed(self, data):
        """Returns (frames, corrupt): frames is a list of (channel, payload); corrupt tells whether
        a bad header was met (and the buffer dropped)."""
        self._buffer += data
        frames = []
        while True:
            if self._buffer and self._buffer[0] == 0x00:
                self._buffer.clear()
                return frames, False
            if len(self._buffer) < HEADER_SIZE:
                return frames, False
            magic, channel, length = struct.unpack_from("<HHH", self._buffer)
            if magic != MAGIC or length < HEADER_SIZE or length > MAX_FRAME:
                self._buffer.clear()
                return frames, True
            if len(self._buffer) < length:
                return frames, False
            frames.append((channel, bytes(self._buffer[HEADER_SIZE:length])))
            del self._buffer[:length]

    def pending(self):
        return len(self._buffer)
