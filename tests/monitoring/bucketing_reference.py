#!/usr/bin/python3
"""Reference model of the plot bucketing, written from its description alone.

stdin: first line "buckets range1 range2 ..." (ranges in seconds), then one sample per line:
"time_ns value" (value as float.hex). stdout: per window one line
"mark cur_min cur_max prev_min prev_max n x0 y0 x1 y1 ..." with every float as float.hex."""
import math
import sys

lines = sys.stdin.read().split("\n")
head = lines[0].split()
buckets = int(head[0]) or 1
windows = []
for r in head[1:]:
    length = float.fromhex(r)
    windows.append(dict(length=length, bucket=length / buckets, start=0.0, cmin=math.inf,
                        cmax=-math.inf, pmin=math.inf, pmax=-math.inf, pts=[], mark=0))
last = 0  # ns: times must rise strictly, compared as the integers they are


def swap(w):
    w["pmin"], w["pmax"] = w["cmin"], w["cmax"]
    w["cmin"], w["cmax"] = math.inf, -math.inf


for line in lines[1:]:
    if not line.strip():
        continue
    tns, vtext = line.split()
    tns = int(tns)
    if not tns > last:
        continue
    last = tns
    t, v = float(tns) / 1e9, float.fromhex(vtext)
    for w in windows:
        pts = w["pts"]
        if not pts or t - w["start"] > w["bucket"]:
            pts += [[t, v], [t, v]]
            w["start"] = t
        else:
            ia, ib = len(pts) - 2, len(pts) - 1
            if pts[ia][1] > pts[ib][1]:
                imin, imax = ib, ia
            else:
                imin, imax = ia, ib
            if v <= pts[imin][1]:
                pts[imin] = [t, v]
                if imin == ia:
                    pts[ia], pts[ib] = pts[ib], pts[ia]
            if v >= pts[imax][1]:
                pts[imax] = [t, v]
                if imax == ia:
                    pts[ia], pts[ib] = pts[ib], pts[ia]
        if math.isfinite(v):
            w["cmin"] = min(w["cmin"], v)
            w["cmax"] = max(w["cmax"], v)
        if w["mark"] == 0 and pts[-1][0] - pts[0][0] >= w["length"]:
            w["mark"] = len(pts)
            swap(w)
        x0 = pts[w["mark"]][0] if w["mark"] < len(pts) else pts[-1][0]
        if pts[-1][0] - x0 >= w["length"]:
            del pts[:w["mark"]]
            w["mark"] = len(pts)
            swap(w)

for w in windows:
    out = [str(w["mark"])] + [float(w[k]).hex() for k in ("cmin", "cmax", "pmin", "pmax")]
    out.append(str(len(w["pts"])))
    for x, y in w["pts"]:
        out += [x.hex(), y.hex()]
    print(" ".join(out))
