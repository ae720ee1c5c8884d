#!/usr/bin/env bash
# The far-field table of bench/README.md: bench_farfield of this tree, built
# once against the library of an earlier commit (default 9952bbb, the last
# one with the one-direction-at-a-time far field) and once against this
# tree's (./build, configured with -DQUARLIN_BENCH=ON), medians of five runs
# each, with the time per segment and direction of the single-threaded rows.
#
#   bench/farfield_before_after.sh [base-commit]
#
# The earlier library is built from `git archive` in a scratch directory
# (about two minutes with a warm compiler cache).
set -euo pipefail

base=${1:-9952bbb}
root=$(cd "$(dirname "$0")/.." && pwd)
after="$root/build/bench/bench_farfield"
[ -x "$after" ] || { echo "build $after first (make bench)" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git -C "$root" archive "$base" | tar -x -C "$scratch"
cp "$root/bench/bench_farfield.cpp" "$scratch/bench/"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$scratch" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUARLIN_TESTS=OFF \
  -DQUARLIN_BENCH=ON "${launcher[@]}" >/dev/null
cmake --build "$scratch/build" --target bench_farfield >/dev/null

# Directions with field per evaluation: the grid over free space has all
# 91 x 73, over a ground the upper 46 rows (two passes over the segments);
# the power integration 6912 (the whole sphere or the upper half).
segs=2000
run() {
  "$1" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true 2>/dev/null |
    awk -v segs=$segs '/_median/ {
      name = $1; sub(/\/real_time_median/, "", name); t = $2; unit = $3
      ms = (unit == "ms") ? t : (unit == "s" ? t * 1000 : t / 1000)
      dirs = (name ~ /Grid/) ? ((name ~ /ground:0/) ? 91 * 73 : 46 * 73 * 2) : ((name ~ /ground:0/) ? 6912 : 6912 * 2)
      printf "%-52s %9.2f ms %7.2f ns per segment and direction (pass)\n", name, ms, ms * 1e6 / (segs * dirs)
    }'
}
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== before ($base)"
run "$scratch/build/bench/bench_farfield"
echo "== after ($(git -C "$root" rev-parse --short HEAD))"
run "$after"
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
