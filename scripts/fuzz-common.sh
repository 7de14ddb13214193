# Shared by the fuzz-*.sh scripts (sourced, not run): the compilers, the sanitizers,
# building a libFuzzer target and running it from its committed seeds.
#   CC_FUZZ / CXX_FUZZ choose the compilers (default clang-14 / clang++-14).

FUZZ_CC=${CC_FUZZ:-clang-14}
FUZZ_CXX=${CXX_FUZZ:-clang++-14}
FUZZ_SANITIZE=(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# build_fuzzer BINARY COMPILER-ARGUMENTS...: sources, include folders and libraries.
build_fuzzer() {
  local binary="$1"
  shift
  echo "== building $binary"
  mkdir -p "$(dirname "$binary")"
  "$FUZZ_CXX" -std=c++17 -g -O1 -fsanitize=fuzzer "${FUZZ_SANITIZE[@]}" "$@" -o "$binary"
}

# run_fuzzer BINARY SECONDS SEEDS [LIBFUZZER-OPTIONS...]: exits non-zero on any finding.
# New inputs go to a scratch corpus beside the binary, so the committed seeds stay as they are.
run_fuzzer() {
  local binary="$1" seconds="$2" seeds="$3" out
  shift 3
  out="$(dirname "$binary")"
  mkdir -p "$out/work-corpus" "$out/artifacts"
  echo "== running for ${seconds} s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$binary" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=1024 \
    -print_final_stats=1 -artifact_prefix="$out/artifacts/" "$@" "$out/work-corpus" "$seeds"
  echo "== no findings in ${seconds} s"
}
