#!/usr/bin/env bash
# Runs every fuzz target of the fuzz preset (cmake --preset fuzz && cmake
# --build --preset fuzz) for SECONDS each from a fresh, empty corpus and says
# per target how many inputs it ran and whether it found anything. A finding
# keeps its folder (log and reproducer) and makes the script exit 1.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
ran=0
found=0
for target in build/fuzz/fuzz/*_fuzz; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  work=$(mktemp -d "/tmp/$name.XXXXXX")
  mkdir "$work/corpus"
  TMPDIR=$work "$target" -max_total_time="$seconds" -timeout=60 -print_final_stats=1 -artifact_prefix="$work/" \
    "$work/corpus" >"$work/log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  ran=$((ran + 1))
  if [ "$rc" -eq 0 ]; then
    echo "$name: ${runs:-?} inputs in $seconds s, nothing found"
    rm -rf "$work"
  else
    found=1
    echo "$name: FOUND something after ${runs:-?} inputs (exit $rc); log and reproducer in $work:"
    grep -E "ERROR|SUMMARY|differ|Test unit written" "$work/log" | head -n 5
  fi
done
[ "$ran" -gt 0 ] || { echo "no fuzz targets in build/fuzz/fuzz: cmake --preset fuzz && cmake --build --preset fuzz"; exit 1; }
exit "$found"
