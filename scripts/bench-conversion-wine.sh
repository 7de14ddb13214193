#!/usr/bin/env bash
# The 1920x1080 packed-YUV grab through the 64-bit and the 32-bit DLL under Wine, each
# against a copy of the same bytes in its own process, and the 32-bit time against the
# 64-bit one. The two builds run in turn, several times, so that a busy neighbour on the
# shared machine hits both alike; figures are medians over the runs of each run's median.
# Builds bench_grab_conversion in the mingw and i686 presets first.
# Usage: scripts/bench-conversion-wine.sh [runs (default 5)] [calls per run (default 101)]
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
RUNS="${1:-5}"
CALLS="${2:-101}"
OUT="$(mktemp -d)"
trap 'rm -rf "$OUT"' EXIT

for preset in mingw i686; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >"$OUT/$preset-configure.log"
  cmake --build --preset "$preset" -j2 --target bench_grab_conversion >"$OUT/$preset-build.log" ||
    { tail -30 "$OUT/$preset-build.log"; exit 1; }
done
bash scripts/wine-prefix.sh "$ROOT/build/mingw/wineprefix" win64
bash scripts/wine-prefix.sh "$ROOT/build/i686/wineprefix" win32

export WINEDEBUG=-all WINEDLLOVERRIDES="winedbg.exe=d;winealsa.drv=d"
for run in $(seq "$RUNS"); do
  for preset in mingw i686; do
    arch=win64; [ "$preset" = i686 ] && arch=win32
    WINEPREFIX="$ROOT/build/$preset/wineprefix" WINEARCH=$arch \
      wine "build/$preset/bin/bench_grab_conversion.exe" "$CALLS" >"$OUT/$preset-$run.txt" 2>/dev/null ||
      { echo "run $run of $preset failed:"; cat "$OUT/$preset-$run.txt"; exit 1; }
  done
done
head -1 "$OUT/mingw-1.txt"
head -1 "$OUT/i686-1.txt"

# RESULT bits format grabMedian copyMedian grabFastest copyFastest
# KERNEL bits rows level median fastest
cat "$OUT"/*-*.txt | awk -v runs="$RUNS" '
  function median(list,   n, a, i, j, t) {
    n = split(list, a, " ")
    for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
    return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  }
  $1 == "RESULT" {
    k = $2 " " $3; formats[$3] = 1
    grab[k] = grab[k] " " $4; copy[k] = copy[k] " " $5; ratio[k] = ratio[k] " " $4 / $5
    fgrab[k] = fgrab[k] " " $6; fratio[k] = fratio[k] " " $6 / $7
  }
  $1 == "KERNEL" { k = $2 " " $3 " " $4; kern[k] = kern[k] " " $5; if (!($3 " " $4 in seen)) { seen[$3 " " $4] = 1; order[++nk] = $3 " " $4 } }
  END {
    printf "\n1920x1080 grab through the DLL, ms (medians of %d runs; fastest call in brackets)\n", runs
    printf "%-5s %-7s %15s %8s %15s\n", "", "", "grab", "copy", "grab/copy"
    for (f in formats) for (b = 64; b >= 32; b -= 32) {
      k = b " " f
      printf "%-5s %-7s %8.3f (%.3f) %8.3f %8.2f (%.2f)\n", f, b "-bit", median(grab[k]), median(fgrab[k]), median(copy[k]), median(ratio[k]), median(fratio[k])
    }
    for (f in formats) {
      printf "%s: 32-bit grab / 64-bit grab %.2f (fastest %.2f); 32-bit grab/copy over 64-bit grab/copy %.2f\n", f,
        median(grab["32 " f]) / median(grab["64 " f]), median(fgrab["32 " f]) / median(fgrab["64 " f]),
        median(ratio["32 " f]) / median(ratio["64 " f])
    }
    printf "\nkernels called directly (YUY2, ms, medians of the runs), 32-bit / 64-bit\n"
    for (i = 1; i <= nk; i++) {
      split(order[i], p, " "); a = median(kern["64 " order[i]]); c = median(kern["32 " order[i]])
      printf "  1920x%-5s %-12s 64-bit %8.4f   32-bit %8.4f   %.2f\n", p[1], p[2], a, c, c / a
    }
  }'
