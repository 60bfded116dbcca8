#!/usr/bin/python3
"""Self-test of the simulated Pelto's firmware state (run by selftest.py): a second simulator,
started outdated with the firmware switches, takes an operating-system upload, restarts and comes
back with the new version counting down its boot time-out, verified after it; then a wireless
upload and a second restart bring the new wireless version. Then what a device does by default:
it restarts after any finished upload, reports the address it serves on, and ends its Wi-Fi link
when told to disconnect, also when it stayed up after an upload."""

import ipaddress
import os
import socket
import struct
import subprocess
import sys
import time

from selftest import CRC, HERE, Control, Host, check, control, frame, on_code, up_message, up_replies, \
    wait_ready, wait_until


def firmware_versions(host):
    """Codes 32 and 34 as (verified, text, boot time-out, remaining) each."""
    out = []
    for code in (32, 34):
        host.send(control(code))
        verified, text, boot, remaining = struct.unpack("<I16sII", host.next_frame(on_code(code))[1][5:])
        out.append((verified, text.rstrip(b"\0").decode(), boot, remaining))
    return out


def upload(host, command, image):
    host.send(up_message(command, struct.pack("<II", len(image), CRC(image))))
    up_replies(host, 1)
    host.send(frame(4, image))
    return [r[0] for r in up_replies(host, 2)]


def reconnect(ready, ctl, restarts):
    """Waits for the restart to end and connects again."""
    check(wait_until(lambda: ctl("status")["restarts"] == restarts
                     and not ctl("get_faults")["faults"]["refuse_link"], 10),
          "firmware: the device comes back after restart %d" % restarts)
    # The fault is off a moment before the port listens again.
    deadline = time.monotonic() + 5
    while True:
        try:
            return Host(ready)
        except ConnectionRefusedError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.05)


def firmware_cycle(folder):
    """A second simulator with an outdated firmware: an operating-system upload installs the next
    version, the device restarts and counts down its boot time-out before it is verified; a
    wireless upload installs the next wireless version."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    sim = subprocess.Popen([sys.executable, os.path.join(HERE, "pelto_sim.py"), "--cert", cert, "--key", key,
                            "--tls-port", "0", "--udp-port", "0", "--control-port", "0", "-q",
                            "--serial", "SELFTEST-FW", "--state", "fw_version=1.3.0", "--state", "esp_version=1.0.0",
                            "--state", "update_restart_ms=300", "--next-os-version", "1.4.0",
                            "--next-wireless-version", "1.1.0", "--boot-timeout-ms", "1500"],
                           stdout=subprocess.PIPE, text=True)
    try:
        ready = wait_ready(sim)
        ctl = Control(ready["control"])
        host = Host(ready)
        check(firmware_versions(host) == [(1, "1.3.0", 0, 0), (1, "1.0.0", 0, 0)],
              "firmware: the outdated versions, verified")
        check(upload(host, 2, os.urandom(1000)) == [2, 5], "firmware: the operating system uploads")
        start = time.monotonic()
        host = reconnect(ready, ctl, 1)
        host.send(control(35))
        host.next_frame(on_code(35))
        (verified, text, boot, remaining), wireless = firmware_versions(host)
        elapsed_ms = (time.monotonic() - start) * 1000
        check((verified, text, boot) == (0, "1.4.0", 1500) and 0 < remaining <= 1500 - 250
              and remaining >= 1500 - elapsed_ms - 100 and wireless == (1, "1.0.0", 0, 0),
              "firmware: back with the new system, unverified, the boot time-out counting down "
              "(a verify request does not cut it short): %r" % ((verified, text, boot, remaining),))
        check(wait_until(lambda: firmware_versions(host)[0] == (1, "1.4.0", 1500, 0), 5),
              "firmware: verified once the boot time-out has run out")
        check(upload(host, 4, os.urandom(600)) == [4, 5], "firmware: the wireless firmware uploads")
        host = reconnect(ready, ctl, 2)
        check(firmware_versions(host) == [(1, "1.4.0", 1500, 0), (1, "1.1.0", 0, 0)],
              "firmware: back with the new wireless firmware")
        status = ctl("status")["firmware"]
        check(status["installs"] == {"fwb": 1, "feb": 1} and not status["booting"], "firmware: status")
        ctl("shutdown")
        check(sim.wait(10) == 0, "firmware: the simulator shuts down cleanly")
    finally:
        if sim.poll() is None:
            sim.kill()
            sim.wait()


def start(folder, serial, *extra):
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    sim = subprocess.Popen([sys.executable, os.path.join(HERE, "pelto_sim.py"), "--cert", cert, "--key", key,
                            "--address", "127.0.0.2", "--tls-port", "0", "--udp-port", "0", "--control-port", "0",
                            "-q", "--serial", serial] + list(extra),
                           stdout=subprocess.PIPE, text=True)
    return sim, wait_ready(sim)


def link_closed(host, timeout=5.0):
    """True when the device closes the TLS stream within the time-out."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        host.tls.settimeout(max(0.05, deadline - time.monotonic()))
        try:
            if not host.tls.recv(65536):
                return True
        except socket.timeout:
            return False
        except (ConnectionError, OSError):
            return True
    return False


def restart_and_disconnect(folder):
    for extra, restarts in (((), 1), (("--stay-up-after-update",), 0)):
        name = "default" if not extra else extra[0]
        sim, ready = start(folder, "SELFTEST-RS", *extra)
        try:
            ctl = Control(ready["control"])
            host = Host(ready)
            host.send(control(100))
            address = host.next_frame(on_code(100))[1][5:][112:116]
            check(ipaddress.ip_address(address) == ipaddress.ip_address("127.0.0.2"),
                  "%s: the reported address is the served one (--address): %s" % (name, address.hex()))
            check(upload(host, 2, os.urandom(700)) == [2, 5], "%s: an upload finishes" % name)
            if restarts:
                check(link_closed(host), "%s: the device restarts after the upload: its link drops" % name)
                host = reconnect(ready, ctl, 1)
            else:
                check(not link_closed(host, 1.0) and ctl("status")["restarts"] == 0,
                      "%s: the device stays up after the upload" % name)
            host.send(control(13))
            check(link_closed(host) and ctl("counters")["counters"]["disconnects"] == 1,
                  "%s: a disconnect request (code 13) ends the Wi-Fi link" % name)
            ctl("shutdown")
            check(sim.wait(10) == 0, "%s: the simulator shuts down cleanly" % name)
        finally:
            if sim.poll() is None:
                sim.kill()
                sim.wait()
