#!/usr/bin/python3
"""Writes device log files (".zlf") for a simulated Pelto to serve, each with the JSON file of what
it holds (for mat_check.py).

Usage: device_logs.py OUTDIR SERIAL NAME...
Each NAME (without ".zlf") gives OUTDIR/NAME.zlf and OUTDIR/NAME.json: the mixed-signal log of the
log generator (every storage type, a matrix, a never-sampled signal, a ring that wraps), with the
metadata a device writes: serial, log count, date, time and file name. The program lists a
device's logs from the "log" folder of what the device serves, and only those whose serial is
the device's, so write them into the log folder of pelto_sim.py's --files folder with the
simulator's serial (--serial, PLT-SIM-0001 unless given; usb-pelto's is PLT-USB-0001):

  tests/e2e/device_logs.py /tmp/pelto-files/log PLT-SIM-0001 run1 run2
  /usr/bin/python3 tools/pelto-sim/pelto_sim.py --address 127.0.0.2 --files /tmp/pelto-files
"""
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'fixtures'))
import zlf_generator as gen  # noqa: E402


def main():
    if any(arg in ('-h', '--help') for arg in sys.argv[1:]):
        print(__doc__.strip())
        return
    if len(sys.argv) < 4:
        sys.exit(__doc__.strip())
    outdir, serial, names = sys.argv[1], sys.argv[2], sys.argv[3:]
    os.makedirs(outdir, exist_ok=True)
    for count, name in enumerate(names, start=1):
        metadata = [('serial', serial), ('logCount', str(count)), ('Date', '2026-12-10'),
                    ('Time', '1%d:00:00' % count), ('fileName', name)]
        log = gen.mixed_log(seed=count, metadata=metadata)
        data = log.build(4 * gen.BLOCK + 1000, first=4 * gen.BLOCK + 300)
        with open(os.path.join(outdir, name + '.zlf'), 'wb') as f:
            f.write(data)
        with open(os.path.join(outdir, name + '.json'), 'w') as f:
            json.dump(log.expected(), f, allow_nan=False, ensure_ascii=False)


if __name__ == '__main__':
    main()
