#!/usr/bin/env bash
# Installs what is missing, builds every variant and runs all tests:
# native (plain, ASan+UBSan, ThreadSanitizer), the Windows build under Wine, and the fuzzers.
# Usage: scripts/run-tests.sh [preset ...]   (default: all)
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
bash scripts/install-deps.sh || exit 1

PRESETS=("$@")
# The Windows suites come early, so the sanitizer builds run beside their long tests.
if [ ${#PRESETS[@]} -eq 0 ]; then PRESETS=(native mingw i686 native-asan native-tsan fuzz); fi

passed=0; failed=0; broken=()
FUZZ_SECONDS=45
LOGDIR="$ROOT/build/logs"; mkdir -p "$LOGDIR"

# Builds run one ahead of the tests: while one preset's tests run (under Wine mostly
# waiting on frames and timers), the next preset builds at a lower priority.
build_pid=()
build_name=()
start_build() {
  local preset="$1"
  echo "== $preset: configure and build"
  (cmake --preset "$preset" >"$LOGDIR/$preset-configure.log" 2>&1 &&
    nice -n 10 cmake --build --preset "$preset" -j2 >"$LOGDIR/$preset-build.log" 2>&1) &
  build_pid+=($!)
  build_name+=("$preset")
}
finish_build() {
  local preset="$1" i
  for i in "${!build_name[@]}"; do
    if [ "${build_name[$i]}" = "$preset" ]; then
      wait "${build_pid[$i]}"
      return
    fi
  done
  return 1
}

run_ctest_preset() {
  local preset="$1" log="$LOGDIR/$1.log"
  echo "== $preset: tests"
  ctest --preset "$preset" 2>&1 | tee "$log" | grep -E '^\s*[0-9]+/[0-9]+ Test|tests passed|Failed|\*\*\*' || true
  local line p f
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of' "$log" | tail -1)
  if [ -z "$line" ]; then broken+=("$preset (no result)"); failed=$((failed + 1)); return; fi
  f=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
  local total; total=$(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/')
  p=$((total - f))
  passed=$((passed + p)); failed=$((failed + f))
  echo "$preset: $p of $total passed"
  if [ "$f" != 0 ]; then broken+=("$preset"); fi
}

run_fuzzers() {
  # Each fuzzer is one item; together they run under two minutes (builds not counted).
  for fuzzer in tiff-append mjpg-decode; do
    [ -f "scripts/fuzz-$fuzzer.sh" ] || continue
    echo "== fuzz: $fuzzer, $FUZZ_SECONDS s"
    if bash "scripts/fuzz-$fuzzer.sh" "$FUZZ_SECONDS" >"$LOGDIR/fuzz-$fuzzer.log" 2>&1; then
      passed=$((passed + 1)); tail -3 "$LOGDIR/fuzz-$fuzzer.log"
    else
      failed=$((failed + 1)); broken+=("fuzz ($fuzzer)"); tail -40 "$LOGDIR/fuzz-$fuzzer.log"
    fi
  done
}

CTEST_PRESETS=()
for preset in "${PRESETS[@]}"; do [ "$preset" = fuzz ] || CTEST_PRESETS+=("$preset"); done
[ ${#CTEST_PRESETS[@]} -gt 0 ] && start_build "${CTEST_PRESETS[0]}"
for i in "${!CTEST_PRESETS[@]}"; do
  preset="${CTEST_PRESETS[$i]}"
  if ! finish_build "$preset"; then
    tail -40 "$LOGDIR/$preset-configure.log" "$LOGDIR/$preset-build.log"
    broken+=("$preset (build)"); failed=$((failed + 1))
    next=$((i + 1)); [ $next -lt ${#CTEST_PRESETS[@]} ] && start_build "${CTEST_PRESETS[$next]}"
    continue
  fi
  next=$((i + 1)); [ $next -lt ${#CTEST_PRESETS[@]} ] && start_build "${CTEST_PRESETS[$next]}"
  run_ctest_preset "$preset"
done
for preset in "${PRESETS[@]}"; do [ "$preset" = fuzz ] && run_fuzzers; done

echo
if [ ${#broken[@]} -gt 0 ]; then echo "failing: ${broken[*]}"; fi
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
