#!/usr/bin/env bash
# The main job: installs what is missing, builds the Windows DLL, registers the virtual
# camera in the project's Wine prefix and runs the demo host on it, leaving real files
# in build/main-job/out/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
bash scripts/install-deps.sh

cmake --preset mingw >/dev/null
cmake --build --preset mingw -j2 --target QVDirectX qvvcam qvsnap >/dev/null

export WINEPREFIX="$ROOT/build/main-job/wineprefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d"
bash scripts/wine-prefix.sh "$WINEPREFIX" win64
wine regsvr32 /s "$(winepath -w "$ROOT/build/mingw/bin/qvvcam.dll")" >/dev/null 2>&1
wineserver -w

OUT="$ROOT/build/main-job/out"
mkdir -p "$OUT"
cd "$ROOT/build/mingw/bin"
wine qvsnap.exe --headless --device 0 --frames "${FRAMES:-5}" --out "$(winepath -w "$OUT")"
wineserver -w
echo "files are in $OUT"
