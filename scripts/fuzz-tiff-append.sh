#!/usr/bin/env bash
# Fuzzes appending a TIFF page onto arbitrary existing file bytes.
#   scripts/fuzz-tiff-append.sh [seconds]   (default 60)
# Builds a libFuzzer target with clang (ASan + UBSan) from the image-file and
# platform sources against the system's libtiff and libjpeg, runs it from the
# committed seed corpus, and exits non-zero on any finding.
set -euo pipefail

SECONDS_TO_RUN=${1:-60}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/fuzz
source "$ROOT/scripts/fuzz-common.sh"

# The image-file writers with the row primitives and the conversion dispatch that
# picks the red/blue swap kernel (the scalar reference is for tests only).
SOURCES=("$ROOT/tests/imagefiles/fuzz/TiffAppendFuzzer.cpp" "$ROOT"/imagefiles/*.cpp "$ROOT"/frames/rows/*.cpp
  "$ROOT/platform/MessageBox.cpp" "$ROOT/platform/MessageBoxNative.cpp" "$ROOT/platform/File.cpp")
for f in "$ROOT"/frames/conversion/*.cpp; do
  case "$(basename "$f")" in Reference*) ;; *) SOURCES+=("$f") ;; esac
done

build_fuzzer "$OUT/tiff_append_fuzz" \
  -I"$ROOT/imagefiles" -I"$ROOT/platform" -I"$ROOT/frames/rows" -I"$ROOT/frames/conversion" \
  "${SOURCES[@]}" -ltiff -ljpeg -lpthread

# The writers report each refused file on stderr: the target's stderr is closed to keep the log short.
run_fuzzer "$OUT/tiff_append_fuzz" "$SECONDS_TO_RUN" "$ROOT/tests/imagefiles/fuzz/corpus" -close_fd_mask=2
