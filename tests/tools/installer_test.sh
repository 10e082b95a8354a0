#!/bin/sh
# Registration by Wine's Windows Installer, from packages wixl builds, each
# against what regsvr32 writes for the same REG.DAT, each in a fresh prefix:
#   - the fragment of "register --wxs", in a small product, installs exactly
#     regsvr32's keys and values under both roots, and uninstalling it
#     leaves both roots' CLSID keys as they were;
#   - a package whose SelfReg table names Kestrum.ocx (added with msibuild:
#     wixl writes none) registers the same; uninstalling it calls
#     DllUnregisterServer, which removes nothing.
# REG.DAT holds what Windows Installer or WiX would otherwise read as their
# own: [~], braces, $(...), !(...), a leading #, and é (code page 1252).
# Usage: installer_test.sh WINE_RUN WINEARCH PREFIX MODULE TOOL
set -u
run=$1 arch=$2 prefix=$3 module=$4 tool=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for program in wixl msibuild; do
    command -v $program >/dev/null ||
        { echo "FAIL: $program is not installed (scripts/setup installs wixl and msitools)"; exit 1; }
done
. "$(dirname "$run")/wine-env"
. "$(dirname "$0")/registry_exports.sh"
export LC_ALL=C.UTF-8   # Wine's code page 1252, in which REG.DAT's byte E9 is é
clsid=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
other=$(tr a-z A-Z < /proc/sys/kernel/random/uuid)
win='C:\kestrum-설치'
classes="SOFTWARE\\Classes\\CLSID\\{$clsid}"
mine="HKEY_CURRENT_USER\\$classes HKEY_LOCAL_MACHINE\\$classes"
parents="HKEY_CURRENT_USER\\SOFTWARE\\Classes\\CLSID HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID"
bits=32 wixl_arch=x86 win64=no files=ProgramFilesFolder
[ "$arch" = win32 ] || bits=64 wixl_arch=x64 win64=yes files=ProgramFiles64Folder

wine_() { "$run" "$arch" "$p" "$@"; }
stop_all() {
    for name in regsvr32 fragment selfreg; do
        WINEPREFIX="$prefix-$name" kestrum_wineserver -k 2>/dev/null
    done
}
trap stop_all EXIT
fresh() {   # fresh NAME: prefix $p with the module, the tool and REG.DAT in $win ($dir)
    p=$prefix-$1 dir=$prefix-$1/drive_c/kestrum-설치
    WINEPREFIX="$p" kestrum_wineserver -k 2>/dev/null
    rm -rf "$p" "$p.lock"
    wine_ cmd /c exit 0 >/dev/null 2>&1
    mkdir -p "$dir"
    cp "$module" "$dir/Kestrum.ocx"
    cp "$tool" "$dir/kestrum.exe"
    printf '[REG]\r\nCLSID=%s\r\nTITLE=%s\r\nVERSION=2.0 [beta]\r\nPATH=Apps\\{Demo}$\r\n' \
        "$clsid" "$(printf '#1 [~] {{x}} $(sys.X) !(loc.Y) & <\351> "q"')" > "$dir/REG.DAT"
    # Other classes, as a real profile has; uninstalling must leave them.
    wine_ reg add "HKCU\\SOFTWARE\\Classes\\CLSID\\{$other}" /ve /d other /f >/dev/null
}
uuid5() {   # uuid5 NAME: the name-based GUID of NAME in the fragment's namespace
    h=$({ printf '\273\164\367\136\161\125\113\062\251\056\256\265\142\216\316\011%s' "$1"; } | sha1sum | tr a-f A-F)
    part() { echo "$h" | cut -c"$1"; }
    printf '%s-%s-5%s-%02X%s-%s\n' "$(part 1-8)" "$(part 9-12)" "$(part 14-16)" \
        $(( (0x$(part 17-18) & 0x3F) | 0x80 )) "$(part 19-20)" "$(part 21-32)"
}

fresh regsvr32
wine_ regsvr32 /s "$win\\Kestrum.ocx" || fail "regsvr32 exited $?"
# shellcheck disable=SC2086
export_keys regsvr32 $mine
reference=$dir/regsvr32

# The fragment, in a product, installed and uninstalled.
fresh fragment
# shellcheck disable=SC2086
export_keys before $parents
wine_ "$win\\kestrum.exe" register "$win" --wxs "$win\\kestrum.wxs" >/dev/null || fail "register --wxs exited $?"
grep -qF "registers for $win\\REG.DAT" "$dir/kestrum.wxs" || fail "the fragment does not name its REG.DAT"
for root in HKEY_CURRENT_USER HKEY_LOCAL_MACHINE; do
    guid=$(uuid5 "$bits:$root\\$(echo "$classes" | tr a-z A-Z)")
    grep -q "Guid=\"$guid\" Win64=\"$win64\"" "$dir/kestrum.wxs" || fail "no component $guid for $root"
done
cat > "$dir/product.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Kestrum fragment" Language="1033" Codepage="1252" Version="1.0.0" Manufacturer="Kestrum tests"
           UpgradeCode="$(cat /proc/sys/kernel/random/uuid)">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" />
    <Directory Id="TARGETDIR" Name="SourceDir" />
    <Feature Id="Registration" Level="1"><ComponentGroupRef Id="KestrumRegistration" /></Feature>
  </Product>
</Wix>
EOF
(cd "$dir" && wixl -a $wixl_arch -o fragment.msi product.wxs kestrum.wxs) || fail "wixl exited $?"
wine_ msiexec /i "$win\\fragment.msi" /qn || fail "msiexec /i exited $?"
# shellcheck disable=SC2086
export_keys installed $mine
same "$reference" "$dir/installed"
wine_ msiexec /x "$win\\fragment.msi" /qn || fail "msiexec /x exited $?"
# shellcheck disable=SC2086
export_keys after $parents
same "$dir/before" "$dir/after"

# The module's own registration, run by the installer.
fresh selfreg
cat > "$dir/selfreg.wxs" <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Kestrum SelfReg" Language="1033" Version="1.0.0" Manufacturer="Kestrum tests"
           UpgradeCode="$(cat /proc/sys/kernel/random/uuid)">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine" />
    <Media Id="1" Cabinet="module.cab" EmbedCab="yes" />
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$files"><Directory Id="INSTALLDIR" Name="Kestrum SelfReg">
        <Component Id="Module" Guid="$(cat /proc/sys/kernel/random/uuid)" Win64="$win64">
          <File Id="KestrumOcx" Source="Kestrum.ocx" KeyPath="yes" />
          <File Id="RegDat" Source="REG.DAT" />
        </Component>
      </Directory></Directory>
    </Directory>
    <Feature Id="Module" Level="1"><ComponentRef Id="Module" /></Feature>
  </Product>
</Wix>
EOF
# The actions at the places Windows Installer's own sequence gives them.
(cd "$dir" && wixl -a $wixl_arch -o selfreg.msi selfreg.wxs &&
    msibuild selfreg.msi -q 'CREATE TABLE `SelfReg` (`File_` CHAR(72) NOT NULL, `Cost` SHORT PRIMARY KEY `File_`)' \
        -q "INSERT INTO \`SelfReg\` (\`File_\`, \`Cost\`) VALUES ('KestrumOcx', 0)" \
        -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfUnregModules', 2200)" \
        -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('SelfRegModules', 6500)") ||
    fail "building the SelfReg package failed"
wine_ msiexec /i "$win\\selfreg.msi" /qn >/dev/null || fail "msiexec /i exited $?"
installed="$p/drive_c/Program Files/Kestrum SelfReg/Kestrum.ocx"
[ -f "$installed" ] || fail "the package did not install $installed"
# shellcheck disable=SC2086
export_keys selfreg $mine
same "$reference" "$dir/selfreg"
# Wine's installer runs regsvr32 /u for SelfUnregModules, which says so.
out=$(wine_ msiexec /x "$win\\selfreg.msi" /qn 2>&1) || fail "msiexec /x exited $?"
echo "$out" | grep -q "unregistered DLL" || fail "the installer did not unregister the module: $out"
[ ! -e "$installed" ] || fail "the package left $installed"
# shellcheck disable=SC2086
export_keys left $mine
same "$reference" "$dir/left"

if [ $failures -eq 0 ]; then
    echo "installer: 1 passed, 0 failed"
else
    echo "installer: 0 passed, 1 failed"
    exit 1
fi
