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
CXX=${CXX_FUZZ:-clang++-14}
mkdir -p "$OUT/work-corpus" "$OUT/artifacts"

# The image-file writers with the row primitives and the conversion dispatch that
# picks the red/blue swap kernel (the scalar reference is for tests only).
SOURCES=("$ROOT/tests/imagefiles/fuzz/TiffAppendFuzzer.cpp" "$ROOT"/imagefiles/*.cpp "$ROOT"/frames/rows/*.cpp
  "$ROOT/platform/MessageBox.cpp" "$ROOT/platform/MessageBoxNative.cpp" "$ROOT/platform/File.cpp")
for f in "$ROOT"/frames/conversion/*.cpp; do
  case "$(basename "$f")" in Reference*) ;; *) SOURCES+=("$f") ;; esac
done

echo "== building $OUT/tiff_append_fuzz"
"$CXX" -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$ROOT/imagefiles" -I"$ROOT/platform" -I"$ROOT/frames/rows" -I"$ROOT/frames/conversion" \
  "${SOURCES[@]}" -ltiff -ljpeg -lpthread \
  -o "$OUT/tiff_append_fuzz"

# New inputs go to a scratch corpus under build/, so the committed seeds stay as they are.
echo "== running for ${SECONDS_TO_RUN} s"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$OUT/tiff_append_fuzz" \
  -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
  -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$OUT/artifacts/" \
  "$OUT/work-corpus" "$ROOT/tests/imagefiles/fuzz/corpus"
echo "== no findings in ${SECONDS_TO_RUN} s"
