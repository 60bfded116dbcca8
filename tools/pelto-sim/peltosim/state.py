"""What the simulated device knows about itself, and the one list of fault switches."""

import ipaddress

# The one list of fault switches (README "Fault switches" documents each).
FAULTS = {
    "stop_heartbeats": "send no periodic heartbeats (replies to device-info requests still go out)",
    "bad_crc": "every channel-0 message the device sends carries a wrong CRC",
    "wrong_length": "every channel-0 message the device sends has a length field one too large",
    "refuse_link": "the TLS port stops listening (connections are refused); open links are closed",
    "close_udp": "the UDP port is closed; datagrams are neither received nor sent",
    "pkcs7_datagrams": "device datagrams are padded with PKCS#7 instead of zero bytes",
    "tls_refuse_handshake": "TCP is accepted, the TLS handshake is answered with a fatal alert",
    "tls_stall_handshake": "TCP is accepted, the TLS handshake is never answered",
    "unsupported_datalink_version": "channel-0 messages carry datalink version 2",
    "refuse_set_interface": "set-interface requests are answered as refused",
    "fc_absurd_length": "channel-9 replies (downloads excepted) carry the length field 0xFFFFFFF0",
    "fc_two_replies_per_frame": "each channel-9 reply (downloads excepted) waits for the next one; both go in one frame",
    "fc_hostile_names": "listings add entries named ../x.zlf, .., sub/inner.zlf, back\\slash.zlf; file headers name ../<name>",
    "mon_reject": "channel-2 replies carry a rejected status",
    "mon_bad_multiple": "signal and data-type tables carry one byte past their last whole record",
    "mon_short_length": "channel-2 replies carry the length field 3",
    "mon_long_length": "channel-2 replies claim 50 bytes more than they carry",
    "mon_two_frames": "a string table reply carries the next table behind it in the same packet",
    "mon_wrong_table": "a string table reply names the table after the one asked for",
    "mon_missing_reply": "the model's fixed-point table request is never answered",
    "mon_unsubscribed_record": "the first sample packet of each tick starts with a record for node 999",
    "mon_short_packet": "each tick sends an 8-byte sample packet first",
    "mon_time_backwards": "sample packets claim a base time before the ones already sent",
    "mon_drop": "the first sample packet of each tick is not sent",
    "mon_reorder": "the first two sample packets of each tick go out swapped",
}

APP_STATUS = {"NotLoaded": 0, "Loaded": 1, "Stopped": 2, "Running": 3, "Crashed": 4, "Paused": 5,
              "Killed": 6, "Stopping": 7, "Loading": 8, "Unknown": 255}
MSC_STATUS = {"AlreadyMounted": 0, "NotMounted": 1, "NotAttached": 2}

WIFI_SETTINGS_SIZE = 404


def _u8(v):
    v = int(v)
    if not 0 <= v <= 255:
        raise ValueError("must be 0..255")
    return v


def _u16(v):
    v = int(v)
    if not 0 <= v <= 0xFFFF:
        raise ValueError("must be 0..65535")
    return v


def _i32(v):
    v = int(v)
    if not -2 ** 31 <= v < 2 ** 31:
        raise ValueError("must fit 32 bits")
    return v


def _u32(v):
    v = int(v)
    if not 0 <= v < 2 ** 32:
        raise ValueError("must fit 32 bits unsigned")
    return v


def _rssi(v):
    v = int(v)
    if not -128 <= v <= 127:
        raise ValueError("must be -128..127 dBm")
    return v


def _bool(v):
    if isinstance(v, str):
        if v.lower() in ("1", "true", "yes", "on"):
            return True
        if v.lower() in ("0", "false", "no", "off"):
            return False
        raise ValueError("not a boolean")
    return bool(v)


def _serial(v):
    v = str(v)
    if len(v.encode("latin-1")) > 31:
        raise ValueError("at most 31 Latin-1 characters (the heartbeat holds 32 bytes with the zero)")
    return v


def _text(limit):
    def check(v):
        v = str(v)
        if len(v.encode("utf-8")) > limit:
            raise ValueError("at most %d UTF-8 bytes" % limit)
        return v
    return check


def _app_status(v):
    if isinstance(v, str) and v in APP_STATUS:
        return APP_STATUS[v]
    return _u8(v)


def _msc_status(v):
    if isinstance(v, str) and v in MSC_STATUS:
        return MSC_STATUS[v]
    return _u8(v)


def _ip(v):
    return str(ipaddress.ip_address(str(v)))


def _hex(limit):
    def check(v):
        data = bytes.fromhex(str(v))
        if len(data) > limit:
            raise ValueError("at most %d bytes" % limit)
        return data.hex()
    return check


def _wifi_state(v):
    data = bytes.fromhex(str(v))
    if len(data) != 3:
        raise ValueError("exactly 3 bytes (hex)")
    return data.hex()


# name -> (default, validator). Text fields hold what the version records carry (16 bytes).
STATE_FIELDS = {
    "serial": ("PLT-SIM-0001", _serial),
    "family": (1, _u16),
    "ext_type": (0, _i32),
    "datalink_version": (1, lambda v: _choice(v, (0, 1))),
    "app_status": (APP_STATUS["Running"], _app_status),
    "clock_offset": (0, int),
    "rssi": (-55, _rssi),
    "ip": ("127.0.0.1", _ip),
    "fw_version": ("1.4.2", _text(15)),
    "fw_verified": (True, _bool),
    "fw_timeout_boot_ms": (0, _u32),
    "fw_remaining_ms": (0, _u32),
    "app_version": ("1.0.0", _text(15)),
    "app_verified": (True, _bool),
    "ext_app_version": ("1.0.0-sim.1+g0badcafe", _text(1000)),
    "esp_version": ("2.1.0", _text(15)),
    "esp_verified": (True, _bool),
    "app_name": ("PeltoSimApp", _text(1000)),
    "build_id": ("5ea1ed0b1d0000000000000000000001", _hex(1013)),
    "boot_flags": (0x04, _u8),
    "msc_status": (MSC_STATUS["NotMounted"], _msc_status),
    "ext_mode_open": (False, _bool),
    "device_name": ("Pelto Sim", _text(31)),
    "wifi_state": ("010001", _wifi_state),
    "tx_power": (15, _i32),
    "board_rev": (3, _u8),
    "board_rugged": (False, _bool),
    # Channel 9: an error reply instead of download message k (0 = the one with the header; -1 off),
    # and the storage record (0 = the served folder's file system).
    "fc_error_at_chunk": (-1, lambda v: _atleast(v, -1)),
    "fc_error_response": (4, _u8),
    # Download messages from k on are never sent (the device goes silent mid-download; -1 off).
    "fc_stall_at_chunk": (-1, lambda v: _atleast(v, -1)),
    "fs_total_bytes": (0, lambda v: _atleast(v, 0)),
    "fs_free_bytes": (0, lambda v: _atleast(v, 0)),
    "fs_status": (2, _i32),
    # Channel 4: the seed reply's mode and seed (-1: a random seed per request), an application
    # that refuses a start, a time-out reply instead of "ready" at data chunk k (0 = the first;
    # -1 off), how many version replies after a wireless upload say "not verified", and the restart
    # after a finished upload (links dropped for that many ms, as a device reboots into the new
    # image; 0: the device stays up).
    "update_seed_mode": (1, _u32),
    "update_seed": (-1, lambda v: _seed(v)),
    "update_app_running": (False, _bool),
    "update_timeout_at_chunk": (-1, lambda v: _atleast(v, -1)),
    "update_unverified_polls": (0, lambda v: _atleast(v, 0)),
    "update_restart_ms": (3000, lambda v: _atleast(v, 0)),
    # Not the device's own data: how often it sends heartbeats on every connected link.
    "heartbeat_ms": (1000, lambda v: _positive(v, 10)),
}


def _seed(v):
    v = int(v)
    if not -1 <= v < 2 ** 32:
        raise ValueError("must be -1 (random) or fit 32 bits unsigned")
    return v


def _positive(v, minimum):
    v = int(v)
    if v < minimum:
        raise ValueError("must be at least %d" % minimum)
    return v


def _atleast(v, minimum):
    v = int(v)
    if v < minimum:
        raise ValueError("must be at least %d" % minimum)
    return v


def _choice(v, allowed):
    v = int(v)
    if v not in allowed:
        raise ValueError("must be one of %s" % (allowed,))
    return v


class DeviceState:
    def __init__(self):
        self.values = {name: default for name, (default, _) in STATE_FIELDS.items()}
        self.faults = {name: False for name in FAULTS}
        # Services the host opened with control codes 9..12, and the message level it asked for.
        self.services = {"update": False, "monitoring": False, "messages": False, "file_control": False}
        self.log_level = None
        self.firmware_booting = False  # an installed system counts down its boot time-out
        # The Wi-Fi settings record is kept whole: the host sends back bytes it does not interpret.
        self.wifi_settings = bytearray(WIFI_SETTINGS_SIZE)
        self._write_name()

    def __getitem__(self, name):
        return self.values[name]

    def set(self, name, value):
        if name == "wifi_settings":
            record = bytes.fromhex(str(value))
            if len(record) != WIFI_SETTINGS_SIZE:
                raise ValueError("wifi_settings: exactly %d bytes (hex)" % WIFI_SETTINGS_SIZE)
            self.store_wifi_settings(record)
            return
        if name not in STATE_FIELDS:
            raise KeyError("unknown state field %r" % name)
        try:
            self.values[name] = STATE_FIELDS[name][1](value)
        except (TypeError, ValueError) as error:
            raise ValueError("%s: %s" % (name, error)) from None
        if name == "device_name":
            self._write_name()

    def set_fault(self, name, on):
        if name not in FAULTS:
            raise KeyError("unknown fault switch %r" % name)
        self.faults[name] = _bool(on)

    def store_wifi_settings(self, record):
        self.wifi_settings[:] = record
        self.values["device_name"] = bytes(record[:32]).split(b"\0", 1)[0].decode("utf-8", "replace")

    def _write_name(self):
        name = self.values["device_name"].encode("utf-8")[:31]
        self.wifi_settings[0:32] = name + bytes(32 - len(name))

    def snapshot(self):
        out = dict(self.values)
        out["faults"] = dict(self.faults)
        out["services"] = dict(self.services)
        out["log_level"] = self.log_level
        out["wifi_settings"] = self.wifi_settings.hex()
        return out
