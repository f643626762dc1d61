#!/usr/bin/env bash
# Seeds for the fuzz targets in BUILD/seeds/<target>/ (BUILD: a fuzz build,
# default build/fuzz): bare archives of the sample product (and of unpack/,
# for refills and several table sets) packed by that build's mksetup, their
# compressed streams, and the product's files and names, each laid out as
# its target reads its input.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/fuzz}
out=$build/seeds/archive_pass_fuzz
[ -x "$build/tools/mksetup/mksetup" ] || cmake --build "$build" --target mksetup >/dev/null
rm -rf "$build/seeds" && mkdir -p "$out"
pack() { # PRODUCT NAME STUB_BYTES [OPTION]
  printf '%s' "$3" >"$out.stub"
  "$build/tools/mksetup/mksetup" build "$1" -o "$out/$2" --stub "$out.stub" ${4:-} -q 2>/dev/null
}
for level in 1 3 5; do pack samples/product level$level "" --level=$level; done
pack samples/product stored "" --store
pack samples/product behind-stub "MZ$(printf '%62s')"
pack unpack unpack ""
rm "$out.stub"
python3 - "$build/seeds" <<'PY'
import os, struct, sys
def put(target, name, data):
    os.makedirs(f"{sys.argv[1]}/{target}", exist_ok=True)
    open(f"{sys.argv[1]}/{target}/{name}", "wb").write(data)
def text(s):  # a string as FuzzedDataProvider::ConsumeRandomLengthString reads it
    return s.replace(b"\\", b"\\\\") + b"\\n"
for name in os.listdir(f"{sys.argv[1]}/archive_pass_fuzz"):  # count, 9 bytes per entry, streams
    a = open(f"{sys.argv[1]}/archive_pass_fuzz/{name}", "rb").read()
    p, heads, streams = a.find(b"Rar!\x1a\x07\x00") + 20, b"", b""
    while p + 32 <= len(a) and a[p + 2] == 0x74 and len(heads) < 16 * 9:
        flags, size, packed, unpacked = struct.unpack_from("<HHII", a, p + 3)
        if a[p + 25] != 0x30:
            heads, streams = heads + struct.pack("<BII", flags >> 4 & 1, packed, unpacked), streams + a[p + size:p + size + packed]
        p += size + packed
    if heads:
        put("decoder_fuzz", name, bytes([len(heads) // 9 - 1]) + heads + streams)
files = [(os.path.relpath(os.path.join(r, n), "samples/product").encode(), open(os.path.join(r, n), "rb").read())
         for r, _, names in sorted(os.walk("samples/product")) for n in sorted(names)]
files.append((b"OVDEMO_FR.LNG", b"\xff\xfe" + "[Text]\r\nLanguage=Fran\u00e7ais\r\n".encode("utf-16-le")))
wide = lambda s: text(s.replace(b"/", b"\\").decode("cp1252").encode("utf-16-le"))
for i, (name, data) in enumerate(files):
    put("readers_fuzz", f"file{i}", wide(name) + wide(b"OVDEMO_US.LNG") + wide(b"C:\\Programs\\Demo") + data)
    put("decode_differential_fuzz", f"file{i}", data)
    put("extract_names_fuzz", f"name{i}", b"\0" + name)
for i, name in enumerate(["docs\\..\\x", "CON.txt", "a/COM1", "C:x", "./a/./b", "\\abs", "a//b\\"]):
    put("extract_names_fuzz", f"made{i}", b"\1" + name.encode("utf-16-le"))
for level in range(6):  # 8 files, a 64-byte stub, level 0 stores
    put("pack_roundtrip_fuzz", f"level{level}", b"".join(text(n) + text(d) for n, d in files[:8]) + bytes([8, 64, 0, level]))
PY
