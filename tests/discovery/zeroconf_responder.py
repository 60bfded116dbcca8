#!/usr/bin/python3
"""A real mDNS responder (python3-zeroconf) announcing robot-1._ssh._tcp.local. on every
interface of its network namespace, over IPv4 and IPv6.

Commands on stdin, one per line: "register", "unregister" (sends the goodbye), "quit".
Prints "registered" (once its one-second multicast hold-off is over) / "unregistered", and "query <hex>" for every mDNS question that
reaches 224.0.0.251:5353 here (a second socket beside zeroconf's), so a test can compare the
question it sent with dnspython's.
"""
import socket
import struct
import sys
import threading
import time

from zeroconf import InterfaceChoice, IPVersion, ServiceInfo, Zeroconf


def link_local(interface):
    with open('/proc/net/if_inet6') as f:
        for line in f:
            fields = line.split()
            if fields[5] == interface and fields[0].startswith('fe80'):
                return socket.inet_ntop(socket.AF_INET6, bytes.fromhex(fields[0]))
    return None


def watch_questions(interface_address):
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
    s.bind(('', 5353))
    s.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                 socket.inet_aton('224.0.0.251') + socket.inet_aton(interface_address))
    while True:
        data, sender = s.recvfrom(4096)
        flags, questions = struct.unpack('>HH', data[2:6])
        if not flags & 0x8000 and questions and sender[0] != interface_address:
            print('query', data.hex(), flush=True)


def main():
    interface = sys.argv[1] if len(sys.argv) > 1 else 'vp'
    address = sys.argv[2] if len(sys.argv) > 2 else '192.0.2.2'
    threading.Thread(target=watch_questions, args=(address,), daemon=True).start()
    zc = Zeroconf(interfaces=InterfaceChoice.All, ip_version=IPVersion.All)
    addresses = [address] + [a for a in [link_local(interface)] if a]
    info = ServiceInfo('_ssh._tcp.local.', 'robot-1._ssh._tcp.local.', port=2222,
                       properties={'orvane_device_type': 'sorvyn', 'orvane_device_serial': '1234'},
                       server='robot-1.local.', parsed_addresses=addresses)
    print('ready', flush=True)
    for line in sys.stdin:
        command = line.strip()
        if command == 'register':
            zc.register_service(info)
            # A responder multicasts a record at most once a second (RFC 6762, section 6): a
            # question that comes right after the announcements would go unanswered.
            time.sleep(1.2)
            print('registered', flush=True)
        elif command == 'unregister':
            zc.unregister_service(info)
            print('unregistered', flush=True)
        elif command == 'quit':
            break
    zc.close()


if __name__ == '__main__':
    main()
