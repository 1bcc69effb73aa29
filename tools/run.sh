#!/bin/sh
# Runs Tolvaran.exe under Wine. On a fresh machine it first installs what the
# build needs (tools/setup.sh, as root) and builds the Windows preset. The
# program runs from a run folder beside the build's deliverables, never from
# them: the program, Morlith.dll when it was built, and the scanner
# simulator's stand-in FTD2XX.dll with its calibration file and
# "Tolvaran.rsc" (the simulator is never copied beside a shipped program).
#
# On a machine whose kernel runs no 32-bit x86 code (32-bit Wine cannot start)
# the 64-bit test build (preset windows64, build/windows64) runs instead: the
# same program built for x86_64, under Debian's 64-bit Wine.
#
# The run's program is the shipped Tolvaran.exe, but for the headless runs
# that read the view's own picture back (--view-check, --brand): a child
# OpenGL window does not reach the Xvfb screen under Wine, and the shipped
# program holds no way to hand its picture to another process, so these run
# the program's test build, TolvaranReadBack.exe (the same program whose view
# also answers the run probe's read-back), and their screenshots get the
# view's picture pasted at the view's place.
#
# With a display ($DISPLAY) the program opens there and the command ends when
# the program does, with its exit code. Without one (or with --headless) it
# runs on its own Xvfb display: the command checks the running program (main
# window, status bar, hardware state, pipe, no message box), takes a
# screenshot, closes the program and exits 0 when all of that held. On the
# simulator a listener on the outbound pipe also checks every record of the
# scenario's captures (whole captures, every point on the scene), and the
# program's run summary must show no field lost to a full ring.
#
#   tools/run.sh [--headless] [--scanner-off] [--expect-hw KEY]
#                [--build-dir DIR] [--run-dir DIR] [--no-setup] [--no-build]
#                [--screenshot FILE] [--scenario FILE] [--listener ARGS]
#                [--second-listener ARGS] [--hemisphere-setup] [--view-check]
#                [--space-mouse] [--brand PRODUCT]
#                [--open-scan good|damaged] [--drive COMMAND]
#                [--allow-ring-overrun]
#
#   --scanner-off  ScannerEnabled 0 in the machine's settings (the program
#                  runs without a scanner); else the simulator's settings.
#   --expect-hw    the hardware state the headless check expects, as its
#                  locale key: HWStateOn (default with the simulator),
#                  HWStateOff, HWStateInit, HWStateDisabled (default with
#                  --scanner-off).
#   --run-dir      the run folder (default BUILD/run), with its own Wine prefix.
#   --scenario     the simulator's scenario (default its built-in limb).
#   --listener     further arguments of the headless run's pipe listener;
#   --second-listener  a second listener, started when the first has left,
#                  with these arguments.
#   --hemisphere-setup  the scenario sets the hemispheres up automatically:
#                  the headless check first waits for the set-up window to
#                  open and close again.
#   --view-check   headless, on the simulator: a plain black background
#                  without the logo, and no box; the view's own read-backs
#                  while the simulated sweeps come in, after a full redraw
#                  and after Center, the coordinate readout under a drawn
#                  pixel and the picture F11 saves are checked by
#                  tools/view_check.py.
#   --space-mouse  headless: the 3D mouse driver's stand-in beside the run's
#                  program; the program must open it as "Tolvaran", and an
#                  injected push of the cap must show its zoom in the status bar.
#   --brand        headless: the run's copy of the program carries a package
#                  naming this product ("-": the package stripped), and
#                  the title must show the product (the built-in one when
#                  stripped); the view's read-back (kept as brand-view.png)
#                  must show the package's logo at its top left (none when
#                  stripped).
#   --open-scan    headless: the program starts with a small scan file named
#                  on its command line. "good": the title names it, no box
#                  opens, and File > Export of its sweeps opens the Save
#                  dialog (kept as export-dialog.png); "damaged" (one byte
#                  changed): exactly one box with the damaged-file text, and
#                  the unnamed title.
#   --drive        headless: once the program shows the expected hardware
#                  state, this shell command drives it (with WINE, RUN, ROOT
#                  and BUILD in its environment); its failure fails the run.
#   --allow-ring-overrun  fields lost to a full ring are reported, not a
#                  failure of the run.
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=
RUN=
HEADLESS=0
SCANNER_OFF=0
EXPECT_HW=
SETUP=1
BUILD_IT=1
SHOT=
INSIDE=0
SCENARIO=
LISTENER_ARGS=
SECOND_LISTENER_ARGS=
HEMISPHERE_SETUP=0
VIEW_CHECK=0
SPACE_MOUSE=0
BRAND=
BRAND_SET=0
OPEN_SCAN=
DRIVE=
while [ $# -gt 0 ]; do
    case "$1" in
        --headless) HEADLESS=1 ;;
        --scanner-off) SCANNER_OFF=1 ;;
        --expect-hw) EXPECT_HW=$2; shift ;;
        --build-dir) BUILD=$(cd "$2" 2>/dev/null && pwd || echo "$2"); shift ;;
        --run-dir) RUN=$2; shift ;;
        --no-setup) SETUP=0 ;;
        --no-build) BUILD_IT=0 ;;
        --screenshot) SHOT=$2; shift ;;
        --inside) INSIDE=1 ;;
        --scenario) SCENARIO=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift ;;
        --listener) LISTENER_ARGS=$2; shift ;;
        --second-listener) SECOND_LISTENER_ARGS=$2; shift ;;
        --hemisphere-setup) HEMISPHERE_SETUP=1 ;;
        --view-check) VIEW_CHECK=1 ;;
        --space-mouse) SPACE_MOUSE=1 ;;
        --brand) BRAND=$2; BRAND_SET=1; shift ;;
        --open-scan) OPEN_SCAN=$2; shift ;;
        --drive) DRIVE=$2; shift ;;
        --allow-ring-overrun) ALLOW_OVERRUN=1 ;;
        *) echo "run.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done
if [ -z "$BUILD" ]; then
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        BUILD="$ROOT/build/windows"
    else
        echo "run.sh: this machine cannot run 32-bit x86 code; running the 64-bit build"
        BUILD="$ROOT/build/windows64"
    fi
fi
# The build's bits come from its own Wine runner (written when it is configured);
# a build not configured yet is named for its preset.
if [ -f "$BUILD/wine-run.sh" ]; then
    TOLVARAN_WINE_BITS=$(sed -n 's/^TOLVARAN_WINE_BITS=//p' "$BUILD/wine-run.sh")
else
    case "$BUILD" in */windows64) TOLVARAN_WINE_BITS=64 ;; *) TOLVARAN_WINE_BITS=32 ;; esac
fi
export TOLVARAN_WINE_BITS
if [ "$TOLVARAN_WINE_BITS" = 64 ]; then
    PRESET=windows64 CROSS=x86_64-w64-mingw32-g++-posix
else
    PRESET=windows CROSS=i686-w64-mingw32-g++-posix
fi
[ -z "${DISPLAY:-}" ] && HEADLESS=1
PROGRAM=Tolvaran.exe
PROGRAM_TARGET=Tolvaran
if [ "$HEADLESS" = 1 ] && { [ "$VIEW_CHECK" = 1 ] || [ "$BRAND_SET" = 1 ]; }; then
    PROGRAM=TolvaranReadBack.exe
    PROGRAM_TARGET=tolvaran_read_back
fi
if [ -z "$EXPECT_HW" ]; then
    if [ "$SCANNER_OFF" = 1 ]; then EXPECT_HW=HWStateDisabled; else EXPECT_HW=HWStateOn; fi
fi
[ -n "$RUN" ] || RUN="$BUILD/run"
mkdir -p "$RUN"
RUN=$(cd "$RUN" && pwd)
[ -n "$SHOT" ] || SHOT="$RUN/screenshot.png"
export WINEPREFIX="$RUN/wineprefix"
export WINEDEBUG=-all

# --- Inside the Wine session: settings, start, check, close. ---------------
if [ "$INSIDE" = 1 ]; then
    cd "$RUN"
    # The loader for this build's bits, given by tools/wine-session.sh.
    WINE=${TOLVARAN_WINE:-wine}
    reg() { "$WINE" reg "$@" >/dev/null 2>&1 || true; }
    float_bits() { python3 -c "import struct,sys; print(struct.unpack('<I', struct.pack('<f', float(sys.argv[1])))[0])" "$1"; }
    GENERAL='HKLM\Software\Tolvaran\General'
    if [ "$HEADLESS" = 1 ]; then reg delete 'HKCU\Software\Tolvaran' /f; fi
    if [ "$SCANNER_OFF" = 1 ]; then
        reg add "$GENERAL" /v ScannerEnabled /t REG_DWORD /d 0 /f
    else
        reg add "$GENERAL" /v ScannerEnabled /t REG_DWORD /d 1 /f
        if [ -f sim-settings.txt ]; then
            # The machine's settings must match the simulated unit; the
            # user's values of these names are dropped so that they do.
            while read -r name value; do
                case "$name" in
                    AngleClip) reg add "$GENERAL" /v AngleClip /t REG_DWORD /d "$(float_bits "$value")" /f ;;
                    HardwareConfigFilename) reg add "$GENERAL" /v "$name" /t REG_SZ /d "$value" /f ;;
                    *) reg add "$GENERAL" /v "$name" /t REG_DWORD /d "$value" /f ;;
                esac
                reg delete 'HKCU\Software\Tolvaran\General' /v "$name" /f
            done < sim-settings.txt
        fi
    fi
    if [ "$VIEW_CHECK" = 1 ]; then
        for name in BackgroundColour UseGradedBackground ViewBBox; do
            reg add "$GENERAL" /v $name /t REG_DWORD /d 0 /f
            reg delete 'HKCU\Software\Tolvaran\General' /v $name /f
        done
        # The coordinate readout reads the depth under the cursor.
        reg add 'HKLM\Software\Tolvaran\View' /v Options /t REG_DWORD /d 64 /f
        reg delete 'HKCU\Software\Tolvaran\View' /v Options /f
    fi
    if [ "$HEADLESS" = 0 ]; then
        exec "$WINE" "$PROGRAM"
    fi
    # On the simulator a listener on the outbound pipe checks every record
    # of the scenario's captures against its scene.
    LISTENER=
    if [ "$SCANNER_OFF" = 0 ] && [ -f sim-settings.txt ] && [ -f probe/sim_pipe_listener.exe ]; then
        if [ -f Tolvaran-sim.scenario ]; then set -- --scenario Tolvaran-sim.scenario; else set --; fi
        # shellcheck disable=SC2086
        "$WINE" probe/sim_pipe_listener.exe --seconds 120 "$@" $LISTENER_ARGS >"$RUN/listener.log" 2>&1 &
        LISTENER=$!
    fi
    if [ "$SPACE_MOUSE" = 1 ]; then
        rm -f spacemouse.log
        export TOLVARAN_SPACEMOUSE_LOG=spacemouse.log
    fi
    START_FILE=
    if [ -n "$OPEN_SCAN" ]; then
        rm -f start.tvn
        "$WINE" probe/tolvaran_run_probe.exe makescan start.tvn
        if [ "$OPEN_SCAN" = damaged ]; then
            # One byte in the middle of the file changed.
            /usr/bin/python3 -c "import sys; p=sys.argv[1]; b=bytearray(open(p,'rb').read()); b[len(b)//2]^=0x5A; open(p,'wb').write(b)" start.tvn
        fi
        START_FILE=start.tvn
    fi
    # shellcheck disable=SC2086
    "$WINE" "$PROGRAM" $START_FILE >"$RUN/tolvaran.log" 2>&1 &
    TOLVARAN=$!
    status=0
    case "$OPEN_SCAN" in
        good) "$WINE" probe/tolvaran_run_probe.exe title start.tvn 60 || status=1 ;;
        damaged)
            "$WINE" probe/tolvaran_run_probe.exe box ErrorFileCorrupted 60 || status=1
            "$WINE" probe/tolvaran_run_probe.exe title-key TitleBarUnnamedFile 30 || status=1
            ;;
    esac
    if [ "$HEMISPHERE_SETUP" = 1 ]; then
        "$WINE" probe/tolvaran_run_probe.exe hemisphere 60 || status=1
    fi
    "$WINE" probe/tolvaran_run_probe.exe wait "$EXPECT_HW" 60 || status=1
    if [ -n "$DRIVE" ]; then
        WINE=$WINE RUN=$RUN ROOT=$ROOT BUILD=$BUILD sh -c "$DRIVE" || status=1
    fi
    if [ "$VIEW_CHECK" = 1 ]; then
        # The simulated sweeps come in over some 25 s: a read-back every few
        # seconds, then a full redraw and Center (40009).
        rm -f view-*.png
        for i in 1 2 3 4 5 6 7 8; do
            sleep 3
            "$WINE" probe/tolvaran_run_probe.exe readback "view-$i.png" || status=1
        done
        "$WINE" probe/tolvaran_run_probe.exe repaint 3 || status=1
        "$WINE" probe/tolvaran_run_probe.exe readback view-full.png || status=1
        "$WINE" probe/tolvaran_run_probe.exe command 40009 || status=1
        "$WINE" probe/tolvaran_run_probe.exe repaint 3 || status=1
        "$WINE" probe/tolvaran_run_probe.exe readback view-centred.png || status=1
        /usr/bin/python3 "$ROOT/tools/view_check.py" "$RUN" || status=1
        # The readout (Options bit 64: the depth read-back) under a drawn
        # pixel and its right neighbour lies on the scene within the
        # listener's tolerance plus a pixel.
        pixel=$(/usr/bin/python3 "$ROOT/tools/view_check.py" --pick view-centred.png) || status=1
        echo "readout pixel: $pixel"
        read -r px py <<EOF_PIXEL
$pixel
EOF_PIXEL
        : >readout.log
        "$WINE" probe/tolvaran_run_probe.exe readout "$px" "$py" | tr -d '\r' >>readout.log || status=1
        "$WINE" probe/tolvaran_run_probe.exe readout "$((px + 1))" "$py" | tr -d '\r' >>readout.log || status=1
        cat readout.log
        point=$(/usr/bin/python3 "$ROOT/tools/view_check.py" --readout-point readout.log) || status=1
        scenario_arg=
        [ -f Tolvaran-sim.scenario ] && scenario_arg="--scenario Tolvaran-sim.scenario"
        # shellcheck disable=SC2086
        distance=$("$WINE" "$BUILD/sim/sim_setup.exe" $scenario_arg --distance "$point" | tr -d '\r' |
            sed -n 's/^distance //p')
        /usr/bin/python3 "$ROOT/tools/view_check.py" --readout readout.log "${distance:-1e9}" 0.26 || status=1
        # F11 as the user presses it, the Save dialog answered.
        "$WINE" probe/tolvaran_run_probe.exe snapshot snapshot.png || status=1
        /usr/bin/python3 "$ROOT/tools/view_check.py" --snapshot snapshot.png view-centred.png || status=1
        # The same in Wireframe (40013), whose white lines must stand on the
        # view's background, and in Camera View (40064).
        "$WINE" probe/tolvaran_run_probe.exe command 40013 || status=1
        "$WINE" probe/tolvaran_run_probe.exe repaint 3 || status=1
        "$WINE" probe/tolvaran_run_probe.exe readback view-wireframe.png || status=1
        "$WINE" probe/tolvaran_run_probe.exe snapshot snapshot-wireframe.png || status=1
        /usr/bin/python3 "$ROOT/tools/view_check.py" --snapshot snapshot-wireframe.png view-wireframe.png || status=1
        "$WINE" probe/tolvaran_run_probe.exe command 40064 || status=1
        "$WINE" probe/tolvaran_run_probe.exe repaint 3 || status=1
        "$WINE" probe/tolvaran_run_probe.exe readback view-camera.png || status=1
        "$WINE" probe/tolvaran_run_probe.exe snapshot snapshot-camera.png || status=1
        /usr/bin/python3 "$ROOT/tools/view_check.py" --snapshot snapshot-camera.png view-camera.png blank-ok ||
            status=1
        "$WINE" probe/tolvaran_run_probe.exe command 40262 || status=1
    fi
    if [ "$SPACE_MOUSE" = 1 ]; then
        # A push into the cap of 400 (tz' = 2) divides the zoom by 1.1025.
        before=$("$WINE" probe/tolvaran_run_probe.exe status 1 | tr -d '\r')
        "$WINE" probe/tolvaran_run_probe.exe spacemouse 2 2 400 || status=1
        sleep 1
        after=$("$WINE" probe/tolvaran_run_probe.exe status 1 | tr -d '\r')
        echo "status before the push: $before; after: $after"
        grep -q '^SiOpen Tolvaran' spacemouse.log || { echo "the 3D mouse was not opened as Tolvaran"; status=1; }
        case "$after" in *"Zoom 0.91"*) ;; *) echo "the zoom of the push is not in the status bar"; status=1 ;; esac
    fi
    if [ "$BRAND_SET" = 1 ]; then
        title=$("$WINE" probe/tolvaran_run_probe.exe title | tr -d '\r')
        expected=$BRAND
        [ "$BRAND" = - ] && expected=Tolvaran
        echo "title: $title (expected the product $expected)"
        case "$title" in *"$expected"*) ;; *) echo "the title does not show the product"; status=1 ;; esac
        # A full frame first: the title can show before the view's first paint.
        "$WINE" probe/tolvaran_run_probe.exe repaint 3 || status=1
        "$WINE" probe/tolvaran_run_probe.exe readback brand-view.png || status=1
        # The package's "background" picture is the view's logo; without a
        # package the view has none.
        shown=yes
        [ "$BRAND" = - ] && shown=no
        /usr/bin/python3 "$ROOT/tools/view_check.py" --logo brand-view.png "$BUILD/app/ui/brand/background.png" \
            $shown || status=1
    fi
    if [ "$OPEN_SCAN" = good ]; then
        "$WINE" probe/tolvaran_run_probe.exe export-dialog 30 || status=1
        import -window root "$RUN/export-dialog.png" || status=1
        colours=$(identify -format '%k' "$RUN/export-dialog.png" 2>/dev/null || echo 0)
        echo "export dialog screenshot: $colours colours"
        [ "$colours" -ge 8 ] || { echo "the export dialog screenshot is blank"; status=1; }
        "$WINE" probe/tolvaran_run_probe.exe cancel-dialog 30 || status=1
    fi
    import -window root "$SHOT" || status=1
    # A child OpenGL window does not reach the Xvfb screen under Wine: the
    # test build's view gives its own picture of what it presented, which
    # goes where the view is.
    if [ "$PROGRAM" != Tolvaran.exe ] && "$WINE" probe/tolvaran_run_probe.exe readback view-shot.png >/dev/null; then
        rect=$("$WINE" probe/tolvaran_run_probe.exe viewrect | tr -d '\r')
        # shellcheck disable=SC2086
        /usr/bin/python3 "$ROOT/tools/view_check.py" --paste "$SHOT" view-shot.png $rect || status=1
    fi
    colours=$(identify -format '%k' "$SHOT" 2>/dev/null || echo 0)
    echo "screenshot $SHOT: $colours colours"
    if [ "$colours" -lt 8 ]; then
        echo "the screenshot is blank"
        status=1
    fi
    if [ -n "$LISTENER" ]; then
        wait "$LISTENER" || status=1
        tr -d '\r' <"$RUN/listener.log"
        if [ -n "$SECOND_LISTENER_ARGS" ]; then
            # shellcheck disable=SC2086
            "$WINE" probe/sim_pipe_listener.exe --seconds 120 "$@" $SECOND_LISTENER_ARGS >"$RUN/listener2.log" 2>&1 || status=1
            echo "second listener:"
            tr -d '\r' <"$RUN/listener2.log"
        fi
    fi
    "$WINE" probe/tolvaran_run_probe.exe close 30 || status=1
    code=0
    wait "$TOLVARAN" || code=$?
    echo "$PROGRAM exit code $code"
    [ "$code" = 0 ] || status=1
    if [ -n "$LISTENER" ]; then
        # Over the whole run no field may be lost to a full ring.
        summary=$(tr -d '\r' <"$RUN/tolvaran.log" | grep -E '^(ring|pipe): ' || true)
        echo "$summary"
        if ! echo "$summary" | grep -q '^ring: .*, overruns 0$'; then
            echo "fields were lost to a full ring"
            [ "${ALLOW_OVERRUN:-0}" = 1 ] || status=1
        fi

    fi
    exit $status
fi

# --- Set up, build and prepare the run folder. ------------------------------
USE_MORLITH=1
USE_SIM=1
if [ "$SETUP" = 1 ] && { ! command -v "$CROSS" >/dev/null 2>&1 || \
        ! command -v wine >/dev/null 2>&1 || ! command -v Xvfb >/dev/null 2>&1 || \
        ! command -v import >/dev/null 2>&1; }; then
    if [ "$(id -u)" = 0 ]; then "$ROOT/tools/setup.sh"; else sudo "$ROOT/tools/setup.sh"; fi
fi
if [ "$BUILD_IT" = 1 ]; then
    [ -f "$BUILD/CMakeCache.txt" ] || cmake --preset "$PRESET" -S "$ROOT" -B "$BUILD" >/dev/null
    cmake --build "$BUILD" --target "$PROGRAM_TARGET" tolvaran_run_probe
    # Optional parts: the program runs without them, and an old copy of one
    # that no longer builds is not used.
    for target in Morlith sim_ftd2xx sim_setup sim_pipe_listener; do
        if ! cmake --build "$BUILD" --target "$target" >/dev/null 2>&1; then
            echo "run.sh: $target not built; running without it"
            case "$target" in
                Morlith) USE_MORLITH=0 ;;
                *) USE_SIM=0 ;;
            esac
        fi
    done
fi
mkdir -p "$RUN/probe"
rm -f "$RUN/Tolvaran.exe" "$RUN/TolvaranReadBack.exe"
cp "$BUILD/app/ui/$PROGRAM" "$RUN/"
# The run's copy of the program with another branding package, or none.
if [ "$BRAND_SET" = 1 ]; then
    if [ "$BRAND" != - ]; then
        /usr/bin/python3 "$ROOT/tools/brand/pack_brand.py" "$RUN/$PROGRAM" --text "product=$BRAND" \
            --png "background=$BUILD/app/ui/brand/background.png"
    else
        /usr/bin/python3 "$ROOT/tools/brand/pack_brand.py" "$RUN/$PROGRAM" --strip
    fi
elif [ "$VIEW_CHECK" = 1 ]; then
    # The view check takes every pixel off the black background for the
    # cloud: its copy of the program goes without the logo.
    /usr/bin/python3 "$ROOT/tools/brand/pack_brand.py" "$RUN/$PROGRAM" --strip
fi
# The 3D mouse driver's stand-in, only in the run folder.
if [ "$SPACE_MOUSE" = 1 ] && [ -f "$BUILD/sim/siappdll/siappdll.dll" ]; then
    cp "$BUILD/sim/siappdll/siappdll.dll" "$RUN/"
else
    rm -f "$RUN/siappdll.dll"
fi
cp "$BUILD/app/ui/tolvaran_run_probe.exe" "$RUN/probe/"
# The DLLs the program loads (libpng and zlib).
for dll in "$BUILD"/dlls/*.dll; do if [ -f "$dll" ]; then cp "$dll" "$RUN/"; fi; done
if [ "$USE_MORLITH" = 1 ] && [ -f "$BUILD/surface/Morlith.dll" ]; then cp "$BUILD/surface/Morlith.dll" "$RUN/"; else rm -f "$RUN/Morlith.dll"; fi
rm -f "$RUN/sim-settings.txt"
if [ "$SCANNER_OFF" = 0 ] && [ "$USE_SIM" = 1 ] && [ -f "$BUILD/sim/FTD2XX.dll" ] && [ -f "$BUILD/sim/sim_setup.exe" ]; then
    cp "$BUILD/sim/FTD2XX.dll" "$RUN/"
    # The stand-in library reads the scenario beside itself.
    if [ -n "$SCENARIO" ]; then cp "$SCENARIO" "$RUN/Tolvaran-sim.scenario"; else rm -f "$RUN/Tolvaran-sim.scenario"; fi
    if [ -f "$BUILD/sim/sim_pipe_listener.exe" ]; then cp "$BUILD/sim/sim_pipe_listener.exe" "$RUN/probe/"; fi
    # The simulator's calibration file and .rsc keys, and the registry
    # values that must match them.
    WINEPREFIX="$RUN/wineprefix" "$ROOT/tools/wine-session.sh" sh -c \
        "cd '$RUN' && \"\$TOLVARAN_WINE\" '$BUILD/sim/sim_setup.exe' ${SCENARIO:+--scenario Tolvaran-sim.scenario} --calibration-folder . --rsc Tolvaran.rsc" \
        | tr -d '\r' | sed -n 's/^  \([A-Za-z]*\) = \([^ ]*\).*$/\1 \2/p' > "$RUN/sim-settings.txt"
else
    rm -f "$RUN/FTD2XX.dll" "$RUN/Tolvaran.rsc" "$RUN/Simulated.cfg" "$RUN/probe/sim_pipe_listener.exe"
fi

if [ "$HEADLESS" = 1 ]; then export TOLVARAN_OWN_DISPLAY=1; fi
set -- --inside --build-dir "$BUILD" --run-dir "$RUN" --expect-hw "$EXPECT_HW" --screenshot "$SHOT" \
    --listener "$LISTENER_ARGS" --second-listener "$SECOND_LISTENER_ARGS"
[ "$HEMISPHERE_SETUP" = 1 ] && set -- "$@" --hemisphere-setup
[ "$HEADLESS" = 1 ] && set -- "$@" --headless
[ "$SCANNER_OFF" = 1 ] && set -- "$@" --scanner-off
[ "$VIEW_CHECK" = 1 ] && set -- "$@" --view-check
[ "$SPACE_MOUSE" = 1 ] && set -- "$@" --space-mouse
[ "$BRAND_SET" = 1 ] && set -- "$@" --brand "$BRAND"
[ -n "$OPEN_SCAN" ] && set -- "$@" --open-scan "$OPEN_SCAN"
[ -n "$DRIVE" ] && set -- "$@" --drive "$DRIVE"
[ "${ALLOW_OVERRUN:-0}" = 1 ] && set -- "$@" --allow-ring-overrun
exec "$ROOT/tools/wine-session.sh" "$0" "$@"
