"""The two Wi-Fi transports as the device offers them: a TLS stream server and a UDP port.

Both can be taken down and brought back on the same port while the device runs (fault switches
"refuse_link" and "close_udp").
"""

import asyncio
import socket
import ssl

# A fatal TLS alert record (handshake_failure), what a device that will not talk TLS sends back.
TLS_HANDSHAKE_FAILURE_ALERT = bytes([0x15, 0x03, 0x03, 0x00, 0x02, 0x02, 0x28])


def server_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    # The host presents whatever certificate it has; the device does not ask for one.
    context.verify_mode = ssl.CERT_NONE
    return context


class TlsListener:
    def __init__(self, device, address, port, context):
        self.device = device
        self.address = address
        self.port = port
        self.context = context
        self._server = None
        device.fault_hooks["refuse_link"] = self._on_refuse_link

    @property
    def listening(self):
        return self._server is not None

    async def start(self):
        self._server = await asyncio.start_server(self._client, self.address, self.port, reuse_address=True)
        self.port = self._server.sockets[0].getsockname()[1]

    def stop(self):
        if self._server is not None:
            self._server.close()
            self._server = None

    async def _on_refuse_link(self, on):
        if on:
            self.stop()
            dropped = self.device.drop_links()
            self.device.say("TLS port %d closed, %d link(s) dropped" % (self.port, dropped))
        elif self._server is None:
            await self.start()
            self.device.say("TLS port %d listening again" % self.port)

    async def _client(self, reader, writer):
        device = self.device
        counters = device.counters["tls"]
        counters["accepted"] += 1
        peer = writer.get_extra_info("peername")
        faults = device.state.faults
        try:
            if faults["tls_stall_handshake"]:
                counters["stalled"] += 1
                device.say("TCP from %s: handshake left unanswered" % (peer,))
                while await reader.read(4096):
                    pass
                return
            if faults["tls_refuse_handshake"]:
                counters["refused_handshakes"] += 1
                device.say("TCP from %s: handshake refused" % (peer,))
                try:
                    await asyncio.wait_for(reader.read(4096), 5)
                except asyncio.TimeoutError:
                    pass
                writer.write(TLS_HANDSHAKE_FAILURE_ALERT)
                await writer.drain()
                return
            try:
                await writer.start_tls(self.context, ssl_handshake_timeout=30)
            except (ssl.SSLError, ConnectionError, OSError, asyncio.TimeoutError) as error:
                counters["handshake_failures"] += 1
                device.say("TLS handshake with %s failed: %s" % (peer, error))
                return
            counters["handshakes"] += 1
            link = device.add_link(writer, peer)
            try:
                while True:
                    data = await reader.read(65536)
                    if not data:
                        break
                    device.on_stream_data(link, data)
            except (ConnectionError, ssl.SSLError, OSError):
                pass
            finally:
                device.remove_link(link)
        finally:
            writer.close()


class _DatagramProtocol(asyncio.DatagramProtocol):
    def __init__(self, device):
        self.device = device

    def datagram_received(self, data, addr):
        self.device.on_datagram(data, addr)

    def error_received(self, exc):
        # ICMP "port unreachable" after sending to a host that went away; nothing to do.
        self.device.say("UDP: %s" % exc)


class UdpEndpoint:
    def __init__(self, device, address, port):
        self.device = device
        self.address = address
        self.port = port
        device.fault_hooks["close_udp"] = self._on_close_udp

    async def open(self):
        family = socket.AF_INET6 if ":" in self.address else socket.AF_INET
        sock = socket.socket(family, socket.SOCK_DGRAM)
        # The host binds its own end of the datagram path to the same port number on every
        # address; sharing the port lets both run on one machine (device on another loopback
        # address such as 127.0.0.2).
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        sock.bind((self.address, self.port))
        self.port = sock.getsockname()[1]
        transport, _ = await asyncio.get_running_loop().create_datagram_endpoint(
            lambda: _DatagramProtocol(self.device), sock=sock)
        self.device.udp_transport = transport

    def close(self):
        if self.device.udp_transport is not None:
            self.device.udp_transport.close()
            self.device.udp_transport = None

    async def _on_close_udp(self, on):
        if on:
            self.close()
            self.device.say("UDP port %d closed" % self.port)
        elif self.device.udp_transport is None:
            await self.open()
            self.device.say("UDP port %d open again" % self.port)
