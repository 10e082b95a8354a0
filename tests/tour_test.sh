#!/bin/sh
# Runs the library tour and checks that the document it is given
# (docs/library.md) shows its output: the indented lines between the "tour"
# markers, in order, are exactly what the program prints (blank lines and
# section headings aside).
# Usage: tour_test.sh DOCUMENT WINE_RUN WINEARCH PREFIX TOUR_EXE
set -u
readme=$1 run=$2 arch=$3 prefix=$4 tour=$5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$run" "$arch" "$prefix" "$tour" | tr -d '\r' | grep -v '^\[' | grep -v '^$' > "$work/printed"
sed -n '/^<!-- tour -->$/,/^<!-- \/tour -->$/p' "$readme" | grep '^    ' | sed 's/^    //' > "$work/shown"

if [ ! -s "$work/shown" ]; then
    echo "$readme shows no tour output"
    echo "tour: 0 passed, 1 failed"
    exit 1
fi
if diff -u "$work/shown" "$work/printed"; then
    echo "tour: 1 passed, 0 failed"
else
    echo "$readme (-) and the tour's output (+) differ"
    echo "tour: 0 passed, 1 failed"
    exit 1
fi
