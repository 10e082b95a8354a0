#!/bin/sh
# The binaries as `cmake --install` ships them, read by objdump (no Wine):
# no symbol, no debug section, at most the row's KiB (0: any), MinGW's stack
# protector, ASLR, DEP and 64-bit high-entropy ASLR, no section writable
# and executable (code that is not read-only).
# Usage: binaries_test.sh BUILD_DIR WORK_DIR OBJDUMP
set -eu
build=$1 work=$2 objdump=$3
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
cmake --install "$build" --prefix "$work" >/dev/null
while read -r file limit; do
    headers=$("$objdump" -x "$work/$file")
    kib=$((($(wc -c <"$work/$file") + 1023) / 1024))
    echo "$file: $kib KiB"
    [ "$limit" = 0 ] || [ "$kib" -le "$limit" ] || fail "$file: more than $limit KiB"
    echo "$headers" | grep -qx "no symbols" || fail "$file: symbols"
    ! echo "$headers" | grep -Eq "^ *[0-9]+ \.z?debug" || fail "$file: debug sections"
    ! echo "$headers" | grep -A1 -E "^ *[0-9]+ \." | grep CODE | grep -vq READONLY || fail "$file: W+X section"
    marks="DYNAMIC_BASE NX_COMPAT"
    ! echo "$headers" | grep -q "(PE32+)" || marks="$marks HIGH_ENTROPY_VA"
    for mark in $marks; do
        echo "$headers" | grep -qw "$mark" || fail "$file: no $mark"
    done
    grep -q "stack smashing detected" "$work/$file" || fail "$file: no stack protector"
done <<TABLE
bin/Kestrum.ocx  160
bin/kestrum.exe  0
TABLE
[ $failures -eq 0 ]
