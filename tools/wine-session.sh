#!/bin/sh
# Runs a command (usually ctest) with a Wine prefix inside the Windows build
# tree, a persistent wineserver and an X display. wineboot and wineserver are
# started detached, in their own session and without the caller's pipes:
# otherwise ctest waits forever on the pipe that wineserver inherited.
#
# The 64-bit test build (preset windows64) runs under Debian's 64-bit loader
# and server with a 64-bit prefix of its own: /usr/bin/wine picks the 32-bit
# loader whenever wine32 is installed, even where it cannot run. The build is
# told by TOLVARAN_WINE_BITS (32 or 64), else by an argument naming windows64
# (`--preset windows64`, a path in build/windows64). The command sees
# TOLVARAN_WINE, the loader to start programs with, and TOLVARAN_WINE_BITS.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BITS=${TOLVARAN_WINE_BITS:-}
if [ -z "$BITS" ]; then
    BITS=32
    for arg in "$@"; do
        case "$arg" in
            windows64 | *=windows64 | */build/windows64 | */build/windows64/*) BITS=64 ;;
        esac
    done
fi
if [ "$BITS" = 64 ]; then
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64 WINEARCH=win64
    export WINEPREFIX="${WINEPREFIX:-$ROOT/build/windows64/wineprefix}"
    WINE=$WINELOADER
    SERVER=$WINESERVER
else
    # The shipped build runs as on its targets, a 32-bit Windows: a 32-bit
    # prefix (with wine64 installed Wine would otherwise make a 64-bit one,
    # whose system32 a 32-bit program sees redirected to syswow64).
    export WINEARCH=win32
    export WINEPREFIX="${WINEPREFIX:-$ROOT/build/windows/wineprefix}"
    WINE=wine
    SERVER=wineserver
    if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
        echo "wine-session: $WINEPREFIX is a 64-bit prefix; making it anew as a 32-bit one" >&2
        rm -rf "$WINEPREFIX"
    fi
fi
export TOLVARAN_WINE_BITS=$BITS TOLVARAN_WINE=$WINE
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
mkdir -p "$WINEPREFIX"

XVFB_PID=
if [ -z "${DISPLAY:-}" ] || [ "${TOLVARAN_OWN_DISPLAY:-0}" = 1 ]; then
    # Xvfb picks a free display itself and writes its number once it listens,
    # so sessions started side by side never share or race for one display.
    numfile=$(mktemp)
    setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    i=0
    while [ ! -s "$numfile" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    n=$(tr -dc 0-9 <"$numfile")
    rm -f "$numfile"
    if [ -z "$n" ]; then echo "wine-session: Xvfb did not start" >&2; exit 1; fi
    export DISPLAY=:$n
fi

cleanup() {
    "$SERVER" -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT INT TERM

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    setsid "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    # wineboot returns while the new prefix's own services are still coming
    # up; a service started meanwhile (a kernel driver's host) times out.
    # Let that first session end before the tests start theirs.
    "$SERVER" -w >/dev/null 2>&1 || true
fi
setsid "$SERVER" -p </dev/null >/dev/null 2>&1 &
# Let the server and its services come up before the first test.
setsid "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true

"$@"
