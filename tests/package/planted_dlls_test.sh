#!/bin/sh
# DLLs planted beside the programs must never load. Windows looks in a
# program's own folder first for every DLL that is not a KnownDLL, and
# setup programs run from download folders; Wine does the same for DLLs
# whose load order is native first, which this test gives the planted
# names. Beside kestrum.exe, a host that loads the module from another
# folder and registers it, and two programs built on the library lie
# copies of a DLL named after what they load at run time: the
# cryptographic provider's chain, wininet.dll and what it imports, and the
# DirectX diagnostic provider's chain (as Wine's +loaddll shows them). Each
# program must run (exit 0) without Wine loading any DLL from its folder.
# version.dll is not planted: Wine's own user32 imports it, so it would
# load beside any program; the import tables are checked for it
# (binaries_test.sh).
# Usage: planted_dlls_test.sh WINE_RUN WINEARCH PREFIX BIN_DIR
set -u
run=$1 arch=$2 prefix=$3 bin=$4
folder="$prefix/drive_c/planted-$$"
win_folder="C:\\planted-$$"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

names="bcrypt crypt32 rsaenh cryptbase cryptsp wininet mpr iphlpapi dnsapi userenv propsys windowscodecs
       dxdiagn d3d9 ddraw dsound dxgi wined3d quartz devenum msdmo winmm msacm32 avicap32 msvfw32 comctl32
       opengl32 mmdevapi"
overrides=$(echo $names | tr ' ' ',')=n,b

clsid=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
cleanup() {
    for root in HKCU HKLM; do
        "$run" "$arch" "$prefix" reg delete "$root\\SOFTWARE\\Classes\\CLSID\\{$clsid}" /f >/dev/null 2>&1
    done
    rm -rf "$folder" "$folder-module"
}
trap cleanup EXIT

mkdir -p "$folder" "$folder-module"
for program in kestrum.exe registering_host.exe kestrum_dxrelease.exe kestrum_tour.exe; do
    cp "$bin/$program" "$folder/" || fail "no $program in $bin"
done
for name in $names; do
    cp "$bin/throwing_module.dll" "$folder/$name.dll"
done
cp "$bin/Kestrum.ocx" "$folder-module/"
printf '[REG]\r\nCLSID=%s\r\nTITLE=Planted\r\nVERSION=1\r\nPATH=Planted\r\n' "$clsid" > "$folder-module/REG.DAT"

# What each program is asked to do: what loads the DLLs named above.
while read -r program args; do
    log=$folder/loads.log
    out=$(KESTRUM_WINEDEBUG=+loaddll KESTRUM_WINEDLLOVERRIDES="$overrides" \
        "$run" "$arch" "$prefix" "$win_folder\\$program" $args 2>"$log")
    status=$?
    planted=$(grep -o 'Loaded L"[^"]*"' "$log" | grep -iF "planted-$$\\\\" | grep -viF "\\\\$program\"" |
        sed 's/.*\\//; s/"$//' | sort -u | tr '\n' ' ')
    if [ -n "$planted" ]; then
        fail "$program $args loaded from its folder: $planted"
    elif [ $status -ne 0 ]; then
        fail "$program $args: exit code $status: $out"
    else
        echo "ok: $program $args"
    fi
done <<TABLE
kestrum.exe --version
kestrum.exe scheme http://example.com/
kestrum.exe version C:\\windows\\system32\\kernel32.dll
kestrum.exe dx
kestrum.exe register $win_folder-module
registering_host.exe $win_folder-module\\Kestrum.ocx
kestrum_dxrelease.exe
kestrum_tour.exe
TABLE

if [ $failures -eq 0 ]; then
    echo "planted_dlls: 1 passed, 0 failed"
else
    echo "planted_dlls: 0 passed, 1 failed"
    exit 1
fi
