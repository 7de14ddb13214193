#!/usr/bin/env bash
# Checks a DLL's export names (exactly the expected set, undecorated) and that it imports
# only Windows system DLLs (no compiler runtime DLLs).
set -euo pipefail
OBJDUMP="$1"; DLL="$2"
EXPECTED="DSCameraCaptureFile DSCameraGetImageSize DSCameraImageSave DSCameraInit DSCameraPlay DSCameraRegisterpixel DSCameraStop DSCameraUnInit DSGrabFrame DSProperty DSResolution"
SYSTEM_DLLS="KERNEL32.dll USER32.dll OLE32.dll OLEAUT32.dll msvcrt.dll ADVAPI32.dll GDI32.dll api-ms-win-crt-"

table="$("$OBJDUMP" -p "$DLL")"
exports="$(echo "$table" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF;next} on&&NF==0{on=0}' | sort | tr '\n' ' ' | sed 's/ $//')"
if [ "$exports" != "$EXPECTED" ]; then
  echo "exports differ"; echo " expected: $EXPECTED"; echo "      got: $exports"; exit 1
fi
echo "exports: $exports"

status=0
for dll in $(echo "$table" | awk '/DLL Name:/{print $3}'); do
  ok=0
  for allowed in $SYSTEM_DLLS; do
    case "${dll,,}" in "${allowed,,}"*) ok=1 ;; esac
  done
  if [ $ok = 1 ]; then echo "import: $dll"; else echo "import not a system DLL: $dll"; status=1; fi
done
exit $status
