"""The monitored Simulink model of the simulated Pelto: channel 2 (model description, parameter
writes, stream switching) and channel 3 (sample packets).

The model is declarative JSON (models/monitored_model.json). Every record is packed here with
struct from the field lists of the monitoring protocol; nothing is shared with the host.

Run on its own it is a line peer for tests: each stdin line is a command, each reply a stdout line
"<channel> <hex payload>", and "." ends the answer to one command:
    req <hex>        one channel-2 packet from the host
    tick <ns>        advance the model clock and send the samples of every running stream
    fault <name> [on|off]
"""
import json
import math
import struct
import sys

CMD_INFO, CMD_SIGNALS, CMD_BLOCK_PARAMS, CMD_MODEL_PARAMS, CMD_STATES = 1, 5, 6, 7, 8
CMD_INPUTS, CMD_OUTPUTS, CMD_RAW, CMD_STRINGS, CMD_SET_PARAM = 9, 10, 11, 12, 13
CMD_UPDATE_PARAMS, CMD_SET_SIGNAL, CMD_STREAMING_HANDLED, CMD_ACTIVE = 14, 15, 16, 17
CMD_TYPES, CMD_ELEMENTS, CMD_FXP = 18, 19, 20

SIGNAL_T = "<HHHHB3xHHHBB2H"          # 24
PARAM_T = "<HHHHBxHHBB2H"             # 20
STATE_T = "<HHHH2xHHBB2H4xH"          # 26
DATATYPE_T = "<xxHxxHHHBBBx"          # 16
ELEMENT_T = "<xxHHHHBB2H"             # 16
FXP_T = "<4xBBbBdd"                   # 24
REFERENCE_T = "<HH"                   # 4
SIGNAL_SET_T = "<HHiHHBBH"            # 16
PARAM_SET_T = "<HHHHBB16s"            # 26
SIZES = {SIGNAL_T: 24, PARAM_T: 20, STATE_T: 26, DATATYPE_T: 16, ELEMENT_T: 16, FXP_T: 24,
         REFERENCE_T: 4, SIGNAL_SET_T: 16, PARAM_SET_T: 26}
for _fmt, _size in SIZES.items():
    assert struct.calcsize(_fmt) == _size, _fmt

# Simulink type id -> struct code of one part
BUILTIN = {0: "d", 1: "f", 2: "b", 3: "B", 4: "h", 5: "H", 6: "i", 7: "I", 8: "B"}
FXP_CODES = {(1, 1): "b", (1, 0): "B", (2, 1): "h", (2, 0): "H", (4, 1): "i", (4, 0): "I",
             (8, 1): "q", (8, 0): "Q"}

FAULTS = ("reject", "bad_multiple", "short_length", "long_length", "two_frames", "wrong_table",
          "missing_reply", "unsubscribed_record", "short_packet", "time_backwards", "drop",
          "reorder")


def frame(cmd, payload, status=0, length=None):
    return struct.pack("<hHb", cmd, len(payload) + 5 if length is None else length, status) + payload


class MonitoredModel:
    def __init__(self, description):
        self.d = description
        self.faults = set()
        self.strings = [[] for _ in range(15)]
        self.index = [{} for _ in range(15)]
        self.streams = {}      # (node, offset) -> dict(rate, size, with_offset, wave, next_ns)
        self.clock_ns = 1_000_000_000
        self.held = None       # a channel-3 packet held back to send out of order
        self.counters = {"requests": 0, "samples": 0, "param_writes": 0}
        refs = description.get("modelRefs", [])
        if refs:
            self.strings[11] = ["refs"]
            for ref in refs:
                self.strings[11] += [ref.get("parentText", "%x" % ref.get("parent", 0)), ref["path"]]
        self.types = description["dataTypes"]
        self.elements = description.get("structElements", [])
        self.fxp = description.get("fixedPoint", [{}])
        for t in self.types:
            t["_name"] = self.string(12, t["name"])
            self.string(13, t.get("second", t["name"]))
        for e in self.elements:
            e["_name"] = self.string(14, e["name"])
        for key, paths, names in (("signals", 0, 5), ("inputs", 3, 8), ("outputs", 4, 9)):
            for s in description.get(key, []):
                s["_path"] = self.string(paths, s["path"])
                s["_name"] = self.string(names, s.get("name", ""))
        for p in description.get("blockParams", []):
            p["_path"] = self.string(1, p["path"])
            p["_name"] = self.string(6, p["name"])
        for p in description.get("modelParams", []):
            p["_path"] = 0
            p["_name"] = self.string(10, p["name"])
        for s in description.get("states", []):
            s["_path"] = self.string(2, s["path"])
            s["_name"] = self.string(7, s["name"])
        for p in description.get("blockParams", []) + description.get("modelParams", []):
            p["_raw"] = bytearray(b"".join(self.pack_value(p, v) for v in p["values"]))

    def string(self, table, text):
        if text not in self.index[table]:
            self.index[table][text] = len(self.strings[table])
            self.strings[table].append(text)
        return self.index[table][text]

    # --- values -------------------------------------------------------------------------
    def value_size(self, item):
        return self.types[item["type"]]["size"]

    def pack_value(self, item, value):
        t = self.types[item["type"]]
        parts = value if isinstance(value, list) else [value]
        if t.get("complex") and len(parts) == 1:
            parts = [parts[0], 0.0]
        fxp_index = item.get("fxp", 0)
        out = b""
        part_size = t["size"] // (2 if t.get("complex") else 1)
        for v in parts:
            if fxp_index:
                f = self.fxp[fxp_index]
                slope = f["slopeAdj"] * 2.0 ** f["exp"]
                code = FXP_CODES[(part_size, f["signed"])]
                out += struct.pack("<" + code, int(round((v - f.get("bias", 0.0)) / slope)))
            elif t["id"] == 254:
                code = FXP_CODES[(part_size, t.get("storage", 6) % 2 == 0 and 1 or 0)]
                out += struct.pack("<" + code, int(v))
            elif t.get("raw"):
                out += bytes.fromhex(v)
            else:
                code = BUILTIN[t["id"]]
                out += struct.pack("<" + code, v if code in "df" else int(v))
        assert len(out) == t["size"], (item, value)
        return out

    # --- channel 2 ----------------------------------------------------------------------
    def reply(self, cmd, payload, status=0):
        """The packets of one reply, each at most 1018 bytes, with the switched-on faults."""
        if "reject" in self.faults:
            status = 1
        if "bad_multiple" in self.faults and cmd in (CMD_SIGNALS, CMD_TYPES):
            payload += b"\0"
        length = None
        if "short_length" in self.faults:
            length = 3
        elif "long_length" in self.faults:
            length = len(payload) + 5 + 50
        data = frame(cmd, payload, status, length)
        return [data[i:i + 1018] for i in range(0, len(data), 1018)] or [data]

    def records(self, cmd):
        d = self.d
        if cmd in (CMD_SIGNALS, CMD_INPUTS, CMD_OUTPUTS):
            key = {CMD_SIGNALS: "signals", CMD_INPUTS: "inputs", CMD_OUTPUTS: "outputs"}[cmd]
            return b"".join(struct.pack(SIGNAL_T, s["node"], s.get("ref", 0), s["_path"], s["_name"],
                                        s.get("port", 1), s.get("odr", 100), s["type"], s.get("fxp", 0),
                                        s.get("layout", 0), len(s["dims"]), *(s["dims"] + [0])[:2])
                            for s in d.get(key, []))
        if cmd in (CMD_BLOCK_PARAMS, CMD_MODEL_PARAMS):
            key = "blockParams" if cmd == CMD_BLOCK_PARAMS else "modelParams"
            flags = 0 if cmd == CMD_BLOCK_PARAMS else 2
            return b"".join(struct.pack(PARAM_T, p["node"], p.get("ref", 0), p["_path"], p["_name"],
                                        flags, p["type"], p.get("fxp", 0), p.get("layout", 0),
                                        len(p["dims"]), *(p["dims"] + [0])[:2])
                            for p in d.get(key, []))
        if cmd == CMD_STATES:
            return b"".join(struct.pack(STATE_T, s["node"], s.get("ref", 0), s["_path"], s["_name"],
                                        s["type"], s.get("fxp", 0), s.get("layout", 0), len(s["dims"]),
                                        *(s["dims"] + [0])[:2], s.get("odr", 100))
                            for s in d.get("states", []))
        if cmd == CMD_TYPES:
            return b"".join(struct.pack(DATATYPE_T, t["_name"], len(t.get("elements", [])),
                                        t.get("firstElement", 0), t["size"], t["id"],
                                        1 if t.get("complex") else 0, t.get("storage", 0))
                            for t in self.types)
        if cmd == CMD_ELEMENTS:
            return b"".join(struct.pack(ELEMENT_T, e["_name"], e["offset"], e["type"], e.get("fxp", 0),
                                        e.get("layout", 0), len(e["dims"]), *(e["dims"] + [0])[:2])
                            for e in self.elements)
        if cmd == CMD_FXP:
            return b"".join(struct.pack(FXP_T, f.get("scaling", 0), f.get("word", 0), f.get("exp", 0),
                                        f.get("signed", 0), f.get("slopeAdj", 1.0), f.get("bias", 0.0))
                            for f in self.fxp)
        if cmd == CMD_ACTIVE:
            return b"".join(struct.pack(SIGNAL_SET_T, node, 0, s["rate"], s["size"], off, 1, 0, 0)
                            for (node, off), s in self.streams.items())
        return None

    def raw_values(self, kind):
        key = "blockParams" if kind == 2 else "modelParams"
        return bytes([kind]) + b"".join(bytes(p["_raw"]) for p in self.d.get(key, []))

    def handle(self, data):
        """Replies (lists of channel-2 packets) to one request frame."""
        self.counters["requests"] += 1
        cmd, length, _status = struct.unpack_from("<hHb", data)
        payload = data[5:length]
        missing = self.d.get("missingReplyFor", CMD_FXP)
        if "missing_reply" in self.faults and cmd == missing:
            return []
        if cmd == CMD_INFO:
            return [self.reply(cmd, struct.pack("<II", 2, 0))]
        if cmd == CMD_STRINGS:
            table = payload[0]
            sent = table + 1 if "wrong_table" in self.faults else table
            body = bytes([sent]) + b"".join(s.encode() + b"\0" for s in self.strings[table])
            packets = self.reply(cmd, body)
            if "two_frames" in self.faults and table < 14:
                nxt = bytes([table + 1]) + b"".join(s.encode() + b"\0" for s in self.strings[table + 1])
                packets = [packets[0] + frame(cmd, nxt)] + packets[1:]
            return [packets]
        if cmd == CMD_RAW:
            return [self.reply(cmd, self.raw_values(payload[0]))]
        if cmd == CMD_SET_PARAM:
            return self.set_parameter(payload)
        if cmd == CMD_SET_SIGNAL:
            return self.set_signal(payload)
        body = self.records(cmd)
        if body is None:
            return [self.reply(cmd, b"", status=1)]
        return [self.reply(cmd, body)]

    def find_param(self, node):
        for p in self.d.get("blockParams", []) + self.d.get("modelParams", []):
            if p["node"] == node:
                return p
        return None

    def set_parameter(self, payload):
        node, _ref, _dtype, element, _layout, _kind, value = struct.unpack(PARAM_SET_T, payload[:26])
        p = self.find_param(node)
        if p is None:
            return [self.reply(CMD_SET_PARAM, b"", status=1)]
        size = self.value_size(p)
        p["_raw"][element * size:(element + 1) * size] = value[:size]
        self.counters["param_writes"] += 1
        ref = struct.pack(REFERENCE_T, element, node)
        return [self.reply(CMD_SET_PARAM, ref), self.reply(CMD_UPDATE_PARAMS, ref)]

    def streamable(self, node):
        for key in ("signals", "inputs", "outputs", "states"):
            for s in self.d.get(key, []):
                if s["node"] == node:
                    return s
        return None

    def set_signal(self, payload):
        node, _ref, rate, size, offset, var_type, _a, _b = struct.unpack(SIGNAL_SET_T, payload[:16])
        s = self.streamable(node)
        if s is None:
            return [self.reply(CMD_SET_SIGNAL, b"", status=1)]
        if rate < 0:
            self.streams.pop((node, offset), None)
        else:
            with_offset = offset != 0 or s.get("layout", 0) != 0 or self.types[s["type"]]["id"] == 255
            self.streams[(node, offset)] = {"rate": max(rate, 1), "size": size, "with_offset": with_offset,
                                            "wave": s.get("wave", "ramp"), "signal": s, "n": 0}
        return [self.reply(CMD_SET_SIGNAL, struct.pack(REFERENCE_T, offset, node), status=-7)]

    # --- channel 3 ----------------------------------------------------------------------
    def wave(self, stream, n):
        w = stream["wave"]
        if w == "ramp":
            return float(n)
        if w == "sine":
            return math.sin(n * 0.1)
        if w == "nan":
            return math.nan
        if w == "inf":
            return math.inf
        return float(stream["signal"].get("constant", 1.0))

    def sample_value(self, stream, v):
        s = stream["signal"]
        t = self.types[s["type"]]
        if t["id"] == 255:
            return struct.pack("<d", v)[:stream["size"]].ljust(stream["size"], b"\0")
        return self.pack_value(s, v)[:stream["size"]]

    def tick(self, ns):
        """Advances the clock by ns and returns the channel-3 packets of every running stream."""
        start = self.clock_ns
        self.clock_ns += ns
        # Time going backwards: the packets claim times before the ones already sent.
        base = start if "time_backwards" not in self.faults else start - 2 * ns
        records = []
        for (node, offset), st in sorted(self.streams.items()):
            step = 1_000_000_000 // st["rate"]
            t = start
            while t < self.clock_ns:
                rec = struct.pack("<Hi", node, t - start)
                if st["with_offset"]:
                    rec += struct.pack("<H", offset)
                rec += self.sample_value(st, self.wave(st, st["n"]))
                st["n"] += 1
                records.append(rec)
                t += step
        packets = []
        chunk = b""
        for rec in records:  # whole records only, at most 1000 bytes of them per packet
            if len(chunk) + len(rec) > 1000:
                packets.append(struct.pack("<hHq", 1, 12 + len(chunk), base) + chunk)
                chunk = b""
            chunk += rec
        if chunk:
            packets.append(struct.pack("<hHq", 1, 12 + len(chunk), base) + chunk)
        if "unsubscribed_record" in self.faults and packets:
            # a record, value included, for an element the host never asked for
            packets[0] = packets[0][:12] + struct.pack("<Hid", 999, 0, 1.0) + packets[0][12:]
            packets[0] = packets[0][:2] + struct.pack("<H", len(packets[0])) + packets[0][4:]
        if "short_packet" in self.faults:
            packets.insert(0, struct.pack("<hHi", 1, 8, 0))
        if "drop" in self.faults and packets:
            packets = packets[1:]
        if "reorder" in self.faults and len(packets) >= 2:
            packets[0], packets[1] = packets[1], packets[0]
        self.counters["samples"] += len(records)
        return packets


def load_model(path):
    with open(path) as f:
        return MonitoredModel(json.load(f))


def line_peer(model_path):
    model = load_model(model_path)
    buffer = b""
    out = sys.stdout
    for line in sys.stdin:
        parts = line.split()
        if not parts:
            continue
        if parts[0] == "req":
            buffer += bytes.fromhex(parts[1])
            while len(buffer) >= 5:
                length = struct.unpack_from("<H", buffer, 2)[0]
                if len(buffer) < length:
                    break
                request, buffer = buffer[:length], buffer[length:]
                for packets in model.handle(request):
                    for p in packets:
                        out.write("2 " + p.hex() + "\n")
        elif parts[0] == "tick":
            for p in model.tick(int(parts[1])):
                out.write("3 " + p.hex() + "\n")
        elif parts[0] == "fault":
            on = len(parts) < 3 or parts[2] == "on"
            if parts[1] not in FAULTS:
                out.write("! unknown fault\n")
            elif on:
                model.faults.add(parts[1])
            else:
                model.faults.discard(parts[1])
        elif parts[0] == "raw":
            p = model.find_param(int(parts[1]))
            out.write("# " + (bytes(p["_raw"]).hex() if p else "") + "\n")
        out.write(".\n")
        out.flush()


if __name__ == "__main__":
    line_peer(sys.argv[1])
