"""Channel 6, device messages: u8 level, u8 flags, u16 text length, UTF-8 text; and the host's
8-byte level request (u8 kind, three zero bytes, u32 level)."""

import struct

FLAG_KERNEL = 0x01
FLAG_LEVEL_REPORT = 0x02
FLAG_FRAGMENT = 0x04
FLAG_LAST_FRAGMENT = 0x08
FLAG_OVERFLOW = 0x10

HEADER_SIZE = 4
MAX_TEXT = 1018 - HEADER_SIZE


def build_message(level, flags, text=b""):
    if isinstance(text, str):
        text = text.encode("utf-8")
    if len(text) > MAX_TEXT:
        raise ValueError("text of %d bytes does not fit one frame (max %d)" % (len(text), MAX_TEXT))
    return struct.pack("<BBH", level & 0xFF, flags & 0xFF, len(text)) + text


def parse_level_request(payload):
    """(kind, level) or None when the request is not the 8-byte form."""
    if len(payload) != 8:
        return None
    kind, level = struct.unpack("<B3xI", payload)
    return kind, level


def split_utf8(data, limit):
    """Cuts UTF-8 bytes into pieces of at most `limit` bytes without splitting a character, so each
    fragment decodes on its own."""
    pieces = []
    while len(data) > limit:
        cut = limit
        while cut > 0 and (data[cut] & 0xC0) == 0x80:
            cut -= 1
        pieces.append(data[:cut])
        data = data[cut:]
    pieces.append(data)
    return pieces


def text_messages(level, text, kernel=False):
    """One message, or a run of fragments with the last one marked, when the text needs more
    than one frame."""
    data = text.encode("utf-8")
    base = FLAG_KERNEL if kernel else 0
    if len(data) <= MAX_TEXT:
        return [build_message(level, base, data)]
    return fragment_messages(level, split_utf8(data, MAX_TEXT), kernel, True)


def fragment_messages(level, parts, kernel=False, last=True):
    base = (FLAG_KERNEL if kernel else 0) | FLAG_FRAGMENT
    out = []
    for index, part in enumerate(parts):
        flags = base | (FLAG_LAST_FRAGMENT if last and index == len(parts) - 1 else 0)
        out.append(build_message(level, flags, part))
    return out
