"""The Wi-Fi settings the device keeps: the state record (codes 96 and 97, three bool bytes: Wi-Fi
on, access-point mode on, station mode on), the 404-byte settings record (98 and 99) and the
transmit power (104 and 105, signed 32-bit dBm).

The device interprets none of the settings record: what the host sends is what the next read
returns, byte for byte. With a record file (--wifi-settings) the record is loaded from it at start
and every record the host sets is written back to it (whole, through a temporary file), so a test
can compare the record the host sent with the one it was given.

Answers: 2 with the record or value; 4 for a request of the wrong size. Response 3 (nothing to
report) and silence are reply overrides (--reply 99:response=3,size=0), like any other code.
"""

import os
import struct

from .state import WIFI_SETTINGS_SIZE

RESP_OK, RESP_FAILED = 2, 4
WIFI_STATE_SIZE = 3


class WifiSettings:
    def __init__(self, state):
        self.state = state
        self.path = None

    def attach_file(self, path):
        """Loads the record from `path` (exactly 404 bytes) and saves every record set later there."""
        with open(path, "rb") as f:
            record = f.read(WIFI_SETTINGS_SIZE + 1)
        if len(record) != WIFI_SETTINGS_SIZE:
            raise ValueError("%s: a Wi-Fi settings record is exactly %d bytes, not %d"
                             % (path, WIFI_SETTINGS_SIZE, len(record)))
        self.state.store_wifi_settings(record)
        self.path = path

    def _save(self):
        if self.path is None:
            return
        temporary = self.path + ".part"
        with open(temporary, "wb") as f:
            f.write(bytes(self.state.wifi_settings))
            f.flush()
            os.fsync(f.fileno())
        os.replace(temporary, self.path)

    # -- requests: (body, apply) -> (response, payload) ----------------------------------------
    def set_state(self, body, apply):
        if len(body) != WIFI_STATE_SIZE:
            return RESP_FAILED, b""
        if apply:
            self.state.set("wifi_state", body.hex())
        return RESP_OK, b""

    def get_state(self, body, apply):
        return RESP_OK, bytes.fromhex(self.state["wifi_state"])

    def set_settings(self, body, apply):
        if len(body) != WIFI_SETTINGS_SIZE:
            return RESP_FAILED, b""
        if apply:
            self.state.store_wifi_settings(body)
            self._save()
        return RESP_OK, b""

    def get_settings(self, body, apply):
        return RESP_OK, bytes(self.state.wifi_settings)

    def set_tx_power(self, body, apply):
        if len(body) != 4:
            return RESP_FAILED, b""
        if apply:
            self.state.set("tx_power", struct.unpack("<i", body)[0])
        return RESP_OK, b""

    def get_tx_power(self, body, apply):
        return RESP_OK, struct.pack("<i", self.state["tx_power"])
