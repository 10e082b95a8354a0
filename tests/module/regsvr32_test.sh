#!/bin/sh
# Registers the built module with Wine's own regsvr32, as a setup program
# would: a complete REG.DAT writes the six values and exits 0; an incomplete
# one writes nothing and still exits 0.
# Usage: regsvr32_test.sh WINE_RUN PREFIX MODULE
set -u
run=$1 prefix=$2 module=$3
clsid=$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)
folder="$prefix/drive_c/regsvr32-test-$$"
win_folder="C:\\regsvr32-test-$$"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

query() {   # query ROOT: the registry listing of the class key
    "$run" "$prefix" reg query "$1\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /s 2>/dev/null | tr -d '\r'
}

exists() {  # exists ROOT: the class key is there
    "$run" "$prefix" reg query "$1\\SOFTWARE\\Classes\\CLSID\\{$clsid}" >/dev/null 2>&1
}

cleanup() {
    for root in HKCU HKLM; do
        "$run" "$prefix" reg delete "$root\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /f >/dev/null 2>&1
    done
    rm -rf "$folder"
}
trap cleanup EXIT

mkdir -p "$folder"
cp "$module" "$folder/Kestrum.ocx"

# Incomplete: VERSION is empty, so nothing is written.
printf '[REG]\r\nCLSID=%s\r\nTITLE=T\r\nVERSION=\r\nPATH=P\r\n' "$clsid" > "$folder/REG.DAT"
"$run" "$prefix" regsvr32 /s "$win_folder\\Kestrum.ocx" || fail "regsvr32 on an incomplete REG.DAT exited $?"
for root in HKCU HKLM; do
    ! exists $root || fail "$root written from an incomplete REG.DAT"
done

# Complete.
printf '[REG]\r\nCLSID=%s\r\nTITLE=Demo Title\r\nVERSION=2.0\r\nPATH=Apps\\Demo\r\n' "$clsid" > "$folder/REG.DAT"
"$run" "$prefix" regsvr32 /s "$win_folder\\Kestrum.ocx" || fail "regsvr32 exited $?"
for root in HKCU HKLM; do
    out=$(query $root)
    echo "$out"
    for expected in 'REG_SZ    Demo Title' 'REG_SZ    2.0' 'Path    REG_SZ    C:\Apps\Demo'; do
        echo "$out" | grep -qF "$expected" || fail "$root lacks: $expected"
    done
    [ "$(echo "$out" | grep -c REG_SZ)" -eq 3 ] || fail "$root holds other than three values"
done

if [ $failures -eq 0 ]; then
    echo "regsvr32: 1 passed, 0 failed"
else
    echo "regsvr32: 0 passed, 1 failed"
    exit 1
fi
