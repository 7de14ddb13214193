#!/usr/bin/env bash
# Makes a private Wine prefix (64-bit unless told win32) with the null graphics driver (no display needed).
# Quick when the prefix already exists.
set -euo pipefail
PREFIX="${1:?usage: wine-prefix.sh PREFIX [win64|win32]}"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEARCH="${2:-${WINEARCH:-win64}}"
export WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d;mscoree=d;mshtml=d"
# With 32-bit Wine installed (wine32's loader is /usr/lib/wine/wine), `wine` starts the
# 32-bit loader, which hands 64-bit programs over only in a WoW64 prefix (one with
# syswow64). A 64-bit prefix made before wine32 was installed runs nothing any more
# ("could not load kernel32.dll"), so it is remade.
needs_remake() {
  [ -f "$PREFIX/.qv-ready" ] || return 0
  if [ "$WINEARCH" = win64 ] && [ -x /usr/lib/wine/wine ] \
     && [ ! -d "$PREFIX/drive_c/windows/syswow64" ]; then
    return 0
  fi
  return 1
}
needs_remake || exit 0
# Only ever remove a Wine prefix this script made (marked when it started on an empty
# folder), never one it was merely pointed at.
if [ -f "$PREFIX/system.reg" ] && { [ -f "$PREFIX/.qv-made" ] || [ -f "$PREFIX/.qv-ready" ]; }; then
  rm -rf "$PREFIX"
fi
mkdir -p "$PREFIX"
if [ -z "$(ls -A "$PREFIX")" ]; then touch "$PREFIX/.qv-made"; fi
wineboot -i >/dev/null 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$PREFIX/.qv-ready"
