#!/usr/bin/env bash
# Renders the window (offscreen: one PNG a tab page, one with a tooltip, one with a context menu)
# into the folder given, default build/render. A font may follow: render-window.sh DIR FAMILY POINTS.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/render}"
[ -d build/dev ] || cmake --preset dev >/dev/null
cmake --build build/dev --target lumbrel-render >/dev/null
QT_QPA_PLATFORM=offscreen build/dev/lumbrel-render "$out" "${@:2}"
