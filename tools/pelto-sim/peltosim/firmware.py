"""The device's firmware as it reports it on the control channel: the operating system's version
(code 32) with its verified flag, boot time-out and remaining time, and the wireless module's
version (code 34) with its verified flag. The values live in the device state (`fw_version`,
`fw_verified`, `fw_timeout_boot_ms`, `fw_remaining_ms`, `esp_version`, `esp_verified`); this module
changes them as a real device does when an upload installs new firmware.

A finished channel-4 upload installs its image:
- an operating system (start command 2) becomes `next_os_version` (when set). With a boot time-out
  (`boot_timeout_ms` > 0) the new system is unverified until the time-out has run out, counted from
  the end of the upload; until then code 32 reports the time-out and the milliseconds remaining,
  and a verify request (code 35) is taken but verifies nothing early. Then it is verified and
  reports 0 remaining.
- wireless firmware (start command 4) becomes `next_wireless_version` (when set).
- an application image (3) changes no firmware version.
The restart itself (links dropped, the same serial back) is the device's (`update_restart_ms`).
"""

import asyncio
import time

KIND_OS, KIND_WIRELESS = "fwb", "feb"


class Firmware:
    def __init__(self, state, say=lambda text: None):
        self.state = state
        self.say = say
        self.next_os_version = None
        self.next_wireless_version = None
        self.boot_timeout_ms = 0
        self.installs = {KIND_OS: 0, KIND_WIRELESS: 0}
        self._deadline = None
        self._countdown = None
        self.state.firmware_booting = False

    def installed(self, kind):
        """Called when an upload of `kind` ("fwb", "apb", "feb") finished with a good CRC."""
        if kind == KIND_OS:
            self.installs[KIND_OS] += 1
            if self.next_os_version:
                self.state.set("fw_version", self.next_os_version)
            self.say("firmware: operating system %s installed" % self.state["fw_version"])
            if self.boot_timeout_ms > 0:
                self._start_countdown()
        elif kind == KIND_WIRELESS:
            self.installs[KIND_WIRELESS] += 1
            if self.next_wireless_version:
                self.state.set("esp_version", self.next_wireless_version)
            self.say("firmware: wireless firmware %s installed" % self.state["esp_version"])

    def _start_countdown(self):
        self._deadline = time.monotonic() + self.boot_timeout_ms / 1000.0
        self.state.set("fw_verified", False)
        self.state.set("fw_timeout_boot_ms", self.boot_timeout_ms)
        self.state.set("fw_remaining_ms", self.boot_timeout_ms)
        self.state.firmware_booting = True
        if self._countdown is None or self._countdown.done():
            self._countdown = asyncio.get_running_loop().create_task(self._count_down())

    async def _count_down(self):
        while True:
            left = max(0, int(round((self._deadline - time.monotonic()) * 1000)))
            self.state.set("fw_remaining_ms", left)
            if left == 0:
                break
            await asyncio.sleep(min(0.05, left / 1000.0))
        self.state.firmware_booting = False
        self.state.set("fw_verified", True)
        self.say("firmware: operating system %s verified" % self.state["fw_version"])

    def status(self):
        return {"next_os_version": self.next_os_version, "next_wireless_version": self.next_wireless_version,
                "boot_timeout_ms": self.boot_timeout_ms, "booting": self.state.firmware_booting,
                "installs": dict(self.installs)}

    def close(self):
        if self._countdown is not None:
            self._countdown.cancel()
