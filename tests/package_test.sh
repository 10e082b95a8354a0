#!/bin/sh
# Installs the built tree into a scratch prefix, builds examples/consumer
# against the installed package with the same toolchain, and runs it.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR TOOLCHAIN WINE_RUN PREFIX
set -eu
src=$1 build=$2 toolchain=$3 run=$4 prefix=$5
work=$build/package-test
rm -rf "$work"
cmake --install "$build" --prefix "$work/install" >/dev/null
for f in bin/Kestrum.ocx bin/kestrum.exe include/kestrum/util/path/PathUtil.h include/kestrum/framework/String.h \
         lib/cmake/Kestrum/KestrumConfig.cmake; do
    [ -f "$work/install/$f" ] || { echo "not installed: $f"; echo "0 passed, 1 failed"; exit 1; }
done
cmake -S "$src/examples/consumer" -B "$work/consumer" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_FIND_ROOT_PATH="$work/install" >/dev/null
cmake --build "$work/consumer" >/dev/null
out=$("$run" "$prefix" "$work/consumer/consumer.exe" 'C:\dir\file.txt' | tr -d '\r')
echo "$out"
expected=$(printf 'folder C:\\dir\\\nname file.txt\nextension txt')
# The release depends on the machine; only its form is fixed.
paths=$(echo "$out" | head -n 3)
release=$(echo "$out" | sed -n 4p)
if [ "$paths" = "$expected" ] && echo "$release" | grep -Eq '^directx [0-9]+\.[0-9]+[a-z]?$'; then
    echo "package: 1 passed, 0 failed"
else
    echo "package: 0 passed, 1 failed"
    exit 1
fi
