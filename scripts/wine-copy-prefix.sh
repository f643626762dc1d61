#!/usr/bin/env bash
# Copies a Wine prefix cheaply: the program files (some 650 MB of DLLs,
# executables and code pages that nothing writes) are hard links to SRC's,
# everything else is copied. Wine rewrites the registry and .ini files in
# place when they have other links, so those must be the copy's own.
#
#   scripts/wine-copy-prefix.sh SRC DST     DST must not exist yet
set -euo pipefail
src=${1:?usage: $0 SRC DST}
dst=${2:?usage: $0 SRC DST}
if [ -e "$dst" ]; then
  echo "wine-copy-prefix: $dst exists already" >&2
  exit 2
fi
cp -a --link "$src" "$dst"
find "$dst" -type f ! -regex '.*\.\(dll\|exe\|nls\|sys\|drv\|ocx\|cpl\|acm\|tlb\|ds\|msstyles\)' -print0 |
  while IFS= read -r -d '' file; do
    cp -a "$file" "$file.own"
    mv -f "$file.own" "$file"
  done
