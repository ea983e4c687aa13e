#!/usr/bin/env bash
# One entry point for a fresh Debian 12 machine:
#   bash tools/dev.sh run    install what is missing, build, start the window
#   bash tools/dev.sh test   install what is missing, build, run every test (offscreen)
#   bash tools/dev.sh asan   the same tests in an AddressSanitizer + UBSan build
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ qt6-base-dev libqscintilla2-qt6-dev libgl-dev zlib1g-dev libdivsufsort-dev libuchardet-dev libre2-dev libicu-dev fonts-noto-cjk
          qt6-tools-dev qt6-l10n-tools qt6-tools-dev-tools qt6-translations-l10n
          xvfb xauth python3 clang-format desktop-file-utils appstream)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

case "${1:-}" in
run)
    install_missing
    # A build that is there already is brought up to date rather than a second one started:
    # the release build when it exists or nothing exists yet, else the test build.
    build=build/release
    [ ! -f build/release/CMakeCache.txt ] && [ -f build/dev/CMakeCache.txt ] && build=build/dev
    [ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
    cmake --build "$build" --target lumbrel
    exec "$build/lumbrel"
    ;;
test)
    install_missing
    bash .ci/check-format.sh
    desktop-file-validate data/lumbrel.desktop
    appstreamcli validate --no-net --pedantic data/io.github.lumbrel.Lumbrel.metainfo.xml
    cmake --workflow --preset dev
    ;;
asan)
    install_missing
    cmake --workflow --preset asan
    ;;
*)
    echo "usage: bash tools/dev.sh run|test|asan" >&2
    exit 2
    ;;
esac
