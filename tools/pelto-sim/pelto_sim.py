#!/usr/bin/python3
"""Simulated Pelto controller on the Wi-Fi link (TLS stream server, AES-encrypted datagrams) and,
optionally, the USB link (a Unix stream socket for the USB peer of the tests): the
link-management, control, external-mode and device-message channels, fault switches and a JSON
control socket. See README.md next to this file."""

import argparse
import asyncio
import ipaddress
import json
import os
import signal
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from peltosim.command import CommandServer  # noqa: E402
from peltosim.device import Device  # noqa: E402
from peltosim.links import TlsListener, UdpEndpoint, server_context  # noqa: E402
from peltosim.state import FAULTS  # noqa: E402
from peltosim.usb import UsbListener  # noqa: E402


def parse_args(argv):
    p = argparse.ArgumentParser(
        description="Simulated Pelto controller for Nimbrel Lab (Wi-Fi link on a local address).",
        epilog="Fault switches: " + ", ".join(FAULTS))
    p.add_argument("--address", default="127.0.0.1", help="address to serve on (default 127.0.0.1)")
    p.add_argument("--tls-port", type=int, default=40000, help="TLS stream port (default 40000, 0 = any free)")
    p.add_argument("--udp-port", type=int, default=40001, help="datagram port (default 40001, 0 = any free)")
    p.add_argument("--control-port", type=int, default=40002,
                   help="JSON control socket on 127.0.0.1 (default 40002, 0 = any free)")
    p.add_argument("--usb-socket", metavar="PATH",
                   help="also serve the USB link: a Unix stream socket at PATH, one connection per USB attachment")
    p.add_argument("--cert", help="PEM certificate for the TLS server (default: a throw-away one)")
    p.add_argument("--key", help="PEM private key for --cert")
    p.add_argument("--serial", help="serial number in the heartbeat (at most 31 characters)")
    p.add_argument("--family", type=int, help="device family in the heartbeat (1 Pelto, 2 Halvex)")
    p.add_argument("--ext-type", type=int, help="extended device type (board variant) in the heartbeat")
    p.add_argument("--heartbeat-ms", type=int, help="heartbeat interval in ms (default 1000)")
    p.add_argument("--state", action="append", default=[], metavar="NAME=VALUE",
                   help="set a state field at start, e.g. app_status=4 (repeatable)")
    p.add_argument("--fault", action="append", default=[], metavar="NAME", help="switch a fault on (repeatable)")
    p.add_argument("--reply", action="append", default=[], metavar="CODE:KEY=VALUE[,KEY=VALUE]",
                   help="override the reply to a control code, e.g. 99:response=3,size=0 (repeatable)")
    p.add_argument("--files", metavar="DIR",
                   help="folder served as the device's file system on channel 9 (default: an empty temporary folder)")
    p.add_argument("--update-image", metavar="FILE",
                   help="write each image uploaded on channel 4 to FILE (descrambled, as the device keeps it)")
    p.add_argument("--next-os-version", metavar="V",
                   help="operating-system version a finished firmware upload installs (default: unchanged)")
    p.add_argument("--next-wireless-version", metavar="V",
                   help="wireless-firmware version a finished wireless upload installs (default: unchanged)")
    p.add_argument("--stay-up-after-update", action="store_true",
                   help="do not restart after a finished upload (as update_restart_ms=0; default: restart for 3000 ms)")
    p.add_argument("--boot-timeout-ms", type=int, default=0, metavar="N",
                   help="an installed operating system stays unverified for N ms, counting down (default 0: verified at once)")
    p.add_argument("--monitor-model", metavar="FILE",
                   help="serve this monitored model (JSON) on channels 2 and 3 while the monitoring service is open")
    p.add_argument("--wifi-settings", metavar="FILE",
                   help="load the 404-byte Wi-Fi settings record from FILE and save every record the host sets there")
    p.add_argument("--frame-log", metavar="FILE", help="append every received frame to FILE as JSON lines")
    p.add_argument("--frame-log-stdout", action="store_true", help="also print received frames on stdout")
    p.add_argument("--log-sent", action="store_true", help="also log the frames the device sends (dir \"tx\")")
    p.add_argument("-q", "--quiet", action="store_true", help="no progress messages on stderr")
    p.add_argument("-v", "--verbose", action="store_true", help="a progress line for every frame")
    args = p.parse_args(argv)
    if bool(args.cert) != bool(args.key):
        p.error("--cert and --key go together")
    return args


def _reply_override(text):
    code, _, settings = text.partition(":")
    values = {}
    for item in filter(None, settings.split(",")):
        key, _, value = item.partition("=")
        if key == "silent":
            values[key] = value.lower() in ("1", "true", "yes", "on")
        elif key == "payload_hex":
            values[key] = value
        else:
            values[key] = int(value, 0)
    return int(code, 0), values


def throwaway_certificate(folder):
    """A self-signed certificate for a person who just wants to try the app; tests pass their own."""
    import datetime
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization
    from cryptography.hazmat.primitives.asymmetric import rsa
    from cryptography.x509.oid import NameOID

    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "pelto-sim")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30)).sign(key, hashes.SHA256()))
    cert_path, key_path = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    with open(cert_path, "wb") as f:
        f.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(key_path, "wb") as f:
        f.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
                                  serialization.NoEncryption()))
    return cert_path, key_path


def configure(device, args):
    state = device.state
    # The address the device reports (control code 100) is the one it serves on, unless set.
    try:
        state.set("ip", args.address)
    except ValueError:
        raise ValueError("--address must be an IP address") from None
    if args.stay_up_after_update:
        state.set("update_restart_ms", 0)
    for name, value in (("serial", args.serial), ("family", args.family), ("ext_type", args.ext_type),
                        ("heartbeat_ms", args.heartbeat_ms)):
        if value is not None:
            state.set(name, value)
    for item in args.state:
        name, sep, value = item.partition("=")
        if not sep:
            raise ValueError("--state wants NAME=VALUE, got %r" % item)
        state.set(name, value)
    for name in args.fault:
        state.set_fault(name, True)
    for name, value in (("next_os_version", args.next_os_version),
                        ("next_wireless_version", args.next_wireless_version)):
        if value is not None:
            if len(value.encode("utf-8")) > 15:
                raise ValueError("--%s: at most 15 UTF-8 bytes" % name.replace("_", "-"))
            setattr(device.firmware, name, value)
    if args.boot_timeout_ms < 0:
        raise ValueError("--boot-timeout-ms must be at least 0")
    device.firmware.boot_timeout_ms = args.boot_timeout_ms
    for item in args.reply:
        code, values = _reply_override(item)
        device.responder.set_override(code, values)
    if args.wifi_settings:
        try:
            device.responder.wifi.attach_file(args.wifi_settings)
        except OSError as error:
            raise ValueError("--wifi-settings: %s" % error) from None


async def run(args):
    device = Device(args.frame_log, args.frame_log_stdout, args.log_sent, args.quiet, args.verbose)
    try:
        configure(device, args)
    except (KeyError, ValueError) as error:
        print("pelto-sim: %s" % (error.args[0] if error.args else error), file=sys.stderr)
        return 2
    try:
        address = ipaddress.ip_address(args.address)
    except ValueError:
        print("pelto-sim: --address must be an IP address", file=sys.stderr)
        return 2
    if not address.is_loopback:
        device.say("warning: serving on %s, which is not a loopback address" % address)

    with tempfile.TemporaryDirectory(prefix="pelto-sim-") as folder:
        cert, key = (args.cert, args.key) if args.cert else throwaway_certificate(folder)
        stop = asyncio.Event()
        loop = asyncio.get_running_loop()
        for sig in (signal.SIGINT, signal.SIGTERM):
            loop.add_signal_handler(sig, stop.set)

        files = args.files or os.path.join(folder, "files")
        if not args.files:
            os.mkdir(files)
        elif not os.path.isdir(files):
            print("pelto-sim: --files must be a folder", file=sys.stderr)
            return 2
        device.serve_files(files)
        device.keep_update_image(args.update_image)
        if args.monitor_model:
            try:
                device.serve_model(args.monitor_model)
            except (OSError, ValueError, KeyError) as error:
                print("pelto-sim: --monitor-model: %s" % error, file=sys.stderr)
                return 2

        tls = TlsListener(device, args.address, args.tls_port, server_context(cert, key))
        udp = UdpEndpoint(device, args.address, args.udp_port)
        control = CommandServer(device, "127.0.0.1", args.control_port, stop.set)
        usb = UsbListener(device, args.usb_socket) if args.usb_socket else None
        try:
            await udp.open()
            await tls.start()
            await control.start()
            if usb:
                await usb.start()
        except OSError as error:
            print("pelto-sim: cannot open a port: %s" % error, file=sys.stderr)
            return 1
        if device.state.faults["refuse_link"]:
            tls.stop()
        if device.state.faults["close_udp"]:
            udp.close()

        heartbeat = loop.create_task(device.heartbeat_loop())
        ready = {"address": args.address, "tls": tls.port, "udp": udp.port, "control": control.port,
                 "pid": os.getpid()}
        if usb:
            ready["usb"] = usb.path
        print("READY " + json.dumps(ready, separators=(",", ":")), flush=True)
        device.say("Pelto %s (family %d, extended type %d) serving TLS on %s:%d, UDP on %s:%d, control on 127.0.0.1:%d%s"
                   % (device.state["serial"], device.state["family"], device.state["ext_type"], args.address,
                      tls.port, args.address, udp.port, control.port,
                      "" if args.cert else " (throw-away certificate)"))
        faults_on = [name for name, on in device.state.faults.items() if on]
        if usb:
            device.say("USB link on the Unix socket %s" % usb.path)
        if faults_on:
            device.say("fault switches on: " + ", ".join(faults_on))
        for code, override in sorted(device.responder.describe_overrides().items(), key=lambda kv: int(kv[0])):
            device.say("reply for control code %s: %s" % (code, override))
        for item in args.state:
            device.say("state " + item)
        await stop.wait()

        device.say("shutting down")
        heartbeat.cancel()
        control.stop()
        tls.stop()
        if usb:
            usb.stop()
        device.drop_links(None)
        udp.close()
        await asyncio.sleep(0.05)
        device.close()
    return 0


def main(argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    return asyncio.run(run(args))


if __name__ == "__main__":
    sys.exit(main())
