#!/usr/bin/env bash
# The setup as a customer meets it, timed under Wine on this machine: the
# time from starting Setup.exe to its visible dialog (which includes the scan
# of the whole payload) and the time of the install run (OK to the success
# message), for the sample product and for setups of about 1 MB and 30 MB
# built with mksetup. Medians of several runs; each run installs into a
# clean state (destination, registry values and links removed).
#
#   bash bench/setup_bench.sh [RUNS]      (default 5)
#
# Needs the host and win64 builds (mksetup, the 64-bit Setup.exe and the
# sample programs) and the corpora of bench/make_corpora.sh. It runs outside
# the test command.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
runs=${1:-5}
work=$root/build/setup-bench
mksetup=$root/build/host/tools/mksetup/mksetup
stub=$root/build/win64/app/Setup.exe
programs=$root/build/win64/samples
for f in "$mksetup" "$stub" "$programs/OVDEMO.EXE" build/corpora/small.list build/corpora/large.list; do
  [ -e "$f" ] || { echo "setup_bench: $f is missing (build the host and win64 presets, run bench/make_corpora.sh)" >&2; exit 1; }
done

# --- The setups -------------------------------------------------------------
# The sample product, plus corpus files: the small corpus three times over
# gives about 1 MB of setup, the large one six times over about 30 MB (each
# copy in a folder of its own, further apart than the 1 MiB window, so it
# packs as a product of that size would).
make_product() { # NAME CORPUS_DIRS...
  local dir=$work/$1; shift
  rm -rf "$dir"; mkdir -p "$dir"
  cp -Rp samples/product/. "$dir/"
  cp -p "$programs/OVDEMO.EXE" "$programs/UnInst.exe" "$dir/"
  local i=0
  for corpus in "$@"; do
    i=$((i + 1)); mkdir -p "$dir/data$i"; cp -R "$corpus/." "$dir/data$i/"
  done
}
mkdir -p "$work"
make_product sample
small=build/corpora/small large=build/corpora/large
make_product 1mb $small $small $small
make_product 30mb $large $large $large $large $large $large
for name in sample 1mb 30mb; do
  "$mksetup" build "$work/$name" -o "$work/Setup-$name.exe" --stub "$stub" -q 2>/dev/null
done

# --- The Wine session -------------------------------------------------------
session=$work/wine
scripts/wine-session.sh start "$session" >"$work/session.log" 2>&1
trap 'scripts/wine-session.sh stop "$session" >/dev/null 2>&1 || true' EXIT
# shellcheck source=/dev/null
. "$session/env.sh"
wine=/usr/lib/wine/wine64
drive_c=$WINEPREFIX/drive_c

now() { date +%s.%N; }
# Waits until `xdotool search` finds at least COUNT visible windows named
# like PATTERN; prints the moment.
wait_windows() { # PATTERN COUNT
  for _ in $(seq 6000); do
    local n
    n=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l)
    [ "$n" -ge "$2" ] && { now; return 0; }
    sleep 0.01
  done
  echo "setup_bench: no window '$1' appeared" >&2
  return 1
}
clean_install() {
  rm -rf "$drive_c/Program Files/Orvanex Demo" "$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Orvanex Demo"
  rm -f "$HOME/Orvanex Demo.lnk"
  "$wine" reg delete 'HKCU\Software\Orvanex' /f >/dev/null 2>&1 || true
  "$wine" reg delete 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orvanex Demo' /f >/dev/null 2>&1 || true
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

printf '%-8s %10s %10s %14s %12s %12s\n' setup "size MB" "payload MB" "start->dialog" "OK->success" "test (Linux)"
for name in sample 1mb 30mb; do
  exe=$work/Setup-$name.exe
  starts=() installs=()
  for _ in $(seq "$runs"); do
    clean_install
    t0=$(now)
    "$wine" "$exe" >/dev/null 2>&1 &
    pid=$!
    t1=$(wait_windows '^Setup Orvanex Demo' 1)
    xdotool key --clearmodifiers Return
    t2=$(wait_windows '^Setup Orvanex Demo' 2)
    xdotool key --clearmodifiers Return
    wait "$pid" || true
    starts+=("$(awk -v a="$t1" -v b="$t0" 'BEGIN { print a - b }')")
    installs+=("$(awk -v a="$t2" -v b="$t1" 'BEGIN { print a - b }')")
  done
  size=$(stat -c %s "$exe")
  payload=$(du -sb "$work/$name" | cut -f1)
  # The same scan natively, for comparison: mksetup test runs the setup's pass.
  t0=$(now)
  "$mksetup" test -q "$exe"
  native=$(awk -v a="$(now)" -v b="$t0" 'BEGIN { print a - b }')
  printf '%-8s %10.1f %10.1f %14.3f %12.3f %12.3f\n' "$name" "$(awk -v n="$size" 'BEGIN { print n / 1e6 }')" \
    "$(awk -v n="$payload" 'BEGIN { print n / 1e6 }')" \
    "$(printf '%s\n' "${starts[@]}" | median)" "$(printf '%s\n' "${installs[@]}" | median)" "$native"
done
echo
echo "Seconds, medians of $runs runs under Wine (64-bit build of the same sources)."
echo "start->dialog includes Wine's process start and the scan of the whole payload;"
echo "OK->success covers extraction, registry, links and the success message;"
echo "test (Linux) is mksetup test, the same pass as the setup's scan, run natively."
