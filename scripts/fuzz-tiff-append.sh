#!/usr/bin/env bash
# Fuzzes appending a TIFF page onto arbitrary file bytes (libFuzzer with
# AddressSanitizer and UndefinedBehaviorSanitizer, against the system libtiff).
#   scripts/fuzz-tiff-append.sh [seconds]      (default 60)
# Exits non-zero on a finding; the input that caused it lands in build/fuzz/artifacts/.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
SECONDS_TO_RUN="${1:-60}"
OUT="$ROOT/build/fuzz"
CXX="${CXX:-clang++-14}"
command -v "$CXX" >/dev/null || CXX=clang++

mkdir -p "$OUT/corpus" "$OUT/artifacts"
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$ROOT/imagefiles" -I"$ROOT/platform" \
  "$ROOT/tests/imagefiles/fuzz/TiffAppendFuzzer.cpp" \
  "$ROOT/imagefiles/TiffWriter.cpp" \
  "$ROOT/platform/MessageBox.cpp" "$ROOT/platform/MessageBoxNative.cpp" \
  -ltiff -ljpeg -lpthread -o "$OUT/tiff-append-fuzzer"

# The committed seeds stay as they are; new inputs go to the working corpus.
cd "$OUT"
./tiff-append-fuzzer -max_total_time="$SECONDS_TO_RUN" -timeout=10 -rss_limit_mb=2048 \
  -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$OUT/artifacts/" \
  "$OUT/corpus" "$ROOT/tests/imagefiles/fuzz/corpus"
