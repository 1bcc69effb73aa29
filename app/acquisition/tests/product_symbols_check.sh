#!/bin/sh
# The test generators (fields, sweeps, calibration files) belong to the
# simulator's support library, never to the product: fails when a product
# archive or program defines one of the functions the generators' objects in
# the simulator's archive define.
#   product_symbols_check.sh <nm> <simulator archive> <product file>...
set -eu
nm=$1
sim=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The generators' own functions; the standard library's instantiations they
# also carry are the product's too and are left out.
"$nm" -A -g --defined-only "$sim" |
    grep -E '(field_generator|sweep_generator|calibration_writer)\.cpp\.obj(:| )' |
    awk '$2 == "T" { print $3 }' |
    grep -Ev '^_?_ZN?K?St|^_?_ZN9__gnu_cxx' | sort -u >"$work/generators"
if [ ! -s "$work/generators" ]; then
    echo "no generator functions found in $sim" >&2
    exit 1
fi

status=0
for product in "$@"; do
    "$nm" -g --defined-only "$product" | awk '{ print $NF }' | sort -u >"$work/product"
    comm -12 "$work/generators" "$work/product" >"$work/both"
    if [ -s "$work/both" ]; then
        echo "$product defines generator functions:"
        sed 's/^/    /' "$work/both"
        status=1
    else
        echo "$product: no generator function among $(wc -l <"$work/product") symbols"
    fi
done
exit $status
