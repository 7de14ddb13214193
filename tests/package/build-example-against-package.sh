#!/usr/bin/env bash
# Installs the package into a scratch prefix, builds examples/grab-one-frame against it
# with find_package(QVDirectX), and runs it under Wine on the virtual camera.
set -euo pipefail
SOURCE="$1"; BUILD="$2"; TOOLCHAIN="$3"
WORK="$BUILD/package-test"
rm -rf "$WORK"; mkdir -p "$WORK"
cmake --install "$BUILD" --prefix "$WORK/prefix" >/dev/null
for f in bin/QVDirectX.dll lib/libQVDirectX.dll.a include/QVDirectX.h lib/cmake/QVDirectX/QVDirectXConfig.cmake \
         share/doc/QVDirectX/LICENSE share/doc/QVDirectX/THIRD-PARTY-NOTICES.md \
         share/QVDirectX/declarations/QVDirectX.cs share/QVDirectX/declarations/QVDirectX.bas \
         share/QVDirectX/declarations/QVDirectX.pas; do
  [ -f "$WORK/prefix/$f" ] || { echo "the package lacks $f"; exit 1; }
done
cmake -S "$SOURCE/examples/grab-one-frame" -B "$WORK/example" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DQVDirectX_DIR="$WORK/prefix/lib/cmake/QVDirectX" >"$WORK/configure.log" 2>&1 \
  || { cat "$WORK/configure.log"; exit 1; }
cmake --build "$WORK/example" >"$WORK/build.log" 2>&1 || { cat "$WORK/build.log"; exit 1; }
cp "$WORK/prefix/bin/QVDirectX.dll" "$WORK/example/"

VCAM="$(winepath -w "$BUILD/bin/qvvcam.dll")"
wine regsvr32 /s "$VCAM" >/dev/null 2>&1
trap 'wine regsvr32 /s /u "$VCAM" >/dev/null 2>&1 || true' EXIT
cd "$WORK/example"
wine grab_one_frame.exe frame.bmp
size=$(stat -c %s frame.bmp)
echo "frame.bmp: $size bytes"
[ "$size" -gt 54 ]
