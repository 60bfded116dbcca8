"""Writes a monitored model for pelto-sim with many signals and block parameters (default 2700 and
2000), spread over a few levels of subsystems, from the data types of the shipped model. Paths are short:
each channel-2 reply, a whole string table included, has a 16-bit length, so 2700 paths of 26
characters would not fit in one reply."""
import json
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
base = json.load(open(os.path.join(here, "..", "tools", "pelto-sim", "models", "monitored_model.json")))
signals, params = (int(a) for a in sys.argv[2:4]) if len(sys.argv) > 3 else (2700, 2000)
model = {k: v for k, v in base.items()
         if k in ("dataTypes", "structElements", "fixedPoint", "enums")}
model["signals"] = [{"node": i, "path": "root/S%d/G%d/B%d" % (i % 9, i % 31, i), "name": "s%d" % i,
                     "port": 1, "odr": 1000, "type": 0, "dims": [1], "wave": "ramp"} for i in range(signals)]
model["blockParams"] = [{"node": signals + i, "path": "root/S%d/G%d/K%d" % (i % 9, i % 31, i),
                         "name": "Gain", "type": 0, "dims": [1], "values": [float(i)]} for i in range(params)]
json.dump(model, open(sys.argv[1], "w"))
