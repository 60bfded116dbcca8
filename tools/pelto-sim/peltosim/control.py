"""Channel 1, the control channel, answered from a table: one handler per control code gives the
default reply, and a test can override response code, payload, size, delay and silence per code.

Message layout (both directions): u16 whole length, u16 control code, u8 response code, payload.
"""

import ipaddress
import struct
import time

from .crc import crc32_mpeg2
from .settings import WifiSettings
from .state import APP_STATUS, MSC_STATUS

HEADER_SIZE = 5
RESP_OK, RESP_NOTHING, RESP_FAILED = 2, 3, 4
ACCESS_WORD = 0x5C27E190
ACCESS_WORD_KEYS = 0x2F91C7A6

CODE_NAMES = {
    1: "resetDevice", 2: "getFuseSerial", 3: "setFuseSerial", 4: "goToSerialDownloaderMode",
    6: "getDate", 7: "setDate", 9: "openCloseUpdateService", 10: "openCloseMonitoringService",
    11: "openCloseErrorChannelService", 12: "openCloseFileControlService", 13: "disconnectDevice",
    14: "setFuseKeys", 15: "restoreDefaultSettings", 16: "setBoardInfo", 17: "getBoardInfo",
    18: "setBoardInfo2", 19: "getBoardInfo2", 32: "getFirmwareVersion", 33: "getAppVersion",
    34: "getESPVersion", 35: "verifyFirmware", 36: "verifyESPFirmware", 37: "getFwImageDetails",
    38: "getExtendedAppVersion", 64: "getMscState", 65: "mscInsert", 66: "mscEject",
    96: "setWifiState", 97: "getWifiState", 98: "setWifiSettings", 99: "getWifiSettings",
    100: "getWifiIP", 104: "setWifiTxPower", 105: "getWifiTxPower", 106: "getWifiAPInfo",
    128: "startStopApp", 129: "getAppStatus", 130: "getExtModStatus", 131: "getCurrentBuildID",
    132: "getAppName", 256: "resetESPToRecovery",
}

SERVICE_BY_CODE = {9: "update", 10: "monitoring", 11: "messages", 12: "file_control"}

# The host reads no reply to a disconnect; the device stays quiet unless a test asks otherwise.
DEFAULT_SILENT = {13}

OVERRIDE_KEYS = {"response", "payload_hex", "size", "delay_ms", "silent"}


def build_reply(code, response, payload=b""):
    return struct.pack("<HHB", len(payload) + HEADER_SIZE, code, response) + bytes(payload)


def parse_request(payload):
    """(code, response, body) or None when the header is short or the length field disagrees."""
    if len(payload) < HEADER_SIZE:
        return None
    length, code, response = struct.unpack_from("<HHB", payload)
    if length != len(payload):
        return None
    return code, response, bytes(payload[HEADER_SIZE:])


def _version_record(verified, text):
    """u32 verified, then the text in a 16-byte field (20 bytes)."""
    raw = text.encode("utf-8")[:15]
    return struct.pack("<I", 1 if verified else 0) + raw + bytes(16 - len(raw))


def _zero_terminated(text):
    return text.encode("utf-8") + b"\0"


def _timedate(t):
    tm = time.localtime(t)
    return struct.pack("<9i", tm.tm_sec, tm.tm_min, tm.tm_hour, tm.tm_mday, tm.tm_mon, tm.tm_year,
                       tm.tm_wday + 1, tm.tm_yday, 0)


def _checked_record(body, size, crc_end, access_at, access_word):
    """A manufacturing record is taken only with its access word and the CRC over bytes 0..crc_end-1
    stored right behind them."""
    if len(body) != size:
        return False
    if struct.unpack_from("<I", body, access_at)[0] != access_word:
        return False
    return struct.unpack_from("<I", body, crc_end)[0] == crc32_mpeg2(body[:crc_end])


class ControlResponder:
    def __init__(self, state, clock=time.time):
        self.state = state
        self.clock = clock
        self.overrides = {}
        self.wifi = WifiSettings(state)

    # -- overrides ---------------------------------------------------------------------------
    def set_override(self, code, settings):
        unknown = set(settings) - OVERRIDE_KEYS
        if unknown:
            raise ValueError("unknown reply setting(s): %s" % ", ".join(sorted(unknown)))
        clean = {}
        if "response" in settings:
            clean["response"] = int(settings["response"]) & 0xFF
        if "payload_hex" in settings:
            clean["payload"] = bytes.fromhex(settings["payload_hex"])
        if "size" in settings:
            clean["size"] = int(settings["size"])
            if not 0 <= clean["size"] <= 1013:
                raise ValueError("size must be 0..1013 (one frame)")
        if "delay_ms" in settings:
            clean["delay_ms"] = max(0, int(settings["delay_ms"]))
        if "silent" in settings:
            clean["silent"] = bool(settings["silent"])
        self.overrides.setdefault(int(code), {}).update(clean)

    def clear_override(self, code=None):
        if code is None:
            self.overrides.clear()
        else:
            self.overrides.pop(int(code), None)

    def describe_overrides(self):
        out = {}
        for code, o in self.overrides.items():
            d = {k: v for k, v in o.items() if k != "payload"}
            if "payload" in o:
                d["payload_hex"] = o["payload"].hex()
            out[str(code)] = d
        return out

    # -- requests ----------------------------------------------------------------------------
    def respond(self, code, body):
        """Returns (delay_seconds, reply message) or None for no reply."""
        override = self.overrides.get(code, {})
        silent = override.get("silent", code in DEFAULT_SILENT)
        forced = override.get("response")
        # The device acts on a request only when it would report success: a test that forces a
        # failure or silence gets a device whose state did not change.
        apply = not silent and forced in (None, RESP_OK)
        handler = getattr(self, "_code_%d" % code, None)
        if handler is None:
            response, payload = RESP_FAILED, b""
        else:
            response, payload = handler(body, apply)
        if silent:
            return None
        if forced is not None:
            response = forced
        if "payload" in override:
            payload = override["payload"]
        if "size" in override:
            size = override["size"]
            payload = payload[:size] + bytes(max(0, size - len(payload)))
        return override.get("delay_ms", 0) / 1000.0, build_reply(code, response, payload)

    # -- handlers: (body, apply) -> (response, payload) ---------------------------------------
    def _ok(self, body, apply):
        return RESP_OK, b""

    _code_1 = _code_4 = _code_13 = _code_15 = _code_256 = _ok

    def _code_2(self, body, apply):
        serial = self.state["serial"].encode("latin-1")[:16]
        return RESP_OK, serial + bytes(16 - len(serial)) + struct.pack("<I", len(serial))

    def _code_3(self, body, apply):
        if not _checked_record(body, 28, 24, 20, ACCESS_WORD):
            return RESP_FAILED, b""
        length = struct.unpack_from("<I", body, 16)[0]
        if length > 16:
            return RESP_FAILED, b""
        if apply:
            self.state.set("serial", body[:length].decode("latin-1"))
        return RESP_OK, b""

    def _code_6(self, body, apply):
        return RESP_OK, _timedate(self.clock() + self.state["clock_offset"])

    def _code_7(self, body, apply):
        if len(body) != 36:
            return RESP_FAILED, b""
        sec, minute, hour, day, month, year = struct.unpack_from("<6i", body)
        try:
            when = time.mktime((year, month, day, hour, minute, sec, 0, 0, -1))
        except (OverflowError, ValueError):
            return RESP_FAILED, b""
        if not (1 <= month <= 12 and 1 <= day <= 31 and 0 <= hour < 24 and 0 <= minute < 60 and 0 <= sec < 61):
            return RESP_FAILED, b""
        if apply:
            self.state.set("clock_offset", round(when - self.clock()))
        return RESP_OK, b""

    def _service(self, code, body, apply):
        name = SERVICE_BY_CODE[code]
        if len(body) != 1:
            return RESP_FAILED, bytes([self.state.services[name]])
        if apply:
            self.state.services[name] = body[0] != 0
        return RESP_OK, bytes([body[0] != 0])

    def _code_9(self, body, apply):
        return self._service(9, body, apply)

    def _code_10(self, body, apply):
        return self._service(10, body, apply)

    def _code_11(self, body, apply):
        return self._service(11, body, apply)

    def _code_12(self, body, apply):
        return self._service(12, body, apply)

    def _code_14(self, body, apply):
        return (RESP_OK if _checked_record(body, 56, 52, 48, ACCESS_WORD_KEYS) else RESP_FAILED), b""

    def _code_16(self, body, apply):
        if not _checked_record(body, 12, 8, 4, ACCESS_WORD):
            return RESP_FAILED, b""
        if apply:
            self.state.set("board_rev", body[0])
            self.state.set("board_rugged", body[1] != 0)
        return RESP_OK, b""

    def _code_17(self, body, apply):
        return RESP_OK, bytes([self.state["board_rev"], 1 if self.state["board_rugged"] else 0]) + bytes(10)

    def _code_18(self, body, apply):
        if len(body) != 32 or struct.unpack_from("<I", body)[0] != crc32_mpeg2(body[4:]):
            return RESP_FAILED, b""
        access, ext_type, length = struct.unpack_from("<IiI", body, 4)
        if access != ACCESS_WORD or length > 16:
            return RESP_FAILED, b""
        if apply:
            self.state.set("ext_type", ext_type)
            self.state.set("serial", body[16:16 + length].decode("latin-1"))
        return RESP_OK, b""

    def _code_19(self, body, apply):
        serial = self.state["serial"].encode("latin-1")[:16]
        tail = struct.pack("<IiI", ACCESS_WORD, self.state["ext_type"], len(serial)) + serial + bytes(16 - len(serial))
        return RESP_OK, struct.pack("<I", crc32_mpeg2(tail)) + tail

    def _code_32(self, body, apply):
        record = _version_record(self.state["fw_verified"], self.state["fw_version"])
        return RESP_OK, record + struct.pack("<II", self.state["fw_timeout_boot_ms"], self.state["fw_remaining_ms"])

    def _code_33(self, body, apply):
        return RESP_OK, _version_record(self.state["app_verified"], self.state["app_version"])

    def _code_34(self, body, apply):
        # The same 28-byte record as the firmware version; the wireless module has no boot
        # time-out, so the last two words are zero.
        return RESP_OK, _version_record(self.state["esp_verified"], self.state["esp_version"]) + bytes(8)

    def _code_35(self, body, apply):
        # A freshly installed system verifies itself when its boot time-out has run out.
        if apply and not self.state.firmware_booting:
            self.state.set("fw_verified", True)
        return RESP_OK, b""

    def _code_36(self, body, apply):
        if apply:
            self.state.set("esp_verified", True)
        return RESP_OK, b""

    def _code_37(self, body, apply):
        return RESP_OK, bytes([self.state["boot_flags"]]) + bytes(11)

    def _code_38(self, body, apply):
        text = self.state["ext_app_version"]
        return (RESP_OK, _zero_terminated(text)) if text else (RESP_NOTHING, b"")

    def _code_64(self, body, apply):
        return RESP_OK, bytes([self.state["msc_status"]])

    def _code_65(self, body, apply):
        if apply:
            self.state.set("msc_status", MSC_STATUS["AlreadyMounted"])
        return RESP_OK, bytes([self.state["msc_status"]])

    def _code_66(self, body, apply):
        if apply:
            self.state.set("msc_status", MSC_STATUS["NotMounted"])
        return RESP_OK, bytes([self.state["msc_status"]])

    # The Wi-Fi settings codes live in their own module (settings.py).
    def _code_96(self, body, apply):
        return self.wifi.set_state(body, apply)

    def _code_97(self, body, apply):
        return self.wifi.get_state(body, apply)

    def _code_98(self, body, apply):
        return self.wifi.set_settings(body, apply)

    def _code_99(self, body, apply):
        return self.wifi.get_settings(body, apply)

    def _code_100(self, body, apply):
        record = bytearray(208)
        address = ipaddress.ip_address(self.state["ip"])
        if address.version == 6:
            record[0] = record[1] = 1
            record[112:128] = address.packed
        else:
            record[112:116] = address.packed
        return RESP_OK, bytes(record)

    def _code_104(self, body, apply):
        return self.wifi.set_tx_power(body, apply)

    def _code_105(self, body, apply):
        return self.wifi.get_tx_power(body, apply)

    def _code_106(self, body, apply):
        record = bytearray(44)
        record[41] = self.state["rssi"] & 0xFF
        return RESP_OK, bytes(record)

    def _code_128(self, body, apply):
        status = self.state["app_status"]
        if len(body) != 1:
            return RESP_FAILED, bytes([status])
        if status == APP_STATUS["NotLoaded"]:
            return RESP_FAILED, bytes([status])
        if apply:
            self.state.set("app_status", APP_STATUS["Running"] if body[0] == 0 else APP_STATUS["Stopped"])
        return RESP_OK, bytes([self.state["app_status"]])

    def _code_129(self, body, apply):
        return RESP_OK, bytes([self.state["app_status"]])

    def _code_130(self, body, apply):
        return RESP_OK, bytes([1 if self.state["ext_mode_open"] else 0])

    def _code_131(self, body, apply):
        build_id = bytes.fromhex(self.state["build_id"])
        return (RESP_OK, build_id) if build_id else (RESP_NOTHING, b"")

    def _code_132(self, body, apply):
        text = self.state["app_name"]
        return (RESP_OK, _zero_terminated(text)) if text else (RESP_NOTHING, b"")
