"""The simulated device: routes received frames to its channel services, answers them on the path
they came by, sends heartbeats, keeps the request counters and writes the frame log.

One device serves every link at once: TLS streams (Wi-Fi), datagrams, and USB attachments (plain
byte streams carrying the same frames). A host that sees it over USB and Wi-Fi sees one serial.

Everything runs on one asyncio loop; no locks are needed.
"""

import asyncio
import json
import os
import struct
import sys
import time

from . import channel0 as ch0
from . import filecontrol, firmware, messages, monitoring, update
from .control import CODE_NAMES, ControlResponder, parse_request
from .crypto import decrypt_host_datagram, encrypt_device_datagram
from .framing import Recombiner, build_frame
from .state import DeviceState

CH_LINK, CH_CONTROL, CH_UPDATE, CH_EXTMODE, CH_MESSAGES, CH_FILES = 0, 1, 4, 5, 6, 9
CH_MON_CONTROL, CH_MON_DATA = 2, 3
MON_TICK_MS = 10
POLL_CODES = (64, 129, 100, 106)


def new_counters():
    return {
        "control": {},
        "control_malformed": 0,
        "channel0": {"device_info_request": 0, "heartbeat": 0, "set_interface": 0, "hello": 0,
                     "key_request": 0, "other": 0, "invalid": 0},
        "frames": {"tcp": 0, "udp": 0, "usb": 0},
        "channels": {},
        "corrupt_headers": {"tcp": 0, "udp": 0, "usb": 0},
        "udp": {"datagrams": 0, "empty": 0, "bad_size": 0, "bad_padding": 0, "no_key": 0, "sent": 0,
                "unsendable": 0},
        "tls": {"accepted": 0, "handshakes": 0, "handshake_failures": 0, "refused_handshakes": 0,
                "stalled": 0, "closed": 0},
        "usb": {"attached": 0, "detached": 0},
        "channel5": {"echoed": 0},
        "channel6": {"level_requests": 0, "malformed": 0, "sent": 0},
        "channel9": filecontrol.new_counters(),
        "channel4": update.new_counters(),
        "channel2": {"requests": 0, "replies": 0, "closed": 0, "malformed": 0},
        "channel3": {"packets": 0, "ticks": 0},
        "heartbeats_sent": 0,
        "keys_issued": 0,
        "disconnects": 0,
    }


class StreamLink:
    """One accepted TLS connection (kind "tcp") or USB attachment (kind "usb")."""

    def __init__(self, link_id, writer, peer, kind="tcp"):
        self.id = link_id
        self.writer = writer
        self.peer = peer
        self.kind = kind
        self.recombiner = Recombiner()
        self.since = time.time()

    @property
    def interface(self):
        """The link type this link is, as channel 0 names it."""
        return ch0.LINK_USB if self.kind == "usb" else ch0.LINK_WIFI

    @property
    def open(self):
        return not self.writer.is_closing()

    def send(self, frame):
        if self.open:
            self.writer.write(frame)
            return True
        return False


class Device:
    def __init__(self, frame_log=None, frame_log_stdout=False, log_sent=False, quiet=False, verbose=False):
        self.state = DeviceState()
        self.responder = ControlResponder(self.state)
        self.counters = new_counters()
        self.links = {}
        self._next_link = 1
        self.active_interface = ch0.LINK_NONE
        self.active_link_id = None
        self.udp_key = None
        self.udp_iv = None
        self.udp_peer = None
        self.udp_transport = None
        self.last_identity = bytes(31)  # of the last set-interface request, echoed in replies
        self.frames = []
        self._seq = 0
        self._frame_log = open(frame_log, "a", buffering=1, encoding="utf-8") if frame_log else None
        self._frame_log_stdout = frame_log_stdout
        self._log_sent = log_sent
        self._quiet = quiet
        self._verbose = verbose
        self.heartbeat_changed = None
        self.files = None  # channel 9, once a folder is served
        self.update = update.UpdateReceiver(self.state, lambda: self.counters["channel4"], say=self.say)
        self.restarts = 0  # restarts after a finished upload (update_restart_ms)
        self.firmware = firmware.Firmware(self.state, self.say)
        self.update.on_finished = self.firmware.installed
        self.fault_hooks = {}  # fault name -> coroutine function(on), set by the transports
        self.model = None  # channels 2 and 3, once a monitored model is served
        self._mon_buffer = b""
        self._mon_ticker = None
        self._mon_origin = ("tcp", None)  # where the last channel-2 request came from

    # -- output ------------------------------------------------------------------------------
    def say(self, text):
        if not self._quiet:
            print(time.strftime("%H:%M:%S ") + text, file=sys.stderr, flush=True)

    def _record(self, direction, link, conn, channel, payload, extra=None):
        self._seq += 1
        entry = {"dir": direction, "seq": self._seq, "time": round(time.time(), 6), "link": link,
                 "conn": conn, "channel": channel, "len": len(payload), "payload": payload.hex()}
        if extra:
            entry.update(extra)
        if direction == "rx":
            self.frames.append(entry)
            del self.frames[:-100000]
        if direction == "rx" or self._log_sent:
            line = json.dumps(entry, separators=(",", ":"))
            if self._frame_log:
                self._frame_log.write(line + "\n")
            if self._frame_log_stdout:
                print(line, flush=True)

    def close(self):
        self.firmware.close()
        if self._frame_log:
            self._frame_log.close()
            self._frame_log = None

    # -- links -------------------------------------------------------------------------------
    def add_link(self, writer, peer, kind="tcp"):
        link = StreamLink(self._next_link, writer, peer, kind)
        self._next_link += 1
        self.links[link.id] = link
        if kind == "usb":
            self.counters["usb"]["attached"] += 1
            self.say("link %d: USB attached" % link.id)
        else:
            self.say("link %d: TLS up with %s" % (link.id, peer))
        return link

    def remove_link(self, link):
        if self.links.pop(link.id, None) is None:
            return
        if link.kind == "usb":
            self.counters["usb"]["detached"] += 1
        else:
            self.counters["tls"]["closed"] += 1
        if self.active_link_id == link.id:
            self.active_interface = ch0.LINK_NONE
            self.active_link_id = None
            self.say("link %d was the active interface; active interface is now None" % link.id)
        self.say("link %d closed" % link.id)

    def drop_links(self, kind="tcp"):
        """Closes every link of that kind (None: all). They leave the registry at once: a TLS
        close waits for the peer's close_notify, and heartbeats or status must not see a link on
        its way out. The control command drops TLS links only: a USB attachment ends when the USB
        peer unplugs the device."""
        dropped = [link for link in self.links.values() if kind is None or link.kind == kind]
        for link in dropped:
            self.remove_link(link)
            link.writer.close()
        return len(dropped)

    async def set_fault(self, name, on):
        before = self.state.faults.get(name)
        self.state.set_fault(name, on)
        now = self.state.faults[name]
        self.say("fault %s %s" % (name, "on" if now else "off"))
        hook = self.fault_hooks.get(name)
        if hook and before != now:
            await hook(now)

    # -- sending -----------------------------------------------------------------------------
    def _targets(self, link_id=None, kind=None):
        """The link given by id; else the link holding the active interface, if it is of the
        wanted kind (None: any); else every link of that kind."""
        if link_id is not None:
            link = self.links.get(int(link_id))
            return [link] if link else []
        links = [link for link in self.links.values() if kind is None or link.kind == kind]
        active = self.links.get(self.active_link_id) if self.active_link_id is not None else None
        return [active] if active in links else links

    def send(self, channel, payload, via="tcp", link_id=None):
        """Sends one frame on "tcp" (TLS), "usb", "any" stream link or "udp"; returns on how many
        paths it went out."""
        frame = build_frame(channel, payload)
        if via == "udp":
            return 1 if self._send_datagram(channel, payload, frame) else 0
        sent = 0
        for link in self._targets(link_id, None if via == "any" else via):
            if link.send(frame):
                sent += 1
                self._record("tx", link.kind, link.id, channel, payload)
        return sent

    def _send_datagram(self, channel, payload, frame):
        if self.udp_transport is None or self.udp_peer is None or self.udp_key is None:
            self.counters["udp"]["unsendable"] += 1
            return False
        datagram = encrypt_device_datagram(frame, self.udp_key, self.udp_iv, self.state.faults["pkcs7_datagrams"])
        self.udp_transport.sendto(datagram, self.udp_peer)
        self.counters["udp"]["sent"] += 1
        self._record("tx", "udp", None, channel, payload)
        return True

    def _reply(self, origin, channel, payload):
        kind, link = origin
        if kind == "udp":
            self.send(channel, payload, via="udp")
        elif link.open:
            link.send(build_frame(channel, payload))
            self._record("tx", link.kind, link.id, channel, payload)

    def _ch0_message(self, msg_type, body):
        faults = self.state.faults
        version = 2 if faults["unsupported_datalink_version"] else self.state["datalink_version"]
        return ch0.build_message(msg_type, body, version=version, bad_crc=faults["bad_crc"],
                                 wrong_length=faults["wrong_length"])

    def heartbeat_for(self, link_id):
        """The heartbeat for one link: it names that link's type and says whether it is the one
        holding the active interface."""
        version = 2 if self.state.faults["unsupported_datalink_version"] else self.state["datalink_version"]
        link = self.links.get(link_id) if link_id is not None else None
        interface = link.interface if link else ch0.LINK_WIFI
        active = link is not None and self.active_link_id == link_id and self.active_interface == interface
        body = ch0.heartbeat_body(self.state["family"], active, interface, self.state["serial"],
                                  self.state["ext_type"], version)
        return self._ch0_message(ch0.TYPE_HEARTBEAT, body)

    def send_heartbeats(self):
        for link in list(self.links.values()):
            heartbeat = self.heartbeat_for(link.id)
            if link.send(build_frame(CH_LINK, heartbeat)):
                self.counters["heartbeats_sent"] += 1
                self._record("tx", link.kind, link.id, CH_LINK, heartbeat)

    async def heartbeat_loop(self):
        self.heartbeat_changed = asyncio.Event()
        while True:
            try:
                # A new interval takes effect at once instead of after the old one has run out.
                await asyncio.wait_for(self.heartbeat_changed.wait(), self.state["heartbeat_ms"] / 1000.0)
                self.heartbeat_changed.clear()
                continue
            except asyncio.TimeoutError:
                pass
            if not self.state.faults["stop_heartbeats"]:
                self.send_heartbeats()

    # -- receiving ---------------------------------------------------------------------------
    def on_stream_data(self, link, data):
        frames, corrupt = link.recombiner.feed(data)
        for channel, payload in frames:
            self.on_frame((link.kind, link), channel, payload)
        if corrupt:
            self.counters["corrupt_headers"][link.kind] += 1
            self.say("link %d: corrupt frame header, buffer dropped" % link.id)

    def on_datagram(self, data, addr):
        udp = self.counters["udp"]
        udp["datagrams"] += 1
        if not data:
            udp["empty"] += 1
            return
        if self.udp_key is None:
            udp["no_key"] += 1
            self.say("datagram from %s before any UDP key was handed out: dropped" % (addr,))
            return
        if len(data) % 16:
            udp["bad_size"] += 1
            self.say("datagram of %d bytes (not a multiple of 16): dropped" % len(data))
            return
        plain, padding_ok = decrypt_host_datagram(data, self.udp_key, self.udp_iv)
        if not padding_ok:
            udp["bad_padding"] += 1
            self.say("datagram of %d bytes without valid PKCS#7 padding: dropped" % len(data))
            return
        self.udp_peer = addr
        frames, corrupt = Recombiner().feed(plain)
        for channel, payload in frames:
            self.on_frame(("udp", None), channel, payload)
        if corrupt:
            self.counters["corrupt_headers"]["udp"] += 1

    def on_frame(self, origin, channel, payload):
        kind, link = origin
        self.counters["frames"][kind] += 1
        channels = self.counters["channels"]
        channels[str(channel)] = channels.get(str(channel), 0) + 1
        extra = None
        if channel == CH_LINK:
            parsed = ch0.Parsed(payload)
            extra = {"ch0": parsed.as_dict()}
            if parsed.msg_type == ch0.TYPE_HEARTBEAT:
                # A device-info request carries the host's whole heartbeat, with its own CRC.
                inner = payload[ch0.HEADER_SIZE:] if len(payload) == ch0.DEVICE_INFO_REQUEST_SIZE else payload
                heartbeat = ch0.parse_heartbeat(inner)
                if heartbeat:
                    extra["ch0"]["heartbeat"] = heartbeat
        elif channel == CH_CONTROL:
            request = parse_request(payload)
            extra = {"code": request[0] if request else None}
        self._record("rx", kind, link.id if link else None, channel, payload, extra)
        if self._verbose:
            self.say("rx %s ch%d %s" % (kind, channel, payload.hex()))
        handler = {CH_LINK: self._on_link_message, CH_CONTROL: self._on_control,
                   CH_EXTMODE: self._on_extmode, CH_MESSAGES: self._on_messages,
                   CH_FILES: self._on_files, CH_UPDATE: self._on_update,
                   CH_MON_CONTROL: self._on_monitor}.get(channel)
        if handler:
            handler(origin, payload)

    # channel 0
    def _on_link_message(self, origin, payload):
        counters = self.counters["channel0"]
        parsed = ch0.Parsed(payload)
        if not parsed.valid:
            counters["invalid"] += 1
            self.say("channel 0: message rejected (crc ok: %s, length ok: %s)" % (parsed.crc_ok, parsed.length_ok))
            return
        kind, link = origin
        if parsed.msg_type == ch0.TYPE_HEARTBEAT and len(payload) == ch0.DEVICE_INFO_REQUEST_SIZE:
            counters["device_info_request"] += 1
            link_id = link.id if link else self.active_link_id
            self._reply(origin, CH_LINK, self.heartbeat_for(link_id))
            self.say("device-info request answered with a heartbeat")
        elif parsed.msg_type == ch0.TYPE_HEARTBEAT:
            counters["heartbeat"] += 1
        elif parsed.msg_type == ch0.TYPE_SET_INTERFACE and len(payload) >= ch0.SET_INTERFACE_SIZE:
            counters["set_interface"] += 1
            self._set_interface(origin, payload)
        elif parsed.msg_type == ch0.TYPE_UDP_KEY:
            counters["key_request"] += 1
            self.udp_key, self.udp_iv = os.urandom(32), os.urandom(16)
            self.counters["keys_issued"] += 1
            self._reply(origin, CH_LINK, self._ch0_message(ch0.TYPE_UDP_KEY, ch0.key_reply_body(self.udp_key, self.udp_iv)))
            self.say("UDP key request answered with a fresh key and vector")
        elif parsed.msg_type == ch0.TYPE_HELLO:
            counters["hello"] += 1
            self._reply(origin, CH_LINK, self._ch0_message(ch0.TYPE_HELLO, b""))
        else:
            counters["other"] += 1

    def _link_for_interface(self, requested, asking):
        """The link that would carry the requested interface: the asking link when it is of
        that type (a request may also come over the other link when the host switches), else the
        most recent link of that type. None when there is no such link."""
        if asking is not None and asking.interface == requested:
            return asking
        candidates = [link for link in self.links.values() if link.interface == requested]
        return max(candidates, key=lambda link: link.id) if candidates else None

    def _set_interface(self, origin, payload):
        kind, link = origin
        requested = struct.unpack_from("<H", payload, 44)[0]
        # The device takes None, or a link type it is connected by (Wi-Fi or USB); Bluetooth is
        # not there. A Wi-Fi request needs a TLS link; one over UDP alone is refused.
        target = None
        if requested in (ch0.LINK_WIFI, ch0.LINK_USB) and link is not None:
            target = self._link_for_interface(requested, link)
        accepted = (not self.state.faults["refuse_set_interface"]
                    and (requested == ch0.LINK_NONE or target is not None))
        if accepted:
            self.active_interface = requested
            self.active_link_id = target.id if target is not None else None
        self.last_identity = bytes(payload[12:43])
        body = ch0.set_interface_reply_body(self.last_identity, requested, accepted)
        self._reply(origin, CH_LINK, self._ch0_message(ch0.TYPE_SET_INTERFACE, body))
        self.say("set interface %s: %s" % (ch0.LINK_NAMES.get(requested, requested), "accepted" if accepted else "refused"))

    def send_set_interface_reply(self, link, accepted, link_id=None):
        """A set-interface reply nobody asked for (a confused or hostile device). The device's own
        active interface does not change."""
        body = ch0.set_interface_reply_body(self.last_identity, link, accepted)
        sent = self.send(CH_LINK, self._ch0_message(ch0.TYPE_SET_INTERFACE, body), link_id=link_id)
        self.say("unsolicited set-interface reply: %s %s" % (ch0.LINK_NAMES.get(link, link),
                                                               "accepted" if accepted else "refused"))
        return sent

    # channel 1
    def _on_control(self, origin, payload):
        request = parse_request(payload)
        if request is None:
            self.counters["control_malformed"] += 1
            self.say("channel 1: malformed request %s" % payload.hex())
            return
        code, _, body = request
        control = self.counters["control"]
        control[str(code)] = control.get(str(code), 0) + 1
        reply = self.responder.respond(code, body)
        if code == 10:
            self._monitoring_switched()
        if code == 13 and origin[0] != "usb":
            # A device ends its Wi-Fi links when told to disconnect, whatever it is doing; a USB
            # attachment ends only when the cable is pulled. After this frame is handled.
            self.counters["disconnects"] += 1
            asyncio.get_running_loop().call_soon(self._disconnect_requested)
        name = CODE_NAMES.get(code, "unknown")
        if reply is None:
            self.say("control %d %s: no reply" % (code, name))
            return
        delay, message = reply
        # The one-second poll would drown everything else unless asked for.
        if self._verbose or code not in POLL_CODES:
            self.say("control %d %s -> response %d, %d bytes%s" % (
                code, name, message[4], len(message) - 5, " after %g s" % delay if delay else ""))
        if delay:
            asyncio.get_running_loop().call_later(delay, self._reply, origin, CH_CONTROL, message)
        else:
            self._reply(origin, CH_CONTROL, message)

    def _disconnect_requested(self):
        dropped = self.drop_links("tcp")
        self.say("control 13 disconnectDevice: %d Wi-Fi link(s) closed" % dropped)

    # channel 5
    def _on_extmode(self, origin, payload):
        self.counters["channel5"]["echoed"] += 1
        self._reply(origin, CH_EXTMODE, payload)

    # channel 9
    def serve_files(self, folder):
        self.files = filecontrol.FileControl(folder, self.state, lambda: self.counters["channel9"])

    def _on_files(self, origin, payload):
        if self.files is None:
            return
        replies = self.files.respond(payload)
        if self._verbose or replies:
            self.say("channel 9 request %s -> %d frames" % (payload[4:6].hex(), len(replies)))
        for reply in replies:
            self._reply(origin, CH_FILES, reply)

    # channels 2 and 3
    def serve_model(self, path):
        self.model = monitoring.load_model(path)

    def _sync_model_faults(self):
        self.model.faults = {name for name in monitoring.FAULTS
                             if self.state.faults.get("mon_" + name)}

    def _monitoring_switched(self):
        """A closed monitoring service ends every stream: the model stops sampling for nobody."""
        if self.model is not None and not self.state.services["monitoring"] and self.model.streams:
            self.model.streams.clear()
            self.say("monitoring service closed: every sample stream stopped")

    def _on_monitor(self, origin, payload):
        counters = self.counters["channel2"]
        if self.model is None:
            return
        if not self.state.services["monitoring"]:
            counters["closed"] += 1
            self.say("channel 2 request while the monitoring service is closed: ignored")
            return
        self._sync_model_faults()
        self._mon_origin = origin
        self._mon_buffer += payload
        while len(self._mon_buffer) >= 5:
            length = struct.unpack_from("<H", self._mon_buffer, 2)[0]
            if length < 5:
                counters["malformed"] += 1
                self.say("channel 2: request length %d, buffer dropped" % length)
                self._mon_buffer = b""
                return
            if len(self._mon_buffer) < length:
                return
            request, self._mon_buffer = self._mon_buffer[:length], self._mon_buffer[length:]
            counters["requests"] += 1
            replies = self.model.handle(request)
            if self._verbose or not replies:
                self.say("channel 2 request %d -> %d replies" % (struct.unpack_from("<h", request)[0], len(replies)))
            for packets in replies:
                for packet in packets:
                    counters["replies"] += 1
                    self._reply(origin, CH_MON_CONTROL, packet)
        if self.model.streams and self._mon_ticker is None:
            self._mon_ticker = asyncio.get_running_loop().create_task(self._monitor_ticks())

    async def _monitor_ticks(self):
        """Samples go out as datagrams when the host holds a datagram key, else on the stream the
        requests came by (USB has no datagrams)."""
        try:
            last = time.monotonic()
            while self.model.streams and self.state.services["monitoring"]:
                await asyncio.sleep(MON_TICK_MS / 1000.0)
                now = time.monotonic()
                # The model's clock follows the wall clock in whole ticks.
                ticks = max(1, int((now - last) * 1000 // MON_TICK_MS))
                last += ticks * MON_TICK_MS / 1000.0
                self._sync_model_faults()
                packets = self.model.tick(ticks * MON_TICK_MS * 1_000_000)
                self.counters["channel3"]["ticks"] += 1
                kind, link = self._mon_origin
                for packet in packets:
                    if kind == "usb":
                        self._reply(self._mon_origin, CH_MON_DATA, packet)
                    else:
                        self.send(CH_MON_DATA, packet, via="udp")
                    self.counters["channel3"]["packets"] += 1
        finally:
            self._mon_ticker = None

    # channel 4
    def keep_update_image(self, path):
        self.update.image_path = path

    def _on_update(self, origin, payload):
        for reply in self.update.respond(payload):
            self._reply(origin, CH_UPDATE, reply)
        if self.update.restart:
            delay, self.update.restart = self.update.restart, None
            asyncio.get_running_loop().create_task(self._restart(delay))

    async def _restart(self, delay_ms):
        """After a finished upload the device boots the new image: its TLS links drop, the port
        refuses connections and no heartbeats go out until it is back with the same serial."""
        await asyncio.sleep(0.05)  # the finished reply goes out first
        self.restarts += 1
        self.say("restarting for %d ms" % delay_ms)
        was_stopped = self.state.faults["stop_heartbeats"]
        self.state.set_fault("stop_heartbeats", True)
        await self.set_fault("refuse_link", True)
        await asyncio.sleep(delay_ms / 1000.0)
        await self.set_fault("refuse_link", False)
        self.state.set_fault("stop_heartbeats", was_stopped)
        self.say("back after the restart")

    # channel 6
    def _on_messages(self, origin, payload):
        request = messages.parse_level_request(payload)
        if request is None:
            self.counters["channel6"]["malformed"] += 1
            self.say("channel 6: unexpected payload %s" % payload.hex())
            return
        kind, level = request
        self.counters["channel6"]["level_requests"] += 1
        self.state.log_level = level
        self._reply(origin, CH_MESSAGES, messages.build_message(level, messages.FLAG_LEVEL_REPORT))
        self.say("message level set to %d (request kind %d)" % (level, kind))

    def send_messages(self, payloads, link_id=None):
        sent = 0
        for payload in payloads:
            sent = self.send(CH_MESSAGES, payload, via="any", link_id=link_id)
            self.counters["channel6"]["sent"] += 1 if sent else 0
        return sent

    # -- inspection --------------------------------------------------------------------------
    def status(self):
        return {
            "links": [{"id": l.id, "kind": l.kind, "peer": "%s:%s" % l.peer[:2] if l.peer else None,
                       "since": l.since} for l in self.links.values()],
            "active_interface": ch0.LINK_NAMES.get(self.active_interface, self.active_interface),
            "active_link": self.active_link_id,
            "udp_key_issued": self.udp_key is not None,
            "udp_peer": "%s:%s" % self.udp_peer[:2] if self.udp_peer else None,
            "udp_open": self.udp_transport is not None,
            "services": dict(self.state.services),
            "log_level": self.state.log_level,
            "update": self.update.last,
            "restarts": self.restarts,
            "firmware": self.firmware.status(),
            "monitor": None if self.model is None else {
                "streams": ["%d:%d" % key for key in sorted(self.model.streams)],
                "clock_ns": self.model.clock_ns, "build_id": self.state["build_id"],
                **self.model.counters},
        }
