#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

Each layer folder may include its own headers and those of the layers listed for it; the
application folder, the tests, the benchmarks, the fuzzers and the tools may include any.
"""
import pathlib
import re
import subprocess
import sys

ALLOWED = {
    "lineops": {"lineops"},
    "fetch": {"fetch", "lineops"},
    "files": {"files", "lineops"},
    "shell": {"shell", "lineops"},
    "commands": {"commands", "shell", "lineops", "fetch", "files"},
    "batch": {"batch", "commands", "shell", "lineops"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
files = subprocess.run(["git", "ls-files", "--cached", "--others", "--exclude-standard", "--", "*.cpp", "*.h"],
                       cwd=root, capture_output=True, text=True, check=True).stdout.split()
bad = []
for name in files:
    layer = name.split("/", 1)[0]
    if layer not in ALLOWED:
        continue
    for number, line in enumerate((root / name).read_text(encoding="utf-8").splitlines(), 1):
        m = INCLUDE.match(line)
        if m and m.group(1) not in ALLOWED[layer]:
            bad.append(f"{name}:{number}: {layer}/ may not include {m.group(1)}/ ({line.strip()})")
for b in bad:
    print(b, file=sys.stderr)
if bad:
    print(f"{len(bad)} include(s) reach up a layer; allowed: "
          + "; ".join(f"{k} -> {', '.join(sorted(v))}" for k, v in ALLOWED.items()), file=sys.stderr)
    sys.exit(1)
print(f"layers: {sum(1 for f in files if f.split('/', 1)[0] in ALLOWED)} files, every include goes down")
