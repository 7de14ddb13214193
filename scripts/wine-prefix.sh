#!/usr/bin/env bash
# Makes a private Wine prefix (64-bit unless told win32) with the null graphics driver (no display needed).
# Quick when the prefix already exists.
set -euo pipefail
PREFIX="${1:?usage: wine-prefix.sh PREFIX [win64|win32]}"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all WINEARCH="${2:-${WINEARCH:-win64}}"
export WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d;mscoree=d;mshtml=d"
# With 32-bit Wine installed, `wine` starts the 32-bit loader, which hands 64-bit programs
# over only in a WoW64 prefix (one with syswow64). A 64-bit prefix made before wine32 was
# installed runs nothing any more ("could not load kernel32.dll"), so it is remade.
needs_remake() {
  [ -f "$PREFIX/.qv-ready" ] || return 0
  if [ "$WINEARCH" = win64 ] && [ -e /usr/lib/wine/i386-windows ] \
     && [ ! -d "$PREFIX/drive_c/windows/syswow64" ]; then
    return 0
  fi
  return 1
}
needs_remake || exit 0
# Only ever remove what is recognisably a Wine prefix.
if [ -f "$PREFIX/system.reg" ]; then rm -rf "$PREFIX"; fi
mkdir -p "$PREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$PREFIX/.qv-ready"
