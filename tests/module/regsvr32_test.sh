#!/bin/sh
# Registers the built module with Wine's own regsvr32, as a setup program
# would: a complete REG.DAT writes the six values and exits 0; an incomplete
# one writes nothing and still exits 0. In a 64-bit prefix the module is
# registered by the regsvr32 of its own width, and what a setup author must
# know is checked: a 32-bit module's machine values land in the 32-bit
# registry view and a 64-bit module's in the 64-bit view, each read back
# with reg query /reg:32 or /reg:64. The module also registers from
# folders the active code page cannot spell (1252, 932 and 949) and from one
# whose name ends in a trail byte that is "\" (表 in 932); the double-byte
# rows need LOCPATH to hold the ja_JP and ko_KR locales.
# Usage: regsvr32_test.sh WINE_RUN WINEARCH PREFIX MODULE BITS
set -u
run=$1 arch=$2 prefix=$3 module=$4 bits=$5
clsid=$(cat /proc/sys/kernel/random/uuid | tr a-z A-Z)
folder="$prefix/drive_c/regsvr32-test-$$"
win_folder="C:\\regsvr32-test-$$"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wine() { "$run" "$arch" "$prefix" "$@"; }

regsvr32=regsvr32
own_view="" other_view=""
if [ "$arch" = win64 ]; then
    [ "$bits" = 32 ] && regsvr32='C:\windows\syswow64\regsvr32.exe'
    own_view=/reg:$bits
    other_view=/reg:$((96 - bits))
fi

query() {   # query ROOT [VIEW]: the registry listing of the class key
    wine reg query "$1\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /s ${2:-} 2>/dev/null | tr -d '\r'
}

exists() {  # exists ROOT [VIEW]: the class key is there
    wine reg query "$1\\SOFTWARE\\Classes\\CLSID\\{$clsid}" ${2:-} >/dev/null 2>&1
}

cleanup() {
    for root in HKCU HKLM; do
        wine reg delete "$root\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /f $own_view >/dev/null 2>&1
    done
    rm -rf "$folder"
}
trap cleanup EXIT

mkdir -p "$folder"
cp "$module" "$folder/Kestrum.ocx"

# Incomplete: VERSION is empty, so nothing is written.
printf '[REG]\r\nCLSID=%s\r\nTITLE=T\r\nVERSION=\r\nPATH=P\r\n' "$clsid" > "$folder/REG.DAT"
wine "$regsvr32" /s "$win_folder\\Kestrum.ocx" || fail "regsvr32 on an incomplete REG.DAT exited $?"
for root in HKCU HKLM; do
    ! exists $root $own_view || fail "$root written from an incomplete REG.DAT"
done

# Complete, in a folder of each kind; LOCALE "-" is the prefix's own.
complete_in() {   # complete_in LOCALE FOLDER
    locale=$1 name=$2 dir="$prefix/drive_c/$2"
    [ "$dir" = "$folder" ] || { rm -rf "$dir"; mkdir -p "$dir"; cp "$module" "$dir/Kestrum.ocx"; }
    printf '[REG]\r\nCLSID=%s\r\nTITLE=Demo Title\r\nVERSION=2.0\r\nPATH=Apps\\Demo\r\n' "$clsid" > "$dir/REG.DAT"
    for root in HKCU HKLM; do
        wine reg delete "$root\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /f $own_view >/dev/null 2>&1
    done
    if [ "$locale" = - ]; then
        wine "$regsvr32" /s "C:\\$name\\Kestrum.ocx" || fail "$regsvr32 exited $? in C:\\$name"
    else
        LC_ALL=$locale wine "$regsvr32" /s "C:\\$name\\Kestrum.ocx" || fail "$regsvr32 exited $? in $locale C:\\$name"
    fi
    for root in HKCU HKLM; do
        out=$(query $root $own_view)
        printf '%s\n' "$root $own_view, $locale C:\\$name:"
        echo "$out"
        for expected in 'REG_SZ    Demo Title' 'REG_SZ    2.0' 'Path    REG_SZ    C:\Apps\Demo'; do
            echo "$out" | grep -qF "$expected" || fail "$root $own_view lacks: $expected ($locale C:\\$name)"
        done
        [ "$(echo "$out" | grep -c REG_SZ)" -eq 3 ] || fail "$root $own_view holds other than three values"
    done
    [ "$dir" = "$folder" ] || rm -rf "$dir"
}
complete_in - "regsvr32-test-$$"
complete_in - "설치-$$"
if [ -n "${LOCPATH:-}" ]; then
    complete_in ja_JP.UTF-8 "설치-$$"
    complete_in ja_JP.UTF-8 表
    complete_in ko_KR.UTF-8 "ก-$$"
fi
# The machine's classes have a view per width. (On Windows the user's
# class keys are redirected too; Wine keeps one for both widths, so that
# half is not checked here.)
if [ -n "$other_view" ] && exists HKLM $other_view; then
    fail "HKLM: a $bits-bit registration shows in the $other_view view too"
fi

if [ $failures -eq 0 ]; then
    echo "regsvr32: 1 passed, 0 failed"
else
    echo "regsvr32: 0 passed, 1 failed"
    exit 1
fi
