#!/usr/bin/env bash
# Builds the sample setup: stages samples/product plus the sample programs
# (OVDEMO.EXE, UnInst.exe) in build/sample/product and packs it behind a stub.
#
#   scripts/build-sample-setup.sh STUB MKSETUP [PROGRAMS_DIR [OUT]]
#
# STUB is a bare Setup.exe, MKSETUP the mksetup program to run (a Windows
# mksetup.exe runs through scripts/wine-run.sh). PROGRAMS_DIR holds the
# built sample programs; by default the samples folder of the stub's build
# (STUB in BUILD/app/ -> BUILD/samples/). Writes OUT, by default
# build/sample/Setup-sample.exe.
# SOURCE_DATE_EPOCH, when set, gives every entry that time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stub=${1:?usage: $0 STUB MKSETUP [PROGRAMS_DIR]}
mksetup=${2:?usage: $0 STUB MKSETUP [PROGRAMS_DIR]}
programs=${3:-$(dirname "$stub")/../samples}
setup=$(realpath -m "${4:-$root/build/sample/Setup-sample.exe}")

for f in "$stub" "$mksetup" "$programs/OVDEMO.EXE" "$programs/UnInst.exe"; do
  if [ ! -f "$f" ]; then
    echo "build-sample-setup: $f is missing (build the Windows preset first)" >&2
    exit 1
  fi
done

out=$root/build/sample
rm -rf "$out/product"
mkdir -p "$out/product"
# -p keeps the files' times, which become the entries' times.
cp -Rp "$root/samples/product/." "$out/product/"
cp -p "$programs/OVDEMO.EXE" "$programs/UnInst.exe" "$out/product/"

stub=$(cd "$(dirname "$stub")" && pwd)/$(basename "$stub")
case "$mksetup" in
*.exe)
  # A Windows mksetup runs under Wine, which sees this file system as Z:.
  win() { local p=${1//\//\\}; echo "Z:$p"; }
  "$root/scripts/wine-run.sh" "$mksetup" build "$(win "$out/product")" -o "$(win "$setup")" \
    --stub "$(win "$stub")"
  ;;
*)
  "$mksetup" build "$out/product" -o "$setup" --stub "$stub"
  ;;
esac
echo "sample setup: $setup"
