#!/bin/sh
# shellcheck disable=SC2086  # $whole, $mine and $parents are lists of keys
# kestrum.exe against what regsvr32 writes, in a fresh prefix of its own (no
# other test writes there, so whole registry exports can be compared):
#   - the registry script of "register --reg", imported with regedit /s,
#     gives exactly the keys and values regsvr32 writes;
#   - "unregister --write" after regsvr32 leaves the registry as before;
#   - a value changed in between is kept and reported.
# "check" reads it back: a table of cases, each with its statuses, summary
# and exit code. The 32-bit view is written by "register --write --view
# 32" and, where 32-bit Wine runs, by the 32-bit module's own regsvr32 in a
# 64-bit prefix (MODULE32, or MODULE in a 32-bit tree).
# Then, in a second fresh prefix, packages that wixl builds and msiexec
# installs and uninstalls: the fragment of "register --wxs" in a small
# product (regsvr32's values exactly; uninstalling restores both CLSID keys),
# and one whose SelfReg table (added by msibuild) names the module (the same;
# uninstalling calls DllUnregisterServer, which removes nothing). The folder
# is named in a script code page 1252 lacks; TITLE holds what Windows
# Installer or WiX would read as their own unless escaped.
# Usage: registry_test.sh WINE_RUN WINEARCH PREFIX MODULE TOOL [MODULE32]
set -u
run=$1 arch=$2 prefix=$3 module=$4 tool=$5 module32=${6:-}
[ "$arch" = win32 ] && module32=$module
for program in wixl msibuild; do
    command -v $program >/dev/null || { echo "FAIL: no $program (scripts/setup installs wixl and msitools)"; exit 1; }
done
export LC_ALL=C.UTF-8   # Wine's code page 1252, in which REG.DAT's byte E9 is é
clsid=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
other=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
win='C:\kestrum-registry-설치'
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
wine_() { "$run" "$arch" "$p" "$@"; }
. "$(dirname "$run")/wine-env"
# export NAME KEY...: regedit's export of each key, one file per key.
export_keys() {
    name=$1; shift
    i=0
    for key in "$@"; do
        wine_ regedit /e "$win\\$name-$i.reg" "$key" || fail "regedit /e $key"
        i=$((i + 1))
    done
}
same() {    # same A B: the exports A-* and B-* (host paths) are identical
    for a in "$1"-*.reg; do
        cmp -s "$a" "$2-${a##*-}" || fail "${a##*/} and ${2##*/}-${a##*-} differ"
    done
}
# fresh PREFIX: a new prefix $p, with the module, the tool and REG.DAT in
# $win ($dir here), and the per-user classes key that every Windows profile
# has, registration writes below and a fresh prefix lacks.
fresh() {
    p=$1 dir=$1/drive_c/kestrum-registry-설치
    WINEPREFIX="$p" kestrum_wineserver -k 2>/dev/null
    rm -rf "$p" "$p.lock"
    wine_ cmd /c exit 0 >/dev/null 2>&1
    mkdir -p "$dir"
    cp "$module" "$dir/Kestrum.ocx"
    cp "$tool" "$dir/kestrum.exe"
    printf '[REG]\r\nCLSID=%s\r\nTITLE=%s\r\nVERSION=2.0 [beta]\r\nPATH=Apps\\{Demo}$\r\n' "$clsid" \
        "$(printf '#1 [~] {{x}} $(sys.X) !(loc.Y) & <\351> "q"')" > "$dir/REG.DAT"
    wine_ reg add "HKCU\\SOFTWARE\\Classes\\CLSID\\{$other}" /ve /d other /f >/dev/null
}
trap 'for q in "$prefix" "$prefix-msi" "$prefix-wow64"; do WINEPREFIX="$q" kestrum_wineserver -k 2>/dev/null; done' EXIT
fresh "$prefix"
folder=$dir
classes="SOFTWARE\\Classes\\CLSID\\{$clsid}"
whole="HKEY_CURRENT_USER HKEY_LOCAL_MACHINE\\SOFTWARE"
mine="HKEY_CURRENT_USER\\$classes HKEY_LOCAL_MACHINE\\$classes"

export_keys before $whole
wine_ regsvr32 /s "$win\\Kestrum.ocx" || fail "regsvr32 exited $?"
export_keys regsvr32 $mine

# The script, imported where regsvr32's keys were, gives the same export.
wine_ "$win\\kestrum.exe" register "$win" --reg "$win\\script.reg" >/dev/null || fail "register --reg exited $?"
head -c 2 "$folder/script.reg" | od -An -tx1 | grep -q 'ff fe' || fail "script has no UTF-16 byte-order mark"
for key in $mine; do
    wine_ reg delete "$key" /f >/dev/null 2>&1
done
wine_ regedit /s "$win\\script.reg" || fail "regedit /s exited $?"
export_keys imported $mine
same "$folder/regsvr32" "$folder/imported"

# Undo: the registry is as before.
wine_ "$win\\kestrum.exe" unregister "$win" --write >/dev/null || fail "unregister exited $?"
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

# check CASE SETUP ARGS STATUSES SUMMARY EXIT [FOUND]: with both class keys
# gone and SETUP run, "check ARGS" prints STATUSES (the first field of its
# value lines), "summary<TAB>SUMMARY" and exits EXIT; FOUND, when given,
# ends a value line.
check() {
    for key in $mine; do
        wine_ reg delete "$key" /f >/dev/null 2>&1
    done
    eval "$2" || fail "check $1: its set-up exited $?"
    wine_ "$win\\kestrum.exe" check "$win" $3 > "$dir/check.out" 2>/dev/null
    code=$?
    tr -d '\r' < "$dir/check.out" > "$dir/check.txt"
    got=$(awk -F '\t' 'NF == 6 { printf "%s%s", sep, $1; sep = " " }' "$dir/check.txt")
    [ "$got" = "$4" ] || fail "check $1: statuses '$got', not '$4'"
    grep -qx "summary	$5" "$dir/check.txt" || fail "check $1: no summary '$5': $(grep summary "$dir/check.txt")"
    [ $code = "$6" ] || fail "check $1: exit code $code, not $6"
    [ -z "${7:-}" ] || awk -F '\t' -v f="$7" 'NF == 6 && $6 == f { n++ } END { exit !n }' "$dir/check.txt" ||
        fail "check $1: no value line ends in '$7'"
}
ok6="ok ok ok ok ok ok" no="not registered as REG.DAT says"
register='wine_ regsvr32 /s "$win\\Kestrum.ocx"'
register32='wine_ "$win\\kestrum.exe" register "$win" --write --view 32 >/dev/null'
cu="HKCU\\$classes" lm="HKLM\\$classes"
check "after regsvr32" "$register" "" "$ok6" registered 0
check "version changed" "$register && wine_ reg add '$cu\\InstalledVersion' /ve /d 1.9 /f >/dev/null" "" \
    "ok differs ok ok ok ok" "$no" 1 1.9
check "trailing space" "$register && wine_ reg add '$lm\\InstalledVersion' /ve /d '2.0 [beta] ' /f >/dev/null" "" \
    "ok ok ok ok differs ok" "$no" 1 "2.0 [beta] "
check "key deleted" "$register && wine_ reg delete '$lm\\InstalledVersion' /f >/dev/null" "" \
    "ok ok ok ok missing missing" "$no" 1
check "REG_DWORD" "$register && wine_ reg add '$cu' /ve /t REG_DWORD /d 1 /f >/dev/null" "" \
    "not-string ok ok ok ok ok" "$no" 1 REG_DWORD
# views SETUP: the values written in the 32-bit view only; both views come
# in turn, the tool's own first. Wine shares the current user's CLSID key
# between the views, so only the machine's values miss in the 64-bit one.
machine_missing="ok ok ok missing missing missing"
both="$machine_missing $ok6"
[ "$arch" = win32 ] && both="$ok6 $machine_missing"
views() {
    check "32-bit, --view 64" "$1" "--view 64" "$machine_missing" "$no" 1
    check "32-bit, --view both" "$1" "--view both" "$both" "registered in the 32-bit view only" 1
}
[ "$arch" = win64 ] && views "$register32"
if [ -n "$module32" ] && ! reason=$(kestrum_why_no_wine32); then
    # The 32-bit module's regsvr32, as on 64-bit Windows.
    saved_arch=$arch arch=win64
    fresh "$prefix-wow64"
    cp "$module32" "$dir/Kestrum32.ocx"
    views 'wine_ "C:\\windows\\syswow64\\regsvr32.exe" /s "$win\\Kestrum32.ocx"'
    arch=$saved_arch
else
    echo "not run: check of the 32-bit module's own registration: ${reason:-no 32-bit module given}"
fi

# Windows Installer. product NAME [WXS...] < ELEMENTS: $dir/NAME.msi, a
# product of ELEMENTS and the fragments WXS, built by wixl.
bits=32 wixl_arch=x86 win64=no files=ProgramFilesFolder
[ "$arch" = win32 ] || bits=64 wixl_arch=x64 win64=yes files=ProgramFiles64Folder
product() {
    pname=$1 elements=$(cat); shift
    cat > "$dir/$pname.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="$pname" Language="1033" Codepage="1252" Version="1.0.0" Manufacturer="Kestrum tests"
           UpgradeCode="$(cat /proc/sys/kernel/random/uuid)">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" />
    $elements
  </Product>
</Wix>
EOF
    (cd "$dir" && wixl -a $wixl_arch -o "$pname.msi" "$pname.wxs" "$@") || fail "wixl $pname exited $?"
}
fresh "$prefix-msi"
parents="HKEY_CURRENT_USER\\SOFTWARE\\Classes\\CLSID HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID"
export_keys clean $parents
wine_ "$win\\kestrum.exe" register "$win" --wxs "$win\\kestrum.wxs" >/dev/null || fail "register --wxs exited $?"
grep -qF "registers for $win\\REG.DAT" "$dir/kestrum.wxs" || fail "the fragment does not name its REG.DAT"
# Component GUIDs: version-5 UUIDs of "VIEW:ROOT\CLASSKEY" in upper case.
for root in HKEY_CURRENT_USER HKEY_LOCAL_MACHINE; do
    h=$(printf '\273\164\367\136\161\125\113\062\251\056\256\265\142\216\316\011%s' \
        "$(printf '%s' "$bits:$root\\$classes" | tr a-z A-Z)" | sha1sum | tr a-f A-F)
    v=$(printf '%02X' $(( (0x$(echo "$h" | cut -c17-18) & 0x3F) | 0x80 )))
    guid=$(echo "$h" | sed "s/^\(.\{8\}\)\(.\{4\}\).\(.\{3\}\)..\(..\)\(.\{12\}\).*/\1-\2-5\3-$v\4-\5/")
    grep -q "Guid=\"$guid\" Win64=\"$win64\"" "$dir/kestrum.wxs" || fail "no component $guid for $root"
done
product fragment kestrum.wxs <<EOF
<Directory Id="TARGETDIR" Name="SourceDir" />
    <Feature Id="Registration" Level="1"><ComponentGroupRef Id="KestrumRegistration" /></Feature>
EOF
wine_ msiexec /i "$win\\fragment.msi" /qn || fail "msiexec /i fragment.msi exited $?"
export_keys installed $mine
same "$folder/regsvr32" "$dir/installed"
wine_ msiexec /x "$win\\fragment.msi" /qn || fail "msiexec /x fragment.msi exited $?"
export_keys uninstalled $parents
same "$dir/clean" "$dir/uninstalled"

product selfreg <<EOF
<Media Id="1" Cabinet="module.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir"><Directory Id="$files"><Directory Id="DIR" Name="Kestrum SelfReg">
      <Component Id="Module" Guid="*" Win64="$win64"><File Id="KestrumOcx" Source="Kestrum.ocx" KeyPath="yes" />
        <File Id="RegDat" Source="REG.DAT" /></Component></Directory></Directory></Directory>
    <Feature Id="Module" Level="1"><ComponentRef Id="Module" /></Feature>
EOF
# The table, and its actions where Windows Installer's own sequence has them.
q='INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES'
msibuild "$dir/selfreg.msi" -q 'CREATE TABLE `SelfReg` (`File_` CHAR(72) NOT NULL, `Cost` SHORT PRIMARY KEY `File_`)' \
    -q "INSERT INTO \`SelfReg\` (\`File_\`, \`Cost\`) VALUES ('KestrumOcx', 0)" \
    -q "$q ('SelfUnregModules', 2200)" -q "$q ('SelfRegModules', 6500)" || fail "msibuild exited $?"
wine_ msiexec /i "$win\\selfreg.msi" /qn >/dev/null || fail "msiexec /i selfreg.msi exited $?"
export_keys selfreg $mine
same "$folder/regsvr32" "$dir/selfreg"
# Wine's installer runs regsvr32 /u for SelfUnregModules, which says so.
out=$(wine_ msiexec /x "$win\\selfreg.msi" /qn 2>&1) || fail "msiexec /x selfreg.msi exited $?"
echo "$out" | grep -q "unregistered DLL" || fail "the module was not unregistered: $out"
[ ! -e "$p/drive_c/Program Files/Kestrum SelfReg/Kestrum.ocx" ] || fail "the package left its module behind"
export_keys left $mine
same "$folder/regsvr32" "$dir/left"

if [ $failures -eq 0 ]; then
    echo "registry: 1 passed, 0 failed"
else
    echo "registry: 0 passed, 1 failed"
    exit 1
fi
