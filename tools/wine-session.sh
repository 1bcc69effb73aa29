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
    n=91
    while [ -e /tmp/.X$n-lock ]; do n=$((n + 1)); done
    setsid Xvfb :$n -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=:$n
    i=0
    while [ ! -e /tmp/.X11-unix/X$n ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
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
