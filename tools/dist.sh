#!/usr/bin/env bash
# Writes the release and its checksum to dist/, after building it a second time from a copy of
# the sources somewhere else and checking that both builds gave the same bytes.
set -eu
cd "$(dirname "$0")/.."
build=${BUILD:-build}
exe=$build/win32/velquor.exe
again=$(realpath -m "$build/dist-check")
rm -rf "$again"
mkdir -p "$again/src"
tar -c --exclude=./build --exclude='./build-*' --exclude=./dist --exclude=./.git . | tar -x -C "$again/src"
cmake -S "$again/src" -B "$again/win32" -DCMAKE_TOOLCHAIN_FILE="$again/src/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DVELQUOR_TESTS=OFF >/dev/null
cmake --build "$again/win32" --target velquor -j "$(nproc)" >/dev/null
if ! cmp -s "$exe" "$again/win32/velquor.exe"; then
    echo "dist: a second build from $again/src gave other bytes:" >&2
    sha256sum "$exe" "$again/win32/velquor.exe" >&2
    exit 1
fi
mkdir -p dist
cp "$exe" dist/
(cd dist && sha256sum velquor.exe > velquor.exe.sha256 && cat velquor.exe.sha256)
echo "reproducible: a second build from another directory gave the same bytes"
