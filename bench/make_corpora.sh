#!/usr/bin/env bash
# Builds the three compression corpora from files every Debian machine with
# wine64 has: Windows DLLs and EXEs, then text and HTML documentation.
#   build/corpora/large/  about 30 MB    build/corpora/small/  about 3 MB
#   build/corpora/dlls/   about 24 MB of DLLs and EXEs alone
# Each corpus also gets a .list file: the files in archive order. File lists
# are sorted in the C locale and filled up to fixed byte budgets, so the same
# machine always yields the same corpora.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/corpora}"
wine_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
doc_dir=/usr/share/doc
export LC_ALL=C

[ -d "$wine_dir" ] || { echo "make_corpora: $wine_dir missing (install wine64)" >&2; exit 1; }

# fill NAME BUDGET MAXFILE PREFIX SRCDIR < paths: copies files (each at most
# MAXFILE bytes) in the given order until BUDGET bytes are taken.
fill() {
  local name=$1 budget=$2 maxfile=$3 prefix=$4 src=$5 taken=0 size rel
  while IFS= read -r rel; do
    size=$(stat -c %s "$src/$rel")
    [ "$size" -gt 0 ] && [ "$size" -le "$maxfile" ] || continue
    [ $((taken + size)) -le "$budget" ] || continue
    mkdir -p "$out/$name/$prefix/$(dirname "$rel")"
    cp "$src/$rel" "$out/$name/$prefix/$rel"
    echo "$prefix/$rel" >> "$out/$name.list"
    taken=$((taken + size))
  done
}

binaries() { (cd "$wine_dir" && find . -maxdepth 1 -type f \( -name '*.dll' -o -name '*.exe' \) | sed 's#^\./##' | sort); }
documents() {
  (cd "$doc_dir" && find . -type f \( -name '*.html' -o -name '*.htm' -o -name '*.txt' -o -name copyright \) |
    sed 's#^\./##' | grep -v ' ' | sort)
}

make_corpus() {
  local name=$1 binBudget=$2 binMax=$3 docBudget=$4 docMax=$5
  rm -rf "${out:?}/$name" "$out/$name.list"
  mkdir -p "$out/$name"
  : > "$out/$name.list"
  binaries | fill "$name" "$binBudget" "$binMax" bin "$wine_dir"
  documents | fill "$name" "$docBudget" "$docMax" doc "$doc_dir"
  echo "$name: $(wc -l < "$out/$name.list") files, $(du -sb "$out/$name" | cut -f1) bytes"
}

mkdir -p "$out"
make_corpus large 24000000 1500000 6000000 400000
make_corpus small 2400000 200000 600000 60000
# Programs alone, from the other end of the list: mostly other files than
# the large corpus takes.
rm -rf "${out:?}/dlls" "$out/dlls.list"
mkdir -p "$out/dlls"
: > "$out/dlls.list"
binaries | sort -r | fill dlls 24000000 2000000 bin "$wine_dir"
echo "dlls: $(wc -l < "$out/dlls.list") files, $(du -sb "$out/dlls" | cut -f1) bytes"
