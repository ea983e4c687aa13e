#!/usr/bin/env python3
"""Writes the worst line lists for the list commands (grouping by hash, sorting by collation
keys): every line equal, every line distinct, long shared starts, a few huge lines, ten
million short lines. Deterministic, CR LF, UTF-8.

  bench/make_list_shapes.py --out-dir DIR [--scale 1.0] [--shape NAME]...

Prints one line per file: name, lines, bytes.
"""

import shapes

HAN = "的一是在不了有和人这中大为上个国我以要他时来用们生到作地于出就分对成会可主发年动手机价格官网"


def all_equal(scale, rng):
    # One group holding every line: each lookup verifies a full match.
    return ["手机价格 官网首页 2024"] * int(1000000 * scale)


def all_distinct(scale, rng):
    # Every line its own group and its own sort key.
    count = int(1000000 * scale)
    lines = ["".join(rng.choice(HAN) for _ in range(6)) + str(i) for i in range(count)]
    rng.shuffle(lines)
    return lines


def shared_prefixes(scale, rng):
    # Long equal starts, differing near the end: keys and comparisons run the whole length.
    stem = "".join(rng.choice(HAN) for _ in range(100))
    return [stem + "".join(rng.choice(HAN + "abc") for _ in range(3)) for _ in range(int(100000 * scale))]


def huge_lines(scale, rng):
    # Three lines of four million units, two of them equal, the third differing at its end.
    big = "".join(rng.choice(HAN + "abcdef ") for _ in range(int(4000000 * scale)))
    return [big, big, big[:-1] + "x"]


def short_lines(scale, rng):
    # Ten million lines of one to three characters: the per-line costs alone.
    return [str(rng.randrange(1000)) for _ in range(int(10000000 * scale))]


SHAPES = {
    "all-equal": all_equal,
    "all-distinct": all_distinct,
    "shared-prefixes": shared_prefixes,
    "huge-lines": huge_lines,
    "short-lines": short_lines,
}


if __name__ == "__main__":
    shapes.main(__doc__.split("\n")[0], SHAPES, "size factor (1.0: 10 to 60 MB each)")
