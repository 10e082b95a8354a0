#!/bin/sh
# Installs the built tree into a scratch prefix, builds tests/package
# (examples/consumer as docs/library.md shows it, and the headers' consumers)
# against the installed package with the same toolchain, and runs them.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR TOOLCHAIN WINE_RUN WINEARCH PREFIX
set -eu
src=$1 build=$2 toolchain=$3 run=$4 arch=$5 prefix=$6
work=$build/package-test
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
cmake --install "$build" --prefix "$work/install" >/dev/null
for f in bin/Kestrum.ocx bin/kestrum.exe include/kestrum/util/path/PathUtil.h include/kestrum/framework/String.h \
         lib/cmake/Kestrum/KestrumConfig.cmake; do
    [ -f "$work/install/$f" ] || fail "not installed: $f"
done
cmake -S "$src/tests/package" -B "$work/consumers" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_FIND_ROOT_PATH="$work/install" >/dev/null
cmake --build "$work/consumers" -j 2 >/dev/null

out=$("$run" "$arch" "$prefix" "$work/consumers/consumer/consumer.exe" 'C:\dir\file.txt' | tr -d '\r')
echo "$out"
expected=$(printf 'folder C:\\dir\\\nname file.txt\nextension txt')
# The release depends on the machine; only its form is fixed.
[ "$(echo "$out" | head -n 3)" = "$expected" ] || fail "examples/consumer printed other paths"
echo "$out" | sed -n 4p | grep -Eq '^directx [0-9]+\.[0-9]+[a-z]?$' || fail "examples/consumer printed no release"

# Programs built on the installed library import KnownDLLs only.
. "$(dirname "$0")/known_dlls.sh"
objdump=$(sed -n 's/^CMAKE_OBJDUMP:FILEPATH=//p' "$build/CMakeCache.txt")
known_dlls_only "$objdump" "$work/consumers/consumer/consumer.exe" "$work/consumers"/headers_*.exe ||
    fail "a program built on the installed library imports other than KnownDLLs"

for name in $(tr ';' ' ' < "$work/consumers/configurations.txt"); do
    out=$("$run" "$arch" "$prefix" "$work/consumers/headers_$name.exe" | tr -d '\r') || true
    echo "headers_$name: $out"
    [ "$out" = ok ] || fail "headers_$name"
done

if [ $failures -eq 0 ]; then
    echo "package: 1 passed, 0 failed"
else
    echo "package: 0 passed, 1 failed"
    exit 1
fi
