#!/usr/bin/env python3
"""Writes line lists shaped to hurt a duplicate search built on hashing windows: few
distinct contents share long stretches, so one window start matches many line lengths.
Deterministic, CR LF, UTF-8.

  bench/make_hostile.py --out-dir DIR [--scale 1.0] [--shape NAME]...

Prints one line per file: name, lines, bytes.
"""

import shapes



def runs_up(scale, rng):
    # "a", "aa", ... : every line holds every earlier one.
    top = int(3000 * scale)
    return ["a" * k for k in range(1, top + 1)]


def runs_up_down(scale, rng):
    top = int(2100 * scale)
    return ["=" * k for k in range(1, top + 1)] + ["=" * k for k in range(top, 0, -1)]


def runs_down(scale, rng):
    top = int(3000 * scale)
    return ["哈" * k for k in range(top, 0, -1)]


def many_lengths(scale, rng):
    # Thousands of distinct lengths behind one shared start, none found in the long
    # lines of that start that follow.
    count = int(3000 * scale)
    head = "x" * 16
    lines = [head + "y" + "z" * k for k in range(count)]
    rng.shuffle(lines)
    lines += [head * 4096 for _ in range(int(64 * scale))]
    return lines


def shared_prefixes(scale, rng):
    # Long lines sharing a long start, differing near the end.
    stem = "".join(rng.choice("abcdef") for _ in range(1500))
    lines = []
    for _ in range(int(3000 * scale)):
        cut = rng.randrange(800, 1500)
        tail = "".join(rng.choice("abcdef") for _ in range(rng.randrange(1, 40)))
        lines.append(stem[:cut] + tail)
    return lines


def periodic(scale, rng):
    # Pieces of one periodic text, of every length and offset.
    period = "abcab"
    big = period * 1000
    lines = []
    for _ in range(int(4000 * scale)):
        start = rng.randrange(0, 5)
        lines.append(big[start : start + rng.randrange(1, 2000)])
    return lines


def prefixes_suffixes(scale, rng):
    # Prefixes and suffixes of a few long random texts, in random order.
    bases = ["".join(rng.choice("ab") for _ in range(3000)) for _ in range(3)]
    lines = []
    for _ in range(int(4000 * scale)):
        base = rng.choice(bases)
        cut = rng.randrange(1, len(base))
        lines.append(base[:cut] if rng.random() < 0.5 else base[cut:])
    return lines


def huge_among_short(scale, rng):
    # Many short keywords, then a few lines of a megabyte that hold none of them.
    words = ["".join(rng.choice("abcdefghij") for _ in range(rng.randrange(1, 30))) for _ in range(int(200000 * scale))]
    huge = ["".join(rng.choice("klmnop") for _ in range(int(1000000 * scale))) for _ in range(3)]
    return words[: len(words) // 2] + huge + words[len(words) // 2 :]


SHAPES = {
    "runs-up": runs_up,
    "runs-up-down": runs_up_down,
    "runs-down": runs_down,
    "many-lengths": many_lengths,
    "shared-prefixes": shared_prefixes,
    "periodic": periodic,
    "prefixes-suffixes": prefixes_suffixes,
    "huge-among-short": huge_among_short,
}


if __name__ == "__main__":
    shapes.main(__doc__.split("\n")[0], SHAPES, "size factor (1.0: a few MB each)")
