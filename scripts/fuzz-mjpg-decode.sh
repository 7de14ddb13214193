#!/usr/bin/env bash
# Fuzzes the Motion-JPEG decoder with arbitrary frame bytes.
#   scripts/fuzz-mjpg-decode.sh [seconds]   (default 60)
# Builds a libFuzzer target with clang (ASan + UBSan) from the decoder and the test
# frames' sources, runs it from the committed seed corpus, and exits non-zero on any
# finding.
#
# The decoder's work is mostly libjpeg's. When the libjpeg-turbo source that
# build-mingw-deps.sh fetched is in .cache/src, it is built once more here (C only,
# instrumented and sanitized), so coverage guides the fuzzer through libjpeg's marker
# and entropy code too. That build is kept in .cache/fuzz-libjpeg-turbo (or
# $QV_FUZZ_CACHE), one folder per source version, compiler and flags, so only the
# first run pays for it. Without the source the system's library is linked, and only
# this project's code guides the fuzzer.
set -euo pipefail

SECONDS_TO_RUN=${1:-60}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/build/fuzz-mjpg
source "$ROOT/scripts/fuzz-common.sh"
mkdir -p "$OUT"

# Raise when the way the library is built below changes, so no cached build is reused.
JPEG_RECIPE=1
JPEG_FLAGS=(-ljpeg)
JPEG_SOURCE=$(ls -d "$ROOT"/.cache/src/libjpeg-turbo-*/unpacked 2>/dev/null | sort -V | tail -1 || true)
if [ -n "$JPEG_SOURCE" ] && [ -f "$JPEG_SOURCE/jdhuff.c" ]; then
  JPEG_C_FLAGS="-fsanitize=fuzzer-no-link ${FUZZ_SANITIZE[*]}"
  KEY=$(printf '%s\n' "$JPEG_RECIPE" "$("$FUZZ_CC" --version | head -1)" "$JPEG_C_FLAGS" | sha256sum | cut -c1-12)
  JPEG_BUILD=${QV_FUZZ_CACHE:-$ROOT/.cache/fuzz-libjpeg-turbo}/$(basename "$(dirname "$JPEG_SOURCE")")-$KEY
  if [ ! -f "$JPEG_BUILD/libjpeg.a" ] || [ ! -f "$JPEG_BUILD/jconfig.h" ]; then
    echo "== building an instrumented libjpeg-turbo from $JPEG_SOURCE (cached in $JPEG_BUILD)"
    WORK="$OUT/libjpeg-turbo"
    rm -rf "$WORK"
    cmake -G Ninja -S "$JPEG_SOURCE" -B "$WORK" -DCMAKE_C_COMPILER="$FUZZ_CC" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_FLAGS="$JPEG_C_FLAGS" \
      -DENABLE_SHARED=0 -DWITH_SIMD=0 -DWITH_TURBOJPEG=0 -DWITH_FUZZ=0 >"$OUT/libjpeg-configure.log" 2>&1 ||
      { tail -30 "$OUT/libjpeg-configure.log" >&2; exit 1; }
    ninja -C "$WORK" -j2 jpeg-static >"$OUT/libjpeg-build.log" 2>&1 || { tail -30 "$OUT/libjpeg-build.log" >&2; exit 1; }
    # Only the library and its configured header are kept; put in place whole, so an
    # interrupted build leaves no cache entry behind.
    mkdir -p "$(dirname "$JPEG_BUILD")"
    STAGE=$(mktemp -d "$JPEG_BUILD.XXXXXX")
    chmod 755 "$STAGE"
    cp "$WORK/libjpeg.a" "$WORK/jconfig.h" "$STAGE/"
    rm -rf "$JPEG_BUILD"
    mv "$STAGE" "$JPEG_BUILD"
    rm -rf "$WORK"
  fi
  # The source's jpeglib.h with this build's jconfig.h, so the code is compiled against the
  # very library it links.
  JPEG_FLAGS=(-I"$JPEG_BUILD" -I"$JPEG_SOURCE" "$JPEG_BUILD/libjpeg.a")
else
  echo "== no libjpeg-turbo source in .cache/src: using the system's library (not instrumented)"
fi

build_fuzzer "$OUT/mjpg_decode_fuzz" \
  -I"$ROOT/frames/decode" -I"$ROOT/tests/decode" \
  "$ROOT/tests/decode/fuzz/MjpgDecodeFuzzer.cpp" "$ROOT/tests/decode/MjpgTestFrames.cpp" \
  "$ROOT/frames/decode/MjpgDecoder.cpp" "$ROOT/frames/decode/JpegFrameSession.cpp" \
  "$ROOT/frames/decode/CarriedTables.cpp" \
  "${JPEG_FLAGS[@]}"

run_fuzzer "$OUT/mjpg_decode_fuzz" "$SECONDS_TO_RUN" "$ROOT/tests/decode/fuzz/corpus"
