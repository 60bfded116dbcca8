#!/usr/bin/python3
"""Independent mDNS messages for the discovery tests, built with dnspython.

  mdns_oracle.py query                 the PTR question for _ssh._tcp.local. (hex)
  mdns_oracle.py robot [key=value...]  a compressed response announcing robot-1 (hex)
  mdns_oracle.py random COUNT SEED     random messages, one JSON object per line:
                                       {"wire": hex, "records": [...]} as dnspython reads them
  mdns_oracle.py burst COUNT SEED FILE COUNT random messages written length-prefixed (u16 BE)
"""
import json
import random
import struct
import sys

import dns.flags
import dns.message
import dns.name
import dns.rdataclass
import dns.rdatatype
import dns.rrset
import dns.rdtypes.ANY.TXT


def query():
    q = dns.message.make_query('_ssh._tcp.local.', 'PTR', use_edns=False, flags=0)
    q.id = 0
    return q.to_wire()


def robot(ttl=4500, name='robot-1', serial='1234', port=2222, dtype='sorvyn', records='ptr,srv,txt',
          txt=None, host=None):
    m = dns.message.Message(id=0)
    m.flags = dns.flags.QR | dns.flags.AA
    inst = f'{name}._ssh._tcp.local.'
    host = host or f'{name}.local.'
    if txt is None:
        txt = [f'orvane_device_type={dtype}', f'orvane_device_serial={serial}']
    for kind in records.split(','):
        if kind == 'ptr':
            m.answer.append(dns.rrset.from_text('_ssh._tcp.local.', ttl, 'IN', 'PTR', inst))
        elif kind == 'srv':
            m.additional.append(dns.rrset.from_text(inst, ttl, 'IN', 'SRV', f'0 0 {port} {host}'))
        elif kind == 'txt':
            m.additional.append(dns.rrset.from_text(
                inst, ttl, 'IN', 'TXT', ' '.join('"%s"' % t for t in txt)))
        elif kind == 'a':
            m.additional.append(dns.rrset.from_text(host, ttl, 'IN', 'A', '198.51.100.7'))
    return m.to_wire()


LABELS = ['_ssh', '_tcp', 'local', 'robot-1', 'robot-2', 'x', 'a-very-long-label-name-0123456789',
          '_http', 'host', 'k9']


def rand_name(rng):
    return dns.name.from_text('.'.join(rng.choice(LABELS) for _ in range(rng.randint(1, 5))) + '.')


def txt_entries(strings):
    """The acceptable key=value strings: printable bytes before the first '=', not first."""
    out = []
    for s in strings:
        eq = s.find(b'=')
        if eq <= 0:
            continue
        if any(c < 0x20 or c > 0x7e for c in s[:eq]):
            continue
        out.append([s[:eq].hex(), s[eq + 1:].hex()])
    return out[:128]


def rand_rdata(rng):
    kind = rng.choice(['PTR', 'SRV', 'TXT', 'A', 'AAAA'])
    if kind == 'PTR':
        return dns.rdata.from_text(1, 'PTR', rand_name(rng).to_text())
    if kind == 'SRV':
        return dns.rdata.from_text(1, 'SRV', '%d %d %d %s' % (
            rng.randint(0, 65535), rng.randint(0, 65535), rng.randint(0, 65535),
            rand_name(rng).to_text()))
    if kind == 'TXT':
        strings = []
        for _ in range(rng.randint(1, 6)):
            if rng.random() < 0.5:
                strings.append((rng.choice(['orvane_device_type', 'orvane_device_serial', 'k'])
                                + '=' + ''.join(rng.choice('ab=1 ') for _ in range(rng.randint(0, 8)))
                                ).encode())
            else:
                strings.append(bytes(rng.randint(0, 255) for _ in range(rng.randint(0, 12))))
        return dns.rdtypes.ANY.TXT.TXT(1, dns.rdatatype.TXT, strings)
    if kind == 'A':
        return dns.rdata.from_text(1, 'A', '.'.join(str(rng.randint(0, 255)) for _ in range(4)))
    return dns.rdata.from_text(1, 'AAAA', ':'.join('%x' % rng.randint(0, 65535) for _ in range(8)))


def describe(section, rrset, rd):
    """One record as dnspython read it from the wire."""
    record = {'section': section, 'name': rrset.name.to_text(), 'type': int(rd.rdtype),
              'class': int(rrset.rdclass), 'ttl': rrset.ttl}
    if rd.rdtype == dns.rdatatype.PTR:
        record['target'] = rd.target.to_text()
    elif rd.rdtype == dns.rdatatype.SRV:
        record.update(priority=rd.priority, weight=rd.weight, port=rd.port,
                      target=rd.target.to_text())
    elif rd.rdtype == dns.rdatatype.TXT:
        record['entries'] = txt_entries(rd.strings)
    else:
        record['address'] = rd.address
    return record


def random_message(rng):
    m = dns.message.Message(id=rng.randint(0, 65535))
    m.flags = dns.flags.QR | dns.flags.AA
    if rng.random() < 0.3:
        m.question.append(dns.rrset.RRset(rand_name(rng), 1, dns.rdatatype.PTR))
    for target in (m.answer, m.authority, m.additional):
        for _ in range(rng.randint(0, 4)):
            rd = rand_rdata(rng)
            rrset = dns.rrset.RRset(rand_name(rng), 1, rd.rdtype)
            rrset.add(rd, rng.choice([0, 120, 4500, 2**31 - 1]))
            target.append(rrset)
    wire = m.to_wire()
    # The expected records are dnspython's own reading of the wire, not what was put in.
    back = dns.message.from_wire(wire, one_rr_per_rrset=True)
    records = [describe(section, rrset, rd)
               for section, rrsets in ((1, back.answer), (2, back.authority), (3, back.additional))
               for rrset in rrsets for rd in rrset]
    return wire, records


def main():
    cmd = sys.argv[1]
    if cmd == 'query':
        print(query().hex())
    elif cmd == 'robot':
        # robot [key=value ...]: ttl, name, serial, port, dtype, records (ptr,srv,txt,a), host,
        # txt (strings separated by '|')
        args = dict(a.split('=', 1) for a in sys.argv[2:])
        for key in ('ttl', 'port'):
            if key in args:
                args[key] = int(args[key])
        if 'txt' in args:
            args['txt'] = [t for t in args['txt'].split('|') if t]
        print(robot(**args).hex())
    elif cmd == 'random':
        rng = random.Random(int(sys.argv[3]))
        for _ in range(int(sys.argv[2])):
            wire, records = random_message(rng)
            print(json.dumps({'wire': wire.hex(), 'records': records}))
    elif cmd == 'burst':
        rng = random.Random(int(sys.argv[3]))
        with open(sys.argv[4], 'wb') as f:
            for _ in range(int(sys.argv[2])):
                wire, _ = random_message(rng)
                f.write(struct.pack('>H', len(wire)) + wire)


if __name__ == '__main__':
    main()
