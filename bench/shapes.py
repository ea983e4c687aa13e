"""What the shape scripts share: writing each shape's lines as a CR LF, UTF-8 file."""

import argparse
import os
import random

CRLF = "\r\n"


def main(description, shapes, scale_help):
    """Parses the common options and writes the chosen shapes, one file each."""
    p = argparse.ArgumentParser(description=description)
    p.add_argument("--out-dir", required=True)
    p.add_argument("--scale", type=float, default=1.0, help=scale_help)
    p.add_argument("--shape", action="append", choices=sorted(shapes), help="only these shapes")
    p.add_argument("--seed", type=int, default=1)
    a = p.parse_args()
    os.makedirs(a.out_dir, exist_ok=True)
    for name in a.shape or shapes:
        rng = random.Random(f"{a.seed}-{name}")
        lines = shapes[name](a.scale, rng)
        data = CRLF.join(lines).encode("utf-8")
        path = os.path.join(a.out_dir, name + ".txt")
        with open(path, "wb") as f:
            f.write(data)
        print(f"{name} lines={len(lines)} bytes={len(data)}")
