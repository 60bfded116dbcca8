#!/usr/bin/python3
"""Random fixed-point encode/decode cases worked out with Python's own doubles and exact integers.

Each line: word_length signed data_size slope_adjustment exponent bias x stored decoded
(floats as float.hex, the stored integer in decimal). The rule: q = (x - bias) / slope in doubles,
a q within 4 ulps-of-epsilon of an integer counts as that integer, then floor; NaN or infinite q
stores 0; q beyond the word's integers takes the nearer bound (exact Python integers)."""
import math
import random
import sys

EPS = sys.float_info.epsilon
rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 15)

CONTAINERS = [(8, 1), (12, 2), (16, 2), (5, 1), (32, 4), (24, 4), (64, 8), (40, 8)]
SLOPES = [(1.0, 0), (1.0, -4), (1.0, 3), (0.1, 0), (0.3, -2), (1.25, 0), (0.7, 5), (3.0, -10)]


def expected(word, signed, slope, bias, x):
    q = (x - bias) / slope
    if not math.isfinite(q):
        return 0
    n = round(q)
    if abs(q - n) <= 4 * EPS * abs(n):
        q = float(n)
    q = math.floor(q)
    lo = -(1 << (word - 1)) if signed else 0
    hi = (1 << (word - 1)) - 1 if signed else (1 << word) - 1
    return min(max(q, lo), hi)


for _ in range(4000):
    word, size = rng.choice(CONTAINERS)
    signed = rng.choice([0, 1])
    adj, exp = rng.choice(SLOPES)
    slope = adj * math.ldexp(1.0, exp)
    bias = rng.choice([0.0, 0.0, 1.5, -3.25, 0.1])
    kind = rng.random()
    hi_mag = 2.0 ** word
    if kind < 0.4:
        # exactly a scaled integer, as a user would type the displayed value
        k = rng.randint(-(1 << min(word, 60)), 1 << min(word, 60))
        x = k * slope + bias
    elif kind < 0.8:
        x = rng.uniform(-hi_mag, hi_mag) * slope + bias
    elif kind < 0.9:
        x = rng.choice([1e300, -1e300, 2.0 ** 63 * slope, 2.0 ** 64 * slope, -(2.0 ** 63) * slope])
    else:
        x = rng.choice([math.nan, math.inf, -math.inf, 0.0, -0.0])
    stored = expected(word, signed, slope, bias, x)
    decoded = float(stored) * slope + bias
    print(word, signed, size, adj.hex(), exp, bias.hex(), x.hex(), stored, decoded.hex())
