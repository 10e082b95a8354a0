#!/bin/sh
# kestrum.exe against what regsvr32 writes, in a fresh prefix of its own (no
# other test writes there, so whole registry exports can be compared):
#   - the registry script of "register --reg", imported with regedit /s,
#     gives exactly the keys and values regsvr32 writes;
#   - "unregister --write" after regsvr32 leaves the registry as before;
#   - a value changed in between is kept and reported.
# All of it in a folder whose name the prefix's code page cannot spell.
# Usage: registry_test.sh WINE_RUN WINEARCH PREFIX MODULE TOOL
set -u
run=$1 arch=$2 prefix=$3 module=$4 tool=$5
clsid=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
win='C:\kestrum-registry-설치'
folder="$prefix/drive_c/kestrum-registry-설치"
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wine_() { "$run" "$arch" "$prefix" "$@"; }
. "$(dirname "$run")/wine-env"
. "$(dirname "$0")/registry_exports.sh"

WINEPREFIX="$prefix" kestrum_wineserver -k 2>/dev/null
rm -rf "$prefix" "$prefix.lock"
wine_ cmd /c exit 0 >/dev/null 2>&1
trap 'WINEPREFIX="$prefix" kestrum_wineserver -k 2>/dev/null' EXIT
mkdir -p "$folder"
cp "$module" "$folder/Kestrum.ocx"
cp "$tool" "$folder/kestrum.exe"
printf '[REG]\r\nCLSID=%s\r\nTITLE=Demo "Title"\r\nVERSION=2.0\r\nPATH=Apps\\Demo\r\n' "$clsid" > "$folder/REG.DAT"
classes="SOFTWARE\\Classes\\CLSID\\{$clsid}"
whole="HKEY_CURRENT_USER HKEY_LOCAL_MACHINE\\SOFTWARE"
mine="HKEY_CURRENT_USER\\$classes HKEY_LOCAL_MACHINE\\$classes"

# A Windows profile always holds the per-user classes key, which
# registration writes below; a fresh prefix lacks it until someone writes it.
wine_ reg add "HKCU\\SOFTWARE\\Classes\\CLSID" /f >/dev/null
# shellcheck disable=SC2086
export_keys before $whole
wine_ regsvr32 /s "$win\\Kestrum.ocx" || fail "regsvr32 exited $?"
# shellcheck disable=SC2086
export_keys regsvr32 $mine

# The script, imported where regsvr32's keys were, gives the same export.
wine_ "$win\\kestrum.exe" register "$win" --reg "$win\\script.reg" >/dev/null || fail "register --reg exited $?"
head -c 2 "$folder/script.reg" | od -An -tx1 | grep -q 'ff fe' || fail "script has no UTF-16 byte-order mark"
for key in $mine; do
    wine_ reg delete "$key" /f >/dev/null 2>&1
done
wine_ regedit /s "$win\\script.reg" || fail "regedit /s exited $?"
# shellcheck disable=SC2086
export_keys imported $mine
same "$folder/regsvr32" "$folder/imported"

# Undo: the registry is as before.
wine_ "$win\\kestrum.exe" unregister "$win" --write >/dev/null || fail "unregister exited $?"
# shellcheck disable=SC2086
export_keys after $whole
same "$folder/before" "$folder/after"

# A value changed after registration stays, and is reported.
wine_ regsvr32 /s "$win\\Kestrum.ocx"
wine_ reg add "HKCU\\$classes\\InstalledVersion" /v Path /d other /f >/dev/null
err=$(wine_ "$win\\kestrum.exe" unregister "$win" --write 2>&1 >/dev/null | tr -d '\r')
echo "$err" | grep -q 'InstalledVersion: Path: holds "other", not what REG.DAT gives: kept' ||
    fail "the changed value is not reported: $err"
wine_ reg query "HKCU\\$classes\\InstalledVersion" /v Path 2>/dev/null | grep -q other || fail "the changed value is gone"
wine_ reg query "HKLM\\$classes" >/dev/null 2>&1 && fail "HKLM keys left behind"

if [ $failures -eq 0 ]; then
    echo "registry: 1 passed, 0 failed"
else
    echo "registry: 0 passed, 1 failed"
    exit 1
fi
