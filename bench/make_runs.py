#!/usr/bin/env python3
"""Writes the worst case of a keyword search: lines that are one long run of a single
character, joined by CR LF. Searched with the run's character repeated k times and then a
different one ("a" * k + "b"), every position starts a partial match of k units.

  bench/make_runs.py runs.txt                     # 10 lines of 2,000,000 "a" (20 MB)
  lumbrel-bench --op contains --keyword "$(python3 -c 'print("a" * 1000 + "b")')" runs.txt
"""

import argparse

parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
parser.add_argument("out")
parser.add_argument("--lines", type=int, default=10)
parser.add_argument("--length", type=int, default=2_000_000)
parser.add_argument("--char", default="a")
args = parser.parse_args()

line = args.char * args.length
with open(args.out, "w", encoding="utf-8", newline="") as f:
    f.write("\r\n".join([line] * args.lines))
