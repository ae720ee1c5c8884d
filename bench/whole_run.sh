#!/usr/bin/env bash
# Whole runs of Quarlin beside nec2c on the decks in bench/decks/, wall-clock,
# the two programs alternating so that both see the same machine load.
#
#   bench/whole_run.sh [-q quarlin-binary] [-r repetitions] [deck ...]
#
# Quarlin runs as `quarlin deck -q -o dir` (the grid of the deck's RP steps,
# power integration, pattern search and results.json); nec2c as
# `nec2c -i deck -o file` with the deck's own RP card. Prints the median of
# each program over the repetitions (ms), their ratio and the load average
# before and after. Without deck names all decks but the 13-point sweep run
# (its nec2c run takes minutes); name array2000_sweep13 to include it.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
quarlin="$here/../build/quarlin"
reps=5
while getopts "q:r:" opt; do
  case $opt in
    q) quarlin=$OPTARG ;;
    r) reps=$OPTARG ;;
    *) echo "usage: $0 [-q quarlin] [-r reps] [deck ...]" >&2; exit 1 ;;
  esac
done
shift $((OPTIND - 1))
decks=("$@")
[ ${#decks[@]} -eq 0 ] && decks=(yagi63 gp4 dipole11 gm4 array2000 array4000)
command -v nec2c >/dev/null || { echo "nec2c not found" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Wall-clock microseconds of one command, its output discarded. The clock
# is bash's own (EPOCHREALTIME, read without starting a process), so the
# interval holds the command's start, run and exit and nothing else: two
# `date` processes around it would add about 2 ms to every run and hide the
# difference on the small decks.
ms() {
  local t0=${EPOCHREALTIME/[.,]/}
  "$@" >/dev/null 2>&1
  local t1=${EPOCHREALTIME/[.,]/}
  echo $((10#$t1 - 10#$t0))
}

median() {
  sort -n | awk '{a[NR] = $1} END {if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2}'
}

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf "%-20s %12s %12s %8s\n" deck "quarlin ms" "nec2c ms" ratio
for d in "${decks[@]}"; do
  deck="$here/decks/$d.nec"
  q=() n=()
  for ((i = 0; i < reps; i++)); do
    q+=("$(ms "$quarlin" "$deck" -q -o "$scratch/q")")
    n+=("$(ms nec2c -i "$deck" -o "$scratch/n.out")")
  done
  qm=$(printf "%s\n" "${q[@]}" | median)
  nm=$(printf "%s\n" "${n[@]}" | median)
  printf "%-20s %12.1f %12.1f %8.3f\n" "$d" "$(echo "$qm / 1000" | bc -l)" \
    "$(echo "$nm / 1000" | bc -l)" "$(echo "$qm / $nm" | bc -l)"
done
echo "load after:  $(cut -d' ' -f1-3 /proc/loadavg)"
