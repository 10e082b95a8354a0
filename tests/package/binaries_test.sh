#!/bin/sh
# The binaries as `cmake --install` ships them, read by objdump (no Wine):
# no symbol, no debug section, at most the row's KiB (0: any), ASLR, DEP and
# 64-bit high-entropy ASLR, no section writable and executable (code that
# is not read-only). Then every program and DLL of the build tree, the
# tests' own included: it imports KnownDLLs only, which Windows never takes
# from a program's folder (the others, version.dll and wininet.dll among
# them, are loaded from the system folder at run time). Stack protection is
# shown by what it does (framework_tests, StackGuard).
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
done <<TABLE
bin/Kestrum.ocx  160
bin/kestrum.exe  0
TABLE

. "$(dirname "$0")/known_dlls.sh"
known_dlls_only "$objdump" "$build"/bin/*.exe "$build"/bin/*.dll "$build"/bin/*.ocx ||
    fail "a binary imports other than KnownDLLs, or none was found"
[ $failures -eq 0 ]
