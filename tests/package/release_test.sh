#!/usr/bin/env bash
# scripts/release as a release manager runs it, with a throw-away root and
# code-signing certificate made here: a signed release whose every PE
# verifies with osslsigncode against that root and with Windows' own
# verifier in a fresh Wine prefix (a copy with one byte changed is
# TRUST_E_BAD_DIGEST), whose signed module still registers through
# regsvr32, and whose bytes come again from a second run and from the same
# key on a token (SoftHSM2). Then the failures: each says why in one line
# and leaves OUT as it was.
# Usage: release_test.sh SOURCE_DIR WORK_DIR WINE_RUN TRUST_CHECK UNSIGNED_MODULE
set -u
src=$1 work=$2 run=$3 trust_check=$4 unsigned=$5
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The release's own build trees stay between runs; the rest is made anew.
export BUILD_DIR=$work/build
rm -rf "$work/keys" "$work"/out* "$work/pkg" "$work/wineprefix"
mkdir -p "$work/keys"
keys=$work/keys
# The signing time and the zips' time stamps: the last commit's, by default.
git -C "$src" log -1 >/dev/null 2>&1 || export SOURCE_DATE_EPOCH=1798761600
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct)}

# A root, a code-signing certificate it issued, one for TLS servers only,
# and a root that issued neither.
certificate() {   # certificate NAME SUBJECT EXTENDED_USAGE
    openssl req -newkey rsa:2048 -nodes -keyout "$keys/$1.key" -out "$keys/$1.csr" -subj "/CN=$2" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$3" >"$keys/$1.ext"
    openssl x509 -req -in "$keys/$1.csr" -CA "$keys/root.pem" -CAkey "$keys/root.key" -CAcreateserial -days 30 \
        -extfile "$keys/$1.ext" -out "$keys/$1.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$keys/$1.key" -in "$keys/$1.pem" -out "$keys/$1.p12" -passout file:"$keys/password"
}
for name in root other; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$keys/$name.key" -out "$keys/$name.pem" -days 30 \
        -subj "/CN=Kestrum Test $name" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign 2>/dev/null
done
openssl x509 -in "$keys/root.pem" -outform DER -out "$keys/root.cer"
echo "correct horse" >"$keys/password"
echo "wrong horse" >"$keys/wrong"
certificate signer "Kestrum Test Signer" codeSigning
certificate server "Kestrum Test Server" serverAuth

release() {   # release OUT [VAR=VALUE...]: scripts/release with the signing key, quiet unless it fails
    local out=$1
    shift
    env KESTRUM_SIGN_PKCS12="$keys/signer.p12" KESTRUM_SIGN_PASSWORD_FILE="$keys/password" \
        KESTRUM_SIGN_CA="$keys/root.pem" "$@" "$src/scripts/release" "$out" >"$out.log" 2>"$out.err"
}

if ! release "$work/out1"; then
    cat "$work/out1.log" "$work/out1.err"
    echo "FAIL: the signed release failed"
    exit 1
fi
sed -n '/^== Kestrum/,$p' "$work/out1.log"
(cd "$work/out1" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not check"
version=$(sed -n 's/^project(Kestrum VERSION \([0-9.]*\) .*/\1/p' "$src/CMakeLists.txt")
[ "$(cd "$work/out1" && ls | tr '\n' ' ')" = "SHA256SUMS kestrum-$version-i686.zip kestrum-$version-x86_64.zip " ] ||
    fail "OUT holds other than the two packages of $version and SHA256SUMS: $(ls "$work/out1")"

# What each package holds, and the time of every entry (a zip keeps even
# seconds).
mkdir -p "$work/pkg"
for arch in i686 x86_64; do
    zip=$work/out1/kestrum-$version-$arch.zip
    listing=$(cmake -E tar tf "$zip")
    for entry in LICENSE THIRD-PARTY-NOTICES.txt README.md docs/releasing.md examples/REG.DAT bin/Kestrum.ocx \
                 bin/kestrum.exe include/kestrum/util/path/PathUtil.h lib/libkestrum_path.a \
                 lib/cmake/Kestrum/KestrumConfig.cmake; do
        echo "$listing" | grep -qx "kestrum-$version-$arch/$entry" || fail "$arch: no $entry"
    done
    (cd "$work/pkg" && TZ=UTC0 cmake -E tar xf "$zip")
    for time in $(find "$work/pkg/kestrum-$version-$arch" -type f -exec stat -c %Y {} + | sort -u); do
        [ $((time - epoch)) -ge -1 ] && [ $((time - epoch)) -le 1 ] || fail "$arch: an entry of time $time, not $epoch"
    done
done
grep -q "GCC RUNTIME LIBRARY EXCEPTION" "$work/pkg/kestrum-$version-i686/THIRD-PARTY-NOTICES.txt" &&
    grep -q "mingw-w64" "$work/pkg/kestrum-$version-i686/THIRD-PARTY-NOTICES.txt" ||
    fail "the notices lack the mingw-w64 or GCC texts"

# Every PE against the root, by osslsigncode and by WinVerifyTrust.
pes=$(find "$work/pkg" -type f \( -name '*.ocx' -o -name '*.exe' -o -name '*.dll' \) | sort)
[ "$(echo "$pes" | wc -l)" -eq 4 ] || fail "not the four binaries: $pes"
cp "$work/pkg/kestrum-$version-x86_64/bin/Kestrum.ocx" "$work/pkg/changed.ocx"
printf 'K' | dd of="$work/pkg/changed.ocx" bs=1 seek=1024 conv=notrunc 2>/dev/null
cp "$unsigned" "$work/pkg/unsigned.ocx"
windows=()
for pe in $pes; do
    osslsigncode verify -CAfile "$keys/root.pem" -in "$pe" >/dev/null 2>&1 || fail "osslsigncode: $pe does not verify"
    windows+=("Z:$pe")
done
expected=""
for pe in $pes; do expected+="0x00000000 Z:$pe"$'\n'; done
expected+="0x80096010 Z:$work/pkg/changed.ocx"$'\n'"0x800B0100 Z:$work/pkg/unsigned.ocx"
got=$("$run" win64 "$work/wineprefix" "$trust_check" --trust-root "Z:$keys/root.cer" "${windows[@]//\//\\}" \
      "Z:$work/pkg/changed.ocx" "Z:$work/pkg/unsigned.ocx" | tr -d '\r' | tr '\\' /)
echo "WinVerifyTrust:"
echo "$got" | sed 's/^/   /'
[ "$got" = "$expected" ] || fail "WinVerifyTrust answered otherwise; expected:"$'\n'"$expected"

# The signed module registers its six values.
sh "$src/tests/module/regsvr32_test.sh" "$run" win64 "$work/wineprefix" \
    "$work/pkg/kestrum-$version-x86_64/bin/Kestrum.ocx" 64 >"$work/regsvr32.log" 2>&1 ||
    { cat "$work/regsvr32.log"; fail "the signed module does not register"; }
. "$src/cmake/wine-env"
WINEPREFIX=$work/wineprefix kestrum_wineserver -k 2>/dev/null

# The same bytes again: a second run, and the same key on a token.
release "$work/out2" || { cat "$work/out2.err"; fail "the second release failed"; }
export SOFTHSM2_CONF=$keys/softhsm2.conf
mkdir -p "$keys/tokens"
echo "directories.tokendir = $keys/tokens" >"$SOFTHSM2_CONF"
openssl pkcs8 -topk8 -nocrypt -in "$keys/signer.key" -out "$keys/signer.p8"
softhsm2-util --init-token --free --label kestrum --pin 1234 --so-pin 4321 >/dev/null &&
    softhsm2-util --import "$keys/signer.p8" --token kestrum --label signer --id 01 --pin 1234 >/dev/null ||
    fail "SoftHSM2 took no key"
echo 1234 >"$keys/pin"
release "$work/out3" KESTRUM_SIGN_PKCS12= KESTRUM_SIGN_PKCS11_MODULE=/usr/lib/softhsm/libsofthsm2.so \
    KESTRUM_SIGN_KEY="pkcs11:token=kestrum;object=signer;type=private" KESTRUM_SIGN_CERT="$keys/signer.pem" \
    KESTRUM_SIGN_PASSWORD_FILE="$keys/pin" || { cat "$work/out3.err"; fail "the release signed on a token failed"; }
for out in out2 out3; do
    for file in $(ls "$work/out1"); do
        cmp -s "$work/out1/$file" "$work/$out/$file" || fail "$out/$file differs from the first release's"
    done
done

# Failures: one line each, saying why, and OUT as it was.
before=$(cd "$work/out1" && ls -lA --time-style=+%s && sha256sum *)
while IFS='|' read -r why expected setting; do
    release "$work/out1" "$setting"
    status=$?
    lines=$(wc -l <"$work/out1.err")
    [ $status -ne 0 ] || fail "$why: exit code 0"
    [ "$lines" -eq 1 ] && grep -q "$expected" "$work/out1.err" ||
        fail "$why: not one line saying '$expected': $(cat "$work/out1.err")"
    [ "$(cd "$work/out1" && ls -lA --time-style=+%s && sha256sum *)" = "$before" ] || fail "$why: OUT changed"
    echo "$why: $(cat "$work/out1.err")"
done <<ROWS
wrong password|wrong password for the PKCS#12 file|KESTRUM_SIGN_PASSWORD_FILE=$keys/wrong
missing key|there is no PKCS#12 file|KESTRUM_SIGN_PKCS12=$keys/none.p12
unreadable password|cannot read the password file|KESTRUM_SIGN_PASSWORD_FILE=$keys/none
certificate for servers|cannot sign code|KESTRUM_SIGN_PKCS12=$keys/server.p12
verified against another root|does not verify against|KESTRUM_SIGN_CA=$keys/other.pem
ROWS

if [ $failures -eq 0 ]; then
    echo "release: 1 passed, 0 failed"
else
    echo "release: 0 passed, 1 failed"
    exit 1
fi
