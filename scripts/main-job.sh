#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows DLL, registers the virtual
# camera in a Wine prefix of the project and runs the demo host on it, leaving real files
# in build/main-job/out/ (64-bit, the default) or build/main-job/out32/ (--arch i686).
#
# DirectShow filters are registered per bitness and a 32-bit host lists only 32-bit ones,
# so the 32-bit run registers the 32-bit camera in a 32-bit prefix of its own.
# Usage: scripts/main-job.sh [--arch x64|i686]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

ARCH=x64
while [ $# -gt 0 ]; do
  case "$1" in
    --arch) ARCH="${2:-}"; shift $(( $# > 1 ? 2 : 1 )) ;;
    --arch=*) ARCH="${1#--arch=}"; shift ;;
    -h|--help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "main-job: unknown argument '$1' (usage: main-job.sh [--arch x64|i686])" >&2; exit 2 ;;
  esac
done
case "$ARCH" in
  x64|x86_64) PRESET=mingw; WINEARCH=win64; PREFIX_DIR=wineprefix; OUT_DIR=out ;;
  i686|x86) PRESET=i686; WINEARCH=win32; PREFIX_DIR=wineprefix32; OUT_DIR=out32 ;;
  *) echo "main-job: --arch takes x64 or i686, not '$ARCH'" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

cmake --preset "$PRESET" >/dev/null
cmake --build --preset "$PRESET" -j2 --target QVDirectX qvvcam qvsnap >/dev/null

export WINEPREFIX="$ROOT/build/main-job/$PREFIX_DIR" WINEDEBUG=-all WINEARCH
export WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d"
bash scripts/wine-prefix.sh "$WINEPREFIX" "$WINEARCH"
BIN="$ROOT/build/$PRESET/bin"
wine regsvr32 /s "$(winepath -w "$BIN/qvvcam.dll")" >/dev/null 2>&1
wineserver -w

OUT="$ROOT/build/main-job/$OUT_DIR"
mkdir -p "$OUT"
rm -f "$OUT"/frame_*.jpg "$OUT"/frame_*.bmp "$OUT"/frame_*.raw "$OUT"/frames.tif
cd "$BIN"
echo "qvsnap ($ARCH, prefix $WINEPREFIX):"
wine qvsnap.exe --headless --device 0 --frames "${FRAMES:-5}" --out "$(winepath -w "$OUT")"
wineserver -w
echo "files are in $OUT"
