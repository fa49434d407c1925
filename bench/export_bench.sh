#!/usr/bin/env bash
# Times `tabulet-cli export` on a generated table against the floor program (one raw pass
# over the same file) in the same run; reports median seconds, records/s, MB/s and peak RSS.
#   bench/export_bench.sh [RECORDS] [RUNS]      (defaults: 1000000 records, 5 runs)
# Each run replaces the previous run's page, as a user exporting again does; FRESH=1 removes
# it first, so that no run pays for dropping the last one's pages. LEVEL=3|4|25|7 picks the
# table level (default 4; level 7 adds binary integer, double and timestamp fields).
set -euo pipefail
cd "$(dirname "$0")/.."
records=${1:-1000000}
runs=${2:-5}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tabulet-cli make_table >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/floor" bench/floor.c

table="$work/bench.dbf"
build/bench/make_table --records "$records" --level "${LEVEL:-4}" "$table" >/dev/null
size=$(stat -c %s "$table")

# Prints "seconds peak_kb" of one run of the command (wall time in milliseconds' resolution;
# time(1) gives only hundredths).
measure() {
  if [ "${FRESH:-0}" = 1 ]; then rm -f "$work"/*.htm; fi
  local start end
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$work/time" "$@" >/dev/null 2>&1
  end=$(date +%s%N)
  awk -v ns="$((end - start))" -v kb="$(cat "$work/time")" 'BEGIN { printf "%.4f %s\n", ns / 1e9, kb }'
}

median_of() {  # name, command...
  local name=$1; shift
  local times=() rss=0
  for _ in $(seq "$runs"); do
    read -r seconds kb < <(measure "$@")
    times+=("$seconds")
    [ "$kb" -gt "$rss" ] && rss=$kb
  done
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p")
  awk -v n="$name" -v s="$median" -v r="$records" -v b="$size" -v k="$rss" 'BEGIN {
    printf "%-8s median %.4f s  %.0f records/s  %.1f MB/s  peak RSS %.1f MB\n",
           n, s, (s > 0 ? r / s : 0), (s > 0 ? b / s / 1e6 : 0), k / 1024 }'
  echo "$median" > "$work/$name.median"
}

echo "table: $records records, $(( size / 1000000 )) MB"
median_of floor "$work/floor" "$table" "$work/floor.htm"
median_of export build/tabulet-cli export "$table" -o "$work/export.htm"
awk -v f="$(cat "$work/floor.median")" -v e="$(cat "$work/export.median")" \
  'BEGIN { if (f > 0) printf "export / floor: %.2fx\n", e / f }'
