#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build (FUZZ_BUILD, default build/fuzz:
# cmake --preset fuzz && cmake --build --preset fuzz) for SECONDS each, two
# at a time, each from a fresh copy of its seeds (fuzz/make_seeds.sh), and
# prints per target the inputs run, libFuzzer's final coverage (cov: edges,
# ft: features) and whether it found anything. A finding keeps its folder
# (log and reproducer) and makes the script exit 1.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
build=${FUZZ_BUILD:-build/fuzz}
targets=()
for target in "$build"/fuzz/*_fuzz; do
  [ -x "$target" ] && targets+=("$target")
done
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz targets in $build/fuzz: cmake --preset fuzz && cmake --build --preset fuzz"; exit 1; }
bash fuzz/make_seeds.sh "$build" || { echo "fuzz: the seeds could not be made"; exit 1; }

run() { # TARGET WORK: fuzzes from a copy of the seeds; leaves log and rc in WORK
  mkdir "$2/corpus"
  cp "$build/seeds/$(basename "$1")"/* "$2/corpus/" 2>/dev/null
  TMPDIR=$2 "$1" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 -artifact_prefix="$2/" "$2/corpus" \
    >"$2/log" 2>&1
  echo $? >"$2/rc"
}

found=0
total=0
for ((i = 0; i < ${#targets[@]}; i += 2)); do
  works=()
  for target in "${targets[@]:i:2}"; do
    works+=("$(mktemp -d "/tmp/fz-$(basename "$target").XXXXXX")")
    run "$target" "${works[-1]}" &
  done
  wait
  for work in "${works[@]}"; do
    name=$(basename "$work" | sed 's/\.[^.]*$//; s/^fz-//')
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    cov=$(grep -E '^#[0-9]+' "$work/log" | tail -n 1 | grep -oE '(cov|ft|corp): [^ ]+' | tr '\n' ' ')
    total=$((total + ${runs:-0}))
    if [ "$(cat "$work/rc")" -eq 0 ]; then
      echo "$name: ${runs:-?} inputs in $seconds s, ${cov}nothing found"
      rm -rf "$work"
    else
      found=1
      echo "$name: FOUND something after ${runs:-?} inputs (exit $(cat "$work/rc")); log and reproducer in $work:"
      grep -E "ERROR|SUMMARY|differ|failed|accepted|Test unit written" "$work/log" | head -n 5
    fi
  done
done
echo "fuzz: $total inputs in all"
exit "$found"
