"""Channel 9: the device's file system, served from a folder on the PC.

Message, both ways (little-endian): u32 whole length including the 7-byte header, u16 command code,
u8 response code (0 in requests, 1 success), payload. Every request arrives in one frame; a reply
longer than a frame goes out over several frames, and a download goes as one message per frame.

Requests never reach outside the folder: a path with a ".." or "." part, a backslash or a NUL, or
one that resolves (through symbolic links too) outside the folder, is answered with RESP_REFUSED.
"""

import os
import struct

from .framing import MAX_PAYLOAD

HEADER = struct.Struct("<IHB")
HEADER_SIZE = HEADER.size  # 7

RESP_OK = 1
RESP_NOT_FOUND = 2
RESP_REFUSED = 3
RESP_FAILED = 4

TYPE_DIR = 4
TYPE_FILE = 8
FS_READY = 2

CODE_NAMES = {1: "downloadFileToBuf", 2: "downloadFile", 3: "uploadFile", 4: "removeFile",
              5: "renameFile", 6: "listDir", 7: "makeDir", 8: "removeDir", 9: "renameDir",
              10: "getAvailableStorage"}

# Entries the hostile_names switch adds to every listing.
HOSTILE_NAMES = ["../x.zlf", "..", "sub/inner.zlf", "back\\slash.zlf"]


class PathRefused(Exception):
    pass


def message(code, response, payload=b"", length=None):
    return HEADER.pack(len(payload) + HEADER_SIZE if length is None else length, code, response) + payload


def new_counters():
    return {"requests": {}, "malformed": 0, "refused_paths": 0, "chunks_sent": 0, "errors_injected": 0}


def split_message(data):
    """Frame payloads carrying one message that may be longer than a frame."""
    return [data[i:i + MAX_PAYLOAD] for i in range(0, len(data), MAX_PAYLOAD)] or [b""]


def file_header(mtime, size, name):
    raw = name.encode("utf-8")
    return struct.pack("<qIH", int(mtime), size, len(raw)) + raw


def dir_entry(mtime, size, entry_type, name):
    raw = name.encode("utf-8")
    return struct.pack("<qIhH", int(mtime), size & 0xFFFFFFFF, entry_type, len(raw)) + raw


def _c_string(body):
    text, _, _ = body.partition(b"\0")
    return text.decode("utf-8", "replace")


def _name_records(body):
    """Two records: u16 byte length, UTF-8, one NUL. None when the bytes do not hold them."""
    names = []
    offset = 0
    for _ in range(2):
        if len(body) < offset + 2:
            return None
        (n,) = struct.unpack_from("<H", body, offset)
        raw = body[offset + 2:offset + 2 + n]
        if len(raw) != n:
            return None
        names.append(raw.decode("utf-8", "replace"))
        offset += 2 + n
        if len(body) > offset and body[offset] == 0:
            offset += 1
    return names


class FileControl:
    """Answers channel-9 requests. `respond(payload)` returns the list of frame payloads to send."""

    def __init__(self, root, state, counters):
        self.root = os.path.realpath(root) if root else None
        self.state = state
        self._counters = counters  # returns the device's current "channel9" counters
        self._held = None  # a reply kept back by the two_replies_per_frame switch

    @property
    def counters(self):
        return self._counters()

    # -- paths -------------------------------------------------------------------------------
    def resolve(self, path):
        if self.root is None:
            raise FileNotFoundError("no folder served")
        if "\0" in path or "\\" in path:
            raise PathRefused(path)
        parts = [p for p in path.split("/") if p]
        if any(p in (".", "..") for p in parts):
            raise PathRefused(path)
        full = os.path.realpath(os.path.join(self.root, *parts))
        if full != self.root and os.path.commonpath([self.root, full]) != self.root:
            raise PathRefused(path)
        return full

    def _renamed(self, old_full, new_name):
        """A new name without "/" stays in the old entry's folder; one with "/" is a path."""
        if "/" in new_name:
            return self.resolve(new_name)
        return self.resolve(os.path.relpath(os.path.join(os.path.dirname(old_full), new_name), self.root))

    # -- requests ----------------------------------------------------------------------------
    def respond(self, payload):
        if len(payload) < HEADER_SIZE:
            self.counters["malformed"] += 1
            return []
        length, code, _ = HEADER.unpack_from(payload)
        if length != len(payload):
            self.counters["malformed"] += 1
            return []
        body = payload[HEADER_SIZE:]
        requests = self.counters["requests"]
        requests[str(code)] = requests.get(str(code), 0) + 1
        try:
            if code == 2:
                return self._download(body)
            reply = self._answer(code, body)
        except PathRefused:
            self.counters["refused_paths"] += 1
            reply = message(code, RESP_REFUSED)
        except FileNotFoundError:
            reply = message(code, RESP_NOT_FOUND)
        except OSError:
            reply = message(code, RESP_FAILED)
        if reply is None:
            return []
        return self._shape(reply)

    def _shape(self, reply):
        faults = self.state.faults
        if faults["fc_absurd_length"]:
            reply = struct.pack("<I", 0xFFFFFFF0) + reply[4:]
        if faults["fc_two_replies_per_frame"]:
            if self._held is None:
                self._held = reply
                return []
            both, self._held = self._held + reply, None
            return split_message(both)
        return split_message(reply)

    def _answer(self, code, body):
        if code == 1:
            full = self.resolve(_c_string(body))
            with open(full, "rb") as f:
                data = f.read()
            st = os.stat(full)
            return message(1, RESP_OK, file_header(st.st_mtime, len(data), self._header_name(full)) + data)
        if code == 3:
            if len(body) < 2:
                raise PathRefused("")
            (n,) = struct.unpack_from("<H", body)
            path = body[2:2 + n].decode("utf-8", "replace")
            if len(body) < 4 + n:
                raise PathRefused(path)
            (size,) = struct.unpack_from("<H", body, 2 + n)
            data = body[4 + n:4 + n + size]
            if len(data) != size:
                return message(3, RESP_FAILED)
            with open(self.resolve(path), "wb") as f:
                f.write(data)
            return message(3, RESP_OK)
        if code in (4, 7, 8):
            path = _c_string(body)
            full = self.resolve(path)
            if full == self.root and code != 7:
                raise PathRefused(path)
            {4: os.remove, 7: os.mkdir, 8: os.rmdir}[code](full)
            return message(code, RESP_OK, path.encode("utf-8"))
        if code in (5, 9):
            names = _name_records(body)
            if names is None:
                return message(code, RESP_FAILED)
            old = self.resolve(names[0])
            new = self._renamed(old, names[1])
            if old == self.root or os.path.exists(new):
                return message(code, RESP_FAILED)
            if (code == 5) != os.path.isfile(old):
                return message(code, RESP_NOT_FOUND)
            os.rename(old, new)
            return message(code, RESP_OK, ("/" + os.path.relpath(new, self.root)).encode("utf-8"))
        if code == 6:
            full = self.resolve(_c_string(body))
            entries = b""
            for entry in sorted(os.scandir(full), key=lambda e: e.name):
                st = entry.stat()
                entry_type = TYPE_DIR if entry.is_dir() else TYPE_FILE
                entries += dir_entry(st.st_mtime, st.st_size if entry_type == TYPE_FILE else 0,
                                     entry_type, entry.name)
            if self.state.faults["fc_hostile_names"]:
                for name in HOSTILE_NAMES:
                    entries += dir_entry(0, 1, TYPE_FILE, name)
            return message(6, RESP_OK, entries)
        if code == 10:
            total, free = self.state["fs_total_bytes"], self.state["fs_free_bytes"]
            if self.root is not None and (total == 0 or free == 0):
                st = os.statvfs(self.root)
                total = total or st.f_blocks * st.f_frsize
                free = free or st.f_bavail * st.f_frsize
            return message(10, RESP_OK, struct.pack("<QQi", total, free, self.state["fs_status"]))
        return message(code, RESP_FAILED)

    def _header_name(self, full):
        name = os.path.basename(full)
        return "../" + name if self.state.faults["fc_hostile_names"] else name

    def _download(self, body):
        """One message per frame: the first holds the file header and the first data."""
        full = self.resolve(_c_string(body))
        with open(full, "rb") as f:
            data = f.read()
        st = os.stat(full)
        first = file_header(st.st_mtime, len(data), self._header_name(full))
        error_at = self.state["fc_error_at_chunk"]
        stall_at = self.state["fc_stall_at_chunk"]
        frames = []
        offset = 0
        index = 0
        while True:
            if index == stall_at:
                break
            if index == error_at:
                frames.append(message(2, self.state["fc_error_response"]))
                self.counters["errors_injected"] += 1
                break
            head = first if index == 0 else b""
            room = MAX_PAYLOAD - HEADER_SIZE - len(head)
            chunk = data[offset:offset + room]
            frames.append(message(2, RESP_OK, head + chunk))
            offset += len(chunk)
            index += 1
            if offset >= len(data):
                break
        self.counters["chunks_sent"] += len(frames)
        return frames
