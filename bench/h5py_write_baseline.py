#!/usr/bin/python3
"""Baseline of bench_logConversion: writes the arrays of a MAT 7.3 file again with h5py.

Usage: h5py_write_baseline.py IN.mat OUT.h5
Reads every dataset of IN (untimed), then times writing them as the same groups and datasets with
the same dtype, chunks and gzip level, and prints the seconds the writing took.
"""
import sys
import time

import h5py


def collect(group, out, prefix=''):
    for name, obj in group.items():
        if isinstance(obj, h5py.Group):
            collect(obj, out, prefix + name + '/')
        else:
            out.append((prefix + name, obj[()], obj.chunks, obj.compression,
                        obj.compression_opts, dict(obj.attrs)))


def main(source, target):
    arrays = []
    with h5py.File(source, 'r') as f:
        collect(f, arrays)
    start = time.perf_counter()
    with h5py.File(target, 'w') as f:
        for name, data, chunks, compression, level, attrs in arrays:
            ds = f.create_dataset(name, data=data, chunks=chunks,
                                  compression=compression, compression_opts=level)
            for key, value in attrs.items():
                ds.attrs[key] = value
    print('%.4f' % (time.perf_counter() - start))


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
