#!/bin/sh
# Sets up a fresh machine (as root), builds the native and the Windows preset
# and runs every test of both; the Windows tests run under Wine on Xvfb (in
# the 64-bit build where this machine cannot run 32-bit x86 code).
set -eu
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
if [ "$(id -u)" = 0 ]; then ./tools/setup.sh; else sudo ./tools/setup.sh; fi

JOBS=$(nproc)
status=0

cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS"
ctest --preset native -j "$JOBS" || status=1

# The native tests that run more than one thread, again under ThreadSanitizer.
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$JOBS" --target tolvaran_thread_tests
ctest --preset native-tsan -L threads -j "$JOBS" || status=1

cmake --preset windows >/dev/null
# Under Wine a test program has, rarely and only on a heavily loaded machine,
# died at exit or stalled; such a test runs once more and its first failure
# stays in the log. A test that fails twice fails the run.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    cmake --build --preset windows -j "$JOBS"
    echo "check: Windows tests: the 32-bit shipped build (preset windows) under 32-bit Wine"
    ./tools/wine-session.sh ctest --preset windows -j "$JOBS" --repeat until-pass:2 || status=1
else
    # Some kernels are built without 32-bit x86 support: neither 32-bit Linux
    # programs (32-bit Wine itself) nor 32-bit Windows code under a 64-bit Wine
    # can run there. The 32-bit deliverables are still compiled and linked (the
    # tests, which could not run, are not built); the same sources built for
    # 64-bit Windows run the Windows tests under 64-bit Wine instead.
    cmake --build --preset windows -j "$JOBS" --target tolvaran_shipped shipped_check_fixtures
    echo "check: Windows tests: the 64-bit fallback build (preset windows64) under 64-bit Wine." \
         "NOTICE: this machine cannot run 32-bit x86 code; the 32-bit Windows" \
         "deliverables were compiled and linked, its tests were neither built nor run" \
         "(but for the checks of its files from their bytes)"
    # The shipped 32-bit files are checked from their bytes alone (the driver
    # image; imports, instructions and test hooks of every shipped file),
    # which needs no Wine.
    ctest --preset windows -R '^(driver\.image_check|tools\.shipped_check|tools\.shipped_check_test)$' || status=1
    cmake --preset windows64 >/dev/null
    cmake --build --preset windows64 -j "$JOBS"
    ./tools/wine-session.sh ctest --preset windows64 -j "$JOBS" --repeat until-pass:2 || status=1
fi

exit $status
