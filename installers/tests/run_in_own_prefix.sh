#!/bin/sh
# Runs a Windows test program under Wine in a fresh prefix of its own, so
# that what installers do to the system (devices, services, the INF store)
# never reaches the prefix the other tests share. Each filter after the
# program is one Wine session (the server stopped between them, as a
# restart of the computer would): what only starts with the next session is
# tested there.
#   run_in_own_prefix.sh <prefix folder> <wine bits> <wine-run.sh> <program> <gtest filter>...
set -u
prefix=$1 bits=$2 runner=$3 program=$4
shift 4
if [ "$bits" = 64 ]; then server=/usr/lib/wine/wineserver64; else server=wineserver; fi
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX="$prefix"
"$runner" wineboot -i >/dev/null 2>&1
# The new prefix's own services come up after wineboot returns: let that
# first session end before the programs start theirs.
"$server" -w >/dev/null 2>&1
rc=0
for filter in "$@"; do
    "$runner" "$program" --gtest_filter="$filter" || rc=1
    "$server" -k >/dev/null 2>&1
    "$server" -w >/dev/null 2>&1
done
exit $rc
