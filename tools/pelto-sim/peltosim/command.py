"""The control interface: one JSON object per line in, one JSON object per line out.

Every reply carries "ok"; a failed command carries "error" instead of its results.
"""

import asyncio
import json

from . import messages
from .channel0 import LINK_NAMES
from .device import new_counters
from .state import FAULTS, STATE_FIELDS


class CommandError(Exception):
    pass


def _need(request, key):
    if key not in request:
        raise CommandError("missing %r" % key)
    return request[key]


class CommandServer:
    def __init__(self, device, address, port, shutdown):
        self.device = device
        self.address = address
        self.port = port
        self._shutdown = shutdown
        self._server = None

    async def start(self):
        self._server = await asyncio.start_server(self._client, self.address, self.port, reuse_address=True)
        self.port = self._server.sockets[0].getsockname()[1]

    def stop(self):
        if self._server is not None:
            self._server.close()

    async def _client(self, reader, writer):
        try:
            while True:
                line = await reader.readline()
                if not line:
                    break
                if not line.strip():
                    continue
                reply = await self.execute_line(line)
                writer.write((json.dumps(reply, separators=(",", ":")) + "\n").encode())
                await writer.drain()
        except (ConnectionError, OSError):
            pass
        finally:
            writer.close()

    async def execute_line(self, line):
        try:
            request = json.loads(line)
            if not isinstance(request, dict):
                raise CommandError("a command is a JSON object")
            name = _need(request, "cmd")
            handler = getattr(self, "cmd_" + str(name), None)
            if handler is None:
                raise CommandError("unknown command %r (try \"help\")" % name)
            result = await handler(request)
            reply = {"ok": True}
            reply.update(result or {})
            return reply
        except (CommandError, KeyError, ValueError, TypeError) as error:
            return {"ok": False, "error": str(error.args[0]) if error.args else type(error).__name__}

    # -- commands ----------------------------------------------------------------------------
    async def cmd_help(self, request):
        names = sorted(n[4:] for n in dir(self) if n.startswith("cmd_"))
        return {"commands": names, "faults": FAULTS, "state": sorted(list(STATE_FIELDS) + ["wifi_settings"])}

    async def cmd_status(self, request):
        return self.device.status()

    async def cmd_get_state(self, request):
        return {"state": self.device.state.snapshot()}

    async def cmd_set_state(self, request):
        values = {k: v for k, v in request.items() if k != "cmd"}
        state = self.device.state
        # All or nothing: a typo in one field must not leave the others half applied.
        for name, value in values.items():
            if name == "wifi_settings":
                if len(bytes.fromhex(str(value))) != 404:
                    raise CommandError("wifi_settings: exactly 404 bytes (hex)")
            elif name not in STATE_FIELDS:
                raise CommandError("unknown state field %r" % name)
            else:
                try:
                    STATE_FIELDS[name][1](value)
                except (TypeError, ValueError) as error:
                    raise CommandError("%s: %s" % (name, error)) from None
        for name, value in values.items():
            state.set(name, value)
        if "heartbeat_ms" in values and self.device.heartbeat_changed is not None:
            self.device.heartbeat_changed.set()
        if values:
            self.device.say("state: " + ", ".join("%s=%s" % kv for kv in values.items()))
        return {"state": state.snapshot()}

    async def cmd_set_fault(self, request):
        switches = dict(request.get("faults", {}))
        if "name" in request:
            switches[request["name"]] = request.get("on", True)
        if not switches:
            raise CommandError("give \"name\" (and \"on\") or \"faults\": {name: bool}")
        unknown = [n for n in switches if n not in FAULTS]
        if unknown:
            raise CommandError("unknown fault switch(es): %s" % ", ".join(unknown))
        for name, on in switches.items():
            await self.device.set_fault(name, on)
        return {"faults": dict(self.device.state.faults)}

    async def cmd_get_faults(self, request):
        return {"faults": dict(self.device.state.faults)}

    async def cmd_set_reply(self, request):
        code = int(_need(request, "code"))
        settings = {k: v for k, v in request.items() if k not in ("cmd", "code")}
        self.device.responder.set_override(code, settings)
        self.device.say("reply for control code %d: %s" % (code, settings))
        return {"replies": self.device.responder.describe_overrides()}

    async def cmd_clear_reply(self, request):
        self.device.responder.clear_override(request.get("code"))
        return {"replies": self.device.responder.describe_overrides()}

    async def cmd_get_replies(self, request):
        return {"replies": self.device.responder.describe_overrides()}

    async def cmd_counters(self, request):
        return {"counters": self.device.counters}

    async def cmd_reset_counters(self, request):
        self.device.counters = new_counters()
        return {}

    async def cmd_frames(self, request):
        since = int(request.get("since", 0))
        channel = request.get("channel")
        link = request.get("link")
        frames = [f for f in self.device.frames if f["seq"] > since
                  and (channel is None or f["channel"] == channel) and (link is None or f["link"] == link)]
        last = self.device.frames[-1]["seq"] if self.device.frames else since
        return {"frames": frames, "last": last}

    def _sent(self, sent):
        if not sent:
            raise CommandError("no connected link to send on")
        return {"sent": sent}

    async def cmd_send_message(self, request):
        payloads = messages.text_messages(int(request.get("level", 4)), str(_need(request, "text")),
                                          bool(request.get("kernel", False)))
        return self._sent(self.device.send_messages(payloads, request.get("link_id")))

    async def cmd_send_fragments(self, request):
        parts = [str(p).encode("utf-8") for p in _need(request, "parts")]
        if not parts:
            raise CommandError("\"parts\" is empty")
        payloads = messages.fragment_messages(int(request.get("level", 4)), parts,
                                              bool(request.get("kernel", False)), bool(request.get("last", True)))
        return self._sent(self.device.send_messages(payloads, request.get("link_id")))

    async def cmd_send_overflow(self, request):
        flags = messages.FLAG_OVERFLOW | (messages.FLAG_KERNEL if request.get("kernel") else 0)
        payload = messages.build_message(int(request.get("level", 4)), flags, str(request.get("text", "")))
        return self._sent(self.device.send_messages([payload], request.get("link_id")))

    async def cmd_send_level_report(self, request):
        payload = messages.build_message(int(_need(request, "level")), messages.FLAG_LEVEL_REPORT)
        return self._sent(self.device.send_messages([payload], request.get("link_id")))

    async def cmd_send_raw(self, request):
        channel = int(_need(request, "channel"))
        if not 0 <= channel <= 0xFFFF:
            raise CommandError("channel must be 0..65535")
        payload = bytes.fromhex(str(request.get("payload_hex", "")))
        via = request.get("link", "tcp")
        if via not in ("tcp", "udp", "usb", "any"):
            raise CommandError("link must be \"tcp\", \"udp\", \"usb\" or \"any\"")
        return self._sent(self.device.send(channel, payload, via=via, link_id=request.get("link_id")))

    async def cmd_send_set_interface_reply(self, request):
        link = request.get("link", 0)
        if isinstance(link, str):
            names = {name: value for value, name in LINK_NAMES.items()}
            if link not in names:
                raise CommandError("link must be a number or one of %s" % ", ".join(names))
            link = names[link]
        link = int(link)
        if not 0 <= link <= 0xFFFF:
            raise CommandError("link must be 0..65535")
        accepted = bool(request.get("accepted", True))
        return self._sent(self.device.send_set_interface_reply(link, accepted, request.get("link_id")))

    async def cmd_send_heartbeat(self, request):
        self.device.send_heartbeats()
        return {"sent": len(self.device.links)}

    async def cmd_drop_links(self, request):
        return {"dropped": self.device.drop_links()}

    async def cmd_shutdown(self, request):
        asyncio.get_running_loop().call_soon(self._shutdown)
        return {}
