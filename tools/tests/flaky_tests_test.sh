#!/bin/sh
# The flaky-test summary over a check log: a Windows test (32- or 64-bit
# build) that failed and then passed is named; a native failure of the same
# name, a Windows test that passed at once and one that failed twice are not.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
got=$(sh "$here/../flaky_tests.sh" "$here/flaky_fixture/check.log")
expected="flaky: app/x.b_test
flaky: app/x.c_test
flaky: app/x.e_test"
if [ "$got" != "$expected" ]; then
    printf 'expected:\n%s\ngot:\n%s\n' "$expected" "$got"
    exit 1
fi
got=$(printf 'Test project /w/build/windows\n1/1 Test #1: app/x.a_test ....   Passed    0.05 sec\n' |
    sh "$here/../flaky_tests.sh" /dev/stdin)
if [ "$got" != "flaky: none" ]; then
    printf 'a clean log: got %s\n' "$got"
    exit 1
fi
echo ok
