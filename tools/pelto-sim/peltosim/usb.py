"""The USB link as the device offers it to a test: a Unix stream socket standing in for the bulk
endpoints of the vendor interface.

Every accepted connection is one USB attachment. It carries the raw device frames both ways, in
the same framing as the Wi-Fi stream but plain (USB has neither TLS nor datagram encryption). The
USB peer of the tests (the umockdev fixture) connects when it plugs the device in and closes the
connection when it unplugs it.
"""

import asyncio
import os
import stat


class UsbListener:
    def __init__(self, device, path):
        self.device = device
        self.path = path
        self._server = None

    async def start(self):
        # A socket file left by a simulator that did not stop cleanly is taken over; anything
        # else at that path is somebody's file and stays.
        try:
            if stat.S_ISSOCK(os.lstat(self.path).st_mode):
                os.unlink(self.path)
        except FileNotFoundError:
            pass
        self._server = await asyncio.start_unix_server(self._client, path=self.path)

    def stop(self):
        if self._server is not None:
            self._server.close()
            self._server = None
            try:
                os.unlink(self.path)
            except OSError:
                pass

    async def _client(self, reader, writer):
        device = self.device
        link = device.add_link(writer, None, kind="usb")
        try:
            while True:
                data = await reader.read(65536)
                if not data:
                    break
                device.on_stream_data(link, data)
        except (ConnectionError, OSError):
            pass
        finally:
            device.remove_link(link)
            writer.close()
