#!/usr/bin/env bash
# mksetup built for Linux and for Windows (run under Wine) makes the same
# setup, byte for byte, whatever the number of threads, at the default and the
# smallest levels.
#   same_output.sh LINUX_MKSETUP WINDOWS_MKSETUP STUB PRODUCT_DIR WORK_DIR
# Exits 77 (skipped) when the Linux build is missing.
set -euo pipefail
linux=$1 windows=$2 stub=$3 product=$4 work=$5
[ -x "$linux" ] || { echo "no Linux mksetup at $linux (build the host preset)"; exit 77; }
here=$(cd "$(dirname "$0")/../.." && pwd)
export SOURCE_DATE_EPOCH=1700000000 # entry times from the clock's zone would differ
rm -rf "$work" && mkdir -p "$work"
# The corpus draws warnings (no script, files of the same name): shown only on failure.
exec 3>&2 2>"$work/messages.log"
trap 'cat "$work/messages.log" >&3' ERR
win() { local p=${1//\//\\}; echo "Z:$p"; }
for level in 3 5; do
  "$linux" build "$product" -o "$work/linux-$level.exe" --stub "$stub" --level $level --threads 1 -q
  "$linux" build "$product" -o "$work/linux-$level-3.exe" --stub "$stub" --level $level --threads 3 -q
  "$here/scripts/wine-run.sh" "$windows" build "$(win "$product")" -o "$(win "$work/windows-$level.exe")" \
    --stub "$(win "$stub")" --level $level --threads 2 -q
  cmp "$work/linux-$level.exe" "$work/linux-$level-3.exe"
  cmp "$work/linux-$level.exe" "$work/windows-$level.exe"
done
echo "the same bytes from both builds"
