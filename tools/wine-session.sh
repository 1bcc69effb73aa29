#!/bin/sh
# Runs a command (usually ctest) with a Wine prefix inside the Windows build
# tree, a persistent wineserver and an X display. wineboot and wineserver are
# started detached, in their own session and without the caller's pipes:
# otherwise ctest waits forever on the pipe that wineserver inherited.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="${WINEPREFIX:-$ROOT/build/windows/wineprefix}"
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
    wineserver -k >/dev/null 2>&1 || true
    if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT INT TERM

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    setsid wineboot -i </dev/null >/dev/null 2>&1 || true
fi
setsid wineserver -p </dev/null >/dev/null 2>&1 &
# Let the server and its services come up before the first test.
setsid wine cmd /c exit </dev/null >/dev/null 2>&1 || true

"$@"
