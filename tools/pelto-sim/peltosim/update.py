"""Channel 4: the software-update receiver.

Message (little-endian): u32 magic 0xDDCCBBAA, u32 command, u32 payload length, payload. After a
start command (2 firmware, 3 application image, 4 wireless firmware: u32 size, u32 CRC) every
channel-4 frame is image data until the announced size has arrived; each is answered "ready" with
the start command's value, the last one "finished" (5) or "failed" (6) after the CRC check.

Application images are descrambled here with Python's own MT19937 (random.Random, its state set
with setstate after the device's seeding), not with any code of the host: a chunk whose length is
a multiple of 4 is descrambled when the seed mode is 1.
"""

import random
import struct

import crcmod.predefined

MAGIC = 0xDDCCBBAA
HEADER = struct.Struct("<III")
HEADER_SIZE = HEADER.size

SEED, START_FW, START_APP, START_WIRELESS, FINISHED, FAILED, TIMED_OUT, VERSION, APP_RUNNING = range(1, 10)
KINDS = {START_FW: "fwb", START_APP: "apb", START_WIRELESS: "feb"}

crc32_mpeg2 = crcmod.predefined.mkCrcFun("crc-32-mpeg")


def message(command, payload=b""):
    return HEADER.pack(MAGIC, command, len(payload)) + payload


def new_counters():
    return {"seed_requests": 0, "starts": 0, "chunks": 0, "scrambled_chunks": 0, "finished": 0,
            "failed": 0, "timed_out": 0, "app_running": 0, "version_queries": 0, "malformed": 0}


def seeded_generator(seed):
    """An MT19937 whose state is the device's seeding: word 0 is the seed, each next word the one
    before times 6069 (mod 2^32); the first draw regenerates the whole state."""
    words = [seed & 0xFFFFFFFF]
    for _ in range(623):
        words.append((words[-1] * 6069) & 0xFFFFFFFF)
    generator = random.Random()
    generator.setstate((3, tuple(words) + (624,), None))
    return generator


class Descrambler:
    """Undoes the word scrambling: per word, k from generator A and c from generator B; c mod 4
    selects XOR with k, rotate left by k mod 32, add k, or nothing."""

    def __init__(self, seed):
        self.a = seeded_generator(seed)
        self.b = seeded_generator(self.a.getrandbits(32))

    def apply(self, data):
        out = bytearray(data)
        for offset in range(0, len(out), 4):
            (w,) = struct.unpack_from("<I", out, offset)
            k = self.a.getrandbits(32)
            c = self.b.getrandbits(32) % 4
            if c == 0:
                w ^= k
            elif c == 1:
                r = k % 32
                w = ((w >> r) | (w << (32 - r))) & 0xFFFFFFFF
            elif c == 2:
                w = (w - k) & 0xFFFFFFFF
            struct.pack_into("<I", out, offset, w)
        return bytes(out)


class UpdateReceiver:
    """Answers channel-4 frames. `respond(payload)` returns the frame payloads to send; `restart`
    is set (milliseconds) when the device should drop its links and come back after a finished
    upload."""

    def __init__(self, state, counters, image_path=None, say=lambda text: None):
        self.state = state
        self._counters = counters
        self.image_path = image_path
        self.say = say
        self.mode = None
        self.seed = None
        self.descrambler = None
        self.receiving = None  # the start command being received, or None
        self.size = 0
        self.crc = 0
        self.image = bytearray()
        self.unverified_left = 0
        self.restart = None
        self.last = None  # what the last upload looked like, for tests
        self.on_finished = None  # called with the kind of every upload that finished

    @property
    def counters(self):
        return self._counters()

    def respond(self, payload):
        if self.receiving is not None:
            return self._data(payload)
        if len(payload) < HEADER_SIZE:
            self.counters["malformed"] += 1
            return []
        magic, command, length = HEADER.unpack_from(payload)
        body = payload[HEADER_SIZE:]
        if magic != MAGIC or len(body) != length:
            self.counters["malformed"] += 1
            return []
        if command == SEED:
            return self._seed()
        if command in KINDS:
            return self._start(command, body)
        if command == VERSION:
            return self._version()
        self.counters["malformed"] += 1
        return []

    def _seed(self):
        self.counters["seed_requests"] += 1
        self.mode = self.state["update_seed_mode"]
        seed = self.state["update_seed"]
        self.seed = random.getrandbits(32) if seed < 0 else seed
        self.descrambler = Descrambler(self.seed) if self.mode == 1 else None
        self.say("channel 4: seed request -> mode %d, seed %d" % (self.mode, self.seed))
        return [message(SEED, struct.pack("<II", self.mode, self.seed))]

    def _start(self, command, body):
        if len(body) < 8:
            self.counters["malformed"] += 1
            return []
        self.counters["starts"] += 1
        if self.state["update_app_running"]:
            self.counters["app_running"] += 1
            self.say("channel 4: start refused, an application is running")
            return [message(APP_RUNNING)]
        self.size, self.crc = struct.unpack_from("<II", body)
        self.receiving = command
        self.image = bytearray()
        kind = KINDS[command]
        self.last = {"kind": kind, "size": self.size, "crc": self.crc, "chunks": [], "scrambled": [],
                     "received": 0, "crc_ok": None, "result": None,
                     "seed_mode": self.mode if kind == "apb" else None}
        if kind == "apb" and self.seed is not None and self.mode == 1:
            # Every upload starts from freshly seeded generators.
            self.descrambler = Descrambler(self.seed)
        self.say("channel 4: %s upload of %d bytes, CRC 0x%08X" % (kind, self.size, self.crc))
        if self.size == 0:
            return self._complete()
        return [message(command)]

    def _data(self, payload):
        index = len(self.last["chunks"])
        self.counters["chunks"] += 1
        scrambled = (KINDS[self.receiving] == "apb" and self.mode == 1 and self.descrambler is not None
                     and len(payload) % 4 == 0)
        if scrambled:
            self.counters["scrambled_chunks"] += 1
            payload = self.descrambler.apply(payload)
        self.last["chunks"].append(len(payload))
        self.last["scrambled"].append(scrambled)
        if index == self.state["update_timeout_at_chunk"]:
            self.counters["timed_out"] += 1
            self.last["result"] = "timed_out"
            self.receiving = None
            self.say("channel 4: timed out at chunk %d" % index)
            return [message(TIMED_OUT)]
        self.image += payload
        self.last["received"] = len(self.image)
        if len(self.image) < self.size:
            return [message(self.receiving)]
        # The last chunk is taken like every other ("ready"); the check follows.
        return [message(self.receiving)] + self._complete()

    def _complete(self):
        command, self.receiving = self.receiving, None
        image = bytes(self.image)
        if self.image_path:
            with open(self.image_path, "wb") as f:
                f.write(image)
        ok = len(image) == self.size and crc32_mpeg2(image) == self.crc
        self.last["crc_ok"] = ok
        self.last["result"] = "finished" if ok else "failed"
        if not ok:
            self.counters["failed"] += 1
            self.say("channel 4: image check failed")
            return [message(FAILED)]
        self.counters["finished"] += 1
        if command == START_WIRELESS:
            self.unverified_left = self.state["update_unverified_polls"]
        self.say("channel 4: upload finished, %d bytes, CRC ok" % len(image))
        if self.on_finished:
            self.on_finished(KINDS[command])
        if self.state["update_restart_ms"] > 0:
            self.restart = self.state["update_restart_ms"]
        return [message(FINISHED)]

    def _version(self):
        self.counters["version_queries"] += 1
        verified = 1 if self.unverified_left <= 0 else 0
        self.unverified_left -= 1
        text = self.state["esp_version"].encode("utf-8")[:16]
        return [message(VERSION, struct.pack("<I", verified) + text + bytes(16 - len(text)))]
