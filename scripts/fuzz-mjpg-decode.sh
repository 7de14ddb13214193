#!/usr/bin/env bash
# Fuzzes the Motion-JPEG decoder with arbitrary frame bytes.
#   scripts/fuzz-mjpg-decode.sh [seconds]   (default 60)
# Builds a libFuzzer target with clang (ASan + UBSan) from the decoder and the test
# frames' sources, runs it from the committed seed corpus, and exits non-zero on any
# finding.
#
# The decoder's work is mostly libjpeg's. When the libjpeg-turbo source that
# build-mingw-deps.sh fetched is in .cache/src, it is built once more here (C only,
# instrumented and sanitized, cached under build/fuzz-mjpg), so coverage guides the
# fuzzer through libjpeg's marker and entropy code too. Without the source the system's
# library is linked, and only this project's code guides the fuzzer.
set -euo pipefail

SECONDS_TO_RUN=${1:-60}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/fuzz-mjpg
CC=${CC_FUZZ:-clang-14}
CXX=${CXX_FUZZ:-clang++-14}
SANITIZE="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
mkdir -p "$OUT/work-corpus" "$OUT/artifacts"

JPEG_FLAGS=(-ljpeg)
JPEG_SOURCE=$(ls -d "$ROOT"/.cache/src/libjpeg-turbo-*/unpacked 2>/dev/null | sort -V | tail -1 || true)
if [ -n "$JPEG_SOURCE" ] && [ -f "$JPEG_SOURCE/jdhuff.c" ]; then
  JPEG_BUILD=$OUT/libjpeg-turbo
  STAMP="$JPEG_BUILD/.built-from"
  if [ ! -f "$STAMP" ] || [ "$(cat "$STAMP")" != "$JPEG_SOURCE $CC" ] || [ ! -f "$JPEG_BUILD/libjpeg.a" ]; then
    echo "== building an instrumented libjpeg-turbo from $JPEG_SOURCE (once)"
    rm -rf "$JPEG_BUILD"
    cmake -G Ninja -S "$JPEG_SOURCE" -B "$JPEG_BUILD" -DCMAKE_C_COMPILER="$CC" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link $SANITIZE" \
      -DENABLE_SHARED=0 -DWITH_SIMD=0 -DWITH_TURBOJPEG=0 -DWITH_FUZZ=0 >"$OUT/libjpeg-configure.log" 2>&1
    ninja -C "$JPEG_BUILD" -j2 jpeg-static >"$OUT/libjpeg-build.log" 2>&1
    echo "$JPEG_SOURCE $CC" >"$STAMP"
  fi
  # The source's jpeglib.h with this build's jconfig.h, so the code is compiled against the
  # very library it links.
  JPEG_FLAGS=(-I"$JPEG_BUILD" -I"$JPEG_SOURCE" "$JPEG_BUILD/libjpeg.a")
else
  echo "== no libjpeg-turbo source in .cache/src: using the system's library (not instrumented)"
fi

SOURCES=(
  "$ROOT/tests/decode/fuzz/MjpgDecodeFuzzer.cpp"
  "$ROOT/tests/decode/MjpgTestFrames.cpp"
  "$ROOT/frames/decode/MjpgDecoder.cpp"
  "$ROOT/frames/decode/JpegFrameSession.cpp"
  "$ROOT/frames/decode/CarriedTables.cpp"
)

echo "== building $OUT/mjpg_decode_fuzz"
# shellcheck disable=SC2086
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer $SANITIZE \
  -I"$ROOT/frames/decode" -I"$ROOT/tests/decode" \
  "${SOURCES[@]}" "${JPEG_FLAGS[@]}" \
  -o "$OUT/mjpg_decode_fuzz"

# New inputs go to a scratch corpus under build/, so the committed seeds stay as they are.
echo "== running for ${SECONDS_TO_RUN} s"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$OUT/mjpg_decode_fuzz" \
  -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$OUT/artifacts/" \
  "$OUT/work-corpus" "$ROOT/tests/decode/fuzz/corpus"
echo "== no findings in ${SECONDS_TO_RUN} s"
