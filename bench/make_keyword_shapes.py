#!/usr/bin/env python3
"""Writes the worst keyword lists for remove-all-keywords against a corpus, and the worst line
for the regular expressions. Deterministic; keyword lists one keyword a line (LF, as grep -f
reads them), UTF-8.

  bench/make_keyword_shapes.py --corpus c1000000.txt --out-dir DIR [--shape NAME]...

Shapes:
  keys-none     100,000 keywords none of which occurs: corpus fragments of 3 to 6 characters
                with a character the corpus never holds put before their last one, so that
                every prefix is met and no keyword ever completes
  keys-prefixes 100,000 keywords that are prefixes of each other: every prefix (4 characters
                and up) of corpus lines joined into long stems
  keys-one-char every character of the corpus but its 100 most frequent, one a line
  a-line        one line of 1,000,000 "a" (for (a|aa)*b)

Prints one line per file: name, lines, bytes.
"""

import argparse
import collections
import os
import random

ABSENT = "\u2603"  # never written by make_corpus.py


def read_lines(corpus):
    with open(corpus, encoding="utf-8", newline="") as f:
        return [line for line in f.read().split("\r\n") if line.strip()]


def keys_none(lines, rng):
    # Fragments as make_corpus.py --keys-from draws them, each broken before its last character.
    keys, seen = [], set()
    while len(keys) < 100000:
        src = lines[rng.randrange(len(lines))]
        size = rng.randrange(3, 7)
        if len(src) < size:
            continue
        start = rng.randrange(len(src) - size + 1)
        key = src[start:start + size]
        if any(c in key for c in " \t\u3000<>\"=/,") or key in seen:
            continue
        seen.add(key)
        keys.append(key[:-1] + ABSENT + key[-1])
    return keys


def keys_prefixes(lines, rng):
    keys = []
    while len(keys) < 100000:
        stem = "".join(lines[rng.randrange(len(lines))] for _ in range(8))
        for length in range(4, len(stem) + 1):
            keys.append(stem[:length])
            if len(keys) == 100000:
                break
    rng.shuffle(keys)
    return keys


def keys_one_char(lines, rng):
    counts = collections.Counter(c for line in lines for c in line)
    chars = [c for c, _ in counts.most_common()[100:] if c not in "\r\n"]
    rng.shuffle(chars)
    return chars


def a_line(lines, rng):
    return ["a" * 1000000]


SHAPES = {
    "keys-none": keys_none,
    "keys-prefixes": keys_prefixes,
    "keys-one-char": keys_one_char,
    "a-line": a_line,
}


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--corpus", required=True)
    p.add_argument("--out-dir", required=True)
    p.add_argument("--shape", action="append", choices=sorted(SHAPES), help="only these shapes")
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args()
    os.makedirs(a.out_dir, exist_ok=True)
    lines = read_lines(a.corpus)
    if any(ABSENT in line for line in lines):
        raise SystemExit("the corpus holds U+2603: keys-none would match")
    for name in a.shape or SHAPES:
        rng = random.Random(f"{a.seed}-{name}")
        out = SHAPES[name](lines, rng)
        ending = "\r\n" if name == "a-line" else "\n"
        data = "".join(line + ending for line in out).encode("utf-8")
        with open(os.path.join(a.out_dir, name + ".txt"), "wb") as f:
            f.write(data)
        print(f"{name} lines={len(out)} bytes={len(data)}")


if __name__ == "__main__":
    main()
