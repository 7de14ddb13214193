#!/usr/bin/env bash
# Makes a private Wine prefix (64-bit unless told win32) with the null graphics driver (no display needed).
# Quick when the prefix already exists.
set -euo pipefail
PREFIX="${1:?usage: wine-prefix.sh PREFIX [win64|win32]}"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEARCH="${2:-${WINEARCH:-win64}}"
export WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d;mscoree=d;mshtml=d"
if [ -f "$PREFIX/.qv-ready" ]; then exit 0; fi
mkdir -p "$PREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$PREFIX/.qv-ready"
