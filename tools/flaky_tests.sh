#!/bin/sh
# Names the Windows tests of a check log (tools/check.sh's output) that
# passed only on their second run: the Windows tests run with one repeat
# after a failure, so such a test leaves the run green, but it is a defect to
# be found. Prints one "flaky: <test>" line each, or "flaky: none".
#   flaky_tests.sh <check log>
set -eu
awk '
    # Each ctest run begins with its build folder; only the Windows runs (the
    # 32-bit build, or the 64-bit one where 32-bit code cannot run) repeat.
    /^Test project / { windows = ($0 ~ /\/build\/windows(64)?\/?$/); next }
    !windows { next }
    /Test +#[0-9]+: / {
        name = $0
        sub(/.*Test +#[0-9]+: /, "", name)
        sub(/ .*/, "", name)
        if ($0 ~ /\*\*\*/) failed[name] = 1
        else if ($0 ~ / Passed / && (name in failed)) flaky[name] = 1
    }
    END {
        n = 0
        for (t in flaky) { print "flaky: " t; n++ }
        if (n == 0) print "flaky: none"
    }
' "$1" | sort
