#!/usr/bin/env python3
"""Writes tests/data/md5/random_digests.txt: the MD5 digest of each pseudo-random test message, computed with
Python's hashlib so that the library is checked against an implementation of its own.

Message bytes are not stored: each message of length n comes from xorshift32 seeded with
2463534242 + n, one byte per step (the top byte of the state). tests/checksums_test.cpp draws the
same bytes.

Run from anywhere:  python3 scripts/make_md5_digests.py
"""
import hashlib
import os

LENGTHS = list(range(0, 301)) + [1 << 20, 3 * (1 << 20) + 17]
SEED_BASE = 2463534242
MASK = 0xFFFFFFFF


def message(length):
    state = (SEED_BASE + length) & MASK
    out = bytearray(length)
    for i in range(length):
        state ^= (state << 13) & MASK
        state ^= state >> 17
        state ^= (state << 5) & MASK
        out[i] = state >> 24
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "..", "tests", "data", "md5", "random_digests.txt"), "w") as f:
        f.write("# length md5 (made by scripts/make_md5_digests.py)\n")
        for n in LENGTHS:
            f.write(f"{n} {hashlib.md5(message(n)).hexdigest()}\n")


if __name__ == "__main__":
    main()
